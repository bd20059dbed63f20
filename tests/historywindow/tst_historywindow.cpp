// SPDX-License-Identifier: GPL-3.0-or-later
// The History window on an evening written by the recorder: the CSV equals
// the rows sqlite3 reads, markers and events at their times, the text
// alternative, zoom, pan and live view, one column per pixel.
#include "history/HistoryStore.h"
#include "historywindow/HistoryWindow.h"
#include "historywindow/Plot.h"
#include "tests/common/HistoryFiles.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {
constexpr qint64 T0 = 1700000000; // seconds
}

class TestHistoryWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void csvEqualsRows_data();
    void csvEqualsRows();
    void markersAndEvents();
    void summary();
    void keyboardAndLive();
    void columnsPerPixel_data();
    void columnsPerPixel();
    void legendApart_data();
    void legendApart();
    void datesAndPicture();

private:
    QTemporaryDir dir;
    QString file;
    qint64 now = 0; // ms
    HistoryStore store;
    HistoryWindow window;
};

// An evening: transmitting on band 3 with an SWR alarm, on band 5, the
// port lost and back, a silent spell, then idle.
void TestHistoryWindow::initTestCase() {
    file = dir.filePath(QStringLiteral("history.sqlite"));
    now = T0 * 1000;
    store.SetClock([this] { return now; });
    QCOMPARE(store.Open(file), HistoryStore::State::Recording);
    store.FlushTimer()->stop();
    auto until = [this](qint64 second, const std::function<HistorySample(qint64)> &sample) {
        for (; now < (T0 + second) * 1000; now += 100) {
            store.Record(sample(now / 100 % 6000));
            if (now % 1000 == 0)
                store.Flush();
        }
    };
    // The link tells its events as they happen.
    auto note = [this](const QString &kind, int band, std::optional<double> power = {},
                       const QString &detail = {}) {
        store.Note({kind, detail, band, power});
    };
    namespace K = HistoryEventKind;
    note(K::Opened, 0);
    until(60, [](qint64) { return Rx(35); });
    note(K::TransmitOn, 3, 600);
    until(300, [](qint64 i) { return Tx(600 + double(i % 37) * 10, 20 + double(i % 5)); });
    note(K::AlarmStart, 3, 900, QStringLiteral("High reverse power"));
    until(310, [](qint64 i) { return Tx(900, 200 + double(i % 3), 3, 1u << 3); });
    note(K::AlarmEnd, 3, 800, QStringLiteral("High reverse power"));
    until(700, [](qint64 i) { return Tx(800 + double(i % 11), 30); });
    note(K::Band, 5, 400, QStringLiteral("3"));
    until(1100, [](qint64 i) { return Tx(400 + double(i % 13), 15, 5); });
    note(K::Lost, 5);
    until(1200, [](qint64) { return Link(HistoryLink::Waiting); });
    note(K::Back, 5);
    until(1300, [](qint64) { return Rx(45, 5); });
    note(K::NoAnswer, 5);
    until(1400, [](qint64) { return Link(HistoryLink::NoAnswer); });
    note(K::Back, 5);
    until(3600, [](qint64 i) { return Rx(45 - double(i % 300) / 100, 5); });
    store.Flush();
    window.SetClock([this] { return now; });
    window.resize(1000, 800);
    window.show();
    window.SetFile(file);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.LiveTimer()->stop();
}

void TestHistoryWindow::csvEqualsRows_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("1 h") << 0.0 << 0.0;
    QTest::newRow("the alarm, a dragged range") << double(T0 + 295) << double(T0 + 320);
    QTest::newRow("across the loss") << double(T0 + 1050) << double(T0 + 1350.5);
}

void TestHistoryWindow::csvEqualsRows() {
    QFETCH(double, from);
    QFETCH(double, to);
    if (to == 0)
        window.ShowSpan(3600);
    else
        window.ShowRange(from, to);
    const QString csv = dir.filePath(QStringLiteral("span.csv"));
    QVERIFY(window.ExportCsv(csv));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.takeFirst().startsWith(
        QStringLiteral("time,output min (W),output max (W),output (W),")));
    const QString sql = QStringLiteral(
        "SELECT t, output_min, output_max, output, reflected_min, reflected_max, reflected, peak,"
        " swr_min, swr_max, swr, temperature, band, flags & 1, (flags & 2) / 2 FROM readings"
        " WHERE t >= %1 AND t <= %2");
    const QStringList rows =
        Sqlite(file, sql.arg(qint64(std::ceil(window.From()))).arg(qint64(std::floor(window.To()))))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(rows.size() > 5);
    QCOMPARE(lines.size(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList want = rows[i].split(QLatin1Char('|')),
                          got = lines[i].split(QLatin1Char(','));
        QCOMPARE(QDateTime::fromString(got[0], Qt::ISODate).toSecsSinceEpoch(),
                 want[0].toLongLong());
        for (int c = 1; c < want.size(); ++c)
            QVERIFY2(got[c].isEmpty() == want[c].isEmpty() &&
                         qFuzzyCompare(got[c].toDouble() + 1, want[c].toDouble() + 1),
                     qPrintable(lines[i] + QStringLiteral(" against ") + rows[i]));
    }
}

// A marker for each alarm, band change and connection event, at its time,
// with its text within a few pixels; the event list holds every event with
// the alarm's duration, and sorts.
void TestHistoryWindow::markersAndEvents() {
    window.ShowRange(T0, T0 + 3600);
    QCoreApplication::processEvents();
    window.Plot()->replot();
    const QStringList marked =
        Sqlite(file, QStringLiteral("SELECT t_ms / 1000.0, kind FROM events WHERE kind NOT IN "
                                    "('transmit on', 'transmit off', 'recording start', 'recording "
                                    "end') ORDER BY t_ms"))
            .split(QLatin1Char('\n'));
    const std::vector<double> times = window.MarkerTimes();
    QCOMPARE(int(times.size()), marked.size());
    QCPAxis *axis = window.Plot()->axisRect(0)->axis(QCPAxis::atBottom);
    for (int i = 0; i < marked.size(); ++i) {
        QCOMPARE(times[size_t(i)], marked[i].section(QLatin1Char('|'), 0, 0).toDouble());
        const QString text = window.MarkerTextAt(int(axis->coordToPixel(times[size_t(i)])) + 2);
        QVERIFY2(text.contains(marked[i].section(QLatin1Char('|'), 1)), qPrintable(text));
    }
    QCOMPARE(window.MarkerTextAt(int(axis->coordToPixel(T0 + 2500))), QString());
    QCOMPARE(marked.join(QLatin1Char(' ')).remove(QRegularExpression(QStringLiteral("[0-9.]+\\|"))),
             QStringLiteral("opened alarm alarm end band lost back no answer back"));
    // The list: every event in time order at first, the alarm with its ten
    // seconds; sorted by power, the highest last.
    QTreeWidget *list = window.EventTable();
    // And "recording start", "transmit on"; bands by name.
    QCOMPARE(list->topLevelItemCount(), marked.size() + 2);
    QCOMPARE(list->topLevelItem(3)->text(1), QStringLiteral("alarm: High reverse power"));
    QCOMPARE(list->topLevelItem(3)->data(4, Qt::DisplayRole).toDouble(), 10.0);
    QCOMPARE(list->topLevelItem(3)->data(3, Qt::DisplayRole).toDouble(), 900.0);
    QCOMPARE(list->topLevelItem(3)->text(2), QStringLiteral("40M"));
    list->sortItems(3, Qt::AscendingOrder);
    QCOMPARE(list->topLevelItem(list->topLevelItemCount() - 1)->data(3, Qt::DisplayRole).toDouble(),
             900.0);
    const QString csv = dir.filePath(QStringLiteral("events.csv"));
    QVERIFY(window.ExportEventsCsv(csv));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), marked.size() + 3);
    QVERIFY2(lines[4].endsWith(QStringLiteral(",alarm: High reverse power,40M,900,10")),
             qPrintable(lines[4]));
}

// The text alternative gives each series' latest, lowest, highest and mean
// over the time as the file has them (a row a second here), and the time
// on air.
void TestHistoryWindow::summary() {
    window.ShowRange(T0 + 60, T0 + 700);
    const QString text = window.Summary();
    // What sqlite3 prints is what the summary shows ("900.0" as 900, the mean
    // to a tenth as sqlite3 rounds it).
    QString output = QStringLiteral("Output: latest %1 W, lowest %2 W, highest %3 W, mean %4 W.");
    for (const QString &figure :
         Sqlite(file, QStringLiteral("SELECT (SELECT output FROM readings WHERE t = %2),"
                                     " min(output_min), max(output_max), round(avg(output), 1)"
                                     " FROM readings WHERE t >= %1 AND t < %2")
                          .arg(T0 + 60)
                          .arg(T0 + 700))
             .split(QLatin1Char('|')))
        output =
            output.arg(figure.endsWith(QLatin1String(".0")) && output.count(QLatin1Char('%')) > 1
                           ? QString::number(figure.toDouble())
                           : figure);
    QVERIFY2(text.contains(output), qPrintable(text + QStringLiteral("\n") + output));
    QVERIFY2(text.contains(QStringLiteral("Temperature: latest 41 °C")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Time transmitting 10 min 40 s of 10 min 40 s recorded")),
             qPrintable(text));
    QCOMPARE(window.Plot()->accessibleDescription(), text);
    // The values under the mouse: within the alarm, and in the silent spell.
    QVERIFY2(window.ValuesAt(T0 + 305.5).contains(QStringLiteral("output 900 W  reflected 20")),
             qPrintable(window.ValuesAt(T0 + 305.5)));
    window.ShowRange(T0 + 1250, T0 + 1450);
    QVERIFY2(window.ValuesAt(T0 + 1350).endsWith(QStringLiteral("no readings")),
             qPrintable(window.ValuesAt(T0 + 1350)));

    // Killed at 52 °C, started again 150 s later at 31 °C: no 52 °C across
    // the time nothing was recorded, and none in the mean.
    const QString killed = dir.filePath(QStringLiteral("killed.sqlite"));
    qint64 at = (T0 + 7200) * 1000;
    {
        HistoryStore before;
        before.SetClock([&at] { return at; });
        QCOMPARE(before.Open(killed), HistoryStore::State::Recording);
        for (; at < (T0 + 7210) * 1000; at += 1000) {
            before.Record(Rx(52));
            before.Flush();
        }
        for (const QString &suffix : {QString(), QStringLiteral("-wal")})
            QVERIFY(QFile::copy(killed + suffix, killed + QStringLiteral(".copy") + suffix));
    }
    HistoryStore after;
    after.SetClock([&at] { return at; });
    at = (T0 + 7360) * 1000;
    QCOMPARE(after.Open(killed + QStringLiteral(".copy")), HistoryStore::State::Recording);
    for (; at < (T0 + 7400) * 1000; at += 1000) {
        after.Record(Rx(31));
        after.Flush();
    }
    window.SetFile(killed + QStringLiteral(".copy"));
    window.ShowRange(T0 + 7200, T0 + 7400);
    QVERIFY2(window.ValuesAt(T0 + 7300).endsWith(QStringLiteral("no readings")),
             qPrintable(window.ValuesAt(T0 + 7300)));
    QVERIFY2(window.ValuesAt(T0 + 7205).contains(QStringLiteral("temperature 52 °C")),
             qPrintable(window.ValuesAt(T0 + 7205)));
    window.SetFile(file);
}

// A drag chooses a range; keys zoom and pan; Home follows the time again,
// and the live view takes rows written after it opened.
void TestHistoryWindow::keyboardAndLive() {
    window.ShowSpan(3600);
    QCPAxis *axis = window.Plot()->axisRect(0)->axis(QCPAxis::atBottom);
    const int x1 = int(axis->coordToPixel(T0 + 300)), x2 = int(axis->coordToPixel(T0 + 900));
    const int y = window.Plot()->axisRect(0)->center().y();
    QTest::mousePress(window.Plot(), Qt::LeftButton, {}, QPoint(x1, y));
    QTest::mouseMove(window.Plot(), QPoint((x1 + x2) / 2, y));
    QTest::mouseMove(window.Plot(), QPoint(x2, y));
    QTest::mouseRelease(window.Plot(), Qt::LeftButton, {}, QPoint(x2, y));
    QVERIFY2(std::abs(window.From() - (T0 + 300)) < 8 && std::abs(window.To() - (T0 + 900)) < 8,
             qPrintable(QString::number(window.From() - T0)));
    window.ShowSpan(600);
    QCOMPARE(window.To() - window.From(), 600.0);
    QTest::keyClick(window.Plot(), Qt::Key_Plus);
    QCOMPARE(window.To() - window.From(), 480.0);
    QVERIFY(!window.Live());
    const double to = window.To();
    QTest::keyClick(window.Plot(), Qt::Key_Left);
    QCOMPARE(window.To(), to - 48);
    QTest::keyClick(window.Plot(), Qt::Key_Home);
    QVERIFY(window.Live());
    QCOMPARE(window.To(), now / 1000.0);
    for (const qint64 end = now + 5000; now < end; now += 100)
        store.Record(Tx(1111));
    store.Flush();
    window.Refresh();
    QVERIFY2(window.Summary().contains(QStringLiteral("Output: latest 1111 W")),
             qPrintable(window.Summary()));
}

void TestHistoryWindow::columnsPerPixel_data() {
    QTest::addColumn<qint64>("span");
    for (const qint64 s : HistoryWindow::Spans)
        QTest::addRow("%lld s", s) << s;
}

// On a week with a row every 10 s, whatever the span, a graph holds three
// points (lowest, highest, last) per pixel column that has rows.
void TestHistoryWindow::columnsPerPixel() {
    QFETCH(qint64, span);
    const QString week = dir.filePath(QStringLiteral("week.sqlite"));
    if (!QFile::exists(week)) {
        qint64 t = (T0 - 604800 + 3600) * 1000;
        HistoryStore writer;
        writer.SetClock([&t] { return t; });
        QCOMPARE(writer.Open(week), HistoryStore::State::Recording);
        for (int i = 0; i <= 604800 / 10; ++i, t += 10000) {
            writer.Record(Tx(double(i % 90) * 10, double(i % 7)));
            if (i % 60 == 0)
                writer.Flush();
        }
    }
    window.SetFile(week);
    window.ShowSpan(span);
    const int width = window.Plot()->axisRect(0)->width();
    // Columns of whole seconds, whole minutes past half a minute; with a
    // row every 10 s, each has one.
    qint64 perColumn = (span + width - 1) / width;
    perColumn = perColumn > 30 ? (perColumn + 59) / 60 * 60 : std::max<qint64>(perColumn, 10);
    const qint64 columns = span / perColumn - 1;
    for (int g : {0, 1, 3})
        QVERIFY2(window.Plot()->graph(g)->dataCount() <= 3 * width &&
                     window.Plot()->graph(g)->dataCount() >= 3 * columns,
                 qPrintable(QString::number(window.Plot()->graph(g)->dataCount())));
    const QString png = dir.filePath(QStringLiteral("plot.png"));
    QVERIFY(window.ExportPng(png));
    QCOMPARE(QImage(png).size(), window.Plot()->size());
    window.SetFile(file);
}

// Two lines of one plot, or a line and a marker over it, told apart in
// colour, in grey (lightness, or the pen's width or dashes), and for a
// red-green blind eye (the blue-yellow axis or lightness).
void TestHistoryWindow::legendApart_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("reflected and band marker") << "reflected"
                                               << "band change";
    QTest::newRow("output and reflected") << "output"
                                          << "reflected";
    QTest::newRow("output and alarm marker") << "output"
                                             << "alarm";
    QTest::newRow("alarm and connection markers") << "alarm"
                                                  << "connection";
    QTest::newRow("band and connection markers") << "band change"
                                                 << "connection";
}

void TestHistoryWindow::legendApart() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    auto *legend = qobject_cast<QCPLegend *>(window.Plot()->plotLayout()->element(0, 0));
    QVERIFY(legend);
    int items = 0; // the grid's cells, some of them empty
    for (int i = 0; i < legend->itemCount(); ++i)
        items += legend->item(i) != nullptr;
    QCOMPARE(items, 7); // four lines, three kinds of marker
    auto pen = [legend](const QString &name) {
        for (int i = 0; i < legend->itemCount(); ++i)
            if (auto *item = qobject_cast<QCPPlottableLegendItem *>(legend->item(i));
                item && item->plottable()->name() == name)
                return item->plottable()->pen();
        return QPen(Qt::NoPen);
    };
    const QPen pa = pen(a), pb = pen(b);
    QVERIFY(pa.style() != Qt::NoPen && pb.style() != Qt::NoPen);
    const QColor ca = pa.color(), cb = pb.color();
    const int rgb = std::abs(ca.red() - cb.red()) + std::abs(ca.green() - cb.green()) +
                    std::abs(ca.blue() - cb.blue());
    QVERIFY2(rgb >= 120, qPrintable(QStringLiteral("colour distance %1").arg(rgb)));
    const bool grey = std::abs(qGray(ca.rgb()) - qGray(cb.rgb())) >= 40 ||
                      pa.style() != pb.style() || std::abs(pa.widthF() - pb.widthF()) >= 0.5;
    QVERIFY2(grey, "alike in grey");
    // Red-green blindness keeps lightness and the blue-yellow difference.
    auto blueYellow = [](const QColor &c) { return c.blue() - (c.red() + c.green()) / 2; };
    QVERIFY2(std::abs(blueYellow(ca) - blueYellow(cb)) >= 60 ||
                 std::abs(qGray(ca.rgb()) - qGray(cb.rgb())) >= 40 || pa.style() != pb.style(),
             "alike without red and green");
}

// Dates on an axis that passes midnight; the exported picture names the
// amplifier, the span and the time zone.
void TestHistoryWindow::datesAndPicture() {
    window.SetAmplifier(QStringLiteral("Orvik 1200 2.4 kW on /dev/ttyUSB0"));
    window.ShowRange(T0 - 43200, T0 + 43200);
    auto ticker = qSharedPointerCast<QCPAxisTickerDateTime>(
        window.Plot()->axisRect(2)->axis(QCPAxis::atBottom)->ticker());
    QVERIFY2(ticker->dateTimeFormat().contains(QStringLiteral("d MMM")),
             qPrintable(ticker->dateTimeFormat()));
    const QString title = window.Title();
    QVERIFY2(title.startsWith(QStringLiteral("Orvik 1200 2.4 kW on /dev/ttyUSB0: ")) &&
                 title.contains(QDateTime::fromSecsSinceEpoch(T0 - 43200)
                                    .toString(QStringLiteral("yyyy-MM-dd HH:mm"))) &&
                 title.contains(QStringLiteral("(UTC")),
             qPrintable(title));
    // The title row: dark pixels above where the plots begin on screen.
    const QString png = dir.filePath(QStringLiteral("plot.png"));
    QVERIFY(window.ExportPng(png));
    const QImage image(png);
    const int top = window.Plot()->axisRect(0)->outerRect().top();
    int dark = 0;
    for (int y = 0; y < top + 10; ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    QVERIFY2(dark > 50, qPrintable(QString::number(dark)));
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
