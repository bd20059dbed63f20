// SPDX-License-Identifier: GPL-3.0-or-later
// Answer logic of the simulated amplifier.
#include "SimCore.h"

namespace sim {

namespace {

// A numeric setting that the panel can both ask ("B?") and set ("B: 3").
struct NumericSetting {
    const char *keyword; // "B" answers "B: n"
    const char *name;    // scenario name for "set"
    int AmpStatus::*field;
    int min;
    int max;
    bool settable; // accepts "KEYWORD: n" from the panel
};

const NumericSetting kNumeric[] = {
    {"B", "band", &AmpStatus::band, 1, 7, true},
    {"InPower", "inpower", &AmpStatus::inPower, 1, 2, false},
    {"ALM", "alm", &AmpStatus::alarmSound, 1, 3, true},
    {"ALC_PWM", "alc", &AmpStatus::alcPwm, 0, 255, true},
    {"F", "fan", &AmpStatus::fan, 1, 4, true},
    {"I", "interface", &AmpStatus::interface, 1, 7, true},
    {"CAL", "cal", &AmpStatus::cal, 0, 255, false},
    {"BAR", "bar", &AmpStatus::barSpeed, 1, 4, true},
    {"TOT", "tot", &AmpStatus::tot, 1, 4, true},
    {"SWRmin", "swrmin", &AmpStatus::swrMin, 11, 17, true},
    {"ATU_STATE", "atustate", &AmpStatus::atuState, 0, 1, false},
};

// Strict decimal: digits only, no sign or blanks, at most 6 digits.
bool parseDecimal(const QByteArray &text, int *value) {
    if (text.isEmpty() || text.size() > 6)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

QByteArray report(const char *keyword, int value) {
    return QByteArray(keyword) + ": " + QByteArray::number(value);
}

} // namespace

bool parseTuneResult(const QByteArray &name, TuneResult *result) {
    static const struct {
        const char *name;
        TuneResult result;
    } names[] = {{"ok", TuneResult::Ok},
                 {"fail", TuneResult::Fail},
                 {"noneed", TuneResult::NotNeeded},
                 {"power", TuneResult::WrongPower},
                 {"high", TuneResult::SwrHigh},
                 {"hf", TuneResult::HfOnly}};
    for (const auto &n : names) {
        if (name == n.name) {
            *result = n.result;
            return true;
        }
    }
    return false;
}

QByteArray AmpCore::answerQuery(const QByteArray &query) const {
    if (query == "PA?")
        return "PA_QZ9QZ";
    if (query == "T?")
        return "T: " + state.temperature;
    if (query == "Ver?")
        return "Ver: " + state.version;
    if (query == "ATU_INST?")
        return state.atuFitted ? "ATU_INST: 1" : "ATU_INST: 0";
    if (query == "BL?")
        return state.pttBlocked ? "BL:ON" : "BL:OFF";
    for (const auto &s : kNumeric) {
        if (query == QByteArray(s.keyword) + '?')
            return report(s.keyword, state.*(s.field));
    }
    return {};
}

Reply AmpCore::handleLine(const QByteArray &line) {
    Reply reply;
    if (silent)
        return reply;

    const QByteArray answer = answerQuery(line);
    if (!answer.isEmpty()) {
        if (ignoreQueries > 0)
            --ignoreQueries;
        else
            reply.lines.append(answer);
        return reply;
    }

    if (line == "BL:ON" || line == "BL:OFF") {
        state.pttBlocked = line == "BL:ON";
        if (confirmSwitches)
            reply.lines.append(line);
        return reply;
    }
    if (line == "ATU_STATE: 1" || line == "ATU_STATE: 0") {
        // Without a tuner there is nobody to switch or to confirm.
        if (!state.atuFitted)
            return reply;
        state.atuState = line.endsWith('1') ? 1 : 0;
        if (confirmSwitches)
            reply.lines.append(line);
        return reply;
    }
    if (line == "TUNE ON" || line == "TUNE FINE") {
        if (!state.atuFitted)
            return reply;
        if (state.atuState != 1) {
            reply.lines.append("TUNE OFF");
            return reply;
        }
        reply.startTune = true;
        reply.fineTune = line == "TUNE FINE";
        return reply;
    }
    if (line == "CMEM")
        return reply;

    // Settings: "KEYWORD: n" with n in range changes the state and is
    // confirmed by the report; anything else is ignored, as the amplifier has
    // no error report.
    for (const auto &s : kNumeric) {
        const QByteArray prefix = QByteArray(s.keyword) + ": ";
        if (!s.settable || !line.startsWith(prefix))
            continue;
        int value = 0;
        if (parseDecimal(line.mid(prefix.size()), &value) && value >= s.min && value <= s.max) {
            state.*(s.field) = value;
            reply.lines.append(report(s.keyword, value));
        }
        return reply;
    }
    // "LB?", "???", bare lines and everything unknown: accepted silently.
    return reply;
}

QList<QByteArray> AmpCore::valueNames() {
    QList<QByteArray> names;
    for (const auto &s : kNumeric)
        names.append(s.name);
    names << "temp"
          << "version"
          << "atu"
          << "blocked"
          << "tuneresult";
    return names;
}

QString AmpCore::setValue(const QByteArray &name, const QByteArray &value) {
    for (const auto &s : kNumeric) {
        if (name != s.name)
            continue;
        int v = 0;
        if (!parseDecimal(value, &v) || v < s.min || v > s.max) {
            return QStringLiteral("%1 wants a number from %2 to %3")
                .arg(QString::fromLatin1(name))
                .arg(s.min)
                .arg(s.max);
        }
        state.*(s.field) = v;
        return {};
    }
    if (name == "temp") {
        if (value.isEmpty() || value.contains('\r') || value.contains('\n'))
            return QStringLiteral("temp wants a value");
        state.temperature = value;
        return {};
    }
    if (name == "version") {
        if (value.isEmpty() || value.contains('\r') || value.contains('\n'))
            return QStringLiteral("version wants a text");
        state.version = value;
        return {};
    }
    if (name == "atu" || name == "blocked") {
        if (value != "0" && value != "1")
            return QStringLiteral("%1 wants 0 or 1").arg(QString::fromLatin1(name));
        (name == "atu" ? state.atuFitted : state.pttBlocked) = value == "1";
        return {};
    }
    if (name == "tuneresult") {
        if (!parseTuneResult(value, &state.nextTune))
            return QStringLiteral("tuneresult wants ok, fail, noneed, power, high or hf");
        return {};
    }
    return QStringLiteral("unknown value name: %1").arg(QString::fromLatin1(name));
}

} // namespace sim
