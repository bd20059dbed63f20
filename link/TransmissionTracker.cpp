// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TransmissionTracker.h"

#include "link/StatusView.h"

#include <algorithm>

void TransmissionTracker::Reset() {
    outputSinceMs = 0;
    outputNow = 0;
    outputWattMs = 0;
}

LinkEvent TransmissionTracker::End(AmpStatus &after, qint64 endMs) {
    Transmission t = *after.transmission;
    after.transmission.reset();
    t.endMs = std::max(t.startMs, endMs);
    outputWattMs += double(outputNow) * double(std::max<qint64>(0, t.endMs - outputSinceMs));
    t.averageW = t.DurationMs() > 0 ? outputWattMs / double(t.DurationMs()) : outputNow;
    after.lastTransmission = t;
    LinkEvent e;
    e.kind = LinkEvent::Kind::TransmitEnd;
    e.band = t.band;
    e.transmission = t;
    return e;
}

QList<LinkEvent> TransmissionTracker::Update(const AmpStatus &, AmpStatus &after, qint64 nowMs,
                                             qint64 endedByMs) {
    QList<LinkEvent> events;
    const StatusView view = ViewOf(after);
    // From "TX: ON" or the first output power to "TX: OFF", a silence, the
    // end of the connection or its reports stopping.
    const bool transmits = view.transmitting.Now().value_or(false);
    if (transmits && !after.transmission) {
        Transmission t;
        t.startMs = nowMs;
        t.band = view.band.Now().value_or(0);
        after.transmission = t;
        after.lastTransmission.reset();
        Reset();
        outputSinceMs = nowMs;
        LinkEvent e;
        e.kind = LinkEvent::Kind::TransmitStart;
        e.band = t.band;
        events << e;
    }
    if (!after.transmission)
        return events;
    Transmission &t = *after.transmission;
    if (!transmits) {
        // Ended by "TX: OFF" now; cut short, when the amplifier last reported.
        const bool toldEnd = view.transmitting.current;
        events << End(after, toldEnd ? nowMs : endedByMs);
        return events;
    }
    const int output = view.outputW.Now().value_or(0);
    if (output != outputNow) {
        outputWattMs += double(outputNow) * double(nowMs - outputSinceMs);
        outputSinceMs = nowMs;
        outputNow = output;
    }
    // A band the amplifier tells only after the transmission began is its band.
    if (!t.band)
        t.band = view.band.Now().value_or(0);
    t.peakW = std::max({t.peakW, output, after.readings.peakW.value_or(0)});
    // The SWR of one report cycle (or the tuner's), never of two moments.
    if (const std::optional<double> swr = view.swr.Now(); swr && output > 0)
        t.worstSwr = std::max(t.worstSwr.value_or(0), *swr);
    if (const std::optional<QList<AlarmKind>> alarms = view.alarms.Now())
        for (AlarmKind a : *alarms)
            t.alarms |= 1u << int(a);
    return events;
}

QList<LinkEvent> ReportedChanges(const AmpStatus &before, const AmpStatus &after,
                                 const std::optional<CommandSource> &pttSource) {
    QList<LinkEvent> events;
    // A connection's end, its silence and its start tell nothing here.
    if (!before.ReadingsCurrent() || !after.ReadingsCurrent() ||
        before.connection != after.connection)
        return events;
    const Readings &was = before.readings;
    const Readings &r = after.readings;
    for (int a = 0; a < AlarmKinds; ++a) {
        const bool on = r.Alarm(AlarmKind(a)), wasOn = was.Alarm(AlarmKind(a));
        if (on == wasOn)
            continue;
        LinkEvent e;
        e.kind = on ? LinkEvent::Kind::AlarmStart : LinkEvent::Kind::AlarmEnd;
        e.alarm = AlarmKind(a);
        events << e;
    }
    // A band the amplifier reports: a change when one was known before.
    const std::optional<int> fromBand = before.Band(), band = after.Band();
    if (fromBand && band && *band != *fromBand) {
        LinkEvent e;
        e.kind = LinkEvent::Kind::BandChanged;
        e.band = *band;
        e.fromBand = *fromBand;
        events << e;
    }
    const bool wasKnown = before.OnThisConnection(was.pttBlocked);
    if (after.OnThisConnection(r.pttBlocked) && (!wasKnown || *was.pttBlocked != *r.pttBlocked)) {
        LinkEvent e;
        e.kind = LinkEvent::Kind::PttChanged;
        e.blocked = *r.pttBlocked;
        e.source = pttSource;
        events << e;
    }
    return events;
}
