// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier link without windows: the report table on the state record,
// identification and the start-up burst, the monitor entries, and the poll's
// and the handshake's exact bytes over a pseudo-terminal. No widget library
// is linked.
#include "link/AmpLink.h"
#include "link/StatusView.h"
#include "serial/SerialPort.h"
#include "tests/common/DrivenTime.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/ReportTable.h"
#include "tests/common/Ser2net.h"
#include "tests/common/Status.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace {

const QByteArray AllUnknown = "F?\r\n\r\nI?\r\n\r\nALM?\r\n\r\nCAL?\r\n\r\nALC_PWM?\r\n\r\n"
                              "InPower?\r\n\r\nBAR?\r\n\r\n\r\nTOT?\r\n\r\n\r\n";
// Replies that make every polled setting known.
const QByteArray AllSettings =
    "F: 1\r\nI: 4\r\nALM: 3\r\nCAL: 180\r\nALC_PWM: 10\r\nInPower: 1\r\nBAR: 2\r\nTOT: 4\r\n";
const QByteArray EightBare = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
const char *const BurstQueries[] = {"B?",  "InPower?", "T?",   "ALM?", "ALC_PWM?", "F?",       "I?",
                                    "LB?", "CAL?",     "BAR?", "TOT?", "Ver?",     "ATU_INST?"};

// The events a test follows as effects: what a window would show.
QString EffectName(const LinkEvent &e) {
    switch (e.kind) {
    case LinkEvent::Kind::AlarmStart:
        return QStringLiteral("alarm%1").arg(int(e.alarm));
    case LinkEvent::Kind::AlarmEnd:
        return QStringLiteral("end%1").arg(int(e.alarm));
    case LinkEvent::Kind::TunerFitted:
        return QStringLiteral("atu");
    case LinkEvent::Kind::TuneFinished:
        return QStringLiteral("tuned");
    case LinkEvent::Kind::Message:
        return e.portGone ? QStringLiteral("lost:") + e.text
                          : QStringLiteral("box:") + e.title + QLatin1Char(':') + e.text;
    default:
        return QString();
    }
}

// The state a report may change, by name: the readings as numbers ("none"
// when there is none), the settings, the commands waiting for confirmation.
std::map<QString, std::function<QString(const AmpStatus &)>>
Probes(const PendingCommands &pending) {
    auto number = [](const auto &v) {
        return v.has_value() ? QString::number(*v) : QStringLiteral("none");
    };
    auto name = [](auto value, std::initializer_list<const char *> names) {
        return QString::fromLatin1(names.begin()[int(value)]);
    };
    using S = const AmpStatus &;
    return {
        {QStringLiteral("tempC"), [=](S s) { return number(s.readings.temperatureC); }},
        {QStringLiteral("band"), [=](S s) { return number(s.readings.band); }},
        {QStringLiteral("interface"), [](S s) { return QString::number(s.Interface); }},
        {QStringLiteral("settings"),
         [](S s) {
             return QStringLiteral("F%1 ALM%2 BAR%3 TOT%4 IN%5")
                 .arg(s.Fan)
                 .arg(s.AlarmSound)
                 .arg(s.BarSpeed)
                 .arg(s.Tot)
                 .arg(s.InPower);
         }},
        {QStringLiteral("pa"),
         [](S s) { return QString::fromLatin1(s.readings.Pa12kW() ? "12" : "24"); }},
        {QStringLiteral("firmware"), [](S s) { return s.readings.firmware.value_or(QString()); }},
        {QStringLiteral("output"), [=](S s) { return number(s.readings.outputW); }},
        {QStringLiteral("reverse"), [=](S s) { return number(s.readings.reflectedW); }},
        {QStringLiteral("peak"), [=](S s) { return number(s.readings.peakW); }},
        {QStringLiteral("swr"), [=](S s) { return number(s.readings.powerSwr); }},
        {QStringLiteral("cal"), [=](S s) { return number(s.readings.calibration); }},
        {QStringLiteral("alcValue"), [=](S s) { return number(s.readings.alc); }},
        {QStringLiteral("known"),
         [](S s) { return Flag(s.readings.calibrationAnswered) + Flag(s.readings.alcAnswered); }},
        {QStringLiteral("tx"), [](S s) { return Flag(s.readings.transmitting.value_or(false)); }},
        {QStringLiteral("ptt"), [](S s) { return Flag(s.readings.pttBlocked.value_or(false)); }},
        {QStringLiteral("pending"),
         [&pending](S) {
             return Flag(pending.blockOn) + Flag(pending.blockOff) + Flag(pending.atuOn) +
                    Flag(pending.atuBypass);
         }},
        {QStringLiteral("alarms"),
         [](S s) {
             QString out;
             for (int a = 0; a < AlarmKinds; ++a)
                 out += Flag(s.readings.Alarm(AlarmKind(a)));
             return out;
         }},
        {QStringLiteral("fitted"),
         [](S s) { return Flag(s.readings.tuner.fitted.value_or(false)); }},
        {QStringLiteral("atu"),
         [=](S s) {
             return name(s.readings.tuner.position, {"Initial", "InLine", "Bypassed"});
         }},
        {QStringLiteral("status"), [=](S s) { return number(s.readings.tuner.status); }},
        {QStringLiteral("fine"), [](S s) { return Flag(s.FineTuningEnabled); }},
        {QStringLiteral("lamp"),
         [=](S s) {
             return name(s.readings.tuner.lamp, {"Red", "Green", "Grey", "Yellow"});
         }},
        {QStringLiteral("swrmin"), [](S s) { return QString::number(s.SwrMin); }},
        {QStringLiteral("tunerSwr"), [=](S s) { return number(s.readings.tuner.swr); }},
        {QStringLiteral("fwd"), [=](S s) { return number(s.readings.tuner.forwardW); }},
        {QStringLiteral("L"), [=](S s) { return number(s.readings.tuner.inductanceUH); }},
        {QStringLiteral("C"), [=](S s) { return number(s.readings.tuner.capacitancePF); }},
        {QStringLiteral("k"),
         [](S s) {
             const std::optional<bool> atInput = s.readings.tuner.capacitorAtInput.value;
             return QString::fromLatin1(!atInput ? "none" : *atInput ? "in" : "out");
         }},
    };
}

using ReportRowAdder = std::function<void(const char *before, const char *line, const char *entries,
                                          const char *state)>;
void AddReportRows(const ReportRowAdder &row);

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void reports_data();
    void reports();
    void everyReportHasACase();
    void conversionErrorKeepsTheRest();
    void reportsIgnoredBeforeIdentification();
    void identificationSendsBurst();
    void interpretedAfterReconnect();
    void overlongGarbageLoggedOnce();
    void unfinishedLines_data();
    void unfinishedLines();
    void bytesKeptIntact();
    void handshakeGivesUp();
    void portLost();
    void openRefused();
    void reconnection_data();
    void reconnection();
    void takenPort_data();
    void takenPort();
    void pollNotConnected_data();
    void pollNotConnected();
    void pollAsksWhatIsUnknown_data();
    void pollAsksWhatIsUnknown();
    void pollPttBlockWaitsWhileTransmitting();
    void pollKnownSurvivesReconnect();
    void liveness_data();
    void liveness();
    void operatorCommands_data();
    void operatorCommands();
    void gate_data();
    void gate();
    void events_data();
    void events();
    void forgetting_data();
    void forgetting();

private:
    void feed(const QByteArray &bytes) { link->ReceiveChunk(bytes); }
    // "MS LINE|MS silent|MS tick|..." at the link's clock: a report, a
    // silence long enough to be noticed, the reports timer's tick.
    void play(const QString &steps, qint64 &now);
    void open();
    // Open and identified, the start-up burst drained, the log empty.
    void connectPeer();

    std::unique_ptr<AmpLink> link;
    std::unique_ptr<PtyPeer> peer;
    qint64 now = 0; // the link's clock, ms
    QStringList log;
    QStringList effects;
};

void TestLink::init() {
    link = std::make_unique<AmpLink>();
    // Ticks are driven by the tests; the real timers tick each second.
    for (QTimer *t : {link->HandshakeTimer(), link->PollTimer(), link->AtuTimer(),
                      link->ReconnectTimer(), link->LivenessTimer()})
        QCOMPARE(t->interval(), 1000);
    DriveLinkTime(*link);
    // The clock stands still unless a test moves it.
    now = 0;
    link->SetClock([this] { return now; });
    connect(link.get(), &AmpLink::EntryLogged, this, [this](const QString &e) { log << e; });
    connect(link.get(), &AmpLink::Event, this, [this](const LinkEvent &e) {
        if (const QString name = EffectName(e); !name.isEmpty())
            effects << name;
    });
    log.clear();
    effects.clear();
}

void TestLink::cleanup() {
    link.reset();
    peer.reset();
}

void TestLink::open() {
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    QCOMPARE(link->Open(peer->devicePath()), QString());
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(link->State().Phase, LinkPhase::Connecting);
}

void TestLink::connectPeer() {
    open();
    feed("PA_QZ9QZ\r\n");
    peer->read();
    QVERIFY(link->State().IsConnected());
    log.clear();
}

// The report table's rows against the state record (see AddReportRows).
void TestLink::reports_data() {
    AddReportColumns();
    AddReportRows(ReportRow);
}

// Each row of the dispatcher's table has a case above.
void TestLink::everyReportHasACase() {
    QSet<QString> tested;
    AddReportRows([&tested](const char *, const char *line, const char *, const char *) {
        tested << ReportPrefix(QString::fromLatin1(line));
    });
    QStringList untested;
    for (QLatin1String prefix : ReportPrefixes())
        if (!tested.contains(prefix))
            untested << prefix;
    QCOMPARE(untested, QStringList());
}

namespace {
// One row per case: the lines applied first ("|"-separated; "@24k" takes
// the 2.4 kW type, "@pending" sets all four pending flags), the report, the
// monitor entries (its own "+ " entry first), and "probe=value" pairs that
// must hold afterwards ("value" is the value as its row took it, for the
// views; "effects" lists what the report asks views to show).
void AddReportRows(const ReportRowAdder &row) {
    // PTT block confirmed.
    row("@pending", "BL:ON", "+ BL:ON|+ BL:ON", "ptt=1|pending=0111");
    row("@pending|BL:ON", "BL:OFF", "+ BL:OFF|+ BL:OFF", "ptt=0|pending=0011");
    // Temperature, shown as received; in °C, fractions too.
    row("", "T: 39", "+ T: 39|+ T: 39", "value=39|tempC=39");
    row("", "T: 100.5", "+ T: 100.5|+ T: 100.5", "value=100.5|tempC=100.5");
    row("", "T: -3", "+ T: -3|+ T: -3", "tempC=-3");
    row("T: 45", "T: 8x", "+ T: 8x|+ T: 8x", "value=8x|tempC=none");
    // Band; the low 8 bits of the number.
    row("", "B: 1", "+ B: 1|+ B: 1", "band=1");
    row("", "B: 3", "+ B: 3|+ B: 3", "band=3");
    row("", "B: 9", "+ B: 9|+ B: 9", "band=9");
    row("", "B: 258", "+ B: 258|+ B: 258", "band=2");
    row("", "B: x", "+ B: x|****** Band conversion error|+ B: x", "band=none");
    // Firmware version and PA type; fine tuning after "3.28" in text order.
    row("@24k", "Ver: 3.30", "+ Ver: 3.30|+ Ver: 3.30", "firmware=3.30|fine=1|pa=12");
    row("", "Ver:3.3 ", "+ Ver:3.3 |+ Ver: 3.3", "firmware=3.3|fine=1");
    row("", "Ver: 3.28", "+ Ver: 3.28|+ Ver: 3.28", "fine=0");
    row("", "Ver: 3.281", "+ Ver: 3.281|+ Ver: 3.281", "fine=1");
    row("", "Ver: 3.100", "+ Ver: 3.100|+ Ver: 3.100", "fine=0");
    row("", "Ver: 10.0", "+ Ver: 10.0|+ Ver: 10.0", "fine=0");
    row("", "Ver: 3.30x2", "+ Ver: 3.30x2|+ Ver: 3.30x2", "fine=1|pa=24");
    row("", "Ver: 3.x2.30", "+ Ver: 3.x2.30|+ Ver: 3.x2.30", "pa=24");
    row("", "Ver: 3.30X2", "+ Ver: 3.30X2|+ Ver: 3.30X2", "pa=12");
    row("", "Ver:", "+ Ver:|+ Ver: ", "firmware=|fine=0|pa=12");
    // Alarm sound; anything but 1 and 2 is "no sound".
    row("", "ALM: 1", "+ ALM: 1|+ ALM: 1", "settings=F0 ALM1 BAR0 TOT0 IN0");
    row("", "ALM: 2", "+ ALM: 2|+ ALM: 2", "settings=F0 ALM2 BAR0 TOT0 IN0");
    row("", "ALM: 0", "+ ALM: 0|+ ALM: 0", "settings=F0 ALM3 BAR0 TOT0 IN0");
    row("", "ALM: 7", "+ ALM: 7|+ ALM: 7", "settings=F0 ALM3 BAR0 TOT0 IN0");
    // Interface 1..7; other numbers change nothing.
    row("", "I: 1", "+ I: 1|+ I: 1", "interface=1");
    row("", "I: 3", "+ I: 3|+ I: 3", "interface=3");
    row("I: 5", "I: 7", "+ I: 7|+ I: 7", "interface=7");
    row("I: 5", "I: 0", "+ I: 0|+ I: 0", "interface=5");
    row("", "I: 8", "+ I: 8|+ I: 8", "interface=0");
    row("", "I: x", "+ I: x|+ I: x|****** Conversion error I", "interface=0");
    // Fan, bar speed, TOT 1..4 (only the first character counts).
    row("", "F: 1", "+ F: 1|+ F: 1", "settings=F1 ALM0 BAR0 TOT0 IN0");
    row("", "F: 4", "+ F: 4|+ F: 4", "settings=F4 ALM0 BAR0 TOT0 IN0");
    row("F: 2", "F: 0", "+ F: 0|+ F: 0", "settings=F2 ALM0 BAR0 TOT0 IN0");
    row("F: 2", "F: 5", "+ F: 5|+ F: 5", "settings=F2 ALM0 BAR0 TOT0 IN0");
    row("", "BAR: 1", "+ BAR: 1|+ BAR: 1", "settings=F0 ALM0 BAR1 TOT0 IN0");
    row("", "BAR: 4", "+ BAR: 4|+ BAR: 4", "settings=F0 ALM0 BAR4 TOT0 IN0");
    row("", "BAR: 0", "+ BAR: 0|+ BAR: 0", "settings=F0 ALM0 BAR0 TOT0 IN0");
    row("", "BAR: 5", "+ BAR: 5|+ BAR: 5", "settings=F0 ALM0 BAR0 TOT0 IN0");
    row("", "TOT: 3", "+ TOT: 3|+ TOT: 3", "settings=F0 ALM0 BAR0 TOT3 IN0");
    row("", "TOT: 4", "+ TOT: 4|+ TOT: 4", "settings=F0 ALM0 BAR0 TOT4 IN0");
    row("", "TOT: 12", "+ TOT: 12|+ TOT: 1", "settings=F0 ALM0 BAR0 TOT1 IN0");
    row("", "TOT: 0", "+ TOT: 0|+ TOT: 0", "settings=F0 ALM0 BAR0 TOT0 IN0");
    row("", "TOT: 5", "+ TOT: 5|+ TOT: 5", "settings=F0 ALM0 BAR0 TOT0 IN0");
    // Peak power in watts as received; logged limited to the type's scale.
    row("", "P_max: 0", "+ P_max: 0|+ P_max: 0", "value=0|peak=0");
    row("", "P_max: 1200", "+ P_max: 1200|+ P_max: 1200", "peak=1200");
    row("", "P_max: 1201", "+ P_max: 1201|+ P_max: 1200", "value=1201|peak=1201");
    row("@24k", "P_max: 2400", "+ P_max: 2400|+ P_max: 2400", "peak=2400");
    row("@24k", "P_max: 3000", "+ P_max: 3000|+ P_max: 2400", "value=3000|peak=3000");
    row("P_max: 900", "P_max: 300 ", "+ P_max: 300 |****** Conversion error P_max",
        "value=300 |peak=none");
    // Calibration and ALC, their low 8 bits; known from their first report.
    row("", "CAL: 255", "+ CAL: 255|+ CAL: 255", "cal=255|known=10");
    row("", "CAL: 254", "+ CAL: 254|+ CAL: 254", "cal=254");
    row("", "CAL: 256", "+ CAL: 256|+ CAL: 256", "cal=0");
    row("", "CAL: 511", "+ CAL: 511|+ CAL: 511", "cal=255");
    row("ALC_PWM: 100", "CAL: 200", "+ CAL: 200|+ CAL: 200", "cal=200|known=11");
    row("CAL: 180", "ALC_PWM: 90", "+ ALC_PWM: 90|+ ALC_PWM: 90", "alcValue=90");
    row("CAL: 100", "ALC_PWM: 255", "+ ALC_PWM: 255|+ ALC_PWM: 255", "alcValue=255");
    row("CAL: 100", "ALC_PWM: 256", "+ ALC_PWM: 256|+ ALC_PWM: 256", "alcValue=0");
    row("CAL: 100", "CAL: x", "+ CAL: x|+ CAL: x|****** Conversion error CAL", "cal=100|known=10");
    row("", "ALC_PWM: ?", "+ ALC_PWM: ?|+ ALC_PWM: ?|****** Conversion error ALC_PWM",
        "alcValue=none|known=01");
    // Output and reverse power in watts as reported, unscaled; SWR
    // from the two.
    row("", "O: 0", "+ O: 0|+ O: 0", "value=0|output=0|swr=none");
    // An "R: " of before is never paired with a new "O: ": no SWR until its own "R: ".
    row("R: 100", "O: 900", "+ O: 900|+ O: 900", "value=900|output=900|swr=none");
    row("O: 900", "R: 100", "+ R: 100|+ R: 100", "value=100|reverse=100|swr=2");
    row("@24k", "O: 1500", "+ O: 1500|+ O: 1500", "output=1500");
    row("O: 850", "O: 8k", "+ O: 8k|+ O: 8k|****** Conversion error Power Out",
        "value=8k|output=none");
    row("O: 200", "R: 200", "+ R: 200|+ R: 200", "reverse=200|swr=99");
    row("R: 30", "R: ", "+ R: |+ R: |****** Conversion error Power Rev", "reverse=30");
    // Logged twice; unknown lines and other letter case only once.
    row("", "IN_ALARM_PWM: 7", "+ IN_ALARM_PWM: 7|+ IN_ALARM_PWM: 7", "");
    row("", "B5 17M", "+ B5 17M|+ B5 17M", "band=none");
    for (const char *band : {"B1", "B2", "B3", "B4", "B6", "B7"}) {
        const QByteArray entry = QByteArray("+ ") + band;
        row("", band, (entry + '|' + entry).constData(), "band=none");
    }
    row("", "B_x", "+ B_x|+ B_x", "");
    row("", "LB: 1", "+ LB: 1", "");
    row("", "o: 850", "+ o: 850", "output=none");
    // Transmit state.
    row("", "TX: ON", "+ TX: ON|+ TX: ON", "tx=1|ptt=0");
    row("TX: ON|O: 700|R: 30|P_max: 900", "TX: OFF", "+ TX: OFF|+ TX: OFF",
        "tx=0|output=none|reverse=none|peak=none");
    // Input power 1..2.
    row("", "InPower: 2", "+ InPower: 2|+ InPower: 2", "settings=F0 ALM0 BAR0 TOT0 IN2");
    row("", "InPower: 1", "+ InPower: 1|+ InPower: 1", "settings=F0 ALM0 BAR0 TOT0 IN1");
    row("InPower: 1", "InPower: 3", "+ InPower: 3|+ InPower: 3", "settings=F0 ALM0 BAR0 TOT0 IN1");
    row("", "InPower: 0", "+ InPower: 0|+ InPower: 0", "settings=F0 ALM0 BAR0 TOT0 IN0");
    // Alarms.
    row("", "ALARM: HPOUT", "+ ALARM: HPOUT|+ ALARM: HPOUT", "alarms=1000000|effects=alarm0");
    row("", "ALARM: HPIN", "+ ALARM: HPIN|+ ALARM: HPIN", "alarms=0100000|effects=alarm1");
    row("", "ALARM: BPF", "+ ALARM: BPF|+ ALARM: BPF", "alarms=0010000|effects=alarm2");
    row("", "ALARM: SWR 3", "+ ALARM: SWR 3|+ ALARM: SWR", "alarms=0001000|effects=alarm3");
    row("", "ALARM: TEMP", "+ ALARM: TEMP|+ ALARM: TEMP", "alarms=0000100|effects=alarm4");
    row("ALARM: HPIN", "ALARM: TOT", "+ ALARM: TOT|+ ALARM: TOT", "alarms=0100010|effects=alarm5");
    row("", "ALARM: HPCONT", "+ ALARM: HPCONT|+ ALARM: HPCONT", "alarms=0000001|effects=alarm6");
    row("", "ALARM: OTHER", "+ ALARM: OTHER", "alarms=0000000|effects=");
    row("ALARM: TOT|ALARM: BPF", "ALARM: OFF", "+ ALARM: OFF|+ ALARM: OFF",
        "alarms=0000000|effects=end2,end5");
    row("", "alarm: OFF", "+ alarm: OFF", "effects=");
    // Tuner status 1..7; 0 hides it, other codes change nothing.
    row("", "ATU_INF: 1", "+ ATU_INF: 1", "status=1");
    row("", "ATU_INF: 7", "+ ATU_INF: 7", "status=7");
    row("ATU_INF: 5", "ATU_INF: 0", "+ ATU_INF: 0", "status=none");
    row("ATU_INF: 1", "ATU_INF: 8", "+ ATU_INF: 8", "status=1");
    row("", "ATU_INF:", "+ ATU_INF:|****** Conversion error ATU_INF", "status=none");
    // ATU fitted.
    row("", "ATU_INST: 1", "+ ATU_INST: 1|+ ATU_INSTALLED: 1", "fitted=1|effects=atu");
    row("ATU_INST: 1", "ATU_INST: x", "+ ATU_INST: x|+ ATU_INSTALLED: 0", "fitted=0|effects=");
    row("", "ATU_INST: ", "+ ATU_INST: |+ ATU_INSTALLED: 0", "fitted=0|effects=");
    // ATU state; anything but 1 is bypass.
    row("Ver: 3.30|@pending", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
        "atu=InLine|pending=1101|fine=1");
    row("Ver: 3.30|@pending", "ATU_STATE: 2", "+ ATU_STATE: 2|+ ATU_STATE: 0",
        "atu=Bypassed|pending=1110|fine=0");
    row("Ver: 3.28|ATU_STATE: 0", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
        "atu=InLine|fine=0");
    // Tune, lamp; yellow switches the ATU on for a manual band but 7.
    row("", "TUNE OFF", "+ TUNE OFF|+ TUNE OFF", "effects=tuned");
    row("", "RED", "+ RED|+ RED", "lamp=Red");
    row("", "GREEN", "+ GREEN|+ GREEN", "lamp=Green");
    row("RED", "GREY", "+ GREY|+ GREY", "lamp=Grey");
    row("Ver: 3.30|ATU_STATE: 0|I: 5|B: 3|RED", "YELLOW", "+ YELLOW|+ YELLOW",
        "lamp=Yellow|atu=InLine|fine=1");
    row("ATU_STATE: 0|I: 5|B: 7", "YELLOW", "+ YELLOW|+ YELLOW", "atu=Bypassed");
    row("ATU_STATE: 0|I: 3|B: 3", "YELLOW", "+ YELLOW|+ YELLOW", "atu=Bypassed");
    // SWR min 11..17.
    row("", "SWRmin: 11", "+ SWRmin: 11|+ SWRmin: 11", "swrmin=11");
    row("SWRmin: 11", "SWRmin: 17", "+ SWRmin: 17|+ SWRmin: 17", "swrmin=17");
    row("SWRmin: 12", "SWRmin: 10", "+ SWRmin: 10|+ SWRmin: 10", "swrmin=12");
    row("SWRmin: 12", "SWRmin: 18", "+ SWRmin: 18|+ SWRmin: 18", "swrmin=12");
    row("", "SWRmin: 1x", "+ SWRmin: 1x|+ SWRmin: 1x|****** Conversion error SWRmin", "swrmin=0");
    // Forward reading, five characters.
    row("", "ATU_FWD: 12345678", "+ ATU_FWD: 12345678", "fwd=12345|value=12345");
    row("", "ATU_FWD: 0734 W", "+ ATU_FWD: 0734 W", "fwd=734|value=0734 ");
    // Relays, padded to eight digits and summed.
    row("", "END_L: 101", "+ END_L: 101|+ Port L: 00000101", "L=0.2");
    row("", "Port L: 11111111", "+ Port L: 11111111|+ Port L: 11111111", "L=10.2");
    row("", "END_C: 111111111", "+ END_C: 111111111|+ Port C: 11111111", "C=1275");
    row("", "Port C: 00000001", "+ Port C: 00000001|+ Port C: 00000001", "C=5");
    row("END_C: 1", "END_C: 1x1", "+ END_C: 1x1|+ Port C: 000001x1|****** Conversion error Port C",
        "C=none");
    // The tuner's SWR in tenths, on the band it was taken on.
    row("", "END_SWR:  15", "+ END_SWR:  15|+ SWR: 1.5", "tunerSwr=1.5|value=15");
    row("END_SWR:  15", "END_SWR: 255", "+ END_SWR: 255|+ SWR: ???", "tunerSwr=none");
    row("", "SWR: 9", "+ SWR: 9|+ SWR: ???", "tunerSwr=none|value=9");
    row("", "SWR: 123", "+ SWR: 123|+ SWR: 12.3", "tunerSwr=12.3|value=123");
    row("B: 3|SWR: 15", "B: 4", "+ B: 4|+ B: 4", "tunerSwr=none");
    row("TX: ON|SWR: 15", "TX: ON", "+ TX: ON|+ TX: ON", "tunerSwr=1.5");
    row("TX: ON|SWR: 15|TX: OFF", "TX: ON", "+ TX: ON|+ TX: ON", "tunerSwr=none");
    // Switch K.
    row("K: 1", "K: 0", "+ K: 0|+ K: 0", "k=in");
    row("K: 0", "K: 1", "+ K: 1|+ K: 1", "k=out");
    row("K: 1", "END_K: 0", "+ END_K: 0|+ K: 0", "k=in");
    // Exactly one row acts on a line, whatever its value holds.
    row("", "B: B1", "+ B: B1|****** Band conversion error|+ B: B1", "band=none");
    row("", "T: TX: ON", "+ T: TX: ON|+ T: TX: ON", "value=TX: ON|tx=0");
    row("", "O: ALARM: SWR", "+ O: ALARM: SWR|+ O: ALARM: SWR|****** Conversion error Power Out",
        "alarms=0000000|effects=");
}

} // namespace

void TestLink::reports() {
    QFETCH(QString, before);
    QFETCH(QByteArray, line);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, state);
    AmpStatus s = IdentifiedStatus();
    PendingCommands pending;
    for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (b == QStringLiteral("@24k"))
            s.readings.paType.Set(PaType::Kw24, s.At(0));
        else if (b == QStringLiteral("@pending"))
            pending = PendingCommands{true, true, true, true};
        else
            ConfirmPending(ApplyReport(b, s), pending);
    }
    const AmpStatus was = s;
    const ReportOutcome out = ApplyReport(QString::fromLatin1(line), s);
    ConfirmPending(out, pending);
    QCOMPARE(QStringList{QStringLiteral("+ ") + QString::fromLatin1(line)} + out.entries, entries);
    // What a window shows of it: the changes it told, the tuner's flags.
    QStringList shown;
    for (const LinkEvent &e : ReportedChanges(was, s, std::nullopt))
        if (const QString name = EffectName(e); !name.isEmpty())
            shown << name;
    if (out.tunerFitted)
        shown << QStringLiteral("atu");
    if (out.tuneFinished)
        shown << QStringLiteral("tuned");
    const auto all = Probes(pending);
    for (const QString &pair : state) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = name == QStringLiteral("effects") ? shown.join(QLatin1Char(','))
                              : name == QStringLiteral("value") ? out.value
                              : all.count(name)                 ? all.at(name)(s)
                                                                : QStringLiteral("no such probe");
        QCOMPARE(name + QLatin1Char('=') + value, pair);
    }
}

void TestLink::conversionErrorKeepsTheRest() {
    connectPeer();
    feed("I: x\r\nF: \r\nTOT: 2\r\nO: 500\r\n");
    QCOMPARE(log, Split("+ I: x|+ I: x|****** Conversion error I|+ F: |+ F: |"
                        "****** Conversion error F|+ TOT: 2|+ TOT: 2|+ O: 500|+ O: 500"));
    QCOMPARE(link->State().readings.outputW, 500);
    QCOMPARE(link->State().Tot, 2);
}

void TestLink::reportsIgnoredBeforeIdentification() {
    open();
    log.clear();
    feed("O: 500\r\nALARM: SWR\r\nPA_QZ9Q\r\nB: 3\r\n");
    QCOMPARE(log, Split("+ O: 500|+ ALARM: SWR|+ PA_QZ9Q|+ B: 3"));
    QVERIFY(!link->State().readings.outputW.has_value());
    QVERIFY(!link->State().readings.band.has_value());
    QVERIFY(effects.isEmpty());
    QVERIFY(!link->State().PaIdentified);
    QCOMPARE(link->State().Phase, LinkPhase::Connecting);
}

void TestLink::identificationSendsBurst() {
    open();
    log.clear();
    link->HandshakeTick();
    link->HandshakeTick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\nPA?\r\n"));
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(2));
    log.clear();
    feed("PA_QZ9QZ-extra\r\nO: 100\r\n");
    // The first four queries pause 20 ms each, on the burst's timer: the
    // first has gone, the lines after the identification are taken at once.
    QCOMPARE(log, Split("+ PA_QZ9QZ-extra|+ PA_QZ9QZ|- B?\r\n|+ O: 100|+ O: 100"));
    QVERIFY(link->BurstTimer()->isActive());
    QVERIFY(link->State().PaIdentified);
    QCOMPARE(link->State().Phase, LinkPhase::Connected);
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(link->PollTimer()->isActive());
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(0));
    QByteArray wire;
    QStringList expected = Split("+ PA_QZ9QZ-extra|+ PA_QZ9QZ");
    for (const char *q : BurstQueries) {
        wire += QByteArray(q) + "\r\n";
        // Each echo carries its CR LF: the monitor shows an empty line after it.
        expected << QStringLiteral("- ") + QLatin1String(q) + QStringLiteral("\r\n");
    }
    QCOMPARE(peer->read(), wire);
    expected.insert(3, QStringLiteral("+ O: 100"));
    expected.insert(3, QStringLiteral("+ O: 100"));
    QCOMPARE(log, expected);
    QCOMPARE(link->State().readings.outputW, 100);
    // A tick after identification sends nothing more.
    link->HandshakeTick();
    QCOMPARE(peer->read(150), QByteArray());
}

void TestLink::interpretedAfterReconnect() {
    connectPeer();
    feed("O: 12"); // an unfinished line when the port is closed ...
    link->Close();
    QCOMPARE(effects, Split("lost:Disconnected from COM Port"));
    QCOMPARE(link->State().Phase, LinkPhase::Closed);
    QVERIFY(!link->Port()->Connected());
    QCOMPARE(link->Open(peer->devicePath()), QString());
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    // Still identified from before: reports act at once, and the old
    // unfinished line is not glued to the first new one.
    log.clear();
    feed("O: 321\r\n");
    QCOMPARE(link->State().readings.outputW, 321);
    QCOMPARE(log, Split("+ O: 321|+ O: 321"));
    // A second identification repeats the phase change and the burst.
    feed("PA_QZ9QZ\r\n");
    QCOMPARE(link->State().Phase, LinkPhase::Connected);
    QVERIFY(peer->read().startsWith("B?\r\nInPower?\r\n"));
}

void TestLink::overlongGarbageLoggedOnce() {
    connectPeer();
    for (int i = 0; i < 3; ++i)
        feed(QByteArray(3000, 'g'));
    QCOMPARE(log, Split("****** Line without end discarded (6000 bytes)"));
    feed("ggg\r\nO: 7\r\n");
    QCOMPARE(log.size(), 3); // "ggg" ends the discarded line
    QCOMPARE(link->State().readings.outputW, 7);
}

// A line without its CR, on the clock: "MS:TEXT" is a chunk at MS ("~" for
// CR LF), "MS:tick" the liveness tick. The monitor's entries, and whether
// the amplifier transmits, afterwards.
void TestLink::unfinishedLines_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("transmitting");
    const QString dropped = QStringLiteral("****** Unfinished line dropped: R: 5");
    QTest::newRow("the rest comes late: dropped, the next line acts")
        << "0:TX: ON~R: 5|2000:TX: OFF~"
        << QStringList{dropped, QStringLiteral("+ TX: OFF"), QStringLiteral("+ TX: OFF")} << false;
    QTest::newRow("the rest comes in time: one line")
        << "0:TX: ON~R: |400:5~" << QStringList{QStringLiteral("+ R: 5"), QStringLiteral("+ R: 5")}
        << true;
    QTest::newRow("nothing follows: dropped at the tick")
        << "0:TX: ON~R: 5|400:tick|1000:tick" << QStringList{dropped} << true;
}

void TestLink::unfinishedLines() {
    QFETCH(QString, steps);
    QFETCH(QStringList, entries);
    QFETCH(bool, transmitting);
    connectPeer();
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(':'), 0, 0).toLongLong();
        const QString text = step.section(QLatin1Char(':'), 1);
        if (text == QLatin1String("tick"))
            link->LivenessTick();
        else
            feed(text.toLatin1().replace('~', "\r\n"));
    }
    log.removeAll(QStringLiteral("+ TX: ON"));
    QCOMPARE(log, entries);
    QCOMPARE(link->State().readings.transmitting, transmitting);
}

void TestLink::bytesKeptIntact() {
    connectPeer();
    QStringList values; // as the views get them
    connect(link.get(), &AmpLink::ReportApplied, this,
            [&values](ReportId, const QString &v) { values << v; });
    const QByteArray value("4\x00\xB0", 3);
    feed("T: " + value + "\r\n");
    const QString text = QString::fromLatin1(value.constData(), value.size());
    QCOMPARE(values, QStringList{text});
    QCOMPARE(log, (QStringList{QStringLiteral("+ T: ") + text, QStringLiteral("+ T: ") + text}));
}

// Eleven ticks without an answer: ten more "PA?", then the link closes and
// says why, after the port's own disconnect.
void TestLink::handshakeGivesUp() {
    open();
    QVERIFY(link->HandshakeTimer()->isActive());
    for (int tick = 1; tick <= AmpLink::HandshakeTicks; ++tick) {
        link->HandshakeTick();
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    }
    QVERIFY(effects.isEmpty());
    link->HandshakeTick();
    QCOMPARE(peer->read(150), QByteArray("PA?\r\n"));
    QCOMPARE(effects, (QStringList{QStringLiteral("lost:Disconnected from COM Port"),
                                   QStringLiteral("box:Error:Sorry, PA not found on ") +
                                       peer->devicePath()}));
    QCOMPARE(link->State().Phase, LinkPhase::Closed);
    QCOMPARE(link->State().ConnectTicks, std::uint8_t(0));
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
}

void TestLink::portLost() {
    connectPeer();
    QList<LinkPhase> phases;
    connect(link.get(), &AmpLink::ConnectionChanged, this, [&phases](LinkPhase p) { phases << p; });
    peer->closeMaster();
    QTRY_COMPARE(link->State().Phase, LinkPhase::Closed);
    QCOMPARE(effects, Split("lost:Disconnected from COM Port"));
    QCOMPARE(phases, QList<LinkPhase>{LinkPhase::Closed});
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
    // A send on the closed port fails and logs nothing.
    log.clear();
    QVERIFY(!link->SendTypedLine("T?"));
    QVERIFY(log.isEmpty());
}

void TestLink::openRefused() {
    const QString missing = QStringLiteral("/dev/orvik-no-such-device");
    QVERIFY(link->Open(missing).startsWith(QStringLiteral("Cannot connect to ")));
    QCOMPARE(link->State().Phase, LinkPhase::Start);
    QCOMPARE(link->State().PortName, missing);
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(log.isEmpty());
    QVERIFY(effects.isEmpty());
}

// ---- The poll tick ----------------------------------------------------------

// Automatic reconnection over a device name that, like a by-id link, stays
// while the device behind it goes and comes back. Each row loses the port
// one way, then ends the wait one way: "replug" (the device returns and the
// amplifier answers), "silent" (it returns, the amplifier does not answer,
// the wait starts again), "close" (Close Port), "off" (the setting is
// turned off). The monitor gets one entry per loss and no message box.
void TestLink::reconnection_data() {
    QTest::addColumn<QString>("loss");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<LinkPhase>("phase");
    const QString lost = QStringLiteral("****** Port lost: @, waiting for it");
    const QString back = QStringLiteral("****** Port back: @");
    QTest::newRow("unplugged, back") << "unplug"
                                     << "replug" << QStringList{lost, back} << LinkPhase::Connected;
    QTest::newRow("unplugged during the handshake, back")
        << "handshake"
        << "replug" << QStringList{lost, back} << LinkPhase::Connected;
    QTest::newRow("not there at start, back")
        << "absent"
        << "replug" << QStringList{QStringLiteral("****** Waiting for port: @"), back}
        << LinkPhase::Connected;
    QTest::newRow("back without the amplifier: waits again")
        << "unplug"
        << "silent"
        << QStringList{lost, back, QStringLiteral("****** PA not found on @, waiting for it")}
        << LinkPhase::Waiting;
    QTest::newRow("Close Port ends the wait") << "unplug"
                                              << "close" << QStringList{lost} << LinkPhase::Closed;
    QTest::newRow("turned off ends the wait") << "unplug"
                                              << "off" << QStringList{lost} << LinkPhase::Closed;
}

void TestLink::reconnection() {
    QFETCH(QString, loss);
    QFETCH(QString, end);
    QFETCH(QStringList, entries);
    QFETCH(LinkPhase, phase);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("amp"));
    auto plug = [&] {
        peer = std::make_unique<PtyPeer>();
        QFile::remove(name);
        QVERIFY(peer->ok() && QFile::link(peer->devicePath(), name));
    };
    link->SetAutoReconnect(true);
    if (loss == QLatin1String("absent")) {
        link->WaitForPort(name);
    } else {
        plug();
        QCOMPARE(link->Open(name), QString());
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        if (loss == QLatin1String("unplug"))
            feed("PA_QZ9QZ\r\n");
        // Lost in the middle of a transmission with an alarm and a tuning.
        feed("TX: ON\r\nO: 1020\r\nALARM: SWR\r\nEND_SWR:  15\r\nATU_INF: 2\r\n");
        log.clear();
        effects.clear();
        peer->closeMaster();
        QFile::remove(name);
    }
    QTRY_COMPARE(link->State().Phase, LinkPhase::Waiting);
    QVERIFY(link->ReconnectTimer()->isActive());
    QVERIFY(!link->HandshakeTimer()->isActive());
    QVERIFY(!link->PollTimer()->isActive());
    QVERIFY(!link->Port()->Connected());
    // Retries while the device is missing add nothing.
    link->ReconnectTick();
    link->ReconnectTick();
    QCOMPARE(link->State().Phase, LinkPhase::Waiting);
    QCOMPARE(log.size(), 1);

    if (end == QLatin1String("close")) {
        link->Close();
    } else if (end == QLatin1String("off")) {
        link->SetAutoReconnect(false);
    } else {
        plug();
        link->ReconnectTick();
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
        QVERIFY(!link->ReconnectTimer()->isActive());
        if (end == QLatin1String("replug")) {
            feed("PA_QZ9QZ\r\n");
            QVERIFY(peer->read().startsWith("B?\r\nInPower?\r\n")); // the start-up burst
        } else {
            for (int tick = 0; tick <= AmpLink::HandshakeTicks; ++tick)
                link->HandshakeTick();
            QVERIFY(!link->Port()->Connected());
        }
    }
    QCOMPARE(link->State().Phase, phase);
    QCOMPARE(link->ReconnectTimer()->isActive(), phase == LinkPhase::Waiting);
    QCOMPARE(link->PollTimer()->isActive(), phase == LinkPhase::Connected);
    QStringList expected;
    for (const QString &e : entries)
        expected << QString(e).replace(QLatin1Char('@'), name);
    QStringList marked;
    for (const QString &e : log)
        if (e.startsWith(QLatin1String("******")))
            marked << e;
    QCOMPARE(marked, expected);
    QCOMPARE(effects, QStringList());
    // Nothing of the lost connection looks current, back or not.
    const StatusView v = ViewOf(link->State());
    QVERIFY(!v.transmitting.Now() && !v.outputW.Now() && !v.tuner.swr.Now() &&
            !v.tuner.status.Now());
    QVERIFY(!v.alarms.Now().value_or(QList<AlarmKind>()).contains(AlarmKind::Swr));
}

// A ser2net port that hands itself to its newest client (kickolduser),
// taken from the link by another client keptMs after each handshake began.
// Taken at once twice in a row, the waits grow to a minute (a few
// identifications a minute at most), told once; kept a while, each loss is
// an ordinary one. Free again, the port comes back by itself.
void TestLink::takenPort_data() {
    QTest::addColumn<int>("keptMs");
    QTest::addColumn<QList<int>>("waits"); // before each attempt after a loss
    QTest::newRow("taken at once each time") << 500 << QList<int>{0, 10000, 30000, 60000, 60000};
    QTest::newRow("kept a while each time") << 4000 << QList<int>{0, 0, 0, 0, 0};
}

void TestLink::takenPort() {
    QFETCH(int, keptMs);
    QFETCH(QList<int>, waits);
    peer = std::make_unique<PtyPeer>();
    Ser2net bridge;
    QVERIFY(bridge.Start(peer->devicePath()));
    link->SetAutoReconnect(true);
    QCOMPARE(link->Open(bridge.Name()), QString());
    for (const int wait : waits) {
        now += keptMs;
        // Another client connects: ser2net hands it the port, and it goes.
        const int other = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(bridge.port));
        QCOMPARE(::connect(other, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        QTRY_COMPARE(link->State().Phase, LinkPhase::Waiting);
        ::close(other);
        if (wait > 0) {
            now += wait - 1;
            link->ReconnectTick();
            QCOMPARE(link->State().Phase, LinkPhase::Waiting);
            now += 1;
        }
        link->ReconnectTick();
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    }
    const bool taken = waits.last() > 0;
    QCOMPARE(link->State().PortTaken, taken);
    QCOMPARE(log.count(QStringLiteral("****** %1 is taken by another client: trying again at "
                                      "growing intervals, up to a minute")
                           .arg(bridge.Name())),
             taken ? 1 : 0);
    // Kept now: identified, and ours again once it has been kept a while.
    // Answered once the identification has come through ser2net.
    QByteArray asked;
    QTRY_VERIFY((asked += peer->read(50)).contains("PA?"));
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(link->State().Phase, LinkPhase::Connected);
    now += AmpLink::TakenWithinMs + 1;
    link->LivenessTick();
    QVERIFY(!link->State().PortTaken);
}

void TestLink::pollNotConnected_data() {
    QTest::addColumn<int>("phase");
    QTest::newRow("start") << int(LinkPhase::Start);
    QTest::newRow("connecting") << int(LinkPhase::Connecting);
    QTest::newRow("closed") << int(LinkPhase::Closed);
}

void TestLink::pollNotConnected() {
    QFETCH(int, phase);
    if (LinkPhase(phase) == LinkPhase::Start) {
        link->PollTick(); // nothing open: a send would raise
        QVERIFY(log.isEmpty());
        return;
    }
    open();
    log.clear();
    feed("BL:ON\r\n"); // not identified: only logged
    if (LinkPhase(phase) == LinkPhase::Closed) {
        feed("PA_QZ9QZ\r\n");
        peer->read();
        link->Close();
        QVERIFY(QTest::qWaitFor([&] { return !link->Port()->Connected(); }, 1000));
    }
    QCOMPARE(int(link->State().Phase), phase);
    log.clear();
    link->PollTick();
    QCOMPARE(peer->read(150), QByteArray());
    QVERIFY(log.isEmpty());
}

void TestLink::pollAsksWhatIsUnknown_data() {
    QTest::addColumn<QByteArray>("known"); // replies that make settings known
    QTest::addColumn<QByteArray>("wire");
    auto without = [](const char *gone) { return QByteArray(AllUnknown).replace(gone, ""); };
    QTest::newRow("nothing known: 8 queries, 10 bare lines") << QByteArray() << AllUnknown;
    QTest::newRow("fan") << QByteArray("F: 2\r\n") << without("F?\r\n");
    QTest::newRow("fan out of range") << QByteArray("F: 5\r\n") << AllUnknown;
    QTest::newRow("interface") << QByteArray("I: 5\r\n") << without("I?\r\n");
    QTest::newRow("alarm") << QByteArray("ALM: 2\r\n") << without("ALM?\r\n");
    QTest::newRow("input") << QByteArray("InPower: 1\r\n") << without("InPower?\r\n");
    QTest::newRow("bar") << QByteArray("BAR: 4\r\n") << without("BAR?\r\n");
    QTest::newRow("TOT") << QByteArray("TOT: 1\r\n") << without("TOT?\r\n");
    // Calibration and ALC take their bare line with them, numbers or not.
    QTest::newRow("CAL") << QByteArray("CAL: x\r\n") << without("CAL?\r\n\r\n");
    QTest::newRow("ALC") << QByteArray("ALC_PWM: 3\r\n") << without("ALC_PWM?\r\n\r\n");
    QTest::newRow("everything: exactly eight bare lines") << AllSettings << EightBare;
}

void TestLink::pollAsksWhatIsUnknown() {
    QFETCH(QByteArray, known);
    QFETCH(QByteArray, wire);
    connectPeer();
    feed(known);
    log.clear();
    link->PollTick();
    QCOMPARE(peer->read(), wire);
    // Each query's echo carries its CR LF; bare lines are not echoed.
    QStringList echoes;
    for (const QByteArray &l : wire.split('\n'))
        if (l.size() > 1)
            echoes << QStringLiteral("- ") + QString::fromLatin1(l.chopped(1)) +
                          QStringLiteral("\r\n");
    QCOMPARE(log, echoes);
}

void TestLink::pollPttBlockWaitsWhileTransmitting() {
    connectPeer();
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:ON\r\n"));
    feed("TX: ON\r\n");
    link->PollTick();
    // Queries and bare lines still go out; the block command waits.
    QCOMPARE(peer->read(), AllUnknown);
    feed("TX: OFF\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown + "BL:ON\r\n");
    // The confirmation ends the re-sending; releasing sends BL:OFF twice,
    // and the poll re-sends it until confirmed.
    feed("BL:ON\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown);
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown + "BL:OFF\r\n");
    feed("BL:OFF\r\n");
    link->PollTick();
    QCOMPARE(peer->read(), AllUnknown);
}

void TestLink::pollKnownSurvivesReconnect() {
    connectPeer();
    feed(AllSettings);
    // A transmission of the last connection holds nothing back on this one.
    feed("TX: ON\r\n");
    link->Close();
    // Close stops the poll; a tick while closed sends nothing.
    QVERIFY(!link->PollTimer()->isActive());
    link->PollTick();
    QCOMPARE(link->Open(peer->devicePath()), QString());
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QVERIFY(link->PollTimer()->isActive());
    feed("PA_QZ9QZ\r\n");
    peer->read();
    link->PollTick();
    QCOMPARE(peer->read(), EightBare);
    link->TogglePttBlock();
    QCOMPARE(peer->read(), QByteArray("BL:ON\r\n"));
    link->PollTick();
    QCOMPARE(peer->read(), EightBare + "BL:ON\r\n");
}

// Whether the amplifier answers, on a clock the test drives: "line MS" is a
// report arriving at MS, "tick MS" the liveness tick at MS (connected at 0).
// Expected: the monitor's entries, the probes on the wire, the state at the end.
void TestLink::liveness_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("entries"); // @ the port
    QTest::addColumn<bool>("noAnswer");
    const QString probe = QStringLiteral("- T?\r\n");
    const QString silent = QStringLiteral("****** No answer from the amplifier on @");
    const QString back = QStringLiteral("****** The amplifier on @ answers again");
    const QString t35 = QStringLiteral("+ T: 35");
    QTest::newRow("lines arriving: nothing added")
        << "line 2500|tick 2999|line 5000|tick 7999" << QStringList{t35, t35, t35, t35} << false;
    QTest::newRow("quiet: a probe per 5 s, no answer at 6 s, back with a line")
        << "tick 2999|tick 3000|tick 5999|tick 6000|tick 7999|tick 8000|line 8100"
        << QStringList{probe, silent, probe, back, QStringLiteral("- B?\r\n"), t35, t35} << false;
    QTest::newRow("a probe answered keeps it; the next is given time to be answered")
        << "tick 3000|line 3050|tick 7999|tick 8000|tick 9499|tick 9500"
        << QStringList{probe, t35, t35, probe, silent} << true;
}

void TestLink::liveness() {
    QFETCH(QString, steps);
    QFETCH(QStringList, entries);
    QFETCH(bool, noAnswer);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(' '), 1).toLongLong();
        if (step.startsWith(QLatin1String("line")))
            feed("T: 35\r\n");
        else
            link->LivenessTick();
    }
    QCOMPARE(log, entries.replaceInStrings(QStringLiteral("@"), peer->devicePath()));
    // Each probe went out as a poll's query does, echoed with its CR LF;
    // answering again, the start-up queries go again.
    QByteArray wire = QByteArray("T?\r\n").repeated(int(log.count(QStringLiteral("- T?\r\n"))));
    if (!noAnswer && log.count(QStringLiteral("- B?\r\n")))
        for (const char *q : BurstQueries)
            wire += QByteArray(q) + "\r\n";
    QCOMPARE(peer->read(), wire);
    QCOMPARE(link->State().ReadingsCurrent(), !noAnswer);
}

// The operator's commands: the state they set at once and the exact line
// and echo they send. "@cal" calibrates first, "@bypass"/"@inline" set the
// tuner's switch, "@b7" selects band 7, "@b3" band 3.
void TestLink::operatorCommands_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("state");
    auto row = [](const char *name, const char *before, const char *command, const char *wire,
                  const char *state) {
        QTest::newRow(name) << QString::fromLatin1(before) << QString::fromLatin1(command)
                            << QByteArray(wire) << Split(state);
    };
    row("band", "", "band 3", "B: 3\r\n", "band=3");
    row("band out of range", "", "band 8", "", "band=none");
    row("fan", "", "fan 4", "F: 4\r\n", "settings=F4 ALM0 BAR0 TOT0 IN0");
    row("interface", "", "interface 5", "I: 5\r\n", "interface=5");
    row("alarm sound", "", "sound 1", "ALM: 1\r\n", "settings=F0 ALM1 BAR0 TOT0 IN0");
    row("bar", "", "bar 2", "BAR: 2\r\n", "settings=F0 ALM0 BAR2 TOT0 IN0");
    row("tot", "", "tot 3", "TOT: 3\r\n", "settings=F0 ALM0 BAR0 TOT3 IN0");
    row("alc", "CAL: 180", "alc 100", "ALC_PWM: 54\r\n", "");
    row("alc uncalibrated", "", "alc 100", "",
        "effects=box:Error:Please make first a calibration in PA !");
    row("atu on", "B: 3", "atu", "ATU_STATE: 1\r\n", "pending=0010|atu=Initial");
    row("atu on band 7", "", "atu", "", "pending=0000|atu=InLine");
    row("atu off", "ATU_STATE: 1", "atu", "ATU_STATE: 0\r\n", "pending=0001|atu=InLine");
    row("tune", "B: 3|ATU_STATE: 1", "tune", "TUNE ON\r\n", "");
    row("tune bypassed", "B: 3|ATU_STATE: 0", "tune", "", "");
    row("tune band 7", "ATU_STATE: 1", "tune", "", "");
    row("fine", "ATU_STATE: 1", "fine", "TUNE FINE\r\n", "");
    row("fine bypassed", "ATU_STATE: 0", "fine", "", "");
    row("memory", "", "memory", "CMEM\r\n", "");
    row("swr min", "", "swrmin 13", "SWRmin: 13\r\n", "swrmin=13");
    row("swr min out of range", "", "swrmin 18", "", "swrmin=0");
}

void TestLink::operatorCommands() {
    QFETCH(QString, before);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, state);
    connectPeer();
    for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        feed(b.toLatin1() + "\r\n");
    log.clear();
    effects.clear();
    const QString verb = command.section(QLatin1Char(' '), 0, 0);
    const int n = command.section(QLatin1Char(' '), 1, 1).toInt();
    const std::map<QString, std::function<void()>> commands = {
        {QStringLiteral("band"), [&] { link->SelectBand(n); }},
        {QStringLiteral("fan"), [&] { link->SetFan(n); }},
        {QStringLiteral("interface"), [&] { link->SelectInterface(n); }},
        {QStringLiteral("sound"), [&] { link->SetAlarmSound(n); }},
        {QStringLiteral("bar"), [&] { link->SetBarSpeed(n); }},
        {QStringLiteral("tot"), [&] { link->SetTot(n); }},
        {QStringLiteral("alc"), [&] { link->PressOutputBar(n); }},
        {QStringLiteral("atu"), [&] { link->ToggleAtu(); }},
        {QStringLiteral("tune"), [&] { link->Tune(); }},
        {QStringLiteral("fine"), [&] { link->FineTune(); }},
        {QStringLiteral("memory"), [&] { link->ClearAtuMemory(); }},
        {QStringLiteral("swrmin"), [&] { link->SetSwrMin(n); }},
    };
    commands.at(verb)();
    QCOMPARE(peer->read(150), wire);
    // Operator commands are echoed without their CR LF.
    QCOMPARE(log, wire.isEmpty()
                      ? QStringList()
                      : QStringList{QStringLiteral("- ") + QString::fromLatin1(wire.chopped(2))});
    const auto all = Probes(link->Pending());
    for (const QString &pair : state) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = name == QStringLiteral("effects") ? effects.join(QLatin1Char(','))
                                                                : all.at(name)(link->State());
        QCOMPARE(name + QLatin1Char('=') + value, pair);
    }
    const bool atuResend = verb == QStringLiteral("atu") && !wire.isEmpty();
    QCOMPARE(link->AtuTimer()->isActive(), atuResend);
    if (atuResend) {
        link->AtuTick(); // re-sent until confirmed
        QCOMPARE(peer->read(), wire);
    }
}

// The command gate, with driven time. Steps "MS SOURCE COMMAND" (source
// panel, keyboard, server, mqtt, web; command "band N", "standby", "operate",
// "fan N", "swrmin N", "tune", "fine"), "MS tick" (the gate's timer) and
// "MS < LINE" (a report). The lines that went out, and each final outcome
// as "source command: result".
void TestLink::gate_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("outcomes");
    auto row = [](const char *name, const char *steps, const char *wire, const char *outcomes) {
        QTest::newRow(name) << QString::fromLatin1(steps) << QByteArray(wire) << Split(outcomes);
    };
    // MQTT standby, operate 100 ms later, standby again just past the
    // first spacing: the newest request is the last to go.
    row("newest wins at the boundary",
        "0 mqtt standby|10 < BL:ON|100 mqtt operate|250 tick|254 mqtt standby|400 tick|500 tick",
        "BL:ON\r\nBL:OFF\r\nBL:OFF\r\nBL:ON\r\n",
        "mqtt standby: ok|mqtt operate: ok|mqtt standby: ok");
    row("a waiting request is replaced, never the reverse",
        "0 mqtt standby|10 < BL:ON|100 mqtt operate|249 mqtt standby|250 tick", "BL:ON\r\n",
        "mqtt standby: ok|mqtt operate: a newer request took its place|mqtt standby: ok");
    row("spacing from the send, not from the request",
        "0 server band 3|200 server band 4|249 tick|250 tick", "B: 3\r\nB: 4\r\n",
        "ampctld 127.0.0.1:40122 band 3: ok|ampctld 127.0.0.1:40122 band 4: ok");
    row("a click goes at once and withdraws a waiting request",
        "0 mqtt band 3|100 mqtt band 4|120 panel band 6|400 tick", "B: 3\r\nB: 6\r\n",
        "mqtt band 3: ok|mqtt band 4: a newer request took its place|panel band 6: ok");
    row("no band change under a transmission but by a click",
        "0 < TX: ON|0 keyboard band 3|0 server band 3|0 mqtt band 3|0 panel band 4", "B: 4\r\n",
        "keyboard band 3: the amplifier is transmitting|ampctld 127.0.0.1:40122 band 3: the "
        "amplifier is transmitting|mqtt band 3: the amplifier is transmitting|panel band 4: ok");
    row("a waiting band change is refused once a transmission begins",
        "0 mqtt band 3|100 mqtt band 4|150 < TX: ON|250 tick", "B: 3\r\n",
        "mqtt band 3: ok|mqtt band 4: the amplifier is transmitting");
    row("a client's band only with the Manual interface", "0 < I: 3|0 mqtt band 3", "",
        "mqtt band 3: the band follows the transceiver; only the Manual interface lets it be "
        "chosen");
    row("a client's request the amplifier already meets",
        "0 < B: 3|0 mqtt band 3|0 < BL:ON|0 server standby|0 web interface 5|10 web interface 2",
        "I: 2\r\n",
        "mqtt band 3: ok|ampctld 127.0.0.1:40122 standby: ok|web 127.0.0.1:40122 interface 5: "
        "ok|web 127.0.0.1:40122 interface 2: ok");
    row("a waiting request the amplifier meets by its turn goes nowhere",
        "0 mqtt band 3|100 mqtt band 4|150 < B: 4|250 tick", "B: 3\r\n",
        "mqtt band 3: ok|mqtt band 4: ok");
    // Settings and the tuner pass the same gate: checked, spaced, told.
    row("settings from a client",
        "0 web fan 5|0 web swrmin 18|0 < ATU_STATE: 0|0 web tune|0 web fan 2|10 web fan 3|"
        "250 tick|300 < F: 3|300 web fan 3",
        "F: 2\r\nF: 3\r\n",
        "web 127.0.0.1:40122 fan 5: no such setting: 5|web 127.0.0.1:40122 SWR min 18: no "
        "such SWR limit: 18|web 127.0.0.1:40122 tune: the tuner is bypassed|web "
        "127.0.0.1:40122 fan 2: ok|web 127.0.0.1:40122 fan 3: ok|web 127.0.0.1:40122 fan 3: ok");
    row("a tune with the tuner in line",
        "0 < B: 3|0 < ATU_STATE: 1|0 web tune|100 web fine|250 tick|260 < B: 7|600 web tune",
        "TUNE ON\r\nTUNE FINE\r\n",
        "web 127.0.0.1:40122 tune: ok|web 127.0.0.1:40122 fine tune: ok|web 127.0.0.1:40122 "
        "tune: the 6 m band has no tuner");
}

void TestLink::gate() {
    QFETCH(QString, steps);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, outcomes);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    QStringList told;
    connect(link.get(), &AmpLink::CommandFinished, this, [&told](const CommandOutcome &o) {
        told << o.command.source.Text() + QLatin1Char(' ') + o.command.Text() +
                    QStringLiteral(": ") + o.Text();
    });
    connectPeer();
    feed("I: 5\r\n");
    const std::map<QString, CommandSource::Kind> sources = {
        {QStringLiteral("panel"), CommandSource::Kind::Panel},
        {QStringLiteral("keyboard"), CommandSource::Kind::Keyboard},
        {QStringLiteral("server"), CommandSource::Kind::Server},
        {QStringLiteral("mqtt"), CommandSource::Kind::Mqtt},
        {QStringLiteral("web"), CommandSource::Kind::Web}};
    const std::map<QString, Command::Kind> kinds = {
        {QStringLiteral("band"), Command::Kind::Band},
        {QStringLiteral("standby"), Command::Kind::PttBlock},
        {QStringLiteral("operate"), Command::Kind::PttBlock},
        {QStringLiteral("fan"), Command::Kind::Fan},
        {QStringLiteral("interface"), Command::Kind::Interface},
        {QStringLiteral("swrmin"), Command::Kind::SwrMin},
        {QStringLiteral("tune"), Command::Kind::Tune},
        {QStringLiteral("fine"), Command::Kind::Tune}};
    QByteArray sent;
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(' '), 0, 0).toLongLong();
        const QString what = step.section(QLatin1Char(' '), 1, 1);
        const QString rest = step.section(QLatin1Char(' '), 2);
        if (what == QLatin1String("tick")) {
            link->GateTick();
        } else if (what == QLatin1String("<")) {
            feed(rest.toLatin1() + "\r\n");
        } else {
            Command c;
            c.source = CommandSource::Of(sources.at(what), QStringLiteral("127.0.0.1:40122"));
            const QString verb = rest.section(QLatin1Char(' '), 0, 0);
            c.kind = kinds.at(verb);
            c.value = verb == QLatin1String("standby") || verb == QLatin1String("fine")
                          ? 1
                          : rest.section(QLatin1Char(' '), 1).toInt();
            link->Submit(c);
        }
        sent += peer->read(20);
    }
    QCOMPARE(sent, wire);
    QCOMPARE(told, outcomes);
}

// The events of a report sequence with driven time: "MS LINE" steps, and
// "MS silent" (the liveness tick after the amplifier stopped answering).
void TestLink::events_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("events");
    auto row = [](const char *name, const char *steps, const char *events) {
        QTest::newRow(name) << QString::fromLatin1(steps) << Split(events);
    };
    // The peak comes just before "TX: OFF" and stays in the record.
    row("a transmission with its figures",
        "0 B: 3|1000 TX: ON|1000 O: 400|1000 R: 16|2000 O: 800|2000 R: 80|3950 P_max: 950|"
        "4000 TX: OFF",
        "transmit start 3|transmit end 3 3000ms avg 667W peak 950W swr 1.92");
    row("output without TX: ON is a transmission too", "0 B: 2|500 O: 100|1500 O: 0",
        "transmit start 2|transmit end 2 1000ms avg 100W peak 100W swr -");
    row("a band told during it is the transmission's", "0 TX: ON|100 B: 4|500 TX: OFF",
        "transmit start 0|transmit end 4 500ms avg 0W peak 0W swr -");
    // Cut short, a transmission ended with its last power report, not with
    // the last line of another kind.
    row("a silence ends the transmission at its last power report",
        "0 TX: ON|0 O: 500|2000 O: 500|3000 T: 35|3000 silent",
        "transmit start 0|transmit end 0 2000ms avg 500W peak 500W swr -|no answer");
    // Answering again without "TX: OFF": no transmission or alarm of before returns.
    row("nothing of before a silence comes back",
        "0 TX: ON|0 O: 800|0 ALARM: SWR|3000 T: 35|3000 silent|20000 T: 35|20000 T: 36",
        "transmit start 0|alarm start 3|transmit end 0 0ms avg 800W peak 800W swr -|"
        "no answer|answers again");
    // The SWR of one report cycle: a ramp-down never pairs a new output with
    // the reflected power of before.
    row("a ramp-down at SWR 1.5",
        "0 TX: ON|0 O: 800|0 R: 32|100 O: 412|100 R: 16|200 O: 100|200 R: 4|300 TX: OFF",
        "transmit start 0|transmit end 0 300ms avg 437W peak 800W swr 1.5");
    row("alarms start and end", "0 ALARM: SWR|10 ALARM: TEMP|20 ALARM: OFF",
        "alarm start 3|alarm start 4|alarm end 3|alarm end 4");
    row("the PTT block as confirmed", "0 BL:ON|10 BL:ON|20 BL:OFF", "ptt blocked|ptt free");
    row("a band the amplifier reports", "0 B: 3|10 B: 3|20 B: 5", "band 5 from 3 by amplifier");
    row("the tuner's result", "0 B: 3|10 END_SWR: 123", "tune result 12.3");
}

void TestLink::play(const QString &steps, qint64 &now) {
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(' '), 0, 0).toLongLong();
        const QString line = step.section(QLatin1Char(' '), 1);
        if (line == QLatin1String("silent")) {
            now += AmpLink::NoAnswerAfterMs;
            link->LivenessTick(); // the probe
            now += AmpLink::ProbeGraceMs;
            link->LivenessTick();
        } else if (line == QLatin1String("tick")) {
            link->ReportsStoppedTick();
        } else {
            feed(line.toLatin1() + "\r\n");
        }
    }
}

// The rules of forgetting with explicit time: what every output is shown
// afterwards ("-" for a reading that is not current).
void TestLink::forgetting_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("shown");
    auto row = [](const char *name, const char *steps, const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(steps) << QString::fromLatin1(shown);
    };
    // Columns: transmitting, output, reflected, peak, SWR, tuner SWR, alarms, PTT.
    row("start: nothing known but no alarm", "0 T: 30", "- - - - - - [] -");
    row("answering a second without power: receiving", "0 T: 30|1000 T: 31", "0 0 0 - - - [] -");
    row("a transmission", "0 TX: ON|0 O: 800|0 R: 32", "1 800 32 800 1.5 - [] -");
    row("its reports stop: power and SWR unknown within a second",
        "0 TX: ON|0 O: 800|0 R: 32|999 tick|1000 tick", "- - - 800 - - [] -");
    row("reports stopped, then a line: receiving", "0 TX: ON|0 O: 800|0 R: 32|1000 tick|2000 T: 30",
        "0 0 0 800 - - [] -");
    row("TX: OFF: SWR and reflected power go", "0 TX: ON|0 O: 800|0 R: 32|100 TX: OFF",
        "0 0 0 800 - - [] -");
    row("an alarm holds through a silence", "0 ALARM: SWR|0 silent", "- - - - - - - -");
    row("and is there again when it answers, with no report of it",
        "0 ALARM: SWR|0 silent|9000 T: 41", "- - - - - - [3] -");
    row("ALARM: OFF ends it", "0 ALARM: SWR|0 silent|9000 T: 41|9100 ALARM: OFF",
        "- - - - - - [] -");
    row("the PTT block as confirmed", "0 BL:ON", "- - - - - - [] 1");
    row("a silence: power unknown, not 0", "0 TX: ON|0 O: 800|0 R: 32|100 silent|9000 T: 41",
        "- - - 800 - - [] -");
    row("the tuner's SWR on its band", "0 B: 3|0 SWR: 123", "- - - - - 12.3 [] -");
    row("a band change forgets it", "0 B: 3|0 SWR: 123|10 B: 2", "- - - - - - [] -");
    row("and it does not come back with the band", "0 B: 3|0 SWR: 123|10 B: 2|20 B: 3",
        "- - - - - - [] -");
}

void TestLink::forgetting() {
    QFETCH(QString, steps);
    QFETCH(QString, shown);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    play(steps, now);
    const StatusView v = ViewOf(link->State());
    const auto text = [](const auto &shown) {
        const auto value = shown.Now();
        return value ? QString::number(double(*value)) : QStringLiteral("-");
    };
    QString alarms = QStringLiteral("-");
    if (const std::optional<QList<AlarmKind>> holding = v.alarms.Now()) {
        QStringList kinds;
        for (AlarmKind k : *holding)
            kinds << QString::number(int(k));
        alarms = QLatin1Char('[') + kinds.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    QCOMPARE(QStringList({text(v.transmitting), text(v.outputW), text(v.reflectedW), text(v.peakW),
                          text(v.swr), text(v.tuner.swr), alarms, text(v.pttBlocked)})
                 .join(QLatin1Char(' ')),
             shown);
}

void TestLink::events() {
    QFETCH(QString, steps);
    QFETCH(QStringList, events);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    QStringList told;
    connect(link.get(), &AmpLink::Event, this, [&told](const LinkEvent &e) {
        QString t = LinkEvent::Name(e.kind);
        switch (e.kind) {
        case LinkEvent::Kind::TransmitStart:
            t += QStringLiteral(" %1").arg(e.band);
            break;
        case LinkEvent::Kind::TransmitEnd: {
            const Transmission &x = e.transmission;
            t += QStringLiteral(" %1 %2ms avg %3W peak %4W swr %5")
                     .arg(x.band)
                     .arg(x.DurationMs())
                     .arg(qRound(x.averageW))
                     .arg(x.peakW)
                     .arg(x.worstSwr ? QString::number(*x.worstSwr) : QStringLiteral("-"));
            break;
        }
        case LinkEvent::Kind::AlarmStart:
        case LinkEvent::Kind::AlarmEnd:
            t += QStringLiteral(" %1").arg(int(e.alarm));
            break;
        case LinkEvent::Kind::BandChanged:
            t += QStringLiteral(" %1 from %2 by %3")
                     .arg(e.band)
                     .arg(e.fromBand)
                     .arg(e.source ? e.source->Text() : QStringLiteral("amplifier"));
            break;
        case LinkEvent::Kind::TuneResult:
            t += QStringLiteral(" %1").arg(e.swr.value_or(0));
            break;
        case LinkEvent::Kind::PttChanged:
            t += e.blocked ? QStringLiteral(" blocked") : QStringLiteral(" free");
            break;
        default:
            break;
        }
        told << t;
    });
    play(steps, now);
    QCOMPARE(told, events);
    // The last transmission's peak stays readable until the next begins.
    if (QLatin1String(QTest::currentDataTag()) ==
        QLatin1String("a transmission with its figures")) {
        QVERIFY(link->State().lastTransmission);
        QCOMPARE(link->State().lastTransmission->peakW, 950);
    }
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
