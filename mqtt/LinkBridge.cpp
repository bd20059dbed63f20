// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/LinkBridge.h"

#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/StatusView.h"
#include "mqtt/Publisher.h"

namespace mqtt {

MqttState StateOf(const AmpStatus &status) {
    const StatusView v = ViewOf(status);
    MqttState m;
    m.phase = v.phase;
    m.port = v.port;
    m.current = v.current;
    if (!v.rig.source.isEmpty())
        m.rig = v.rig;
    if (!m.current)
        return m;
    // Each reading as the view has it now: a reading not current is null.
    m.paType = v.paType.Now() ? Facts::PaTypeName(*v.paType.Now()) : QString();
    m.firmware = v.firmware.Now().value_or(QString());
    m.band = v.band.Now();
    m.transmitting = v.transmitting.Now();
    m.pttBlocked = v.pttBlocked.Now();
    m.outputW = v.outputW.Now();
    m.reflectedW = v.reflectedW.Now();
    m.peakW = v.peakW.Now();
    m.swr = v.swr.Now();
    m.temperatureC = v.temperatureC.Now();
    if (const std::optional<QList<AlarmKind>> alarms = v.alarms.Now()) {
        QStringList names;
        for (AlarmKind k : *alarms)
            names << AlarmName(k);
        m.alarms = names;
    }
    if (v.tuner.fitted) {
        TunerState t;
        t.fitted = true;
        t.inLine = v.tuner.inLine;
        t.status = v.tuner.status.Now();
        t.swr = v.tuner.swr.Now();
        t.inductanceUh = v.tuner.inductanceUH.Now();
        t.capacitancePf = v.tuner.capacitancePF.Now();
        t.forwardW = v.tuner.forwardW.Now();
        m.tuner = t;
    }
    if (const auto &t = v.lastTransmission) {
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
    case mqtt::Command::Kind::RadioFollowing: // the station's, never the amplifier's
        done(QStringLiteral("not a command of the amplifier"));
        return;
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
    QObject::connect(link, &AmpLink::Event, publisher,
                     [publisher](const LinkEvent &e) { publisher->Tell(e); });
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
