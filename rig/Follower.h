// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier follows the radio: the rigctld client's answers and the
// link's state go through FollowRules, and a band that is to go is handed
// to the link's gate as the rig's command. Its state is one value (Status),
// told whenever it changes; its lines ("connected to ...", why nothing was
// sent) once per change.
#pragma once

#include "rig/FollowRules.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class AmpLink;
class QTimer;
struct CommandOutcome;

namespace rig {

class RigctldClient;

class Follower : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Follower)
public:
    explicit Follower(AmpLink *link, QObject *parent = nullptr);
    ~Follower() override;

    // Starts polling the rig at address (rigctld://HOST:PORT), following
    // when following is on; the rig polled already only switches
    // following. An empty address stops it. Returns an empty string, or
    // why the address names no rig (what runs then stays).
    QString Start(const QString &address, bool following);
    void Stop();
    // Switches following on or off; on, the radio's band is taken again.
    void SetFollowing(bool on);
    bool Following() const { return status.following; }
    const Status &State() const { return status; }

Q_SIGNALS:
    void StatusChanged(const rig::Status &status);
    void Logged(const QString &line);

private:
    void Evaluate();
    void Publish();
    void Say(const QString &key, const QString &line);
    void NotSent(const CommandOutcome &outcome);

    AmpLink *link;
    std::unique_ptr<RigctldClient> client;
    QTimer *settleTimer = nullptr;
    QElapsedTimer clock;
    Memory memory;
    Status status;
    Status published;      // as told last
    QString said;          // what the last reason line was about: it is said once
    quint64 waitingId = 0; // our band command waiting for its turn at the gate
};

} // namespace rig
