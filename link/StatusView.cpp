// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/StatusView.h"

#include "link/Facts.h"

#include <algorithm>
#include <cmath>

namespace {

// A reading as shown: current while the amplifier answers and it was
// reported on this connection.
template <typename T> Shown<T> Of(const AmpStatus &s, const Reading<T> &r) {
    return {r.value, s.ReadingsCurrent() && s.OnThisConnection(r)};
}

template <typename T> Shown<T> Known(T value, bool current) {
    return {std::optional<T>(std::move(value)), current};
}

TunerView TunerOf(const AmpStatus &s) {
    const TunerReadings &t = s.readings.tuner;
    TunerView v;
    v.fitted = t.fitted.value_or(false);
    if (t.position != AtuSwitch::Initial)
        v.inLine = s.TunerInLine();
    v.lamp = t.lamp;
    v.status = Of(s, t.status);
    v.swr = Of(s, t.swr);
    v.inductanceUH = Of(s, t.inductanceUH);
    v.capacitancePF = Of(s, t.capacitancePF);
    v.forwardW = Of(s, t.forwardW);
    return v;
}

} // namespace

StatusView ViewOf(const AmpStatus &s) {
    const Readings &r = s.readings;
    const bool live = s.ReadingsCurrent();
    StatusView v;
    v.liveness = s.Liveness();
    v.phase = LivenessName(v.liveness);
    v.port = s.PortName;
    v.current = live;
    v.startUp = s.connection == 0;

    v.band = Of(s, r.band);
    if (v.band.value && !Facts::IsBand(*v.band.value))
        v.band = {};

    // Output power reported now means a transmission, with or without its
    // "TX: ON" (a connection made during one sees none).
    const Shown<int> output = Of(s, r.outputW);
    v.transmitting = Of(s, r.transmitting);
    if (output.current && output.value.value_or(0) > 0)
        v.transmitting = Known(true, true);
    if (v.transmitting.current && !*v.transmitting.value) {
        // Receiving is 0 W, not an unknown power.
        v.outputW = Known(0, true);
        v.reflectedW = Known(0, true);
    } else {
        v.outputW = output;
        v.reflectedW = Of(s, r.reflectedW);
    }

    if (s.transmission)
        v.peakW = Known(std::max(s.transmission->peakW, r.peakW.value_or(0)), live);
    else if (v.transmitting.Now().value_or(false) && s.OnThisConnection(r.peakW))
        v.peakW = Known(*r.peakW, live); // before the tracker has its record
    else if (s.lastTransmission)
        v.peakW = Known(s.lastTransmission->peakW, live);

    v.tuner = TunerOf(s);
    if (s.TunerInLine() && v.tuner.swr.current) {
        v.swr = v.tuner.swr;
    } else if (output.current && output.value.value_or(0) > 0) {
        const Shown<double> pair = Of(s, r.powerSwr);
        if (pair.current)
            v.swr = Known(std::round(*pair.value * 100) / 100, true);
    }

    v.temperatureC = Of(s, r.temperatureC);
    v.firmware = Of(s, r.firmware);
    // The type follows the version text; before it, only its last value.
    v.paType = {r.paType.value, v.firmware.current && r.paType.has_value()};
    v.pttBlocked = Of(s, r.pttBlocked);

    const Shown<AlarmSet> alarms = Of(s, r.alarms);
    if (alarms.value) {
        QList<AlarmKind> holding;
        for (int k = 0; k < AlarmKinds; ++k)
            if ((*alarms.value)[std::size_t(k)])
                holding << AlarmKind(k);
        v.alarms = Known(holding, alarms.current);
    }

    if (IsInterface(s.Interface))
        v.interface = Known(s.Interface, live);
    v.manualBands = s.ManualBands();
    const Shown<std::uint8_t> calibration = Of(s, r.calibration);
    if (calibration.value)
        v.calibrated = Known(*calibration.value != NotCalibrated, calibration.current);
    const Shown<std::uint8_t> alc = Of(s, r.alc);
    if (alc.value)
        v.outputLevel = Known(int(*alc.value), alc.current);

    if (!s.transmission)
        v.lastTransmission = s.lastTransmission;
    v.rig = s.rig;
    return v;
}
