// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryReader.h"

#include "history/HistorySample.h"
#include "history/HistoryStore.h"
#include "link/Facts.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

std::optional<double> Opt(const QVariant &v) {
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

QString Number(std::optional<double> v) {
    // As many digits as sqlite3 shows.
    return v ? QString::number(*v, 'g', 15) : QString();
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
QString Field(const QString &text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

constexpr unsigned FlagTransmitting = 1u << 0;
constexpr unsigned FlagPttBlocked = 1u << 1;
constexpr int FlagAlarmShift = 2;

} // namespace

struct HistoryReader::Db {
    QString name;
    QSqlDatabase db;
};

HistoryReader::HistoryReader() = default;

HistoryReader::~HistoryReader() {
    if (db) {
        const QString name = db->name;
        db->db.close();
        db.reset();
        QSqlDatabase::removeDatabase(name);
    }
}

bool HistoryReader::Open(const QString &file) {
    path = file;
    if (!db) {
        db = std::make_unique<Db>();
        db->name = QStringLiteral("orvik-history-reader-%1").arg(quintptr(this));
        db->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db->name);
    }
    db->db.close();
    db->db.setDatabaseName(path);
    db->db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=200"));
    if (!db->db.open()) {
        error = db->db.lastError().text();
        return false;
    }
    QSqlQuery q(db->db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM readings, events, minutes LIMIT 0"))) {
        error = q.lastError().text();
        db->db.close();
        return false;
    }
    error.clear();
    return true;
}

bool HistoryReader::IsOpen() const {
    return db && db->db.isOpen();
}

std::vector<HistoryRow> HistoryReader::Rows(qint64 from, qint64 to) const {
    std::vector<HistoryRow> rows;
    if (!IsOpen())
        return rows;
    QSqlQuery q(db->db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT t, output_min, output_max, output, reflected_min, reflected_max,"
                       " reflected, peak, swr_min, swr_max, swr, temperature, band, flags,"
                       " tuner_swr, tuner_l, tuner_c FROM readings WHERE t >= ? AND t < ?"
                       " ORDER BY t"));
    q.addBindValue(from);
    q.addBindValue(to);
    if (!q.exec()) {
        error = q.lastError().text();
        return rows;
    }
    while (q.next()) {
        HistoryRow r;
        r.t = q.value(0).toLongLong();
        r.outputMin = Opt(q.value(1));
        r.outputMax = Opt(q.value(2));
        r.output = Opt(q.value(3));
        r.reflectedMin = Opt(q.value(4));
        r.reflectedMax = Opt(q.value(5));
        r.reflected = Opt(q.value(6));
        r.peak = Opt(q.value(7));
        r.swrMin = Opt(q.value(8));
        r.swrMax = Opt(q.value(9));
        r.swr = Opt(q.value(10));
        r.temperature = Opt(q.value(11));
        r.band = q.value(12).toInt();
        const unsigned flags = q.value(13).toUInt();
        r.transmitting = flags & FlagTransmitting;
        r.pttBlocked = flags & FlagPttBlocked;
        r.alarms = flags >> FlagAlarmShift;
        r.tunerSwr = Opt(q.value(14));
        r.tunerInductance = Opt(q.value(15));
        r.tunerCapacitance = Opt(q.value(16));
        rows.push_back(r);
    }
    return rows;
}

std::vector<HistoryColumn> HistoryReader::Columns(qint64 from, qint64 to, qint64 width) const {
    std::vector<HistoryColumn> columns;
    if (!IsOpen() || width < 1)
        return columns;
    QSqlQuery q(db->db);
    q.setForwardOnly(true);
    // Whole minutes come from the minutes' summaries, a sixtieth of the
    // rows. The column's last row (or minute) comes from a lookup by its time.
    if (width % 60 == 0)
        q.prepare(QStringLiteral(
            "SELECT c.first, c.last, c.o1, c.o2, c.r1, c.r2, c.s1, c.s2, c.t1, c.t2,"
            " m.output_end, m.reflected_end, m.swr_end, m.temperature_end, c.so, c.no, c.sr, c.nr,"
            " c.ss, c.ns, c.st, c.nt FROM"
            " (SELECT t / :w AS k, min(first) AS first, max(last) AS last, max(t) AS lt,"
            "  min(output_min) AS o1, max(output_max) AS o2,"
            "  min(reflected_min) AS r1, max(reflected_max) AS r2,"
            "  min(swr_min) AS s1, max(swr_max) AS s2,"
            "  min(temperature_min) AS t1, max(temperature_max) AS t2,"
            "  sum(output_sum) AS so, sum(output_n) AS no, sum(reflected_sum) AS sr,"
            "  sum(reflected_n) AS nr, sum(swr_sum) AS ss, sum(swr_n) AS ns,"
            "  sum(temperature_sum) AS st, sum(temperature_n) AS nt"
            "  FROM minutes WHERE t >= :from AND t < :to GROUP BY k) AS c"
            " JOIN minutes AS m ON m.t = c.lt ORDER BY c.first"));
    else
        q.prepare(QStringLiteral(
            "SELECT c.first, c.last, c.o1, c.o2, c.r1, c.r2, c.s1, c.s2, c.t1, c.t2,"
            " r.output, r.reflected, r.swr, r.temperature, c.so, c.no, c.sr, c.nr, c.ss, c.ns,"
            " c.st, c.nt FROM"
            " (SELECT t / :w AS k, min(t) AS first, max(t) AS last,"
            "  min(output_min) AS o1, max(output_max) AS o2,"
            "  min(reflected_min) AS r1, max(reflected_max) AS r2,"
            "  min(swr_min) AS s1, max(swr_max) AS s2,"
            "  min(temperature) AS t1, max(temperature) AS t2,"
            "  sum(output) AS so, count(output) AS no, sum(reflected) AS sr, count(reflected) AS "
            "nr,"
            "  sum(swr) AS ss, count(swr) AS ns, sum(temperature) AS st, count(temperature) AS nt"
            "  FROM readings WHERE t >= :from AND t < :to GROUP BY k) AS c"
            " JOIN readings AS r ON r.t = c.last ORDER BY c.first"));
    q.bindValue(QStringLiteral(":w"), width);
    q.bindValue(QStringLiteral(":from"), from);
    q.bindValue(QStringLiteral(":to"), to);
    if (!q.exec()) {
        error = q.lastError().text();
        return columns;
    }
    while (q.next()) {
        HistoryColumn c;
        c.first = q.value(0).toLongLong();
        c.last = q.value(1).toLongLong();
        for (int s = 0; s < HistorySeriesCount; ++s) {
            c.min[s] = Opt(q.value(2 + 2 * s));
            c.max[s] = Opt(q.value(3 + 2 * s));
            c.end[s] = Opt(q.value(10 + s));
            c.sum[s] = q.value(14 + 2 * s).toDouble();
            c.count[s] = q.value(15 + 2 * s).toInt();
        }
        columns.push_back(c);
    }
    return columns;
}

std::vector<HistoryEventRow> HistoryReader::Events(qint64 fromMs, qint64 toMs) const {
    std::vector<HistoryEventRow> events;
    if (!IsOpen())
        return events;
    QSqlQuery q(db->db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT t_ms, kind, detail, band, power FROM events"
                             " WHERE t_ms >= ? AND t_ms < ? ORDER BY t_ms, id"));
    q.addBindValue(fromMs);
    q.addBindValue(toMs);
    if (!q.exec()) {
        error = q.lastError().text();
        return events;
    }
    while (q.next()) {
        HistoryEventRow e;
        e.ms = q.value(0).toLongLong();
        e.kind = q.value(1).toString();
        e.detail = q.value(2).toString();
        e.band = q.value(3).toInt();
        e.power = Opt(q.value(4));
        events.push_back(e);
    }
    // An alarm lasts until its end, or until the readings stopped being
    // current; the end may lie after the span.
    QSqlQuery end(db->db);
    end.prepare(
        QStringLiteral("SELECT t_ms FROM events WHERE t_ms >= ? AND ((kind = ? AND detail = ?)"
                       " OR kind IN (?, ?, ?, ?)) ORDER BY t_ms LIMIT 1"));
    for (HistoryEventRow &e : events) {
        if (e.kind != HistoryEventKind::AlarmStart)
            continue;
        end.addBindValue(e.ms);
        end.addBindValue(HistoryEventKind::AlarmEnd);
        end.addBindValue(e.detail);
        end.addBindValue(HistoryEventKind::Lost);
        end.addBindValue(HistoryEventKind::NoAnswer);
        end.addBindValue(HistoryEventKind::Closed);
        end.addBindValue(HistoryEventKind::Opened);
        if (end.exec() && end.next())
            e.durationMs = end.value(0).toLongLong() - e.ms;
    }
    return events;
}

std::vector<HistoryTransmissionRow> HistoryReader::Transmissions(qint64 fromMs, qint64 toMs) const {
    std::vector<HistoryTransmissionRow> out;
    if (!IsOpen())
        return out;
    QSqlQuery q(db->db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT start_ms, end_ms, band, average_w, peak_w, average_swr,"
                             " worst_swr, alarms FROM transmissions"
                             " WHERE start_ms >= ? AND start_ms < ? ORDER BY start_ms, id"));
    q.addBindValue(fromMs);
    q.addBindValue(toMs);
    if (!q.exec()) {
        // A file of the first layout has none until the writer brings it up.
        error = q.lastError().text();
        return out;
    }
    while (q.next()) {
        HistoryTransmissionRow t;
        t.startMs = q.value(0).toLongLong();
        t.endMs = q.value(1).toLongLong();
        t.band = q.value(2).toInt();
        t.averageW = Opt(q.value(3));
        t.peakW = Opt(q.value(4));
        t.averageSwr = Opt(q.value(5));
        t.worstSwr = Opt(q.value(6));
        t.alarms = q.value(7).toString();
        out.push_back(t);
    }
    return out;
}

std::optional<double> HistoryBreakAt(const HistoryEventRow &e) {
    namespace K = HistoryEventKind;
    if (!K::EndsReadings(e.kind))
        return std::nullopt;
    if (e.kind == K::Opened || e.kind == K::RecordingStart)
        return std::floor(e.ms / 1000.0) - 0.5;
    return e.ms / 1000.0;
}

HistorySummary HistoryReader::Summarize(double from, double to) const {
    HistorySummary out;
    if (!IsOpen() || to <= from)
        return out;
    // Each row holds as long as the writer found (until the next row, the
    // readings stopping, at most the longest hold). A row whose hold is not
    // known holds its own second, unless it is the newest row of the file
    // (the writer is still at it): then up to the longest hold. A row from
    // before the span holds into it. The rows well inside the span are
    // summed by the database as they are; those at its edges are cut here.
    const qint64 longest = HistoryStore::LongestHoldSeconds;
    const qint64 inner = qint64(std::ceil(from));
    const qint64 innerEnd = std::max(inner, qint64(std::floor(to)) - longest);
    const std::optional<qint64> last = LastSecond();
    double seconds[HistorySeriesCount] = {}, sums[HistorySeriesCount] = {};
    auto extremes = [&out](int s, const QVariant &lo, const QVariant &hi) {
        if (!lo.isNull())
            out.min[s] = out.min[s] ? std::min(*out.min[s], lo.toDouble()) : lo.toDouble();
        if (!hi.isNull())
            out.max[s] = out.max[s] ? std::max(*out.max[s], hi.toDouble()) : hi.toDouble();
    };
    QSqlQuery q(db->db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT sum(ifnull(held, 1)), sum(ifnull(held, 1) * (flags & 1)),"
                       " sum(ifnull(held, 1) * output), sum(ifnull(held, 1) * reflected),"
                       " sum(ifnull(held, 1) * swr), sum(ifnull(held, 1) * temperature),"
                       " sum(ifnull(held, 1) * (output IS NOT NULL)), sum(ifnull(held, 1) * "
                       "(reflected IS NOT NULL)),"
                       " sum(ifnull(held, 1) * (swr IS NOT NULL)), sum(ifnull(held, 1) * "
                       "(temperature IS NOT NULL)),"
                       " min(output_min), max(output_max), min(reflected_min), max(reflected_max),"
                       " min(swr_min), max(swr_max), min(temperature), max(temperature)"
                       " FROM readings WHERE t >= ? AND t < ?"));
    q.addBindValue(inner);
    q.addBindValue(innerEnd);
    if (!q.exec() || !q.next()) {
        error = q.lastError().text();
        return out;
    }
    out.recordedSeconds = q.value(0).toDouble();
    out.transmittingSeconds = q.value(1).toDouble();
    for (int s = 0; s < HistorySeriesCount; ++s) {
        sums[s] = q.value(2 + s).toDouble();
        seconds[s] = q.value(6 + s).toDouble();
        extremes(s, q.value(10 + 2 * s), q.value(11 + 2 * s));
    }
    q.finish();
    // The edges: the rows that may hold into the span from before it, and
    // those near its end.
    q.prepare(QStringLiteral(
        "SELECT t, held, flags, output, reflected, swr, temperature, output_min, output_max,"
        " reflected_min, reflected_max, swr_min, swr_max FROM readings"
        " WHERE (t >= ? AND t < ?) OR (t >= ? AND t < ?)"));
    q.addBindValue(inner - longest);
    q.addBindValue(inner);
    q.addBindValue(innerEnd);
    q.addBindValue(to);
    if (!q.exec()) {
        error = q.lastError().text();
        return out;
    }
    while (q.next()) {
        const qint64 t = q.value(0).toLongLong();
        const double held =
            q.value(1).isNull() ? (t == last ? double(longest) : 1.0) : q.value(1).toDouble();
        const double h = std::max(0.0, std::min(double(t) + held, to) - std::max(double(t), from));
        out.recordedSeconds += h;
        if (q.value(2).toUInt() & 1)
            out.transmittingSeconds += h;
        for (int s = 0; s < HistorySeriesCount; ++s) {
            if (q.value(3 + s).isNull())
                continue;
            sums[s] += h * q.value(3 + s).toDouble();
            seconds[s] += h;
            if (double(t) >= from)
                extremes(s, s == 3 ? q.value(6) : q.value(7 + 2 * s),
                         s == 3 ? q.value(6) : q.value(8 + 2 * s));
        }
    }
    out.energyKWh = sums[0] / 3.6e6;
    for (int s = 0; s < HistorySeriesCount; ++s)
        if (seconds[s] > 0)
            out.mean[s] = sums[s] / seconds[s];
    return out;
}

std::optional<qint64> HistoryReader::FirstSecond() const {
    if (!IsOpen())
        return std::nullopt;
    QSqlQuery q(db->db);
    if (q.exec(QStringLiteral("SELECT min(t) FROM readings")) && q.next() && !q.value(0).isNull())
        return q.value(0).toLongLong();
    return std::nullopt;
}

std::optional<qint64> HistoryReader::LastSecond() const {
    if (!IsOpen())
        return std::nullopt;
    QSqlQuery q(db->db);
    if (q.exec(QStringLiteral("SELECT max(t) FROM readings")) && q.next() && !q.value(0).isNull())
        return q.value(0).toLongLong();
    return std::nullopt;
}

QString HistoryEventRow::Text() const {
    namespace K = HistoryEventKind;
    if (kind == K::AlarmStart)
        return QStringLiteral("alarm: ") + detail;
    if (kind == K::AlarmEnd)
        return QStringLiteral("alarm ended: ") + detail;
    if (kind == K::Band)
        return QStringLiteral("band ") + HistoryBandName(detail.toInt()) + QStringLiteral(" → ") +
               HistoryBandName(band);
    const QString connection[] = {K::Opened, K::Lost, K::Back, K::NoAnswer, K::Closed};
    for (const QString &c : connection)
        if (kind == c)
            return QStringLiteral("connection ") + kind;
    return kind;
}

QString HistoryBandName(int band) {
    return Facts::IsBand(band) ? Facts::BandName(band) : QString::number(band);
}

QString HistoryIsoTime(qint64 ms) {
    QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    // With the offset written out, the time means the same anywhere.
    local.setOffsetFromUtc(local.offsetFromUtc());
    return ms % 1000 ? local.toString(Qt::ISODateWithMs) : local.toString(Qt::ISODate);
}

QString HistoryCsvHeader() {
    return QStringLiteral("time,output min (W),output max (W),output (W),reflected min (W),"
                          "reflected max (W),reflected (W),peak (W),SWR min,SWR max,SWR,"
                          "temperature (°C),band,transmitting,PTT blocked,alarms,tuner SWR,"
                          "tuner L (µH),tuner C (pF)");
}

QString HistoryCsvLine(const HistoryRow &r) {
    QStringList alarms;
    for (int a = 0; a < HistoryAlarmCount; ++a)
        if (r.alarms & (1u << a))
            alarms << HistoryAlarmName(a);
    const QString fields[] = {HistoryIsoTime(r.t * 1000),
                              Number(r.outputMin),
                              Number(r.outputMax),
                              Number(r.output),
                              Number(r.reflectedMin),
                              Number(r.reflectedMax),
                              Number(r.reflected),
                              Number(r.peak),
                              Number(r.swrMin),
                              Number(r.swrMax),
                              Number(r.swr),
                              Number(r.temperature),
                              r.band ? QString::number(r.band) : QString(),
                              QString::number(int(r.transmitting)),
                              QString::number(int(r.pttBlocked)),
                              Field(alarms.join(QStringLiteral("; "))),
                              Number(r.tunerSwr),
                              Number(r.tunerInductance),
                              Number(r.tunerCapacitance)};
    QStringList line;
    for (const QString &f : fields)
        line << f;
    return line.join(QLatin1Char(','));
}

QString HistoryEventsCsvHeader() {
    return QStringLiteral("time,event,band,power (W),duration (s)");
}

QString HistoryEventCsvLine(const HistoryEventRow &e) {
    return HistoryIsoTime(e.ms) + QLatin1Char(',') + Field(e.Text()) + QLatin1Char(',') +
           (e.band ? HistoryBandName(e.band) : QString()) + QLatin1Char(',') + Number(e.power) +
           QLatin1Char(',') + (e.durationMs ? QString::number(*e.durationMs / 1000.0) : QString());
}

QString HistoryTransmissionsCsvHeader() {
    return QStringLiteral("start,end,duration (s),band,average output (W),peak output (W),"
                          "average SWR,worst SWR,alarms");
}

QString HistoryTransmissionCsvLine(const HistoryTransmissionRow &t) {
    const QString fields[] = {HistoryIsoTime(t.startMs),
                              HistoryIsoTime(t.endMs),
                              QString::number(t.Seconds()),
                              t.band ? HistoryBandName(t.band) : QString(),
                              Number(t.averageW),
                              Number(t.peakW),
                              Number(t.averageSwr),
                              Number(t.worstSwr),
                              Field(t.alarms)};
    QStringList line;
    for (const QString &f : fields)
        line << f;
    return line.join(QLatin1Char(','));
}
