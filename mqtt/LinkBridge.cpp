// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/LinkBridge.h"

#include "link/AmpLink.h"
#include "mqtt/Publisher.h"
#include "serial/SerialPort.h"

#include <cmath>

namespace mqtt {

namespace {

QString PhaseOf(const AmpStatus &s, const QString &previous) {
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

} // namespace

MqttState StateOf(const AmpStatus &s, const QString &previousPhase) {
    const Readings &r = s.readings;
    MqttState m;
    m.phase = PhaseOf(s, previousPhase);
    m.port = s.PortName;
    m.current = s.ReadingsCurrent();
    if (!m.current)
        return m;
    // The type follows the version text, once the amplifier has sent it.
    if (!r.firmware.isEmpty())
        m.paType = r.Pa12kW() ? QStringLiteral("1.2 kW") : QStringLiteral("2.4 kW");
    // Not the start value before the amplifier answers the start-up queries.
    if (r.bandKnown && r.band >= 1 && r.band <= 7)
        m.band = r.band;
    m.transmitting = r.Transmits();
    m.pttBlocked = r.pttBlocked;
    m.outputW = r.outputW;
    m.reflectedW = r.reflectedW;
    // Receiving, the amplifier sends no power: that is none of it (as the
    // server and the history have it), not an unknown value.
    if (!r.Transmits()) {
        m.outputW = m.outputW.value_or(0);
        m.reflectedW = m.reflectedW.value_or(0);
    }
    m.peakW = r.peakW;
    m.temperatureC = r.temperatureC;
    QStringList alarms;
    for (int k = 0; k < AlarmKinds; ++k)
        if (r.alarms[std::size_t(k)])
            alarms << AlarmName(AlarmKind(k));
    m.alarms = alarms;
    const bool tunerInLine = r.tuner.fitted && r.tuner.position == AtuSwitch::InLine;
    if (r.tuner.fitted) {
        TunerState t;
        t.fitted = true;
        if (r.tuner.position != AtuSwitch::Initial)
            t.inLine = tunerInLine;
        t.status = r.tuner.status;
        t.swr = r.TunerSwr();
        t.inductanceUh = r.tuner.inductanceUH;
        t.capacitancePf = r.tuner.capacitancePF;
        t.forwardW = r.tuner.forwardW;
        m.tuner = t;
    }
    // The tuner's reading while it describes the antenna in use, else the
    // amplifier's own from forward and reflected power while it transmits.
    if (tunerInLine && r.TunerSwr())
        m.swr = r.TunerSwr();
    else if (r.outputW.value_or(0) > 0 && r.Swr())
        m.swr = std::round(*r.Swr() * 100) / 100;
    m.firmware = r.firmware;
    return m;
}

QString LinkCommands::Apply(const Command &command) {
    const AmpStatus &s = link_->State();
    if (!s.IsConnected())
        return QStringLiteral("the amplifier is not connected");
    try {
        switch (command.kind) {
        case Command::Kind::Band: {
            if (!s.ManualBands())
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
    auto update = [publisher](const AmpStatus &s) {
        publisher->Update(StateOf(s, publisher->State().phase));
    };
    update(link->State());
    QObject::connect(link, &AmpLink::StateChanged, publisher,
                     [update](const AmpStatus &s, unsigned) { update(s); });
}

QString PublishLink(AmpLink *link, Publisher *publisher, const Settings &settings) {
    if (settings.broker.trimmed().isEmpty())
        return QString();
    Config config;
    QString error = Prepare(settings, &config);
    if (error.isEmpty())
        error = publisher->Start(config);
    if (error.isEmpty())
        Follow(link, publisher);
    return error;
}

} // namespace mqtt
