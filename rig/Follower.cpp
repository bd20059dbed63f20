// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/Follower.h"

#include "link/AmpLink.h"
#include "link/BandPlan.h"
#include "link/Facts.h"
#include "rig/RigctldClient.h"

#include <QTimer>

namespace rig {

Follower::Follower(AmpLink *link, QObject *parent)
    : QObject(parent), link(link), settleTimer(new QTimer(this)) {
    clock.start();
    settleTimer->setSingleShot(true);
    // At the settle time's end the radio is asked again: the band goes
    // only when it still holds, not on an answer up to a poll old.
    connect(settleTimer, &QTimer::timeout, this, [this] {
        if (client)
            client->PollNow();
    });
    // The end of a transmission, the amplifier's return or its interface
    // may let a waiting band go at once.
    // A band that waited for its turn at the gate and was then refused
    // (the amplifier began to transmit meanwhile) is tried again once
    // nothing holds it back. One that an operator's click replaced stays
    // replaced.
    connect(link, &AmpLink::CommandFinished, this, [this](const CommandOutcome &outcome) {
        if (waitingId == 0 || outcome.id != waitingId)
            return;
        waitingId = 0;
        if (outcome.result != CommandOutcome::Result::Refused &&
            outcome.result != CommandOutcome::Result::Failed)
            return;
        memory.followed = 0;
        NotSent(outcome);
        Publish();
    });
    connect(link, &AmpLink::StateChanged, this, [this](const AmpStatus &, unsigned what) {
        if (client && (what & (StateChange::Connection | StateChange::Transmit |
                               StateChange::Interface | StateChange::NoAnswer)))
            Evaluate();
    });
}

Follower::~Follower() = default;

QString Follower::Start(const QString &text, bool following) {
    Address address;
    if (!text.trimmed().isEmpty()) {
        if (const QString error = ParseAddress(text, &address); !error.isEmpty())
            return error;
        // The same rig: its connection stays, only following changes.
        if (client && address.Text() == status.source) {
            SetFollowing(following);
            return QString();
        }
    }
    Stop();
    if (text.trimmed().isEmpty())
        return QString();
    client = std::make_unique<RigctldClient>(address);
    connect(client.get(), &RigctldClient::Polled, this, &Follower::Evaluate);
    connect(client.get(), &RigctldClient::Note, this, &Follower::Logged);
    connect(client.get(), &RigctldClient::ConnectionChanged, this,
            [this](bool connected, const QString &why) {
                const QString where = client->Where().Text();
                said.clear();
                Q_EMIT Logged(
                    connected
                        ? QStringLiteral("connected to ") + where
                        : QStringLiteral("no connection to %1 (%2); trying again").arg(where, why));
                Evaluate();
            });
    status = Status();
    status.source = address.Text();
    status.following = following;
    memory = Memory();
    client->Start();
    Evaluate();
    return QString();
}

void Follower::Stop() {
    settleTimer->stop();
    client.reset();
    memory = Memory();
    said.clear();
    const bool following = status.following;
    status = Status();
    status.following = following;
    Publish();
}

void Follower::SetFollowing(bool on) {
    if (status.following == on)
        return;
    status.following = on;
    memory = Memory(); // on again: the radio's band is taken at once
    said.clear();
    Q_EMIT Logged(on ? QStringLiteral("following the radio") : QStringLiteral("following off"));
    Evaluate();
}

void Follower::Evaluate() {
    if (!client) {
        Publish();
        return;
    }
    const Radio &radio = client->State();
    const std::optional<qint64> hz = radio.TransmitHz();
    const int band = hz ? BandPlan::BandOf(*hz) : 0;
    status.connected = radio.connected;
    status.frequencyHz = radio.frequencyHz;
    status.txHz = radio.split ? radio.txHz : std::nullopt;
    status.band = band ? std::optional<int>(band) : std::nullopt;
    if (!status.following) {
        status.reason = QStringLiteral("following is off");
        Publish();
        return;
    }
    const int memoryBefore = memory.followed;
    const Decision d = Decide(clock.elapsed(), radio, Amp::Of(link->State()), memory);
    memory = d.memory;
    status.reason = d.reason;
    if (d.againAtMs >= 0)
        settleTimer->start(int(std::max<qint64>(0, d.againAtMs - clock.elapsed())));
    if (radio.connected && !d.reason.isEmpty()) {
        // Said once per kind of reason: a knob turned outside the bands
        // changes the frequency in the text, not the line.
        const QString key = d.reason.contains(QLatin1String("outside every band"))
                                ? QStringLiteral("outside")
                                : d.reason;
        Say(key, d.reason);
    }
    // Followed: the next reason is news again.
    if (d.memory.followed != 0 && d.memory.followed != memoryBefore)
        said.clear();
    if (d.send) {
        Command c;
        c.kind = Command::Kind::Band;
        c.value = d.send;
        c.source = CommandSource::Of(CommandSource::Kind::Rig, status.source);
        const CommandOutcome outcome = link->Submit(c);
        if (outcome.result == CommandOutcome::Result::Waiting)
            waitingId = outcome.id;
        else if (!outcome.Ok())
            NotSent(outcome);
    }
    Publish();
}

void Follower::NotSent(const CommandOutcome &outcome) {
    status.reason =
        Facts::BandName(outcome.command.value) + QStringLiteral(" not sent: ") + outcome.reason;
    Say(status.reason, status.reason);
}

void Follower::Say(const QString &key, const QString &line) {
    if (key == said)
        return;
    said = key;
    Q_EMIT Logged(line);
}

void Follower::Publish() {
    if (status == published)
        return;
    published = status;
    Q_EMIT StatusChanged(status);
}

} // namespace rig
