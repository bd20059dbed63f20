// The reply dispatcher: cuts received text into lines, logs each one,
// recognises the amplifier's identification and, once it is identified,
// interprets every report: session state, the main window's displays and
// menus, the ATU panel and the alarm windows.
#include "app/Unit1.h"

#include "app/Alarms.h"
#include "app/Reports.h"
#include "app/StdControls.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>

#include <optional>

namespace {

// The "Temperature" group box shows its colour as its background.
void SetGroupColor(QGroupBox *box, TColor color) {
    QPalette p = box->palette();
    p.setColor(QPalette::Window, ToQColor(color));
    box->setPalette(p);
    box->setAutoFillBackground(true);
}

void MoveLeft(QWidget *w, int left) {
    w->move(left, w->y());
}

TColor TemperatureColor(Reports::TempRange range) {
    switch (range) {
    case Reports::TempRange::Cool:
        return clLime;
    case Reports::TempRange::Warm:
        return clYellow;
    case Reports::TempRange::Hot:
        return clFuchsia;
    case Reports::TempRange::Alarm:
        break;
    }
    return clRed;
}

TColor AtuStatusColor(Reports::AtuTone tone) {
    switch (tone) {
    case Reports::AtuTone::Busy:
        return clYellow;
    case Reports::AtuTone::Good:
        return clLightGreen;
    case Reports::AtuTone::Alert:
        break;
    }
    return clFuchsia;
}

} // namespace

void TForm1::SerialPortReceive(TSerialPort *, const QByteArray &Buffer) {
    if (Windows.Form2->LineCount() > MonitorLineLimit)
        Windows.Form2->ClearLog();

    const LineFramer::Result framed = Receiver.Feed(Buffer);
    for (const QByteArray &bytes : framed.lines) {
        Log(Protocol::ReceivedEcho(bytes));
        if (Protocol::HasPrefix(bytes, Protocol::RepIdentified)) {
            Session.PaIdentified = true;
            Log(Protocol::ReceivedEcho(Protocol::RepIdentified));
            openport->SetCaption(ConnectionCaption::Connected);
            Timer1->stop();
            Session.ConnectTicks = 0;
            SendStartupBurst();
        }
        if (Session.PaIdentified)
            DispatchReport(Protocol::FromLine(bytes));
    }
    if (framed.discarded > 0)
        Log(QStringLiteral("****** Line without end discarded (%1 bytes)").arg(framed.discarded));
}

void TForm1::SendStartupBurst() {
    // The first four queries get a short pause each; the amplifier answers
    // them before the rest arrive. The pauses block the GUI thread briefly.
    const QByteArray paced[] = {Protocol::AskBand, Protocol::AskInPower, Protocol::AskTemperature,
                                Protocol::AskAlarmSound};
    for (const QByteArray &query : paced) {
        Send(query, Protocol::Echo::WithCrLf);
        QThread::msleep(BurstPauseMs);
    }
    const QByteArray rest[] = {
        Protocol::AskAlc, Protocol::AskFan,         Protocol::AskInterface,
        Protocol::AskLB,  Protocol::AskCalibration, Protocol::AskBarSpeed,
        Protocol::AskTot, Protocol::AskVersion,     Protocol::AskAtuInstalled};
    for (const QByteArray &query : rest)
        Send(query, Protocol::Echo::WithCrLf);
}

// Every test is made on every line, in this order, with no "else" between
// them. A test that takes a value replaces the line by that value, and the
// tests after it compare against the replaced text. A value that is not a
// number ends only its own test, with a "******" entry naming the report.
void TForm1::DispatchReport(QString line) {
    TFatu1 *atu = Windows.Fatu1;
    auto has = [&line](const char *prefix) { return line.startsWith(QLatin1String(prefix)); };
    auto after = [&line](int length) { return line.mid(length); };
    auto charAfter = [&line](int length) { return line.mid(length, 1); };
    auto conversionError = [this](const char *report) {
        Log(QStringLiteral("****** Conversion error ") + QLatin1String(report));
    };
    auto checkByNumber = [&](const QString &v, const char *report,
                             std::initializer_list<QAction *> items) {
        const std::optional<int> n = Reports::ToInt(v);
        if (!n) {
            conversionError(report);
            return;
        }
        if (*n >= 1 && *n <= int(items.size()))
            items.begin()[*n - 1]->setChecked(true);
    };
    auto atuPanelOn = [&] {
        atu->Panel1->SetCaption(AtuCaption::InLine);
        if (Reports::FineTuningAllowed(Session.FirmwareVersion))
            atu->FineTuning1->setEnabled(true);
        atu->Panel1->SetColor(clLightGreen);
    };

    // 1, 2: PTT block confirmed.
    if (has("BL:ON")) {
        Session.BlockOnPending = false;
        if (Panel1->Caption() != PttCaption::Blocked)
            Announcer->Announce(QStringLiteral("PTT blocked"));
        Panel1->SetCaption(PttCaption::Blocked);
        Panel1->SetColor(clAlertPink);
        Log(QStringLiteral("+ BL:ON"));
    }
    if (has("BL:OFF")) {
        Session.BlockOffPending = false;
        if (Panel1->Caption() != PttCaption::Free)
            Announcer->Announce(QStringLiteral("PTT free"));
        Panel1->SetCaption(PttCaption::Free);
        Panel1->SetColor(clLightGreen);
        Log(QStringLiteral("+ BL:OFF"));
    }
    // 3: temperature, shown as received.
    if (has("T: ")) {
        line = after(3);
        Temp2->setText(line);
        // Three digits are wider than the box at its laid-out 61 pixels.
        Temp2->setFont(FitToWidth(Temp2->font(), line, Temp2->contentsRect().width(), 61));
        SetGroupColor(Temp1, TemperatureColor(Reports::TemperatureRange(line)));
        Log(QStringLiteral("+ T: ") + line);
    }
    // 4: band.
    if (has("B: ")) {
        line = after(3);
        if (const std::optional<int> n = Reports::ToInt(line)) {
            Session.CurrentBand = Reports::Low8(*n);
            for (int i = 1; i <= 7; ++i)
                Band[i - 1]->SetBrushColor(i == Session.CurrentBand ? clLime : clSilver);
        } else {
            Log(QStringLiteral("****** Band conversion error"));
        }
        Log(QStringLiteral("+ B: ") + line);
    }
    // 5: firmware version; "x2" marks the 2.4 kW amplifier.
    if (has("Ver:")) {
        line = after(4).trimmed();
        Session.FirmwareVersion = line;
        atu->FineTuning1->setEnabled(Reports::FineTuningAllowed(Session.FirmwareVersion));
        Log(QStringLiteral("+ Ver: ") + line);
        if (line.contains(QStringLiteral("x2")))
            N24kW1Click();
        else
            N12kW1Click();
    }
    // 6: alarm sound.
    if (has("ALM: ")) {
        line = charAfter(5);
        Log(QStringLiteral("+ ALM: ") + line);
        if (line == QStringLiteral("1"))
            CWbybuzzer1->setChecked(true);
        else if (line == QStringLiteral("2"))
            Buzzer1->setChecked(true);
        else
            Nosound1->setChecked(true);
    }
    // 7: transceiver interface, with the band group's caption and state.
    if (has("I: ")) {
        line = charAfter(3);
        Log(QStringLiteral("+ I: ") + line);
        if (const std::optional<int> n = Reports::ToInt(line))
            ApplyInterface(*n); // other numbers change nothing
        else
            conversionError("I");
    }
    // 8, 9, 10: fan, bar-graph speed, transmit time-out.
    if (has("F: ")) {
        line = charAfter(3);
        Log(QStringLiteral("+ F: ") + line);
        checkByNumber(line, "F", {N501, Max1, Hysteresis1, Fixed1});
    }
    if (has("BAR: ")) {
        line = charAfter(5);
        Log(QStringLiteral("+ BAR: ") + line);
        checkByNumber(line, "BAR", {Veryslow1, Slow1, Fast1, Veryfast1});
    }
    if (has("TOT: ")) {
        line = charAfter(5);
        Log(QStringLiteral("+ TOT: ") + line);
        checkByNumber(line, "TOT", {Off1, N5min1, N15min1, N30min1});
    }
    // 11: peak power; the text as received, the marker limited to the scale.
    if (has("P_max: ")) {
        line = after(7);
        P_max_label->setText(line + QStringLiteral(" W"));
        if (const std::optional<int> n = Reports::ToInt(line)) {
            const Reports::PeakMarker m = Reports::PlacePeak(line, *n, N12kW1->isChecked());
            line = m.logged;
            MoveLeft(P_max1, m.left);
            if (P_max1->isHidden())
                P_max1->show();
            Log(QStringLiteral("+ P_max: ") + line);
        } else {
            conversionError("P_max");
        }
    }
    // 12, 13: calibration and ALC place the ALC marker.
    if (has("CAL: ")) {
        line = after(5);
        Log(QStringLiteral("+ CAL: ") + line);
        Session.CalKnown = true;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            ALC1->setVisible(*n != 255);
            Session.CalValue = Reports::Low8(*n);
            if (Session.AlcValue >= 1 && Session.AlcValue <= 254 && Session.CalValue != 0)
                MoveLeft(ALC1, Reports::AlcLeft(Session.AlcValue, Session.CalValue));
        } else {
            Log(QStringLiteral("****** Conversion error CAL"));
        }
    }
    if (has("ALC_PWM: ")) {
        line = after(9);
        Log(QStringLiteral("+ ALC_PWM: ") + line);
        Session.AlcKnown = true;
        if (const std::optional<int> n = Reports::ToInt(line)) {
            Session.AlcValue = Reports::Low8(*n);
            if (Session.CalValue >= 1 && Session.CalValue <= 254)
                MoveLeft(ALC1, Reports::AlcLeft(Session.AlcValue, Session.CalValue));
        } else {
            Log(QStringLiteral("****** Conversion error ALC_PWM"));
        }
    }
    // 14, 15: output and reverse power.
    if (has("O: ")) {
        line = after(3);
        Log(QStringLiteral("+ O: ") + line);
        P_out->setText(line + QStringLiteral(" W"));
        if (const std::optional<int> n = Reports::ToInt(line))
            output->SetPosition(Reports::OutputPosition(*n, N12kW1->isChecked()));
        else
            Log(QStringLiteral("****** Conversion error Power Out"));
    }
    if (has("R: ")) {
        line = after(3);
        Log(QStringLiteral("+ R: ") + line);
        if (const std::optional<int> n = Reports::ToInt(line))
            swr->SetPosition(*n);
        else
            Log(QStringLiteral("****** Conversion error Power Rev"));
    }
    // 16: only logged, a second time.
    if (has("IN_ALARM_PWM:"))
        Log(QStringLiteral("+ ") + line);
    // 17, 18: transmit state. The PTT-block button covers the readouts
    // except while the amplifier transmits.
    if (has("TX: ON")) {
        if (!tx_led->Value())
            Announcer->Announce(QStringLiteral("Transmitting"));
        tx_led->SetValue(true);
        Log(QStringLiteral("+ TX: ON"));
        Panel1->hide();
    }
    if (has("TX: OFF")) {
        if (tx_led->Value())
            Announcer->Announce(QStringLiteral("Receiving"));
        Log(QStringLiteral("+ TX: OFF"));
        output->SetPosition(0);
        swr->SetPosition(0);
        P_max1->hide();
        P_max_label->clear();
        P_out->clear();
        tx_led->SetValue(false);
        Panel1->show();
    }
    // 19: input power class; the operator cannot choose these items.
    if (has("InPower: ")) {
        line = charAfter(9);
        Log(QStringLiteral("+ InPower: ") + line);
        if (const std::optional<int> n = Reports::ToInt(line)) {
            QAction *item = *n == 1 ? N4W1 : *n == 2 ? N60W1 : nullptr;
            if (item) {
                item->setEnabled(true);
                item->setChecked(true);
                item->setEnabled(false);
            }
        } else {
            conversionError("InPower");
        }
    }
    // 20: band lines, only logged a second time.
    if (has("B1") || has("B2") || has("B3") || has("B4") || has("B5") || has("B6") || has("B7") ||
        has("B_"))
        Log(QStringLiteral("+ ") + line);
    // 21, 22: alarms and the all-clear.
    const std::pair<const char *, TAlarmForm *> alarms[] = {
        {"ALARM: HPOUT", Windows.FALARM_HP},     {"ALARM: HPIN", Windows.FAlarm_ip},
        {"ALARM: BPF", Windows.Falarm_bpf},      {"ALARM: SWR", Windows.FALARM_SWR},
        {"ALARM: TEMP", Windows.Falarm_temp},    {"ALARM: TOT", Windows.FALARM_TOT},
        {"ALARM: HPCONT", Windows.FALARM_HPCONT}};
    for (const auto &[prefix, window] : alarms) {
        if (has(prefix)) {
            window->ShowAlarm();
            Log(QStringLiteral("+ ") + QLatin1String(prefix));
        }
    }
    if (has("ALARM: OFF")) {
        Log(QStringLiteral("+ ALARM: OFF"));
        TAlarmForm *const clearOrder[] = {
            Windows.FALARM_HP,   Windows.FAlarm_ip,     Windows.Falarm_bpf, Windows.FALARM_SWR,
            Windows.Falarm_temp, Windows.FALARM_HPCONT, Windows.FALARM_TOT};
        for (TAlarmForm *window : clearOrder)
            if (window->isVisible())
                window->HideAlarm();
    }
    // 23: tuner status message; the digit sits one blank after the prefix.
    if (has("ATU_INF:")) {
        if (const std::optional<int> code = Reports::ToInt(line.mid(9, 1))) {
            if (*code == 0) {
                atu->Panel2->hide();
            } else if (const std::optional<Reports::AtuStatus> s = Reports::AtuStatusFor(*code)) {
                atu->Panel2->SetCaption(s->caption);
                atu->Panel2->SetColor(AtuStatusColor(s->tone));
                atu->Panel2->show();
            }
        } else {
            conversionError("ATU_INF");
        }
    }
    // 24: ATU fitted.
    if (has("ATU_INST: ")) {
        if (line.mid(10, 1) == QStringLiteral("1")) {
            Log(QStringLiteral("+ ATU_INSTALLED: 1"));
            ATUPanel1->setEnabled(true);
            atu->show();
        } else {
            Log(QStringLiteral("+ ATU_INSTALLED: 0"));
            ATUPanel1->setEnabled(false);
        }
    }
    // 25: ATU in line or bypassed, confirming the panel's request.
    if (has("ATU_STATE: ")) {
        if (line.mid(11, 1) == QStringLiteral("1")) {
            Session.AtuOnPending = false;
            atu->Timer1->stop();
            atuPanelOn();
            Log(QStringLiteral("+ ATU_STATE: 1"));
        } else {
            Session.AtuBypassPending = false;
            atu->Timer1->stop();
            atu->FineTuning1->setEnabled(false);
            atu->Panel1->SetCaption(AtuCaption::Bypassed);
            atu->Panel1->SetColor(clAlertPink);
            Log(QStringLiteral("+ ATU_STATE: 0"));
        }
    }
    // 26, 27: tuning finished; the tuner's status lamp.
    if (has("TUNE OFF")) {
        atu->tune1->SetColor(clBtnFace);
        Log(QStringLiteral("+ TUNE OFF"));
    }
    const std::pair<const char *, TColor> lamps[] = {
        {"RED", clRed}, {"GREEN", clLime}, {"GREY", clSilver}, {"YELLOW", clYellow}};
    for (const auto &[word, color] : lamps) {
        if (has(word)) {
            atu->Led->SetTrueColor(color);
            Log(QStringLiteral("+ ") + QLatin1String(word));
        }
    }
    if (has("YELLOW") && Session.CurrentBand != 7 && Manual1->isChecked())
        atuPanelOn();
    // 28: the tuner's "SWR min" setting.
    if (has("SWRmin: ")) {
        line = line.mid(8, 2);
        Log(QStringLiteral("+ SWRmin: ") + line);
        if (const std::optional<int> n = Reports::ToInt(line)) {
            if (*n >= 11 && *n <= 17)
                for (int i = 0; i < int(atu->SWR.size()); ++i)
                    atu->SWR[i]->setChecked(i == *n - 11);
        } else {
            conversionError("SWRmin");
        }
    }
    // 29: forward reading, shown only in service mode.
    if (has("ATU_FWD: ")) {
        atu->Label7->clear();
        atu->Label7->setText(line.mid(9, 5));
    }
    // 30, 31: tuner relays, rebuilt into µH and pF.
    if (has("END_L: ") || has("Port L:")) {
        Session.TunerInductance = 0;
        atu->Label4->clear();
        line = Reports::PadRelays(line.mid(7, 9));
        Log(QStringLiteral("+ Port L: ") + line);
        if (const std::optional<double> l = Reports::RelaySum(line, Reports::InductanceUnit)) {
            Session.TunerInductance = *l;
            atu->Label4->setText(Reports::InductanceCaption(Session.TunerInductance));
        } else {
            conversionError("Port L");
        }
    }
    if (has("END_C: ") || has("Port C:")) {
        Session.TunerCapacitance = 0;
        atu->Label8->clear();
        line = Reports::PadRelays(line.mid(7, 9));
        Log(QStringLiteral("+ Port C: ") + line);
        if (const std::optional<double> c = Reports::RelaySum(line, Reports::CapacitanceUnit)) {
            Session.TunerCapacitance = *c;
            atu->Label8->setText(Reports::CapacitanceCaption(Session.TunerCapacitance));
        } else {
            conversionError("Port C");
        }
    }
    // 32, 33: SWR after tuning and present SWR.
    if (has("END_SWR: ")) {
        atu->Label3->clear();
        line = Reports::SwrText(line.mid(9, 5).trimmed());
        Log(QStringLiteral("+ SWR: ") + line);
        atu->Label3->setText(line);
    }
    if (has("SWR: ")) {
        atu->Label3->clear();
        line = Reports::SwrText(line.mid(5, 5));
        Log(QStringLiteral("+ SWR: ") + line);
        atu->Label3->setText(line);
    }
    // 34, 35: tuner switch K selects which diagram is shown.
    auto showK = [&](int position) {
        line = line.mid(position - 1, 1);
        Log(QStringLiteral("+ K: ") + line);
        const bool k0 = line == QStringLiteral("0");
        atu->Image0->setVisible(k0);
        atu->Image1->setVisible(!k0);
    };
    if (has("K: "))
        showK(4);
    if (has("END_K: "))
        showK(8);
}
