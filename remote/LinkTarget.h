// SPDX-License-Identifier: GPL-3.0-or-later
// The network server's view of the amplifier link: the link's state record
// as the server's snapshot, and the band buttons', the PTT-block panel's and
// the port monitor input line's own sending paths for a client's changes, so
// that each is sent and echoed in the port monitor exactly as an operator's.
#pragma once

#include "link/AmpStatus.h"
#include "remote/RemoteTarget.h"

#include <QByteArray>

class AmpLink;

namespace remote {

// What an alarm report means, for FAULT and for logs.
QByteArray AlarmText(AlarmKind kind);

// The snapshot of one state record and the commands waiting beside it.
AmpSnapshot SnapshotOf(const AmpStatus &state, const PendingCommands &pending = {});

class LinkTarget : public RemoteTarget {
public:
    explicit LinkTarget(AmpLink *link) : link_(link) {}
    AmpSnapshot Snapshot() const override;
    void SelectBand(int band) override;
    void SetPttBlocked(bool blocked) override;
    void SendLine(const QByteArray &text) override;

private:
    AmpLink *link_;
};

} // namespace remote
