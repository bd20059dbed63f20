// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its layout and start, and the connection's life as the
// operator drives it over a pseudo-terminal: Open Port and Close Port, the
// ways a connection ends, the port list, network ports and failed opens.
// The handshake, a lost port and the real timers run against the simulator
// in tst_endtoend.
#include "tests/common/PanelFixture.h"
#include "tests/common/Ser2net.h"
#include "tests/widgets/TestPixels.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QMap>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <functional>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Pixels of about one colour in a picture (a caption's text, its smoothed
// edges aside).
int CountColor(const QImage &image, TColor color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const TColor p = PixelColor(image, x, y);
            bool near = true;
            for (int shift : {0, 8, 16})
                near = near && qAbs(int((p >> shift) & 0xFF) - int((color >> shift) & 0xFF)) < 48;
            n += near;
        }
    return n;
}

// A shown message box as the operator sees it: "text|title|icon".
QString BoxSeen(QMessageBox *box) {
    const char *icons[] = {"none", "information", "warning", "error", "question"};
    return box->text() + QLatin1Char('|') + SystemTitle(box) + QLatin1Char('|') +
           QLatin1String(icons[box->icon()]) +
           (box->standardButtons() == QMessageBox::Ok ? QString() : QStringLiteral("|buttons?"));
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Runtime::SetUpApplication(*qApp); }
    void init();
    void cleanup() { f.reset(); }
    void frameAndMenus();
    void radioInTitle_data();
    void radioInTitle();
    void componentSettings_data();
    void componentSettings();
    void geometry_data();
    void geometry();
    void startState();
    void messageBoxes_data();
    void messageBoxes();
    void connectionEnds_data();
    void connectionEnds();
    void openRefused_data();
    void openRefused();
    void portListDoubleClick();
    void portListNames();
    void networkPortDialog_data();
    void networkPortDialog();
    void hostileNetworkPeer_data();
    void hostileNetworkPeer();

private:
    // The windows anew, from the settings as they are now.
    void recreate() {
        f->createWindows(true);
        form = f->main;
    }
    void openPort();
    QStringList portList() const;
    QStringList monitor() const { return f->monitor(); }
    // Runs action with the real message boxes; each is read as it shows and closed.
    QStringList realBoxes(const std::function<void()> &action);
    QByteArray sent() { return f->sent(); }

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    MainWindow *form = nullptr;
};

void TestMainWindow::init() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    QVERIFY(f->showOnPeer());
    form = f->main;
}

// The radio followed, as the title tells it; the captions stay as they are.
void TestMainWindow::radioInTitle_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("following");
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("title");
    const QString t = QStringLiteral("Orvik 1200 Remote Control - ");
    QTest::newRow("following") << true << true << QString()
                               << t + QStringLiteral("following the radio on 14.074000 MHz");
    QTest::newRow("why nothing went")
        << true << true << QStringLiteral("band 4 waits: the radio is transmitting")
        << t + QStringLiteral("following the radio on 14.074000 MHz, band 4 waits: the radio is "
                              "transmitting");
    QTest::newRow("switched off") << true << false << QStringLiteral("following is off")
                                  << t + QStringLiteral("the radio not followed on 14.074000 MHz");
    QTest::newRow("rigctld away")
        << false << true << QString()
        << t + QStringLiteral("no answer from the radio at rigctld://127.0.0.1:4532");
}

void TestMainWindow::radioInTitle() {
    QFETCH(bool, connected);
    QFETCH(bool, following);
    QFETCH(QString, why);
    QFETCH(QString, title);
    RigStatus r;
    r.source = QStringLiteral("rigctld://127.0.0.1:4532");
    r.connected = connected;
    r.frequencyHz = 14074000;
    r.band = 4;
    r.following = following;
    r.why = why;
    form->Link.SetRig(r);
    QCOMPARE(form->windowTitle(), title);
    form->Link.SetRig(RigStatus());
    QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
}

void TestMainWindow::openPort() {
    QCOMPARE(f->ui.ComboBox1->currentText(), peer->devicePath());
    form->OpenSelectedPort();
    QCOMPARE(sent(), QByteArray("PA?\r\n"));
}

void TestMainWindow::frameAndMenus() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    form->resize(900, 600); // fixed size
    QCOMPARE(form->centralWidget()->size(), QSize(571, 270));
    // Each menu with its items ("-" a separator, "*" checked, "~" disabled),
    // all in sight on the bar; the radio items of a menu exclude each other.
    const QStringList expected = {
        QStringLiteral("File: Port Monitor|~ATU Panel|History|Network port\u2026|Follow the "
                       "radio\u2026|-|Reconnect automatically|-|PA Type|-|Exit"),
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
    menus << Action(form, "PAType1");
    for (QAction *m : menus) {
        QVERIFY(m == Action(form, "PAType1") ||
                form->menuBar()->actionGeometry(m).right() < form->menuBar()->width());
        QStringList items;
        for (QAction *a : m->menu() ? m->menu()->actions() : QList<QAction *>()) {
            items << (a->isSeparator()
                          ? QStringLiteral("-")
                          : (a->isChecked() ? QStringLiteral("*") : QString()) +
                                (a->isEnabled() ? QString() : QStringLiteral("~")) + a->text());
            // Radio items; "Reconnect automatically" is a toggle of its own.
            if (a->isCheckable() && a != Action(form, "AutoReconnect1"))
                QCOMPARE(
                    a->actionGroup()->actions().size(),
                    qsizetype(m->menu()->actions().size() - (m == Action(form, "Interface1"))));
        }
        got << m->text() + (items.isEmpty() ? QString()
                                            : QStringLiteral(": ") + items.join(QLatin1Char('|')));
    }
    QCOMPARE(got, expected);
}

QStringList TestMainWindow::realBoxes(const std::function<void()> &action) {
    Runtime::SetMessageHandler(nullptr);
    QStringList seen;
    QTimer closer;
    closer.setInterval(5);
    connect(&closer, &QTimer::timeout, this, [&seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen << BoxSeen(box);
            box->done(QMessageBox::Ok);
        }
    });
    closer.start();
    action();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) {
        if (f) // a port that goes as the fixture ends may still tell its box
            f->boxes.append(c);
    });
    return seen;
}

// The boxes of the connection's end are checked with the ways it ends.
void TestMainWindow::messageBoxes_data() {
    QTest::addColumn<int>("way");
    QTest::addColumn<QString>("expected"); // "text|title|icon"; %1 the port
    QTest::newRow("About") << 0
                           << MainWindow::AboutText() + QStringLiteral("|About...|information");
    QTest::newRow("not calibrated")
        << 1 << QStringLiteral("Please make first a calibration in PA !|Error|error");
    QTest::newRow("send on a closed port")
        << 2 << QStringLiteral("%1") + NotOpen + QStringLiteral("|Orvik Remote Control|error");
    QTest::newRow("no port chosen")
        << 3 << QStringLiteral("Please select a COM port first.|Error|error");
}

void TestMainWindow::messageBoxes() {
    QFETCH(int, way);
    QFETCH(QString, expected);
    if (way == 1 || way == 2)
        openPort();
    if (way == 2)
        form->Link.Close();
    const QStringList seen = realBoxes([&] {
        if (way == 0)
            Action(form, "About1")->trigger();
        if (way == 1)
            QTest::mousePress(f->ui.output, Qt::LeftButton, {}, QPoint(100, 16));
        if (way == 2)
            Action(form, "N501")->trigger();
        if (way == 3) {
            f->ui.ComboBox1->setCurrentIndex(-1);
            QTest::mouseClick(f->ui.openport, Qt::LeftButton);
        }
    });
    QCOMPARE(seen, QStringList{expected.replace(QStringLiteral("%1"), peer->devicePath())});
}

void TestMainWindow::componentSettings_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<qlonglong>("value");
    // Each component of the windows with its settings; colours by name.
    const QMap<QByteArray, TColor> colors = {
        {"BtnFace", clBtnFace}, {"Yellow", clYellow}, {"Lime", clLime},
        {"Red", clRed},         {"Black", clBlack},   {"White", clWhite},
        {"Purple", clPurple},   {"Silver", clSilver}, {"Green", clGreen}};
    const char *const button = " width=89 height=24 Latching=1 Flat=0 MarginHorizontal=8 "
                               "MarginVertical=4 Color=BtnFace HotTrack=1 HotColor=Yellow "
                               "HotFontColor=Red";
    const char *const lamp = " Interval=1000 Bordered=0";
    const QByteArray components[] = {
        QByteArray("openport x=8 y=48 maximumWidth=89 DownColor=Lime DownFontColor=Black") + button,
        QByteArray("closeport x=8 y=80 DownColor=Red DownFontColor=White") + button,
        "tune1 width=129 height=41 Latching=0 Flat=0 MarginHorizontal=2 MarginVertical=4 "
        "Color=BtnFace FontColor=Purple HotTrack=1 HotColor=Yellow DownColor=Lime "
        "HotFontColor=Red DownFontColor=Black",
        QByteArray("rxLED width=16 LEDStyle=0 TrueColor=Lime FalseColor=Silver Blink=1 Value=0") +
            lamp,
        QByteArray("txled width=16 LEDStyle=0 TrueColor=Red FalseColor=Silver Blink=0 Value=0") +
            lamp,
        QByteArray("tx_led width=22 LEDStyle=1 TrueColor=Red FalseColor=Lime Blink=0 Value=0") +
            lamp,
        QByteArray("Led width=22 LEDStyle=1 TrueColor=Yellow Blink=0 Value=1") + lamp,
        "output Min=0 Max=1200 Position=0 ShowPosText=0 ShowBorder=1 BarColorStyle=2 "
        "BarColor1=Green BarColor2=Yellow BarColor3=Red BackgroundColor=BtnFace Direction=0",
        "swr Min=0 Max=130 Position=0 ShowPosText=0 ShowBorder=1 BarColorStyle=1 "
        "BarColor1=Green BarColor2=Red BackgroundColor=BtnFace Direction=0"};
    for (const QByteArray &component : components) {
        const QList<QByteArray> words = component.split(' ');
        for (const QByteArray &setting : words.mid(1)) {
            const QByteArray property = setting.split('=')[0], value = setting.split('=')[1];
            QTest::addRow("%s %s", words[0].constData(), property.constData())
                << QString::fromLatin1(words[0]) << property
                << (colors.contains(value) ? qlonglong(colors[value]) : value.toLongLong());
        }
    }
}

void TestMainWindow::componentSettings() {
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(qlonglong, value);
    // The widgets of the real windows, read through their properties.
    QObject *w = form->findChild<QObject *>(name);
    if (!w)
        w = f->windows->Atu()->findChild<QObject *>(name);
    QVERIFY(w);
    const QVariant v = w->property(property.constData());
    QVERIFY2(v.isValid(), property.constData());
    QCOMPARE(v.toLongLong(), value);
}

void TestMainWindow::connectionEnds_data() {
    QTest::addColumn<int>("way");
    QTest::addColumn<bool>("closeportDown");
    QTest::addColumn<QStringList>("boxTexts"); // "text|title|icon"; %1 the port
    const QString lost = QStringLiteral("Disconnected from COM Port|COM Port |warning");
    QTest::newRow("Close Port clicked") << 0 << true << QStringList{lost};
    QTest::newRow("no answer") << 1 << false
                               << QStringList{lost, QStringLiteral(
                                                        "Sorry, PA not found on %1|Error|error")};
    QTest::newRow("port lost") << 2 << false << QStringList{lost};
    QTest::newRow("Exit") << 3 << false << QStringList{lost};
    QTest::newRow("main window closed") << 4 << false << QStringList();
    QTest::newRow("Close Port clicked while connecting") << 5 << true << QStringList{lost};
}

void TestMainWindow::connectionEnds() {
    QFETCH(int, way);
    QFETCH(bool, closeportDown);
    QFETCH(QStringList, boxTexts);
    // The handshake's timing as laid out: a query a second, the poll a second.
    {
        WindowSet fresh;
        const AmpLink &link = fresh.Link();
        QCOMPARE(link.HandshakeTimer()->interval(), 1000);
        QCOMPARE(link.PollTimer()->interval(), 1000);
        QVERIFY(!link.HandshakeTimer()->isActive() && link.PollTimer()->isActive());
    }
    // Connected or connecting: Open Port lime and pressed in, its caption black.
    auto openPressed = [this] {
        const QImage pressed = Render(*f->ui.openport);
        QCOMPARE(PixelColor(pressed, 3, 3), clLime);
        QCOMPARE(PixelColor(pressed, 1, 0), clGray);
        QVERIFY(CountColor(pressed, clBlack) > 10);
    };
    if (way == 1 || way == 5) {
        QTest::mouseClick(f->ui.openport, Qt::LeftButton);
        QCOMPARE(sent(), QByteArray("PA?\r\n"));
        // Ten ticks ask again and keep waiting; the eleventh asks and gives up.
        for (int tick = 1; tick <= (way == 1 ? 10 : 1); ++tick) {
            form->Link.HandshakeTick();
            QCOMPARE(sent(), QByteArray("PA?\r\n"));
        }
        QVERIFY(form->Link.State().IsConnecting() && form->Link.HandshakeTimer()->isActive());
        QVERIFY(f->ui.openport->Down() && !f->ui.openport->isEnabled());
        QVERIFY(!f->ui.closeport->Down() && f->ui.closeport->isEnabled());
        QVERIFY(f->boxes.isEmpty());
        openPressed();
    } else {
        QTest::mouseClick(f->ui.openport, Qt::LeftButton);
        peer->write("PA_QZ9QZ\r\n");
        QTRY_VERIFY(form->Link.State().IsConnected());
        QVERIFY(!form->Link.HandshakeTimer()->isActive() && form->Link.PollTimer()->isActive());
        QVERIFY(f->ui.openport->Down() && !f->ui.openport->isEnabled());
        QVERIFY(!f->ui.closeport->Down() && f->ui.closeport->isEnabled());
        openPressed();
    }
    const QStringList seen = realBoxes([&] {
        if (way == 0 || way == 5)
            QTest::mouseClick(f->ui.closeport, Qt::LeftButton);
        if (way == 1)
            form->Link.HandshakeTick();
        if (way == 2) {
            peer->closeMaster();
            QTRY_VERIFY(!form->Link.Port()->Connected());
        }
        if (way >= 3) {
            // The program ends: its event loop returns.
            QTimer::singleShot(0, form, [this, way] {
                if (way == 3)
                    Action(form, "Exit1")->trigger();
                else
                    form->close();
            });
            QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(99); });
            QCOMPARE(qApp->exec(), 0);
        }
    });
    QCOMPARE(seen, boxTexts.replaceInStrings(QStringLiteral("%1"), peer->devicePath()));
    if (way == 1) {
        QCOMPARE(sent(), QByteArray("PA?\r\n"));
        QCOMPARE(int(monitor().count(QStringLiteral("- PA?"))), 12);
    }
    if (way == 4)
        return; // the window is gone; the port goes with the windows
    QVERIFY(!form->Link.Port()->Connected());
    QVERIFY(!form->Link.HandshakeTimer()->isActive() && !form->Link.PollTimer()->isActive());
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open port"));
    QVERIFY(!f->ui.openport->Down() && f->ui.openport->isEnabled());
    QCOMPARE(f->ui.closeport->Down(), closeportDown);
    QVERIFY(!f->ui.closeport->isEnabled());
    QVERIFY(f->ui.ComboBox1->isEnabled());
    QCOMPARE(f->ui.ComboBox1->currentIndex(), -1);
    // As the operator sees them: Open Port raised in the button face, Close
    // Port red and pressed in after a click on it, else raised too.
    const QImage open = Render(*f->ui.openport), close = Render(*f->ui.closeport);
    QCOMPARE(PixelColor(open, 3, 3), ColorToRGB(clBtnFace));
    QCOMPARE(PixelColor(open, 1, 0), clWhite);
    QCOMPARE(PixelColor(close, 3, 3), closeportDown ? clRed : ColorToRGB(clBtnFace));
    QCOMPARE(PixelColor(close, 1, 0), closeportDown ? clGray : clWhite);
}

void TestMainWindow::portListDoubleClick() {
    QComboBox *list = f->ui.ComboBox1;
    const int entries = list->count();
    QCOMPARE(list->currentIndex(), entries - 1); // the configured device
    // Closed: the list is refilled with no entry selected.
    QTest::mouseDClick(list, Qt::LeftButton);
    QCOMPARE(list->count(), entries);
    QCOMPARE(list->currentIndex(), -1);
    // Dropped down, on an entry: the same, and the click selects nothing.
    list->setCurrentIndex(0);
    list->showPopup();
    QAbstractItemView *view = list->view();
    const QPoint at = view->visualRect(view->model()->index(entries - 1, 0)).center();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(list->currentIndex(), -1);
    QVERIFY(!view->isVisible());
    // "Refresh" selects the first entry.
    Action(form, "Refresh1")->trigger();
    QCOMPARE(list->currentIndex(), 0);
    // While a port is open the list is disabled and keeps its selection.
    list->setCurrentIndex(entries - 1);
    openPort();
    QTest::mouseDClick(list, Qt::LeftButton);
    QCOMPARE(list->currentIndex(), entries - 1);
    QVERIFY(f->boxes.isEmpty());
}

void TestMainWindow::portListNames() {
    // An adapter's by-id link is listed by its device and product; the open
    // list and the tooltip show the whole name, the box keeps its size.
    const QString byId =
        f->dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_USB_UART_A10KxYz-if00-port0"));
    QVERIFY(QDir().mkpath(QFileInfo(byId).path()));
    QVERIFY(QFile::link(peer->devicePath(), byId));
    QVERIFY(f->configure(byId));
    recreate();
    form->show();
    QComboBox *list = f->ui.ComboBox1;
    const int entry = list->currentIndex();
    QCOMPARE(list->itemData(entry).toString(), byId);
    const QString label = list->itemText(entry);
    QCOMPARE(label, QFileInfo(peer->devicePath()).fileName() +
                        QStringLiteral(" \u2014 FTDI FT232R USB UART A10KxYz"));
    QCOMPARE(list->itemData(entry, Qt::ToolTipRole).toString(), byId + QLatin1Char('\n') + label);
    list->showPopup();
    QAbstractItemView *view = list->view();
    QVERIFY(view->isVisible());
    for (int i = 0; i < list->count(); ++i)
        QVERIFY2(view->viewport()->width() >=
                     view->fontMetrics().horizontalAdvance(list->itemText(i)),
                 qPrintable(list->itemText(i)));
    QCOMPARE(list->size(), QSize(89, 21));
    list->hidePopup();
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
    QVERIFY(w->x() + w->width() <= f->ui.output->x() + f->ui.output->width() + 8);
}

void TestMainWindow::startState() {
    QCOMPARE(Texts(f->ui.BandLabels),
             QStringLiteral("160M|80M|40M|30M|20M|15M|17M|12M|10M|6M").split(QLatin1Char('|')));
    // Two-band labels stand one above the other under their circle.
    QCOMPARE(f->ui.BandLabels[3]->x(), f->ui.BandLabels[4]->x());
    QVERIFY(f->ui.BandLabels[3]->y() < f->ui.BandLabels[4]->y());
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(f->ui.Band[std::size_t(i)]->BrushColor(), i == 6 ? clLime : clSilver);
        QVERIFY(!f->ui.Band[std::size_t(i)]->isEnabled());
    }
    QVERIFY(f->ui.ALC1->isHidden());
    QVERIFY(f->ui.P_max1->isHidden());
    QCOMPARE(f->ui.Temp2->text(), QStringLiteral(" ?"));
    // The PTT button lies over the readouts and the transmit lamp.
    QCOMPARE(f->ui.Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QVERIFY(f->ui.Panel1->geometry().contains(f->ui.P_out->geometry()));
    QCOMPARE(f->ui.GroupBox3->childAt(390, 123), f->ui.Panel1);
    // Connection: closed, the poll timer running idle, the other windows hidden.
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(f->ui.closeport->Down());
    QVERIFY(!form->Link.HandshakeTimer()->isActive());
    QVERIFY(form->Link.PollTimer()->isActive());
    QVERIFY(!form->Link.State().readings.calibration.has_value() &&
            !form->Link.State().readings.Calibrated());
    QVERIFY(f->windows->Monitor()->isHidden());
    QVERIFY(f->windows->Atu()->isHidden());
    // Every lamp of every window as it starts: its face at the centre, the
    // surround of these borderless lamps in the button face colour.
    const std::pair<TLedLamp *, TColor> lamps[] = {{f->ui.rxLED, clSilver},
                                                   {f->ui.txled, clSilver},
                                                   {f->ui.tx_led, clLime},
                                                   {f->atu.Led, clYellow}};
    for (const auto &[lamp, face] : lamps) {
        const QImage image = Render(*lamp);
        QCOMPARE(PixelColor(image, lamp->width() / 2, lamp->height() / 2), face);
        QCOMPARE(PixelColor(image, 0, 0), ColorToRGB(clBtnFace));
        QVERIFY(!lamp->BlinkTimer());
    }
    // The lit RxD lamp blinks a second lit, a second out.
    f->ui.rxLED->SetValue(true);
    QVERIFY(f->ui.rxLED->BlinkTimer() && f->ui.rxLED->BlinkTimer()->isActive());
    QCOMPARE(f->ui.rxLED->BlinkTimer()->interval(), 1000);
    QCOMPARE(PixelColor(Render(*f->ui.rxLED), 8, 8), clLime);
    f->ui.rxLED->BlinkStep();
    QCOMPARE(PixelColor(Render(*f->ui.rxLED), 8, 8), clSilver);
    // The meters start empty and show no text: their inner box is all
    // background colour, their top-left edge the shadow.
    for (TBarMeter *meter : {f->ui.output, f->ui.swr}) {
        const QImage image = Render(*meter);
        for (int x = 1; x < meter->width() - 1; ++x)
            QCOMPARE(PixelColor(image, x, meter->height() / 2), ColorToRGB(clBtnFace));
        QCOMPARE(PixelColor(image, 0, 5), ColorToRGB(clBtnShadow));
        // Full: green at the origin, red at the far end, through yellow
        // on the output meter only.
        meter->SetPosition(meter->Max());
        const QImage full = Render(*meter);
        const int mid = meter->height() / 2;
        auto near = [&](int x, TColor c) {
            const TColor p = PixelColor(full, x, mid);
            for (int shift : {0, 8, 16})
                if (qAbs(int((p >> shift) & 0xFF) - int((c >> shift) & 0xFF)) > 6)
                    return false;
            return true;
        };
        QVERIFY(near(1, clGreen));
        QVERIFY(near(meter->width() - 2, clRed));
        QCOMPARE(PixelColor(full, meter->width() / 2, mid) == clYellow, meter == f->ui.output);
        meter->SetPosition(0);
    }
    // Open Port and TUNE raised in the button face with their captions in
    // their font colours; Close Port red and pressed in, its caption white.
    const QImage open = Render(*f->ui.openport), close = Render(*f->ui.closeport),
                 tune = Render(*f->atu.tune1);
    QCOMPARE(PixelColor(open, 3, 3), ColorToRGB(clBtnFace));
    QCOMPARE(PixelColor(open, 1, 0), clWhite);
    QVERIFY(CountColor(open, ColorToRGB(f->ui.openport->FontColor())) > 10);
    QCOMPARE(PixelColor(close, 3, 3), clRed);
    QCOMPARE(PixelColor(close, 1, 0), clGray);
    QVERIFY(CountColor(close, clWhite) > 10);
    QCOMPARE(PixelColor(tune, 3, 3), ColorToRGB(clBtnFace));
    QCOMPARE(PixelColor(tune, 1, 0), clWhite);
    QCOMPARE(PixelColor(tune, tune.width() - 1, 5), clGray);
    QVERIFY(CountColor(tune, clPurple) > 10);
}

void TestMainWindow::openRefused_data() {
    QTest::addColumn<bool>("noPort");
    QTest::addColumn<QString>("port"); // empty: a device that does not exist; PORT: a free one
    QTest::addColumn<QString>("text"); // the start of the message; %1: the port
    QTest::newRow("no such device") << false << QString() << QStringLiteral("Cannot connect to ");
    QTest::newRow("no port chosen")
        << true << QString() << QStringLiteral("Please select a COM port first.");
    // "none": the list is empty; the message says how a port comes.
    QTest::newRow("no port at all")
        << true << QStringLiteral("none") << QStringLiteral("No serial port found.\n\nPlug in");
    QTest::newRow("network port 0") << false << QStringLiteral("tcp://127.0.0.1:0")
                                    << QStringLiteral("Cannot connect to %1: invalid TCP port");
    QTest::newRow("network port above 65535")
        << false << QStringLiteral("tcp://127.0.0.1:65536")
        << QStringLiteral("Cannot connect to %1: invalid TCP port");
    QTest::newRow("malformed network name") << false << QStringLiteral("tcp://[::1]4000")
                                            << QStringLiteral("Cannot connect to %1: malformed");
    QTest::newRow("host that resolves to nothing")
        << false << QStringLiteral("tcp://orvik-no-such-host.invalid:4000")
        << QStringLiteral("Cannot connect to %1: unknown host");
    QTest::newRow("nobody listens") << false << QStringLiteral("tcp://127.0.0.1:PORT")
                                    << QStringLiteral("Cannot connect to %1: Connection refused");
}

void TestMainWindow::openRefused() {
    QFETCH(bool, noPort);
    QFETCH(QString, port);
    QFETCH(QString, text);
    recreate();
    if (port.isEmpty())
        port = f->dir.filePath(QStringLiteral("no-such-device"));
    port.replace(QLatin1String("PORT"), QString::number(Ser2net::FreePort()));
    const bool none = port == QLatin1String("none");
    if (none)
        form->FillPortList({}, -1);
    else
        f->ui.ComboBox1->addItem(port, port);
    f->ui.ComboBox1->setCurrentIndex(noPort ? -1 : f->ui.ComboBox1->count() - 1);
    QCOMPARE(f->ui.ComboBox1->placeholderText(), none ? QStringLiteral("No ports") : QString());
    QCOMPARE(f->ui.ComboBox1->toolTip().startsWith(QLatin1String("No serial port found")), none);
    // Clicked, with a box that runs its own event loop as a modal one does.
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) {
        f->boxes.append(c);
        QEventLoop modal;
        QTimer::singleShot(20, &modal, &QEventLoop::quit);
        modal.exec();
    });
    QTest::mouseClick(f->ui.openport, Qt::LeftButton);
    // The window stays closed and usable, Open Port released.
    QVERIFY(!f->ui.openport->Down());
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY2(f->boxes.at(0).text.startsWith(text.arg(port)), qPrintable(f->boxes.at(0).text));
    QVERIFY(!none || f->boxes.at(0).text.contains(QStringLiteral("Refresh")));
    QCOMPARE(f->boxes.at(0).icon, Runtime::MsgIcon::Error);
    QVERIFY(f->ui.ComboBox1->isEnabled());
    QVERIFY(f->ui.openport->isEnabled());
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->Link.Port()->Connected());
    QVERIFY(!form->Link.HandshakeTimer()->isActive());
    QVERIFY(f->monitor().join(QString()).isEmpty());
}

void TestMainWindow::networkPortDialog_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("added"); // empty: refused with a message naming the fault
    QTest::addColumn<QString>("fault");
    QTest::newRow("IPv4") << QStringLiteral(" TCP://192.168.1.20:4001 ")
                          << QStringLiteral("tcp://192.168.1.20:4001") << QString();
    QTest::newRow("IPv6") << QStringLiteral("tcp://[::1]:3001")
                          << QStringLiteral("tcp://[::1]:3001") << QString();
    QTest::newRow("host name") << QStringLiteral("tcp://shack-pi.local:3333")
                               << QStringLiteral("tcp://shack-pi.local:3333") << QString();
    QTest::newRow("the prompt's scheme typed over")
        << QStringLiteral("shack-pi:3001") << QStringLiteral("tcp://shack-pi:3001") << QString();
    QTest::newRow("port 0") << QStringLiteral("tcp://shack:0") << QString()
                            << QStringLiteral("invalid TCP port");
    QTest::newRow("port above 65535")
        << QStringLiteral("tcp://shack:70000") << QString() << QStringLiteral("invalid TCP port");
    QTest::newRow("no port") << QStringLiteral("tcp://shack") << QString()
                             << QStringLiteral("no port");
    QTest::newRow("IPv6 without brackets")
        << QStringLiteral("tcp://::1:3001") << QString() << QStringLiteral("brackets");
    QTest::newRow("a device path")
        << QStringLiteral("/dev/ttyUSB0") << QString() << QStringLiteral("not a network port name");
    QTest::newRow("the prompt as offered")
        << QStringLiteral("tcp://") << QString() << QStringLiteral("no port");
}

void TestMainWindow::networkPortDialog() {
    QFETCH(QString, typed);
    QFETCH(QString, added);
    QFETCH(QString, fault);
    QTemporaryDir config;
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configHome); });
    const QString ini = config.filePath(QStringLiteral("orvik/Orvik_control.ini"));
    QVERIFY(QFile::remove(f->dir.filePath(Settings::FileName))); // the user's file counts
    recreate();
    const QStringList before = portList();
    // The real dialog: the address is typed into it and accepted.
    bool answered = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, form, [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        typist.stop();
        answered = dialog->textValue() == QStringLiteral("tcp://");
        dialog->setTextValue(typed);
        dialog->accept();
    });
    typist.start(10);
    Action(form, "NetworkPort1")->trigger();
    QVERIFY(answered);
    if (added.isEmpty()) {
        QCOMPARE(f->boxes.size(), 1);
        QVERIFY2(f->boxes.at(0).text.contains(fault), qPrintable(f->boxes.at(0).text));
        QCOMPARE(portList(), before);
        QVERIFY(!QFile::exists(ini));
        return;
    }
    QVERIFY(f->boxes.isEmpty());
    QCOMPARE(portList(), before + QStringList{added});
    QCOMPARE(form->SelectedPort(), added);
    QCOMPARE(f->ui.ComboBox1->currentText(), added);
    // Remembered for the next start, and kept across a refresh of the list.
    QCOMPARE(Settings::Read(ini).configuration.port, std::optional(added));
    Action(form, "Refresh1")->trigger();
    QVERIFY(portList().contains(added));
    f->windows.reset();
    recreate();
    QCOMPARE(form->SelectedPort(), added);
}

void TestMainWindow::hostileNetworkPeer_data() {
    QTest::addColumn<bool>("closesAtOnce"); // else: 1 MB without a CR
    QTest::addColumn<int>("resets"); // instead: resets as a send goes; 1: Reconnect automatically
    QTest::newRow("accepts and closes at once, 50 times") << true << -1;
    QTest::newRow("1 MB without CR") << false << -1;
    QTest::newRow("resets as a send goes") << false << 0;
    QTest::newRow("resets as a send goes, Reconnect automatically") << false << 1;
}

void TestMainWindow::hostileNetworkPeer() {
    QFETCH(bool, closesAtOnce);
    QFETCH(int, resets);
    f->windows.reset(); // each row makes its own
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        TcpListener peer;
        QVERIFY(peer.port > 0);
        recreate();
        form->Link.Port()->SetDelay(20);
        if (resets >= 0) {
            // The send, not the reader, is first to find the connection gone:
            // that is part of the loss, with no box of its own.
            form->Link.SetAutoReconnect(resets == 1);
            QVERIFY(f->open(peer.Name()));
            const int c = peer.Accept(2000);
            // Once the reader has delivered a byte it is put to sleep.
            QSignalSpy arrived(&form->Link, &AmpLink::ChunkArrived);
            QVERIFY(c >= 0 && ::send(c, "x", 1, MSG_NOSIGNAL) == 1 && arrived.wait(2000));
            form->Link.Port()->SetDelay(60000);
            QTest::qWait(300);
            const linger abort{1, 0};
            ::setsockopt(c, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(c);
            QTest::qWait(50);
            Runtime::Guarded([this] { form->Link.HandshakeTick(); });
            QCOMPARE(form->Link.State().Phase, resets ? LinkPhase::Waiting : LinkPhase::Closed);
            QCOMPARE(f->boxes.size(), 1 - resets); // "Disconnected from COM Port" alone
            f->windows.reset();
        }
        const int cycles = resets >= 0 ? 0 : closesAtOnce ? 50 : 1;
        for (int i = 0; i < cycles; ++i) {
            QVERIFY(f->open(peer.Name()));
            const int c = peer.Accept(2000);
            QVERIFY(c >= 0);
            if (closesAtOnce) {
                ::close(c);
                QTRY_COMPARE(f->boxes.size(), i + 1);
                QCOMPARE(f->boxes.last().text, QStringLiteral("Disconnected from COM Port"));
                QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open port"));
                QVERIFY(f->ui.ComboBox1->isEnabled() && f->ui.openport->isEnabled());
                continue;
            }
            const auto closeIt = qScopeGuard([c] { ::close(c); });
            // Latin-1 bytes without a CR: the framer drops them and says so;
            // the link stays up and Close Port still works.
            QByteArray data(1 << 20, 'x');
            for (int k = 0; k < data.size(); k += 7)
                data[k] = char(0x80 + k % 128);
            qsizetype sent = 0;
            QElapsedTimer t;
            t.start();
            while (sent < data.size() && t.elapsed() < 20000) {
                const ssize_t n = ::send(c, data.constData() + sent, size_t(data.size() - sent),
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0)
                    sent += n;
                QTest::qWait(5);
            }
            QCOMPARE(sent, data.size());
            QTRY_VERIFY_WITH_TIMEOUT(
                !f->monitor().filter(QStringLiteral("****** Line without end discarded")).isEmpty(),
                20000);
            QVERIFY(form->Link.Port()->Connected());
            QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Connecting..."));
            form->Link.Close();
            QCOMPARE(f->boxes.size(), 1);
            QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open port"));
        }
        if (f->windows)
            QVERIFY(!form->Link.Port()->Connected());
        f->windows.reset();
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    QTRY_VERIFY(CountEntries("/proc/self/task") <= threads);
}

QStringList TestMainWindow::portList() const {
    QStringList ports;
    for (int i = 0; i < f->ui.ComboBox1->count(); ++i)
        ports << f->ui.ComboBox1->itemData(i).toString();
    return ports;
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
