// The connection's life over a bare pseudo-terminal: start-up selection,
// Close Port, reopening and failed opens. The handshake, the give-up and a
// lost port run against the simulator in tst_endtoend.
#include "app/MainWindow.h"
#include "app/WindowSet.h"
#include "config/Settings.h"
#include "service/PortMonitor.h"
#include "tests/common/PanelFixture.h"
#include "tests/common/Ser2net.h"
#include "widgets/ColorButton.h"
#include "widgets/Runtime.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sys/socket.h>
#include <unistd.h>

class TestConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void unreadableConfiguration();
    void closeWhileConnecting();
    void closeWhileConnectedThenReopen();
    void openRefused_data();
    void openRefused();
    void networkPortDialog_data();
    void networkPortDialog();
    void hostileNetworkPeer_data();
    void hostileNetworkPeer();

private:
    void createWindows();
    void openToPeer();
    void reopen();
    QStringList portList() const;

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    MainWindow *form = nullptr;
};

void TestConnection::init() {
    f = std::make_unique<PanelFixture>();
    peer = &f->peer;
    QVERIFY(peer->ok());
}

void TestConnection::cleanup() {
    f.reset();
}

void TestConnection::createWindows() {
    f->createWindows(true);
    form = f->main;
}

// A pseudo-terminal is not among the enumerated ports; naming it in the
// configuration adds and selects it.
void TestConnection::openToPeer() {
    QVERIFY(f->configure(peer->devicePath()));
    createWindows();
    QCOMPARE(f->ui.ComboBox1->currentText(), peer->devicePath());
    form->OpenSelectedPort();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
}

void TestConnection::reopen() {
    f->ui.ComboBox1->setCurrentIndex(f->ui.ComboBox1->findText(peer->devicePath()));
    form->OpenSelectedPort();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Connecting..."));
}

void TestConnection::unreadableConfiguration() {
    // A directory where the file should be: exists, cannot be read.
    QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("Orvik_control.ini")));
    createWindows();
    QCOMPARE(f->ui.ComboBox1->currentIndex(), -1);
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(f->boxes.isEmpty());
}

void TestConnection::closeWhileConnecting() {
    openToPeer();
    form->Link.HandshakeTick();
    form->Link.Close();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes.at(0).text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open port"));
    QCOMPARE(f->ui.ComboBox1->currentIndex(), -1);
    QVERIFY(!form->Link.HandshakeTimer()->isActive());
    QVERIFY(!form->Link.PollTimer()->isActive());
    // A further Open Port needs a port chosen again.
    form->OpenSelectedPort();
    QCOMPARE(f->boxes.size(), 2);
    QVERIFY(!form->Link.Port()->Connected());
}

void TestConnection::closeWhileConnectedThenReopen() {
    openToPeer();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(f->ui.openport->Caption(), QStringLiteral("PA connected"));
    peer->read(); // the start-up queries
    // An unfinished line when the port is closed ...
    QSignalSpy arrived(&form->Link, &AmpLink::ChunkArrived);
    peer->write("O: 12");
    QTRY_VERIFY(!arrived.isEmpty());
    form->Link.Close();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open port"));
    QVERIFY(!form->Link.Port()->Connected());
    // Reopen the same device: the session keeps its identification ...
    reopen();
    QVERIFY(form->Link.State().PaIdentified);
    // ... and the old unfinished line is not glued to the first new one.
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(f->ui.openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!f->monitor().contains(QStringLiteral("+ O: 12PA_QZ9QZ")));
}

void TestConnection::openRefused_data() {
    QTest::addColumn<bool>("noPort");
    QTest::addColumn<QString>("port"); // empty: a device that does not exist; PORT: a free one
    QTest::addColumn<QString>("text"); // the start of the message; %1: the port
    QTest::newRow("no such device") << false << QString() << QStringLiteral("Cannot connect to ");
    QTest::newRow("no port chosen")
        << true << QString() << QStringLiteral("Please select a COM port first.");
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

void TestConnection::openRefused() {
    QFETCH(bool, noPort);
    QFETCH(QString, port);
    QFETCH(QString, text);
    createWindows();
    if (port.isEmpty())
        port = f->dir.filePath(QStringLiteral("no-such-device"));
    port.replace(QLatin1String("PORT"), QString::number(Ser2net::FreePort()));
    f->ui.ComboBox1->addItem(port, port);
    f->ui.ComboBox1->setCurrentIndex(noPort ? -1 : f->ui.ComboBox1->count() - 1);
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
    QCOMPARE(f->boxes.at(0).icon, Runtime::MsgIcon::Error);
    QVERIFY(f->ui.ComboBox1->isEnabled());
    QVERIFY(f->ui.openport->isEnabled());
    QCOMPARE(f->ui.openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->Link.Port()->Connected());
    QVERIFY(!form->Link.HandshakeTimer()->isActive());
    QVERIFY(f->monitor().join(QString()).isEmpty());
}

void TestConnection::networkPortDialog_data() {
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

void TestConnection::networkPortDialog() {
    QFETCH(QString, typed);
    QFETCH(QString, added);
    QFETCH(QString, fault);
    QTemporaryDir config;
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configHome); });
    const QString ini = config.filePath(QStringLiteral("orvik/Orvik_control.ini"));
    createWindows();
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
    createWindows();
    QCOMPARE(form->SelectedPort(), added);
}

void TestConnection::hostileNetworkPeer_data() {
    QTest::addColumn<bool>("closesAtOnce"); // else: 1 MB without a CR
    QTest::addColumn<int>("resets"); // instead: resets as a send goes; 1: Reconnect automatically
    QTest::newRow("accepts and closes at once, 50 times") << true << -1;
    QTest::newRow("1 MB without CR") << false << -1;
    QTest::newRow("resets as a send goes") << false << 0;
    QTest::newRow("resets as a send goes, Reconnect automatically") << false << 1;
}

void TestConnection::hostileNetworkPeer() {
    QFETCH(bool, closesAtOnce);
    QFETCH(int, resets);
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        TcpListener peer;
        QVERIFY(peer.port > 0);
        createWindows();
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

QStringList TestConnection::portList() const {
    QStringList ports;
    for (int i = 0; i < f->ui.ComboBox1->count(); ++i)
        ports << f->ui.ComboBox1->itemData(i).toString();
    return ports;
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
