// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Forgetting.h"

namespace Forgetting {

namespace {

unsigned ForgetPower(Readings &r) {
    unsigned changed = 0;
    if (r.outputW.Forget())
        changed |= StateChange::Output;
    if (r.reflectedW.Forget())
        changed |= StateChange::Reverse;
    r.powerSwr.Forget();
    r.outputSinceReverse = false;
    return changed;
}

unsigned ForgetTunerReadings(TunerReadings &t, bool andStatus) {
    bool forgot = t.swr.Forget();
    forgot |= t.inductanceUH.Forget();
    forgot |= t.capacitancePF.Forget();
    unsigned changed = forgot ? unsigned(StateChange::AtuReadings) : 0u;
    if (andStatus) {
        if (t.forwardW.Forget())
            changed |= StateChange::AtuReadings;
        if (t.status.Forget())
            changed |= StateChange::AtuStatus;
    }
    return changed;
}

} // namespace

unsigned Apply(Rule rule, AmpStatus &s, qint64 nowMs) {
    Readings &r = s.readings;
    switch (rule) {
    case Rule::NewConnection:
        ++s.connection;
        r.outputSinceReverse = false;
        return StateChange::Connection;
    case Rule::Identified:
        r.alarms.Set(AlarmSet{}, s.At(nowMs));
        return StateChange::Alarm;
    case Rule::Silence: {
        unsigned changed = ForgetPower(r) | ForgetTunerReadings(r.tuner, true);
        if (r.transmitting.Forget())
            changed |= StateChange::Transmit;
        return changed;
    }
    case Rule::BandChange:
        return ForgetTunerReadings(r.tuner, false);
    case Rule::TransmissionStart:
        return r.tuner.swr.Forget() ? unsigned(StateChange::AtuReadings) : 0u;
    case Rule::TransmissionEnd: {
        unsigned changed = ForgetPower(r);
        if (r.peakW.Forget())
            changed |= StateChange::Peak;
        return changed;
    }
    case Rule::ReportsStopped: {
        unsigned changed = ForgetPower(r);
        if (r.transmitting.Forget())
            changed |= StateChange::Transmit;
        return changed;
    }
    case Rule::Receiving:
        if (r.transmitting.On(s.connection) && !*r.transmitting)
            return 0;
        r.transmitting.Set(false, s.At(nowMs));
        return StateChange::Transmit | ForgetPower(r);
    }
    return 0;
}

} // namespace Forgetting
