// The serial port component over real pseudo-terminals: events and their
// order, reception chunks, sending, loss of the device, the reception log,
// AutoReceive notifications and resource cleanup.
#include "PtyPair.h"
#include "serial/SerialPort.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

// Records every event as text, and whether it ran on the test (GUI) thread.
struct Recorder {
    QStringList events;
    QByteArray received;
    QList<QByteArray> chunks;
    bool allOnGuiThread = true;

    void Attach(TSerialPort &port) {
        auto note = [this](const QString &text) {
            if (QThread::currentThread() != qApp->thread())
                allOnGuiThread = false;
            events.append(text);
        };
        port.OnConnect = [note](TSerialPort *, TCommPort p) {
            note(QStringLiteral("connect %1").arg(int(p)));
        };
        port.OnDisconnect = [note](TSerialPort *, TCommPort p) {
            note(QStringLiteral("disconnect %1").arg(int(p)));
        };
        port.OnFault = [note](TSerialPort *, TCommPort p) {
            note(QStringLiteral("fault %1").arg(int(p)));
        };
        port.OnReceive = [this, note](TSerialPort *, const QByteArray &b) {
            note(QStringLiteral("receive %1").arg(b.size()));
            received += b;
            chunks.append(b);
        };
    }
};

int CountEntries(const char *dir) {
    return QDir(QString::fromLatin1(dir))
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
        .size();
}

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openReceiveClose();
    void openFailureReportsSystemText();
    void emptyNameOpensNothing();
    void sendStopsAtNul();
    void openSameThenOther();
    void peerClosedGivesFaultThenDisconnect();
    void openCloseCyclesLeaveNothingBehind();
};

void TestSerialPort::openReceiveClose() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetBaudRate(BaudRateFromInt(9600));
    port.Open();
    QVERIFY(port.Connected());
    QCOMPARE(port.ConnectedPort(), spCustom);
    QCOMPARE(rec.events, QStringList{QStringLiteral("connect 255")});

    // Latin-1 bytes, including NUL and bytes above 127, arrive unchanged.
    const QByteArray reply("PA_QZ9QZ\r\n\x00\xff\x80", 13);
    QVERIFY(pty.Write(reply));
    QTRY_COMPARE(rec.received, reply);

    port.Close();
    // OnDisconnect has run before Close returned.
    QCOMPARE(rec.events.last(), QStringLiteral("disconnect 255"));
    QVERIFY(!port.Connected());
    QVERIFY(rec.allOnGuiThread);
    const int count = rec.events.size();
    port.Close(); // closing a closed port raises nothing
    QCOMPARE(rec.events.size(), count);
}

void TestSerialPort::openFailureReportsSystemText() {
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(QStringLiteral("/dev/does-not-exist-orvik"));
    try {
        port.Open();
        QFAIL("Open of a missing device succeeded");
    } catch (const ESerialPortException &e) {
        QCOMPARE(e.Message(), QStringLiteral("Cannot connect to /dev/does-not-exist-orvik. No "
                                             "such file or directory"));
    }
    QCOMPARE(port.LastOpenError(), ENOENT);
    QVERIFY(rec.events.isEmpty());
    QVERIFY(!port.Connected());

    // A regular file is not a serial port.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("COM3"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    port.SetPortName(file);
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, port.Open());
    QVERIFY(!port.Connected());
}

void TestSerialPort::emptyNameOpensNothing() {
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(QStringLiteral("  "));
    port.Open();
    QVERIFY(!port.Connected());
    QVERIFY(rec.events.isEmpty());
    try {
        port.SendString("PA?\r\n");
        QFAIL("SendString on a closed port succeeded");
    } catch (const ESerialPortException &e) {
        QCOMPARE(e.Message(), QStringLiteral("   is not open. Serial port is not connected."));
    }
}

void TestSerialPort::sendStopsAtNul() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    QStringList sent;
    port.OnSend = [&sent](TSerialPort *, const QByteArray &b) {
        sent.append(QString::fromLatin1(b));
    };
    port.SetPortName(pty.Slave());
    port.Open();
    QCOMPARE(port.SendString(QByteArray("PA?\r\n\x00XYZ", 9)), 5);
    QCOMPARE(pty.Read(5), QByteArray("PA?\r\n"));
    QCOMPARE(port.SendString(QByteArray()), 0);
    QCOMPARE(port.SendString(QByteArray("\xe9\x7f", 2)), 2);
    QCOMPARE(pty.Read(2), QByteArray("\xe9\x7f", 2));
    QCOMPARE(sent, (QStringList{QStringLiteral("PA?\r\n"), QString::fromLatin1("\xe9\x7f")}));
    port.Close();
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, port.SendString("x"));
}

void TestSerialPort::openSameThenOther() {
    PtyPair first;
    PtyPair second;
    QVERIFY(first.Ok() && second.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(first.Slave());
    port.Open();
    port.Open(); // same device: no-op
    QCOMPARE(rec.events, QStringList{QStringLiteral("connect 255")});
    port.SetPortName(second.Slave());
    port.Open();
    QCOMPARE(rec.events,
             (QStringList{QStringLiteral("connect 255"), QStringLiteral("disconnect 255"),
                          QStringLiteral("connect 255")}));
    // The new connection is the second device.
    QVERIFY(second.Write("B"));
    QVERIFY(first.Write("A"));
    QTRY_COMPARE(rec.received, QByteArray("B"));
    port.Close();
}

void TestSerialPort::peerClosedGivesFaultThenDisconnect() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.Open();
    QElapsedTimer clock;
    clock.start();
    pty.CloseMaster();
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), 3, 2000);
    QVERIFY2(clock.elapsed() < 2 * 100 + 150, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rec.events, (QStringList{QStringLiteral("connect 255"), QStringLiteral("fault 255"),
                                      QStringLiteral("disconnect 255")}));
    QVERIFY(!port.Connected());
    QVERIFY(rec.allOnGuiThread);
    port.Close();
    QCOMPARE(rec.events.size(), 3);
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, port.SendString("PA?"));
}

void TestSerialPort::openCloseCyclesLeaveNothingBehind() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        TSerialPort port;
        Recorder rec;
        rec.Attach(port);
        port.SetPortName(pty.Slave());
        for (int i = 0; i < 200; ++i) {
            port.Open();
            QVERIFY(port.Connected());
            port.Close();
            QVERIFY(!port.Connected());
        }
        QCOMPARE(rec.events.count(QStringLiteral("connect 255")), 200);
        QCOMPARE(rec.events.count(QStringLiteral("disconnect 255")), 200);
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    QCOMPARE(CountEntries("/proc/self/task"), threads);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
