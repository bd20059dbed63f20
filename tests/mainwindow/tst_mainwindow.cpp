// The main window as the operator meets it: its layout and menus, and every
// operator action driven by mouse presses and menu triggers, checked on the
// bytes that reach a real pseudo-terminal and on the port monitor's echo.
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "atu/AtuPanel.h"
#include "link/MainRules.h"
#include "service/PortMonitor.h"
#include "tests/common/PanelFixture.h"
#include "tests/widgets/TestPixels.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QWindow>

#include <functional>
#include <memory>

namespace {
const QString NotOpen = QStringLiteral(" is not open. Serial port is not connected.");

template <typename Labels> QStringList Texts(const Labels &labels) {
    QStringList out;
    for (const QLabel *l : labels)
        out << l->text();
    return out;
}

// The title an X11 window manager shows: the window's title, followed by
// " \u2014 " and the application's display name if one is set apart from
// the application's name (applicationDisplayName follows the name unless
// it was set on its own).
QString SystemTitle(QWidget *w) {
    w->winId();
    const QString title = w->windowHandle()->title();
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(name + QLatin1Char('?'));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    if (display == name + QLatin1Char('?') || title.endsWith(display))
        return title;
    return title + QStringLiteral(" \u2014 ") + display;
}

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
    void cleanup();
    void frameAndMenus();
    void titles_data();
    void titles();
    void messageBoxes_data();
    void messageBoxes();
    void componentSettings_data();
    void componentSettings();
    void connectionEnds_data();
    void connectionEnds();
    void portListDoubleClick();
    void portListNames();
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
    void keyboardOnly();

private:
    void openPort();
    void connectPeer();
    // A report as the serial component hands it to the main window.
    void report(const QByteArray &line);
    QStringList echoesSince(int mark) const { return monitor().mid(mark); }
    QStringList monitor() const { return f->monitor(); }
    // Runs action with the real message boxes; each is read as it shows and closed.
    QStringList realBoxes(const std::function<void()> &action);
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
    MainWindow *form = nullptr;
};

void TestMainWindow::init() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    QVERIFY(peer->ok());
    QVERIFY(f->configure(peer->devicePath()));
    f->createWindows(true);
    form = f->main;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

void TestMainWindow::cleanup() {
    f.reset();
}

void TestMainWindow::report(const QByteArray &line) {
    Runtime::Guarded([&] { form->Link.ReceiveChunk(line + "\r\n"); });
}

void TestMainWindow::openPort() {
    QCOMPARE(f->ui.ComboBox1->currentText(), peer->devicePath());
    form->OpenSelectedPort();
    QCOMPARE(sent(), QByteArray("PA?\r\n"));
}

void TestMainWindow::connectPeer() {
    openPort();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_VERIFY(form->Link.State().IsConnected());
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
        QStringLiteral("File: Port Monitor|~ATU Panel|Network port\u2026|-|Reconnect "
                       "automatically|-|PA Type|-|Exit"),
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

void TestMainWindow::titles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    const std::pair<const char *, const char *> rows[] = {
        {"Form1", "Orvik 1200 Remote Control"},
        {"Form2", "Port Monitor"},
        {"Form3", "Calibration"},
        {"FALARM_HP", "ALARM - HIGH OUTPUT POWER"},
        {"FAlarm_ip", "ALARM - HIGH INPUT POWER"},
        {"FALARM_SWR", "ALARM - HIGH REVERSE POWER"},
        {"Falarm_bpf", "ALARM - BPF failure"},
        {"Falarm_temp", "Alarm - Temperature"},
        {"FALARM_TOT", "ALARM - TIME OF TRANSMIT"},
        {"FALARM_HPCONT", "ALARM - Continoues Power"},
        {"Fatu1", "ATU Remote Control"}};
    for (const auto &[name, title] : rows)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(title);
}

void TestMainWindow::titles() {
    QFETCH(QString, name);
    QFETCH(QString, title);
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Orvik Remote Control"));
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name)
            window = w;
    QVERIFY(window);
    QCOMPARE(SystemTitle(window), title);
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
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { f->boxes.append(c); });
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
    if (way == 1) {
        QTest::mouseClick(f->ui.openport, Qt::LeftButton);
        QCOMPARE(sent(), QByteArray("PA?\r\n"));
        // Ten ticks ask again and keep waiting; the eleventh asks and gives up.
        for (int tick = 1; tick <= 10; ++tick) {
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
        if (way == 0)
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
    f->createWindows(true);
    form = f->main;
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
    QCOMPARE(form->Link.State().readings.calibration, std::uint8_t(255));
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
    QCOMPARE(f->ui.GroupBox1->title(), QStringLiteral(" Band  (YAESU BCD)"));
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
    QCOMPARE(f->ui.GroupBox1->title(), caption);
    for (TShape *b : f->ui.Band)
        QCOMPARE(b->isEnabled(), enabled);
    // The labels show it: purple text when enabled, grey text when not.
    for (QLabel *l : f->ui.BandLabels) {
        QCOMPARE(l->isEnabled(), enabled);
        const QImage image = l->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int purple = 0, grey = 0; // text pixels, smoothed edges included
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                const int r = qRed(p), g = qGreen(p), b = qBlue(p);
                purple += r > g + 40 && b > g + 40 && qAbs(r - b) < 40;
                grey += qAbs(r - g) < 12 && qAbs(g - b) < 12 && r < 180;
            }
        QVERIFY2(
            enabled ? purple > 3 && grey == 0 : grey > 3 && purple == 0,
            qPrintable(
                QStringLiteral("%1: %2 purple, %3 grey").arg(l->text()).arg(purple).arg(grey)));
    }
    // A press on a circle is sent only when the circles are enabled.
    const int mark = int(monitor().size());
    QTest::mousePress(f->ui.Band[2], Qt::LeftButton, {}, QPoint(12, 12));
    QCOMPARE(sent(), enabled ? QByteArray("B: 3\r\n") : QByteArray());
    QCOMPARE(echoesSince(mark), enabled ? QStringList{QStringLiteral("- B: 3")} : QStringList());
    QCOMPARE(form->Link.State().readings.band, enabled ? 3 : 7);
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
        form->Link.Close();
        f->boxes.clear(); // "Disconnected from COM Port"
    }
    // A hover highlight elsewhere is cleared by the selection.
    f->ui.Band[n == 1 ? 1 : 0]->SetBrushColor(clYellow);
    const int mark = int(monitor().size());
    QTest::mousePress(f->ui.Band[std::size_t(n - 1)], Qt::MouseButton(button), {}, QPoint(12, 12));
    // The selection takes effect even when the send fails visibly.
    QCOMPARE(int(form->Link.State().readings.band), n);
    for (int i = 1; i <= 7; ++i)
        QCOMPARE(f->ui.Band[std::size_t(i - 1)]->BrushColor(), i == n ? clLime : clSilver);
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
    moveMouse(f->ui.Band[6], QPoint(12, 12));
    moveMouse(f->ui.Band[3], QPoint(12, 12));
    QTRY_COMPARE(f->ui.Band[3]->BrushColor(), clYellow);
    moveMouse(f->ui.Band[4], QPoint(10, 10));
    QTRY_COMPARE(f->ui.Band[4]->BrushColor(), clYellow);
    QCOMPARE(f->ui.Band[6]->BrushColor(), clLime);
    moveMouse(f->ui.GroupBox1, QPoint(4, 80));
    QTRY_COMPARE(f->ui.Band[3]->BrushColor(), clSilver);
    QCOMPARE(f->ui.Band[4]->BrushColor(), clSilver);
    QCOMPARE(f->ui.Band[6]->BrushColor(), clLime);
    // Disabled circles take no highlight.
    report("I: 1");
    moveMouse(f->ui.Band[0], QPoint(12, 12));
    QCOMPARE(f->ui.Band[0]->BrushColor(), clSilver);
}

// ---- PA type -------------------------------------------------------------------------

void TestMainWindow::paType() {
    openPort();
    const int mark = int(monitor().size());
    Action(form, "N24kW1")->trigger();
    QCOMPARE(Texts(f->ui.ScaleLabels),
             QStringLiteral("0W|500W| 1kW|1.5kW|2kW|2.4kW").split(QLatin1Char('|')));
    QVERIFY(!Action(form, "N12kW1")->isChecked());
    Action(form, "N12kW1")->trigger();
    QCOMPARE(Texts(f->ui.ScaleLabels),
             QStringLiteral("0W|250W|500W|750W|1kW|1.2kW").split(QLatin1Char('|')));
    QVERIFY(!Action(form, "N24kW1")->isChecked());
    // The PA type the link takes (as from a version report) checks its item.
    form->Link.SetPaType(MainRules::PaType::Kw24);
    QVERIFY(Action(form, "N24kW1")->isChecked() && !Action(form, "N12kW1")->isChecked());
    // No line is sent for the PA type.
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- PTT block -------------------------------------------------------------------------

void TestMainWindow::pttBlock() {
    // Closed, then connecting: the button ignores clicks.
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    openPort();
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QVERIFY(nothingSent());
    QVERIFY(!form->Link.State().readings.blockOnPending);
    connectPeer();
    int mark = int(monitor().size());
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:ON")});
    QVERIFY(form->Link.State().readings.blockOnPending);
    // Nothing changes on the button until the amplifier confirms.
    QCOMPARE(f->ui.Panel1->Caption(), QStringLiteral("Click to block PTT"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    // Release: sent twice, echoed once.
    mark = int(monitor().size());
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:OFF")});
    QVERIFY(form->Link.State().readings.blockOffPending);
    QCOMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
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
    QTest::mousePress(f->ui.output, Qt::MouseButton(button), {}, QPoint(x, 16));
    QCOMPARE(sent(), line + "\r\n");
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- ") + QString::fromLatin1(line)});
    // The marker's arrow points at the place pressed.
    QCOMPARE(f->ui.ALC1->x(), x + 8);
    QCOMPARE(f->ui.ALC1->x() + f->ui.ALC1->width() / 2, f->ui.output->x() + x);
}

void TestMainWindow::alcRefused() {
    // Not calibrated: a message, nothing sent, the marker stays.
    connectPeer();
    const int before = f->ui.ALC1->x();
    int mark = int(monitor().size());
    QTest::mousePress(f->ui.output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].text, QStringLiteral("Please make first a calibration in PA !"));
    QCOMPARE(f->boxes[0].title, QStringLiteral("Error"));
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
    QCOMPARE(f->ui.ALC1->x(), before);
    // Port closed: the marker moves, the send fails visibly, no echo.
    form->Link.Close();
    f->boxes.clear();
    report("CAL: 180");
    mark = int(monitor().size());
    QTest::mousePress(f->ui.output, Qt::LeftButton, {}, QPoint(200, 16));
    QCOMPARE(f->ui.ALC1->x(), 208);
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY(f->boxes[0].text.endsWith(NotOpen));
    QCOMPARE(echoesSince(mark), QStringList());
}

// ---- File and About ------------------------------------------------------------------------

void TestMainWindow::fileAndAbout() {
    const WindowSet &w = *f->windows;
    Action(form, "PortMonitor1")->trigger();
    QVERIFY(w.Monitor()->isVisible());
    // Disabled until the amplifier reports a tuner.
    Action(form, "ATUPanel1")->trigger();
    QVERIFY(w.Atu()->isHidden());
    Action(form, "ATUPanel1")->setEnabled(true);
    Action(form, "ATUPanel1")->trigger();
    QVERIFY(w.Atu()->isVisible());
    Action(form, "About1")->trigger();
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY(f->boxes[0].text.contains(QStringLiteral("3.3")));
    QVERIFY(f->boxes[0].text.contains(QStringLiteral("Orvik 1200")));
}

// ---- Keyboard only -------------------------------------------------------------------------

void TestMainWindow::keyboardOnly() {
    QVERIFY(QTest::qWaitForWindowActive(form));
    for (TShape *circle : f->ui.Band) // as with the manual interface: the circles take part
        circle->setEnabled(true);
    // The port list has the focus first; Tab goes the way the operator works.
    QCOMPARE(QApplication::focusWidget(), f->ui.ComboBox1);
    const QList<QWidget *> order = {f->ui.openport, f->ui.closeport, f->ui.Panel1,
                                    f->ui.Band[0],  f->ui.Band[1],   f->ui.Band[2],
                                    f->ui.Band[3],  f->ui.Band[4],   f->ui.Band[5],
                                    f->ui.Band[6],  f->ui.output,    f->ui.ComboBox1};
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    // Tab to Open Port, Space: the handshake goes out.
    QTest::keyClick(f->ui.ComboBox1, Qt::Key_Tab);
    QTest::keyClick(f->ui.openport, Qt::Key_Space);
    QCOMPARE(sent(), QByteArray("PA?\r\n"));
    peer->write("PA_QZ9QZ\r\n");
    QTRY_VERIFY(form->Link.State().IsConnected());
    for (int i = 0; i < 10 && !peer->read(300).contains("ATU_INST?"); ++i) {
    }
    // Open Port and the port list are disabled now; the focus went on to Close Port.
    QCOMPARE(QApplication::focusWidget(), f->ui.closeport);
    QTest::keyClick(f->ui.closeport, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), f->ui.output);
    report("I: 5"); // manual
    report("CAL: 200");

    // The arrow keys choose the next band that way round, as a press does.
    f->ui.Band[2]->setFocus(Qt::TabFocusReason);
    const std::pair<Qt::Key, int> steps[] = {
        {Qt::Key_Right, 4}, {Qt::Key_Down, 5}, {Qt::Key_Left, 4}, {Qt::Key_Up, 3}};
    for (const auto &[key, band] : steps) {
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(sent(), "B: " + QByteArray::number(band) + "\r\n");
        QCOMPARE(QApplication::focusWidget(), f->ui.Band[std::size_t(band - 1)]);
        QCOMPARE(f->ui.Band[std::size_t(band - 1)]->BrushColor(), clLime);
    }
    f->ui.Band[0]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f->ui.Band[0], Qt::Key_Left); // round to 6M
    QCOMPARE(sent(), QByteArray("B: 7\r\n"));
    QTest::keyClick(f->ui.Band[6], Qt::Key_Space); // the chosen band again
    QCOMPARE(sent(), QByteArray("B: 7\r\n"));
    // Disabled circles (a transceiver interface) are passed over.
    f->ui.Band[2]->setEnabled(false);
    f->ui.Band[1]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f->ui.Band[1], Qt::Key_Right);
    QCOMPARE(sent(), QByteArray("B: 4\r\n"));

    // The PTT block toggles from the keyboard, confirmed by the amplifier.
    f->ui.Panel1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f->ui.Panel1, Qt::Key_Space);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QTest::keyClick(f->ui.Panel1, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));

    // The output bar: each step is the line of a press at its X (level = 200 * X div 333).
    f->ui.output->setFocus(Qt::TabFocusReason);
    const std::pair<Qt::Key, const char *> levels[] = {
        {Qt::Key_Home, "ALC_PWM: 0"},    {Qt::Key_Right, "ALC_PWM: 10"}, // X 17
        {Qt::Key_PageUp, "ALC_PWM: 60"}, {Qt::Key_Up, "ALC_PWM: 70"},    // X 100, 117
        {Qt::Key_Down, "ALC_PWM: 60"},   {Qt::Key_End, "ALC_PWM: 200"},  // X 333
        {Qt::Key_Right, "ALC_PWM: 200"}, {Qt::Key_PageDown, "ALC_PWM: 150"}};
    for (const auto &[key, line] : levels) {
        QTest::keyClick(f->ui.output, key);
        QCOMPARE(sent(), QByteArray(line) + "\r\n");
    }
    QCOMPARE(f->ui.ALC1->x(), MainRules::AlcMarkerLeft(250));
    QVERIFY(f->boxes.isEmpty());
    // Not calibrated: the refusal, as for a press.
    report("CAL: 255");
    QTest::keyClick(f->ui.output, Qt::Key_Left);
    QVERIFY(nothingSent());
    QCOMPARE(f->boxes.size(), 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
