// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReplyDispatcher.h"

#include "link/Facts.h"
#include "link/Forgetting.h"

#include "link/Protocol.h"
#include "link/Reports.h"

#include <optional>

namespace {
using namespace Protocol::Report;

// How a row takes its value from the line: `skip` characters after the
// prefix, then `count` characters (-1: the rest of the line), trimmed of
// blanks at both ends or not.
struct Take {
    int skip;
    int count;
    bool trimmed;
};
constexpr Take Nothing{0, 0, false};
constexpr Take Rest{0, -1, false};
constexpr Take RestTrimmed{0, -1, true};
constexpr Take OneChar{0, 1, false};

// One report on its way through its row: the state it changes, the line and
// the value as the row took it; the row adds entries, effects and changes.
struct Applying {
    AmpStatus &s;
    Readings &r;
    const QString &line;
    const QString &value;
    int arg; // which alarm, which lamp colour
    ReportOutcome &out;
    qint64 nowMs; // the link's clock
    Stamp at;     // this report's stamp

    void log(const QString &entry) { out.entries << entry; }
    void changed(unsigned what) { out.changed |= what; }
    void conversionError(const char *report) {
        log(QStringLiteral("****** Conversion error ") + QLatin1String(report));
    }
    // The value as a number; a "******" entry naming the report when it is none.
    std::optional<int> number(const char *report) {
        const std::optional<int> n = Reports::ToInt(value);
        if (!n)
            conversionError(report);
        return n;
    }
    // A setting numbered 1..items, logged first: other numbers change nothing.
    void setting(const char *report, int items, int &field) {
        log(QStringLiteral("+ ") + QLatin1String(report) + QStringLiteral(": ") + value);
        const std::optional<int> n = number(report);
        if (n && *n >= 1 && *n <= items) {
            field = *n;
            changed(StateChange::Settings);
        }
    }
};

using Act = void (*)(Applying &);

struct Row {
    QLatin1String prefix;
    ReportId id;
    Take take;
    Act act;
    int arg = 0;
};

// The tuner goes in line (a confirmation, or the lamp turning yellow on a
// manual band): fine tuning is offered when the firmware allows it.
void AtuInLine(AmpStatus &s) {
    s.readings.tuner.position = AtuSwitch::InLine;
    if (Reports::FineTuningAllowed(s.readings.firmware.value_or(QString())))
        s.FineTuningEnabled = true;
}

// The PTT block as the amplifier confirmed it.
void ConfirmPtt(Applying &a, bool blocked) {
    if (!a.s.OnThisConnection(a.r.pttBlocked) || *a.r.pttBlocked != blocked)
        a.changed(StateChange::Ptt);
    a.r.pttBlocked.Set(blocked, a.at);
    a.out.pttConfirmed = blocked;
    a.log(blocked ? QStringLiteral("+ BL:ON") : QStringLiteral("+ BL:OFF"));
}

void BlockOnRow(Applying &a) {
    ConfirmPtt(a, true);
}

void BlockOffRow(Applying &a) {
    ConfirmPtt(a, false);
}

// Shown as received; in °C where it is a number.
void TemperatureRow(Applying &a) {
    a.r.temperatureC.Set(Reports::ToDecimal(a.value), a.at);
    a.changed(StateChange::Temperature);
    a.log(QStringLiteral("+ T: ") + a.value);
}

// The low 8 bits of the number.
void BandRow(Applying &a) {
    if (const std::optional<int> n = Reports::ToInt(a.value)) {
        const std::optional<int> was = a.s.Band();
        a.r.band.Set(Reports::Low8(*n), a.at);
        a.changed(StateChange::Band);
        if (was && *was != *a.r.band)
            a.changed(Forgetting::Apply(Forgetting::Rule::BandChange, a.s, a.nowMs));
    } else {
        a.log(QStringLiteral("****** Band conversion error"));
    }
    a.log(QStringLiteral("+ B: ") + a.value);
}

// "x2" in the version marks the 2.4 kW amplifier.
void VersionRow(Applying &a) {
    a.r.firmware.Set(Facts::RelayedText(a.value), a.at);
    a.s.FineTuningEnabled = Reports::FineTuningAllowed(a.value);
    a.log(QStringLiteral("+ Ver: ") + a.value);
    a.r.paType.Set(a.value.contains(QStringLiteral("x2")) ? PaType::Kw24 : PaType::Kw12, a.at);
    a.changed(StateChange::Firmware | StateChange::PaType);
}

// "1" and "2" by name; any other character is "no sound".
void AlarmSoundRow(Applying &a) {
    a.log(QStringLiteral("+ ALM: ") + a.value);
    a.s.AlarmSound = a.value == QStringLiteral("1") ? 1 : a.value == QStringLiteral("2") ? 2 : 3;
    a.changed(StateChange::Settings);
}

void InterfaceRow(Applying &a) {
    a.log(QStringLiteral("+ I: ") + a.value);
    const std::optional<int> n = a.number("I");
    if (n && IsInterface(*n)) { // other numbers change nothing
        a.s.Interface = *n;
        a.changed(StateChange::Interface);
    }
}

void FanRow(Applying &a) {
    a.setting("F", 4, a.s.Fan);
}

void BarSpeedRow(Applying &a) {
    a.setting("BAR", 4, a.s.BarSpeed);
}

void TotRow(Applying &a) {
    a.setting("TOT", 4, a.s.Tot);
}

// In watts as received; logged limited to the scale of the PA type in force
// now (a "Ver:" earlier in the chunk counts).
void PeakRow(Applying &a) {
    a.changed(StateChange::Peak);
    a.r.peakW.Set(a.number("P_max"), a.at);
    if (a.r.peakW.has_value())
        a.log(QStringLiteral("+ P_max: ") + Reports::PeakLogged(a.value, *a.r.peakW, a.r.Pa12kW()));
}

// Calibration and output level; the calibration is known from its report on,
// a number or not.
void CalibrationRow(Applying &a) {
    a.log(QStringLiteral("+ CAL: ") + a.value);
    a.r.calibrationAnswered = true;
    a.changed(StateChange::Alc | StateChange::Settings);
    if (const std::optional<int> n = a.number("CAL"))
        a.r.calibration.Set(std::uint8_t(Reports::Low8(*n)), a.at);
}

void AlcRow(Applying &a) {
    a.log(QStringLiteral("+ ALC_PWM: ") + a.value);
    a.r.alcAnswered = true;
    a.changed(StateChange::Alc | StateChange::Settings);
    if (const std::optional<int> n = a.number("ALC_PWM"))
        a.r.alc.Set(std::uint8_t(Reports::Low8(*n)), a.at);
}

// Output and reverse power in watts as reported, unscaled.
void OutputRow(Applying &a) {
    a.log(QStringLiteral("+ O: ") + a.value);
    a.changed(StateChange::Output);
    a.r.outputW.Set(a.number("Power Out"), a.at);
    a.r.outputSinceReverse = true;
}

void ReverseRow(Applying &a) {
    a.log(QStringLiteral("+ R: ") + a.value);
    if (const std::optional<int> n = a.number("Power Rev")) {
        a.r.reflectedW.Set(*n, a.at);
        a.changed(StateChange::Reverse);
        // The pair of this report cycle: its "O: " came since the last "R: ".
        if (a.r.outputSinceReverse && a.r.outputW.has_value())
            a.r.powerSwr.Set(SwrFromPower(*a.r.outputW, *n), a.at);
        else
            a.r.powerSwr.Forget();
    }
    a.r.outputSinceReverse = false;
}

// Only logged, a second time.
void LoggedAgainRow(Applying &a) {
    a.log(QStringLiteral("+ ") + a.line);
}

// A new transmission: the tuner's last reading is old.
void TxOnRow(Applying &a) {
    if (!a.s.OnThisConnection(a.r.transmitting) || !*a.r.transmitting) {
        a.changed(Forgetting::Apply(Forgetting::Rule::TransmissionStart, a.s, a.nowMs));
        a.changed(StateChange::Transmit);
    }
    a.r.transmitting.Set(true, a.at);
    a.log(QStringLiteral("+ TX: ON"));
}

void TxOffRow(Applying &a) {
    a.log(QStringLiteral("+ TX: OFF"));
    a.changed(Forgetting::Apply(Forgetting::Rule::TransmissionEnd, a.s, a.nowMs));
    a.changed(StateChange::Output | StateChange::Reverse | StateChange::Peak);
    if (!a.s.OnThisConnection(a.r.transmitting) || *a.r.transmitting)
        a.changed(StateChange::Transmit);
    a.r.transmitting.Set(false, a.at);
}

// The input power class; the operator cannot choose it.
void InPowerRow(Applying &a) {
    a.setting("InPower", 2, a.s.InPower);
}

void AlarmRow(Applying &a) {
    AlarmSet alarms = a.s.OnThisConnection(a.r.alarms) ? *a.r.alarms : AlarmSet{};
    alarms[std::size_t(a.arg)] = true;
    a.r.alarms.Set(alarms, a.at);
    a.changed(StateChange::Alarm);
    a.log(QStringLiteral("+ ") + Alarms[a.arg]);
}

void AlarmOffRow(Applying &a) {
    a.log(QStringLiteral("+ ALARM: OFF"));
    a.r.alarms.Set(AlarmSet{}, a.at);
    a.changed(StateChange::Alarm);
}

// The status digit sits one blank after the prefix; 0 clears the message,
// codes without a message change nothing. No entry of its own.
void AtuInfoRow(Applying &a) {
    const std::optional<int> code = a.number("ATU_INF");
    if (code && (*code == 0 || Reports::AtuStatusFor(*code))) {
        a.r.tuner.status.Set(*code ? std::optional<int>(*code) : std::nullopt, a.at);
        a.changed(StateChange::AtuStatus);
    }
}

void AtuInstalledRow(Applying &a) {
    TunerReadings &tuner = a.r.tuner;
    const bool fitted = a.value == QStringLiteral("1");
    tuner.fitted.Set(fitted, a.at);
    a.changed(StateChange::AtuFitted);
    a.log(fitted ? QStringLiteral("+ ATU_INSTALLED: 1") : QStringLiteral("+ ATU_INSTALLED: 0"));
    if (fitted)
        a.out.tunerFitted = true;
}

// In line or bypassed, confirming the panel's request.
void AtuStateRow(Applying &a) {
    const bool inLine = a.value == QStringLiteral("1");
    a.out.atuConfirmed = inLine;
    a.changed(StateChange::AtuSwitch | StateChange::Firmware);
    if (inLine) {
        AtuInLine(a.s);
        a.log(QStringLiteral("+ ATU_STATE: 1"));
    } else {
        a.s.FineTuningEnabled = false;
        a.r.tuner.position = AtuSwitch::Bypassed;
        a.log(QStringLiteral("+ ATU_STATE: 0"));
    }
}

void TuneOffRow(Applying &a) {
    a.out.tuneFinished = true;
    a.log(QStringLiteral("+ TUNE OFF"));
}

// Yellow also switches the tuner in line on a manual band other than 6 m.
void LampRow(Applying &a) {
    const AtuLamp lamp = AtuLamp(a.arg);
    a.r.tuner.lamp = lamp;
    a.changed(StateChange::AtuLamp);
    a.log(QStringLiteral("+ ") + Lamps[a.arg]);
    if (lamp == AtuLamp::Yellow && a.r.band.value_or(StartBand) != 7 && a.s.ManualBands()) {
        AtuInLine(a.s);
        a.changed(StateChange::AtuSwitch | StateChange::Firmware);
    }
}

void SwrMinRow(Applying &a) {
    a.log(QStringLiteral("+ SWRmin: ") + a.value);
    const std::optional<int> n = a.number("SWRmin");
    if (n && *n >= 11 && *n <= 17) {
        a.s.SwrMin = *n;
        a.changed(StateChange::SwrMin);
    }
}

// Shown only in the service view; no entry of its own.
void AtuForwardRow(Applying &a) {
    a.r.tuner.forwardW.Set(Reports::ToInt(a.value.trimmed()), a.at);
    a.changed(StateChange::AtuReadings);
}

// The tuner's relays, padded to 8 digits and summed into µH or pF.
void Relays(Applying &a, const char *report, double unit, Reading<double> &field) {
    a.changed(StateChange::AtuReadings);
    const QString digits = Reports::PadRelays(a.value);
    a.log(QStringLiteral("+ ") + QLatin1String(report) + QStringLiteral(": ") + digits);
    field.Set(Reports::RelaySum(digits, unit), a.at);
    if (!field.has_value())
        a.conversionError(report);
}

void InductanceRow(Applying &a) {
    Relays(a, "Port L", Reports::InductanceUnit, a.r.tuner.inductanceUH);
}

void CapacitanceRow(Applying &a) {
    Relays(a, "Port C", Reports::CapacitanceUnit, a.r.tuner.capacitancePF);
}

// The tuner's SWR in tenths, after tuning ("END_SWR: ") or now ("SWR: ");
// a change of band forgets it.
void SwrRow(Applying &a) {
    a.r.tuner.swr.Set(Reports::SwrValue(a.value), a.at);
    a.log(QStringLiteral("+ SWR: ") + Reports::SwrText(a.value));
    a.changed(StateChange::AtuReadings);
}

// Switch K selects which of the tuner's diagrams is shown.
void SwitchKRow(Applying &a) {
    a.log(QStringLiteral("+ K: ") + a.value);
    a.r.tuner.capacitorAtInput.Set(a.value == QStringLiteral("0"), a.at);
    a.changed(StateChange::AtuDiagram);
}

// The table: one row per report prefix.
const Row Rows[] = {
    {BlockOn, ReportId::BlockOn, Nothing, BlockOnRow},
    {BlockOff, ReportId::BlockOff, Nothing, BlockOffRow},
    {Temperature, ReportId::Temperature, Rest, TemperatureRow},
    {Band, ReportId::Band, Rest, BandRow},
    {Version, ReportId::Version, RestTrimmed, VersionRow},
    {AlarmSound, ReportId::AlarmSound, OneChar, AlarmSoundRow},
    {Interface, ReportId::Interface, OneChar, InterfaceRow},
    {Fan, ReportId::Fan, OneChar, FanRow},
    {BarSpeed, ReportId::BarSpeed, OneChar, BarSpeedRow},
    {Tot, ReportId::Tot, OneChar, TotRow},
    {Peak, ReportId::Peak, Rest, PeakRow},
    {Calibration, ReportId::Calibration, Rest, CalibrationRow},
    {Alc, ReportId::Alc, Rest, AlcRow},
    {Output, ReportId::Output, Rest, OutputRow},
    {Reverse, ReportId::Reverse, Rest, ReverseRow},
    {InAlarmPwm, ReportId::InAlarmPwm, Nothing, LoggedAgainRow},
    {TxOn, ReportId::TxOn, Nothing, TxOnRow},
    {TxOff, ReportId::TxOff, Nothing, TxOffRow},
    {InPower, ReportId::InPower, OneChar, InPowerRow},
    {BandLines[0], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[1], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[2], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[3], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[4], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[5], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[6], ReportId::BandLine, Nothing, LoggedAgainRow},
    {BandLines[7], ReportId::BandLine, Nothing, LoggedAgainRow},
    {Alarms[0], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::HpOut)},
    {Alarms[1], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::HpIn)},
    {Alarms[2], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::Bpf)},
    {Alarms[3], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::Swr)},
    {Alarms[4], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::Temp)},
    {Alarms[5], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::Tot)},
    {Alarms[6], ReportId::Alarm, Nothing, AlarmRow, int(AlarmKind::HpCont)},
    {AlarmOff, ReportId::AlarmOff, Nothing, AlarmOffRow},
    {AtuInfo, ReportId::AtuInfo, {1, 1, false}, AtuInfoRow},
    {AtuInstalled, ReportId::AtuInstalled, OneChar, AtuInstalledRow},
    {AtuState, ReportId::AtuState, OneChar, AtuStateRow},
    {TuneOff, ReportId::TuneOff, Nothing, TuneOffRow},
    {Lamps[0], ReportId::Lamp, Nothing, LampRow, int(AtuLamp::Red)},
    {Lamps[1], ReportId::Lamp, Nothing, LampRow, int(AtuLamp::Green)},
    {Lamps[2], ReportId::Lamp, Nothing, LampRow, int(AtuLamp::Grey)},
    {Lamps[3], ReportId::Lamp, Nothing, LampRow, int(AtuLamp::Yellow)},
    {SwrMin, ReportId::SwrMin, {0, 2, false}, SwrMinRow},
    {AtuForward, ReportId::AtuForward, {0, 5, false}, AtuForwardRow},
    {EndL, ReportId::Inductance, {0, 9, true}, InductanceRow},
    {PortL, ReportId::Inductance, {0, 9, true}, InductanceRow},
    {EndC, ReportId::Capacitance, {0, 9, true}, CapacitanceRow},
    {PortC, ReportId::Capacitance, {0, 9, true}, CapacitanceRow},
    {EndSwr, ReportId::EndSwr, {0, 5, true}, SwrRow},
    {Swr, ReportId::Swr, {0, 5, false}, SwrRow},
    {SwitchK, ReportId::SwitchK, OneChar, SwitchKRow},
    {EndK, ReportId::EndK, OneChar, SwitchKRow},
};

// The row with the longest prefix that line begins with.
const Row *RowFor(const QString &line) {
    const Row *best = nullptr;
    for (const Row &row : Rows)
        if (line.startsWith(row.prefix) && (!best || row.prefix.size() > best->prefix.size()))
            best = &row;
    return best;
}

QString ValueOf(const QString &line, const Row &row) {
    const QString v = line.mid(row.prefix.size() + row.take.skip, row.take.count);
    return row.take.trimmed ? v.trimmed() : v;
}
} // namespace

ReportOutcome ApplyReport(const QString &line, AmpStatus &s, qint64 nowMs) {
    ReportOutcome out;
    const Row *row = RowFor(line);
    if (!row)
        return out;
    out.row = row->id;
    out.value = ValueOf(line, *row);
    Applying a{s, s.readings, line, out.value, row->arg, out, nowMs, s.At(nowMs)};
    row->act(a);
    return out;
}

QLatin1String ReportPrefix(const QString &line) {
    const Row *row = RowFor(line);
    return row ? row->prefix : QLatin1String();
}

QList<QLatin1String> ReportPrefixes() {
    QList<QLatin1String> all;
    for (const Row &row : Rows)
        all << row.prefix;
    return all;
}

unsigned ConfirmPending(const ReportOutcome &outcome, PendingCommands &pending) {
    unsigned changed = 0;
    if (outcome.pttConfirmed) {
        bool &waiting = *outcome.pttConfirmed ? pending.blockOn : pending.blockOff;
        if (waiting)
            changed |= StateChange::PttPending;
        waiting = false;
    }
    if (outcome.atuConfirmed)
        (*outcome.atuConfirmed ? pending.atuOn : pending.atuBypass) = false;
    return changed;
}
