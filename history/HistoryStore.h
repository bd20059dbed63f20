// SPDX-License-Identifier: GPL-3.0-or-later
// The history's writer: one SQLite file (write-ahead log) that keeps, for
// every second in which a reading changed, the minimum, maximum and last
// value of what changes faster (power, SWR) and the last of the rest, and
// the events: alarms, band changes, transmit, PTT block and the
// connection. It commits at most once a second, so a crash loses at most
// the last second. Old rows go in small steps. A damaged file is moved
// aside and a new one started; a file it cannot write stops the recording
// with one message, and the program goes on. A summary per minute serves
// the views of long spans. One program records into a
// file at a time (an exclusive lock held while open); another finds it
// locked and records nothing.
#pragma once

#include "history/HistorySample.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlError;
class QSqlQuery;
class QTimer;

class HistoryStore : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryStore)
public:
    explicit HistoryStore(QObject *parent = nullptr);
    ~HistoryStore() override;

    // Between two commits.
    static constexpr int FlushIntervalMs = 1000;
    // While connected and unchanged, a row at least this often; a row holds
    // for no longer than this and a second.
    static constexpr int HeartbeatSeconds = 60;
    static constexpr int LongestHoldSeconds = HeartbeatSeconds + 1;
    // Rows (and events) one retention step removes.
    static constexpr int RetentionStepRows = 500;
    static constexpr int DefaultDays = 30;
    // The layout of the tables (the file's user_version); a file of an
    // older layout is brought up to it when opened.
    static constexpr int SchemaVersion = 2;
    // The file's application_id: "Orvk". A file without it is ours only when
    // it is empty or holds the tables of the first layout and no others.
    static constexpr int ApplicationId = 0x4f72766b;

    // Milliseconds since the epoch; tests drive time themselves.
    using Clock = std::function<qint64()>;
    void SetClock(Clock clock);
    // Rows older than this many days go; 0 keeps everything.
    void SetRetentionDays(int days);

    enum class State {
        Off,       // not opened, or closed
        Recording, // the file is open and takes what happens
        Locked,    // another program records into the file
        Stopped,   // the file cannot be written; nothing is recorded
        Refused,   // the file is not a history of this program: left as it is
    };
    // Opens the file, creating it and its folder when missing, and starts
    // recording (and the commit timer).
    State Open(const QString &path);
    State CurrentState() const { return state; }
    QString Path() const { return path; }
    QTimer *FlushTimer() const { return flushTimer; }

    // The link as it is now, at the clock's time.
    void Record(const HistorySample &sample);
    // Something that happened, as the link told it, at the clock's time.
    void Note(const HistoryEvent &event);
    // A transmission that has ended now: its start and end may be of any
    // clock, the file keeps them on the store's, ending at the clock's time.
    // Its average SWR is the store's own, over the time of the samples
    // recorded since "transmit on".
    void NoteTransmission(HistoryTransmission transmission);
    // The commit timer's tick: what the last second brought, in one
    // transaction, and one retention step when one is due.
    void Flush();
    // Records "closed" when connected, commits what is left and closes.
    void Close();

Q_SIGNALS:
    // One line for the operator: the file was damaged, cannot be written,
    // or is recorded by another program.
    void Message(const QString &text);

private:
    struct MinMaxLast {
        std::optional<double> min, max, last;
        void Add(std::optional<double> v);
        // A reading that stopped: the last is none, the lowest and highest stay.
        void Set(std::optional<double> v);
    };
    // What one second gathered.
    struct Second {
        qint64 sec = -1;
        bool changed = false;
        // How long its values held, once known (seconds): until the next
        // row, the readings stopping, or the longest a row holds.
        std::optional<double> held;
        MinMaxLast output, reflected, swr;
        std::optional<double> peak, temperature, tunerSwr, tunerL, tunerC;
        int band = 0;
        unsigned flags = 0;
        void Add(const HistorySample &s);
    };
    // A minute's summary of its rows, for views of long spans: per series
    // (output, reflected, SWR, temperature) the lowest, highest and last
    // value and the sum and count of the rows' values.
    struct Minute {
        qint64 t = -1; // the minute's first second
        qint64 first = 0, last = 0;
        std::optional<double> min[4], max[4], end[4];
        double sum[4] = {};
        int count[4] = {};
        void Add(const Second &s);
    };
    struct Event {
        qint64 ms;
        QString kind;
        QString detail;
        int band;
        std::optional<double> power;
    };
    struct Db;

    void AddEvent(qint64 ms, const QString &kind, const QString &detail, const HistorySample &s,
                  std::optional<double> power = std::nullopt);
    void FinishSecond();
    // The summary of the minute of second t so far, as the file has it.
    Minute LoadMinute(qint64 t);
    bool OpenFile(bool afterMovingAside);
    bool OpenDatabase(QSqlError &error, bool &foreign);
    // The newest row of the file: this run's rows come after it.
    bool ReadLastRow(QSqlQuery &q, QSqlError &error);
    bool PrepareStatements(QSqlError &error);
    // A -wal or -shm left read-only by an earlier run on a read-only file
    // is made writable again when it is ours; returns why not otherwise.
    QString FreeSideFiles();
    void Refuse(const QString &why);
    void CloseDatabase();
    bool Write(bool finishing);
    // The parts of one commit; each leaves its failure's error in error.
    bool WriteReadings(bool finishing, QSqlError &error);
    bool WriteRow(const Second &row);
    bool WriteMinute(const Minute &minute);
    bool WriteEvents(QSqlError &error);
    bool WriteTransmissions(QSqlError &error);
    bool RetentionStep(QSqlError &error);
    // Acts on a failed statement: a damaged file is moved aside and a new
    // one started; anything else stops the recording. Returns whether
    // recording goes on.
    bool Fail(const QSqlError &error, const QString &what);
    bool MoveAside();
    void Stop(const QString &reason);

    State state = State::Off;
    QString path;
    Clock clock;
    int retentionDays = DefaultDays;
    QTimer *flushTimer = nullptr;
    std::unique_ptr<Db> db;
    int lockFd = -1;
    qint64 nextRetention = 0; // clock ms of the next retention check
    bool retentionBusy = false;

    // ---- What is not yet written ----
    Second current;
    std::vector<Second> rows;
    Minute minute;               // the minute in progress
    std::vector<Minute> minutes; // finished and not yet written
    bool minuteChanged = false;
    std::vector<Event> events;
    std::vector<HistoryTransmission> transmissions;
    // The last row whose hold is not known yet, and the holds found for
    // rows already written.
    std::optional<qint64> openRow;
    std::vector<std::pair<qint64, double>> holds;
    // The open row's hold ends at ms (a row or the readings stopping).
    void SettleOpenRow(qint64 ms);
    // The SWR of the transmission under way, weighted by time.
    double swrSum = 0, swrSeconds = 0;
    std::optional<double> swrNow;
    qint64 swrSince = 0;
    qint64 lastSec = 0;     // never goes back, whatever the clock does
    qint64 lastRowSec = -1; // the second of the last row kept
    // ---- The link as recorded ----
    HistoryLink link = HistoryLink::Closed;
    std::optional<HistorySample> lastCurrent; // last sample while current
    bool opened = false; // an "opened" (or "back") not yet followed by "closed"
    bool lost = false;   // "lost" and not yet back or closed
};
