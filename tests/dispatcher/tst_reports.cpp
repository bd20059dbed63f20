// Line framing across chunks and the value rules of the reports, without
// any window.
#include "app/LineFramer.h"
#include "app/Reports.h"

#include <QLocale>
#include <QTest>

using Reports::TempRange;

class TestReports : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framing_data();
    void framing();
    void overlongLineIsDroppedOnce();
    void bytesKeptAsReceived();
    void toInt_data();
    void toInt();
    void temperature_data();
    void temperature();
    void firmwareVersion_data();
    void firmwareVersion();
    void relays_data();
    void relays();
    void relayWithNonDigit();
    void captions();
    void swrText_data();
    void swrText();
};

void TestReports::framing_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("held");
    using L = QList<QByteArray>;
    QTest::newRow("one line") << L{"O: 850\r\n"} << L{"O: 850"} << QByteArray();
    QTest::newRow("two lines") << L{"O: 500\r\nR: 1\r\n"} << L{"O: 500", "R: 1"} << QByteArray();
    QTest::newRow("tail kept") << L{"O: 500\r\nR: 1"} << L{"O: 500"} << QByteArray("R: 1");
    QTest::newRow("tail completed")
        << L{"O: 500\r\nR: ", "12\r\n"} << L{"O: 500", "R: 12"} << QByteArray();
    QTest::newRow("no CR is held, not an empty line") << L{"T: 4"} << L{} << QByteArray("T: 4");
    QTest::newRow("split over three") << L{"T", ": 4", "5\r\n"} << L{"T: 45"} << QByteArray();
    QTest::newRow("LF of previous chunk dropped")
        << L{"O: 5\r", "\nR: 1\r\n"} << L{"O: 5", "R: 1"} << QByteArray();
    QTest::newRow("non-LF after chunk CR kept")
        << L{"O: 5\r", "R: 1\r\n"} << L{"O: 5", "R: 1"} << QByteArray();
    QTest::newRow("bare CR LF is an empty line") << L{"\r\n"} << L{""} << QByteArray();
    QTest::newRow("empty lines between") << L{"A\r\n\r\nB\r\n"} << L{"A", "", "B"} << QByteArray();
    QTest::newRow("LF only once") << L{"A\r", "\n", "\nB\r\n"} << L{"A", "\nB"} << QByteArray();
    QTest::newRow("empty chunk") << L{""} << L{} << QByteArray();
}

void TestReports::framing() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, held);
    LineFramer framer;
    QList<QByteArray> got;
    for (const QByteArray &c : chunks) {
        const LineFramer::Result r = framer.Feed(c);
        QCOMPARE(r.discarded, 0);
        got += r.lines;
    }
    QCOMPARE(got, lines);
    QCOMPARE(framer.Held(), held);
}

void TestReports::overlongLineIsDroppedOnce() {
    LineFramer framer;
    const QByteArray garbage(LineFramer::MaxHeld, 'x');
    LineFramer::Result r = framer.Feed(garbage);
    QCOMPARE(r.discarded, 0); // exactly at the limit: still held
    r = framer.Feed("yy");
    QCOMPARE(r.discarded, LineFramer::MaxHeld + 2);
    QVERIFY(framer.Held().isEmpty());
    // More of the same line: neither held nor reported again.
    r = framer.Feed(QByteArray(10000, 'z'));
    QCOMPARE(r.discarded, 0);
    QVERIFY(framer.Held().isEmpty());
    // Its end is dropped with it; the next line is whole.
    r = framer.Feed("zz\r\nO: 5\r\n");
    QCOMPARE(r.lines, QList<QByteArray>{"O: 5"});
    // A long line that ends within its chunk is a line, not garbage.
    const QByteArray longLine(LineFramer::MaxHeld * 2, 'a');
    r = framer.Feed(longLine + "\r\n");
    QCOMPARE(r.discarded, 0);
    QCOMPARE(r.lines, QList<QByteArray>{longLine});
    // Reset forgets a partial line.
    framer.Feed("O: 1");
    framer.Reset();
    QCOMPARE(framer.Feed("R: 2\r\n").lines, QList<QByteArray>{"R: 2"});
}

void TestReports::bytesKeptAsReceived() {
    LineFramer framer;
    const QByteArray line("T: \x00\xB5\xFF", 6);
    const LineFramer::Result r = framer.Feed(line + "\r\n");
    QCOMPARE(r.lines.size(), 1);
    QCOMPARE(r.lines.at(0), line);
}

void TestReports::toInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QStringLiteral("850") << true << 850;
    QTest::newRow("negative") << QStringLiteral("-12") << true << -12;
    QTest::newRow("plus") << QStringLiteral("+7") << true << 7;
    QTest::newRow("leading blanks") << QStringLiteral("  15") << true << 15;
    QTest::newRow("max") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("min") << QStringLiteral("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("overflow") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("huge") << QStringLiteral("99999999999999999999") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("blank") << QStringLiteral(" ") << false << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << false << 0;
    QTest::newRow("trailing blank") << QStringLiteral("5 ") << false << 0;
    QTest::newRow("letters") << QStringLiteral("x") << false << 0;
    QTest::newRow("decimal point") << QStringLiteral("3.5") << false << 0;
    QTest::newRow("NUL") << QString(QChar(0)) << false << 0;
}

void TestReports::toInt() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const std::optional<int> n = Reports::ToInt(text);
    QCOMPARE(n.has_value(), ok);
    if (ok)
        QCOMPARE(*n, value);
}

void TestReports::temperature_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<TempRange>("range");
    QTest::newRow("39") << QStringLiteral("39") << TempRange::Cool;
    QTest::newRow("40") << QStringLiteral("40") << TempRange::Warm;
    QTest::newRow("45") << QStringLiteral("45") << TempRange::Warm;
    QTest::newRow("60") << QStringLiteral("60") << TempRange::Hot;
    QTest::newRow("74") << QStringLiteral("74") << TempRange::Hot;
    QTest::newRow("75") << QStringLiteral("75") << TempRange::Alarm;
    // Numbers compare as numbers: a hot amplifier is never green.
    QTest::newRow("100") << QStringLiteral("100") << TempRange::Alarm;
    QTest::newRow("5") << QStringLiteral("5") << TempRange::Cool;
    QTest::newRow("-3") << QStringLiteral("-3") << TempRange::Cool;
    // Text that is not a number keeps the text order.
    QTest::newRow("text 39.5") << QStringLiteral("39.5") << TempRange::Cool;
    QTest::newRow("text 5C") << QStringLiteral("5C") << TempRange::Warm;
    QTest::newRow("text ??") << QStringLiteral("??") << TempRange::Alarm;
    QTest::newRow("text empty") << QString() << TempRange::Cool;
    QTest::newRow("text abc") << QStringLiteral("abc") << TempRange::Alarm;
}

void TestReports::temperature() {
    QFETCH(QString, value);
    QFETCH(TempRange, range);
    QCOMPARE(Reports::TemperatureRange(value), range);
}

void TestReports::firmwareVersion_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("fine");
    QTest::newRow("3.30") << QStringLiteral("3.30") << true;
    QTest::newRow("3.3") << QStringLiteral("3.3") << true;
    QTest::newRow("3.29") << QStringLiteral("3.29") << true;
    QTest::newRow("3.28") << QStringLiteral("3.28") << false;
    QTest::newRow("3.100") << QStringLiteral("3.100") << false;
    QTest::newRow("3.28a") << QStringLiteral("3.28a") << true;
    QTest::newRow("3.30x2") << QStringLiteral("3.30x2") << true;
    QTest::newRow("10.0") << QStringLiteral("10.0") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("byte above 127") << QString(QChar(0xE9)) << true;
}

void TestReports::firmwareVersion() {
    QFETCH(QString, version);
    QFETCH(bool, fine);
    QCOMPARE(Reports::FineTuningAllowed(version), fine);
}

void TestReports::relays_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("padded");
    QTest::addColumn<double>("microHenry");
    QTest::addColumn<double>("picoFarad");
    QTest::newRow("short") << QStringLiteral("101") << QStringLiteral("00000101") << 0.2 << 25.0;
    QTest::newRow("nine ones") << QStringLiteral("111111111") << QStringLiteral("11111111") << 10.2
                               << 1275.0;
    QTest::newRow("leading blank")
        << QStringLiteral(" 00000001") << QStringLiteral("00000001") << 0.04 << 5.0;
    QTest::newRow("top bit") << QStringLiteral("10000000") << QStringLiteral("10000000") << 5.12
                             << 640.0;
    QTest::newRow("empty") << QString() << QStringLiteral("00000000") << 0.0 << 0.0;
    QTest::newRow("digit 2") << QStringLiteral("2") << QStringLiteral("00000002") << 0.08 << 10.0;
}

void TestReports::relays() {
    QFETCH(QString, field);
    QFETCH(QString, padded);
    QFETCH(double, microHenry);
    QFETCH(double, picoFarad);
    const QString v = Reports::PadRelays(field);
    QCOMPARE(v, padded);
    QCOMPARE(*Reports::RelaySum(v, Reports::InductanceUnit), microHenry);
    QCOMPARE(*Reports::RelaySum(v, Reports::CapacitanceUnit), picoFarad);
}

void TestReports::relayWithNonDigit() {
    QVERIFY(!Reports::RelaySum(QStringLiteral("0000x001"), Reports::InductanceUnit));
    QVERIFY(!Reports::RelaySum(QStringLiteral("0000 001"), Reports::InductanceUnit));
}

void TestReports::captions() {
    const QString sep = QLocale::system().decimalPoint();
    QCOMPARE(Reports::InductanceCaption(0.2),
             QStringLiteral("0") + sep + QStringLiteral("2 ") + QChar(0xB5) + QStringLiteral("H"));
    QCOMPARE(Reports::InductanceCaption(10.2),
             QStringLiteral("10") + sep + QStringLiteral("2 ") + QChar(0xB5) + QStringLiteral("H"));
    QCOMPARE(Reports::InductanceCaption(0),
             QStringLiteral("0 ") + QChar(0xB5) + QStringLiteral("H"));
    // No group separator, no exponent, no trailing zeros.
    QCOMPARE(Reports::CapacitanceCaption(11475), QStringLiteral("11475 pF"));
    QCOMPARE(Reports::CapacitanceCaption(1275), QStringLiteral("1275 pF"));
    // A sum of binary fractions shows as the decimal the operator expects.
    const double l = *Reports::RelaySum(QStringLiteral("00000111"), Reports::InductanceUnit);
    QCOMPARE(Reports::GeneralDecimal(l), QStringLiteral("0") + sep + QStringLiteral("28"));
}

void TestReports::swrText_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("15") << QStringLiteral("15") << QStringLiteral("1.5");
    QTest::newRow("9") << QStringLiteral("9") << QStringLiteral("9.0");
    QTest::newRow("123") << QStringLiteral("123") << QStringLiteral("1.0");
    QTest::newRow("255") << QStringLiteral("255") << QStringLiteral("???");
    QTest::newRow("blank digit") << QStringLiteral(" 9") << QStringLiteral(" .9");
    QTest::newRow("empty") << QString() << QStringLiteral("???");
}

void TestReports::swrText() {
    QFETCH(QString, value);
    QFETCH(QString, text);
    QCOMPARE(Reports::SwrText(value), text);
}

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
