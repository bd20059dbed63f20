// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a view of the link: it draws what changed in the link's
// state and shows the message boxes the link asks for.
#include "app/MainWindow.h"

#include "app/MainRules.h"
#include "link/Reports.h"
#include "link/StatusView.h"
#include "rig/FollowRules.h"
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

// Shows or hides w, asking Qt only for a change.
void SetShown(QWidget *w, bool shown) {
    if (w->isHidden() == shown)
        w->setVisible(shown);
}

// "850" as received, shown as "850 W"; nothing while there is no report.
QString Watts(const std::optional<QString> &reported) {
    return reported ? *reported + QStringLiteral(" W") : QString();
}

// The temperature's colour, by its range; the colour of the start while
// none is reported.
TColor TemperatureColor(const std::optional<QString> &reported) {
    if (!reported)
        return clLime;
    switch (Reports::TemperatureRange(*reported)) {
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

Runtime::MsgIcon IconOf(LinkEvent::Icon icon) {
    switch (icon) {
    case LinkEvent::Icon::Warning:
        return Runtime::MsgIcon::Warning;
    case LinkEvent::Icon::Information:
        return Runtime::MsgIcon::Information;
    case LinkEvent::Icon::Error:
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

// What the title tells of the radio followed: whether it follows, the
// frequency it transmits on, and why its band was not sent.
QString MainWindow::RadioTitle(const RigStatus &r) {
    if (r.source.isEmpty())
        return QString();
    if (!r.connected)
        return QStringLiteral("no answer from the radio at ") + r.source;
    QString text = r.following ? QStringLiteral("following the radio")
                               : QStringLiteral("the radio not followed");
    if (r.frequencyHz)
        text += QStringLiteral(" on ") + rig::MHz(*r.frequencyHz);
    if (r.following && !r.why.isEmpty())
        text += QStringLiteral(", ") + r.why;
    return text;
}

void MainWindow::DrawTitle(const AmpStatus &s) {
    const QString title = QStringLiteral("Orvik 1200 Remote Control");
    QString connection =
        s.PortTaken ? title + QStringLiteral(" - ") + s.PortName +
                          QStringLiteral(" taken by another client, trying again less often")
        : s.Phase == LinkPhase::Waiting ? title + QStringLiteral(" - waiting for ") + s.PortName
        : s.NoAnswer                    ? title + QStringLiteral(" - no answer from ") + s.PortName
                                        : title;
    if (const QString radio = RadioTitle(s.rig); !radio.isEmpty())
        connection += QStringLiteral(" - ") + radio;
    setWindowTitle(brokerStatus.isEmpty() ? connection
                                          : connection + QStringLiteral(" - ") + brokerStatus);
}

void MainWindow::SetBrokerStatus(const QString &status) {
    brokerStatus = status;
    DrawTitle(Link.State());
}

void MainWindow::DrawConnection(const AmpStatus &s) {
    const LinkPhase phase = s.Phase;
    DrawTitle(s);
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

void MainWindow::ShowLinkEvent(const LinkEvent &event) {
    if (event.kind != LinkEvent::Kind::Message)
        return;
    Runtime::ShowMessage(event.text, event.title, IconOf(event.icon), this);
    if (event.portGone)
        portList->setCurrentIndex(-1);
}

void MainWindow::FlipTrafficLamp(bool sent) {
    TLedLamp *lamp = sent ? txdLamp : rxdLamp;
    lamp->SetValue(!lamp->Value());
}

void MainWindow::DrawInterface(const AmpStatus &s) {
    const std::optional<QString> caption = MainRules::BandCaption(s.Interface);
    if (!caption)
        return;
    interfaceItems[std::size_t(s.Interface - 1)]->setChecked(true);
    bandBox->setTitle(*caption);
    SetBandsEnabled(s.ManualBands());
}

void MainWindow::DrawSettings(const AmpStatus &s) {
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

void MainWindow::DrawReadingsCurrent(const AmpStatus &s, const StatusView &v) {
    // Greyed while not current (no answer, the port lost or closed): the
    // values stay in sight as they were last reported, but nothing says
    // they hold now. The start-up look stays until the first connection.
    const bool current = v.startUp || v.current;
    for (QWidget *reading :
         std::initializer_list<QWidget *>{outputReadout, peakReadout, reverseMeter, transmitLamp,
                                          temperatureReadout, degreeSign, pttBlockButton})
        reading->setEnabled(current);
    // The output bar is also the output level's control: greyed only while
    // the amplifier does not answer, as it always was.
    outputMeter->setEnabled(!s.NoAnswer);
    // Open Port, pressed in, turns from lime to alert pink.
    openPortButton->SetDownColor(!s.NoAnswer ? clLime : clAlertPink);
    openPortButton->update();
    SetGroupColor(temperatureBox, current && (v.startUp || v.temperatureC.current)
                                      ? TemperatureColor(shown.temperature)
                                      : clSilver);
    DrawBand(v);
}

std::optional<int> MainWindow::BandShown(const StatusView &v) const {
    // The band's circle is lime while the band is current; a band of
    // before a silence or a loss is not shown as the band in use. The
    // start-up look stays until the first connection, and with the port
    // closed a click still selects its band.
    const AmpStatus &s = Link.State();
    if (v.startUp)
        return s.readings.band.value_or(StartBand);
    if (v.liveness == Liveness::Closed)
        return s.Band();
    return v.band.Now();
}

void MainWindow::DrawBand(const StatusView &v) {
    const std::optional<int> band = BandShown(v);
    for (int i = 1; i <= int(bandCircles.size()); ++i)
        bandCircles[std::size_t(i - 1)]->SetBrushColor(band == i ? clLime : clSilver);
}

void MainWindow::DrawPower(const AmpStatus &s, unsigned changed) {
    const Readings &r = s.readings;
    const PaType type = r.paType.value_or(PaType::Kw12);
    // A report that is not a number shows as received and moves nothing.
    if (changed & StateChange::Output) {
        outputReadout->setText(Watts(shown.output));
        if (r.outputW.has_value() || !shown.output)
            outputMeter->SetPosition(MainRules::OutputBarPosition(r.outputW.value_or(0), type));
    }
    if (changed & StateChange::Reverse)
        reverseMeter->SetPosition(r.reflectedW.value_or(0));
    if (changed & StateChange::Peak) {
        peakReadout->setText(Watts(shown.peak));
        if (r.peakW.has_value())
            MoveLeft(peakMark, MainRules::PeakMarkerLeft(*r.peakW, type));
        if (r.peakW.has_value() || !shown.peak)
            SetShown(peakMark, r.peakW.has_value());
    }
}

void MainWindow::NoteReport(ReportId row, const QString &value) {
    const Readings &r = Link.State().readings;
    switch (row) {
    case ReportId::Temperature:
        shown.temperature = value;
        break;
    case ReportId::Output:
        shown.output = value;
        break;
    case ReportId::Peak:
        shown.peak = value;
        break;
    case ReportId::TxOff:
        shown.output.reset();
        shown.peak.reset();
        break;
    // A calibration or level that is not a number moves nothing; the mark
    // moves only with both in 1..254, and a zero calibration never divides.
    case ReportId::Calibration:
        if (const std::optional<int> n = Reports::ToInt(value)) {
            shown.levelMarkShown = *n != NotCalibrated;
            const int alc = r.alc.value_or(0), calibration = r.calibration.value_or(0);
            if (alc >= 1 && alc <= 254 && calibration != 0)
                shown.levelMark = Reports::AlcMark(alc, calibration);
            DrawOutputLevelMark();
        }
        break;
    case ReportId::Alc:
        if (const int calibration = r.calibration.value_or(0);
            Reports::ToInt(value) && calibration >= 1 && calibration <= 254) {
            shown.levelMark = Reports::AlcMark(r.alc.value_or(0), calibration);
            DrawOutputLevelMark();
        }
        break;
    default:
        break;
    }
}

void MainWindow::DrawOutputLevelMark() {
    SetShown(outputLevelMark, shown.levelMarkShown);
    if (shown.levelMark)
        MoveLeft(outputLevelMark, MainRules::AlcMarkerLeft(*shown.levelMark));
}

bool MainWindow::PressOutputLevel(int x, const CommandSource &source) {
    // The mark moves as the level goes out.
    if (Link.State().readings.Calibrated()) {
        shown.levelMark = x;
        DrawOutputLevelMark();
    }
    return Link.PressOutputBar(x, source);
}

void MainWindow::SetBandsEnabled(bool enabled) {
    for (TShape *circle : bandCircles)
        circle->setEnabled(enabled);
    for (QLabel *label : bandLabels)
        label->setEnabled(enabled);
}

void MainWindow::HighlightBand(int n) {
    if (n != BandShown(ViewOf(Link.State())))
        bandCircles[std::size_t(n - 1)]->SetBrushColor(clYellow);
}

void MainWindow::ClearBandHighlight() {
    for (std::size_t i = 0; i < bandCircles.size(); ++i)
        if (int(i) + 1 != BandShown(ViewOf(Link.State())))
            bandCircles[i]->SetBrushColor(clSilver);
}

void MainWindow::DrawState(const AmpStatus &s, unsigned changed) {
    const Readings &r = s.readings;
    const StatusView v = ViewOf(s);
    // A connection that ends takes its power readings with it, the values
    // shown as received too (a value that was not a number is no reading);
    // so does the amplifier known to receive without a "TX: OFF" (answering
    // with no power report for a while, after a silence), as that report would.
    const bool ended = s.Phase == LinkPhase::Closed || s.Phase == LinkPhase::Waiting;
    const bool receives = v.transmitting.Now() == std::optional<bool>(false);
    if ((((changed & StateChange::Connection) && ended) ||
         ((changed & StateChange::Transmit) && receives)) &&
        (shown.output || shown.peak)) {
        shown.output.reset();
        shown.peak.reset();
        changed |= StateChange::Output | StateChange::Peak;
    }
    if (changed & (StateChange::Connection | StateChange::NoAnswer))
        DrawConnection(s);
    if (changed & StateChange::NoAnswer && s.IsConnected())
        Announce(!s.NoAnswer ? QStringLiteral("The amplifier answers again")
                             : QStringLiteral("No answer from the amplifier"));
    if (changed & (StateChange::Connection | StateChange::NoAnswer))
        DrawReadingsCurrent(s, v);
    // The block as confirmed on this connection: a new connection shows the
    // resting look, which invites a block and claims nothing, until the
    // amplifier reports the block again.
    if ((changed & StateChange::Ptt) ||
        ((changed & StateChange::Connection) &&
         (pttBlockButton->Caption() == PttCaption::Blocked) != s.PttBlockedHere())) {
        const bool blocked = s.PttBlockedHere();
        // A screen reader hears of a change, not of every confirmation.
        Announce(blocked ? QStringLiteral("PTT blocked") : QStringLiteral("PTT free"));
        pttBlockButton->SetCaption(blocked ? PttCaption::Blocked : PttCaption::Free);
        pttBlockButton->SetColor(blocked ? clAlertPink : clLightGreen);
    }
    if ((changed & StateChange::Temperature) && shown.temperature) {
        const QString &temperature = *shown.temperature;
        temperatureReadout->setText(temperature);
        // Three digits are wider than the box at its laid-out 61 pixels.
        temperatureReadout->setFont(FitToWidth(temperatureReadout->font(), temperature,
                                               temperatureReadout->contentsRect().width(), 61));
        SetGroupColor(temperatureBox, TemperatureColor(temperature));
    }
    if (changed & StateChange::Band)
        DrawBand(v);
    if (changed & StateChange::PaType) {
        (r.Pa12kW() ? pa12kWAction : pa24kWAction)->setChecked(true);
        // The bar shows half the watts of a 2.4 kW amplifier.
        outputMeter->SetValueScale(r.Pa12kW() ? 1 : 2);
        const std::array<QString, 5> texts = MainRules::ScaleTexts(r.paType.value_or(PaType::Kw12));
        for (std::size_t i = 0; i < texts.size(); ++i)
            scaleLabels[i + 1]->setText(texts[i]);
    }
    if (changed & StateChange::Interface)
        DrawInterface(s);
    if (changed & StateChange::Settings)
        DrawSettings(s);
    DrawPower(s, changed);
    if (changed & StateChange::Transmit) {
        const bool transmitting = r.transmitting.value_or(false);
        Announce(transmitting ? QStringLiteral("Transmitting") : QStringLiteral("Receiving"));
        transmitLamp->SetValue(transmitting);
        // The PTT-block panel covers the readouts except while transmitting.
        pttBlockButton->setVisible(!transmitting);
    }
    if (changed & StateChange::Rig)
        DrawTitle(s);
    if (changed & StateChange::AtuFitted)
        atuPanelAction->setEnabled(r.tuner.fitted.value_or(false));
}
