// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader and a keyboard-only operator meet, on a dense screen
// (device pixel ratio 2): the accessible roles, names, states and values of
// the indicator widgets and the events they raise, their keyboard use and
// focus frame, pictures drawn at the screen's density, and the accessibility
// tree of every window as the amplifier's reports change it.
#include "TestPixels.h"
#include "app/AlarmWindow.h"
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "atu/AtuPanel.h"
#include "config/Settings.h"
#include "link/Reports.h"
#include "monitor/PortMonitor.h"
#include "service/CalibrationWindow.h"
#include "tests/common/PanelFixture.h"
#include "widgets/Accessible.h"
#include "widgets/BarMeter.h"
#include "widgets/ColorButton.h"
#include "widgets/LedLamp.h"
#include "widgets/Runtime.h"
#include "widgets/StdControls.h"

#include <QAccessibleValueInterface>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

struct SeenEvent {
    QObject *object;
    QAccessible::Event type;
    QVariant value;            // of a value change
    QAccessible::State states; // of a state change
    QString name;              // of what came into view
};
QList<SeenEvent> g_events;

void Record(QAccessibleEvent *event) {
    SeenEvent seen{event->object(), event->type(), QVariant(), QAccessible::State(), QString()};
    if (event->type() == QAccessible::ValueChanged)
        seen.value = static_cast<QAccessibleValueChangeEvent *>(event)->value();
    if (event->type() == QAccessible::StateChanged)
        seen.states = static_cast<QAccessibleStateChangeEvent *>(event)->changedStates();
    if (event->type() == QAccessible::ObjectShow)
        seen.name = event->accessibleInterface()->text(QAccessible::Name);
    g_events.append(seen);
}

// The events of `object` that tell a screen reader about a change (not the
// creation, moves and the like that Qt raises for every widget).
QList<QAccessible::Event> EventsOf(QObject *object) {
    const QList<QAccessible::Event> told = {
        QAccessible::StateChanged, QAccessible::NameChanged, QAccessible::DescriptionChanged,
        QAccessible::ValueChanged, QAccessible::ObjectShow,  QAccessible::Alert};
    QList<QAccessible::Event> out;
    for (const SeenEvent &e : g_events)
        if (e.object == object && told.contains(e.type))
            out << e.type;
    return out;
}

// As when a screen reader starts or stops listening: the platform's
// accessibility turns active, and events reach the recorder.
void Listen(bool on) {
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(on);
    QAccessible::installUpdateHandler(on ? Record : nullptr);
}

QAccessibleInterface *Accessible(QObject *o) {
    return QAccessible::queryAccessibleInterface(o);
}

// The Open Port button as the main window configures it.
void MakeOpenPort(TColorButton &b) {
    b.SetCaption(QStringLiteral("Open Port"));
    b.SetLatching(true);
    b.SetFlat(false);
    b.SetColor(clBtnFace);
    b.SetDownColor(clLime);
    b.resize(89, 24);
}

} // namespace

class TestAccessible : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void buttonStates();
    void keyboard_data();
    void keyboard();
    void focusFrame();
    void lamp();
    void meter();
    void announcer();
    void readout();
    void denseLamp_data();
    void denseLamp();
    void denseMeterAndButton();
    void windowTrees();
    void mainWindowChanges();
    void messageBoxes();

private:
    // The windows, connected to the far end of a pseudo-terminal.
    bool openWindows();
    QStringList announced() const;

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    WindowSet *windows = nullptr;
    MainWindow *form = nullptr;
    MainUi ui;
    AtuUi atu;
};

void TestAccessible::init() {
    g_events.clear();
    Listen(true);
}

void TestAccessible::cleanup() {
    Listen(false);
    f.reset();
}

bool TestAccessible::openWindows() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    if (!f->showOnPeer())
        return false;
    windows = f->windows.get();
    form = f->main;
    ui = f->ui;
    atu = f->atu;
    if (!QTest::qWaitForWindowActive(form))
        return false;
    ui.openport->Activate();
    peer->write("PA_QZ9QZ\r\n");
    return QTest::qWaitFor([this] { return form->Link.State().IsConnected(); }) &&
           !peer->read(300).isEmpty();
}

// What the announcer was given to say, in order.
QStringList TestAccessible::announced() const {
    QStringList out;
    for (const SeenEvent &e : g_events)
        if (e.type == QAccessible::ObjectShow && e.object == form->findChild<TAnnouncer *>())
            out << e.name;
    return out;
}

void TestAccessible::buttonStates() {
    QWidget window;
    auto *open = new TColorButton(&window);
    MakeOpenPort(*open);
    auto *tune = new TColorButton(&window);
    tune->SetCaption(QStringLiteral("TUNE"));
    QAccessibleInterface *a = Accessible(open);
    QAccessibleInterface *t = Accessible(tune);
    QCOMPARE(a->role(), QAccessible::PushButton);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Open Port"));
    QVERIFY(a->state().checkable && !a->state().checked && a->state().focusable);
    QVERIFY(
        a->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    // A latching button's Down is its checked state; a plain one's is pressed.
    g_events.clear();
    open->SetDown(true);
    tune->SetDown(true);
    QVERIFY(a->state().checked);
    QVERIFY(!t->state().checkable && !t->state().checked && t->state().pressed);
    QCOMPARE(EventsOf(open), QList<QAccessible::Event>{QAccessible::StateChanged});
    QCOMPARE(EventsOf(tune), QList<QAccessible::Event>{QAccessible::StateChanged});
    for (const SeenEvent &e : g_events)
        if (e.type == QAccessible::StateChanged)
            QCOMPARE(e.states.checked, e.object == open);
    // The caption names the button unless the window gives a name.
    open->SetCaption(QStringLiteral("PA connected"));
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("PA connected"));
    QCOMPARE(EventsOf(open).last(), QAccessible::NameChanged);
    open->setAccessibleName(QStringLiteral("Connection"));
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Connection"));
    // The window's children: both buttons, in order.
    QAccessibleInterface *w = Accessible(&window);
    QCOMPARE(w->childCount(), 2);
    QCOMPARE(w->child(0), a);
    QCOMPARE(w->child(1), t);
    open->setEnabled(false);
    QVERIFY(a->state().disabled);
}

void TestAccessible::keyboard_data() {
    QTest::addColumn<bool>("latching");
    QTest::addColumn<QString>("how"); // a key, or an action through the screen reader
    for (bool latching : {true, false}) {
        const char *kind = latching ? "latching" : "plain";
        for (const char *how :
             {"Space", "Return", "Enter", "press action", "held Return", "Return unflagged"})
            QTest::addRow("%s, %s", kind, how) << latching << QString::fromLatin1(how);
    }
    QTest::newRow("latching, toggle action") << true << QStringLiteral("toggle action");
}

void TestAccessible::keyboard() {
    QFETCH(bool, latching);
    QFETCH(QString, how);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *disabled = new TColorButton(&window);
    disabled->SetCaption(QStringLiteral("Close Port"));
    disabled->setEnabled(false);
    auto *button = new TColorButton(&window);
    MakeOpenPort(*button);
    button->SetLatching(latching);
    layout->addWidget(disabled);
    layout->addWidget(button);
    QList<std::pair<bool, bool>> seen; // (pressed, Down) when onclick ran
    button->onclick = [&](QObject *) { seen.append({button->Pressed(), button->Down()}); };
    disabled->onclick = [&](QObject *) { seen.append({false, false}); };
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Tab passes over the disabled button; a mouse click would not take the focus.
    QTest::keyClick(&window, Qt::Key_Tab);
    QVERIFY(button->hasFocus());
    if (how == QLatin1String("Space")) {
        QTest::keyPress(button, Qt::Key_Space);
        QVERIFY(button->Pressed() && seen.isEmpty());
        QTest::keyRelease(button, Qt::Key_Space);
    } else if (how == QLatin1String("Return")) {
        QTest::keyClick(button, Qt::Key_Return);
    } else if (how == QLatin1String("Enter")) {
        QTest::keyClick(button, Qt::Key_Enter);
    } else if (how.contains(QLatin1String("Return"))) {
        // Held: its repeats flagged, or (as some input methods pass them on)
        // presses again without the flag; only the release clicks.
        const bool flagged = how.startsWith(QLatin1String("held"));
        auto send = [button](QEvent::Type type, bool repeat) {
            QKeyEvent event(type, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
            QApplication::sendEvent(button, &event);
        };
        send(QEvent::KeyPress, false);
        for (int i = 0; i < 3; ++i) {
            if (flagged)
                send(QEvent::KeyRelease, true);
            send(QEvent::KeyPress, flagged);
        }
        QVERIFY(button->Pressed() && seen.isEmpty());
        send(QEvent::KeyRelease, false);
    } else {
        const QString action = how == QLatin1String("press action")
                                   ? QAccessibleActionInterface::pressAction()
                                   : QAccessibleActionInterface::toggleAction();
        Accessible(button)->actionInterface()->doAction(action);
        Accessible(disabled)->actionInterface()->doAction(action);
    }
    // The click handler ran once, pressed and before the latch; then the latch.
    QCOMPARE(seen, (QList<std::pair<bool, bool>>{{true, false}}));
    QVERIFY(!button->Pressed());
    QCOMPARE(button->Down(), latching);
    QCOMPARE(Accessible(button)->state().checked, latching);
    // Other keys are not clicks.
    QTest::keyClick(button, Qt::Key_A);
    QCOMPARE(seen.size(), 1);
}

void TestAccessible::focusFrame() {
    QWidget window;
    auto *first = new TColorButton(&window);
    MakeOpenPort(*first);
    auto *meter = new TBarMeter(&window);
    meter->setGeometry(0, 40, 200, 30);
    meter->SetPosition(60);
    meter->setFocusPolicy(Qt::TabFocus);
    window.resize(220, 80);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Focused because its window became active: no frame, the picture as without focus.
    QVERIFY(first->hasFocus());
    const QImage unfocused = Render(*first);
    first->clearFocus();
    QCOMPARE(Render(*first), unfocused);
    const QImage meterUnfocused = Render(*meter);
    // From the keyboard: a dotted frame two pixels inside, nothing else changes.
    for (QWidget *w : {static_cast<QWidget *>(first), static_cast<QWidget *>(meter)}) {
        const QImage before = w == first ? unfocused : meterUnfocused;
        w->setFocus(Qt::TabFocusReason);
        const QImage framed = Render(*w);
        QCOMPARE(framed.size(), before.size());
        const QRect frame(4, 4, before.width() - 8, before.height() - 8); // device pixels
        int changed = 0;
        for (int y = 0; y < before.height(); ++y)
            for (int x = 0; x < before.width(); ++x)
                if (framed.pixel(x, y) != before.pixel(x, y)) {
                    ++changed;
                    const bool onFrame = x < frame.left() + 2 || x > frame.right() - 2 ||
                                         y < frame.top() + 2 || y > frame.bottom() - 2;
                    QVERIFY2(frame.contains(x, y) && onFrame,
                             qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                }
        QVERIFY(changed > frame.width()); // dotted all round
        w->clearFocus();
        QCOMPARE(Render(*w), before);
    }
    // The meter's own picture never holds the frame.
    meter->setFocus(Qt::TabFocusReason);
    const QImage framed = Render(*meter);
    QCOMPARE(meter->OffscreenPicture(), meterUnfocused);
    // A selection is a line across the bar at its X, over the picture and
    // only while focused; it goes with the focus.
    meter->SetSelection(150);
    const QImage selected = Render(*meter);
    QCOMPARE(meter->OffscreenPicture(), meterUnfocused);
    QSet<int> columns;
    for (int y = 8; y < selected.height() - 8; ++y)
        for (int x = 8; x < selected.width() - 8; ++x)
            if (selected.pixel(x, y) != framed.pixel(x, y))
                columns << x;
    QCOMPARE(columns, (QSet<int>{298, 299, 300, 301, 302, 303})); // X 149 to 151, device pixels
    first->setFocus(Qt::TabFocusReason);
    QCOMPARE(meter->Selection(), -1);
}

void TestAccessible::lamp() {
    TLedLamp lamp;
    lamp.setAccessibleName(QStringLiteral("Transmit"));
    lamp.SetTrueColor(clRed);
    lamp.SetFalseColor(clLime);
    lamp.SetBlink(false);
    lamp.SetColorMeaning(clRed, QStringLiteral("transmitting"));
    lamp.SetColorMeaning(clLime, QStringLiteral("receiving"));
    QAccessibleInterface *a = Accessible(&lamp);
    QCOMPARE(a->role(), QAccessible::StaticText);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Transmit"));
    QCOMPARE(a->text(QAccessible::Description), QStringLiteral("unlit, green: receiving"));
    g_events.clear();
    lamp.SetValue(true);
    QCOMPARE(a->text(QAccessible::Description), QStringLiteral("lit, red: transmitting"));
    QCOMPARE(EventsOf(&lamp), QList<QAccessible::Event>{QAccessible::DescriptionChanged});
    // A colour without a meaning is named; the window's description follows.
    lamp.SetTrueColor(clYellow);
    lamp.setAccessibleDescription(QStringLiteral("Tuner state"));
    QCOMPARE(a->text(QAccessible::Description), QStringLiteral("lit, yellow. Tuner state"));
    // One for the colour, one from Qt for the window's description.
    QCOMPARE(EventsOf(&lamp).size(), 3);
    QVERIFY(!a->state().focusable);
}

void TestAccessible::meter() {
    TBarMeter meter;
    meter.setAccessibleName(QStringLiteral("Output power"));
    meter.SetMax(1200);
    meter.SetValueUnit(QStringLiteral("watts"));
    meter.SetValueScale(2); // a 2.4 kW amplifier on a 1200 scale
    meter.SetPosition(425);
    QAccessibleInterface *a = Accessible(&meter);
    QCOMPARE(a->role(), QAccessible::ProgressBar);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Output power"));
    QAccessibleValueInterface *v = a->valueInterface();
    QVERIFY(v);
    QCOMPARE(v->currentValue().toDouble(), 850.0);
    QCOMPARE(v->minimumValue().toDouble(), 0.0);
    QCOMPARE(v->maximumValue().toDouble(), 2400.0);
    QCOMPARE(a->text(QAccessible::Value), QStringLiteral("850 watts"));
    QCOMPARE(a->text(QAccessible::Description), QStringLiteral("850 watts"));
    // Read only: a screen reader cannot move the reading.
    v->setCurrentValue(100);
    QCOMPARE(meter.Position(), 425);
    // A new reading raises one value change; a dropped one raises none.
    g_events.clear();
    meter.SetPosition(500);
    meter.SetPosition(1300);
    meter.SetPosition(500);
    QCOMPARE(g_events.size(), 1);
    QCOMPARE(g_events[0].type, QAccessible::ValueChanged);
    QCOMPARE(g_events[0].value.toDouble(), 1000.0);
    // Without a listener nothing is raised.
    Listen(false);
    meter.SetPosition(10);
    QCOMPARE(g_events.size(), 1);
    QCOMPARE(v->currentValue().toDouble(), 20.0);
}

void TestAccessible::announcer() {
    QWidget window;
    auto *announcer = new TAnnouncer(&window);
    window.show();
    g_events.clear();
    QAccessibleInterface *a = Accessible(announcer);
    QCOMPARE(a->role(), QAccessible::Notification);
    announcer->Announce(QStringLiteral("Transmitting"));
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Transmitting"));
    // Shown anew, which a screen reader reads at once, wherever the focus is.
    QCOMPARE(EventsOf(announcer),
             (QList<QAccessible::Event>{QAccessible::NameChanged, QAccessible::ObjectShow}));
    QVERIFY(!announcer->hasFocus() && announcer->focusPolicy() == Qt::NoFocus);
    QVERIFY(announcer->size().isEmpty());
}

void TestAccessible::readout() {
    QWidget box;
    auto *value = new QLabel(QStringLiteral(" ?"), &box);
    auto *swr = new QLabel(QStringLiteral("1.5"), &box);
    MakeReadout(value, QStringLiteral("Temperature"), QStringLiteral("degrees"), &box,
                {{clLime, QStringLiteral("cool")}, {clRed, QStringLiteral("alarm")}});
    MakeReadout(swr, QStringLiteral("SWR"));
    QAccessibleInterface *a = Accessible(value);
    QCOMPARE(a->role(), QAccessible::StaticText);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Temperature unknown"));
    value->setText(QStringLiteral("45"));
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Temperature 45 degrees"));
    QVERIFY(EventsOf(value).contains(QAccessible::NameChanged));
    // The colour class is the background colour of the box and its meaning.
    for (const auto &[colour, text] :
         {std::pair{clLime, "green: cool"}, {clRed, "red: alarm"}, {clYellow, "yellow"}}) {
        QPalette p = box.palette();
        p.setColor(QPalette::Window, ToQColor(colour));
        box.setPalette(p);
        QCOMPARE(a->text(QAccessible::Description), QLatin1String(text));
    }
    QCOMPARE(Accessible(swr)->text(QAccessible::Name), QStringLiteral("SWR 1.5"));
    QCOMPARE(Accessible(swr)->text(QAccessible::Description), QString());
}

void TestAccessible::denseLamp_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("bordered");
    for (int style = LEDSmall; style <= LEDHorizontal; ++style)
        for (bool bordered : {true, false})
            QTest::addRow("style %d %s", style, bordered ? "framed" : "borderless")
                << style << bordered;
}

// On a dense screen the lamp shows its picture pixel for pixel, drawn with
// twice the pixels, and round faces get finer edges than a blown-up picture.
void TestAccessible::denseLamp() {
    QFETCH(int, style);
    QFETCH(bool, bordered);
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    TLedLamp lamp;
    lamp.SetBlink(false);
    lamp.SetBordered(bordered);
    lamp.SetLEDStyle(TLEDStyle(style));
    lamp.SetValue(true);
    QCOMPARE(lamp.LitPicture().size(), lamp.size() * 2);
    QCOMPARE(lamp.LitPicture().devicePixelRatio(), 2.0);
    QImage shown = Render(lamp);
    shown.setDevicePixelRatio(2);
    QCOMPARE(shown, lamp.LitPicture().convertToFormat(QImage::Format_RGB32));
    // Every pixel of the ratio-1 template has its colour at the middle of its block.
    const QImage one = LedTemplate(bordered ? QStringLiteral("BSM") : QStringLiteral("NSM"));
    const QImage two = LedTemplate(bordered ? QStringLiteral("BSM") : QStringLiteral("NSM"), 2);
    QCOMPARE(two.size(), one.size() * 2);
    int blocksWithEdges = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            const QRgb a = two.pixel(2 * x, 2 * y), b = two.pixel(2 * x + 1, 2 * y + 1);
            blocksWithEdges += a != b || two.pixel(2 * x + 1, 2 * y) != a;
        }
    QVERIFY2(blocksWithEdges > 0, "a blown-up picture");
}

void TestAccessible::denseMeterAndButton() {
    QWidget window;
    auto *meter = new TBarMeter(&window);
    meter->setGeometry(0, 0, 200, 20);
    meter->SetShowPosText(false);
    meter->SetPosition(50);
    auto *button = new TColorButton(&window);
    button->setGeometry(0, 30, 60, 24);
    button->SetFlat(false);
    button->SetCaption(QStringLiteral("TUNE"));
    window.resize(220, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage m = Render(*meter);
    QCOMPARE(m.size(), QSize(400, 40));
    QCOMPARE(meter->OffscreenPicture().size(), QSize(400, 40));
    // Border rows and columns two device pixels wide, then the bar at once.
    const TColor shadow = ColorToRGB(clBtnShadow), light = ColorToRGB(clBtnHighlight);
    for (int d : {0, 1}) {
        QCOMPARE(PixelColor(m, 50, d), shadow);
        QCOMPARE(PixelColor(m, d, 20), shadow);
        QCOMPARE(PixelColor(m, 50, 39 - d), light);
        QCOMPARE(PixelColor(m, 399 - d, 20), light);
    }
    // The gradient steps once per device line: the third line is step 3 of 200.
    QCOMPARE(PixelColor(m, 2, 20), GradientStep(clGreen, clYellow, 3, 200));
    // Half of the 198-pixel inner length is 99 pixels: 198 device pixels.
    QVERIFY(PixelColor(m, 2 + 197, 20) != ColorToRGB(clBtnFace));
    QCOMPARE(PixelColor(m, 2 + 198, 20), ColorToRGB(clBtnFace));

    // The button's raised edge: two device pixels of white, then the face.
    const QImage b = Render(*button);
    QCOMPARE(b.size(), QSize(120, 48));
    QCOMPARE(PixelColor(b, 30, 0), clWhite);
    QCOMPARE(PixelColor(b, 30, 1), clWhite);
    QCOMPARE(PixelColor(b, 30, 2), clSilver);
    QCOMPARE(PixelColor(b, 30, 47), clGray);
    QCOMPARE(PixelColor(b, 30, 46), clGray);
    QCOMPARE(PixelColor(b, 30, 45), clSilver);
}

namespace {

// Every object of a window's tree with its role, depth first.
void Walk(QAccessibleInterface *iface, QList<QAccessibleInterface *> &out) {
    out << iface;
    for (int i = 0; i < iface->childCount(); ++i)
        if (QAccessibleInterface *child = iface->child(i))
            Walk(child, out);
}

// Roles that carry no text of their own: containers and decoration.
bool Unnamed(QAccessible::Role role) {
    return role == QAccessible::Client || role == QAccessible::Grouping ||
           role == QAccessible::MenuBar || role == QAccessible::PopupMenu ||
           role == QAccessible::Separator || role == QAccessible::List ||
           role == QAccessible::Notification;
}

} // namespace

// Each window's tree: nothing a screen reader can land on is nameless, and
// the panel's own controls have the role, name and state they stand for.
void TestAccessible::windowTrees() {
    QVERIFY(openWindows());
    const WindowSet &w = *windows;
    for (QWidget *window : w.Windows()) {
        QList<QAccessibleInterface *> tree;
        Walk(Accessible(window), tree);
        QVERIFY(tree.size() > 2);
        for (QAccessibleInterface *node : tree) {
            const QString where = window->objectName() + QLatin1Char('/') +
                                  (node->object() ? node->object()->objectName() : QString());
            if (!Unnamed(node->role()) && !node->state().invisible)
                QVERIFY2(!node->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(where));
        }
    }

    // Main window: the connection buttons, the bands as a choice, the PTT
    // block, the meters, lamps and the temperature.
    QAccessibleInterface *open = Accessible(ui.openport);
    QCOMPARE(open->role(), QAccessible::PushButton);
    QCOMPARE(open->text(QAccessible::Name), QStringLiteral("PA connected"));
    QVERIFY(open->state().checkable && open->state().checked && open->state().disabled);
    QAccessibleInterface *close = Accessible(ui.closeport);
    QCOMPARE(close->text(QAccessible::Name), QStringLiteral("Close Port"));
    QVERIFY(!close->state().checked && !close->state().disabled);
    const QStringList bands = {QStringLiteral("160M"),     QStringLiteral("80M"),
                               QStringLiteral("40M"),      QStringLiteral("30M, 20M"),
                               QStringLiteral("15M, 17M"), QStringLiteral("12M, 10M"),
                               QStringLiteral("6M")};
    // No band is checked until the amplifier reports one on this connection;
    // then exactly its circle is.
    for (int i = 0; i < 7; ++i) {
        QAccessibleInterface *b = Accessible(ui.Band[std::size_t(i)]);
        QCOMPARE(b->role(), QAccessible::RadioButton);
        QCOMPARE(b->text(QAccessible::Name), bands[i]);
        QVERIFY(b->state().checkable && b->state().focusable);
        QVERIFY2(!b->state().checked, qPrintable(bands[i]));
    }
    peer->write("B: 3\r\n");
    QTRY_VERIFY(form->Link.State().Band() == 3);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(Accessible(ui.Band[std::size_t(i)])->state().checked, i == 2);
    QAccessibleInterface *ptt = Accessible(ui.Panel1);
    QCOMPARE(ptt->role(), QAccessible::PushButton);
    QCOMPARE(ptt->text(QAccessible::Name), QStringLiteral("Click to block PTT"));
    QVERIFY(ptt->state().checkable && !ptt->state().checked && ptt->state().focusable);
    QAccessibleInterface *out = Accessible(ui.output);
    QCOMPARE(out->role(), QAccessible::ProgressBar);
    QCOMPARE(out->text(QAccessible::Name), QStringLiteral("Output power"));
    QCOMPARE(out->valueInterface()->maximumValue().toDouble(), 1200.0);
    QCOMPARE(Accessible(ui.swr)->text(QAccessible::Name), QStringLiteral("Reverse power"));
    QCOMPARE(Accessible(ui.swr)->valueInterface()->maximumValue().toDouble(), 130.0);
    QCOMPARE(Accessible(ui.tx_led)->text(QAccessible::Name), QStringLiteral("Transmit"));
    QCOMPARE(Accessible(ui.tx_led)->text(QAccessible::Description),
             QStringLiteral("unlit, green: receiving"));
    QCOMPARE(Accessible(ui.Temp2)->text(QAccessible::Name), QStringLiteral("Temperature unknown"));

    // The alarm windows are alerts named by their text.
    QAccessibleInterface *hpcont = Accessible(w.Alarm(AlarmKind::HpCont));
    QCOMPARE(hpcont->role(), QAccessible::AlertMessage);
    QCOMPARE(Accessible(w.Alarm(AlarmKind::Swr))->text(QAccessible::Name),
             QStringLiteral("Reverse Power is too HIGH!"));
    QCOMPARE(Accessible(w.Alarm(AlarmKind::Tot))->text(QAccessible::Name),
             QStringLiteral("The transmission time has been exceeded!"));

    // ATU panel: the in/out toggle, TUNE, the status lamp and the readouts.
    QAccessibleInterface *inOut = Accessible(atu.Panel1);
    QCOMPARE(inOut->role(), QAccessible::PushButton);
    QCOMPARE(inOut->text(QAccessible::Name), QStringLiteral("Bypass"));
    QVERIFY(inOut->state().checkable && !inOut->state().checked);
    QCOMPARE(Accessible(atu.tune1)->text(QAccessible::Name), QStringLiteral("TUNE"));
    QCOMPARE(Accessible(atu.Led)->text(QAccessible::Name), QStringLiteral("Tuner status"));
    QCOMPARE(Accessible(atu.Led)->text(QAccessible::Description), QStringLiteral("lit, yellow"));
    QCOMPARE(Accessible(atu.Panel2)->role(), QAccessible::StaticText);
    const std::pair<QLabel *, const char *> readouts[] = {{atu.Label3, "SWR unknown"},
                                                          {atu.Label4, "L unknown"},
                                                          {atu.Label8, "C unknown"},
                                                          {atu.Label7, "FWD unknown"}};
    for (const auto &[label, name] : readouts)
        QCOMPARE(Accessible(label)->text(QAccessible::Name), QLatin1String(name));
}

// The amplifier's reports as a screen reader hears of them: values, names
// and states change, and transmit, PTT block and alarms are announced while
// the focus stays where it is.
void TestAccessible::mainWindowChanges() {
    QVERIFY(openWindows());
    ui.closeport->setFocus(Qt::TabFocusReason);
    g_events.clear();
    peer->write("TX: ON\r\nO: 850\r\nR: 40\r\n");
    QTRY_COMPARE(ui.output->Position(), 850);
    QAccessibleInterface *out = Accessible(ui.output);
    QCOMPARE(out->valueInterface()->currentValue().toDouble(), 850.0);
    QCOMPARE(out->text(QAccessible::Description),
             QStringLiteral("850 watts. Arrow keys choose an output level, Enter sets it"));
    QTRY_COMPARE(Accessible(ui.swr)->text(QAccessible::Value), QStringLiteral("40 watts"));
    QVERIFY(EventsOf(ui.output).contains(QAccessible::ValueChanged));
    QCOMPARE(Accessible(ui.tx_led)->text(QAccessible::Description),
             QStringLiteral("lit, red: transmitting"));
    QCOMPARE(Accessible(ui.P_out)->text(QAccessible::Name), QStringLiteral("Power out 850 W"));
    // A 2.4 kW amplifier: the bar shows half the watts, the reading stays in watts.
    Action(form, "N24kW1")->trigger();
    QCOMPARE(out->valueInterface()->currentValue().toDouble(), 1700.0);
    peer->write("O: 1600\r\n");
    QTRY_COMPARE(ui.output->Position(), 800);
    QList<double> values;
    for (const SeenEvent &e : g_events)
        if (e.object == ui.output && e.type == QAccessible::ValueChanged)
            values << e.value.toDouble();
    QCOMPARE(values, (QList<double>{850, 1700, 1600}));
    QCOMPARE(out->valueInterface()->maximumValue().toDouble(), 2400.0);
    peer->write("TX: OFF\r\n");
    QTRY_VERIFY(!ui.tx_led->Value());

    // The temperature with its colour class.
    const std::pair<const char *, const char *> temperatures[] = {{"35", "green: cool"},
                                                                  {"52", "yellow: warm"},
                                                                  {"70", "magenta: hot"},
                                                                  {"80", "red: alarm"}};
    for (const auto &[value, colour] : temperatures) {
        peer->write("T: " + QByteArray(value) + "\r\n");
        QTRY_COMPARE(ui.Temp2->text(), QLatin1String(value));
        QCOMPARE(Accessible(ui.Temp2)->text(QAccessible::Name),
                 QStringLiteral("Temperature %1 degrees").arg(QLatin1String(value)));
        QCOMPARE(Accessible(ui.Temp2)->text(QAccessible::Description), QLatin1String(colour));
    }

    // PTT block, confirmed, and an alarm: announced, the alarm an alert.
    ui.Panel1->OnClick();
    peer->write("BL:ON\r\nBL:ON\r\n");
    QTRY_VERIFY(Accessible(ui.Panel1)->state().checked);
    QCOMPARE(Accessible(ui.Panel1)->text(QAccessible::Name), QStringLiteral("PTT Blocked!"));
    QVERIFY(EventsOf(ui.Panel1).contains(QAccessible::StateChanged));
    peer->write("ALARM: SWR\r\n");
    AlarmWindow *alarm = windows->Alarm(AlarmKind::Swr);
    QTRY_VERIFY(alarm->isVisible());
    QVERIFY(EventsOf(alarm).contains(QAccessible::Alert));
    QCOMPARE(announced(), (QStringList{QStringLiteral("Transmitting"), QStringLiteral("Receiving"),
                                       QStringLiteral("PTT blocked"),
                                       QStringLiteral("Alarm: Reverse Power is too HIGH!")}));
    // Nothing moved the main window's focus (the offscreen platform activates
    // a newly shown window whatever its flags, so only the window's own
    // focus is telling here).
    QCOMPARE(form->focusWidget(), ui.closeport);

    // The tuner: readouts with their captions, the in/out toggle.
    peer->write("END_SWR: 15\r\nATU_STATE: 1\r\nGREEN\r\n");
    QTRY_VERIFY(Accessible(atu.Panel1)->state().checked);
    QCOMPARE(Accessible(atu.Panel1)->text(QAccessible::Name), QStringLiteral("ATU On"));
    QTRY_COMPARE(Accessible(atu.Label3)->text(QAccessible::Name),
                 QStringLiteral("SWR ") + atu.Label3->text());
    QVERIFY(atu.Label3->text().contains(QLatin1Char('1')));
    QCOMPARE(Accessible(atu.Led)->text(QAccessible::Description), QStringLiteral("lit, green"));
}

// The port-lost and give-up messages are Qt message boxes: alerts that
// raise the alert event when they appear.
void TestAccessible::messageBoxes() {
    for (const char *text : {"Disconnected from COM Port", "Sorry, PA not found on /dev/x"}) {
        g_events.clear();
        QString role, name;
        const QObject *shown = nullptr; // compared, never used: the box is gone by then
        QTimer::singleShot(0, [&] {
            QWidget *box = QApplication::activeModalWidget();
            if (!box)
                return;
            shown = box;
            role = QString::number(Accessible(box)->role());
            // The text, wherever in the box's tree it is read.
            QList<QAccessibleInterface *> tree;
            Walk(Accessible(box), tree);
            for (QAccessibleInterface *n : tree)
                name += QLatin1Char('|') + n->text(QAccessible::Name) + QLatin1Char('|') +
                        n->text(QAccessible::Description);
            static_cast<QMessageBox *>(box)->accept();
        });
        Runtime::ShowMessage(QLatin1String(text), QStringLiteral("Error"), Runtime::MsgIcon::Error,
                             nullptr);
        QCOMPARE(role, QString::number(QAccessible::AlertMessage));
        QVERIFY2(name.contains(QLatin1String(text)), qPrintable(name));
        bool alerted = false;
        for (const SeenEvent &e : g_events)
            alerted |= e.type == QAccessible::Alert && e.object == shown;
        QVERIFY(alerted);
    }
}

int main(int argc, char **argv) {
    // A dense screen: every test here runs at device pixel ratio 2.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestAccessible test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_accessible.moc"
