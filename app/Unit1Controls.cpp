// The operator's controls of the main window: band circles, setting menus,
// PA type, PTT block, ALC level and the File and About commands. Each one
// calls the link, which changes its state first, then sends its line and
// echoes it; a send on a closed port raises, so the echo and anything after
// it do not happen.
#include "app/Unit1.h"

#include "atu/atu1.h"
#include "link/MainRules.h"
#include "service/Unit2.h"
#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>

#include <algorithm>

namespace {
// The ALC level from the keyboard: twenty steps of 5 % between X 0 and the
// X of the full level (the level is CAL * X div 333).
constexpr int AlcFullX = 333;
constexpr int AlcSteps = 20;
int AlcStepOf(int x) {
    return (std::clamp(x, 0, AlcFullX) * AlcSteps + AlcFullX / 2) / AlcFullX;
}
int AlcXOf(int step) {
    return (std::clamp(step, 0, AlcSteps) * AlcFullX + AlcSteps / 2) / AlcSteps;
}
} // namespace

// ---- Band circles ------------------------------------------------------------

void TForm1::clear_all_bands() {
    for (std::size_t i = 0; i < Band.size(); ++i)
        if (Band[i] && int(i) + 1 != Link.State().CurrentBand)
            Band[i]->SetBrushColor(clSilver);
}

void TForm1::enable_all_bands() {
    for (TShape *b : Band)
        if (b)
            b->setEnabled(true);
    for (QLabel *l : BandLabels)
        if (l)
            l->setEnabled(true);
}

void TForm1::unenable_all_bands() {
    for (TShape *b : Band)
        if (b)
            b->setEnabled(false);
    for (QLabel *l : BandLabels)
        if (l)
            l->setEnabled(false);
}

void TForm1::BandMouseDown(int n) {
    Link.SelectBand(n);
}

void TForm1::BandMouseMove(int n) {
    if (n < 1 || n > int(Band.size()))
        return;
    if (n != Link.State().CurrentBand)
        Band[std::size_t(n - 1)]->SetBrushColor(clYellow);
}

void TForm1::GroupBox1MouseMove() {
    clear_all_bands();
}

bool TForm1::BandKeyDown(int n, int key) {
    int step = 0;
    if (key == Qt::Key_Left || key == Qt::Key_Up)
        step = -1;
    else if (key == Qt::Key_Right || key == Qt::Key_Down)
        step = 1;
    else
        return false;
    const int count = int(Band.size());
    for (int k = 1; k < count; ++k) {
        TShape *circle = Band[std::size_t(((n - 1 + step * k) % count + count) % count)];
        if (circle->isEnabled()) {
            circle->setFocus(Qt::TabFocusReason);
            circle->Press();
            break;
        }
    }
    return true;
}

// ---- Setting commands ----------------------------------------------------------

void TForm1::N501Click() {
    Link.SetFan(1);
}
void TForm1::Max1Click() {
    Link.SetFan(2);
}
void TForm1::Hysteresis1Click() {
    Link.SetFan(3);
}
void TForm1::Fixed1Click() {
    Link.SetFan(4);
}

// The interface numbers follow the amplifier, not the menu order.
void TForm1::YAESUBCD1Click() {
    Link.SelectInterface(1);
}
void TForm1::YAESUFT8171Click() {
    Link.SelectInterface(2);
}
void TForm1::ICOM1Click() {
    Link.SelectInterface(3);
}
void TForm1::Kenwood1Click() {
    Link.SelectInterface(4);
}
void TForm1::Manual1Click() {
    Link.SelectInterface(MainRules::ManualInterface);
}
void TForm1::OTRSP1Click() {
    Link.SelectInterface(6);
}
void TForm1::Flex1Click() {
    Link.SelectInterface(7);
}

void TForm1::CWbybuzzer1Click() {
    Link.SetAlarmSound(1);
}
void TForm1::Buzzer1Click() {
    Link.SetAlarmSound(2);
}
void TForm1::Nosound1Click() {
    Link.SetAlarmSound(3);
}

void TForm1::Veryslow1Click() {
    Link.SetBarSpeed(1);
}
void TForm1::Slow1Click() {
    Link.SetBarSpeed(2);
}
void TForm1::Fast1Click() {
    Link.SetBarSpeed(3);
}
void TForm1::Veryfast1Click() {
    Link.SetBarSpeed(4);
}

void TForm1::Off1Click() {
    Link.SetTot(1);
}
void TForm1::N5min1Click() {
    Link.SetTot(2);
}
void TForm1::N15min1Click() {
    Link.SetTot(3);
}
void TForm1::N30min1Click() {
    Link.SetTot(4);
}

QAction *TForm1::InterfaceItem(int n) const {
    switch (n) {
    case 1:
        return YAESUBCD1;
    case 2:
        return YAESUFT8171;
    case 3:
        return ICOM1;
    case 4:
        return Kenwood1;
    case 5:
        return Manual1;
    case 6:
        return OTRSP1;
    case 7:
        return Flex1;
    default:
        return nullptr;
    }
}

// ---- PA type -------------------------------------------------------------------

void TForm1::N12kW1Click() {
    Link.SetPaType(MainRules::PaType::Kw12);
}

void TForm1::N24kW1Click() {
    Link.SetPaType(MainRules::PaType::Kw24);
}

// ---- PTT block -------------------------------------------------------------------

void TForm1::Panel1Click() {
    // Caption and colour change only when the amplifier confirms; until then
    // the poll re-sends the pending command.
    Link.TogglePttBlock();
}

// ---- ALC level -------------------------------------------------------------------

void TForm1::outputMouseDown(int X) {
    Link.PressOutputBar(X);
}

bool TForm1::outputKeyDown(int key) {
    // From the step the marker stands nearest to.
    const int current = AlcStepOf(ALC1->x() - MainRules::AlcMarkerLeft(0));
    int target = current;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        target = current - 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        target = current + 1;
        break;
    case Qt::Key_PageDown:
        target = current - 5;
        break;
    case Qt::Key_PageUp:
        target = current + 5;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = AlcSteps;
        break;
    default:
        return false;
    }
    const int x = AlcXOf(target);
    outputMouseDown(x);
    // Only a level that went out is told (not one refused for calibration).
    if (ALC1->x() == MainRules::AlcMarkerLeft(x))
        Announcer->Announce(
            QStringLiteral("Output level %1 percent").arg(AlcStepOf(x) * 100 / AlcSteps));
    return true;
}

// ---- File and About ----------------------------------------------------------------

void TForm1::PortMonitor1Click() {
    if (!Windows.Form2)
        return;
    Windows.Form2->show();
    Windows.Form2->raise();
}

void TForm1::ATUPanel1Click() {
    if (Windows.Fatu1)
        Windows.Fatu1->show();
}

void TForm1::Exit1Click() {
    // Closing an open port runs the port-lost handler first, so the operator
    // sees the disconnection before the program ends.
    Link.ClosePort();
    QApplication::quit();
}

QString TForm1::AboutText() {
    return QStringLiteral("Orvik Remote Control\n"
                          "Version 3.3\n\n"
                          "Remote control of the Orvik 1200 HF linear amplifier "
                          "(1 kW / 1.2 kW and 2.4 kW versions) and of its automatic "
                          "antenna tuner over a serial line.\n\n"
                          "Amplifier: Orvik 1200, made by Orvik.\n"
                          "Written by the Orvik Remote Control team.");
}

void TForm1::About1Click() {
    Runtime::ShowMessage(AboutText(), QStringLiteral("About..."), Runtime::MsgIcon::Information,
                         this);
}
