// The operator's controls of the main window: band circles, setting menus,
// PA type, PTT block, ALC level and the File and About commands.
#include "app/Unit1.h"

#include "app/Runtime.h"
#include "app/StdControls.h"
#include "service/Unit2.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

void TForm1::clear_all_bands() {
    for (int i = 0; i < int(Band.size()); ++i)
        if (Band[i] && i + 1 != Session.CurrentBand)
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
    Session.CurrentBand = std::uint8_t(n);
    clear_all_bands();
    Band[n - 1]->SetBrushColor(clLime);
    Send(Protocol::SetBand(n));
}

void TForm1::BandMouseMove(int n) {
    if (n != Session.CurrentBand)
        Band[n - 1]->SetBrushColor(clYellow);
}

void TForm1::GroupBox1MouseMove() { clear_all_bands(); }

void TForm1::N12kW1Click() {}
void TForm1::N24kW1Click() {}
void TForm1::Panel1Click() {}
void TForm1::outputMouseDown(int) {}

void TForm1::PortMonitor1Click() {
    if (Windows.Form2)
        Windows.Form2->show();
}

void TForm1::ATUPanel1Click() {}

void TForm1::Exit1Click() {
    SerialPort->Close();
    QApplication::quit();
}

void TForm1::About1Click() {}
