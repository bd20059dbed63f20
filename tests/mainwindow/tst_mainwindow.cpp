// The main window as the operator meets it: its layout and menus, and every
// operator action driven by mouse presses and menu triggers, checked on the
// bytes that reach a real pseudo-terminal and on the port monitor's echo.
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
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
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
}

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void windowFrame();
    void geometry_data();
    void geometry();
    void startState();
    void menus_data();
    void menus();

    void settingItem_data();
    void settingItem();
    void settingItemPortClosed_data();
    void settingItemPortClosed();
    void interfaceItem_data();
    void interfaceItem();
    void bandPress_data();
    void bandPress();
    void bandPressPortClosed();
    void hover();
    void paType();
    void pttNotConnected();
    void pttBlockAndRelease();
    void alcPress_data();
    void alcPress();
    void alcNotCalibrated();
    void alcPortClosed();
    void portMonitorAtuPanelAbout();
    void exitClosesPortFirst();

private:
    void createWindows();
    void openPort();
    void connectPeer();
    QStringList echoesSince(int mark) const;
    int monitorSize() const { return int(monitorLines().size()); }
    QStringList monitorLines() const { return windows->windows().Form2->Lines(); }
    QAction *action(const QString &name) const;
    // Moves the mouse through the window system to a point of w, so the
    // widget under it gets the move as it would from the operator.
    void moveMouse(QWidget *w, QPoint pos);
    // Writes are synchronous: what was sent is in the terminal already.
    QByteArray sent() { return peer->read(300, 15); }
    bool nothingSent() { return peer->read(40, 10).isEmpty(); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<TWindowSet> windows;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestMainWindow::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    Runtime::SetExeDir(dir->path());
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
    createWindows();
}

void TestMainWindow::cleanup() {
    windows.reset();
    form = nullptr;
    peer.reset();
    Runtime::SetMessageHandler(nullptr);
    Runtime::SetExeDir(QString());
    dir.reset();
}

void TestMainWindow::createWindows() {
    QFile ini(dir->filePath(QStringLiteral("Orvik_control.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Configuration]\nPort=" + peer->devicePath().toLocal8Bit() + "\n");
    ini.close();
    windows = std::make_unique<TWindowSet>();
    form = windows->windows().Form1;
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
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
    // Let the start-up queries go by.
    QByteArray burst;
    for (int i = 0; i < 10 && !burst.contains("ATU_INST?"); ++i)
        burst += peer->read(300);
    QVERIFY(burst.contains("ATU_INST?"));
}

void TestMainWindow::moveMouse(QWidget *w, QPoint pos) {
    QTest::mouseMove(form->windowHandle(), w->mapTo(form, pos));
    QCoreApplication::processEvents();
}

QStringList TestMainWindow::echoesSince(int mark) const {
    return monitorLines().mid(mark);
}

QAction *TestMainWindow::action(const QString &name) const {
    return form->findChild<QAction *>(name);
}

// ---- Layout --------------------------------------------------------------------

void TestMainWindow::windowFrame() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
    QCOMPARE(form->centralWidget()->size(), QSize(571, 270));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    // Fixed: the window cannot be resized.
    QCOMPARE(form->minimumSize(), form->maximumSize());
    form->resize(900, 600);
    QCOMPARE(form->centralWidget()->size(), QSize(571, 270));
    // All eight menus are in sight on the bar, none in its overflow.
    QMenuBar *bar = form->menuBar();
    QCOMPARE(int(bar->actions().size()), 8);
    for (QAction *a : bar->actions()) {
        const QRect r = bar->actionGeometry(a);
        QVERIFY2(!r.isEmpty() && r.right() < bar->width(), qPrintable(a->text()));
    }
    QCOMPARE(bar->actions().last(), form->About1);
    QVERIFY(!form->About1->menu());
    // The default font colour.
    QCOMPARE(form->centralWidget()->palette().color(QPalette::WindowText), QColor(128, 0, 128));
}

void TestMainWindow::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("rect");
    auto row = [](const char *name, const char *parent, QRect r) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << r;
    };
    row("GroupBox3", "client", QRect(8, 8, 433, 153));
    row("GroupBox2", "client", QRect(456, 8, 105, 153));
    row("GroupBox1", "client", QRect(8, 168, 433, 97));
    row("Temp1", "client", QRect(456, 168, 105, 97));
    row("output", "GroupBox3", QRect(16, 32, 401, 33));
    row("swr", "GroupBox3", QRect(16, 104, 105, 33));
    row("Panel1", "GroupBox3", QRect(160, 100, 257, 41));
    row("tx_led", "GroupBox3", QRect(379, 112, 22, 22));
    const int bandLeft[7] = {24, 84, 144, 204, 264, 324, 384};
    for (int i = 0; i < 7; ++i) {
        const QByteArray name = "Band" + QByteArray::number(i + 1);
        row(name.constData(), "GroupBox1", QRect(bandLeft[i], 32, 25, 25));
    }
    // The tick marks: their left edges; their tops sit just under the bar.
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
    if (rect.width() < 0) {
        QCOMPARE(w->x(), rect.x());
        QVERIFY2(w->y() >= rect.y() && w->y() <= rect.y() + 3, qPrintable(QString::number(w->y())));
        // The tick stands under the bar, not beside it.
        QVERIFY(w->x() + w->width() <= form->output->x() + form->output->width() + 8);
    } else {
        QCOMPARE(w->geometry(), rect);
    }
    QVERIFY(w->isVisibleTo(form));
}

void TestMainWindow::startState() {
    QCOMPARE(form->GroupBox3->title(), QStringLiteral("Power"));
    QCOMPARE(form->GroupBox2->title(), QStringLiteral("COM Port"));
    QCOMPARE(form->GroupBox1->title(), QStringLiteral(" Band  (YAESU BCD)"));
    QCOMPARE(form->Temp1->title(), QStringLiteral("Temperature"));
    QCOMPARE(form->Label13->text(), QStringLiteral("Output"));
    QCOMPARE(form->Label14->text(), QStringLiteral("Reverse"));
    QCOMPARE(form->Label21->text(), QStringLiteral("Power  Out:"));
    QCOMPARE(form->Label22->text(), QStringLiteral("Power Max:"));
    QStringList scale;
    for (QLabel *l :
         {form->Label15, form->Label16, form->Label17, form->Label18, form->Label19, form->Label20})
        scale << l->text();
    QCOMPARE(scale,
             (QStringList{QStringLiteral("0W"), QStringLiteral("250W"), QStringLiteral("500W"),
                          QStringLiteral("750W"), QStringLiteral("1kW"), QStringLiteral("1.2kW")}));
    QStringList bands;
    for (QLabel *l : form->BandLabels)
        bands << l->text();
    QCOMPARE(bands,
             (QStringList{QStringLiteral("160M"), QStringLiteral("80M"), QStringLiteral("40M"),
                          QStringLiteral("30M"), QStringLiteral("20M"), QStringLiteral("15M"),
                          QStringLiteral("17M"), QStringLiteral("12M"), QStringLiteral("10M"),
                          QStringLiteral("6M")}));
    // Two-band labels stand one above the other under their circle.
    QCOMPARE(form->BandLabels[3]->x(), form->BandLabels[4]->x());
    QVERIFY(form->BandLabels[3]->y() < form->BandLabels[4]->y());
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(form->Band[std::size_t(i)]->BrushColor(), i == 6 ? clLime : clSilver);
        QVERIFY(!form->Band[std::size_t(i)]->isEnabled());
    }
    for (QLabel *l : form->BandLabels)
        QVERIFY(!l->isEnabled());

    QCOMPARE(form->output->Max(), 1200);
    QCOMPARE(form->output->Min(), 0);
    QCOMPARE(form->output->Position(), 0);
    QVERIFY(!form->output->ShowPosText());
    QCOMPARE(form->swr->Max(), 130);
    QCOMPARE(form->swr->BarColorStyle(), cs2Colors);
    QCOMPARE(form->swr->BarColor2(), clRed);
    QVERIFY(form->ALC1->isHidden());
    QVERIFY(form->P_max1->isHidden());
    QVERIFY(form->P_out->text().isEmpty());
    QVERIFY(form->P_max_label->text().isEmpty());
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QCOMPARE(form->Panel1->Color(), TColor(12317385));
    // The PTT button lies over the readouts and the transmit lamp.
    QVERIFY(form->Panel1->geometry().contains(form->tx_led->geometry()));
    QVERIFY(form->Panel1->geometry().contains(form->P_out->geometry()));
    QVERIFY(form->Panel1->geometry().contains(form->Label22->geometry()));
    QCOMPARE(form->GroupBox3->childAt(390, 123), form->Panel1);
    QCOMPARE(form->tx_led->TrueColor(), clRed);
    QCOMPARE(form->tx_led->FalseColor(), clLime);
    QVERIFY(!form->tx_led->Blink());
    QCOMPARE(form->txled->TrueColor(), clRed);
    QCOMPARE(form->Temp2->text(), QStringLiteral(" ?"));
    QCOMPARE(form->Temp2->font().pixelSize(), 61);
    QVERIFY(form->Temp2->font().bold());
    QCOMPARE(form->Temp1->palette().color(QPalette::Window), QColor(0, 255, 0));
    QCOMPARE(form->openport->HotColor(), clYellow);
    QCOMPARE(form->openport->DownColor(), clLime);
    QCOMPARE(form->openport->DownFontColor(), clBlack);
    QCOMPARE(form->closeport->DownColor(), clRed);
    QCOMPARE(form->closeport->DownFontColor(), clWhite);
    QCOMPARE(form->closeport->HotFontColor(), clRed);
    QCOMPARE(form->PopupMenu1->actions(), QList<QAction *>{form->Refresh1});
    QCOMPARE(form->Refresh1->text(), QStringLiteral("Refresh"));
}

// Each menu: "name|caption" of the menu, then its items as
// "name|caption|kind|enabled|checked" (kind: c command, r radio, s submenu)
// or "-" for a separator.
void TestMainWindow::menus_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    auto L = [](std::initializer_list<const char *> items) {
        QStringList out;
        for (const char *i : items)
            out << QString::fromUtf8(i);
        return out;
    };
    QTest::newRow("File") << QStringLiteral("File1|File")
                          << L({"PortMonitor1|Port Monitor|c|1|0", "ATUPanel1|ATU Panel|c|0|0", "-",
                                "PAType1|PA Type|s|1|0", "-", "Exit1|Exit|c|1|0"});
    QTest::newRow("PA Type") << QStringLiteral("PAType1|PA Type")
                             << L({"N12kW1|1 kW or 1.2 kW|r|1|1", "N24kW1|2.4 kW|r|1|0"});
    QTest::newRow("Fan") << QStringLiteral("Fancharacteristic1|Fan characteristics")
                         << L({"N501|50%|r|1|0", "Max1|Max|r|1|0", "Hysteresis1|Hysteresis|r|1|0",
                               "Fixed1|Fixed|r|1|0"});
    QTest::newRow("Interface") << QStringLiteral("Interface1|Interface")
                               << L({"YAESUBCD1|YAESU (BCD)|r|1|0", "YAESUFT8171|YAESU FT817|r|1|0",
                                     "ICOM1|ICOM|r|1|0", "Kenwood1|Kenwood|r|1|0",
                                     "OTRSP1|OTRSP|r|1|0", "Flex1|Flex|r|1|0", "-",
                                     "Manual1|Manual|r|1|0"});
    QTest::newRow("Alarm") << QStringLiteral("AlarmIndication1|Alarm Indication")
                           << L({"CWbybuzzer1|CW by buzzer|r|1|0", "Buzzer1|Buzzer|r|1|0",
                                 "Nosound1|No sound|r|1|0"});
    QTest::newRow("Input Power") << QStringLiteral("InputPower1|Input Power")
                                 << L({"N4W1|< 4W|r|0|0", "N60W1|~60W|r|0|0"});
    QTest::newRow("Bargraph") << QStringLiteral("Barreaction1|Power bargraph")
                              << L({"Veryslow1|Very slow|r|1|0", "Slow1|Slow|r|1|0",
                                    "Fast1|Fast|r|1|0", "Veryfast1|Very fast|r|1|0"});
    QTest::newRow("TOT") << QStringLiteral("TOT1|TOT")
                         << L({"Off1|Off|r|1|0", "N5min1|5 min|r|1|0", "N15min1|15 min|r|1|0",
                               "N30min1|30 min|r|1|0"});
}

void TestMainWindow::menus() {
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    const QStringList head = menu.split(QLatin1Char('|'));
    QAction *menuAction = action(head[0]);
    QVERIFY(menuAction);
    QCOMPARE(menuAction->text(), head[1]);
    QVERIFY(menuAction->menu());
    const QList<QAction *> got = menuAction->menu()->actions();
    QCOMPARE(got.size(), items.size());
    QActionGroup *group = nullptr;
    for (int i = 0; i < items.size(); ++i) {
        QAction *a = got[i];
        if (items[i] == QLatin1String("-")) {
            QVERIFY(a->isSeparator());
            continue;
        }
        const QStringList f = items[i].split(QLatin1Char('|'));
        QCOMPARE(a->objectName(), f[0]);
        QCOMPARE(a->text(), f[1]);
        QCOMPARE(a->isEnabled(), f[3] == QLatin1String("1"));
        QCOMPARE(a->isChecked(), f[4] == QLatin1String("1"));
        QCOMPARE(a->menu() != nullptr, f[2] == QLatin1String("s"));
        QCOMPARE(a->isCheckable(), f[2] == QLatin1String("r"));
        if (f[2] == QLatin1String("r")) {
            // One exclusive group per menu.
            QVERIFY(a->actionGroup());
            QCOMPARE(a->actionGroup()->exclusionPolicy(), QActionGroup::ExclusionPolicy::Exclusive);
            if (!group)
                group = a->actionGroup();
            QCOMPARE(a->actionGroup(), group);
        }
    }
    if (group) {
        int radios = 0;
        for (const QString &i : items)
            radios += i.contains(QLatin1String("|r|"));
        QCOMPARE(int(group->actions().size()), radios);
    }
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
    openPort();
    QAction *item = action(name);
    QVERIFY(item);
    // Another item of the group checked first: choosing this one moves the mark.
    QAction *other = nullptr;
    for (QAction *a : item->actionGroup()->actions())
        if (a != item)
            other = a;
    other->setChecked(true);

    const int mark = monitorSize();
    item->trigger();
    QCOMPARE(sent(), line + "\r\n");
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- ") + QString::fromLatin1(line)});
    QVERIFY(item->isChecked());
    QVERIFY(!other->isChecked());

    // Choosing the checked item again sends again.
    item->trigger();
    QCOMPARE(sent(), line + "\r\n");
    QVERIFY(item->isChecked());
    QVERIFY(boxes.isEmpty());
}

void TestMainWindow::settingItemPortClosed_data() {
    settingItem_data();
}

void TestMainWindow::settingItemPortClosed() {
    QFETCH(QString, name);
    QAction *item = action(name);
    QVERIFY(item);
    const int mark = monitorSize();
    item->trigger();
    // The mark moved, the error is shown, nothing is echoed.
    QVERIFY(item->isChecked());
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.endsWith(NotOpen), qPrintable(boxes[0].text));
    QCOMPARE(boxes[0].icon, Runtime::MsgIcon::Error);
    QCOMPARE(echoesSince(mark), QStringList());
    QVERIFY(nothingSent());
    // Nothing after the failed send ran: an interface leaves the band group alone.
    QCOMPARE(form->GroupBox1->title(), QStringLiteral(" Band  (YAESU BCD)"));
    QVERIFY(!form->Band[0]->isEnabled());
}

void TestMainWindow::interfaceItem_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("YAESU BCD") << QStringLiteral("YAESUBCD1") << QStringLiteral("Band (YAESU BCD)")
                               << false;
    QTest::newRow("FT817") << QStringLiteral("YAESUFT8171") << QStringLiteral("Band (YAESU FT817)")
                           << false;
    QTest::newRow("ICOM") << QStringLiteral("ICOM1") << QStringLiteral("Band (ICOM)") << false;
    QTest::newRow("Kenwood") << QStringLiteral("Kenwood1") << QStringLiteral("Band (Kenwood)")
                             << false;
    QTest::newRow("OTRSP") << QStringLiteral("OTRSP1") << QStringLiteral("Band (OTRSP)") << false;
    QTest::newRow("Flex") << QStringLiteral("Flex1") << QStringLiteral("Band (Flex)") << false;
    QTest::newRow("Manual") << QStringLiteral("Manual1") << QStringLiteral("Band (Manual)") << true;
}

void TestMainWindow::interfaceItem() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, enabled);
    openPort();
    // Start from the other state, so that the item has to change it.
    form->ApplyInterface(enabled ? 3 : 5);
    action(name)->trigger();
    sent();
    QCOMPARE(form->GroupBox1->title(), caption);
    for (TShape *b : form->Band)
        QCOMPARE(b->isEnabled(), enabled);
    for (QLabel *l : form->BandLabels)
        QCOMPARE(l->isEnabled(), enabled);

    // A press on a circle: sent only when the circles are enabled.
    const int mark = monitorSize();
    QTest::mousePress(form->Band[2], Qt::LeftButton, {}, QPoint(12, 12));
    if (enabled) {
        QCOMPARE(sent(), QByteArray("B: 3\r\n"));
        QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- B: 3")});
        QCOMPARE(form->Band[2]->BrushColor(), clLime);
    } else {
        QVERIFY(nothingSent());
        QCOMPARE(echoesSince(mark), QStringList());
        QCOMPARE(form->Band[2]->BrushColor(), clSilver);
        QCOMPARE(form->Session.CurrentBand, std::uint8_t(7));
    }
}

// ---- Band circles ------------------------------------------------------------------

void TestMainWindow::bandPress_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("button");
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("circle %d", n) << n << int(Qt::LeftButton);
    QTest::newRow("right button") << 4 << int(Qt::RightButton);
}

void TestMainWindow::bandPress() {
    QFETCH(int, n);
    QFETCH(int, button);
    openPort();
    form->ApplyInterface(5);
    // A hover highlight elsewhere is cleared by the selection.
    const int highlighted = n == 1 ? 2 : 1;
    form->Band[std::size_t(highlighted - 1)]->SetBrushColor(clYellow);

    const int mark = monitorSize();
    QTest::mousePress(form->Band[std::size_t(n - 1)], Qt::MouseButton(button), {}, QPoint(12, 12));
    QCOMPARE(sent(), "B: " + QByteArray::number(n) + "\r\n");
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- B: %1").arg(n)});
    QCOMPARE(int(form->Session.CurrentBand), n);
    for (int i = 1; i <= 7; ++i)
        QCOMPARE(form->Band[std::size_t(i - 1)]->BrushColor(), i == n ? clLime : clSilver);
    QVERIFY(boxes.isEmpty());
}

void TestMainWindow::bandPressPortClosed() {
    form->ApplyInterface(5);
    const int mark = monitorSize();
    QTest::mousePress(form->Band[1], Qt::LeftButton, {}, QPoint(12, 12));
    // The selection took effect; the send failed visibly; no echo.
    QCOMPARE(form->Session.CurrentBand, std::uint8_t(2));
    QCOMPARE(form->Band[1]->BrushColor(), clLime);
    QCOMPARE(form->Band[6]->BrushColor(), clSilver);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.endsWith(NotOpen));
    QCOMPARE(echoesSince(mark), QStringList());
}

void TestMainWindow::hover() {
    form->ApplyInterface(5);
    // Over the selected band's circle: it stays lime.
    moveMouse(form->Band[6], QPoint(12, 12));
    QTRY_COMPARE(form->Band[6]->BrushColor(), clLime);
    // Over another: yellow, until the mouse reaches the box's background.
    moveMouse(form->Band[3], QPoint(12, 12));
    QTRY_COMPARE(form->Band[3]->BrushColor(), clYellow);
    QCOMPARE(form->Band[6]->BrushColor(), clLime);
    moveMouse(form->Band[4], QPoint(10, 10));
    QTRY_COMPARE(form->Band[4]->BrushColor(), clYellow);
    moveMouse(form->GroupBox1, QPoint(4, 80));
    QTRY_COMPARE(form->Band[3]->BrushColor(), clSilver);
    QCOMPARE(form->Band[4]->BrushColor(), clSilver);
    QCOMPARE(form->Band[6]->BrushColor(), clLime);
    // Disabled circles take no highlight.
    form->ApplyInterface(1);
    moveMouse(form->Band[0], QPoint(12, 12));
    QTest::qWait(20);
    QCOMPARE(form->Band[0]->BrushColor(), clSilver);
}

// ---- PA type -------------------------------------------------------------------------

void TestMainWindow::paType() {
    openPort();
    const int mark = monitorSize();
    auto scale = [this] {
        QStringList s;
        for (QLabel *l : form->ScaleLabels)
            s << l->text();
        return s;
    };
    form->N24kW1->trigger();
    QCOMPARE(scale(), (QStringList{QStringLiteral("0W"), QStringLiteral("500W"),
                                   QStringLiteral(" 1kW"), QStringLiteral("1.5kW"),
                                   QStringLiteral("2kW"), QStringLiteral("2.4kW")}));
    QVERIFY(form->N24kW1->isChecked());
    QVERIFY(!form->N12kW1->isChecked());
    QCOMPARE(form->output->Max(), 1200);
    form->N12kW1->trigger();
    QCOMPARE(scale(),
             (QStringList{QStringLiteral("0W"), QStringLiteral("250W"), QStringLiteral("500W"),
                          QStringLiteral("750W"), QStringLiteral("1kW"), QStringLiteral("1.2kW")}));
    QVERIFY(form->N12kW1->isChecked());
    // The dispatcher's direct call checks the item as the menu does.
    form->N24kW1Click();
    QVERIFY(form->N24kW1->isChecked());
    QVERIFY(!form->N12kW1->isChecked());
    // No line is sent for the PA type.
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- PTT block -------------------------------------------------------------------------

void TestMainWindow::pttNotConnected() {
    // Closed, then connecting: the button ignores clicks.
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    openPort();
    const int mark = monitorSize();
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
    QVERIFY(!form->Session.BlockOnPending);
    QVERIFY(boxes.isEmpty());
}

void TestMainWindow::pttBlockAndRelease() {
    connectPeer();
    int mark = monitorSize();
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:ON")});
    QVERIFY(form->Session.BlockOnPending);
    // Nothing changes on the button until the amplifier confirms.
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("Click to block PTT"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(form->Panel1->Caption(), QStringLiteral("PTT Blocked!"));

    mark = monitorSize();
    QTest::mouseClick(form->Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:OFF")});
    QVERIFY(form->Session.BlockOffPending);
    QCOMPARE(form->Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QVERIFY(boxes.isEmpty());
}

// ---- ALC level ---------------------------------------------------------------------------

void TestMainWindow::alcPress_data() {
    QTest::addColumn<int>("cal");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("button");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("180 at 200") << 180 << 200 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 108");
    QTest::newRow("at 333") << 200 << 333 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 200");
    QTest::newRow("beyond 333") << 254 << 400 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 305");
    QTest::newRow("left end") << 200 << 0 << int(Qt::LeftButton) << QByteArray("ALC_PWM: 0");
    QTest::newRow("right button") << 100 << 50 << int(Qt::RightButton) << QByteArray("ALC_PWM: 15");
}

void TestMainWindow::alcPress() {
    QFETCH(int, cal);
    QFETCH(int, x);
    QFETCH(int, button);
    QFETCH(QByteArray, line);
    openPort();
    form->Session.CalValue = std::uint8_t(cal);
    const int mark = monitorSize();
    QTest::mousePress(form->output, Qt::MouseButton(button), {}, QPoint(x, 16));
    QCOMPARE(sent(), line + "\r\n");
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- ") + QString::fromLatin1(line)});
    QCOMPARE(form->ALC1->x(), x + 8);
    // The arrow points at the place pressed.
    QCOMPARE(form->ALC1->x() + form->ALC1->width() / 2, form->output->x() + x);
    QCOMPARE(form->Session.AlcValue, std::uint8_t(0));
}

void TestMainWindow::alcNotCalibrated() {
    openPort();
    const int before = form->ALC1->x();
    const int mark = monitorSize();
    QTest::mousePress(form->output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Please make first a calibration in PA !"));
    QCOMPARE(boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(boxes[0].icon, Runtime::MsgIcon::Error);
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
    QCOMPARE(form->ALC1->x(), before);
}

void TestMainWindow::alcPortClosed() {
    form->Session.CalValue = 180;
    const int mark = monitorSize();
    QTest::mousePress(form->output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(form->ALC1->x(), 208);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.endsWith(NotOpen));
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- File and About ------------------------------------------------------------------------

void TestMainWindow::portMonitorAtuPanelAbout() {
    const TWindows &w = windows->windows();
    QVERIFY(w.Form2->isHidden());
    form->PortMonitor1->trigger();
    QVERIFY(w.Form2->isVisible());

    // Disabled until the amplifier reports a tuner.
    form->ATUPanel1->trigger();
    QVERIFY(w.Fatu1->isHidden());
    form->ATUPanel1->setEnabled(true);
    form->ATUPanel1->trigger();
    QVERIFY(w.Fatu1->isVisible());

    form->About1->trigger();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("About..."));
    QCOMPARE(boxes[0].icon, Runtime::MsgIcon::Information);
    QVERIFY(boxes[0].text.contains(QStringLiteral("3.3")));
    QVERIFY(boxes[0].text.contains(QStringLiteral("Orvik 1200")));
    QVERIFY(nothingSent());

    if (!qEnvironmentVariableIsEmpty("ORVIK_SHOTS")) {
        const QString shots = qEnvironmentVariable("ORVIK_SHOTS");
        QDir().mkpath(shots);
        QVERIFY(form->grab().save(shots + QStringLiteral("/main-closed.png")));
    }
}

void TestMainWindow::exitClosesPortFirst() {
    connectPeer();
    QVERIFY(form->SerialPort->Connected());
    form->Exit1->trigger();
    QVERIFY(!form->SerialPort->Connected());
    // The port-lost sequence ran before the program ends.
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
