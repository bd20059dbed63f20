// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryStore.h"

#include "link/Facts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString HistoryAlarmName(int alarm) {
    return alarm >= 0 && alarm < HistoryAlarmCount ? QString(Facts::Alarms[alarm].text) : QString();
}

bool HistoryEventKind::EndsReadings(const QString &kind) {
    // "opened" too: the program before may have ended without a word.
    return kind == Lost || kind == NoAnswer || kind == Closed || kind == Opened ||
           kind == RecordingStart || kind == RecordingEnd;
}

namespace {

constexpr unsigned FlagTransmitting = 1u << 0;
constexpr unsigned FlagPttBlocked = 1u << 1;
constexpr int FlagAlarmShift = 2;

// SQLite's primary result codes that matter here.
constexpr int SqliteBusy = 5, SqliteLocked = 6, SqliteReadOnly = 8, SqliteIoErr = 10,
              SqliteCorrupt = 11, SqliteFull = 13, SqliteCantOpen = 14, SqliteNotADb = 26;

int ResultCode(const QSqlError &error) {
    return error.nativeErrorCode().toInt() & 0xff;
}

QVariant Value(std::optional<double> v) {
    return v ? QVariant(*v) : QVariant(QMetaType::fromType<double>());
}

const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS readings ("
    " t INTEGER PRIMARY KEY,"
    " output_min REAL, output_max REAL, output REAL,"
    " reflected_min REAL, reflected_max REAL, reflected REAL,"
    " peak REAL,"
    " swr_min REAL, swr_max REAL, swr REAL,"
    " temperature REAL, band INTEGER, flags INTEGER NOT NULL,"
    " tuner_swr REAL, tuner_l REAL, tuner_c REAL, held REAL)",
    "CREATE TABLE IF NOT EXISTS events ("
    " id INTEGER PRIMARY KEY, t_ms INTEGER NOT NULL, kind TEXT NOT NULL,"
    " detail TEXT, band INTEGER, power REAL)",
    "CREATE INDEX IF NOT EXISTS events_time ON events (t_ms)",
    "CREATE TABLE IF NOT EXISTS minutes ("
    " t INTEGER PRIMARY KEY, first INTEGER NOT NULL, last INTEGER NOT NULL,"
    " output_min REAL, output_max REAL, output_end REAL, output_sum REAL, output_n INTEGER,"
    " reflected_min REAL, reflected_max REAL, reflected_end REAL, reflected_sum REAL,"
    " reflected_n INTEGER,"
    " swr_min REAL, swr_max REAL, swr_end REAL, swr_sum REAL, swr_n INTEGER,"
    " temperature_min REAL, temperature_max REAL, temperature_end REAL, temperature_sum REAL,"
    " temperature_n INTEGER)",
    "CREATE TABLE IF NOT EXISTS transmissions ("
    " id INTEGER PRIMARY KEY, start_ms INTEGER NOT NULL, end_ms INTEGER NOT NULL,"
    " band INTEGER, average_w REAL, peak_w REAL, average_swr REAL, worst_swr REAL, alarms TEXT)",
    "CREATE INDEX IF NOT EXISTS transmissions_start ON transmissions (start_ms)",
};
constexpr int MinuteColumns = 23;
// What the first layout (1) lacks: the transmissions and their index.
constexpr int SchemaTransmissions = 4;
// And the rows' holds.
const char *const SchemaHeld = "ALTER TABLE readings ADD COLUMN held REAL";

qint64 FloorSeconds(qint64 ms) {
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// Runs sql on q; a failure leaves its error in error.
bool Run(QSqlQuery &q, const QString &sql, QSqlError &error) {
    if (q.exec(sql))
        return true;
    error = q.lastError();
    return false;
}

// Runs a statement that answers one number (a PRAGMA) into value.
bool ReadNumber(QSqlQuery &q, const QString &sql, int &value, QSqlError &error) {
    if (!Run(q, sql, error) || !q.next()) {
        if (!error.isValid())
            error = q.lastError();
        return false;
    }
    value = q.value(0).toInt();
    return true;
}

// Whether the file is ours to write: marked as ours, or without our mark an
// empty database or one of the first layout (tables of ours and no others).
// Anything else belongs to another program and is refused as foreign.
bool CheckOwner(QSqlQuery &q, int application, int version, QSqlError &error, bool &foreign) {
    auto refuse = [&](const QString &why) {
        foreign = true;
        error = QSqlError(why, {}, QSqlError::ConnectionError, QStringLiteral("26"));
        return false;
    };
    if (application == HistoryStore::ApplicationId)
        return true;
    if (application != 0 || version > 1)
        return refuse(QStringLiteral("application id %1, layout %2").arg(application).arg(version));
    if (!Run(q,
             QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name NOT IN "
                            "('readings', 'events', 'events_time', 'minutes')"),
             error) ||
        !q.next())
        return false;
    if (q.value(0).toInt() > 0)
        return refuse(QStringLiteral("tables of another program"));
    return true;
}

// Marks the file as ours and starts the write-ahead log.
bool StartLog(QSqlQuery &q, int application, QSqlError &error) {
    // The mark goes into the header before the write-ahead log starts, so
    // that the file says whose it is even when the program is killed early.
    if (application != HistoryStore::ApplicationId &&
        !Run(q, QStringLiteral("PRAGMA application_id=%1").arg(HistoryStore::ApplicationId), error))
        return false;
    if (!Run(q, QStringLiteral("PRAGMA journal_mode=WAL"), error))
        return false;
    if (!q.next() || q.value(0).toString() != QStringLiteral("wal")) {
        error = QSqlError(QStringLiteral("the write-ahead log cannot be started"), {},
                          QSqlError::ConnectionError, QStringLiteral("8"));
        return false;
    }
    // A committed transaction survives the program's crash; only the
    // machine's may lose the last ones.
    return Run(q, QStringLiteral("PRAGMA synchronous=NORMAL"), error);
}

// A new file gets every table; one of layout 1 what came after it. In one
// transaction with the new layout number.
bool CreateTables(QSqlDatabase &d, QSqlQuery &q, int version, QSqlError &error) {
    if (!d.transaction()) {
        error = d.lastError();
        return false;
    }
    int i = 0;
    for (const char *sql : Schema)
        if ((version == 0 || i++ >= SchemaTransmissions) &&
            !Run(q, QString::fromLatin1(sql), error))
            return false;
    if (version == 1 && !Run(q, QString::fromLatin1(SchemaHeld), error))
        return false;
    if (!Run(q, QStringLiteral("PRAGMA user_version=%1").arg(HistoryStore::SchemaVersion), error) ||
        !d.commit()) {
        if (!error.isValid())
            error = d.lastError();
        d.rollback();
        return false;
    }
    return true;
}

} // namespace

struct HistoryStore::Db {
    QString name;
    QSqlDatabase db;
    QSqlQuery insertRow, insertEvent, insertMinute, selectMinute, insertTransmission, updateHeld;
};

void HistoryStore::MinMaxLast::Add(std::optional<double> v) {
    if (!v)
        return;
    min = min ? std::min(*min, *v) : *v;
    max = max ? std::max(*max, *v) : *v;
    last = v;
}

void HistoryStore::MinMaxLast::Set(std::optional<double> v) {
    Add(v);
    last = v;
}

void HistoryStore::Second::Add(const HistorySample &s) {
    output.Add(s.output);
    // Reflected power only while transmitting, SWR only while output power
    // comes to measure it against: a value from before does not stand for
    // the time after.
    reflected.Set(s.transmitting ? s.reflected : std::nullopt);
    swr.Set(s.output.value_or(0) > 0 ? s.swr : std::nullopt);
    if (s.peak)
        peak = peak ? std::max(*peak, *s.peak) : *s.peak;
    if (s.temperature)
        temperature = s.temperature;
    tunerSwr = s.tunerSwr;
    tunerL = s.tunerInductance;
    tunerC = s.tunerCapacitance;
    if (s.band)
        band = s.band;
    // Transmitting and alarms count when seen at any time in the second;
    // the PTT block as it stands at its end.
    flags = (flags & ~FlagPttBlocked) | (s.transmitting ? FlagTransmitting : 0u) |
            (s.pttBlocked ? FlagPttBlocked : 0u) | (s.alarms << FlagAlarmShift);
}

void HistoryStore::Minute::Add(const Second &r) {
    if (t < 0) {
        t = r.sec - r.sec % 60;
        first = r.sec;
    }
    first = std::min(first, r.sec);
    last = std::max(last, r.sec);
    const MinMaxLast temperature{r.temperature, r.temperature, r.temperature};
    const MinMaxLast *series[4] = {&r.output, &r.reflected, &r.swr, &temperature};
    for (int i = 0; i < 4; ++i) {
        const MinMaxLast &v = *series[i];
        if (v.min)
            min[i] = min[i] ? std::min(*min[i], *v.min) : *v.min;
        if (v.max)
            max[i] = max[i] ? std::max(*max[i], *v.max) : *v.max;
        end[i] = v.last;
        if (v.last) {
            sum[i] += *v.last;
            ++count[i];
        }
    }
}

HistoryStore::HistoryStore(QObject *parent)
    : QObject(parent), clock([] { return QDateTime::currentMSecsSinceEpoch(); }) {
    flushTimer = new QTimer(this);
    flushTimer->setInterval(FlushIntervalMs);
    connect(flushTimer, &QTimer::timeout, this, &HistoryStore::Flush);
}

HistoryStore::~HistoryStore() {
    Close();
}

void HistoryStore::SetClock(Clock c) {
    clock = std::move(c);
}

void HistoryStore::SetRetentionDays(int days) {
    retentionDays = std::max(0, days);
    nextRetention = 0;
}

HistoryStore::State HistoryStore::Open(const QString &file) {
    Close();
    path = file;
    state = State::Stopped;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        Stop(QStringLiteral("cannot create the folder ") + folder);
        return state;
    }
    if (OpenFile(false)) {
        state = State::Recording;
        nextRetention = 0;
        flushTimer->start();
        AddEvent(clock(), HistoryEventKind::RecordingStart, {}, HistorySample());
    }
    return state;
}

// Takes the file's lock and opens the database; a damaged file is moved
// aside once and a new one started.
bool HistoryStore::OpenFile(bool afterMovingAside) {
    const QByteArray local = QFile::encodeName(path);
    // The mode the umask allows: 0640 in the service (UMask=0027), the
    // user's choice elsewhere. SQLite gives the -wal and -shm the same.
    lockFd = ::open(local.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd < 0) {
        Stop(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // The lock is the open file's own (flock), apart from SQLite's record
    // locks; it goes with the process, so a killed program leaves none.
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(lockFd);
        lockFd = -1;
        if (e == EWOULDBLOCK) {
            state = State::Locked;
            Q_EMIT Message(
                QStringLiteral("History: ") + path +
                QStringLiteral(" is recorded by another program; this one records nothing"));
        } else {
            Stop(QString::fromLocal8Bit(std::strerror(e)));
        }
        return false;
    }
    // Anything but an SQLite file (or an empty one) is not ours.
    char header[100] = {};
    const ssize_t got = ::pread(lockFd, header, sizeof header, 0);
    if (got > 0 && (got < 16 || std::memcmp(header, "SQLite format 3", 16) != 0)) {
        Refuse(QStringLiteral("it is not an SQLite file"));
        return false;
    }
    // Our mark in the header: ours even when damaged further on.
    const bool marked =
        got >= 72 && ((uchar(header[68]) << 24) | (uchar(header[69]) << 16) |
                      (uchar(header[70]) << 8) | uchar(header[71])) == unsigned(ApplicationId);
    if (const QString why = FreeSideFiles(); !why.isEmpty()) {
        CloseDatabase();
        Stop(why);
        return false;
    }
    QSqlError error;
    bool foreign = false;
    if (OpenDatabase(error, foreign))
        return true;
    const int code = ResultCode(error);
    if (foreign || (!marked && (code == SqliteCorrupt || code == SqliteNotADb))) {
        CloseDatabase();
        Refuse(foreign ? error.text() : QStringLiteral("it cannot be read as a database"));
        return false;
    }
    if (!afterMovingAside && (code == SqliteCorrupt || code == SqliteNotADb)) {
        if (MoveAside())
            return OpenFile(true);
        return false;
    }
    CloseDatabase();
    Stop(error.text().isEmpty() ? QStringLiteral("cannot open the file") : error.text());
    return false;
}

QString HistoryStore::FreeSideFiles() {
    const QFileInfo file(path);
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        const QFileInfo side(path + suffix);
        if (!side.exists() || side.isWritable())
            continue;
        // An earlier run of ours on a read-only file left it so; the file
        // is writable now, so its companion may be too.
        if (side.ownerId() == file.ownerId() &&
            QFile::setPermissions(side.filePath(), file.permissions()) &&
            QFileInfo(side.filePath()).isWritable())
            continue;
        return QStringLiteral("%1 is read-only (left by an earlier run on a read-only file; remove "
                              "it while no program reads the history)")
            .arg(side.filePath());
    }
    return QString();
}

void HistoryStore::Refuse(const QString &why) {
    CloseDatabase();
    flushTimer->stop();
    state = State::Refused;
    Q_EMIT Message(QStringLiteral("History: ") + path +
                   QStringLiteral(" is not a history of this program (%1); it is left as it is "
                                  "and nothing is recorded")
                       .arg(why));
}

bool HistoryStore::OpenDatabase(QSqlError &error, bool &foreign) {
    db = std::make_unique<Db>();
    db->name = QStringLiteral("orvik-history-store-%1").arg(quintptr(this));
    db->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db->name);
    db->db.setDatabaseName(path);
    db->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=200"));
    if (!db->db.open()) {
        error = db->db.lastError();
        return false;
    }
    QSqlQuery q(db->db);
    // The first read of the file tells a database from anything else.
    int application = 0, version = 0;
    if (!ReadNumber(q, QStringLiteral("PRAGMA application_id"), application, error) ||
        !ReadNumber(q, QStringLiteral("PRAGMA user_version"), version, error) ||
        !CheckOwner(q, application, version, error, foreign))
        return false;
    if (version > SchemaVersion) {
        error = QSqlError(QStringLiteral("written by a newer program (layout %1)").arg(version), {},
                          QSqlError::ConnectionError, QStringLiteral("8"));
        return false;
    }
    if ((version > 0 && !ReadLastRow(q, error)) || !StartLog(q, application, error))
        return false;
    if (version < SchemaVersion && !CreateTables(db->db, q, version, error))
        return false;
    q.finish();
    return PrepareStatements(error);
}

// A look at the newest rows and events finds a damaged file before anything
// is written into it.
bool HistoryStore::ReadLastRow(QSqlQuery &q, QSqlError &error) {
    if (!Run(q, QStringLiteral("SELECT max(t) FROM readings"), error) || !q.next())
        return false;
    if (!q.value(0).isNull()) {
        const qint64 fileLast = q.value(0).toLongLong();
        lastRowSec = std::max(lastRowSec, fileLast);
        // Started again within the second of the last row (a restart at
        // once): this run's rows begin at the next, so that the second's
        // row and its minute are not written twice.
        const qint64 now = FloorSeconds(clock());
        if (fileLast >= now && fileLast <= now + 1)
            lastSec = std::max(lastSec, fileLast + 1);
    }
    return Run(q, QStringLiteral("SELECT max(t_ms) FROM events"), error);
}

bool HistoryStore::PrepareStatements(QSqlError &error) {
    db->insertRow = QSqlQuery(db->db);
    db->insertEvent = QSqlQuery(db->db);
    db->insertMinute = QSqlQuery(db->db);
    db->selectMinute = QSqlQuery(db->db);
    db->insertTransmission = QSqlQuery(db->db);
    db->updateHeld = QSqlQuery(db->db);
    if (!db->updateHeld.prepare(QStringLiteral("UPDATE readings SET held = ? WHERE t = ?")) ||
        !db->insertTransmission.prepare(QStringLiteral(
            "INSERT INTO transmissions (start_ms, end_ms, band, average_w, peak_w, average_swr,"
            " worst_swr, alarms) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")) ||
        !db->insertRow.prepare(QStringLiteral("INSERT OR REPLACE INTO readings VALUES (?, ?, ?, ?, "
                                              "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) ||
        !db->insertEvent.prepare(QStringLiteral(
            "INSERT INTO events (t_ms, kind, detail, band, power) VALUES (?, ?, ?, ?, ?)")) ||
        !db->insertMinute.prepare(QStringLiteral("INSERT OR REPLACE INTO minutes VALUES (?") +
                                  QStringLiteral(", ?").repeated(MinuteColumns - 1) +
                                  QLatin1Char(')')) ||
        !db->selectMinute.prepare(QStringLiteral("SELECT * FROM minutes WHERE t = ?"))) {
        for (const QSqlQuery *q : {&db->updateHeld, &db->insertRow, &db->insertEvent,
                                   &db->insertMinute, &db->selectMinute, &db->insertTransmission})
            if (q->lastError().isValid())
                error = q->lastError();
        return false;
    }
    return true;
}

void HistoryStore::CloseDatabase() {
    if (db) {
        const QString name = db->name;
        db->db.close();
        db.reset();
        QSqlDatabase::removeDatabase(name);
    }
    // Only after SQLite has let go of the file: closing any descriptor of
    // it drops the process's record locks.
    if (lockFd >= 0) {
        ::close(lockFd);
        lockFd = -1;
    }
}

bool HistoryStore::MoveAside() {
    CloseDatabase();
    const QString stamp =
        QDateTime::fromMSecsSinceEpoch(clock()).toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".broken-") + stamp;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = path + QStringLiteral(".broken-") + stamp + QStringLiteral("-%1").arg(n);
    if (!QFile::rename(path, aside)) {
        Stop(QStringLiteral("it is damaged and cannot be moved aside"));
        return false;
    }
    // The log and its index belong to the damaged file: they go with it.
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (QFile::exists(path + suffix))
            QFile::rename(path + suffix, aside + suffix);
    Q_EMIT Message(QStringLiteral("History: ") + path +
                   QStringLiteral(" was damaged or not a history; it is kept as ") + aside +
                   QStringLiteral(" and a new history is started"));
    lastRowSec = -1;
    return true;
}

void HistoryStore::Stop(const QString &reason) {
    CloseDatabase();
    flushTimer->stop();
    rows.clear();
    events.clear();
    transmissions.clear();
    minutes.clear();
    current = Second();
    minute = Minute();
    // SQLite's own text for a file it may write in a folder it may not
    // ("attempt to write a readonly database") does not say why.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    Q_EMIT Message(QStringLiteral("History: recording stopped, cannot write ") + path +
                   QStringLiteral(": ") +
                   (!folder.exists() || folder.isWritable()
                        ? reason
                        : QStringLiteral("the folder %1 cannot be written (the history keeps "
                                         "its -wal and -shm files beside the file)")
                              .arg(folder.filePath())));
    state = State::Stopped;
}

void HistoryStore::AddEvent(qint64 ms, const QString &kind, const QString &detail,
                            const HistorySample &s, std::optional<double> power) {
    events.push_back({ms, kind, detail, s.band, power ? power : s.output});
}

void HistoryStore::Note(const HistoryEvent &event) {
    namespace K = HistoryEventKind;
    if (state != State::Recording)
        return;
    // The readings stop being current: the last row holds until now.
    if (K::EndsReadings(event.kind)) {
        if (current.changed)
            FinishSecond();
        SettleOpenRow(clock());
    }
    if (event.kind == K::Opened || event.kind == K::Back) {
        opened = true;
        lost = false;
    } else if (event.kind == K::Lost) {
        lost = true;
    } else if (event.kind == K::Closed) {
        if (!opened && !lost)
            return; // nothing was open to close
        opened = lost = false;
    } else if (event.kind == K::TransmitOn) {
        swrSum = swrSeconds = 0;
        swrSince = clock();
    }
    events.push_back({clock(), event.kind, event.detail, event.band, event.power});
}

void HistoryStore::NoteTransmission(HistoryTransmission t) {
    if (state != State::Recording)
        return;
    const qint64 ms = clock();
    t.startMs = ms - (t.endMs - t.startMs);
    t.endMs = ms;
    if (swrNow)
        swrSum += *swrNow * double(ms - swrSince) / 1000,
            swrSeconds += double(ms - swrSince) / 1000;
    if (swrSeconds > 0)
        t.averageSwr = swrSum / swrSeconds;
    swrSum = swrSeconds = 0;
    swrNow.reset();
    swrSince = ms;
    transmissions.push_back(t);
}

void HistoryStore::Record(const HistorySample &sample) {
    if (state != State::Recording)
        return;
    const qint64 ms = clock();
    // The SWR holds from one sample to the next while output power comes.
    if (swrNow) {
        swrSum += *swrNow * double(ms - swrSince) / 1000;
        swrSeconds += double(ms - swrSince) / 1000;
    }
    swrNow =
        sample.link == HistoryLink::Current && sample.transmitting && sample.output.value_or(0) > 0
            ? sample.swr
            : std::nullopt;
    swrSince = ms;
    const bool differs =
        !lastCurrent || sample.link != link || sample.output != lastCurrent->output ||
        sample.reflected != lastCurrent->reflected || sample.peak != lastCurrent->peak ||
        sample.swr != lastCurrent->swr || sample.temperature != lastCurrent->temperature ||
        sample.band != lastCurrent->band || sample.transmitting != lastCurrent->transmitting ||
        sample.pttBlocked != lastCurrent->pttBlocked || sample.alarms != lastCurrent->alarms ||
        sample.tunerSwr != lastCurrent->tunerSwr ||
        sample.tunerInductance != lastCurrent->tunerInductance ||
        sample.tunerCapacitance != lastCurrent->tunerCapacitance;
    link = sample.link;
    if (sample.link != HistoryLink::Current)
        return;
    lastSec = std::max(lastSec, FloorSeconds(ms));
    if (current.sec >= 0 && current.sec != lastSec)
        FinishSecond();
    if (current.sec < 0)
        current.sec = lastSec;
    current.Add(sample);
    current.changed = current.changed || differs;
    lastCurrent = sample;
}

void HistoryStore::SettleOpenRow(qint64 ms) {
    if (!openRow)
        return;
    const double held =
        std::clamp(double(ms) / 1000 - double(*openRow), 0.0, double(LongestHoldSeconds));
    auto pending = std::find_if(rows.begin(), rows.end(),
                                [this](const Second &r) { return r.sec == *openRow; });
    if (pending != rows.end())
        pending->held = held;
    else
        holds.emplace_back(*openRow, held);
    openRow.reset();
}

void HistoryStore::FinishSecond() {
    if (current.sec >= 0 && current.changed) {
        SettleOpenRow(current.sec * 1000);
        openRow = current.sec;
        rows.push_back(current);
        lastRowSec = current.sec;
        if (minute.t >= 0 && current.sec - current.sec % 60 != minute.t) {
            minutes.push_back(minute);
            minute = Minute();
        }
        if (minute.t < 0)
            minute = LoadMinute(current.sec);
        minute.Add(current);
        minuteChanged = true;
    }
    current = Second();
}

// A program before (or this one, before a restart) may have summed part of
// the minute already.
HistoryStore::Minute HistoryStore::LoadMinute(qint64 t) {
    Minute m;
    QSqlQuery &q = db->selectMinute;
    q.addBindValue(t - t % 60);
    if (!q.exec() || !q.next())
        return m;
    m.t = q.value(0).toLongLong();
    m.first = q.value(1).toLongLong();
    m.last = q.value(2).toLongLong();
    for (int i = 0; i < 4; ++i) {
        auto opt = [&](int c) {
            const QVariant v = q.value(3 + 5 * i + c);
            return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
        };
        m.min[i] = opt(0);
        m.max[i] = opt(1);
        m.end[i] = opt(2);
        m.sum[i] = q.value(3 + 5 * i + 3).toDouble();
        m.count[i] = q.value(3 + 5 * i + 4).toInt();
    }
    q.finish();
    return m;
}

void HistoryStore::Flush() {
    if (state != State::Recording)
        return;
    const qint64 ms = clock();
    const qint64 sec = std::max(lastSec, FloorSeconds(ms));
    if (current.sec >= 0 && current.sec < sec)
        FinishSecond();
    // Nothing changed for a while: a row all the same, so that the file
    // shows the amplifier was there and what it read (a reader takes a
    // reading for no longer than this). The second in progress may hold
    // unchanged samples already.
    if (link == HistoryLink::Current && lastCurrent && !current.changed &&
        sec - lastRowSec >= HeartbeatSeconds) {
        lastSec = sec;
        if (current.sec < 0) {
            current.sec = sec;
            current.Add(*lastCurrent);
        }
        current.changed = true;
    }
    const bool retentionDue = retentionDays > 0 && (retentionBusy || ms >= nextRetention);
    if (rows.empty() && events.empty() && transmissions.empty() && !current.changed &&
        !retentionDue)
        return;
    Write(false);
}

// Writes the finished seconds, the second in progress so far (the next
// commit replaces it) and the events, and a retention step, in one
// transaction.
bool HistoryStore::Write(bool finishing) {
    QSqlDatabase &d = db->db;
    if (!d.transaction())
        return Fail(d.lastError(), QStringLiteral("begin"));
    QSqlError error;
    const char *failed = !WriteReadings(finishing, error) ? "row"
                         : !WriteEvents(error)            ? "event"
                         : !WriteTransmissions(error)     ? "transmission"
                         : !RetentionStep(error)          ? "retention"
                                                          : nullptr;
    if (!failed && !d.commit()) {
        error = d.lastError();
        failed = "commit";
    }
    if (failed) {
        d.rollback();
        return Fail(error, QString::fromLatin1(failed));
    }
    rows.clear();
    events.clear();
    transmissions.clear();
    holds.clear();
    minutes.clear();
    minuteChanged = false;
    return true;
}

// The rows, the minutes' summaries and the rows' holds.
bool HistoryStore::WriteReadings(bool finishing, QSqlError &error) {
    auto failed = [&error](const QSqlQuery &q) {
        error = q.lastError();
        return false;
    };
    for (const Second &r : rows)
        if (!WriteRow(r))
            return failed(db->insertRow);
    if (current.changed && !finishing && !WriteRow(current))
        return failed(db->insertRow);
    for (const Minute &m : minutes)
        if (!WriteMinute(m))
            return failed(db->insertMinute);
    if (minuteChanged && minute.t >= 0 && !WriteMinute(minute))
        return failed(db->insertMinute);
    for (const auto &[t, held] : holds) {
        db->updateHeld.bindValue(0, held);
        db->updateHeld.bindValue(1, t);
        if (!db->updateHeld.exec())
            return failed(db->updateHeld);
    }
    return true;
}

bool HistoryStore::WriteRow(const Second &r) {
    QSqlQuery &q = db->insertRow;
    const QVariant values[] = {r.sec,
                               Value(r.output.min),
                               Value(r.output.max),
                               Value(r.output.last),
                               Value(r.reflected.min),
                               Value(r.reflected.max),
                               Value(r.reflected.last),
                               Value(r.peak),
                               Value(r.swr.min),
                               Value(r.swr.max),
                               Value(r.swr.last),
                               Value(r.temperature),
                               r.band ? QVariant(r.band) : QVariant(QMetaType::fromType<int>()),
                               r.flags,
                               Value(r.tunerSwr),
                               Value(r.tunerL),
                               Value(r.tunerC),
                               Value(r.held)};
    for (int i = 0; i < int(std::size(values)); ++i)
        q.bindValue(i, values[i]);
    return q.exec();
}

bool HistoryStore::WriteMinute(const Minute &m) {
    QSqlQuery &q = db->insertMinute;
    q.bindValue(0, m.t);
    q.bindValue(1, m.first);
    q.bindValue(2, m.last);
    for (int i = 0; i < 4; ++i) {
        q.bindValue(3 + 5 * i, Value(m.min[i]));
        q.bindValue(4 + 5 * i, Value(m.max[i]));
        q.bindValue(5 + 5 * i, Value(m.end[i]));
        q.bindValue(6 + 5 * i, m.sum[i]);
        q.bindValue(7 + 5 * i, m.count[i]);
    }
    return q.exec();
}

bool HistoryStore::WriteEvents(QSqlError &error) {
    QSqlQuery &q = db->insertEvent;
    for (const Event &e : events) {
        q.bindValue(0, e.ms);
        q.bindValue(1, e.kind);
        q.bindValue(2, e.detail.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : e.detail);
        q.bindValue(3, e.band ? QVariant(e.band) : QVariant(QMetaType::fromType<int>()));
        q.bindValue(4, Value(e.power));
        if (!q.exec()) {
            error = q.lastError();
            return false;
        }
    }
    return true;
}

bool HistoryStore::WriteTransmissions(QSqlError &error) {
    QSqlQuery &q = db->insertTransmission;
    for (const HistoryTransmission &t : transmissions) {
        QStringList alarms;
        for (int a = 0; a < HistoryAlarmCount; ++a)
            if (t.alarms & (1u << a))
                alarms << HistoryAlarmName(a);
        const QVariant values[] = {t.startMs,
                                   t.endMs,
                                   t.band ? QVariant(t.band) : QVariant(QMetaType::fromType<int>()),
                                   t.averageW,
                                   t.peakW,
                                   Value(t.averageSwr),
                                   Value(t.worstSwr),
                                   alarms.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                                                    : QVariant(alarms.join(QStringLiteral("; ")))};
        for (int i = 0; i < int(std::size(values)); ++i)
            q.bindValue(i, values[i]);
        if (!q.exec()) {
            error = q.lastError();
            return false;
        }
    }
    return true;
}

// When due, one step of retention: the oldest rows and events before the
// limit, a few hundred at a time, so that no commit holds the file for long.
bool HistoryStore::RetentionStep(QSqlError &error) {
    const qint64 ms = clock();
    if (retentionDays <= 0 || (!retentionBusy && ms < nextRetention))
        return true;
    const qint64 limitMs = ms - qint64(retentionDays) * 86400000;
    QSqlQuery q(db->db);
    // How many of a step's rows sql deleted before bound; -1 on a failure.
    auto step = [&q](const QString &sql, qint64 bound) {
        q.prepare(sql.arg(RetentionStepRows));
        q.addBindValue(bound);
        return q.exec() ? q.numRowsAffected() : -1;
    };
    const int rowsGone = step(QStringLiteral("DELETE FROM readings WHERE t IN (SELECT t FROM "
                                             "readings WHERE t < ? ORDER BY t LIMIT %1)"),
                              FloorSeconds(limitMs));
    const int minutesGone =
        rowsGone < 0 ? -1
                     : step(QStringLiteral("DELETE FROM minutes WHERE t IN (SELECT t FROM minutes "
                                           "WHERE t < ? ORDER BY t LIMIT %1)"),
                            FloorSeconds(limitMs) - 60);
    const int eventsGone =
        minutesGone < 0 ? -1
                        : step(QStringLiteral("DELETE FROM events WHERE id IN (SELECT id FROM "
                                              "events WHERE t_ms < ? ORDER BY id LIMIT %1)"),
                               limitMs);
    const int transmissionsGone =
        eventsGone < 0
            ? -1
            : step(QStringLiteral("DELETE FROM transmissions WHERE id IN (SELECT id FROM "
                                  "transmissions WHERE start_ms < ? ORDER BY id LIMIT %1)"),
                   limitMs);
    if (transmissionsGone < 0) {
        error = q.lastError();
        return false;
    }
    retentionBusy = rowsGone == RetentionStepRows || eventsGone == RetentionStepRows ||
                    transmissionsGone == RetentionStepRows;
    if (!retentionBusy)
        nextRetention = ms + 3600 * 1000;
    return true;
}

bool HistoryStore::Fail(const QSqlError &error, const QString &what) {
    Q_UNUSED(what)
    switch (ResultCode(error)) {
    case SqliteBusy:
    case SqliteLocked:
        // A reader held the file past the wait: what is gathered stays
        // for the next commit.
        return true;
    case SqliteCorrupt:
    case SqliteNotADb:
        // What waited is written into the new file at the next commit.
        return MoveAside() && OpenFile(true);
    case SqliteFull:
        Stop(QStringLiteral("the disk is full"));
        return false;
    case SqliteReadOnly:
    case SqliteCantOpen:
        Stop(QStringLiteral("the file or its folder is read-only"));
        return false;
    case SqliteIoErr:
    default:
        Stop(error.text());
        return false;
    }
}

void HistoryStore::Close() {
    if (state == State::Recording) {
        if (link != HistoryLink::Closed && (opened || lost))
            AddEvent(clock(), HistoryEventKind::Closed, {}, lastCurrent.value_or(HistorySample()));
        opened = lost = false;
        AddEvent(clock(), HistoryEventKind::RecordingEnd, {}, HistorySample());
        const qint64 sec = std::max(lastSec, FloorSeconds(clock()));
        if (current.sec >= 0 && current.sec <= sec)
            FinishSecond();
        SettleOpenRow(clock());
        Write(true);
    }
    CloseDatabase();
    flushTimer->stop();
    rows.clear();
    events.clear();
    transmissions.clear();
    current = Second();
    minute = Minute();
    minutes.clear();
    lastCurrent.reset();
    swrNow.reset();
    openRow.reset();
    holds.clear();
    link = HistoryLink::Closed;
    if (state != State::Stopped && state != State::Refused)
        state = State::Off;
}
