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
    void twoRepliesInOnePollAreOneChunk();
    void replySplitOverTwoChunks();
    void autoReceiveOffAnnouncesGrowth();
    void receptionLog_data();
    void receptionLog();
    void invalidLogFileIsAbsorbed();
    void reappliedSettingDiscardsUnread();
    void rejectedReapplyCloses();
    void customRateKeepsConnection();
    void closeFromInsideEvents_data();
    void closeFromInsideEvents();
    void handlerExceptionIsAbsorbed();
    void unsynchronizedEventsRunOnReader();
    void destroyWhileReaderWaits();
    void hangUpDetectedAtFastPolling();
    void sendAfterPeerClosedFaultsOnce();
    void entireBufferAndNulls();
    void priorityReachesReaderThread();
    void sendJustBeforeCloseIsDelivered();
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
    // One poll period (100 ms) plus scheduling slack on a loaded machine.
    QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
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
    // A joined thread may take a moment to leave the kernel's task list.
    QTRY_COMPARE(CountEntries("/proc/self/task"), threads);
}

void TestSerialPort::twoRepliesInOnePollAreOneChunk() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    // Hold reception until both replies are queued, then let one poll read them.
    port.SetAutoReceive(false);
    port.Open();
    QVERIFY(pty.Write("O: 850\r\n"));
    QVERIFY(pty.Write("R: 12\r\n"));
    QTRY_COMPARE(port.NotifiedQueueCount(), 15u);
    port.SetAutoReceive(true);
    QCOMPARE(port.NotifiedQueueCount(), 0u);
    QTRY_VERIFY(!rec.received.isEmpty());
    // Announcements (empty) may precede it; the data came as one chunk.
    rec.chunks.removeAll(QByteArray());
    QCOMPARE(rec.chunks.size(), 1);
    QCOMPARE(rec.chunks.first(), QByteArray("O: 850\r\nR: 12\r\n"));
    QCOMPARE(port.LastReceived(), QByteArray("O: 850\r\nR: 12\r\n"));
    port.Close();
}

void TestSerialPort::replySplitOverTwoChunks() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.Open();
    QVERIFY(pty.Write("O: 8"));
    QTRY_COMPARE(rec.chunks.size(), 1);
    QVERIFY(pty.Write("50\r\n"));
    QTRY_COMPARE(rec.chunks.size(), 2);
    QCOMPARE(rec.chunks, (QList<QByteArray>{"O: 8", "50\r\n"}));
    port.Close();
}

void TestSerialPort::autoReceiveOffAnnouncesGrowth() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetAutoReceive(false);
    port.SetDelay(20);
    port.Open();
    QVERIFY(pty.Write("12345"));
    QTRY_COMPARE(port.NotifiedQueueCount(), 5u);
    QTRY_COMPARE(rec.chunks.size(), 1);
    QVERIFY(pty.Write("678"));
    QTRY_COMPARE(port.NotifiedQueueCount(), 8u);
    QTRY_COMPARE(rec.chunks.size(), 2);
    // Several polls over an unchanged queue of 8 announce nothing more.
    QTest::qWait(150);
    QCOMPARE(rec.chunks, (QList<QByteArray>{QByteArray(), QByteArray()}));
    QCOMPARE(rec.received, QByteArray());
    port.Close();
    QCOMPARE(port.NotifiedQueueCount(), 0u);
}

void TestSerialPort::receptionLog_data() {
    QTest::addColumn<bool>("withDate");
    QTest::newRow("plain") << false;
    QTest::newRow("date and time") << true;
}

void TestSerialPort::receptionLog() {
    QFETCH(bool, withDate);
    PtyPair pty;
    QVERIFY(pty.Ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("rx.log"));
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetLogInput(true);
    port.SetLogDateTime(withDate);
    port.SetLogFile(log);
    port.Open();
    QVERIFY(pty.Write(QByteArray("T: 41\r\n\x00\xb0", 9)));
    QTRY_COMPARE(rec.chunks.size(), 1);
    QVERIFY(pty.Write("B: 3"));
    QTRY_COMPARE(rec.chunks.size(), 2);
    port.Close();

    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    if (!withDate) {
        QCOMPARE(text, QByteArray("T: 41\r\n\x00\xb0"
                                  "B: 3",
                                  13));
        return;
    }
    // Each chunk on its own line, after the short date and the long time.
    const QByteArray date =
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toUtf8();
    const QList<QByteArray> parts = text.split('\n');
    QCOMPARE(parts.size(), 4); // "...41\r", "\x00\xb0\r", "...B: 3\r", ""
    QVERIFY(parts[0].startsWith(date + ' '));
    QVERIFY(parts[0].endsWith(" T: 41\r"));
    QCOMPARE(parts[1], QByteArray("\x00\xb0\r", 3));
    QVERIFY(parts[2].startsWith(date + ' '));
    QVERIFY(parts[2].endsWith(" B: 3\r"));
    QVERIFY(parts[3].isEmpty());
}

void TestSerialPort::invalidLogFileIsAbsorbed() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    QTemporaryDir dir;
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetLogInput(true);
    port.SetLogFile(dir.path()); // a directory cannot be opened for appending
    port.Open();
    QVERIFY(pty.Write("A"));
    QTRY_COMPARE(rec.received, QByteArray("A"));
    QVERIFY(pty.Write("B"));
    QTRY_COMPARE(rec.received, QByteArray("AB"));
    QVERIFY(port.Connected());
    port.Close();
}

void TestSerialPort::reappliedSettingDiscardsUnread() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetBaudRate(br009600);
    port.SetAutoReceive(false);
    port.Open();
    QVERIFY(pty.Write("junk"));
    QTRY_COMPARE(port.NotifiedQueueCount(), 4u);
    port.SetBaudRate(br009600); // unchanged, still re-applied
    port.SetAutoReceive(true);
    QVERIFY(pty.Write("good"));
    QTRY_COMPARE(rec.received, QByteArray("good"));
    QVERIFY(port.Connected());
    port.Close();
}

void TestSerialPort::rejectedReapplyCloses() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.Open();
    // brCustom with CustomBaudRate 0 is no rate at all: the connection ends.
    port.SetBaudRate(brCustom);
    QCOMPARE(rec.events,
             (QStringList{QStringLiteral("connect 255"), QStringLiteral("disconnect 255")}));
    QVERIFY(!port.Connected());
    QCOMPARE(int(port.BaudRate()), int(brCustom));
}

void TestSerialPort::customRateKeepsConnection() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetCustomBaudRate(12345);
    port.SetBaudRate(brCustom);
    port.Open();
    port.SetBaudRate(br128000); // not a termios constant either
    port.SetParity(pbMark);
    port.SetParity(pbNone);
    QVERIFY(port.Connected());
    QVERIFY(pty.Write("x"));
    QTRY_COMPARE(rec.received, QByteArray("x"));
    port.Close();
}

void TestSerialPort::closeFromInsideEvents_data() {
    QTest::addColumn<bool>("fromReceive");
    QTest::newRow("OnReceive") << true;
    QTest::newRow("OnDisconnect") << false;
}

void TestSerialPort::closeFromInsideEvents() {
    QFETCH(bool, fromReceive);
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    auto receive = port.OnReceive;
    auto disconnect = port.OnDisconnect;
    QElapsedTimer inner;
    qint64 innerMs = -1;
    auto timedClose = [&] {
        inner.start();
        port.Close();
        innerMs = inner.elapsed();
    };
    if (fromReceive)
        port.OnReceive = [&](TSerialPort *s, const QByteArray &b) {
            receive(s, b);
            timedClose();
        };
    else
        port.OnDisconnect = [&](TSerialPort *s, TCommPort p) {
            disconnect(s, p);
            timedClose();
        };
    port.Open();
    if (fromReceive) {
        QVERIFY(pty.Write("PA_QZ9QZ\r\n"));
        QTRY_VERIFY(rec.events.contains(QStringLiteral("disconnect 255")));
    } else {
        port.Close();
        QVERIFY(rec.events.contains(QStringLiteral("disconnect 255")));
    }
    // Returns at once; a wait for the reader would take the full 5 s bound.
    QVERIFY2(innerMs >= 0 && innerMs < 1000, qPrintable(QString::number(innerMs)));
    QCOMPARE(rec.events.count(QStringLiteral("disconnect 255")), 1);
    QVERIFY(!port.Connected());
    // The port opens again normally afterwards.
    port.OnReceive = receive;
    port.OnDisconnect = disconnect;
    port.Open();
    QVERIFY(port.Connected());
    port.Close();
}

void TestSerialPort::handlerExceptionIsAbsorbed() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    QByteArray received;
    port.OnReceive = [&](TSerialPort *, const QByteArray &b) {
        received += b;
        throw ESerialPortException(QStringLiteral("handler failed"));
    };
    port.SetPortName(pty.Slave());
    port.Open();
    QVERIFY(pty.Write("1"));
    QTRY_COMPARE(received, QByteArray("1"));
    QVERIFY(pty.Write("2"));
    QTRY_COMPARE(received, QByteArray("12"));
    QVERIFY(port.Connected());
    port.Close();
}

void TestSerialPort::unsynchronizedEventsRunOnReader() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    std::atomic<QThread *> receiveThread{nullptr};
    std::atomic<QThread *> disconnectThread{nullptr};
    port.OnReceive = [&](TSerialPort *, const QByteArray &) {
        receiveThread = QThread::currentThread();
    };
    port.OnDisconnect = [&](TSerialPort *, TCommPort) {
        disconnectThread = QThread::currentThread();
    };
    port.SynchronizeEvents = false;
    port.SetPortName(pty.Slave());
    port.Open();
    QVERIFY(pty.Write("x"));
    QTRY_VERIFY(receiveThread.load() != nullptr);
    QVERIFY(receiveThread.load() != QThread::currentThread());
    port.Close();
    QCOMPARE(disconnectThread.load(), receiveThread.load());
}

void TestSerialPort::destroyWhileReaderWaits() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    auto *port = new TSerialPort;
    bool called = false;
    port->OnReceive = [&](TSerialPort *, const QByteArray &) { called = true; };
    port->OnDisconnect = [&](TSerialPort *, TCommPort) { called = true; };
    port->SetPortName(pty.Slave());
    port->Open();
    QVERIFY(pty.Write("data"));
    // LastReceived is set just before the reader hands the chunk over and
    // waits; no events are processed here, so it is waiting now or soon.
    QElapsedTimer clock;
    clock.start();
    while (port->LastReceived().isEmpty() && clock.elapsed() < 2000)
        QThread::yieldCurrentThread();
    QCOMPARE(port->LastReceived(), QByteArray("data"));
    delete port; // must neither hang nor call into the (gone) owner
    QCoreApplication::processEvents();
    QVERIFY(!called);
}

void TestSerialPort::hangUpDetectedAtFastPolling() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetDelay(10);
    port.SetPortName(pty.Slave());
    port.Open();
    pty.CloseMaster();
    QTRY_COMPARE_WITH_TIMEOUT(rec.events.size(), 3, 1000);
    QCOMPARE(rec.events.mid(1),
             (QStringList{QStringLiteral("fault 255"), QStringLiteral("disconnect 255")}));
}

void TestSerialPort::sendAfterPeerClosedFaultsOnce() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetDelay(1000); // the send, not the reader, is first to notice
    port.SetPortName(pty.Slave());
    port.Open();
    pty.CloseMaster();
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, port.SendString("PA?\r\n"));
    // Both events ran before SendString returned, once each.
    QCOMPARE(rec.events, (QStringList{QStringLiteral("connect 255"), QStringLiteral("fault 255"),
                                      QStringLiteral("disconnect 255")}));
    QVERIFY(!port.Connected());
}

void TestSerialPort::entireBufferAndNulls() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(pty.Slave());
    port.SetKeepEntireBuffer(true);
    port.Open();
    QVERIFY(pty.Write(QByteArray("a\x00", 2)));
    QTRY_COMPARE(rec.chunks.size(), 1);
    port.SetDiscardNulls(true);
    QVERIFY(pty.Write(QByteArray("b\x00"
                                 "c",
                                 3)));
    QTRY_COMPARE(rec.chunks.size(), 2);
    QCOMPARE(rec.chunks.last(), QByteArray("bc"));
    QCOMPARE(port.EntireBuffer(), QByteArray("a\x00"
                                             "bc",
                                             4));
    QCOMPARE(port.LastReceived(), QByteArray("bc"));
    port.Close();
    port.Open(); // a new connection starts a new buffer
    QCOMPARE(port.EntireBuffer(), QByteArray());
    port.Close();
}

namespace {
// Nice values of this process's threads named TComThread.
QList<int> ReaderNiceValues() {
    QList<int> result;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != "TComThread")
            continue;
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // Fields after the parenthesised name: state is field 3, nice is field 19.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        result.append(fields.value(16).toInt());
    }
    return result;
}
} // namespace

void TestSerialPort::priorityReachesReaderThread() {
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    port.SetPortName(pty.Slave());
    port.SetPriority(tpLower);
    port.Open();
    QTRY_COMPARE(ReaderNiceValues(), QList<int>{5});
    port.SetPriority(tpIdle); // while running: applied at once
    QTRY_COMPARE(ReaderNiceValues(), QList<int>{19});
    port.Close();
    QTRY_COMPARE(ReaderNiceValues(), QList<int>());
}

void TestSerialPort::sendJustBeforeCloseIsDelivered() {
    // Closing discards unread input only; what was written still reaches the peer.
    PtyPair pty;
    QVERIFY(pty.Ok());
    TSerialPort port;
    port.SetPortName(pty.Slave());
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        port.Open();
        QCOMPARE(port.SendString("PA?\r\n"), 5);
        port.Close();
        expected += "PA?\r\n";
    }
    QCOMPARE(pty.Read(expected.size()), expected);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
