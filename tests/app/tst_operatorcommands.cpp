// SPDX-License-Identifier: GPL-3.0-or-later
// The operator's commands from the main window: the setting menus, the band
// circles, the PA type, the PTT block and the output level, by mouse presses,
// menu triggers and the keyboard, checked on the bytes that reach a real
// pseudo-terminal and on the port monitor's echo; then a session of them
// against the simulated amplifier.
#include "app/MainRules.h"
#include "tests/common/PanelFixture.h"

#include <QActionGroup>
#include <QApplication>
#include <QKeySequence>
#include <QTest>

#include <functional>
#include <memory>
#include <tuple>

class TestOperatorCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { f.reset(); }
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
    void keyboardOnly();
    void keys_data();
    void keys();
    void operatorSession();

private:
    void openPort();
    void connectPeer();
    // A report as the serial component hands it to the link.
    void report(const QByteArray &line) { f->receive(line + "\r\n"); }
    QStringList echoesSince(int mark) const { return monitor().mid(mark); }
    QStringList monitor() const { return f->monitor(); }
    QAction *action(const QString &name) const { return form->findChild<QAction *>(name); }
    void moveMouse(QWidget *w, QPoint pos) {
        QTest::mouseMove(form->windowHandle(), w->mapTo(form, pos));
        QCoreApplication::processEvents();
    }
    QByteArray sent() { return f->sent(); }
    bool nothingSent() { return f->nothingSent(); }

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    MainWindow *form = nullptr;
};

void TestOperatorCommands::init() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    QVERIFY(f->showOnPeer());
    form = f->main;
}

void TestOperatorCommands::openPort() {
    QCOMPARE(f->ui.ComboBox1->currentText(), peer->devicePath());
    form->OpenSelectedPort();
    QCOMPARE(sent(), QByteArray("PA?\r\n"));
}

void TestOperatorCommands::connectPeer() {
    openPort();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_VERIFY(form->Link.State().IsConnected());
    QByteArray burst; // let the start-up queries go by
    for (int i = 0; i < 10 && !burst.contains("ATU_INST?"); ++i)
        burst += peer->read(300);
    QVERIFY(burst.contains("ATU_INST?"));
}

void TestOperatorCommands::settingItem_data() {
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

void TestOperatorCommands::settingItem() {
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

void TestOperatorCommands::interfaceItem_data() {
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

void TestOperatorCommands::interfaceItem() {
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
    QCOMPARE(form->Link.State().readings.band.value, enabled ? std::optional<int>(3) : std::nullopt);
}

void TestOperatorCommands::bandPress_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("open");
    for (int n = 1; n <= 7; ++n)
        QTest::addRow("circle %d", n) << n << int(Qt::LeftButton) << true;
    QTest::newRow("right button") << 4 << int(Qt::RightButton) << true;
    QTest::newRow("port closed") << 2 << int(Qt::LeftButton) << false;
}

void TestOperatorCommands::bandPress() {
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
    QCOMPARE(form->Link.State().readings.band.value_or(0), n);
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

void TestOperatorCommands::hover() {
    connectPeer();
    report("I: 5");
    report("B: 7");
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

void TestOperatorCommands::paType() {
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
    form->Link.SetPaType(PaType::Kw24);
    QVERIFY(Action(form, "N24kW1")->isChecked() && !Action(form, "N12kW1")->isChecked());
    // No line is sent for the PA type.
    QVERIFY(nothingSent());
    QCOMPARE(echoesSince(mark), QStringList());
}

void TestOperatorCommands::pttBlock() {
    // Closed, then connecting: the button ignores clicks.
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    openPort();
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QVERIFY(nothingSent());
    QVERIFY(!form->Link.Pending().blockOn);
    connectPeer();
    int mark = int(monitor().size());
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:ON")});
    QVERIFY(form->Link.Pending().blockOn);
    // Nothing changes on the button until the amplifier confirms.
    QCOMPARE(f->ui.Panel1->Caption(), QStringLiteral("Click to block PTT"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    // Release: sent twice, echoed once.
    mark = int(monitor().size());
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));
    QCOMPARE(echoesSince(mark), QStringList{QStringLiteral("- BL:OFF")});
    QVERIFY(form->Link.Pending().blockOff);
    QCOMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QVERIFY(f->boxes.isEmpty());
}

void TestOperatorCommands::alcPress_data() {
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

void TestOperatorCommands::alcPress() {
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

void TestOperatorCommands::alcRefused() {
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

void TestOperatorCommands::keyboardOnly() {
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

    // The arrow keys move the focus along the enabled circles and send nothing.
    f->ui.Band[2]->setEnabled(false);
    f->ui.Band[1]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f->ui.Band[1], Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), f->ui.Band[3]);
    QVERIFY(nothingSent());

    // The PTT block toggles from the keyboard, confirmed by the amplifier.
    f->ui.Panel1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(f->ui.Panel1, Qt::Key_Space);
    QCOMPARE(sent(), QByteArray("BL:ON\r\n"));
    peer->write("BL:ON\r\n");
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QTest::keyClick(f->ui.Panel1, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("BL:OFF\r\nBL:OFF\r\n"));

    // The output bar: the arrows move the selection, the level mark stays
    // until Enter sends the level there (200 * X 117 div 333).
    const int mark = f->ui.ALC1->x();
    f->ui.output->setFocus(Qt::TabFocusReason);
    for (Qt::Key key : {Qt::Key_Home, Qt::Key_PageUp, Qt::Key_Right, Qt::Key_Up})
        QTest::keyClick(f->ui.output, key);
    QCOMPARE(f->ui.output->Selection(), 117);
    QCOMPARE(f->ui.ALC1->x(), mark);
    QTest::keyClick(f->ui.output, Qt::Key_Return);
    QCOMPARE(sent(), QByteArray("ALC_PWM: 70\r\n"));
    QCOMPARE(f->ui.ALC1->x(), MainRules::AlcMarkerLeft(117));
    QVERIFY(f->boxes.isEmpty());
    // Not calibrated: the refusal, as for a press.
    report("CAL: 255");
    QTest::keyClick(f->ui.output, Qt::Key_Space);
    QVERIFY(nothingSent());
    QCOMPARE(f->boxes.size(), 1);
}

// The keyboard on the band row and the output bar, a row a sequence of keys
// and clicks: "Key" a stroke, "Key*n" held through n auto-repeats, "Key~n"
// held through n repeats as an X server makes them and Qt may pass them on
// (a release and a press of one time stamp, neither flagged), "Key+" and
// "Key-" a lone press and release, "@Name" a click in the middle of a
// control. A stroke of Enter or Space sends once, at the latest at its release.
void TestOperatorCommands::keys_data() {
    QTest::addColumn<QString>("start"); // the control with the focus first
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("focus"); // at the end
    const std::tuple<const char *, const char *, const char *, const char *, const char *> rows[] =
        {
            {"held arrow sends nothing", "Band3", "Right*25", "", "Band1"},
            {"arrow, then Return", "Band3", "Right Return", "B: 4\r\n", "Band4"},
            {"arrows go round", "Band1", "Up Up Down Enter", "B: 7\r\n", "Band7"},
            {"a press alone sends nothing", "Band3", "Return+", "", "Band3"},
            {"held Return sends once", "Band3", "Return*10", "B: 3\r\n", "Band3"},
            {"held Space sends once", "Band2", "Space*10", "B: 2\r\n", "Band2"},
            {"repeats without their flag", "Band3", "Return+ Return+ Return+ Return-", "B: 3\r\n",
             "Band3"},
            {"a release alone sends nothing", "Band3", "Space-", "", "Band3"},
            {"X's repeats without their flag", "Band3", "Return~5", "B: 3\r\n", "Band3"},
            {"a click takes the focus", "closeport", "@Band5 Right Return", "B: 5\r\nB: 6\r\n",
             "Band6"},
            {"a click on the PTT block", "closeport", "@Panel1", "BL:ON\r\n", "Panel1"},
            {"output: held arrow", "output", "Right*10", "", "output"},
            {"output: arrows, then Return", "output", "Home Right*3 Return", "ALC_PWM: 40\r\n",
             "output"}, // X 67
            {"output: held Space", "output", "End Space*5", "ALC_PWM: 200\r\n", "output"},
            {"output: page keys", "output", "Home PgUp PgUp PgDown Enter", "ALC_PWM: 49\r\n",
             "output"}, // X 83
            {"output: nothing chosen", "output", "Return", "", "output"},
            {"output: a click, then the arrows", "closeport", "@output Right Return",
             "ALC_PWM: 120\r\nALC_PWM: 129\r\n", "output"}, // X 200, X 216
        };
    for (const auto &[name, start, keys, line, focus] : rows)
        QTest::newRow(name) << QString::fromLatin1(start) << QString::fromLatin1(keys)
                            << QByteArray(line) << QString::fromLatin1(focus);
}

void TestOperatorCommands::keys() {
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QByteArray, line);
    QFETCH(QString, focus);
    QVERIFY(f->connectPeer());
    report("I: 5"); // manual: the circles are enabled
    report("CAL: 200");
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->findChild<QWidget *>(start)->setFocus(Qt::TabFocusReason);
    quint64 stamp = 0; // the X server's time, only for "~"
    auto send = [&stamp](QEvent::Type type, int key, bool repeat) {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), repeat);
        event.setTimestamp(stamp);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    };
    for (const QString &item : keys.split(QLatin1Char(' '))) {
        if (item.startsWith(QLatin1Char('@'))) {
            auto *w = form->findChild<QWidget *>(item.mid(1));
            QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
            continue;
        }
        const bool xRepeats = item.contains(QLatin1Char('~'));
        const QChar countMark = QLatin1Char(xRepeats ? '~' : '*');
        QString name = item.section(countMark, 0, 0);
        stamp = xRepeats ? 1000 : 0;
        const bool pressOnly = name.endsWith(QLatin1Char('+'));
        const bool releaseOnly = name.endsWith(QLatin1Char('-'));
        if (pressOnly || releaseOnly)
            name.chop(1);
        const int key = QKeySequence(name)[0].key();
        QVERIFY2(key != 0, qPrintable(name));
        if (!releaseOnly)
            send(QEvent::KeyPress, key, false);
        for (int i = item.section(countMark, 1).toInt(); i > 0; --i) {
            stamp += stamp ? 40 : 0;
            send(QEvent::KeyRelease, key, !xRepeats);
            send(QEvent::KeyPress, key, !xRepeats);
        }
        stamp += stamp ? 40 : 0;
        if (!pressOnly)
            send(QEvent::KeyRelease, key, false);
    }
    // A keyboard request right after a click waits for the gate's spacing;
    // nothing more comes after it.
    QByteArray got;
    QTRY_COMPARE((got += sent()), line);
    QTest::qWait(AmpLink::CommandSpacingMs + 50);
    QCOMPARE((got += sent()), line);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
}

// End to end against the simulated amplifier: a band circle, a setting item,
// the ALC bar and the PTT block go out over the real serial code, the
// amplifier confirms, and the window shows the confirmation; a transmission
// uncovers the readouts.
void TestOperatorCommands::operatorSession() {
    f.reset(); // one set of windows at a time: the fixture points the settings at its folder
    f = std::make_unique<PanelFixture>();
    QVERIFY2(f->start(), qPrintable(f->sim.errorString()));
    form = f->main;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QVERIFY(f->connect());
    // Manual interface (circles enabled), band 3, calibrated 200.
    QTRY_VERIFY(Action(form, "Manual1")->isChecked() &&
                form->Link.State().readings.calibration == 200);
    QTRY_COMPARE(f->ui.Band[2]->BrushColor(), clLime);

    QTest::mousePress(f->ui.Band[5], Qt::LeftButton, {}, QPoint(12, 12));
    Action(form, "Max1")->trigger();
    // 200 pixels into the bar with calibration 200 is level 120.
    QTest::mousePress(f->ui.output, Qt::LeftButton, {}, QPoint(200, 16));
    for (const char *line : {"B: 6", "F: 2", "ALC_PWM: 120"}) {
        QVERIFY2(f->sim.waitForLogged(line), line);
        QTRY_VERIFY(f->count(QStringLiteral("+ ") + QLatin1String(line)) > 0);
        QCOMPARE(f->count(QStringLiteral("- ") + QLatin1String(line)), 1);
    }
    QCOMPARE(f->ui.Band[2]->BrushColor(), clSilver);
    QVERIFY(f->ui.ALC1->isVisible());

    // PTT block and release, each confirmed.
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("PTT Blocked!"));
    QCOMPARE(f->ui.Panel1->Color(), clAlertPink);
    QTest::mouseClick(f->ui.Panel1, Qt::LeftButton);
    QVERIFY(f->sim.waitForLogged("BL:OFF", 2));
    QTRY_COMPARE(f->ui.Panel1->Caption(), QStringLiteral("Click to block PTT"));
    QCOMPARE(f->count(QStringLiteral("- BL:OFF")), 1);

    // A transmission hides the PTT button and shows the readouts under it.
    f->sim.say("tx 850 20 3");
    QTRY_VERIFY(f->ui.tx_led->Value() && f->ui.output->Position() > 800);
    QVERIFY(f->ui.Panel1->isHidden());
    QVERIFY(f->ui.P_out->isVisible() && f->ui.P_out->text().endsWith(QStringLiteral(" W")));
    QCOMPARE(f->ui.GroupBox3->childAt(f->ui.tx_led->geometry().center()), f->ui.tx_led);
    QTRY_VERIFY_WITH_TIMEOUT(!f->ui.tx_led->Value(), 5000);
    QVERIFY(!f->ui.Panel1->isHidden());
    QVERIFY(f->boxes.isEmpty());
}

QTEST_MAIN(TestOperatorCommands)
#include "tst_operatorcommands.moc"
