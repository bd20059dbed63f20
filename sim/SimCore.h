// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated amplifier's settings and its answers to the panel's lines:
// feed it one received line (terminator removed), get the report lines it
// sends back (without CR LF). No I/O and no timing here.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace sim {

// Outcome of a tuning cycle, named as the scenario commands name it.
enum class TuneResult { Ok, Fail, NotNeeded, WrongPower, SwrHigh, HfOnly };
bool parseTuneResult(const QByteArray &name, TuneResult *result);

struct AmpStatus {
    int band = 3;    // 1..7, 7 = 6 m
    int inPower = 1; // 1 "< 4W", 2 "~60W"
    QByteArray temperature = "35";
    int alarmSound = 1; // 1..3
    int alcPwm = 100;   // 0..255
    int fan = 3;        // 1..4
    int interface = 5;  // 1..7, 5 = manual band selection
    int cal = 200;      // 255 = not calibrated
    int barSpeed = 3;   // 1..4
    int tot = 1;        // 1..4
    QByteArray version = "3.30";
    bool atuFitted = false;
    int atuState = 0; // 1 in line, 0 bypassed
    int swrMin = 14;  // 11..17
    bool pttBlocked = false;
    bool transmitting = false;
    TuneResult nextTune = TuneResult::Ok;
};

// What one received line asks of the simulator besides its answer lines.
struct Reply {
    QList<QByteArray> lines;
    bool startTune = false;
    bool fineTune = false;
};

class AmpCore {
public:
    AmpStatus state;
    bool silent = false;         // answer nothing, send no report of its own
    int ignoreQueries = 0;       // answerable queries still to be ignored
    bool confirmSwitches = true; // confirm BL:ON/BL:OFF and ATU_STATE: n

    Reply handleLine(const QByteArray &line);

    // The report that answers a query, e.g. "B?" gives "B: 3"; empty when the
    // text is no query the amplifier knows.
    QByteArray answerQuery(const QByteArray &query) const;

    // Sets one state value by its scenario name ("band", "cal", "version" ...).
    // Returns an error text, empty on success.
    QString setValue(const QByteArray &name, const QByteArray &value);
    static QList<QByteArray> valueNames();
};

} // namespace sim
