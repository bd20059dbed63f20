// The reply dispatcher's report table: one received line applied to the
// state record. Pure: it sends nothing and touches no window; the link logs
// its entries and hands its effects to the views.
#include "link/AmpLink.h"

#include <optional>

namespace {
using namespace Protocol::Report;

// The tuner panel goes in line (a confirmation, or the lamp turning yellow
// on a manual band): fine tuning is offered when the firmware allows it.
void AtuInLine(AmpState &s) {
    s.Atu = AtuSwitch::InLine;
    if (Reports::FineTuningAllowed(s.FirmwareVersion))
        s.FineTuningEnabled = true;
}
} // namespace

ReportOutcome ApplyReport(QString line, AmpState &s) {
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
    if (has(BlockOn)) {
        s.BlockOnPending = false;
        s.PttBlocked = true;
        out.changed |= StateChange::Ptt;
        log << QStringLiteral("+ BL:ON");
    }
    if (has(BlockOff)) {
        s.BlockOffPending = false;
        s.PttBlocked = false;
        out.changed |= StateChange::Ptt;
        log << QStringLiteral("+ BL:OFF");
    }
    // 3: temperature, shown as received.
    if (has(Temperature)) {
        line = after(3);
        s.Temperature = line;
        s.TemperatureRange = Reports::TemperatureRange(line);
        out.changed |= StateChange::Temperature;
        log << QStringLiteral("+ T: ") + line;
    }
    // 4: band; the low 8 bits of the number.
    if (has(Band)) {
        line = after(3);
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.CurrentBand = Reports::Low8(*n);
            out.changed |= StateChange::Band;
        } else {
            log << QStringLiteral("****** Band conversion error");
        }
        log << QStringLiteral("+ B: ") + line;
    }
    // 5: firmware version; "x2" marks the 2.4 kW amplifier.
    if (has(Version)) {
        line = after(4).trimmed();
        s.FirmwareVersion = line;
        s.FineTuningEnabled = Reports::FineTuningAllowed(s.FirmwareVersion);
        log << QStringLiteral("+ Ver: ") + line;
        s.PaType =
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
        s.PeakText = line + QStringLiteral(" W");
        out.changed |= StateChange::Power;
        s.PeakWatts = 0;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.PeakWatts = *n;
            const Reports::PeakMarker m = Reports::PlacePeak(line, *n, s.Pa12kW());
            line = m.logged;
            s.PeakLeft = m.left;
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
        s.CalKnown = true;
        out.changed |= StateChange::Alc | StateChange::Settings;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.AlcVisible = *n != MainRules::NotCalibrated;
            s.CalValue = Reports::Low8(*n);
            if (s.AlcValue >= 1 && s.AlcValue <= 254 && s.CalValue != 0)
                s.AlcLeft = Reports::AlcLeft(s.AlcValue, s.CalValue);
        } else {
            log << QStringLiteral("****** Conversion error CAL");
        }
    }
    if (has(Alc)) {
        line = after(9);
        log << QStringLiteral("+ ALC_PWM: ") + line;
        s.AlcKnown = true;
        out.changed |= StateChange::Alc | StateChange::Settings;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.AlcValue = Reports::Low8(*n);
            if (s.CalValue >= 1 && s.CalValue <= 254)
                s.AlcLeft = Reports::AlcLeft(s.AlcValue, s.CalValue);
        } else {
            log << QStringLiteral("****** Conversion error ALC_PWM");
        }
    }
    // 14, 15: output and reverse power; output on the PA type's scale.
    if (has(Output)) {
        line = after(3);
        log << QStringLiteral("+ O: ") + line;
        s.OutputText = line + QStringLiteral(" W");
        out.changed |= StateChange::Power;
        s.OutputWatts = 0;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.OutputPosition = Reports::OutputPosition(*n, s.Pa12kW());
            s.OutputWatts = *n;
        } else {
            log << QStringLiteral("****** Conversion error Power Out");
        }
    }
    if (has(Reverse)) {
        line = after(3);
        log << QStringLiteral("+ R: ") + line;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            s.ReversePosition = *n;
            out.changed |= StateChange::Power;
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
        if (!s.Transmitting)
            s.TunerSwrValue.reset(); // a new transmission: the tuner's reading is old
        s.Transmitting = true;
        out.changed |= StateChange::Transmit;
        log << QStringLiteral("+ TX: ON");
    }
    if (has(TxOff)) {
        log << QStringLiteral("+ TX: OFF");
        s.OutputPosition = s.ReversePosition = 0;
        s.OutputWatts = s.PeakWatts = 0;
        s.PeakLeft.reset();
        s.PeakText.clear();
        s.OutputText.clear();
        s.Transmitting = false;
        out.changed |= StateChange::Power | StateChange::Transmit;
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
            s.Alarms[i] = true;
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
        for (bool &a : s.Alarms)
            a = false;
        out.changed |= StateChange::Alarm;
        LinkEffect e;
        e.kind = LinkEffect::Kind::AlarmsCleared;
        out.effects << e;
    }
    // 23: tuner status message; the digit sits one blank after the prefix.
    if (has(AtuInfo)) {
        if (const std::optional<int> code = Reports::ToInt(line.mid(9, 1))) {
            if (*code == 0) {
                s.AtuStatusCode.reset();
                out.changed |= StateChange::AtuStatus;
            } else if (Reports::AtuStatusFor(*code)) {
                s.AtuStatusCode = *code;
                out.changed |= StateChange::AtuStatus;
            }
        } else {
            conversionError("ATU_INF");
        }
    }
    // 24: ATU fitted.
    if (has(AtuInstalled)) {
        s.AtuFitted = line.mid(10, 1) == QStringLiteral("1");
        out.changed |= StateChange::AtuFitted;
        if (s.AtuFitted) {
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
            s.Atu = AtuSwitch::Bypassed;
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
            s.Lamp = AtuLamp(i);
            out.changed |= StateChange::AtuLamp;
            log << QStringLiteral("+ ") + Lamps[i];
        }
    }
    if (has(Lamps[int(AtuLamp::Yellow)]) && s.CurrentBand != 7 &&
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
        s.ForwardText = line.mid(9, 5);
        out.changed |= StateChange::AtuReadings;
    }
    // 30, 31: tuner relays, rebuilt into µH and pF.
    if (has(EndL) || has(PortL)) {
        s.TunerInductance = 0;
        s.InductanceText.clear();
        out.changed |= StateChange::AtuReadings;
        line = Reports::PadRelays(line.mid(7, 9));
        log << QStringLiteral("+ Port L: ") + line;
        if (const std::optional<double> l = Reports::RelaySum(line, Reports::InductanceUnit)) {
            s.TunerInductance = *l;
            s.InductanceText = Reports::InductanceCaption(s.TunerInductance);
        } else {
            conversionError("Port L");
        }
    }
    if (has(EndC) || has(PortC)) {
        s.TunerCapacitance = 0;
        s.CapacitanceText.clear();
        out.changed |= StateChange::AtuReadings;
        line = Reports::PadRelays(line.mid(7, 9));
        log << QStringLiteral("+ Port C: ") + line;
        if (const std::optional<double> c = Reports::RelaySum(line, Reports::CapacitanceUnit)) {
            s.TunerCapacitance = *c;
            s.CapacitanceText = Reports::CapacitanceCaption(s.TunerCapacitance);
        } else {
            conversionError("Port C");
        }
    }
    // 32, 33: SWR after tuning and present SWR.
    auto tunerSwr = [&s](const QString &value) {
        s.TunerSwrValue = Reports::SwrValue(value);
        s.TunerSwrBand = s.CurrentBand;
    };
    if (has(EndSwr)) {
        tunerSwr(line.mid(9, 5));
        line = Reports::SwrText(line.mid(9, 5).trimmed());
        log << QStringLiteral("+ SWR: ") + line;
        s.SwrText = line;
        out.changed |= StateChange::AtuReadings;
    }
    if (has(Swr)) {
        tunerSwr(line.mid(5, 5));
        line = Reports::SwrText(line.mid(5, 5));
        log << QStringLiteral("+ SWR: ") + line;
        s.SwrText = line;
        out.changed |= StateChange::AtuReadings;
    }
    // 34, 35: tuner switch K selects which diagram is shown.
    auto switchK = [&](int position) {
        line = line.mid(position - 1, 1);
        log << QStringLiteral("+ K: ") + line;
        s.CapacitorAtInput = line == QStringLiteral("0");
        out.changed |= StateChange::AtuDiagram;
    };
    if (has(SwitchK))
        switchK(4);
    if (has(EndK))
        switchK(8);
    return out;
}

unsigned ForgetReadings(AmpState &s) {
    unsigned changed = 0;
    auto forget = [&changed](auto &value, auto cleared, unsigned what) {
        if (value == cleared)
            return;
        value = cleared;
        changed |= what;
    };
    forget(s.OutputPosition, 0, StateChange::Power);
    forget(s.ReversePosition, 0, StateChange::Power);
    forget(s.OutputWatts, 0, StateChange::Power);
    forget(s.PeakWatts, 0, StateChange::Power);
    forget(s.PeakLeft, std::optional<int>(), StateChange::Power);
    forget(s.PeakText, QString(), StateChange::Power);
    forget(s.OutputText, QString(), StateChange::Power);
    forget(s.Transmitting, false, StateChange::Transmit);
    for (bool &alarm : s.Alarms)
        forget(alarm, false, StateChange::Alarm);
    forget(s.SwrText, QString(), StateChange::AtuReadings);
    forget(s.ForwardText, QString(), StateChange::AtuReadings);
    forget(s.InductanceText, QString(), StateChange::AtuReadings);
    forget(s.CapacitanceText, QString(), StateChange::AtuReadings);
    forget(s.TunerInductance, 0.0, StateChange::AtuReadings);
    forget(s.TunerCapacitance, 0.0, StateChange::AtuReadings);
    forget(s.AtuStatusCode, std::optional<int>(), StateChange::AtuStatus);
    return changed;
}
