// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a history file for a view: the rows of a span, the rows gathered
// into columns (minimum and maximum per pixel column, so that a week costs
// what a minute does), the events with the alarms' durations, and the CSV
// texts of both. It opens the file read-only and works beside a writer,
// in this program or another.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

struct HistoryRow {
    qint64 t = 0; // seconds since the epoch
    std::optional<double> outputMin, outputMax, output;
    std::optional<double> reflectedMin, reflectedMax, reflected;
    std::optional<double> peak;
    std::optional<double> swrMin, swrMax, swr;
    std::optional<double> temperature;
    int band = 0;
    bool transmitting = false;
    bool pttBlocked = false;
    unsigned alarms = 0; // bit n: HistoryAlarmName(n)
    std::optional<double> tunerSwr, tunerInductance, tunerCapacitance;
};

struct HistoryEventRow {
    qint64 ms = 0; // since the epoch
    QString kind;
    QString detail;
    int band = 0;
    std::optional<double> power;
    // Alarms: until their end, or until the readings stopped being current
    // (at the latest); none while the alarm goes on.
    std::optional<qint64> durationMs;
    // The text a view shows for it ("alarm: high reverse power", "band 3 → 5").
    QString Text() const;
};

// A transmission as the file keeps it.
struct HistoryTransmissionRow {
    qint64 startMs = 0, endMs = 0; // since the epoch
    int band = 0;
    std::optional<double> averageW, peakW, averageSwr, worstSwr;
    QString alarms; // their names, "; " between them
    double Seconds() const { return double(endMs - startMs) / 1000; }
};

// The plotted quantities.
enum class HistorySeries { Output, Reflected, Swr, Temperature };
constexpr int HistorySeriesCount = 4;

// Rows gathered into columns of a whole number of seconds each, aligned to
// multiples of that width (so that a column once read does not change when
// the span moves): the first and last second with a row, and per series
// the minimum, the maximum, the value of the column's last row (none when
// none), and the sum and count of the rows' values (for a mean).
struct HistoryColumn {
    qint64 first = 0;
    qint64 last = 0;
    std::optional<double> min[HistorySeriesCount];
    std::optional<double> max[HistorySeriesCount];
    std::optional<double> end[HistorySeriesCount];
    double sum[HistorySeriesCount] = {};
    int count[HistorySeriesCount] = {};
};

// A span told over time: each row's values hold until the next row, the
// readings stopping (no answer, lost, closed, the recording's end) or the
// longest the writer keeps an unchanged reading without a row, whichever
// comes first (as the writer found it); so a mean is one over the time,
// not over rows.
struct HistorySummary {
    std::optional<double> min[HistorySeriesCount], max[HistorySeriesCount];
    std::optional<double> mean[HistorySeriesCount];
    double recordedSeconds = 0;     // with current readings
    double transmittingSeconds = 0; // of those, transmitting
    double energyKWh = 0;           // output power over the time
};

// Where a plot's line stops for an event, in seconds since the epoch; none
// for events after which the readings stay current. An opening (or a
// recording's start) stops the line before the second it came in, whose
// row is already the new connection's.
std::optional<double> HistoryBreakAt(const HistoryEventRow &event);

// A band's name ("40M"), or its number when it is none of the seven.
QString HistoryBandName(int band);

class HistoryReader {
public:
    HistoryReader();
    ~HistoryReader();
    HistoryReader(const HistoryReader &) = delete;
    HistoryReader &operator=(const HistoryReader &) = delete;

    bool Open(const QString &path);
    bool IsOpen() const;
    QString Path() const { return path; }
    QString Error() const { return error; }

    // Rows with from <= t < to.
    std::vector<HistoryRow> Rows(qint64 from, qint64 to) const;
    // Columns of width seconds for rows with from <= t < to; a width of
    // whole minutes reads the minutes' summaries (from and to then count
    // in whole minutes too).
    std::vector<HistoryColumn> Columns(qint64 from, qint64 to, qint64 width) const;
    // Events with fromMs <= ms < toMs, in time order.
    std::vector<HistoryEventRow> Events(qint64 fromMs, qint64 toMs) const;
    // Transmissions that started with fromMs <= start < toMs, in time order.
    std::vector<HistoryTransmissionRow> Transmissions(qint64 fromMs, qint64 toMs) const;
    // The span from..to (seconds) told over time.
    HistorySummary Summarize(double from, double to) const;
    // The first and last second with a row; none while the file has none.
    std::optional<qint64> FirstSecond() const;
    std::optional<qint64> LastSecond() const;

private:
    struct Db;
    std::unique_ptr<Db> db;
    QString path;
    mutable QString error;
};

// The CSV texts: a header naming the units, then one line per row (one row
// per second at most, with the local time in ISO 8601 and its offset).
QString HistoryCsvHeader();
QString HistoryCsvLine(const HistoryRow &row);
QString HistoryEventsCsvHeader();
QString HistoryEventCsvLine(const HistoryEventRow &event);
QString HistoryTransmissionsCsvHeader();
QString HistoryTransmissionCsvLine(const HistoryTransmissionRow &transmission);
// The local time of ms since the epoch, ISO 8601 with the offset.
QString HistoryIsoTime(qint64 ms);
