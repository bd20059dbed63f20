// SPDX-License-Identifier: GPL-3.0-or-later
// Keys held down on a real X server: the panel runs on Qt's xcb platform in
// an Xvfb of its own, with X's own auto-repeat, and xdotool holds a key on
// the band row or the output bar for two seconds. What counts is what
// reached the simulated amplifier's line: one command per press at most,
// however the server repeats the key and however Qt flags the repeats.
#include "tests/common/PanelFixture.h"

#include <QApplication>
#include <QKeySequence>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// An Xvfb started before the application, so that Qt's xcb platform opens
// its display; stopped when the test ends.
class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // no server left behind by a test that crashed
            ::close(fds[0]);
            const QByteArray fd = QByteArray::number(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        QByteArray number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (m_pid > 0 && ::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        ::close(fds[0]);
        if (number.isEmpty())
            return;
        qputenv("DISPLAY", ':' + number);
        qputenv("QT_QPA_PLATFORM", "xcb");
        m_ok = true;
    }
    ~XServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;
    bool ok() const { return m_ok; }

private:
    pid_t m_pid = -1;
    bool m_ok = false;
};

bool Xdotool(const QStringList &args) {
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

// Counts the presses of one key that reach the application, and how many
// of them Qt flagged as auto-repeated.
class PressCounter : public QObject {
public:
    explicit PressCounter(int key) : m_key(key) { qApp->installEventFilter(this); }
    int presses = 0;
    int flagged = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == m_key && watched == QApplication::focusWidget()) {
                ++presses;
                flagged += key->isAutoRepeat();
            }
        }
        return false;
    }

private:
    int m_key;
};

} // namespace

class TestHeldKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { f.reset(); }
    void held_data();
    void held();

private:
    int commands(const QByteArray &prefix) const {
        int n = 0;
        for (const QByteArray &line : f->sim.loggedLines())
            n += line.startsWith(prefix);
        return n;
    }
    std::unique_ptr<PanelFixture> f;
};

void TestHeldKeys::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    f = std::make_unique<PanelFixture>();
    QVERIFY2(f->start({}, false), qPrintable(f->sim.errorString()));
    QVERIFY(f->connect());
    // Manual interface (the circles take keys) and calibrated (the bar does).
    QTRY_VERIFY(f->main->Link.State().readings.calibration == 200 && f->ui.Band[2]->isEnabled());
    f->main->show();
    f->main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f->main));
}

void TestHeldKeys::held_data() {
    QTest::addColumn<QString>("widget"); // layout name of the control with the focus
    QTest::addColumn<QString>("before"); // keys tapped first
    QTest::addColumn<QString>("held");   // xdotool's name of the key held for 2 s
    QTest::addColumn<QString>("after");  // keys tapped after its release
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("count");
    QTest::newRow("Enter on a band circle") << "Band3"
                                            << ""
                                            << "Return"
                                            << "" << QByteArray("B: ") << 1;
    QTest::newRow("Space on a band circle") << "Band3"
                                            << ""
                                            << "space"
                                            << "" << QByteArray("B: ") << 1;
    QTest::newRow("an arrow on the band row, then Enter") << "Band3"
                                                          << ""
                                                          << "Right"
                                                          << "Return" << QByteArray("B: ") << 1;
    QTest::newRow("Enter on the output bar") << "output"
                                             << "Left"
                                             << "Return"
                                             << "" << QByteArray("ALC_PWM: ") << 1;
    QTest::newRow("an arrow on the output bar, then Enter")
        << "output"
        << ""
        << "Up"
        << "Return" << QByteArray("ALC_PWM: ") << 1;
}

void TestHeldKeys::held() {
    QFETCH(QString, widget);
    QFETCH(QString, before);
    QFETCH(QString, held);
    QFETCH(QString, after);
    QFETCH(QByteArray, command);
    auto *w = f->main->findChild<QWidget *>(widget);
    QVERIFY(w);
    w->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(w->hasFocus());
    const int start = commands(command);
    for (const QString &key : before.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY(Xdotool({QStringLiteral("key"), key}));

    PressCounter counter(
        QKeySequence(held == QLatin1String("space") ? QStringLiteral("Space") : held)[0].key());
    QVERIFY(Xdotool({QStringLiteral("keydown"), held}));
    QTest::qWait(2000);
    QVERIFY(Xdotool({QStringLiteral("keyup"), held}));
    for (const QString &key : after.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY(Xdotool({QStringLiteral("key"), key}));
    // The server repeated the key: without repeats this test proves nothing.
    QTRY_VERIFY2(counter.presses > 5, qPrintable(QString::number(counter.presses)));
    // Whatever the gate still holds back goes out within its spacing.
    QTest::qWait(4 * AmpLink::CommandSpacingMs);
    const int sent = commands(command) - start;
    qInfo("%s held: %d presses (%d flagged as repeats), %d commands %s", qPrintable(held),
          counter.presses, counter.flagged, sent, command.constData());
    QTEST(sent, "count");
}

int main(int argc, char *argv[]) {
    XServer x;
    if (!x.ok()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    QApplication app(argc, argv);
    TestHeldKeys test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_heldkeys.moc"
