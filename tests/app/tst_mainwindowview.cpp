// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a view of the link: each kind of report drawn into its
// bars, marks, readouts, lamps, circles and menus; then a session against the
// simulated amplifier: the menus filled from the replies, a transmission and
// the quiet poll once all is known. What the reports do to the state is
// tested on the link alone (tst_link).
#include "app/MainRules.h"
#include "tests/common/PanelFixture.h"

#include <QTest>

namespace {
QString ColorWord(const QColor &q) {
    for (TColor c : {clLime, clYellow, clFuchsia, clRed})
        if (ToQColor(c) == q)
            return ::ColorWord(c);
    return q.name();
}
} // namespace

class TestMainWindowView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        // The value rules need no windows.
        if (QByteArray(QTest::currentTestFunction()) == "powerScale")
            return;
        f = std::make_unique<PanelFixture>(true);
        form = f->main;
        QVERIFY(f->connectPeer());
    }
    void cleanup() { f.reset(); }
    void reports_data();
    void reports();
    void powerScale_data();
    void powerScale();
    void session();

private:
    Probes probes() const;

    std::unique_ptr<PanelFixture> f;
    MainWindow *form = nullptr;
};

Probes TestMainWindowView::probes() const {
    const MainWindow *main = form;
    const MainUi &ui = f->ui;
    auto left = [](const QWidget *m) {
        return m->isHidden() ? QStringLiteral("hidden") : QString::number(m->x());
    };
    return {
        {QStringLiteral("Temp2"), [=] { return ui.Temp2->text(); }},
        {QStringLiteral("Temp1"),
         [=] { return ColorWord(ui.Temp1->palette().color(QPalette::Window)); }},
        {QStringLiteral("bands"),
         [=] {
             QString out;
             for (const TShape *b : ui.Band)
                 out += b->BrushColor() == clLime     ? QLatin1Char('L')
                        : b->BrushColor() == clSilver ? QLatin1Char('S')
                                                      : QLatin1Char('?');
             return out;
         }},
        {QStringLiteral("bandsEnabled"),
         [=] { return Flag(ui.Band[0]->isEnabled()) + Flag(ui.Band[6]->isEnabled()); }},
        {QStringLiteral("GroupBox1"), [=] { return ui.GroupBox1->title(); }},
        {QStringLiteral("checked"),
         [=] {
             QStringList on;
             for (const QAction *a : main->findChildren<QAction *>())
                 if (a->isChecked())
                     on << a->objectName();
             on.sort();
             return on.join(QLatin1Char(','));
         }},
        {QStringLiteral("scale"), [=] { return ui.ScaleLabels[1]->text(); }},
        {QStringLiteral("inPowerEnabled"),
         [=] {
             return Flag(Action(main, "N4W1")->isEnabled()) +
                    Flag(Action(main, "N60W1")->isEnabled());
         }},
        {QStringLiteral("P_out"), [=] { return ui.P_out->text(); }},
        {QStringLiteral("P_max_label"), [=] { return ui.P_max_label->text(); }},
        {QStringLiteral("P_max1"), [=] { return left(ui.P_max1); }},
        {QStringLiteral("ALC1"), [=] { return left(ui.ALC1); }},
        {QStringLiteral("output"), [=] { return QString::number(ui.output->Position()); }},
        {QStringLiteral("swr"), [=] { return QString::number(ui.swr->Position()); }},
        {QStringLiteral("tx_led"), [=] { return Flag(ui.tx_led->Value()); }},
        {QStringLiteral("Panel1"),
         [=] {
             return ui.Panel1->Caption() + QLatin1Char('/') + ColorWord(ui.Panel1->Color()) +
                    (ui.Panel1->isHidden() ? QStringLiteral("/hidden") : QString());
         }},
    };
}

// One row per case: the lines fed first ("|"-separated), the report, its
// monitor entries, and "probe=value" pairs of the window that must hold after.
void TestMainWindowView::reports_data() {
    AddReportColumns();
    const auto row = ReportRow;
    // The PTT-block panel shows the confirmed block.
    row("", "BL:ON", "+ BL:ON|+ BL:ON", "Panel1=PTT Blocked!/alertpink");
    row("BL:ON", "BL:OFF", "+ BL:OFF|+ BL:OFF", "Panel1=Click to block PTT/lightgreen");
    // Temperature: as received, the group's colour by range.
    row("", "T: 39", "+ T: 39|+ T: 39", "Temp2=39|Temp1=clLime");
    row("", "T: 45", "+ T: 45|+ T: 45", "Temp1=clYellow");
    row("", "T: 60", "+ T: 60|+ T: 60", "Temp1=clFuchsia");
    row("", "T: 100.5", "+ T: 100.5|+ T: 100.5", "Temp2=100.5|Temp1=clRed");
    // Band circles: the reported band lime, the others silver.
    row("", "B: 3", "+ B: 3|+ B: 3", "bands=SSLSSSS");
    row("", "B: 9", "+ B: 9|+ B: 9", "bands=SSSSSSS");
    // Firmware: the PA type's item and scale.
    row("", "Ver: 3.30x2", "+ Ver: 3.30x2|+ Ver: 3.30x2", "checked=N24kW1|scale=500W");
    row("Ver: 3.30x2", "Ver: 3.28", "+ Ver: 3.28|+ Ver: 3.28", "checked=N12kW1|scale=250W");
    // Interface: its item, the band group's caption, the circles enabled
    // for "Manual" only.
    row("", "I: 3", "+ I: 3|+ I: 3", "checked=ICOM1,N12kW1|GroupBox1=Band (ICOM)|bandsEnabled=00");
    row("", "I: 5", "+ I: 5|+ I: 5",
        "checked=Manual1,N12kW1|GroupBox1=Band (Manual)|bandsEnabled=11");
    row("I: 5", "I: 9", "+ I: 9|+ I: 9", "checked=Manual1,N12kW1|bandsEnabled=11");
    // Settings: their menu items; the input power items stay disabled.
    row("", "F: 2", "+ F: 2|+ F: 2", "checked=Max1,N12kW1");
    row("", "ALM: 7", "+ ALM: 7|+ ALM: 7", "checked=N12kW1,Nosound1");
    row("", "BAR: 4", "+ BAR: 4|+ BAR: 4", "checked=N12kW1,Veryfast1");
    row("", "TOT: 3", "+ TOT: 3|+ TOT: 3", "checked=N12kW1,N15min1");
    row("", "InPower: 2", "+ InPower: 2|+ InPower: 2", "checked=N12kW1,N60W1|inPowerEnabled=00");
    // Peak power: the text as received, the marker on the scale.
    row("", "P_max: 1300", "+ P_max: 1300|+ P_max: 1200", "P_max_label=1300 W|P_max1=408");
    row("Ver: 3.30x2", "P_max: 600", "+ P_max: 600|+ P_max: 600", "P_max1=108");
    row("P_max: 900", "P_max: 300 ", "+ P_max: 300 |****** Conversion error P_max",
        "P_max_label=300  W|P_max1=308");
    // The ALC marker: hidden without calibration, else at ALC * 333 / CAL
    // (+ 8), moved only with both in 1..254; a zero calibration never
    // divides. At 8 as laid out.
    row("", "CAL: 255", "+ CAL: 255|+ CAL: 255", "ALC1=hidden");
    row("", "CAL: 254", "+ CAL: 254|+ CAL: 254", "ALC1=8");
    row("", "CAL: 511", "+ CAL: 511|+ CAL: 511", "ALC1=8");
    row("", "CAL: x", "+ CAL: x|+ CAL: x|****** Conversion error CAL", "ALC1=hidden");
    row("ALC_PWM: 100", "CAL: 200", "+ CAL: 200|+ CAL: 200", "ALC1=174");
    row("ALC_PWM: 1", "CAL: 1", "+ CAL: 1|+ CAL: 1", "ALC1=341");
    row("ALC_PWM: 254", "CAL: 254", "+ CAL: 254|+ CAL: 254", "ALC1=341");
    row("ALC_PWM: 255", "CAL: 100", "+ CAL: 100|+ CAL: 100", "ALC1=8");
    row("ALC_PWM: 100", "CAL: 0", "+ CAL: 0|+ CAL: 0", "ALC1=8");
    row("CAL: 180", "ALC_PWM: 90", "+ ALC_PWM: 90|+ ALC_PWM: 90", "ALC1=174");
    row("CAL: 180|ALC_PWM: 90|CAL: 255", "CAL: 100", "+ CAL: 100|+ CAL: 100", "ALC1=307");
    row("CAL: 180|ALC_PWM: 90", "ALC_PWM: 0", "+ ALC_PWM: 0|+ ALC_PWM: 0", "ALC1=8");
    row("CAL: 100", "ALC_PWM: 255", "+ ALC_PWM: 255|+ ALC_PWM: 255", "ALC1=857");
    row("CAL: 100", "ALC_PWM: 256", "+ ALC_PWM: 256|+ ALC_PWM: 256", "ALC1=8");
    row("CAL: 0", "ALC_PWM: 100", "+ ALC_PWM: 100|+ ALC_PWM: 100", "ALC1=8");
    row("CAL: 255", "ALC_PWM: 100", "+ ALC_PWM: 100|+ ALC_PWM: 100", "ALC1=hidden");
    // Power: the readout and both bars.
    row("", "O: 850", "+ O: 850|+ O: 850", "P_out=850 W|output=850");
    row("Ver: 3.30x2", "O: 1500", "+ O: 1500|+ O: 1500", "P_out=1500 W|output=750");
    row("O: 700", "O: 8k", "+ O: 8k|+ O: 8k|****** Conversion error Power Out",
        "P_out=8k W|output=700");
    // A connection that ends takes the values shown as received with it.
    row("O: 8k|P_max: 9x|T: 45|@close", "B: 3", "+ B: 3|+ B: 3", "P_out=|P_max_label=|Temp2=45");
    // The PA type of the moment: a "Ver:" earlier in the same chunk counts.
    row("", "Ver: 3.30x2\r\nO: 1\r\nVer: 3.30\r\nO: 1500\r\nP_max: 3000",
        "+ Ver: 3.30x2|+ Ver: 3.30x2|+ O: 1|+ O: 1|+ Ver: 3.30|+ Ver: 3.30|+ O: 1500|+ O: 1500|"
        "+ P_max: 3000|+ P_max: 1200",
        "output=1200|P_max1=408");
    row("", "R: 100", "+ R: 100|+ R: 100", "swr=100");
    // Transmitting: the lamp lit, the PTT-block panel out of the way.
    row("", "TX: ON", "+ TX: ON|+ TX: ON", "tx_led=1|Panel1=Click to block PTT/lightgreen/hidden");
    row("TX: ON|O: 700|R: 30|P_max: 900", "TX: OFF", "+ TX: OFF|+ TX: OFF",
        "tx_led=0|output=0|swr=0|P_max1=hidden|P_max_label=|P_out=|Panel1=Click to block "
        "PTT/lightgreen");
}

void TestMainWindowView::reports() {
    const int pmaxTop = f->ui.P_max1->y(), alcTop = f->ui.ALC1->y();
    // "@close": Close Port (its "Disconnected" box is not the row's).
    f->checkReport(probes(), [this](const QString &) {
        form->Link.Close();
        f->boxes.clear();
    });
    // The marks move along their bars only.
    QCOMPARE(f->ui.P_max1->y(), pmaxTop);
    QCOMPARE(f->ui.ALC1->y(), alcTop);
}

// Where a power stands on the output bar's 0..1200 scale and where the peak
// marker points, both limited to the top of the PA type's scale.
void TestMainWindowView::powerScale_data() {
    QTest::addColumn<int>("watts");
    QTest::addColumn<bool>("kw24");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("peakLeft");
    const int rows[][4] = {{0, 0, 0, 8},         {300, 0, 300, 108},   {1200, 0, 1200, 408},
                           {1201, 0, 1200, 408}, {1500, 0, 1200, 408}, {1, 1, 0, 8},
                           {5, 1, 2, 8},         {851, 1, 425, 149},   {1500, 1, 750, 258},
                           {2400, 1, 1200, 408}, {2401, 1, 1200, 408}, {3000, 1, 1200, 408}};
    for (const auto &r : rows)
        QTest::addRow("%d W, %s", r[0], r[1] ? "2.4 kW" : "1.2 kW")
            << r[0] << bool(r[1]) << r[2] << r[3];
}

void TestMainWindowView::powerScale() {
    QFETCH(int, watts);
    QFETCH(bool, kw24);
    QFETCH(int, position);
    QFETCH(int, peakLeft);
    const PaType type = kw24 ? PaType::Kw24 : PaType::Kw12;
    QCOMPARE(MainRules::OutputBarPosition(watts, type), position);
    QCOMPARE(MainRules::PeakMarkerLeft(watts, type), peakLeft);
}

void TestMainWindowView::session() {
    f.reset(); // one set of windows at a time: the fixture points the settings at its folder
    f = std::make_unique<PanelFixture>();
    QVERIFY2(f->start(), qPrintable(f->sim.errorString()));
    form = f->main;
    QVERIFY(f->connect());
    // The menus fill with the simulator's settings.
    QTRY_VERIFY(form->Link.State().readings.calibrationAnswered &&
                form->Link.State().readings.alcAnswered && Action(form, "Off1")->isChecked());
    for (QAction *a :
         {Action(form, "Hysteresis1"), Action(form, "Manual1"), Action(form, "CWbybuzzer1"),
          Action(form, "N4W1"), Action(form, "Fast1"), Action(form, "N12kW1")})
        QVERIFY2(a->isChecked(), qPrintable(a->objectName()));
    QCOMPARE(f->ui.Band[2]->BrushColor(), clLime);
    QCOMPARE(f->ui.ALC1->x(), 100 * 333 / 200 + 8);
    QCOMPARE(form->Link.State().readings.firmware, QStringLiteral("3.30"));

    // A transmission moves both bars and lights the LED; TX: OFF clears.
    f->sim.say("tx 850 12 0.6");
    QTRY_VERIFY(f->ui.tx_led->Value() && f->ui.output->Position() > 0 && f->ui.swr->Position() > 0);
    QVERIFY(f->ui.Panel1->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!f->ui.tx_led->Value(), 5000);
    QCOMPARE(f->ui.output->Position(), 0);
    QCOMPARE(f->ui.swr->Position(), 0);
    QVERIFY(!f->ui.Panel1->isHidden());
    QVERIFY(f->ui.P_out->text().isEmpty());

    // Everything known: a tick sends exactly eight bare lines.
    const qsizetype before = f->sim.loggedLines().size();
    const int bare = int(f->sim.loggedLines().count(QByteArray()));
    form->Link.PollTick();
    QVERIFY(f->sim.waitForLogged(QByteArray(), bare + 8));
    QTest::qWait(300); // nothing else may follow
    QCOMPARE(f->sim.loggedLines().size(), before + 8);
    QVERIFY(f->boxes.isEmpty());
}

QTEST_MAIN(TestMainWindowView)
#include "tst_mainwindowview.moc"
