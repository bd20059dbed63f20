// SPDX-License-Identifier: GPL-3.0-or-later
// The network server's view of the amplifier link: the link's status as the
// server's snapshot, and the link's command gate for a client's changes, so
// that each is ordered, spaced, sent and echoed as every other source's.
#pragma once

#include "link/AmpStatus.h"
#include "remote/RemoteTarget.h"

#include <QByteArray>

class AmpLink;

namespace remote {

// What an alarm report means, for FAULT and for logs.
QByteArray AlarmText(AlarmKind kind);

// The snapshot of one state record and the commands waiting beside it.
AmpSnapshot SnapshotOf(const AmpStatus &state);

class LinkTarget : public RemoteTarget {
public:
    explicit LinkTarget(AmpLink *link) : link_(link) {}
    AmpSnapshot Snapshot() const override;
    CommandOutcome Submit(const Command &command) override;

private:
    AmpLink *link_;
};

} // namespace remote
