// SPDX-License-Identifier: GPL-3.0-or-later
// The link as a whole, without windows: the report table on the state
// record and its checks, reports before identification and after a
// reconnection, the monitor's entries for conversion errors, unfinished and
// overlong lines, and bytes kept intact end to end over a pseudo-terminal.
// The parts of the link have programs of their own (tst_connection,
// tst_poller, tst_commandgate, tst_transmissiontracker, tst_forgetting).
#include "link/ReplyDispatcher.h"
#include "link/TransmissionTracker.h"
#include "serial/SerialPort.h"
#include "tests/common/ReportTable.h"
#include "tests/common/Status.h"
#include "tests/link/LinkFixture.h"

#include <QSet>
#include <QTest>

#include <functional>

namespace {

using ReportRowAdder = std::function<void(const char *before, const char *line, const char *entries,
                                          const char *state)>;
void AddReportRows(const ReportRowAdder &row);

} // namespace

class TestLink : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void reports_data();
    void reports();
    void everyReportHasACase();
    void conversionErrorKeepsTheRest();
    void reportsIgnoredBeforeIdentification();
    void interpretedAfterReconnect();
    void overlongGarbageLoggedOnce();
    void unfinishedLines_data();
    void unfinishedLines();
    void bytesKeptIntact();
};

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

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
