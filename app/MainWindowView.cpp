// The main window as a view of the link: it draws what changed in the link's
// state and shows the message boxes the link asks for.
#include "app/MainWindow.h"

#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/Captions.h"
#include "widgets/ColorButton.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>

#include <initializer_list>
#include <optional>

namespace {

// The "Temperature" group box shows its colour as its background.
void SetGroupColor(QGroupBox *box, TColor color) {
    QPalette p = box->palette();
    p.setColor(QPalette::Window, ToQColor(color));
    box->setPalette(p);
    box->setAutoFillBackground(true);
}

void MoveLeft(QWidget *w, int left) {
    w->move(left, w->y());
}

TColor TemperatureColor(Reports::TempRange range) {
    switch (range) {
    case Reports::TempRange::Cool:
        return clLime;
    case Reports::TempRange::Warm:
        return clYellow;
    case Reports::TempRange::Hot:
        return clFuchsia;
    case Reports::TempRange::Alarm:
        break;
    }
    return clRed;
}

// Checks item n (1-based) of a radio group; 0 (unknown) checks nothing.
template <std::size_t N> void CheckNth(const std::array<QAction *, N> &items, int n) {
    if (n >= 1 && n <= int(N))
        items[std::size_t(n - 1)]->setChecked(true);
}

Runtime::MsgIcon IconOf(LinkEffect::Icon icon) {
    switch (icon) {
    case LinkEffect::Icon::Warning:
        return Runtime::MsgIcon::Warning;
    case LinkEffect::Icon::Information:
        return Runtime::MsgIcon::Information;
    case LinkEffect::Icon::Error:
        break;
    }
    return Runtime::MsgIcon::Error;
}

} // namespace

void MainWindow::OpenPortFollowsState() {
    // Pressed in while the link holds or waits for a port.
    const LinkPhase phase = Link.State().Phase;
    openPortButton->SetDown(phase == LinkPhase::Connecting || phase == LinkPhase::Connected ||
                            phase == LinkPhase::Waiting);
}

void MainWindow::DrawConnection(const AmpState &s) {
    const LinkPhase phase = s.Phase;
    const QString title = QStringLiteral("Orvik 1200 Remote Control");
    setWindowTitle(phase == LinkPhase::Waiting
                       ? title + QStringLiteral(" - waiting for ") + s.PortName
                   : s.NoAnswer ? title + QStringLiteral(" - no answer from ") + s.PortName
                                : title);
    OpenPortFollowsState();
    switch (phase) {
    case LinkPhase::Start:
        break;
    case LinkPhase::Connecting:
        closePortButton->SetDown(false);
        closePortButton->setEnabled(true);
        openPortButton->setEnabled(false);
        openPortButton->SetCaption(ConnectionCaption::Connecting);
        break;
    case LinkPhase::Connected:
        openPortButton->SetCaption(s.NoAnswer ? ConnectionCaption::NoAnswer
                                              : ConnectionCaption::Connected);
        break;
    case LinkPhase::Closed:
        portList->setEnabled(true);
        openPortButton->SetDown(false);
        openPortButton->SetCaption(ConnectionCaption::Closed);
        openPortButton->setEnabled(true);
        closePortButton->SetDown(false);
        closePortButton->setEnabled(false);
        break;
    case LinkPhase::Waiting:
        // Only Close Port stays: it stops the retries.
        portList->setEnabled(false);
        openPortButton->setEnabled(false);
        openPortButton->SetCaption(ConnectionCaption::Waiting);
        closePortButton->SetDown(false);
        closePortButton->setEnabled(true);
        break;
    }
}

void MainWindow::ShowLinkEffect(const LinkEffect &effect) {
    switch (effect.kind) {
    case LinkEffect::Kind::Message:
        Runtime::ShowMessage(effect.text, effect.title, IconOf(effect.icon), this);
        break;
    case LinkEffect::Kind::Disconnected:
        Runtime::ShowMessage(effect.text, effect.title, IconOf(effect.icon), this);
        portList->setCurrentIndex(-1);
        break;
    default:
        break;
    }
}

void MainWindow::FlipTrafficLamp(bool sent) {
    TLedLamp *lamp = sent ? txdLamp : rxdLamp;
    lamp->SetValue(!lamp->Value());
}

void MainWindow::DrawInterface(const AmpState &s) {
    if (s.Interface >= 1 && s.Interface <= int(interfaceItems.size()))
        interfaceItems[std::size_t(s.Interface - 1)]->setChecked(true);
    const std::optional<MainRules::InterfaceInfo> info = MainRules::Interface(s.BandGroupInterface);
    if (!info)
        return;
    bandBox->setTitle(info->bandCaption);
    SetBandsEnabled(info->bandsEnabled);
}

void MainWindow::DrawSettings(const AmpState &s) {
    CheckNth(fanItems, s.Fan);
    CheckNth(alarmSoundItems, s.AlarmSound);
    CheckNth(barSpeedItems, s.BarSpeed);
    CheckNth(totItems, s.Tot);
    // The operator cannot choose the input power class.
    QAction *inPower = s.InPower == 1   ? inputPowerItems[0]
                       : s.InPower == 2 ? inputPowerItems[1]
                                        : nullptr;
    if (inPower && !inPower->isChecked()) {
        inPower->setEnabled(true);
        inPower->setChecked(true);
        inPower->setEnabled(false);
    }
}

void MainWindow::DrawReadingsCurrent(const AmpState &s) {
    // Greyed while the amplifier does not answer: the values stay in sight
    // as they were last reported, but nothing says they hold now.
    const bool current = !s.NoAnswer;
    for (QWidget *reading :
         std::initializer_list<QWidget *>{outputReadout, peakReadout, outputMeter, reverseMeter,
                                          transmitLamp, temperatureReadout, degreeSign})
        reading->setEnabled(current);
    // Open Port, pressed in, turns from lime to alert pink.
    openPortButton->SetDownColor(current ? clLime : clAlertPink);
    openPortButton->update();
    SetGroupColor(temperatureBox, !current        ? clSilver
                                  : s.Temperature ? TemperatureColor(s.TemperatureRange)
                                                  : clLime);
    if (s.IsConnected())
        Announce(current ? QStringLiteral("The amplifier answers again")
                         : QStringLiteral("No answer from the amplifier"));
}

void MainWindow::DrawState(const AmpState &s, unsigned changed) {
    if (changed & (StateChange::Connection | StateChange::NoAnswer))
        DrawConnection(s);
    if (changed & StateChange::NoAnswer)
        DrawReadingsCurrent(s);
    if (changed & StateChange::Ptt) {
        const QString caption = s.PttBlocked ? PttCaption::Blocked : PttCaption::Free;
        // A screen reader hears of a change, not of every confirmation.
        if (pttBlockButton->Caption() != caption)
            Announce(s.PttBlocked ? QStringLiteral("PTT blocked") : QStringLiteral("PTT free"));
        pttBlockButton->SetCaption(caption);
        pttBlockButton->SetColor(s.PttBlocked ? clAlertPink : clLightGreen);
    }
    if ((changed & StateChange::Temperature) && s.Temperature) {
        temperatureReadout->setText(*s.Temperature);
        // Three digits are wider than the box at its laid-out 61 pixels.
        temperatureReadout->setFont(FitToWidth(temperatureReadout->font(), *s.Temperature,
                                               temperatureReadout->contentsRect().width(), 61));
        SetGroupColor(temperatureBox, TemperatureColor(s.TemperatureRange));
    }
    if (changed & StateChange::Band)
        for (int i = 1; i <= int(bandCircles.size()); ++i)
            bandCircles[std::size_t(i - 1)]->SetBrushColor(i == s.CurrentBand ? clLime : clSilver);
    if (changed & StateChange::PaType) {
        (s.Pa12kW() ? pa12kWAction : pa24kWAction)->setChecked(true);
        // The bar shows half the watts of a 2.4 kW amplifier.
        outputMeter->SetValueScale(s.Pa12kW() ? 1 : 2);
        const std::array<QString, 5> texts = MainRules::ScaleTexts(s.PaType);
        for (std::size_t i = 0; i < texts.size(); ++i)
            scaleLabels[i + 1]->setText(texts[i]);
    }
    if (changed & StateChange::Interface)
        DrawInterface(s);
    if (changed & StateChange::Settings)
        DrawSettings(s);
    if (changed & StateChange::Power) {
        peakReadout->setText(s.PeakText);
        if (s.PeakLeft) {
            MoveLeft(peakMark, *s.PeakLeft);
            if (peakMark->isHidden())
                peakMark->show();
        } else if (!peakMark->isHidden()) {
            peakMark->hide();
        }
        outputReadout->setText(s.OutputText);
        outputMeter->SetPosition(s.OutputPosition);
        reverseMeter->SetPosition(s.ReversePosition);
    }
    if (changed & StateChange::Alc) {
        if (outputLevelMark->isHidden() == s.AlcVisible)
            outputLevelMark->setVisible(s.AlcVisible);
        if (s.AlcLeft)
            MoveLeft(outputLevelMark, *s.AlcLeft);
    }
    if (changed & StateChange::Transmit) {
        if (transmitLamp->Value() != s.Transmitting)
            Announce(s.Transmitting ? QStringLiteral("Transmitting") : QStringLiteral("Receiving"));
        transmitLamp->SetValue(s.Transmitting);
        // The PTT-block panel covers the readouts except while transmitting.
        pttBlockButton->setVisible(!s.Transmitting);
    }
    if (changed & StateChange::AtuFitted)
        atuPanelAction->setEnabled(s.AtuFitted);
}
