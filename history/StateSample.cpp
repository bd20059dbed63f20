// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/StateSample.h"

#include "history/HistoryStore.h"
#include "link/AmpLink.h"

HistorySample SampleOf(const AmpStatus &s) {
    HistorySample h;
    switch (s.Phase) {
    case LinkPhase::Start:
    case LinkPhase::Closed:
        h.link = HistoryLink::Closed;
        break;
    case LinkPhase::Connecting:
        h.link = HistoryLink::Connecting;
        break;
    case LinkPhase::Waiting:
        h.link = HistoryLink::Waiting;
        break;
    case LinkPhase::Connected:
        h.link = s.NoAnswer ? HistoryLink::NoAnswer : HistoryLink::Current;
        break;
    }
    const Readings &r = s.readings;
    h.band = r.band >= 1 && r.band <= 7 ? r.band : 0;
    h.pttBlocked = r.pttBlocked;
    if (!s.ReadingsCurrent())
        return h;
    auto watts = [](std::optional<int> w) { return w ? std::optional<double>(*w) : std::nullopt; };
    h.transmitting = r.Transmits();
    h.output = watts(r.outputW);
    h.reflected = watts(r.reflectedW);
    // Receiving, the amplifier sends no power: that is none of it.
    if (!r.Transmits()) {
        h.output = h.output.value_or(0);
        h.reflected = h.reflected.value_or(0);
    }
    h.peak = watts(r.peakW);
    if (r.Transmits())
        h.swr = r.Swr();
    h.temperature = r.temperatureC;
    for (int a = 0; a < AlarmKinds; ++a)
        if (r.alarms[size_t(a)])
            h.alarms |= 1u << a;
    if (r.tuner.fitted) {
        h.tunerSwr = r.TunerSwr();
        h.tunerInductance = r.tuner.inductanceUH;
        h.tunerCapacitance = r.tuner.capacitancePF;
    }
    return h;
}

void RecordLink(const AmpLink &link, HistoryStore &store) {
    QObject::connect(&link, &AmpLink::StateChanged, &store,
                     [&store](const AmpStatus &state, unsigned) { store.Record(SampleOf(state)); });
}
