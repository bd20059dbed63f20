#include "history/StateSample.h"

#include "link/AmpState.h"

#include <cmath>

HistorySample SampleOf(const AmpState &s) {
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
    h.band = s.CurrentBand >= 1 && s.CurrentBand <= 7 ? s.CurrentBand : 0;
    h.pttBlocked = s.PttBlocked;
    if (h.link != HistoryLink::Current)
        return h;
    h.output = s.OutputWatts;
    h.reflected = s.ReversePosition;
    h.peak = s.PeakWatts;
    if (s.OutputWatts > 0 && s.ReversePosition < s.OutputWatts) {
        const double rho = std::sqrt(double(s.ReversePosition) / s.OutputWatts);
        h.swr = (1 + rho) / (1 - rho);
    }
    if (s.Temperature) {
        bool ok = false;
        const double t = s.Temperature->trimmed().toDouble(&ok);
        if (ok)
            h.temperature = t;
    }
    h.transmitting = s.Transmitting;
    for (int a = 0; a < AlarmKinds; ++a)
        if (s.Alarms[a])
            h.alarms |= 1u << a;
    if (s.AtuFitted) {
        h.tunerSwr = s.TunerSwr();
        h.tunerInductance = s.TunerInductance;
        h.tunerCapacitance = s.TunerCapacitance;
    }
    return h;
}
