// The windows as views of the link: each kind of report drawn into the main
// window's bars, labels, lamps, circles and menus, the ATU panel and the
// alarm windows, and the port monitor's limit as text arrives. What the
// reports do to the state, and the poll, are tested on the link alone.
#include "app/AlarmWindow.h"
#include "tests/common/PanelFixture.h"
#include "tests/common/ReportTable.h"
#include "widgets/BarMeter.h"
#include "widgets/LedLamp.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>

#include <functional>
#include <map>

namespace {

QString ColorWord(TColor c) {
    const std::pair<TColor, const char *> names[] = {
        {clLime, "clLime"},           {clSilver, "clSilver"},    {clYellow, "clYellow"},
        {clFuchsia, "clFuchsia"},     {clRed, "clRed"},          {clBtnFace, "clBtnFace"},
        {clLightGreen, "lightgreen"}, {clAlertPink, "alertpink"}};
    for (const auto &[value, name] : names)
        if (value == c)
            return QLatin1String(name);
    return QString::number(c, 16);
}

QString ColorWord(const QColor &q) {
    for (TColor c : {clLime, clYellow, clFuchsia, clRed})
        if (ToQColor(c) == q)
            return ColorWord(c);
    return q.name();
}

} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void reports_data();
    void reports();
    void monitorEmptiedAbove500();
    void alarmsShownAndCleared();

private:
    void feed(const QByteArray &bytes) { f->receive(bytes); }
    QStringList monitor() const;
    void clearMonitor() { f->mon.Memo1->clear(); }
    WindowSet &w() const { return *f->windows; }
    std::map<QString, std::function<QString()>> probes() const;

    std::unique_ptr<PanelFixture> f;
    MainWindow *form = nullptr;
};

void TestDispatcher::init() {
    f = std::make_unique<PanelFixture>(true);
    form = f->main;
    QVERIFY(f->connectPeer());
    clearMonitor();
}

void TestDispatcher::cleanup() {
    f.reset();
    form = nullptr;
}

QStringList TestDispatcher::monitor() const {
    QStringList lines = f->monitor();
    if (lines.size() == 1 && lines.at(0).isEmpty())
        lines.clear();
    return lines;
}

// The observable state a report may change, by name.
std::map<QString, std::function<QString()>> TestDispatcher::probes() const {
    const MainWindow *main = form;
    const MainUi &ui = f->ui;
    const AtuUi &atu = f->atu;
    auto left = [](const QWidget *m) {
        return m->isHidden() ? QStringLiteral("hidden") : QString::number(m->x());
    };
    auto panel = [](const TPanel *p) {
        return p->isHidden() ? QStringLiteral("hidden")
                             : p->Caption() + QLatin1Char('/') + ColorWord(p->Color());
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
        {QStringLiteral("ATUPanel1"), [=] { return Flag(Action(main, "ATUPanel1")->isEnabled()); }},
        {QStringLiteral("atu.visible"), [=] { return Flag(w().Atu()->isVisible()); }},
        {QStringLiteral("atu.Panel1"), [=] { return panel(atu.Panel1); }},
        {QStringLiteral("atu.Panel2"), [=] { return panel(atu.Panel2); }},
        {QStringLiteral("FineTuning1"), [=] { return Flag(atu.FineTuning1->isEnabled()); }},
        {QStringLiteral("atu.Timer1"), [=] { return Flag(main->Link.AtuTimer()->isActive()); }},
        {QStringLiteral("atu.Led"), [=] { return ColorWord(atu.Led->TrueColor()); }},
        {QStringLiteral("atu.tune1"), [=] { return ColorWord(atu.tune1->Color()); }},
        {QStringLiteral("atu.SWR"),
         [=] {
             QString out;
             for (const QAction *a : atu.SWR)
                 out += Flag(a->isChecked());
             return out;
         }},
        {QStringLiteral("atu.Label3"), [=] { return atu.Label3->text(); }},
        {QStringLiteral("atu.Label4"), [=] { return atu.Label4->text(); }},
        {QStringLiteral("atu.Label7"), [=] { return atu.Label7->text(); }},
        {QStringLiteral("atu.Label8"), [=] { return atu.Label8->text(); }},
        {QStringLiteral("K"),
         [=] { return Flag(!atu.Image0->isHidden()) + Flag(!atu.Image1->isHidden()); }},
    };
}

// One row per case: the lines fed first ("|"-separated; "@tune1" colours
// the tune button first, "@atu" runs the tuner's re-send timer), the report, its monitor entries,
// and "probe=value" pairs of the windows that must hold afterwards.
void TestDispatcher::reports_data() {
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
    // Firmware: the PA type's item and scale, fine tuning.
    row("", "Ver: 3.30x2", "+ Ver: 3.30x2|+ Ver: 3.30x2",
        "FineTuning1=1|checked=N24kW1|scale=500W");
    row("Ver: 3.30x2", "Ver: 3.28", "+ Ver: 3.28|+ Ver: 3.28",
        "FineTuning1=0|checked=N12kW1|scale=250W");
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
    // The ALC marker: hidden without calibration, else placed.
    row("", "CAL: 255", "+ CAL: 255|+ CAL: 255", "ALC1=hidden");
    row("ALC_PWM: 100", "CAL: 200", "+ CAL: 200|+ CAL: 200", "ALC1=174");
    // Power: the readout and both bars.
    row("", "O: 850", "+ O: 850|+ O: 850", "P_out=850 W|output=850");
    row("Ver: 3.30x2", "O: 1500", "+ O: 1500|+ O: 1500", "P_out=1500 W|output=750");
    row("O: 700", "O: 8k", "+ O: 8k|+ O: 8k|****** Conversion error Power Out",
        "P_out=8k W|output=700");
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
    // The tuner's status message in its colour; 0 hides it.
    row("", "ATU_INF: 1", "+ ATU_INF: 1", "atu.Panel2=Wrong power!/clFuchsia");
    row("", "ATU_INF: 2", "+ ATU_INF: 2", "atu.Panel2=SWR is too high (>1:4)!/clFuchsia");
    row("", "ATU_INF: 3", "+ ATU_INF: 3", "atu.Panel2=Tuning is in progress.../clYellow");
    row("", "ATU_INF: 4", "+ ATU_INF: 4", "atu.Panel2=Tuning is finished!!/lightgreen");
    row("", "ATU_INF: 5", "+ ATU_INF: 5", "atu.Panel2=Tuning is failed !/clFuchsia");
    row("", "ATU_INF: 6", "+ ATU_INF: 6",
        "atu.Panel2=SWR is OK - tuning is not required!/lightgreen");
    row("", "ATU_INF: 7", "+ ATU_INF: 7", "atu.Panel2=ATU is for HF Bands only!/clFuchsia");
    row("ATU_INF: 5", "ATU_INF: 0", "+ ATU_INF: 0", "atu.Panel2=hidden");
    // The tuner fitted: the menu item enabled and the panel shown.
    row("", "ATU_INST: 1", "+ ATU_INST: 1|+ ATU_INSTALLED: 1", "ATUPanel1=1|atu.visible=1");
    row("ATU_INST: 1", "ATU_INST: 0", "+ ATU_INST: 0|+ ATU_INSTALLED: 0",
        "ATUPanel1=0|atu.visible=1");
    // The tuner's switch, confirmed: caption, colour, fine tuning, re-send stopped.
    row("Ver: 3.30|@atu", "ATU_STATE: 1", "+ ATU_STATE: 1|+ ATU_STATE: 1",
        "atu.Panel1=ATU On/lightgreen|atu.Timer1=0|FineTuning1=1");
    row("Ver: 3.30|@atu", "ATU_STATE: 2", "+ ATU_STATE: 2|+ ATU_STATE: 0",
        "atu.Panel1=BYPASS/alertpink|atu.Timer1=0|FineTuning1=0");
    row("Ver: 3.30|ATU_STATE: 0|I: 5|B: 3|RED", "YELLOW", "+ YELLOW|+ YELLOW",
        "atu.Led=clYellow|atu.Panel1=ATU On/lightgreen|FineTuning1=1");
    // Tuning finished, the tuner's lamp, SWR min.
    row("@tune1", "TUNE OFF", "+ TUNE OFF|+ TUNE OFF", "atu.tune1=clBtnFace");
    row("", "RED", "+ RED|+ RED", "atu.Led=clRed");
    row("", "GREEN", "+ GREEN|+ GREEN", "atu.Led=clLime");
    row("RED", "GREY", "+ GREY|+ GREY", "atu.Led=clSilver");
    row("SWRmin: 11", "SWRmin: 14", "+ SWRmin: 14|+ SWRmin: 14", "atu.SWR=0001000");
    // The tuner's readouts and diagrams.
    row("", "ATU_FWD: 12345678", "+ ATU_FWD: 12345678", "atu.Label7=12345");
    row("", "END_L: 101", "+ END_L: 101|+ Port L: 00000101", "atu.Label4=0.2 µH");
    row("", "END_C: 111111111", "+ END_C: 111111111|+ Port C: 11111111", "atu.Label8=1275 pF");
    row("END_C: 1", "END_C: 1x1", "+ END_C: 1x1|+ Port C: 000001x1|****** Conversion error Port C",
        "atu.Label8=");
    row("", "END_SWR:  15", "+ END_SWR:  15|+ SWR: 1.5", "atu.Label3=1.5");
    row("", "K: 0", "+ K: 0|+ K: 0", "K=10");
    row("K: 0", "END_K: 1", "+ END_K: 1|+ K: 1", "K=01");
}

void TestDispatcher::reports() {
    QFETCH(QString, before);
    QFETCH(QByteArray, line);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, state);
    const int pmaxTop = f->ui.P_max1->y(), alcTop = f->ui.ALC1->y();
    for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (b == QStringLiteral("@tune1"))
            f->atu.tune1->SetColor(clYellow);
        else if (b == QStringLiteral("@atu"))
            form->Link.AtuTimer()->start();
        else
            feed(b.toLatin1() + "\r\n");
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
    QCOMPARE(f->ui.P_max1->y(), pmaxTop);
    QCOMPARE(f->ui.ALC1->y(), alcTop);
    QVERIFY(f->boxes.isEmpty());
}

// The monitor is emptied as a chunk arrives when it holds more than 500 lines.
void TestDispatcher::monitorEmptiedAbove500() {
    for (int i = 0; i < 500; ++i)
        form->Link.Log(QStringLiteral("x"));
    feed("LB\r\n");
    QCOMPARE(monitor().size(), 501); // 500 is not above the limit
    feed("LB\r\n");
    QCOMPARE(monitor(), Split("+ LB"));
}

void TestDispatcher::alarmsShownAndCleared() {
    AlarmWindow *const all[] = {w().Alarm(AlarmKind::HpOut), w().Alarm(AlarmKind::HpIn),
                                w().Alarm(AlarmKind::Bpf),   w().Alarm(AlarmKind::Swr),
                                w().Alarm(AlarmKind::Temp),  w().Alarm(AlarmKind::Tot),
                                w().Alarm(AlarmKind::HpCont)};
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
    for (AlarmWindow *a : all)
        QVERIFY(a->isVisible());
    // An alarm window the operator closed comes back with its alarm.
    all[3]->hide();
    feed("ALARM: SWR\r\n");
    QVERIFY(all[3]->isVisible());
    for (int twice = 0; twice < 2; ++twice) {
        clearMonitor();
        feed("ALARM: OFF\r\n");
        QCOMPARE(monitor(), Split("+ ALARM: OFF|+ ALARM: OFF"));
        for (AlarmWindow *a : all)
            QVERIFY(!a->isVisible());
    }
}

QTEST_MAIN(TestDispatcher)
#include "tst_dispatcher.moc"
