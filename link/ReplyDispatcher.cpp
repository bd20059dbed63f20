// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ReplyDispatcher.h"

#include "link/Protocol.h"
#include "link/Reports.h"

#include <optional>

namespace {
using namespace Protocol::Report;

// The tuner panel goes in line (a confirmation, or the lamp turning yellow
// on a manual band): fine tuning is offered when the firmware allows it.
void AtuInLine(AmpStatus &s) {
    s.readings.tuner.position = AtuSwitch::InLine;
    if (Reports::FineTuningAllowed(s.readings.firmware))
        s.FineTuningEnabled = true;
}
} // namespace

ReportOutcome ApplyReport(QString line, AmpStatus &s) {
    Readings &r = s.readings;
    TunerReadings &tuner = r.tuner;
    ReportOutcome out;
    QStringList &log = out.entries;
    auto has = [&line](QLatin1String prefix) { return line.startsWith(prefix); };
    auto after = [&line](int length) { return line.mid(length); };
    auto charAfter = [&line](int length) { return line.mid(length, 1); };
    auto conversionError = [&log](const char *report) {
        log << QStringLiteral("****** Conversion error ") + QLatin1String(report);
    };
    // A setting numbered 1..items: other numbers change nothing.
    auto setting = [&](const QString &v, const char *report, int items, int &field) {
        const std::optional<int> n = Reports::ToInt(v);
        if (!n) {
            conversionError(report);
            return;
        }
        if (*n >= 1 && *n <= items) {
            field = *n;
            out.changed |= StateChange::Settings;
        }
    };

    // 1, 2: PTT block confirmed.
    auto confirmPtt = [&](bool blocked, bool &pending) {
        if (pending)
            out.changed |= StateChange::PttPending;
        if (r.pttBlocked != blocked)
            out.changed |= StateChange::Ptt;
        pending = false;
        r.pttBlocked = blocked;
    };
    if (has(BlockOn)) {
        confirmPtt(true, r.blockOnPending);
        log << QStringLiteral("+ BL:ON");
    }
    if (has(BlockOff)) {
        confirmPtt(false, r.blockOffPending);
        log << QStringLiteral("+ BL:OFF");
    }
    // 3: temperature, shown as received.
    if (has(Temperature)) {
        line = after(3);
        s.reported.temperature = line;
        r.temperatureC = Reports::ToDecimal(line);
        out.changed |= StateChange::Temperature;
        log << QStringLiteral("+ T: ") + line;
    }
    // 4: band; the low 8 bits of the number.
    if (has(Band)) {
        line = after(3);
        if (const std::optional<int> n = Reports::ToInt(line)) {
            r.band = Reports::Low8(*n);
            r.bandKnown = true;
            out.changed |= StateChange::Band;
        } else {
            log << QStringLiteral("****** Band conversion error");
        }
        log << QStringLiteral("+ B: ") + line;
    }
    // 5: firmware version; "x2" marks the 2.4 kW amplifier.
    if (has(Version)) {
        line = after(4).trimmed();
        r.firmware = line;
        s.FineTuningEnabled = Reports::FineTuningAllowed(r.firmware);
        log << QStringLiteral("+ Ver: ") + line;
        r.paType =
            line.contains(QStringLiteral("x2")) ? MainRules::PaType::Kw24 : MainRules::PaType::Kw12;
        out.changed |= StateChange::Firmware | StateChange::PaType;
    }
    // 6: alarm sound.
    if (has(AlarmSound)) {
        line = charAfter(5);
        log << QStringLiteral("+ ALM: ") + line;
        s.AlarmSound = line == QStringLiteral("1") ? 1 : line == QStringLiteral("2") ? 2 : 3;
        out.changed |= StateChange::Settings;
    }
    // 7: transceiver interface, with the band group's caption and state.
    if (has(Interface)) {
        line = charAfter(3);
        log << QStringLiteral("+ I: ") + line;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            if (MainRules::Interface(*n)) { // other numbers change nothing
                s.Interface = s.BandGroupInterface = *n;
                out.changed |= StateChange::Interface;
            }
        } else {
            conversionError("I");
        }
    }
    // 8, 9, 10: fan, bar-graph speed, transmit time-out.
    if (has(Fan)) {
        line = charAfter(3);
        log << QStringLiteral("+ F: ") + line;
        setting(line, "F", 4, s.Fan);
    }
    if (has(BarSpeed)) {
        line = charAfter(5);
        log << QStringLiteral("+ BAR: ") + line;
        setting(line, "BAR", 4, s.BarSpeed);
    }
    if (has(Tot)) {
        line = charAfter(5);
        log << QStringLiteral("+ TOT: ") + line;
        setting(line, "TOT", 4, s.Tot);
    }
    // 11: peak power; the text as received, the marker limited to the scale
    // of the PA type in force now (a "Ver:" earlier in the chunk counts).
    if (has(Peak)) {
        line = after(7);
        s.reported.peak = line;
        out.changed |= StateChange::Peak;
        r.peakW = Reports::ToInt(line);
        if (r.peakW) {
            line = Reports::PeakLogged(line, *r.peakW, r.Pa12kW());
            log << QStringLiteral("+ P_max: ") + line;
        } else {
            conversionError("P_max");
        }
    }
    // 12, 13: calibration and ALC place the ALC marker; a zero calibration
    // never divides.
    if (has(Calibration)) {
        line = after(5);
        log << QStringLiteral("+ CAL: ") + line;
        r.calibrationKnown = true;
        out.changed |= StateChange::Alc | StateChange::Settings;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.AlcVisible = *n != MainRules::NotCalibrated;
            r.calibration = Reports::Low8(*n);
            if (r.alc >= 1 && r.alc <= 254 && r.calibration != 0)
                s.AlcMark = Reports::AlcMark(r.alc, r.calibration);
        } else {
            log << QStringLiteral("****** Conversion error CAL");
        }
    }
    if (has(Alc)) {
        line = after(9);
        log << QStringLiteral("+ ALC_PWM: ") + line;
        r.alcKnown = true;
        out.changed |= StateChange::Alc | StateChange::Settings;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            r.alc = Reports::Low8(*n);
            if (r.calibration >= 1 && r.calibration <= 254)
                s.AlcMark = Reports::AlcMark(r.alc, r.calibration);
        } else {
            log << QStringLiteral("****** Conversion error ALC_PWM");
        }
    }
    // 14, 15: output and reverse power, in watts as reported.
    if (has(Output)) {
        line = after(3);
        log << QStringLiteral("+ O: ") + line;
        s.reported.output = line;
        out.changed |= StateChange::Output;
        r.outputW = Reports::ToInt(line);
        if (!r.outputW)
            log << QStringLiteral("****** Conversion error Power Out");
    }
    if (has(Reverse)) {
        line = after(3);
        log << QStringLiteral("+ R: ") + line;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            r.reflectedW = *n;
            out.changed |= StateChange::Reverse;
        } else {
            log << QStringLiteral("****** Conversion error Power Rev");
        }
    }
    // 16: only logged, a second time.
    if (has(InAlarmPwm))
        log << QStringLiteral("+ ") + line;
    // 17, 18: transmit state. The PTT-block panel covers the readouts except
    // while the amplifier transmits.
    if (has(TxOn)) {
        if (!r.transmitting) {
            tuner.swr.reset(); // a new transmission: the tuner's reading is old
            r.transmitting = true;
            out.changed |= StateChange::Transmit;
        }
        log << QStringLiteral("+ TX: ON");
    }
    if (has(TxOff)) {
        log << QStringLiteral("+ TX: OFF");
        r.outputW.reset();
        r.reflectedW.reset();
        r.peakW.reset();
        s.reported.output.reset();
        s.reported.peak.reset();
        out.changed |= StateChange::Output | StateChange::Reverse | StateChange::Peak;
        if (r.transmitting) {
            r.transmitting = false;
            out.changed |= StateChange::Transmit;
        }
    }
    // 19: input power class; the operator cannot choose it.
    if (has(InPower)) {
        line = charAfter(9);
        log << QStringLiteral("+ InPower: ") + line;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            if (*n == 1 || *n == 2) {
                s.InPower = *n;
                out.changed |= StateChange::Settings;
            }
        } else {
            conversionError("InPower");
        }
    }
    // 20: band lines, only logged a second time.
    for (QLatin1String band : BandLines) {
        if (has(band)) {
            log << QStringLiteral("+ ") + line;
            break;
        }
    }
    // 21, 22: alarms and the all-clear.
    for (int i = 0; i < AlarmKinds; ++i) {
        if (has(Alarms[i])) {
            r.alarms[std::size_t(i)] = true;
            out.changed |= StateChange::Alarm;
            LinkEffect e;
            e.kind = LinkEffect::Kind::AlarmRaised;
            e.alarm = AlarmKind(i);
            out.effects << e;
            log << QStringLiteral("+ ") + Alarms[i];
        }
    }
    if (has(AlarmOff)) {
        log << QStringLiteral("+ ALARM: OFF");
        r.alarms.fill(false);
        out.changed |= StateChange::Alarm;
        LinkEffect e;
        e.kind = LinkEffect::Kind::AlarmsCleared;
        out.effects << e;
    }
    // 23: tuner status message; the digit sits one blank after the prefix.
    if (has(AtuInfo)) {
        if (const std::optional<int> code = Reports::ToInt(line.mid(9, 1))) {
            if (*code == 0) {
                tuner.status.reset();
                out.changed |= StateChange::AtuStatus;
            } else if (Reports::AtuStatusFor(*code)) {
                tuner.status = *code;
                out.changed |= StateChange::AtuStatus;
            }
        } else {
            conversionError("ATU_INF");
        }
    }
    // 24: ATU fitted.
    if (has(AtuInstalled)) {
        tuner.fitted = line.mid(10, 1) == QStringLiteral("1");
        out.changed |= StateChange::AtuFitted;
        if (tuner.fitted) {
            log << QStringLiteral("+ ATU_INSTALLED: 1");
            LinkEffect e;
            e.kind = LinkEffect::Kind::ShowAtuPanel;
            out.effects << e;
        } else {
            log << QStringLiteral("+ ATU_INSTALLED: 0");
        }
    }
    // 25: ATU in line or bypassed, confirming the panel's request.
    if (has(AtuState)) {
        out.atuConfirmed = true;
        out.changed |= StateChange::AtuSwitch | StateChange::Firmware;
        if (line.mid(11, 1) == QStringLiteral("1")) {
            s.AtuOnPending = false;
            AtuInLine(s);
            log << QStringLiteral("+ ATU_STATE: 1");
        } else {
            s.AtuBypassPending = false;
            s.FineTuningEnabled = false;
            tuner.position = AtuSwitch::Bypassed;
            log << QStringLiteral("+ ATU_STATE: 0");
        }
    }
    // 26, 27: tuning finished; the tuner's status lamp.
    if (has(TuneOff)) {
        LinkEffect e;
        e.kind = LinkEffect::Kind::TuneFinished;
        out.effects << e;
        log << QStringLiteral("+ TUNE OFF");
    }
    for (int i = 0; i < 4; ++i) {
        if (has(Lamps[i])) {
            tuner.lamp = AtuLamp(i);
            out.changed |= StateChange::AtuLamp;
            log << QStringLiteral("+ ") + Lamps[i];
        }
    }
    if (has(Lamps[int(AtuLamp::Yellow)]) && r.band != 7 &&
        s.Interface == MainRules::ManualInterface) {
        AtuInLine(s);
        out.changed |= StateChange::AtuSwitch | StateChange::Firmware;
    }
    // 28: the tuner's "SWR min" setting.
    if (has(SwrMin)) {
        line = line.mid(8, 2);
        log << QStringLiteral("+ SWRmin: ") + line;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            if (*n >= 11 && *n <= 17) {
                s.SwrMin = *n;
                out.changed |= StateChange::SwrMin;
            }
        } else {
            conversionError("SWRmin");
        }
    }
    // 29: forward reading, shown only in the service view.
    if (has(AtuForward)) {
        s.reported.tunerForward = line.mid(9, 5);
        tuner.forwardW = Reports::ToInt(s.reported.tunerForward.trimmed());
        out.changed |= StateChange::AtuReadings;
    }
    // 30, 31: tuner relays, rebuilt into µH and pF.
    if (has(EndL) || has(PortL)) {
        out.changed |= StateChange::AtuReadings;
        line = Reports::PadRelays(line.mid(7, 9));
        log << QStringLiteral("+ Port L: ") + line;
        tuner.inductanceUH = Reports::RelaySum(line, Reports::InductanceUnit);
        if (!tuner.inductanceUH) {
            conversionError("Port L");
        }
    }
    if (has(EndC) || has(PortC)) {
        out.changed |= StateChange::AtuReadings;
        line = Reports::PadRelays(line.mid(7, 9));
        log << QStringLiteral("+ Port C: ") + line;
        tuner.capacitancePF = Reports::RelaySum(line, Reports::CapacitanceUnit);
        if (!tuner.capacitancePF) {
            conversionError("Port C");
        }
    }
    // 32, 33: SWR after tuning and present SWR.
    // The field as the readout shows it: the rule differs between the two.
    auto tunerSwr = [&](const QString &field, const QString &shown) {
        tuner.swr = Reports::SwrValue(field);
        tuner.swrBand = r.band;
        s.reported.tunerSwr = shown;
        line = Reports::SwrText(shown);
        log << QStringLiteral("+ SWR: ") + line;
        out.changed |= StateChange::AtuReadings;
    };
    if (has(EndSwr))
        tunerSwr(line.mid(9, 5), line.mid(9, 5).trimmed());
    if (has(Swr))
        tunerSwr(line.mid(5, 5), line.mid(5, 5));
    // 34, 35: tuner switch K selects which diagram is shown.
    auto switchK = [&](int position) {
        line = line.mid(position - 1, 1);
        log << QStringLiteral("+ K: ") + line;
        tuner.capacitorAtInput = line == QStringLiteral("0");
        out.changed |= StateChange::AtuDiagram;
    };
    if (has(SwitchK))
        switchK(4);
    if (has(EndK))
        switchK(8);
    return out;
}

unsigned ForgetReadings(AmpStatus &s) {
    Readings &r = s.readings;
    unsigned changed = 0;
    auto forget = [&changed](auto &value, auto cleared, unsigned what) {
        if (value == cleared)
            return;
        value = cleared;
        changed |= what;
    };
    forget(r.outputW, std::optional<int>(), StateChange::Output);
    forget(s.reported.output, std::optional<QString>(), StateChange::Output);
    forget(r.reflectedW, std::optional<int>(), StateChange::Reverse);
    forget(r.peakW, std::optional<int>(), StateChange::Peak);
    forget(s.reported.peak, std::optional<QString>(), StateChange::Peak);
    forget(r.transmitting, false, StateChange::Transmit);
    r.bandKnown = false;
    for (bool &alarm : r.alarms)
        forget(alarm, false, StateChange::Alarm);
    TunerReadings &tuner = r.tuner;
    forget(tuner.swr, std::optional<double>(), StateChange::AtuReadings);
    forget(s.reported.tunerSwr, std::optional<QString>(), StateChange::AtuReadings);
    forget(tuner.forwardW, std::optional<int>(), StateChange::AtuReadings);
    forget(s.reported.tunerForward, QString(), StateChange::AtuReadings);
    forget(tuner.inductanceUH, std::optional<double>(), StateChange::AtuReadings);
    forget(tuner.capacitancePF, std::optional<double>(), StateChange::AtuReadings);
    forget(tuner.status, std::optional<int>(), StateChange::AtuStatus);
    return changed;
}
