// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/LinkTarget.h"

#include "link/AmpLink.h"
#include "link/Protocol.h"
#include "serial/SerialPort.h"

namespace remote {

namespace {

// A send races the loss of the port: the server checked the connection,
// but the device may have gone since. The change is dropped then; the
// link's own disconnect handling tells everyone about the loss.
template <typename F> void Sending(F send) {
    try {
        send();
    } catch (const ESerialPortException &) {
    }
}

} // namespace

QByteArray AlarmText(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::HpOut:
        return "High output power";
    case AlarmKind::HpIn:
        return "High input power";
    case AlarmKind::Bpf:
        return "Band-pass filter failure";
    case AlarmKind::Swr:
        return "High reverse power";
    case AlarmKind::Temp:
        return "High temperature";
    case AlarmKind::Tot:
        return "Transmit time exceeded";
    case AlarmKind::HpCont:
        return "Continuous output power exceeded";
    }
    return QByteArray();
}

AmpSnapshot SnapshotOf(const AmpStatus &st, const PendingCommands &pending) {
    AmpSnapshot s;
    s.connected = st.IsConnected();
    s.liveness = st.ReadingsCurrent()                    ? Liveness::Live
                 : st.IsWaiting()                        ? Liveness::PortLost
                 : st.IsConnecting() || st.IsConnected() ? Liveness::Silent
                                                         : Liveness::Closed;
    const Readings &r = st.readings;
    s.band = r.band;
    s.manualBands = st.ManualBands();
    s.pttBlocked = r.pttBlocked;
    s.pttPending = pending.blockOn ? 1 : pending.blockOff ? 0 : -1;
    s.forwardW = r.outputW.value_or(0);
    s.reflectedW = r.reflectedW.value_or(0);
    s.peakW = r.peakW.value_or(0);
    // A bypassed tuner's last reading says nothing about the antenna now.
    if (r.tuner.fitted && r.tuner.position == AtuSwitch::InLine)
        s.tunerSwr = r.TunerSwr().value_or(0);
    for (int k = 0; k < AlarmKinds; ++k)
        if (r.alarms[std::size_t(k)])
            s.alarm += (s.alarm.isEmpty() ? "" : ", ") + AlarmText(AlarmKind(k));
    s.info = r.Pa12kW() ? "Orvik 1200" : "Orvik 1200 2.4 kW";
    if (!r.firmware.isEmpty())
        s.info += " Ver " + Protocol::ToLine(r.firmware);
    return s;
}

AmpSnapshot LinkTarget::Snapshot() const {
    return SnapshotOf(link_->State(), link_->Pending());
}

void LinkTarget::SelectBand(int band) {
    Sending([&] { link_->SelectBand(band); });
}

void LinkTarget::SetPttBlocked(bool blocked) {
    // The latest request wins, also over a command still unconfirmed.
    Sending([&] { link_->RequestPttBlock(blocked); });
}

void LinkTarget::SendLine(const QByteArray &text) {
    Sending([&] { link_->Send(text); });
}

} // namespace remote
