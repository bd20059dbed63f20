// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/LinkBridge.h"

#include "link/AmpLink.h"
#include "link/Facts.h"
#include "mqtt/Publisher.h"

namespace mqtt {

MqttState StateOf(const AmpStatus &s) {
    const Readings &r = s.readings;
    MqttState m;
    m.phase = LivenessName(s.Liveness());
    m.port = s.PortName;
    m.current = s.ReadingsCurrent();
    if (!m.current)
        return m;
    // The type follows the version text, once the amplifier has sent it.
    if (!r.firmware.isEmpty())
        m.paType = Facts::PaTypeName(r.paType);
    m.band = s.Band();
    m.transmitting = r.Transmits();
    m.pttBlocked = r.pttBlocked;
    m.outputW = s.OutputW();
    m.reflectedW = s.ReflectedW();
    // The peak of the transmission under way, else the last one's until
    // the next begins.
    m.peakW = r.peakW;
    if (!r.Transmits() && s.lastTransmission)
        m.peakW = s.lastTransmission->peakW;
    m.temperatureC = r.temperatureC;
    QStringList alarms;
    for (int k = 0; k < AlarmKinds; ++k)
        if (r.alarms[std::size_t(k)])
            alarms << AlarmName(AlarmKind(k));
    m.alarms = alarms;
    if (r.tuner.fitted) {
        TunerState t;
        t.fitted = true;
        if (r.tuner.position != AtuSwitch::Initial)
            t.inLine = s.TunerInLine();
        t.status = r.tuner.status;
        t.swr = r.TunerSwr();
        t.inductanceUh = r.tuner.inductanceUH;
        t.capacitancePf = r.tuner.capacitancePF;
        t.forwardW = r.tuner.forwardW;
        m.tuner = t;
    }
    m.swr = s.Swr();
    m.firmware = r.firmware;
    return m;
}

LinkCommands::LinkCommands(AmpLink *link) : link_(link) {
    QObject::connect(link, &AmpLink::CommandFinished, &context_,
                     [this](const CommandOutcome &outcome) {
                         const auto it = waiting_.find(outcome.id);
                         if (it == waiting_.end())
                             return;
                         const Done done = it.value();
                         waiting_.erase(it);
                         done(outcome.Ok() ? QString() : outcome.reason);
                     });
}

void LinkCommands::Apply(const mqtt::Command &command, Done done) {
    ::Command c;
    c.source = CommandSource::Of(CommandSource::Kind::Mqtt);
    switch (command.kind) {
    case mqtt::Command::Kind::Band:
        c.kind = ::Command::Kind::Band;
        c.value = command.band;
        break;
    case mqtt::Command::Kind::Operate:
        c.kind = ::Command::Kind::PttBlock;
        c.value = command.operate ? 0 : 1;
        break;
    case mqtt::Command::Kind::Raw:
        c.kind = ::Command::Kind::Line;
        c.line = command.line;
        break;
    }
    const CommandOutcome outcome = link_->Submit(c);
    if (!outcome.Final())
        waiting_.insert(outcome.id, std::move(done));
    else
        done(outcome.Ok() ? QString() : outcome.reason);
}

void Follow(AmpLink *link, Publisher *publisher) {
    publisher->Update(StateOf(link->State()));
    QObject::connect(link, &AmpLink::StateChanged, publisher,
                     [publisher](const AmpStatus &s, unsigned) { publisher->Update(StateOf(s)); });
    QObject::connect(link, &AmpLink::Event, publisher, &Publisher::Tell);
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
