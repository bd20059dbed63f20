// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/LinkTarget.h"

#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/Protocol.h"
#include "link/StatusView.h"

namespace remote {

QByteArray AlarmText(AlarmKind kind) {
    return QByteArray(Facts::AlarmFact(kind).text.data());
}

AmpSnapshot SnapshotOf(const AmpStatus &st) {
    AmpSnapshot s;
    s.connected = st.IsConnected();
    switch (st.Liveness()) {
    case ::Liveness::Live:
        s.liveness = Liveness::Live;
        break;
    case ::Liveness::Lost:
    case ::Liveness::Waiting:
        s.liveness = Liveness::PortLost;
        break;
    case ::Liveness::Connecting:
    case ::Liveness::NoAnswer:
        s.liveness = Liveness::Silent;
        break;
    case ::Liveness::Closed:
        s.liveness = Liveness::Closed;
        break;
    }
    const StatusView v = ViewOf(st);
    s.band = v.band.Now().value_or(0);
    s.manualBands = v.manualBands;
    s.pttBlocked = v.pttBlocked.Now();
    if (const std::optional<bool> tx = v.transmitting.Now())
        s.receiving = !*tx;
    s.forwardW = v.outputW.Now();
    s.reflectedW = v.reflectedW.Now();
    s.peakW = v.peakW.Now();
    s.swr = v.swr.Now();
    if (const std::optional<QList<AlarmKind>> alarms = v.alarms.Now()) {
        QByteArray text;
        for (AlarmKind k : *alarms)
            text += (text.isEmpty() ? "" : ", ") + AlarmText(k);
        s.alarm = text;
    }
    const bool pa24 = v.paType.Now() == PaType::Kw24;
    s.info = pa24 ? "Orvik 1200 2.4 kW" : "Orvik 1200";
    if (const std::optional<QString> firmware = v.firmware.Now(); firmware && !firmware->isEmpty())
        s.info += " Ver " + Protocol::ToLine(*firmware);
    if (v.rig.connected)
        s.rigFrequencyHz = v.rig.frequencyHz;
    return s;
}

AmpSnapshot LinkTarget::Snapshot() const {
    return SnapshotOf(link_->State());
}

CommandOutcome LinkTarget::Submit(const Command &command) {
    return link_->Submit(command);
}

} // namespace remote
