// The main window as the operator meets it: its layout and menus, and every
// operator action driven by mouse presses and menu triggers, checked on the
// bytes that reach a real pseudo-terminal and on the port monitor's echo.
#include "app/Runtime.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "tests/common/PanelFixture.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/StdControls.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QString NotOpen = QStringLiteral(" is not open. Serial port is not connected.");

template <typename Labels> QStringList Texts(const Labels &labels) {
    QStringList out;
    for (const QLabel *l : labels)
        out << l->text();
    return out;
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void frameAndMenus();
    void geometry_data();
    void geometry();
    void startState();
    void settingItem_data();
    void settingItem();
    void interfaceItem_data();
    void interfaceItem();
    void bandPress_data();
    void bandPress();
    void hover();
    void paType();
    void pttBlock();
    void alcPress_data();
    void alcPress();
    void alcRefused();
    void fileAndAbout();
    void exitClosesPortFirst();

private:
    void openPort();
    void connectPeer();
    // A report as the serial component hands it to the main window.
    void report(const QByteArray &line);
    QStringList echoesSince(int mark) const { return monitor().mid(mark); }
    QStringList monitor() const { return (*f->w).Form2->Lines(); }
    QAction *action(const QString &name) const { return form->findChild<QAction *>(name); }
    void moveMouse(QWidget *w, QPoint pos) {
        QTest::mouseMove(form->windowHandle(), w->mapTo(form, pos));
        QCoreApplication::processEvents();
    }
    // Writes are synchronous: what was sent is in the terminal already.
    QByteArray sent() { return peer->read(300, 15); }
    bool nothingSent() { return peer->read(40, 10).isEmpty(); }

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    TForm1 *form = nullptr;
};

void TestMainWindow::init() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    QVERIFY(peer->ok());
    QVERIFY(f->configure(peer->devicePath()));
    f->createWindows(true);
    form = f->form;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

void TestMainWindow::cleanup() {
    f.reset();
}

void TestMainWindow::report(const QByteArray &line) {
    Runtime::Guarded([&] { form->SerialPortReceive(form->SerialPort, line + "\r\n"); });
}

void TestMainWindow::openPort() {
    QCOMPARE(form->ComboBox1->currentText(), peer->devicePath());
    form->openportclick();
    QCOMPARE(sent(), QByteArray("PA?\r\n"));
}

void TestMainWindow::connectPeer() {
    openPort();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_VERIFY(form->IsConnected());
    QByteArray burst; // let the start-up queries go by
    for (int i = 0; i < 10 && !burst.contains("ATU_INST?"); ++i)
        burst += peer->read(300);
    QVERIFY(burst.contains("ATU_INST?"));
}

// ---- Layout --------------------------------------------------------------------

void TestMainWindow::frameAndMenus() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    form->resize(900, 600); // fixed size
    QCOMPARE(form->centralWidget()->size(), QSize(571, 270));
    // Each menu with its items ("-" a separator, "*" checked, "~" disabled),
    // all in sight on the bar; the radio items of a menu exclude each other.
    const QStringList expected = {
        QStringLiteral("File: Port Monitor|~ATU Panel|-|PA Type|-|Exit"),
        QStringLiteral("Fan characteristics: 50%|Max|Hysteresis|Fixed"),
        QStringLiteral("Interface: YAESU (BCD)|YAESU FT817|ICOM|Kenwood|OTRSP|Flex|-|Manual"),
        QStringLiteral("Alarm Indication: CW by buzzer|Buzzer|No sound"),
        QStringLiteral("Input Power: ~< 4W|~~60W"),
        QStringLiteral("Power bargraph: Very slow|Slow|Fast|Very fast"),
        QStringLiteral("TOT: Off|5 min|15 min|30 min"),
        QStringLiteral("About"),
        QStringLiteral("PA Type: *1 kW or 1.2 kW|2.4 kW")};
    QStringList got;
    QList<QAction *> menus = form->menuBar()->actions();
    menus << form->PAType1;
    for (QAction *m : menus) {
        QVERIFY(m == form->PAType1 ||
                form->menuBar()->actionGeometry(m).right() < form->menuBar()->width());
        QStringList items;
        for (QAction *a : m->menu() ? m->menu()->actions() : QList<QAction *>()) {
            items << (a->isSeparator()
                          ? QStringLiteral("-")
                          : (a->isChecked() ? QStringLiteral("*") : QString()) +
                                (a->isEnabled() ? QString() : QStringLiteral("~")) + a->text());
            if (a->isCheckable())
                QCOMPARE(a->actionGroup()->actions().size(),
                         qsizetype(m->menu()->actions().size() - (m == form->Interface1)));
        }
        got << m->text() + (items.isEmpty() ? QString()
                                            : QStringLiteral(": ") + items.join(QLatin1Char('|')));
    }
    QCOMPARE(got, expected);
}

void TestMainWindow::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("rect"); // width -1: only the left edge and the top within 3
    auto row = [](const QByteArray &name, const char *parent, QRect r) {
        QTest::newRow(name.constData())
            << QString::fromLatin1(name) << QString::fromLatin1(parent) << r;
    };
    row("GroupBox3", "client", QRect(8, 8, 433, 153));
    row("GroupBox2", "client", QRect(456, 8, 105, 153));
    row("GroupBox1", "client", QRect(8, 168, 433, 97));
    row("Temp1", "client", QRect(456, 168, 105, 97));
    row("output", "GroupBox3", QRect(16, 32, 401, 33));
    row("swr", "GroupBox3", QRect(16, 104, 105, 33));
    row("Panel1", "GroupBox3", QRect(160, 100, 257, 41));
    row("tx_led", "GroupBox3", QRect(379, 112, 22, 22));
    for (int i = 0; i < 7; ++i)
        row("Band" + QByteArray::number(i + 1), "GroupBox1", QRect(24 + 60 * i, 32, 25, 25));
    const char *ticks[6] = {"L0", "L250", "L500", "L750", "L1000", "L1200"};
    const int tickLeft[6] = {12, 95, 179, 262, 345, 412};
    for (int i = 0; i < 6; ++i)
        row(ticks[i], "GroupBox3", QRect(tickLeft[i], 65, -1, -1));
}

void TestMainWindow::geometry() {
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, rect);
    auto *w = form->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    QVERIFY(w->isVisibleTo(form));
    if (rect.width() >= 0) {
        QCOMPARE(w->geometry(), rect);
        return;
    }
    QCOMPARE(w->x(), rect.x());
    QVERIFY2(w->y() >= rect.y() && w->y() <= rect.y() + 3, qPrintable(QString::number(w->y())));
    // The tick stands under the bar, not beside it.
    QVERIFY(w->x() + w->width() <= form->output->x() + form->output->width() + 8);
}

void TestMainWindow::startState() {
    QCOMPARE(Texts(form->BandLabels),
             QStringLiteral("160M|80M|40M|30M|20M|15M|17M|12M|10M|6M").split(QLatin1Char('|')));
    // Two-band labels stand one above the other under their circle.
    QCOMPARE(form->BandLabels[3]->x(), form->BandLabels[4]->x());
    QVERIFY(form->BandLabels[3]->y() < form->BandLabels[4]->y());
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(form->Band[std::size_t(i)]->BrushColor(), i == 6 ? clLime : clSilver);
        QVERIFY(!form->Band[std::size_t(i)]->isEnabled());
    }
    QVERIFY(form->ALC1->isHidden());
    QVERIFY(form->P_max1->isHidden());
    QCOMPARE(form->Temp2->text(), QStringLiteral(" ?"));
    // The PTT button lies over the readouts and the transmit lamp.
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QVERIFY(form->Panel1->geometry().contains(form->P_out->geometry()));
    QCOMPARE(form->GroupBox3->childAt(390, 123), form->Panel1);
    // Connection: closed, the poll timer running idle, the other windows hidden.
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(form->closeport->Down());
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(form->Timer2->isActive());
    QCOMPARE(form->Link.State().CalValue, std::uint8_t(255));
    QVERIFY((*f->w).Form2->isHidden());
    QVERIFY((*f->w).Fatu1->isHidden());
}

// ---- Setting commands ------------------------------------------------------------

void TestMainWindow::settingItem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("line");
    const std::pair<const char *, const char *> rows[] = {
        {"N501", "F: 1"},      {"Max1", "F: 2"},       {"Hysteresis1", "F: 3"},
        {"Fixed1", "F: 4"},    {"YAESUBCD1", "I: 1"},  {"YAESUFT8171", "I: 2"},
        {"ICOM1", "I: 3"},     {"Kenwood1", "I: 4"},   {"Manual1", "I: 5"},
        {"OTRSP1", "I: 6"},    {"Flex1", "I: 7"},      {"CWbybuzzer1", "ALM: 1"},
        {"Buzzer1", "ALM: 2"}, {"Nosound1", "ALM: 3"}, {"Veryslow1", "BAR: 1"},
        {"Slow1", "BAR: 2"},   {"Fast1", "BAR: 3"},    {"Veryfast1", "BAR: 4"},
        {"Off1", "TOT: 1"},    {"N5min1", "TOT: 2"},   {"N15min1", "TOT: 3"},
        {"N30min1", "TOT: 4"}};
    for (const auto &r : rows)
        QTest::newRow(r.first) << QString::fromLatin1(r.first) << QByteArray(r.second);
}

void TestMainWindow::settingItem() {
    QFETCH(QString, name);
    QFETCH(QByteArray, line);
    QAction *item = action(name);
    QVERIFY(item);
    // Port closed: the mark moves, the error is shown, nothing is echoed, and
    // nothing after the failed send runs (the band group stays as it was).
    int mark = int(monitor().size());
    item->trigger();
    QVERIFY(item->isChecked());
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY2(f->boxes[0].text.endsWith(NotOpen), qPrintable(f->boxes[0].text));
    QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
    QCOMPARE(echoesSince(mark), QStringList());
    QCOMPARE(form->GroupBox1->title(), QStringLiteral(" Band  (YAESU BCD)"));
    // Open, with another item of the group checked: the mark moves back.
    openPort();
    QAction *other =
        item->actionGroup()->actions().value(item == item->actionGroup()->actions().first());
    other->setChecked(true);
    mark = int(monitor().size());
    for (int twice = 0; twice < 2; ++twice) { // the checked item sends again
        item->trigger();
        QCOMPARE(sent(), line + "\r\n");
        QVERIFY(item->isChecked() && !other->isChecked());
    }
    QCOMPARE(echoesSince(mark), QStringList(2, QStringLiteral("- ") + QString::fromLatin1(line)));
    QCOMPARE(f->boxes.size(), 1);
}

void TestMainWindow::interfaceItem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    const std::pair<const char *, const char *> rows[] = {
        {"YAESUBCD1", "YAESU BCD"}, {"YAESUFT8171", "YAESU FT817"},
        {"ICOM1", "ICOM"},          {"Kenwood1", "Kenwood"},
        {"OTRSP1", "OTRSP"},        {"Flex1", "Flex"},
        {"Manual1", "Manual"}};
    for (const auto &[name, caption] : rows)
        QTest::newRow(name) << QString::fromLatin1(name)
                            << QStringLiteral("Band (%1)").arg(QLatin1String(caption))
                            << (QByteArray(name) == "Manual1");
}

void TestMainWindow::interfaceItem() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    connectPeer();
    report(enabled ? "I: 3" : "I: 5"); // start from the other state
    action(name)->trigger();
    sent();
    QCOMPARE(form->GroupBox1->title(), caption);
    for (TShape *b : form->Band)
        QCOMPARE(b->isEnabled(), enabled);
    for (QLabel *l : form->BandLabels)
        QCOMPARE(l->isEnabled(), enabled);
    // A press on a circle is sent only when the circles are enabled.
    const int mark = int(monitor().size());
    QTest::mousePress(form->Band[2], Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(sent(), enabled ? QByteArray("B: 3\r\n") : QByteArray());
    QCOMPARE(echoesSince(mark), enabled ? QStringList{QStringLiteral("- B: 3")} : QStringList());
    QCOMPARE(form->Link.State().CurrentBand, std::uint8_t(enabled ? 3 : 7));
}

// ---- Band circles ------------------------------------------------------------------

void TestMainWindow::bandPress_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("open");
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("circle %d", n) << n << int(Qt::LeftButton) << true;
    QTest::newRow("right button") << 4 << int(Qt::RightButton) << true;
    QTest::newRow("port closed") << 2 << int(Qt::LeftButton) << false;
}

void TestMainWindow::bandPress() {
    QFETCH(int, n);
    QFETCH(int, button);
    QFETCH(bool, open);
    connectPeer();
    report("I: 5");
    if (!open) {
        form->closeportclick();
        f->boxes.clear(); // "Disconnected from COM Port"
    }
    // A hover highlight elsewhere is cleared by the selection.
    form->Band[n == 1 ? 1 : 0]->SetBrushColor(clYellow);
    const int mark = int(monitor().size());
    QTest::mousePress(form->Band[std::size_t(n - 1)], Qt::MouseButton(button), {}, QPoint(12, 12));
    // The selection takes effect even when the send fails visibly.
    QCOMPARE(int(form->Link.State().CurrentBand), n);
    for (int i = 1; i <= 7; ++i)
        QCOMPARE(form->Band[std::size_t(i - 1)]->BrushColor(), i == n ? clLime : clSilver);
    if (open) {
        QCOMPARE(sent(), "B: " + QByteArray::number(n) + "\r\n");
        QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- B: %1").arg(n)});
    } else {
        QCOMPARE(echoesSince(mark), QStringList());
    }
    QCOMPARE(f->boxes.size(), open ? 0 : 1);
}

void TestMainWindow::hover() {
    connectPeer();
    report("I: 5");
    // Over the selected band's circle: it stays lime. Over others: yellow,
    // until the mouse reaches the box's background.
    moveMouse(form->Band[6], QPoint(12, 12));
    moveMouse(form->Band[3], QPoint(12, 12));
    QTRY_COMPARE(form->Band[3]->BrushColor(), clYellow);
    moveMouse(form->Band[4], QPoint(10, 10));
    QTRY_COMPARE(form->Band[4]->BrushColor(), clYellow);
    QCOMPARE(form->Band[6]->BrushColor(), clLime);
    moveMouse(form->GroupBox1, QPoint(4, 80));
    QTRY_COMPARE(form->Band[3]->BrushColor(), clSilver);
    QCOMPARE(form->Band[4]->BrushColor(), clSilver);
    QCOMPARE(form->Band[6]->BrushColor(), clLime);
    // Disabled circles take no highlight.
    report("I: 1");
    moveMouse(form->Band[0], QPoint(12, 12));
    QCOMPARE(form->Band[0]->BrushColor(), clSilver);
}

// ---- PA type -------------------------------------------------------------------------

void TestMainWindow::paType() {
    openPort();
    const int mark = int(monitor().size());
    form->N24kW1->trigger();
    QCOMPARE(Texts(form->ScaleLabels),
             QStringLiteral("0W|500W| 1kW|1.5kW|2kW|2.4kW").split(QLatin1Char('|')));
    QVERIFY(!form->N12kW1->isChecked());
    form->N12kW1->trigger();
    QCOMPARE(Texts(form->ScaleLabels),
             QStringLiteral("0W|250W|500W|750W|1kW|1.2kW").split(QLatin1Char('|')));
    QVERIFY(!form->N24kW1->isChecked());
    // The dispatcher's direct call checks the item as the menu does.
    form->N24kW1Click();
    QVERIFY(form->N24kW1->isChecked() && !form->N12kW1->isChecked());
    // No line is sent for the PA type.
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- PTT block -------------------------------------------------------------------------

void TestMainWindow::pttBlock() {
    // Closed, then connecting: the button ignores clicks.
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    openPort();
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QVERIFY(nothingSent());
    QVERIFY(!form->Link.State().BlockOnPending);
    connectPeer();
    int mark = int(monitor().size());
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:ON")});
    QVERIFY(form->Link.State().BlockOnPending);
    // Nothing changes on the button until the amplifier confirms.
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("Click to block PTT"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(form->Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    // Release: sent twice, echoed once.
    mark = int(monitor().size());
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:OFF")});
    QVERIFY(form->Link.State().BlockOffPending);
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QVERIFY(f->boxes.isEmpty());
}

// ---- ALC level ---------------------------------------------------------------------------

void TestMainWindow::alcPress_data() {
    QTest::addColumn<int>("cal");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("button");
    QTest::addColumn<QByteArray>("line"); // level = CAL * x div 333
    QTest::newRow("180 at 200") << 180 << 200 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 108");
    QTest::newRow("at 333") << 200 << 333 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 200");
    QTest::newRow("beyond 333") << 254 << 400 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 305");
    QTest::newRow("truncated") << 100 << 10 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 3");
    QTest::newRow("just below one") << 1 << 332 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 0");
    QTest::newRow("left end") << 200 << 0 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 0");
    QTest::newRow("calibration 0") << 0 << 300 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 0");
    QTest::newRow("right button") << 100 << 50 << int(Qt::RightButton) << QByteArray("ALC_PWM: 15");
}

void TestMainWindow::alcPress() {
    QFETCH(int, cal);
    QFETCH(int, x);
    QFETCH(int, button);
    QFETCH(QByteArray, line);
    connectPeer();
    report("CAL: " + QByteArray::number(cal));
    const int mark = int(monitor().size());
    QTest::mousePress(form->output, Qt::MouseButton(button), {}, QPoint(x, 16));
    QCOMPARE(sent(), line + "\r\n");
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- ") + QString::fromLatin1(line)});
    // The marker's arrow points at the place pressed.
    QCOMPARE(form->ALC1->x(), x + 8);
    QCOMPARE(form->ALC1->x() + form->ALC1->width() / 2, form->output->x() + x);
}

void TestMainWindow::alcRefused() {
    // Not calibrated: a message, nothing sent, the marker stays.
    connectPeer();
    const int before = form->ALC1->x();
    int mark = int(monitor().size());
    QTest::mousePress(form->output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].text, QStringLiteral("Please make first a calibration in PA !"));
    QCOMPARE(f->boxes[0].title, QStringLiteral("Error"));
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
    QCOMPARE(form->ALC1->x(), before);
    // Port closed: the marker moves, the send fails visibly, no echo.
    form->closeportclick();
    f->boxes.clear();
    report("CAL: 180");
    mark = int(monitor().size());
    QTest::mousePress(form->output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(form->ALC1->x(), 208);
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY(f->boxes[0].text.endsWith(NotOpen));
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- File and About ------------------------------------------------------------------------

void TestMainWindow::fileAndAbout() {
    const TWindows &w = (*f->w);
    form->PortMonitor1->trigger();
    QVERIFY(w.Form2->isVisible());
    // Disabled until the amplifier reports a tuner.
    form->ATUPanel1->trigger();
    QVERIFY(w.Fatu1->isHidden());
    form->ATUPanel1->setEnabled(true);
    form->ATUPanel1->trigger();
    QVERIFY(w.Fatu1->isVisible());
    form->About1->trigger();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].title, QStringLiteral("About..."));
    QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Information);
    QVERIFY(f->boxes[0].text.contains(QStringLiteral("3.3")));
    QVERIFY(f->boxes[0].text.contains(QStringLiteral("Orvik 1200")));
}

void TestMainWindow::exitClosesPortFirst() {
    connectPeer();
    form->Exit1->trigger();
    QVERIFY(!form->SerialPort->Connected());
    // The port-lost sequence ran before the program ends.
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
