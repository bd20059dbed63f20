// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes to text and back, line framing across chunks and on the clock, and
// the value rules of the reports that the dispatcher's table does not reach
// row by row.
#include "link/LineFramer.h"
#include "link/Protocol.h"
#include "link/Reports.h"

#include <QTest>

using Reports::TempRange;

class TestReports : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void latin1RoundTrip();
    void framing_data();
    void framing();
    void overlongLineIsDroppedOnce();
    void toInt_data();
    void toInt();
    void swr_data();
    void swr();
    void temperature_data();
    void temperature();
};

void TestReports::latin1RoundTrip() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = Protocol::FromLine(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0).unicode(), ushort(0));
    QCOMPARE(text.at(0xE9).unicode(), ushort(0xE9));
    QCOMPARE(Protocol::ToLine(text), all);
    QCOMPARE(Protocol::ReceivedEcho(QByteArray("A\0B", 3)).size(), 5);
}

// Chunks (at 0 ms, or at the times given), the lines they complete, the
// unfinished lines dropped because their rest came too late, what is held.
void TestReports::framing_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QByteArray>>("dropped");
    QTest::addColumn<QByteArray>("held");
    using L = QList<QByteArray>;
    using T = QList<qint64>;
    const qint64 bound = LineFramer::JoinWithinMs;
    QTest::newRow("rest after the bound: the fragment dropped, the line whole")
        << L{"R: 5", "TX: OFF\r\n"} << T{0, 2000} << L{"TX: OFF"} << L{"R: 5"} << QByteArray();
    QTest::newRow("rest within the bound: joined")
        << L{"R: ", "5\r\n"} << T{0, bound} << L{"R: 5"} << L{} << QByteArray();
    QTest::newRow("just after the bound")
        << L{"R: ", "5\r\n"} << T{0, bound + 1} << L{"5"} << L{"R: "} << QByteArray();
    QTest::newRow("the bound counts from the last part")
        << L{"T", ": 4", "5\r\n"} << T{0, bound, 2 * bound} << L{"T: 45"} << L{} << QByteArray();
    QTest::newRow("a late fragment starts a new unfinished line")
        << L{"O: 1", "O: 2"} << T{0, 1000} << L{} << L{"O: 1"} << QByteArray("O: 2");
    QTest::newRow("an LF after a CR still belongs to it")
        << L{"O: 5\r", "\nR: 1\r\n"} << T{0, 1000} << L{"O: 5", "R: 1"} << L{} << QByteArray();
    QTest::newRow("two lines") << L{"O: 500\r\nR: 1\r\n"} << T{} << L{"O: 500", "R: 1"} << L{}
                               << QByteArray();
    QTest::newRow("tail carried over")
        << L{"O: 500\r\nR: ", "12\r\n"} << T{} << L{"O: 500", "R: 12"} << L{} << QByteArray();
    QTest::newRow("no CR is held, not an empty line")
        << L{"T: 4"} << T{} << L{} << L{} << QByteArray("T: 4");
    QTest::newRow("split over three")
        << L{"T", ": 4", "5\r\n"} << T{} << L{"T: 45"} << L{} << QByteArray();
    QTest::newRow("LF at chunk start dropped")
        << L{"O: 5\r", "\nR: 1\r\n"} << T{} << L{"O: 5", "R: 1"} << L{} << QByteArray();
    QTest::newRow("non-LF after chunk CR kept")
        << L{"O: 5\r", "R: 1\r\n"} << T{} << L{"O: 5", "R: 1"} << L{} << QByteArray();
    QTest::newRow("empty lines") << L{"A\r\n\r\nB\r\n"} << T{} << L{"A", "", "B"} << L{}
                                 << QByteArray();
    QTest::newRow("LF dropped only once")
        << L{"A\r", "\n", "\nB\r\n"} << T{} << L{"A", "\nB"} << L{} << QByteArray();
    QTest::newRow("NUL and high bytes kept")
        << L{QByteArray("T: \x00\xB5\xFF\r\n", 8)} << T{} << L{QByteArray("T: \x00\xB5\xFF", 6)}
        << L{} << QByteArray();
}

void TestReports::framing() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, dropped);
    QFETCH(QByteArray, held);
    LineFramer framer;
    QList<QByteArray> got;
    QList<QByteArray> gone;
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        const LineFramer::Result r = framer.Feed(chunks.at(i), times.value(i, 0));
        QCOMPARE(r.discarded, 0);
        got += r.lines;
        if (!r.dropped.isEmpty())
            gone << r.dropped;
    }
    QCOMPARE(got, lines);
    QCOMPARE(gone, dropped);
    QCOMPARE(framer.Held(), held);
}

void TestReports::overlongLineIsDroppedOnce() {
    LineFramer framer;
    QCOMPARE(framer.Feed(QByteArray(LineFramer::MaxHeld, 'x'), 0).discarded,
             0); // at the limit: held
    QCOMPARE(framer.Feed("yy", 0).discarded, LineFramer::MaxHeld + 2);
    QVERIFY(framer.Held().isEmpty());
    // More of the same line: neither held nor reported again; its end is
    // dropped with it and the next line is whole.
    QCOMPARE(framer.Feed(QByteArray(10000, 'z'), 0).discarded, 0);
    QVERIFY(framer.Held().isEmpty());
    QCOMPARE(framer.Feed("zz\r\nO: 5\r\n", 0).lines, QList<QByteArray>{"O: 5"});
    // A long line that ends within its chunk is a line, not garbage.
    const QByteArray longLine(LineFramer::MaxHeld * 2, 'a');
    const LineFramer::Result r = framer.Feed(longLine + "\r\n", 0);
    QCOMPARE(r.discarded, 0);
    QCOMPARE(r.lines, QList<QByteArray>{longLine});
    // An overlong line that stops without its CR: what comes after the
    // bound is a new line, not its end.
    framer.Feed(QByteArray(LineFramer::MaxHeld + 1, 'w'), 0);
    const LineFramer::Result later = framer.Feed("O: 6\r\n", LineFramer::JoinWithinMs + 1);
    QCOMPARE(later.lines, QList<QByteArray>{"O: 6"});
    QVERIFY(later.dropped.isEmpty());
    // Reset forgets a partial line.
    framer.Feed("O: 1", 0);
    framer.Reset();
    QCOMPARE(framer.Feed("R: 2\r\n", 0).lines, QList<QByteArray>{"R: 2"});
}

void TestReports::toInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("signs, leading blanks") << QStringLiteral("  -12") << true << -12;
    QTest::newRow("plus") << QStringLiteral("+7") << true << 7;
    QTest::newRow("max") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("overflow") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << false << 0;
    QTest::newRow("trailing blank") << QStringLiteral("5 ") << false << 0;
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

// The tuner's SWR in tenths: the number and its text agree.
void TestReports::swr_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    const std::pair<const char *, const char *> rows[] = {
        {"15", "1.5"},  {"10", "1.0"},  {"123", "12.3"}, {"100", "10.0"}, {" 15", "1.5"},
        {"15 ", "1.5"}, {"015", "1.5"}, {"255", "???"},  {"", "???"},     {"9", "???"},
        {"1x", "???"},  {"-15", "???"}, {"1.5", "???"}};
    for (const auto &[value, text] : rows)
        QTest::newRow(value) << QString::fromLatin1(value) << QString::fromLatin1(text);
}

void TestReports::swr() {
    QFETCH(QString, value);
    QFETCH(QString, text);
    QCOMPARE(Reports::SwrText(value), text);
    const std::optional<double> swr = Reports::SwrValue(value);
    QCOMPARE(swr ? QString::number(*swr, 'f', 1) : QStringLiteral("???"), text);
}

void TestReports::temperature_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<TempRange>("range");
    const std::pair<const char *, TempRange> rows[] = {
        {"39", TempRange::Cool},
        {"40", TempRange::Warm},
        {"60", TempRange::Hot},
        {"59", TempRange::Warm},
        {"74", TempRange::Hot},
        {"75", TempRange::Alarm},
        // Numbers compare as numbers: a hot amplifier is never green.
        {"100", TempRange::Alarm},
        {"5", TempRange::Cool},
        {"-3", TempRange::Cool},
        // Fractions compare as numbers too.
        {"39.5", TempRange::Cool},
        {"100.5", TempRange::Alarm},
        {"74.9", TempRange::Hot},
        {" 8.0", TempRange::Cool},
        // Text that is not a number keeps the text order.
        {"1.2.3", TempRange::Cool},
        {"5C", TempRange::Warm},
        {"??", TempRange::Alarm},
        {"", TempRange::Cool}};
    for (const auto &[value, range] : rows)
        QTest::newRow(value) << QString::fromLatin1(value) << range;
}

void TestReports::temperature() {
    QFETCH(QString, value);
    QFETCH(TempRange, range);
    QCOMPARE(Reports::TemperatureRange(value), range);
}

QTEST_GUILESS_MAIN(TestReports)
#include "tst_reports.moc"
