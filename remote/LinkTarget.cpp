// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/LinkTarget.h"

#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/Protocol.h"

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
    const Readings &r = st.readings;
    s.band = st.Band().value_or(0);
    s.manualBands = st.ManualBands();
    s.pttBlocked = r.pttBlocked;
    s.forwardW = st.OutputW().value_or(0);
    s.reflectedW = st.ReflectedW().value_or(0);
    s.peakW = r.peakW.value_or(0);
    s.swr = st.Swr();
    for (int k = 0; k < AlarmKinds; ++k)
        if (r.alarms[std::size_t(k)])
            s.alarm += (s.alarm.isEmpty() ? "" : ", ") + AlarmText(AlarmKind(k));
    s.info = r.Pa12kW() ? "Orvik 1200" : "Orvik 1200 2.4 kW";
    if (!r.firmware.isEmpty())
        s.info += " Ver " + Protocol::ToLine(r.firmware);
    return s;
}

AmpSnapshot LinkTarget::Snapshot() const {
    return SnapshotOf(link_->State());
}

CommandOutcome LinkTarget::Submit(const Command &command) {
    return link_->Submit(command);
}

} // namespace remote
