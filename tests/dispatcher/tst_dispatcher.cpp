// The reply dispatcher inside the main window: each report's value, state,
// controls and monitor entries; identification and the start-up burst;
// the limits on the monitor and on unfinished lines. The poll tick: its
// exact bytes and echoes in each state.
#include "app/Alarms.h"
#include "app/Runtime.h"
#include "app/StdControls.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "tests/common/PtyPeer.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace {

QString ColorName(TColor c) {
    const std::pair<TColor, const char *> names[] = {
        {clLime, "clLime"},           {clSilver, "clSilver"},    {clYellow, "clYellow"},
        {clFuchsia, "clFuchsia"},     {clRed, "clRed"},          {clBtnFace, "clBtnFace"},
        {clLightGreen, "lightgreen"}, {clAlertPink, "alertpink"}};
    for (const auto &[value, name] : names)
        if (value == c)
            return QLatin1String(name);
    return QString::number(c, 16);
}

QString ColorName(const QColor &q) {
    for (TColor c : {clLime, clYellow, clFuchsia, clRed})
        if (ToQColor(c) == q)
            return ColorName(c);
    return q.name();
}

const QByteArray AllUnknown = "F?\r\n\r\nI?\r\n\r\nALM?\r\n\r\nCAL?\r\n\r\nALC_PWM?\r\n\r\n"
                              "InPower?\r\n\r\nBAR?\r\n\r\n\r\nTOT?\r\n\r\n\r\n";
// Replies that make every polled setting known.
const QByteArray AllSettings =
    "F: 1\r\nI: 4\r\nALM: 3\r\nCAL: 180\r\nALC_PWM: 10\r\nInPower: 1\r\nBAR: 2\r\nTOT: 4\r\n";
const QByteArray EightBare = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";

QString Flag(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

// "a|b|c" as a list; test data is written as UTF-8 literals.
QStringList Split(const char *text) {
    const QString s = QString::fromUtf8(text);
    return s.isEmpty() ? QStringList() : s.split(QLatin1Char('|'));
}

} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void reports_data();
    void reports();
    void conversionErrorKeepsTheRest();
    void reportsIgnoredBeforeIdentification();
    void identificationSendsBurst();
    void interpretedAfterReconnect();
    void monitorEmptiedAbove500();
    void overlongGarbageLoggedOnce();
    void bytesKeptIntact();
    void alarmsShownAndCleared();
    void pollNotConnected_data();
    void pollNotConnected();
    void pollAsksWhatIsUnknown_data();
    void pollAsksWhatIsUnknown();
    void pollResendsPttBlock_data();
    void pollResendsPttBlock();
    void pollPttBlockWaitsWhileTransmitting();
    void pollKnownSurvivesReconnect();

private:
    void feed(const QByteArray &bytes) { form->SerialPortReceive(form->SerialPort, bytes); }
    QStringList monitor() const;
    void clearMonitor() { w().Form2->Memo1->clear(); }
    TWindows &w() const { return windows->windows(); }
    void openToPeer();
    // Open, and take the identified state without the burst, so that only
    // the tick's bytes are on the line.
    void connectToPeer();
    std::map<QString, std::function<QString()>> probes() const;

    std::unique_ptr<TWindowSet> windows;
    std::unique_ptr<PtyPeer> peer;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestDispatcher::init() {
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    windows = std::make_unique<TWindowSet>();
    form = w().Form1;
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
    w().Fatu1->Timer1->setInterval(24 * 3600 * 1000);
    form->Session.PaIdentified = true;
    clearMonitor();
}

void TestDispatcher::cleanup() {
    windows.reset();
    peer.reset();
    form = nullptr;
    Runtime::SetMessageHandler(nullptr);
}

QStringList TestDispatcher::monitor() const {
    QStringList lines = w().Form2->Lines();
    if (lines.size() == 1 && lines.at(0).isEmpty())
        lines.clear();
    return lines;
}

void TestDispatcher::openToPeer() {
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    form->ComboBox1->addItem(peer->devicePath());
    form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
}

void TestDispatcher::connectToPeer() {
    openToPeer();
    form->openport->SetCaption(ConnectionCaption::Connected);
    clearMonitor();
}

// The observable state a report may change, by name.
std::map<QString, std::function<QString()>> TestDispatcher::probes() const {
    const TForm1 *f = form;
    const TFatu1 *atu = w().Fatu1;
    const TSession &s = form->Session;
    auto left = [](const QWidget *m) {
        return m->isHidden() ? QStringLiteral("hidden") : QString::number(m->x());
    };
    auto panel = [](const TPanel *p) {
        return p->isHidden() ? QStringLiteral("hidden")
                             : p->Caption() + QLatin1Char('/') + ColorName(p->Color());
    };
    return {
        {QStringLiteral("Temp2"), [=] { return f->Temp2->text(); }},
        {QStringLiteral("Temp1"),
         [=] { return ColorName(f->Temp1->palette().color(QPalette::Window)); }},
        {QStringLiteral("CurrentBand"), [&s] { return QString::number(s.CurrentBand); }},
        {QStringLiteral("bands"),
         [=] {
             QString out;
             for (const TShape *b : f->Band)
                 out += b->BrushColor() == clLime     ? QLatin1Char('L')
                        : b->BrushColor() == clSilver ? QLatin1Char('S')
                                                      : QLatin1Char('?');
             return out;
         }},
        {QStringLiteral("bandsEnabled"),
         [=] { return Flag(f->Band[0]->isEnabled()) + Flag(f->Band[6]->isEnabled()); }},
        {QStringLiteral("GroupBox1"), [=] { return f->GroupBox1->title(); }},
        {QStringLiteral("checked"),
         [=] {
             QStringList on;
             for (const QAction *a : f->findChildren<QAction *>())
                 if (a->isChecked())
                     on << a->objectName();
             on.sort();
             return on.join(QLatin1Char(','));
         }},
        {QStringLiteral("inPowerEnabled"),
         [=] { return Flag(f->N4W1->isEnabled()) + Flag(f->N60W1->isEnabled()); }},
        {QStringLiteral("FirmwareVersion"), [&s] { return s.FirmwareVersion; }},
        {QStringLiteral("P_out"), [=] { return f->P_out->text(); }},
        {QStringLiteral("P_max_label"), [=] { return f->P_max_label->text(); }},
        {QStringLiteral("P_max1"), [=] { return left(f->P_max1); }},
        {QStringLiteral("ALC1"), [=] { return left(f->ALC1); }},
        {QStringLiteral("CalValue"), [&s] { return QString::number(s.CalValue); }},
        {QStringLiteral("AlcValue"), [&s] { return QString::number(s.AlcValue); }},
        {QStringLiteral("known"), [&s] { return Flag(s.CalKnown) + Flag(s.AlcKnown); }},
        {QStringLiteral("output"), [=] { return QString::number(f->output->Position()); }},
        {QStringLiteral("swr"), [=] { return QString::number(f->swr->Position()); }},
        {QStringLiteral("tx_led"), [=] { return Flag(f->tx_led->Value()); }},
        {QStringLiteral("Panel1"),
         [=] {
             return f->Panel1->Caption() + QLatin1Char('/') + ColorName(f->Panel1->Color()) +
                    (f->Panel1->isHidden() ? QStringLiteral("/hidden") : QString());
         }},
        {QStringLiteral("pending"),
         [&s] {
             return Flag(s.BlockOnPending) + Flag(s.BlockOffPending) + Flag(s.AtuOnPending) +
                    Flag(s.AtuBypassPending);
         }},
        {QStringLiteral("ATUPanel1"), [=] { return Flag(f->ATUPanel1->isEnabled()); }},
        {QStringLiteral("atu.visible"), [=] { return Flag(atu->isVisible()); }},
        {QStringLiteral("atu.Panel1"), [=] { return panel(atu->Panel1); }},
        {QStringLiteral("atu.Panel2"), [=] { return panel(atu->Panel2); }},
        {QStringLiteral("FineTuning1"), [=] { return Flag(atu->FineTuning1->isEnabled()); }},
        {QStringLiteral("atu.Timer1"), [=] { return Flag(atu->Timer1->isActive()); }},
        {QStringLiteral("atu.Led"), [=] { return ColorName(atu->Led->TrueColor()); }},
        {QStringLiteral("atu.tune1"), [=] { return ColorName(atu->tune1->Color()); }},
        {QStringLiteral("atu.SWR"),
         [=] {
             QString out;
             for (const QAction *a : atu->SWR)
                 out += Flag(a->isChecked());
             return out;
         }},
        {QStringLiteral("atu.Label3"), [=] { return atu->Label3->text(); }},
        {QStringLiteral("atu.Label4"), [=] { return atu->Label4->text(); }},
        {QStringLiteral("atu.Label7"), [=] { return atu->Label7->text(); }},
        {QStringLiteral("atu.Label8"), [=] { return atu->Label8->text(); }},
        {QStringLiteral("L"), [&s] { return QString::number(s.TunerInductance); }},
        {QStringLiteral("C"), [&s] { return QString::number(s.TunerCapacitance); }},
        {QStringLiteral("K"),
         [=] { return Flag(!atu->Image0->isHidden()) + Flag(!atu->Image1->isHidden()); }},
    };
}

// One row per case: the lines fed first ("|"-separated; "@24k" checks the
// 2.4 kW type, "@pending" sets all four pending flags, "@atu" the ATU ones
// with its re-send timer running), the report, the monitor entries it
// adds, and "probe=value" pairs that must hold afterwards.
void TestDispatcher::reports_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("state");
    auto row = [](const char *before, const char *line, const char *entries, const char *state) {
        const QByteArray name = QByteArray(line) + (*before ? " after " : "") + before;
        QTest::newRow(name.constData())
            << QString::fromUtf8(before) << QByteArray(line) << Split(entries) << Split(state);
    };
    // 1, 2: PTT block confirmed.
    row("@pending", "BL:ON", "+ BL:ON|+ BL:ON", "Panel1=PTT Blocked!/alertpink|pending=0111");
    row("@pending", "BL:OFF", "+ BL:OFF|+ BL:OFF",
        "Panel1=Click to block PTT/lightgreen|pending=1011");
    // 3: temperature; numbers compare as numbers (100 is red, 5 is green).
    row("", "T: 39", "+ T: 39|+ T: 39", "Temp2=39|Temp1=clLime");
    row("", "T: 45", "+ T: 45|+ T: 45", "Temp1=clYellow");
    row("", "T: 60", "+ T: 60|+ T: 60", "Temp1=clFuchsia");
    row("", "T: 100", "+ T: 100|+ T: 100", "Temp2=100|Temp1=clRed");
    row("", "T: 5", "+ T: 5|+ T: 5", "Temp1=clLime");
    // 4: band; the low 8 bits of the number.
    row("", "B: 3", "+ B: 3|+ B: 3", "CurrentBand=3|bands=SSLSSSS");
    row("", "B: 9", "+ B: 9|+ B: 9", "CurrentBand=9|bands=SSSSSSS");
    row("", "B: 258", "+ B: 258|+ B: 258", "CurrentBand=2|bands=SLSSSSS");
    row("", "B: x", "+ B: x|****** Band conversion error|+ B: x", "CurrentBand=7|bands=SSSSSSL");
    // 5: firmware version and PA type.
    row("@24k", "Ver: 3.30", "+ Ver: 3.30|+ Ver: 3.30",
        "FirmwareVersion=3.30|FineTuning1=1|checked=N12kW1");
    row("", "Ver:3.3 ", "+ Ver:3.3 |+ Ver: 3.3", "FirmwareVersion=3.3|FineTuning1=1");
    row("", "Ver: 3.28", "+ Ver: 3.28|+ Ver: 3.28", "FineTuning1=0");
    row("", "Ver: 3.100", "+ Ver: 3.100|+ Ver: 3.100", "FineTuning1=0"); // text order
    row("", "Ver: 3.30x2", "+ Ver: 3.30x2|+ Ver: 3.30x2", "FineTuning1=1|checked=N24kW1");
    // 6: alarm sound.
    row("", "ALM: 1", "+ ALM: 1|+ ALM: 1", "checked=CWbybuzzer1,N12kW1");
    row("", "ALM: 2", "+ ALM: 2|+ ALM: 2", "checked=Buzzer1,N12kW1");
    row("", "ALM: 7", "+ ALM: 7|+ ALM: 7", "checked=N12kW1,Nosound1");
    // 7: interface.
    row("", "I: 3", "+ I: 3|+ I: 3", "checked=ICOM1,N12kW1|GroupBox1=Band (ICOM)|bandsEnabled=00");
    row("", "I: 5", "+ I: 5|+ I: 5",
        "checked=Manual1,N12kW1|GroupBox1=Band (Manual)|bandsEnabled=11");
    row("I: 5", "I: 6", "+ I: 6|+ I: 6",
        "checked=N12kW1,OTRSP1|GroupBox1=Band (OTRSP)|bandsEnabled=00");
    row("", "I: 9", "+ I: 9|+ I: 9", "checked=N12kW1");
    // 8, 9, 10: fan, bar speed, TOT (only the first character counts).
    row("", "F: 2", "+ F: 2|+ F: 2", "checked=Max1,N12kW1");
    row("", "F: 5", "+ F: 5|+ F: 5", "checked=N12kW1");
    row("", "BAR: 4", "+ BAR: 4|+ BAR: 4", "checked=N12kW1,Veryfast1");
    row("", "TOT: 3", "+ TOT: 3|+ TOT: 3", "checked=N12kW1,N15min1");
    row("", "TOT: 12", "+ TOT: 12|+ TOT: 1", "checked=N12kW1,Off1");
    // 11: peak power; text as received, marker limited to the scale.
    row("", "P_max: 1300", "+ P_max: 1300|+ P_max: 1200", "P_max_label=1300 W|P_max1=408");
    row("@24k", "P_max: 3000", "+ P_max: 3000|+ P_max: 2400", "P_max_label=3000 W|P_max1=408");
    row("@24k", "P_max: 600", "+ P_max: 600|+ P_max: 600", "P_max1=108");
    row("", "P_max: 300", "+ P_max: 300|+ P_max: 300", "P_max1=108");
    row("", "P_max: 300 ", "+ P_max: 300 |****** Conversion error P_max",
        "P_max_label=300  W|P_max1=hidden");
    // 12, 13: calibration and ALC: marker at ALC * 333 / CAL + 8.
    row("", "CAL: 255", "+ CAL: 255|+ CAL: 255", "ALC1=hidden|CalValue=255|known=10");
    row("ALC_PWM: 100", "CAL: 200", "+ CAL: 200|+ CAL: 200", "ALC1=174|CalValue=200|known=11");
    row("CAL: 180", "ALC_PWM: 90", "+ ALC_PWM: 90|+ ALC_PWM: 90", "ALC1=174|AlcValue=90");
    row("CAL: 180|ALC_PWM: 90|CAL: 255", "CAL: 100", "+ CAL: 100|+ CAL: 100", "ALC1=307");
    row("CAL: 180|ALC_PWM: 90", "ALC_PWM: 0", "+ ALC_PWM: 0|+ ALC_PWM: 0", "ALC1=8");
    row("ALC_PWM: 100", "CAL: 0", "+ CAL: 0|+ CAL: 0", "CalValue=0");
    row("", "CAL: 511", "+ CAL: 511|+ CAL: 511", "CalValue=255");
    row("", "CAL: x", "+ CAL: x|+ CAL: x|****** Conversion error CAL",
        "CalValue=255|known=10|ALC1=hidden");
    row("", "ALC_PWM: ?", "+ ALC_PWM: ?|+ ALC_PWM: ?|****** Conversion error ALC_PWM",
        "AlcValue=0|known=01");
    // 14, 15: power; output scaled to the 1.2 kW bar, reverse unscaled.
    row("", "O: 850", "+ O: 850|+ O: 850", "P_out=850 W|output=850");
    row("", "O: 1500", "+ O: 1500|+ O: 1500", "P_out=1500 W|output=1200");
    row("@24k", "O: 1500", "+ O: 1500|+ O: 1500", "output=750");
    row("@24k", "O: 851", "+ O: 851|+ O: 851", "output=425");
    row("", "O: 8k", "+ O: 8k|+ O: 8k|****** Conversion error Power Out", "P_out=8k W|output=0");
    row("@24k", "R: 100", "+ R: 100|+ R: 100", "swr=100");
    row("", "R: ", "+ R: |+ R: |****** Conversion error Power Rev", "swr=0");
    // 16, 20: logged twice; unknown lines and other letter case only once.
    row("", "IN_ALARM_PWM: 7", "+ IN_ALARM_PWM: 7|+ IN_ALARM_PWM: 7", "");
    row("", "B5 17M", "+ B5 17M|+ B5 17M", "CurrentBand=7");
    row("", "B_x", "+ B_x|+ B_x", "");
    row("", "LB: 1", "+ LB: 1", "");
    row("", "o: 850", "+ o: 850", "output=0");
    // 17, 18: transmit state.
    row("", "TX: ON", "+ TX: ON|+ TX: ON", "tx_led=1|Panel1=Click to block PTT/lightgreen/hidden");
    row("TX: ON|O: 700|R: 30|P_max: 900", "TX: OFF", "+ TX: OFF|+ TX: OFF",
        "tx_led=0|output=0|swr=0|P_max1=hidden|P_max_label=|P_out=|Panel1=Click to block "
        "PTT/lightgreen");
    // 19: input power; the items stay disabled.
    row("", "InPower: 2", "+ InPower: 2|+ InPower: 2", "checked=N12kW1,N60W1|inPowerEnabled=00");
    row("", "InPower: 1", "+ InPower: 1|+ InPower: 1", "checked=N12kW1,N4W1|inPowerEnabled=00");
    // 23: tuner status.
    row("", "ATU_INF: 3", "+ ATU_INF: 3", "atu.Panel2=Tuning is in progress.../clYellow");
    row("", "ATU_INF: 2", "+ ATU_INF: 2", "atu.Panel2=SWR is too high (>1:4)!/clFuchsia");
    row("", "ATU_INF: 4", "+ ATU_INF: 4", "atu.Panel2=Tuning is finished!!/lightgreen");
    row("", "ATU_INF: 5", "+ ATU_INF: 5", "atu.Panel2=Tuning is failed !/clFuchsia");
    row("", "ATU_INF: 6", "+ ATU_INF: 6",
        "atu.Panel2=SWR is OK - tuning is not required!/lightgreen");
    row("", "ATU_INF: 7", "+ ATU_INF: 7", "atu.Panel2=ATU is for HF Bands only!/clFuchsia");
    row("ATU_INF: 5", "ATU_INF: 0", "+ ATU_INF: 0", "atu.Panel2=hidden");
    row("ATU_INF: 1", "ATU_INF: 9", "+ ATU_INF: 9", "atu.Panel2=Wrong power!/clFuchsia");
    row("", "ATU_INF:", "+ ATU_INF:|****** Conversion error ATU_INF", "atu.Panel2=hidden");
    // 24: ATU fitted.
    row("", "ATU_INST: 1", "+ ATU_INST: 1|+ ATU_INSTALLED: 1", "ATUPanel1=1|atu.visible=1");
    row("ATU_INST: 1", "ATU_INST: x", "+ ATU_INST: x|+ ATU_INSTALLED: 0",
        "ATUPanel1=0|atu.visible=1");
    row("", "ATU_INST: ", "+ ATU_INST: |+ ATU_INSTALLED: 0", "ATUPanel1=0|atu.visible=0");
    // 25: ATU state; anything but 1 is bypass.
    row("Ver: 3.30|@atu", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
        "atu.Panel1=ATU On/lightgreen|pending=1001|atu.Timer1=0|FineTuning1=1");
    row("Ver: 3.30|@atu", "ATU_STATE: 2", "+ ATU_STATE: 2|+ ATU_STATE: 0",
        "atu.Panel1=BYPASS/alertpink|pending=1010|atu.Timer1=0|FineTuning1=0");
    row("Ver: 3.28|ATU_STATE: 0", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
        "atu.Panel1=ATU On/lightgreen|FineTuning1=0");
    // 26, 27: tune, lamp; yellow switches the ATU on for a manual band but 7.
    row("", "TUNE OFF", "+ TUNE OFF|+ TUNE OFF", "atu.tune1=clBtnFace");
    row("", "RED", "+ RED|+ RED", "atu.Led=clRed");
    row("", "GREEN", "+ GREEN|+ GREEN", "atu.Led=clLime");
    row("RED", "GREY", "+ GREY|+ GREY", "atu.Led=clSilver");
    row("Ver: 3.30|ATU_STATE: 0|I: 5|B: 3|RED", "YELLOW", "+ YELLOW|+ YELLOW",
        "atu.Led=clYellow|atu.Panel1=ATU On/lightgreen|FineTuning1=1");
    row("ATU_STATE: 0|I: 5|B: 7", "YELLOW", "+ YELLOW|+ YELLOW", "atu.Panel1=BYPASS/alertpink");
    row("ATU_STATE: 0|I: 3|B: 3", "YELLOW", "+ YELLOW|+ YELLOW", "atu.Panel1=BYPASS/alertpink");
    // 28: SWR min.
    row("SWRmin: 11", "SWRmin: 14", "+ SWRmin: 14|+ SWRmin: 14", "atu.SWR=0001000");
    row("SWRmin: 12", "SWRmin: 18", "+ SWRmin: 18|+ SWRmin: 18", "atu.SWR=0100000");
    row("", "SWRmin: 1x", "+ SWRmin: 1x|+ SWRmin: 1x|****** Conversion error SWRmin",
        "atu.SWR=0000000");
    // 29: forward reading, five characters.
    row("", "ATU_FWD: 12345678", "+ ATU_FWD: 12345678", "atu.Label7=12345");
    // 30, 31: relays, padded to eight digits and summed.
    row("", "END_L: 101", "+ END_L: 101|+ Port L: 00000101", "L=0.2|atu.Label4=0.2 µH");
    row("", "Port L: 11111111", "+ Port L: 11111111|+ Port L: 11111111", "L=10.2");
    row("", "END_C: 111111111", "+ END_C: 111111111|+ Port C: 11111111",
        "C=1275|atu.Label8=1275 pF");
    row("", "Port C: 00000001", "+ Port C: 00000001|+ Port C: 00000001", "C=5|atu.Label8=5 pF");
    row("END_C: 1", "END_C: 1x1", "+ END_C: 1x1|+ Port C: 000001x1|****** Conversion error Port C",
        "C=0|atu.Label8=");
    // 32, 33: SWR texts.
    row("", "END_SWR:  15", "+ END_SWR:  15|+ SWR: 1.5", "atu.Label3=1.5");
    row("", "END_SWR: 255", "+ END_SWR: 255|+ SWR: ???", "atu.Label3=???");
    row("", "SWR: 9", "+ SWR: 9|+ SWR: 9.0", "atu.Label3=9.0");
    row("", "SWR: 123", "+ SWR: 123|+ SWR: 1.0", "atu.Label3=1.0");
    // 34, 35: switch K.
    row("K: 1", "K: 0", "+ K: 0|+ K: 0", "K=10");
    row("K: 0", "K: 1", "+ K: 1|+ K: 1", "K=01");
    row("K: 1", "END_K: 0", "+ END_K: 0|+ K: 0", "K=10");
    // A value replaces the line: later tests compare against the value.
    row("", "B: B1", "+ B: B1|****** Band conversion error|+ B: B1|+ B1", "CurrentBand=7");
    row("", "T: TX: ON", "+ T: TX: ON|+ T: TX: ON|+ TX: ON", "Temp2=TX: ON|tx_led=1");
}

void TestDispatcher::reports() {
    QFETCH(QString, before);
    QFETCH(QByteArray, line);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, state);
    TSession &s = form->Session;
    const int pmaxTop = form->P_max1->y(), alcTop = form->ALC1->y();
    for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (b == QStringLiteral("@24k")) {
            form->N24kW1->setChecked(true);
        } else if (b == QStringLiteral("@pending")) {
            s.BlockOnPending = s.BlockOffPending = s.AtuOnPending = s.AtuBypassPending = true;
        } else if (b == QStringLiteral("@atu")) {
            s.BlockOnPending = s.AtuOnPending = s.AtuBypassPending = true;
            w().Fatu1->Timer1->start();
        } else {
            feed(b.toLatin1() + "\r\n");
        }
    }
    clearMonitor();
    feed(line + "\r\n");
    QCOMPARE(monitor(), entries);
    const auto all = probes();
    for (const QString &pair : state) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        QVERIFY2(all.count(name), qPrintable(name));
        QCOMPARE(name + QLatin1Char('=') + all.at(name)(), pair);
    }
    // The markers move along their bars only.
    QCOMPARE(form->P_max1->y(), pmaxTop);
    QCOMPARE(form->ALC1->y(), alcTop);
    QVERIFY(boxes.isEmpty());
}

void TestDispatcher::conversionErrorKeepsTheRest() {
    feed("I: x\r\nF: \r\nTOT: 2\r\nO: 500\r\n");
    QCOMPARE(monitor(), Split("+ I: x|+ I: x|****** Conversion error I|+ F: |+ F: |"
                              "****** Conversion error F|+ TOT: 2|+ TOT: 2|+ O: 500|+ O: 500"));
    QCOMPARE(form->output->Position(), 500);
    QVERIFY(form->N5min1->isChecked());
}

void TestDispatcher::reportsIgnoredBeforeIdentification() {
    form->Session.PaIdentified = false;
    feed("O: 500\r\nALARM: SWR\r\nPA_QZ9Q\r\nB: 3\r\n");
    QCOMPARE(monitor(), Split("+ O: 500|+ ALARM: SWR|+ PA_QZ9Q|+ B: 3"));
    QCOMPARE(form->output->Position(), 0);
    QCOMPARE(form->Session.CurrentBand, std::uint8_t(7));
    QVERIFY(!w().FALARM_SWR->isVisible());
    QVERIFY(!form->Session.PaIdentified);
}

void TestDispatcher::identificationSendsBurst() {
    form->Session.PaIdentified = false;
    openToPeer();
    clearMonitor();
    form->Session.ConnectTicks = 3;
    feed("PA_QZ9QZ-extra\r\nO: 100\r\n");
    QVERIFY(form->Session.PaIdentified);
    QCOMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!form->Timer1->isActive());
    QCOMPARE(form->Session.ConnectTicks, std::uint8_t(0));
    QByteArray wire;
    QStringList expected = Split("+ PA_QZ9QZ-extra|+ PA_QZ9QZ");
    for (const char *q : {"B?", "InPower?", "T?", "ALM?", "ALC_PWM?", "F?", "I?", "LB?", "CAL?",
                          "BAR?", "TOT?", "Ver?", "ATU_INST?"}) {
        wire += QByteArray(q) + "\r\n";
        // Each echo carries its CR LF: the monitor shows an empty line after it.
        expected << QStringLiteral("- ") + QLatin1String(q) << QString();
    }
    QCOMPARE(peer->read(), wire);
    QCOMPARE(monitor(), expected << QStringLiteral("+ O: 100") << QStringLiteral("+ O: 100"));
    QCOMPARE(form->output->Position(), 100);
}

void TestDispatcher::interpretedAfterReconnect() {
    form->Session.PaIdentified = false;
    openToPeer();
    feed("PA_QZ9QZ\r\n");
    peer->read();
    form->closeportclick();
    boxes.clear(); // "Disconnected from COM Port"
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Connecting..."));
    // Still identified from before: reports act at once.
    clearMonitor();
    feed("O: 321\r\n");
    QCOMPARE(form->output->Position(), 321);
    QCOMPARE(monitor(), Split("+ O: 321|+ O: 321"));
    // A second identification repeats caption and burst.
    feed("PA_QZ9QZ\r\n");
    QCOMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(peer->read().startsWith("B?\r\nInPower?\r\n"));
}

void TestDispatcher::monitorEmptiedAbove500() {
    for (int i = 0; i < 500; ++i)
        form->Log(QStringLiteral("x"));
    feed("LB\r\n");
    QCOMPARE(monitor().size(), 501); // 500 is not above the limit
    feed("LB\r\n");
    QCOMPARE(monitor(), Split("+ LB"));
}

void TestDispatcher::overlongGarbageLoggedOnce() {
    for (int i = 0; i < 3; ++i)
        feed(QByteArray(3000, 'g'));
    QCOMPARE(monitor(), Split("****** Line without end discarded (6000 bytes)"));
    feed("ggg\r\nO: 7\r\n");
    QCOMPARE(monitor().size(), 3);
    QCOMPARE(form->output->Position(), 7);
}

void TestDispatcher::bytesKeptIntact() {
    const QByteArray value("4\x00\xB0", 3);
    feed("T: " + value + "\r\n");
    const QString text = QString::fromLatin1(value.constData(), value.size());
    QCOMPARE(form->Temp2->text(), text);
    QCOMPARE(monitor(),
             (QStringList{QStringLiteral("+ T: ") + text, QStringLiteral("+ T: ") + text}));
}

void TestDispatcher::alarmsShownAndCleared() {
    TAlarmForm *const all[] = {w().FALARM_HP,   w().FAlarm_ip,  w().Falarm_bpf,   w().FALARM_SWR,
                               w().Falarm_temp, w().FALARM_TOT, w().FALARM_HPCONT};
    const char *const lines[] = {"ALARM: HPOUT", "ALARM: HPIN", "ALARM: BPF",   "ALARM: SWR",
                                 "ALARM: TEMP",  "ALARM: TOT",  "ALARM: HPCONT"};
    for (int i = 0; i < 7; ++i) {
        clearMonitor();
        feed(QByteArray(lines[i]) + " 77\r\n");
        const QString alarm = QStringLiteral("+ ") + QLatin1String(lines[i]);
        QCOMPARE(monitor(), (QStringList{alarm + QStringLiteral(" 77"), alarm}));
        for (int j = 0; j < 7; ++j)
            QCOMPARE(all[j]->isVisible(), j <= i);
    }
    feed("alarm: OFF\r\nALARM: OTHER\r\n");
    for (TAlarmForm *a : all)
        QVERIFY(a->isVisible());
    for (int twice = 0; twice < 2; ++twice) {
        clearMonitor();
        feed("ALARM: OFF\r\n");
        QCOMPARE(monitor(), Split("+ ALARM: OFF|+ ALARM: OFF"));
        for (TAlarmForm *a : all)
            QVERIFY(!a->isVisible());
    }
}

// ---- The poll tick ----------------------------------------------------------

void TestDispatcher::pollNotConnected_data() {
    QTest::addColumn<QString>("caption");
    for (const char *c : {"Connecting...", "Open port", "Open Port", "pa connected"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

void TestDispatcher::pollNotConnected() {
    QFETCH(QString, caption);
    connectToPeer();
    form->openport->SetCaption(caption);
    form->Session.BlockOnPending = true;
    form->Timer2Timer();
    QCOMPARE(peer->read(150), QByteArray());
    QVERIFY(monitor().isEmpty());
}

void TestDispatcher::pollAsksWhatIsUnknown_data() {
    QTest::addColumn<QStringList>("known"); // checked items, or the session's flags
    QTest::addColumn<QByteArray>("wire");
    auto without = [](const char *gone) { return QByteArray(AllUnknown).replace(gone, ""); };
    QTest::newRow("nothing known: 8 queries, 10 bare lines") << QStringList() << AllUnknown;
    QTest::newRow("fan") << Split("Max1") << without("F?\r\n");
    QTest::newRow("interface") << Split("Manual1") << without("I?\r\n");
    QTest::newRow("alarm") << Split("Buzzer1") << without("ALM?\r\n");
    QTest::newRow("input") << Split("N4W1") << without("InPower?\r\n");
    QTest::newRow("bar") << Split("Veryfast1") << without("BAR?\r\n");
    QTest::newRow("TOT") << Split("Off1") << without("TOT?\r\n");
    // Calibration and ALC take their bare line with them.
    QTest::newRow("CAL") << Split("CalKnown") << without("CAL?\r\n\r\n");
    QTest::newRow("ALC") << Split("AlcKnown") << without("ALC_PWM?\r\n\r\n");
    QTest::newRow("everything: exactly eight bare lines")
        << Split("Max1|ICOM1|Nosound1|N60W1|Slow1|N30min1|CalKnown|AlcKnown") << EightBare;
}

void TestDispatcher::pollAsksWhatIsUnknown() {
    QFETCH(QStringList, known);
    QFETCH(QByteArray, wire);
    connectToPeer();
    for (const QString &k : known) {
        if (k == QStringLiteral("CalKnown"))
            form->Session.CalKnown = true;
        else if (k == QStringLiteral("AlcKnown"))
            form->Session.AlcKnown = true;
        else
            form->findChild<QAction *>(k)->setChecked(true);
    }
    form->Timer2Timer();
    QCOMPARE(peer->read(), wire);
    // Each query's echo carries its CR LF, so an empty entry follows it;
    // bare lines are not echoed.
    QStringList echoes;
    for (const QByteArray &l : wire.split('\n'))
        if (l.size() > 1)
            echoes << QStringLiteral("- ") + QString::fromLatin1(l.chopped(1)) << QString();
    QCOMPARE(monitor(), echoes);
}

void TestDispatcher::pollResendsPttBlock_data() {
    QTest::addColumn<bool>("on");
    QTest::addColumn<bool>("off");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QStringList>("echoes");
    QTest::newRow("none") << false << false << QByteArray() << QStringList();
    QTest::newRow("on") << true << false << QByteArray("BL:ON\r\n") << Split("- BL:ON");
    QTest::newRow("off") << false << true << QByteArray("BL:OFF\r\n") << Split("- BL:OFF");
    QTest::newRow("both, off first")
        << true << true << QByteArray("BL:OFF\r\nBL:ON\r\n") << Split("- BL:OFF|- BL:ON");
}

void TestDispatcher::pollResendsPttBlock() {
    QFETCH(bool, on);
    QFETCH(bool, off);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, echoes);
    connectToPeer();
    feed(AllSettings);
    form->Session.BlockOnPending = on;
    form->Session.BlockOffPending = off;
    for (int tick = 0; tick < 2; ++tick) {
        clearMonitor();
        form->Timer2Timer();
        QCOMPARE(peer->read(), EightBare + tail);
        QCOMPARE(monitor(), echoes);
    }
    // The flags are the dispatcher's to clear.
    QCOMPARE(form->Session.BlockOnPending, on);
    QCOMPARE(form->Session.BlockOffPending, off);
}

void TestDispatcher::pollPttBlockWaitsWhileTransmitting() {
    connectToPeer();
    form->Session.BlockOnPending = true;
    feed("TX: ON\r\n");
    form->Timer2Timer();
    // Queries and bare lines still go out; the block command waits.
    QCOMPARE(peer->read(), AllUnknown);
    feed("TX: OFF\r\n");
    form->Timer2Timer();
    QCOMPARE(peer->read(), AllUnknown + "BL:ON\r\n");
    // The confirmation ends the re-sending.
    feed("BL:ON\r\n");
    form->Timer2Timer();
    QCOMPARE(peer->read(), AllUnknown);
}

void TestDispatcher::pollKnownSurvivesReconnect() {
    connectToPeer();
    feed(AllSettings);
    form->closeportclick();
    // Close Port stops the poll; a tick while closed sends nothing.
    QVERIFY(!form->Timer2->isActive());
    form->Timer2Timer();
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    form->openport->SetCaption(ConnectionCaption::Connected);
    QVERIFY(form->Timer2->isActive());
    form->Timer2Timer();
    QCOMPARE(peer->read(), EightBare);
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
