#include "mqtt/LinkBridge.h"

#include "link/AmpLink.h"
#include "link/MainRules.h"
#include "mqtt/Publisher.h"
#include "remote/RemoteRules.h"
#include "serial/SerialPort.h"

#include <cmath>

namespace mqtt {

namespace {

QString PhaseOf(const AmpState &s, const QString &previous) {
    switch (s.Phase) {
    case LinkPhase::Start:
    case LinkPhase::Closed:
        return Phase::Closed;
    case LinkPhase::Connecting:
        return Phase::Connecting;
    case LinkPhase::Connected:
        return s.NoAnswer ? Phase::NoAnswer : Phase::Connected;
    case LinkPhase::Waiting:
        return previous == Phase::Connected || previous == Phase::NoAnswer ||
                       previous == Phase::Lost
                   ? Phase::Lost
                   : Phase::Waiting;
    }
    return Phase::Closed;
}

std::optional<double> Number(const QString &text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

} // namespace

MqttState StateOf(const AmpState &s, const QString &previousPhase) {
    MqttState m;
    m.phase = PhaseOf(s, previousPhase);
    m.port = s.PortName;
    m.paType = s.Pa12kW() ? QStringLiteral("1.2 kW") : QStringLiteral("2.4 kW");
    m.current = s.ReadingsCurrent();
    if (!m.current)
        return m;
    m.band = s.CurrentBand;
    m.transmitting = s.Transmitting;
    m.pttBlocked = s.PttBlocked;
    if (!s.OutputText.isEmpty())
        m.outputW = s.OutputWatts;
    m.reflectedW = s.ReversePosition; // the reverse report's watts, unscaled
    if (!s.PeakText.isEmpty())
        m.peakW = s.PeakWatts;
    if (s.Temperature)
        m.temperatureC = Number(*s.Temperature);
    QStringList alarms;
    for (int k = 0; k < AlarmKinds; ++k)
        if (s.Alarms[k])
            alarms << QLatin1String(Alarms[k].name);
    m.alarms = alarms;
    const bool tunerInLine = s.AtuFitted && s.Atu == AtuSwitch::InLine;
    if (s.AtuFitted) {
        TunerState t;
        t.fitted = true;
        if (s.Atu != AtuSwitch::Initial)
            t.inLine = tunerInLine;
        t.status = s.AtuStatusCode;
        t.swr = s.TunerSwr();
        if (!s.InductanceText.isEmpty())
            t.inductanceUh = s.TunerInductance;
        if (!s.CapacitanceText.isEmpty())
            t.capacitancePf = s.TunerCapacitance;
        m.tuner = t;
    }
    // The tuner's reading while it describes the antenna in use, else the
    // amplifier's own from forward and reverse power while it transmits.
    if (tunerInLine && s.TunerSwr())
        m.swr = s.TunerSwr();
    else if (m.outputW && *m.outputW > 0)
        m.swr = std::round(remote::SwrFromPower(*m.outputW, *m.reflectedW) * 100) / 100;
    if (!s.FirmwareVersion.isEmpty())
        m.firmware = s.FirmwareVersion;
    return m;
}

QString LinkCommands::Apply(const Command &command) {
    const AmpState &s = link_->State();
    if (!s.IsConnected())
        return QStringLiteral("the amplifier is not connected");
    try {
        switch (command.kind) {
        case Command::Kind::Band: {
            const std::optional<MainRules::InterfaceInfo> face =
                MainRules::Interface(s.BandGroupInterface);
            if (!face || !face->bandsEnabled)
                return QStringLiteral("the band follows the transceiver; only the Manual "
                                      "interface lets it be chosen");
            link_->SelectBand(command.band);
            break;
        }
        case Command::Kind::Operate:
            // The latest request wins, also over one still unconfirmed.
            link_->RequestPttBlock(!command.operate);
            break;
        case Command::Kind::Raw:
            link_->Send(command.line);
            break;
        }
    } catch (const ESerialPortException &) {
        // The port went between the check and the send; the link tells
        // everyone about the loss itself.
        return QStringLiteral("the port was lost");
    }
    return QString();
}

void Follow(AmpLink *link, Publisher *publisher) {
    auto update = [publisher](const AmpState &s) {
        publisher->Update(StateOf(s, publisher->State().phase));
    };
    update(link->State());
    QObject::connect(link, &AmpLink::StateChanged, publisher,
                     [update](const AmpState &s, unsigned) { update(s); });
}

} // namespace mqtt
