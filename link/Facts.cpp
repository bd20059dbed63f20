// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Facts.h"

#include <cmath>

namespace Facts {

const Alarm Alarms[AlarmKinds] = {
    {AlarmKind::HpOut, QLatin1String("HPOUT"), QLatin1String("High output power")},
    {AlarmKind::HpIn, QLatin1String("HPIN"), QLatin1String("High input power")},
    {AlarmKind::Bpf, QLatin1String("BPF"), QLatin1String("Band-pass filter failure")},
    {AlarmKind::Swr, QLatin1String("SWR"), QLatin1String("High reverse power")},
    {AlarmKind::Temp, QLatin1String("TEMP"), QLatin1String("High temperature")},
    {AlarmKind::Tot, QLatin1String("TOT"), QLatin1String("Transmit time exceeded")},
    {AlarmKind::HpCont, QLatin1String("HPCONT"), QLatin1String("Continuous output power exceeded")},
};

std::optional<AlarmKind> AlarmNamed(const QString &name) {
    for (const Alarm &a : Alarms)
        if (name == a.name)
            return a.kind;
    return std::nullopt;
}

QString BandName(int band) {
    static const char *const names[Bands] = {"160M",    "80M",     "40M", "30M/20M",
                                             "17M/15M", "12M/10M", "6M"};
    return IsBand(band) ? QLatin1String(names[band - 1]) : QString();
}

namespace {
struct Segment {
    int band;
    qint64 low, high; // Hz, both inclusive
};
// 160 m; 80 m; 40 m; 30 m and 20 m; 17 m and 15 m; 12 m and 10 m; 6 m.
// Ordered by frequency, so the first segment of a band is its lower edge.
constexpr Segment BandPlan[] = {
    {1, 1800000, 2000000},   {2, 3500000, 4000000},   {3, 7000000, 7300000},
    {4, 10100000, 10150000}, {4, 14000000, 14350000}, {5, 18068000, 18168000},
    {5, 21000000, 21450000}, {6, 24890000, 24990000}, {6, 28000000, 29700000},
    {7, 50000000, 54000000},
};
} // namespace

int BandForFrequency(double hz) {
    if (!std::isfinite(hz))
        return 0;
    for (const Segment &s : BandPlan)
        if (hz >= double(s.low) && hz <= double(s.high))
            return s.band;
    return 0;
}

qint64 BandLowerEdge(int band) {
    for (const Segment &s : BandPlan)
        if (s.band == band)
            return s.low;
    return 0;
}

bool IsBinaryLine(const QByteArray &line) {
    for (const char ch : line) {
        const auto u = static_cast<unsigned char>(ch);
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

QString PaTypeName(PaType type) {
    return type == PaType::Kw12 ? QStringLiteral("1.2 kW") : QStringLiteral("2.4 kW");
}

QString RelayedText(const QString &text) {
    QString out;
    for (const QChar c : text) {
        if (out.size() >= MaxRelayedText)
            break;
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            out += c;
    }
    return out;
}

} // namespace Facts
