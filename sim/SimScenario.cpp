// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario commands and their scheduling.
#include "SimScenario.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

const char *const kAlarms[] = {"HPOUT", "HPIN", "BPF", "SWR", "TEMP", "TOT", "HPCONT", "OFF"};

// Splits off the first blank-separated word of text.
QByteArray takeWord(QByteArray *text) {
    *text = text->trimmed();
    const int blank = text->indexOf(' ');
    const QByteArray word = blank < 0 ? *text : text->left(blank);
    *text = blank < 0 ? QByteArray() : text->mid(blank + 1);
    return word;
}

bool parseInt(const QByteArray &word, int min, int max, int *value) {
    bool ok = false;
    const int v = word.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

bool parseSeconds(const QByteArray &word, double max, qint64 *ms) {
    bool ok = false;
    const double s = word.toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < 0 || s > max)
        return false;
    *ms = static_cast<qint64>(std::llround(s * 1000));
    return true;
}

bool parseOnOff(const QByteArray &word, bool *on) {
    if (word != "on" && word != "off")
        return false;
    *on = word == "on";
    return true;
}

// Inductance and capacitance relays, and switch K, that a tuning cycle ends
// with on each band (6 m has no tuner).
struct TuneEnd {
    const char *l;
    const char *c;
    const char *swr;
    char k;
};
const TuneEnd kTuneEnds[] = {
    {"10110100", "11001010", "12", '1'}, {"01011010", "01100101", "11", '1'},
    {"00101101", "00110010", "13", '0'}, {"00010110", "00011001", "12", '0'},
    {"00001011", "00001100", "14", '0'}, {"00000101", "00000110", "11", '1'},
};

// What follows a command's verb: its words, and the raw text after one blank
// ("say", "send" and "split" keep blanks and a trailing '&').
struct Args {
    QByteArray rest;
    QByteArray text;
    bool done() const { return rest.trimmed().isEmpty(); }
};

// Reads a command's arguments into cmd; false for a usage error. A parser
// with a message of its own puts it in *problem.
using ArgParser = bool (*)(Args &args, Command &cmd, QString *problem);

bool parseTx(Args &args, Command &cmd, QString *) {
    const QByteArray w = takeWord(&args.rest), r = takeWord(&args.rest), s = takeWord(&args.rest);
    return parseInt(w, 0, 9999, &cmd.watts) && parseInt(r, 0, 999, &cmd.reverse) &&
           parseSeconds(s, 3600, &cmd.ms) && cmd.ms >= 100 && args.done();
}

bool parseAlarm(Args &args, Command &cmd, QString *) {
    cmd.text = takeWord(&args.rest).toUpper();
    return std::any_of(std::begin(kAlarms), std::end(kAlarms),
                       [&](const char *a) { return cmd.text == a; }) &&
           args.done();
}

bool parseTemp(Args &args, Command &cmd, QString *problem) {
    cmd.text = takeWord(&args.rest);
    const QByteArray seconds = takeWord(&args.rest);
    if (cmd.text.isEmpty() || !args.done())
        return false;
    int degrees = 0;
    if (!seconds.isEmpty() &&
        (!parseSeconds(seconds, 3600, &cmd.ms) || !parseInt(cmd.text, 0, 999, &degrees))) {
        *problem = QStringLiteral("usage: temp DEGREES(0-999) SECONDS(0-3600), or temp TEXT");
        return false;
    }
    return true;
}

bool parseTune(Args &args, Command &cmd, QString *) {
    for (QByteArray w = takeWord(&args.rest); !w.isEmpty(); w = takeWord(&args.rest)) {
        if (w == "fine")
            cmd.flag = true;
        else if (!parseTuneResult(w, &cmd.tune))
            return false;
    }
    return true;
}

bool parseSay(Args &args, Command &cmd, QString *) {
    cmd.text = args.text + "\r\n";
    return true;
}

bool parseSend(Args &args, Command &cmd, QString *) {
    return unescapeBytes(args.text, &cmd.text) && !cmd.text.isEmpty();
}

bool parseSplit(Args &args, Command &cmd, QString *) {
    cmd.text = args.text + "\r\n";
    return !args.text.isEmpty();
}

bool parseGarbage(Args &args, Command &cmd, QString *) {
    cmd.watts = 24;
    const QByteArray n = takeWord(&args.rest);
    return (n.isEmpty() || parseInt(n, 2, 4096, &cmd.watts)) && args.done();
}

bool parseNothing(Args &args, Command &, QString *) {
    return args.done();
}

bool parseWait(Args &args, Command &cmd, QString *) {
    return parseSeconds(takeWord(&args.rest), 86400, &cmd.ms) && args.done();
}

bool parseSet(Args &args, Command &cmd, QString *problem) {
    cmd.text = takeWord(&args.rest);
    cmd.value = args.rest.trimmed();
    // Checked against a scratch amplifier now, so that the error comes when
    // the line is read and not when it runs.
    AmpCore scratch;
    *problem = scratch.setValue(cmd.text, cmd.value);
    return problem->isEmpty();
}

bool parseSwitch(Args &args, Command &cmd, QString *) {
    return parseOnOff(takeWord(&args.rest), &cmd.flag) && args.done();
}

struct Verb {
    const char *name;
    Command::Kind kind;
    ArgParser parse;
    const char *usage;
    // May end in " &". Not the verbs that take their text as it stands, nor
    // "repeat": a pass that held nothing back would run again at once.
    bool detachable;
};

const Verb kVerbs[] = {
    {"tx", Command::Tx, parseTx, "tx WATTS(0-9999) REV(0-999) SECONDS(0.1-3600)", true},
    {"alarm", Command::Alarm, parseAlarm, "alarm HPOUT|HPIN|BPF|SWR|TEMP|TOT|HPCONT|OFF", true},
    {"temp", Command::Temp, parseTemp, "temp VALUE [SECONDS]", true},
    {"tune", Command::Tune, parseTune, "tune [ok|fail|noneed|power|high|hf] [fine]", true},
    {"say", Command::Say, parseSay, "say TEXT", false},
    {"send", Command::Send, parseSend, "send BYTES (escapes \\r \\n \\t \\0 \\\\ \\xHH)", false},
    {"split", Command::Split, parseSplit, "split TEXT", false},
    {"garbage", Command::Garbage, parseGarbage, "garbage [COUNT(2-4096)]", true},
    {"unplug", Command::Unplug, parseNothing, "unplug", true},
    {"replug", Command::Replug, parseNothing, "replug", true},
    {"wait", Command::Wait, parseWait, "wait SECONDS", true},
    {"set", Command::Set, parseSet, "set NAME VALUE", true},
    {"confirm", Command::Confirm, parseSwitch, "confirm on|off", true},
    {"silent", Command::Silent, parseSwitch, "silent on|off", true},
    {"repeat", Command::Repeat, parseNothing, "repeat", false},
    {"quit", Command::Quit, parseNothing, "quit", true},
    {"help", Command::Help, parseNothing, "help", true},
};

QByteArray withoutLineEnd(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Takes a last word "&" off the arguments: the command then holds nothing back.
bool takeBackground(QByteArray *rest) {
    const QByteArray trimmed = rest->trimmed();
    if (trimmed != "&" && !trimmed.endsWith(" &"))
        return false;
    *rest = trimmed.chopped(1);
    return true;
}

} // namespace

std::optional<Command> parseCommand(const QByteArray &rawLine, QString *error) {
    error->clear();
    const QByteArray line = withoutLineEnd(rawLine);
    Args args{line, {}};
    const QByteArray verb = takeWord(&args.rest);
    if (verb.isEmpty() || verb.startsWith('#'))
        return std::nullopt;
    const auto row = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                  [&](const Verb &v) { return verb == v.name; });
    if (row == std::end(kVerbs)) {
        *error = QStringLiteral("unknown command: %1 (try help)").arg(QString::fromLatin1(verb));
        return std::nullopt;
    }
    args.text = line.mid(line.indexOf(verb) + verb.size());
    if (args.text.startsWith(' '))
        args.text.remove(0, 1);
    Command cmd;
    cmd.kind = row->kind;
    cmd.background = row->detachable && takeBackground(&args.rest);
    QString problem;
    if (!row->parse(args, cmd, &problem)) {
        *error = problem.isEmpty() ? QStringLiteral("usage: %1").arg(QLatin1String(row->usage))
                                   : problem;
        return std::nullopt;
    }
    return cmd;
}

QString commandHelp() {
    return QStringLiteral(
        "commands (one a line; a source runs its commands one after another):\n"
        "  tx WATTS REV SECONDS   transmission: TX: ON, O:/R: ten times a second, P_max:, TX: "
        "OFF\n"
        "  alarm NAME             ALARM: NAME (HPOUT HPIN BPF SWR TEMP TOT HPCONT OFF)\n"
        "  temp VALUE [SECONDS]   report T: VALUE, or drift to it degree by degree\n"
        "  tune [RESULT] [fine]   tuning cycle; RESULT ok fail noneed power high hf\n"
        "  say TEXT               send TEXT + CR LF as it stands\n"
        "  send BYTES             send escaped bytes (\\r \\n \\t \\0 \\\\ \\xHH), no CR LF added\n"
        "  split TEXT             send TEXT + CR LF in two writes 250 ms apart\n"
        "  garbage [COUNT]        a line of COUNT binary bytes (NUL and >127 included)\n"
        "  unplug | replug        close the device (the panel loses the port) | open a new one\n"
        "  wait SECONDS           pause this source\n"
        "  set NAME VALUE         change a setting silently (band inpower alm alc fan interface\n"
        "                         cal bar tot swrmin atustate temp version atu blocked "
        "tuneresult)\n"
        "  confirm on|off         confirm BL:ON/BL:OFF and ATU_STATE: n, or never\n"
        "  silent on|off          send nothing of its own: no answers, no reports (tx, alarm,\n"
        "                         temp, tune); say, send, split and garbage still write\n"
        "  repeat                 start the script again (scripts only)\n"
        "  quit | help\n"
        "  ... &                  (last word) hold nothing back: tx 800 32 10 & + wait 3 +\n"
        "                         silent on goes silent 3 s into the transmission");
}

QByteArray demoScript() {
    return "# Built-in demo: an amplifier with a tuner in line, in use.\n"
           "set atu 1\n"
           "set atustate 1\n"
           "wait 3\n"
           "tx 850 12 4\n"
           "wait 2\n"
           "temp 38 6\n"
           "tx 1000 18 6\n"
           "wait 3\n"
           "tx 400 6 2\n"
           "wait 2\n"
           "temp 44 8\n"
           "tx 1100 40 5\n"
           "alarm SWR\n"
           "wait 4\n"
           "alarm OFF\n"
           "wait 3\n"
           "tune ok\n"
           "wait 2\n"
           "tx 900 10 5\n"
           "temp 36 12\n"
           "wait 2\n"
           "repeat\n";
}

bool Scheduler::submit(Source source, const QByteArray &line, qint64 now, QString *error) {
    const std::optional<Command> cmd = parseCommand(line, error);
    if (!cmd)
        return error->isEmpty();
    Track &track = m_tracks[source];
    if (track.next >= track.commands.size() && track.readyAt < now)
        track.readyAt = now;
    track.commands.append(*cmd);
    return true;
}

QStringList Scheduler::loadScript(const QByteArray &script, qint64 now) {
    QStringList errors;
    Track track;
    track.loops = true;
    track.readyAt = now;
    track.passStart = now;
    const QList<QByteArray> lines = script.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString error;
        const std::optional<Command> cmd = parseCommand(lines.at(i), &error);
        if (cmd)
            track.commands.append(*cmd);
        else if (!error.isEmpty())
            errors.append(QStringLiteral("line %1: %2").arg(i + 1).arg(error));
    }
    m_tracks[Script] = track;
    return errors;
}

QList<QByteArray> Scheduler::received(const QByteArray &line, qint64 now) {
    const Reply reply = m_core.handleLine(line);
    if (reply.startTune && !tuning(now)) {
        const TuneResult result =
            m_core.state.band == 7 ? TuneResult::HfOnly : m_core.state.nextTune;
        scheduleTune(now, result, reply.fineTune);
    }
    return reply.lines;
}

void Scheduler::schedule(qint64 at, std::optional<Action> action, std::function<void()> apply,
                         bool report) {
    // upper_bound keeps actions of equal time in the order they were made.
    m_events.insert(m_events.upper_bound(at),
                    {at, Pending{std::move(action), std::move(apply), report}});
}

void Scheduler::scheduleWrite(qint64 at, const QByteArray &bytes) {
    schedule(at, Action{Action::Write, bytes});
}

void Scheduler::scheduleReport(qint64 at, const QByteArray &line) {
    schedule(at, Action{Action::Write, line + "\r\n"}, {}, true);
}

int Scheduler::jitter(int value, int percent) {
    m_random = m_random * 1103515245u + 12345u;
    const int spread = static_cast<int>((m_random >> 16) % (2 * percent + 1)) - percent;
    return std::max(0, static_cast<int>(std::lround(value * (100.0 + spread) / 100.0)));
}

qint64 Scheduler::scheduleTx(qint64 at, int watts, int reverse, qint64 ms) {
    const int readings = std::max<int>(1, static_cast<int>((ms + 50) / 100));
    schedule(at, std::nullopt, [this] { m_core.state.transmitting = true; });
    scheduleReport(at, "TX: ON");
    int peak = 0;
    for (int i = 1; i <= readings; ++i) {
        // Rises over the first three readings, falls over the last two.
        const double level = std::min(1.0, i / 3.0) * std::min(1.0, (readings - i + 1) / 2.0);
        const int out = jitter(static_cast<int>(std::lround(watts * level)), 3);
        const int rev = jitter(static_cast<int>(std::lround(reverse * level)), 3);
        peak = std::max(peak, out);
        scheduleReport(at + 100 * i, "O: " + QByteArray::number(out));
        scheduleReport(at + 100 * i, "R: " + QByteArray::number(rev));
    }
    const qint64 end = at + 100 * readings;
    scheduleReport(end + 50, "P_max: " + QByteArray::number(peak));
    scheduleReport(end + 100, "TX: OFF");
    schedule(end + 100, std::nullopt, [this] { m_core.state.transmitting = false; });
    return end + 100 - at;
}

qint64 Scheduler::scheduleTune(qint64 at, TuneResult result, bool fine) {
    int code = 0;
    const char *lamp = "RED";
    switch (result) {
    case TuneResult::WrongPower:
        code = 1;
        break;
    case TuneResult::SwrHigh:
        code = 2;
        break;
    case TuneResult::HfOnly:
        code = 7;
        break;
    case TuneResult::NotNeeded:
        code = 6;
        lamp = "GREEN";
        break;
    case TuneResult::Ok:
    case TuneResult::Fail:
        break;
    }
    qint64 t = at;
    if (code != 0) {
        // Refused at once: the status message, the lamp, and the TUNE button back.
        scheduleReport(t, "ATU_INF: " + QByteArray::number(code));
        scheduleReport(t, lamp);
    } else {
        scheduleReport(t, "ATU_INF: 3");
        scheduleReport(t, "YELLOW");
        const int step = fine ? 200 : 400;
        const char *const swr[] = {"28", "19", "14"};
        for (const char *s : swr) {
            t += step;
            scheduleReport(t, QByteArray("SWR: ") + s);
        }
        t += step;
        if (result == TuneResult::Ok) {
            const int band = std::clamp(m_core.state.band, 1, 6);
            const TuneEnd &end = kTuneEnds[band - 1];
            QByteArray c = end.c;
            if (fine) // a fine cycle moves the last capacitor relay
                c[7] = c.at(7) == '0' ? '1' : '0';
            scheduleReport(t, QByteArray("END_L: ") + end.l);
            scheduleReport(t, "END_C: " + c);
            scheduleReport(t, QByteArray("END_SWR: ") + end.swr);
            scheduleReport(t, QByteArray("END_K: ") + end.k);
            scheduleReport(t, "GREEN");
            scheduleReport(t, "ATU_INF: 4");
        } else {
            scheduleReport(t, "END_SWR: 255");
            scheduleReport(t, "RED");
            scheduleReport(t, "ATU_INF: 5");
        }
    }
    scheduleReport(t + 100, "TUNE OFF");
    m_tuneBusyUntil = t + 100;
    // The status message stays for three seconds, then the panel is uncovered.
    scheduleReport(t + 3100, "ATU_INF: 0");
    return t + 3100 - at;
}

qint64 Scheduler::scheduleTemp(qint64 at, const QByteArray &target, qint64 ms) {
    bool fromOk = false, toOk = false;
    const int from = m_core.state.temperature.toInt(&fromOk);
    const int to = target.toInt(&toOk);
    const int steps = fromOk && toOk && ms > 0 ? std::abs(to - from) : 0;
    for (int i = 1; i <= steps; ++i) {
        const QByteArray value = QByteArray::number(from + (to > from ? i : -i));
        const qint64 t = at + ms * i / steps;
        schedule(t, std::nullopt, [this, value] { m_core.state.temperature = value; });
        scheduleReport(t, "T: " + value);
    }
    if (steps == 0) {
        schedule(at, std::nullopt, [this, target] { m_core.state.temperature = target; });
        scheduleReport(at, "T: " + target);
    }
    return ms;
}

qint64 Scheduler::execute(const Command &cmd, Track &track, qint64 at) {
    switch (cmd.kind) {
    case Command::Tx:
        return scheduleTx(at, cmd.watts, cmd.reverse, cmd.ms);
    case Command::Alarm:
        scheduleReport(at, "ALARM: " + cmd.text);
        return 0;
    case Command::Temp:
        return scheduleTemp(at, cmd.text, cmd.ms);
    case Command::Tune:
        return scheduleTune(at, cmd.tune, cmd.flag);
    case Command::Say:
    case Command::Send:
        scheduleWrite(at, cmd.text);
        return 0;
    case Command::Split: {
        const int half = static_cast<int>(cmd.text.size() / 2);
        scheduleWrite(at, cmd.text.left(half));
        scheduleWrite(at + 250, cmd.text.mid(half));
        return 250;
    }
    case Command::Garbage: {
        // Always a NUL and a byte above 127; no CR or LF inside, so it is one line.
        QByteArray bytes("\0\xb5", 2);
        while (bytes.size() < cmd.watts) {
            m_random = m_random * 1103515245u + 12345u;
            const char c = static_cast<char>((m_random >> 16) & 0xff);
            if (c != '\r' && c != '\n')
                bytes.append(c);
        }
        scheduleWrite(at, bytes + "\r\n");
        return 0;
    }
    case Command::Unplug:
        schedule(at, Action{Action::Unplug, {}});
        return 0;
    case Command::Replug:
        schedule(at, Action{Action::Replug, {}});
        return 0;
    case Command::Quit:
        schedule(at, Action{Action::Quit, {}});
        return 0;
    case Command::Help:
        schedule(at, Action{Action::Print, commandHelp().toLatin1()});
        return 0;
    case Command::Wait:
        return cmd.ms;
    case Command::Set: {
        const QByteArray name = cmd.text, value = cmd.value;
        schedule(at, std::nullopt, [this, name, value] { m_core.setValue(name, value); });
        return 0;
    }
    case Command::Confirm: {
        const bool on = cmd.flag;
        schedule(at, std::nullopt, [this, on] { m_core.confirmSwitches = on; });
        return 0;
    }
    case Command::Silent: {
        const bool on = cmd.flag;
        schedule(at, std::nullopt, [this, on] { m_core.silent = on; });
        return 0;
    }
    case Command::Repeat:
        if (!track.loops) {
            schedule(at, Action{Action::Print, "repeat works in scripts only"});
            return 0;
        }
        track.next = 0;
        // A pass that takes no time would spin; give it a second.
        if (at == track.passStart) {
            track.passStart = at + 1000;
            return 1000;
        }
        track.passStart = at;
        return 0;
    }
    return 0;
}

QList<Action> Scheduler::takeDue(qint64 now) {
    for (Track &track : m_tracks) {
        while (track.next < track.commands.size() && track.readyAt <= now) {
            const Command cmd = track.commands.at(track.next++);
            const qint64 takes = execute(cmd, track, track.readyAt);
            if (!cmd.background)
                track.readyAt += takes;
            if (!track.loops) { // stdin commands are not kept once run
                track.commands.removeFirst();
                track.next = 0;
            }
        }
    }
    QList<Action> due;
    while (!m_events.empty() && m_events.begin()->first <= now) {
        Pending pending = std::move(m_events.begin()->second);
        m_events.erase(m_events.begin());
        if (pending.apply)
            pending.apply();
        // A report due while silent is dropped, not kept for later: what the
        // amplifier did in the meantime is gone.
        if (pending.action && !(pending.report && m_core.silent))
            due.append(*pending.action);
    }
    return due;
}

qint64 Scheduler::nextDue() const {
    qint64 next = m_events.empty() ? -1 : m_events.begin()->first;
    for (const Track &track : m_tracks) {
        if (track.next < track.commands.size() && (next < 0 || track.readyAt < next))
            next = track.readyAt;
    }
    return next;
}

} // namespace sim
