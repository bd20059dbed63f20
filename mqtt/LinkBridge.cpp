// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/LinkBridge.h"

#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/ReplyDispatcher.h"
#include "mqtt/Publisher.h"

#include <memory>

namespace mqtt {

MqttState StateOf(const AmpStatus &s, bool pttKnown) {
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
    if (pttKnown)
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
    if (const auto &t = s.lastTransmission; t && !r.Transmits()) {
        LastTransmission last;
        last.durationS = double(t->DurationMs()) / 1000;
        last.band = t->band;
        last.averageW = t->averageW;
        last.peakW = t->peakW;
        last.worstSwr = t->worstSwr;
        m.lastTransmission = last;
    }
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
    // The PTT block is known once the amplifier has reported it on this
    // connection; until then the link's value is only its default.
    auto pttKnown = std::make_shared<bool>(false);
    auto update = [publisher, pttKnown](const AmpStatus &s) {
        publisher->Update(StateOf(s, *pttKnown));
    };
    update(link->State());
    QObject::connect(link, &AmpLink::ReportApplied, publisher,
                     [pttKnown](ReportId row, const QString &) {
                         if (row == ReportId::BlockOn || row == ReportId::BlockOff)
                             *pttKnown = true;
                     });
    QObject::connect(link, &AmpLink::StateChanged, publisher,
                     [update](const AmpStatus &s, unsigned) { update(s); });
    QObject::connect(link, &AmpLink::Event, publisher, [publisher, pttKnown](const LinkEvent &e) {
        if (e.kind == LinkEvent::Kind::Opened)
            *pttKnown = false;
        publisher->Tell(e);
    });
}
QString PublishLink(AmpLink *link, Publisher *publisher, const Settings &settings) {
    if (settings.broker.trimmed().isEmpty())
        return QString();
    Config config;
    QString error = Prepare(settings, &config);
    Timing timing;
    timing.minIntervalMs = config.stateIntervalMs;
    if (error.isEmpty())
        error = publisher->Start(config, timing);
    if (error.isEmpty())
        Follow(link, publisher);
    return error;
}

} // namespace mqtt
