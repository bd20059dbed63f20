// The simulated amplifier's protocol table, line framing and log format.
#include "SimCore.h"
#include "SimText.h"

#include <QTest>

using namespace sim;
using Lines = QList<QByteArray>;

class TestSimCore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void protocol_data();
    void protocol();
    void tuneRequest_data();
    void tuneRequest();
    void setValue_data();
    void setValue();
    void framer_data();
    void framer();
    void escape_data();
    void escape();
    void badEscape_data();
    void badEscape();
    void logEntryRoundTrip();
};

// options: "atu" fitted, "noconfirm", "silent", "afterN", "calN".
static AmpCore makeCore(const QString &options) {
    AmpCore core;
    for (const QString &o : options.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (o == QLatin1String("atu"))
            core.state.atuFitted = true;
        else if (o == QLatin1String("noconfirm"))
            core.confirmSwitches = false;
        else if (o == QLatin1String("silent"))
            core.silent = true;
        else if (o.startsWith(QLatin1String("after")))
            core.ignoreQueries = o.mid(5).toInt();
        else if (o.startsWith(QLatin1String("cal")))
            core.state.cal = o.mid(3).toInt();
    }
    return core;
}

void TestSimCore::protocol_data() {
    QTest::addColumn<QString>("options");
    QTest::addColumn<Lines>("sent");
    QTest::addColumn<Lines>("expected");

    QTest::newRow("identification") << QString() << Lines{"PA?"} << Lines{"PA_QZ9QZ"};
    QTest::newRow("near misses of PA?")
        << QString() << Lines{"PA", "pa?", "PA? ", " PA?", "PA?\n"} << Lines{};
    QTest::newRow("start-up burst")
        << QString() << Lines{"B?",  "InPower?", "T?",   "ALM?", "ALC_PWM?", "F?",       "I?",
                              "LB?", "CAL?",     "BAR?", "TOT?", "Ver?",     "ATU_INST?"}
        << Lines{"B: 3", "InPower: 1", "T: 35",  "ALM: 1", "ALC_PWM: 100", "F: 3",
                 "I: 5", "CAL: 200",   "BAR: 3", "TOT: 1", "Ver: 3.30",    "ATU_INST: 0"};
    QTest::newRow("tuner queries")
        << QStringLiteral("atu") << Lines{"ATU_INST?", "ATU_STATE?", "SWRmin?"}
        << Lines{"ATU_INST: 1", "ATU_STATE: 0", "SWRmin: 14"};
    QTest::newRow("not calibrated")
        << QStringLiteral("cal255") << Lines{"CAL?"} << Lines{"CAL: 255"};
    QTest::newRow("silent probes")
        << QString() << Lines{"LB?", "???", "", "CMEM", "hello"} << Lines{};

    QTest::newRow("band") << QString() << Lines{"B: 7", "B?"} << Lines{"B: 7", "B: 7"};
    QTest::newRow("alarm sound") << QString() << Lines{"ALM: 3", "ALM?"}
                                 << Lines{"ALM: 3", "ALM: 3"};
    QTest::newRow("alc") << QString() << Lines{"ALC_PWM: 108", "ALC_PWM?"}
                         << Lines{"ALC_PWM: 108", "ALC_PWM: 108"};
    QTest::newRow("alc zero and top")
        << QString() << Lines{"ALC_PWM: 0", "ALC_PWM: 255"} << Lines{"ALC_PWM: 0", "ALC_PWM: 255"};
    QTest::newRow("fan") << QString() << Lines{"F: 2", "F?"} << Lines{"F: 2", "F: 2"};
    QTest::newRow("interface") << QString() << Lines{"I: 7", "I?"} << Lines{"I: 7", "I: 7"};
    QTest::newRow("bar speed") << QString() << Lines{"BAR: 4", "BAR?"} << Lines{"BAR: 4", "BAR: 4"};
    QTest::newRow("tot") << QString() << Lines{"TOT: 2", "TOT?"} << Lines{"TOT: 2", "TOT: 2"};
    QTest::newRow("swr min") << QString() << Lines{"SWRmin: 17", "SWRmin: 11", "SWRmin?"}
                             << Lines{"SWRmin: 17", "SWRmin: 11", "SWRmin: 11"};

    QTest::newRow("settings out of range are ignored")
        << QString() << Lines{"B: 8",   "B: 0",   "F: 5",         "I: 0",       "BAR: 9",
                              "TOT: 0", "ALM: 4", "ALC_PWM: 256", "SWRmin: 10", "SWRmin: 18",
                              "B?",     "F?",     "ALC_PWM?",     "SWRmin?"}
        << Lines{"B: 3", "F: 3", "ALC_PWM: 100", "SWRmin: 14"};
    QTest::newRow("malformed settings are ignored")
        << QString()
        << Lines{"F: x", "F: ", "F: 2 ", "F:2", "F: -2", "F: +2", "B: 3x", "f: 2", "F?"}
        << Lines{"F: 3"};
    QTest::newRow("input power and calibration are not settable")
        << QString() << Lines{"InPower: 2", "CAL: 10", "InPower?", "CAL?"}
        << Lines{"InPower: 1", "CAL: 200"};

    QTest::newRow("ptt block confirmed")
        << QString() << Lines{"BL:ON", "BL:OFF", "BL:OFF"} << Lines{"BL:ON", "BL:OFF", "BL:OFF"};
    QTest::newRow("ptt block never confirmed")
        << QStringLiteral("noconfirm") << Lines{"BL:ON", "BL:ON", "BL?"} << Lines{"BL:ON"};
    QTest::newRow("atu switch confirmed")
        << QStringLiteral("atu") << Lines{"ATU_STATE: 1", "ATU_STATE?", "ATU_STATE: 0"}
        << Lines{"ATU_STATE: 1", "ATU_STATE: 1", "ATU_STATE: 0"};
    QTest::newRow("atu switch never confirmed")
        << QStringLiteral("atu noconfirm") << Lines{"ATU_STATE: 1", "ATU_STATE?"}
        << Lines{"ATU_STATE: 1"};
    QTest::newRow("atu switch without a tuner")
        << QString() << Lines{"ATU_STATE: 1", "ATU_STATE: 2", "ATU_STATE?"}
        << Lines{"ATU_STATE: 0"};

    QTest::newRow("silent amplifier")
        << QStringLiteral("silent atu") << Lines{"PA?", "B?", "BL:ON", "F: 2", "ATU_STATE: 1"}
        << Lines{};
    QTest::newRow("answer after two queries")
        << QStringLiteral("after2") << Lines{"PA?", "PA?", "PA?", "PA?"}
        << Lines{"PA_QZ9QZ", "PA_QZ9QZ"};
    QTest::newRow("only answerable queries are counted")
        << QStringLiteral("after2") << Lines{"LB?", "???", "", "F: 2", "PA?", "B?", "PA?"}
        << Lines{"F: 2", "PA_QZ9QZ"};
}

void TestSimCore::protocol() {
    QFETCH(QString, options);
    QFETCH(Lines, sent);
    QFETCH(Lines, expected);

    AmpCore core = makeCore(options);
    Lines answers;
    for (const QByteArray &line : sent) {
        const Reply reply = core.handleLine(line);
        QVERIFY(!reply.startTune);
        answers += reply.lines;
    }
    QCOMPARE(answers, expected);
}

void TestSimCore::tuneRequest_data() {
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<int>("atuState");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<bool>("fine");
    QTest::addColumn<Lines>("answer");

    QTest::newRow("tune in line") << true << 1 << QByteArray("TUNE ON") << true << false << Lines{};
    QTest::newRow("fine in line") << true << 1 << QByteArray("TUNE FINE") << true << true
                                  << Lines{};
    QTest::newRow("tune bypassed")
        << true << 0 << QByteArray("TUNE ON") << false << false << Lines{"TUNE OFF"};
    QTest::newRow("tune without tuner")
        << false << 1 << QByteArray("TUNE ON") << false << false << Lines{};
    QTest::newRow("lower case") << true << 1 << QByteArray("tune on") << false << false << Lines{};
}

void TestSimCore::tuneRequest() {
    QFETCH(bool, fitted);
    QFETCH(int, atuState);
    QFETCH(QByteArray, line);
    QFETCH(bool, starts);
    QFETCH(bool, fine);
    QFETCH(Lines, answer);

    AmpCore core;
    core.state.atuFitted = fitted;
    core.state.atuState = atuState;
    const Reply reply = core.handleLine(line);
    QCOMPARE(reply.startTune, starts);
    QCOMPARE(reply.fineTune, fine);
    QCOMPARE(reply.lines, answer);
}

void TestSimCore::setValue_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("query"); // empty when the value is refused
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("band") << QByteArray("band") << QByteArray("7") << QByteArray("B?")
                          << QByteArray("B: 7");
    QTest::newRow("input power") << QByteArray("inpower") << QByteArray("2")
                                 << QByteArray("InPower?") << QByteArray("InPower: 2");
    QTest::newRow("cal") << QByteArray("cal") << QByteArray("0") << QByteArray("CAL?")
                         << QByteArray("CAL: 0");
    QTest::newRow("temperature text")
        << QByteArray("temp") << QByteArray("100") << QByteArray("T?") << QByteArray("T: 100");
    QTest::newRow("version") << QByteArray("version") << QByteArray("3.30x2") << QByteArray("Ver?")
                             << QByteArray("Ver: 3.30x2");
    QTest::newRow("atu fitted") << QByteArray("atu") << QByteArray("1") << QByteArray("ATU_INST?")
                                << QByteArray("ATU_INST: 1");
    QTest::newRow("atu state") << QByteArray("atustate") << QByteArray("1")
                               << QByteArray("ATU_STATE?") << QByteArray("ATU_STATE: 1");
    QTest::newRow("band too high")
        << QByteArray("band") << QByteArray("8") << QByteArray() << QByteArray();
    QTest::newRow("cal not a number")
        << QByteArray("cal") << QByteArray("x") << QByteArray() << QByteArray();
    QTest::newRow("atu not 0 or 1")
        << QByteArray("atu") << QByteArray("yes") << QByteArray() << QByteArray();
    QTest::newRow("empty version")
        << QByteArray("version") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("unknown name") << QByteArray("colour") << QByteArray("1") << QByteArray()
                                  << QByteArray();
    QTest::newRow("bad tune result")
        << QByteArray("tuneresult") << QByteArray("great") << QByteArray() << QByteArray();
}

void TestSimCore::setValue() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);

    AmpCore core;
    const AmpState before = core.state;
    const QString error = core.setValue(name, value);
    if (query.isEmpty()) {
        QVERIFY(!error.isEmpty());
        QVERIFY(!error.contains(QLatin1Char('\n')));
        QCOMPARE(core.state.band, before.band);
        QCOMPARE(core.state.cal, before.cal);
        QCOMPARE(core.state.version, before.version);
        QCOMPARE(core.state.atuFitted, before.atuFitted);
    } else {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(core.handleLine(query).lines, Lines{answer});
    }
}

void TestSimCore::framer_data() {
    QTest::addColumn<Lines>("chunks");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QByteArray>("pending");

    QTest::newRow("one line") << Lines{"PA?\r\n"} << Lines{"PA?"} << QByteArray();
    QTest::newRow("LF in the next chunk")
        << Lines{"PA?\r", "\nB?\r\n"} << Lines{"PA?", "B?"} << QByteArray();
    QTest::newRow("bare lines") << Lines{"\r\n\r\n", "\r\n"} << Lines{"", "", ""} << QByteArray();
    QTest::newRow("byte by byte") << Lines{"F", ":", " ", "2", "\r", "\n"} << Lines{"F: 2"}
                                  << QByteArray();
    QTest::newRow("CR alone ends a line") << Lines{"A\rB\r\n"} << Lines{"A", "B"} << QByteArray();
    QTest::newRow("two CRs") << Lines{"\r\r\n"} << Lines{"", ""} << QByteArray();
    QTest::newRow("LF alone stays in the line")
        << Lines{"A\nB\r\n"} << Lines{"A\nB"} << QByteArray();
    QTest::newRow("NUL and high bytes kept")
        << Lines{QByteArray("X\0\xff\xb5Y\r\n", 7)} << Lines{QByteArray("X\0\xff\xb5Y", 5)}
        << QByteArray();
    QTest::newRow("unfinished line waits") << Lines{"B?\r\nT"} << Lines{"B?"} << QByteArray("T");
}

void TestSimCore::framer() {
    QFETCH(Lines, chunks);
    QFETCH(Lines, lines);
    QFETCH(QByteArray, pending);

    LineFramer framer;
    Lines got;
    for (const QByteArray &chunk : chunks)
        got += framer.feed(chunk);
    QCOMPARE(got, lines);
    QCOMPARE(framer.pending(), pending);
    framer.reset();
    QCOMPARE(framer.feed("\nX\r\n"), Lines{"\nX"}); // reset forgets the pending LF drop too
}

void TestSimCore::escape_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("escaped");

    QTest::newRow("plain") << QByteArray("O: 850") << QByteArray("O: 850");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("line end") << QByteArray("PA?\r\n") << QByteArray("PA?\\r\\n");
    QTest::newRow("backslash") << QByteArray("a\\b") << QByteArray("a\\\\b");
    QTest::newRow("binary") << QByteArray("\0\x7f\xb5\xff\t", 5)
                            << QByteArray("\\x00\\x7f\\xb5\\xff\\t");
}

void TestSimCore::escape() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, escaped);
    QCOMPARE(escapeBytes(bytes), escaped);
    QByteArray back;
    QVERIFY(unescapeBytes(escaped, &back));
    QCOMPARE(back, bytes);
}

void TestSimCore::badEscape_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("short hex") << QByteArray("\\x4");
    QTest::newRow("bad hex") << QByteArray("\\xg0");
    QTest::newRow("unknown escape") << QByteArray("\\q");
    QTest::newRow("trailing backslash") << QByteArray("abc\\");
}

void TestSimCore::badEscape() {
    QFETCH(QByteArray, text);
    QByteArray bytes("untouched");
    QVERIFY(!unescapeBytes(text, &bytes));
    QCOMPARE(bytes, QByteArray("untouched"));
}

void TestSimCore::logEntryRoundTrip() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    const QTime time(23, 59, 58, 7);
    for (const QByteArray &bytes : {QByteArray(), QByteArray(" lead"), all}) {
        const QByteArray entry = logEntry(time, LogKind::Received, bytes);
        QVERIFY(entry.startsWith("23:59:58.007 < "));
        QVERIFY(!entry.contains('\n'));
        LogRecord record;
        QVERIFY(parseLogEntry(entry, &record));
        QCOMPARE(record.kind, LogKind::Received);
        QCOMPARE(record.time, time);
        QCOMPARE(record.bytes, bytes);
    }
    LogRecord record;
    QVERIFY(parseLogEntry("12:00:00.000 <", &record)); // trailing blank trimmed away
    QCOMPARE(record.bytes, QByteArray());
    QVERIFY(!parseLogEntry("12:00:00.000 ? x", &record));
    QVERIFY(!parseLogEntry("garbage", &record));
    QVERIFY(!parseLogEntry("12:00:00.000 < \\q", &record));
}

QTEST_GUILESS_MAIN(TestSimCore)
#include "tst_simcore.moc"
