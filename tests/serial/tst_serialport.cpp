// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component over real pseudo-terminals: events and their
// order, reception chunks, sending, loss of the device, the reception log,
// AutoReceive notifications, re-applied settings and resource cleanup.
#include "serial/PortLock.h"
#include "serial/SerialPort.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/Ser2net.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <QProcess>
#include <QScopeGuard>

#include <algorithm>
#include <arpa/inet.h>
#include <dlfcn.h>
#include <grp.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

// The kernel's record with the rates in bits per second (its own header
// clashes with <termios.h>); read with TCGETS2.
struct termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

// glibc starts its resolver threads for a name lookup outside
// ThreadSanitizer's view, which then crashes; under it the tests give
// addresses in numbers.
#if defined(__SANITIZE_THREAD__)
constexpr bool UnderTsan = true;
#else
constexpr bool UnderTsan = false;
#endif

namespace {
// The last terminal settings the program asked for. A pseudo-terminal keeps
// most of them but always reports 8 data bits and no parity.
termios lastRequested{};
} // namespace

// Stands in front of the C library's tcsetattr to note the request, then
// passes it on unchanged.
extern "C" int tcsetattr(int fd, int action, const termios *settings) noexcept {
    using Real = int (*)(int, int, const termios *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    lastRequested = *settings;
    return real(fd, action, settings);
}

namespace {

const QString kConnect = QStringLiteral("connect 255");
const QString kDisconnect = QStringLiteral("disconnect 255");
const QString kFault = QStringLiteral("fault 255");

// Records every event as text, and whether it ran on the test (GUI) thread.
struct Recorder {
    QStringList events;
    QByteArray received;
    QList<QByteArray> chunks;
    bool allOnGuiThread = true;

    void Attach(TSerialPort &port) {
        auto note = [this](const char *what, int value) {
            allOnGuiThread &= QThread::currentThread() == qApp->thread();
            events.append(QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(value));
        };
        port.OnConnect = [note](TSerialPort *, TCommPort p) { note("connect", p); };
        port.OnDisconnect = [note](TSerialPort *, TCommPort p) { note("disconnect", p); };
        port.OnFault = [note](TSerialPort *, TCommPort p) { note("fault", p); };
        port.OnReceive = [this, note](TSerialPort *, const QByteArray &b) {
            note("receive", int(b.size()));
            received += b;
            chunks.append(b);
        };
    }
};

// A pseudo-terminal peer and a port set to its device, every event recorded.
struct Fixture {
    PtyPeer peer;
    Recorder rec;
    TSerialPort port;
    Fixture() {
        rec.Attach(port);
        port.SetPortName(peer.devicePath());
    }
};

// Nice value of the reader thread, found by its name; -100 when none runs.
int ReaderNice() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "TComThread")
            return ::getpriority(PRIO_PROCESS, id_t(tid.toInt()));
    }
    return -100;
}

// The number of this process's descriptor open on path; -1 if none.
int DescriptorOf(const QString &path) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &n : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(n)).symLinkTarget() == path)
            return n.toInt();
    }
    return -1;
}

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openCloseOpen();
    void openFailures_data();
    void openFailures();
    void heldDevice_data();
    void heldDevice();
    void otherNames_data();
    void otherNames();
    void send();
    void network();
    void networkPeers_data();
    void networkPeers();
    void peerClosed_data();
    void peerClosed();
    void openCloseCyclesLeaveNothingBehind();
    void sendWhileClosing();
    void twoRepliesInOnePollAreOneChunk();
    void replySplitOverTwoChunks();
    void autoReceiveOffAnnouncesGrowth();
    void receptionLog_data();
    void receptionLog();
    void faultsOutsideTheLineAreAbsorbed();
    void reappliedSettings();
    void lineSettingsReachTheDevice_data();
    void lineSettingsReachTheDevice();
    void handlersReenter_data();
    void handlersReenter();
    void destroyWhileReaderWaits();
};

void TestSerialPort::openCloseOpen() {
    PtyPeer first, second;
    QVERIFY(first.ok() && second.ok());
    TSerialPort port;
    Recorder rec;
    rec.Attach(port);
    port.SetPortName(first.devicePath());
    port.SetBaudRate(br009600);
    port.Open();
    port.Open(); // the same device: nothing happens
    QVERIFY(port.Connected());
    QCOMPARE(port.ConnectedPort(), spCustom);
    // Latin-1 bytes, NUL and bytes above 127 included, arrive unchanged.
    const QByteArray reply("PA_QZ9QZ\r\n\x00\xff\x80", 13);
    first.write(reply);
    QTRY_COMPARE(rec.received, reply);
    rec.events.clear();

    port.Close();
    QCOMPARE(rec.events, QStringList{kDisconnect}); // ran before Close returned
    QVERIFY(!port.Connected());
    port.Close(); // closing a closed port does nothing
    port.Open();
    port.SetPortName(second.devicePath());
    port.Open(); // another device: the first connection ends first
    QCOMPARE(rec.events, (QStringList{kDisconnect, kConnect, kDisconnect, kConnect}));
    second.write("B");
    first.write("A");
    QTRY_COMPARE(rec.received, reply + "B");
    port.Close();
    QCOMPARE(rec.events.last(), kDisconnect);
    QVERIFY(rec.allOnGuiThread);
}

void TestSerialPort::openFailures_data() {
    QTest::addColumn<QString>("name");    // a relative name is made a regular file
    QTest::addColumn<QString>("message"); // %1: the name; empty: no exception
    QTest::addColumn<int>("error");
    QTest::newRow("missing") << QStringLiteral("/dev/does-not-exist-orvik")
                             << QStringLiteral("Cannot connect to %1. No such file or directory")
                             << ENOENT;
    QTest::newRow("regular file") << QStringLiteral("COM3")
                                  << QStringLiteral("Cannot connect to %1. ") << ENOTTY;
    QTest::newRow("not a terminal")
        << QStringLiteral("/dev/null") << QStringLiteral("Cannot connect to %1. ") << ENOTTY;
    QTest::newRow("blank name") << QStringLiteral("  ") << QString() << 0;
    // Network names; "PORT" becomes the port of a listener set up by the test.
    const QString malformed = QStringLiteral("Cannot connect to %1: ");
    for (const char *name : {"tcp://127.0.0.1", "TCP://127.0.0.1:0", "tcp://127.0.0.1:65536",
                             "tcp://::1:4000", "tcp://300.1.2.3:4000", "tcp://a b:4000"})
        QTest::newRow(name) << QString::fromLatin1(name) << malformed << EINVAL;
    QTest::newRow("unknown host") << QStringLiteral("tcp://orvik-no-such-host.invalid:4000")
                                  << QStringLiteral("Cannot connect to %1: unknown host")
                                  << EHOSTUNREACH;
    QTest::newRow("refused") << QStringLiteral("tcp://127.0.0.1:PORT")
                             << QStringLiteral("Cannot connect to %1: Connection refused")
                             << ECONNREFUSED;
    QTest::newRow("no answer") << QStringLiteral("tcp://127.0.0.1:PORT")
                               << QStringLiteral("Cannot connect to %1: no answer within 3 s")
                               << ETIMEDOUT;
}

void TestSerialPort::openFailures() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    if (UnderTsan && QByteArray(QTest::currentDataTag()) == "unknown host")
        QSKIP("name lookups are not followed by ThreadSanitizer");
    QTemporaryDir dir;
    std::optional<TcpListener> listener;
    int waiting = -1; // fills the backlog of the silent listener
    if (name.endsWith(QLatin1String(":PORT"))) {
        const bool silent = QByteArray(QTest::currentDataTag()) == "no answer";
        listener.emplace(0);
        QVERIFY(listener->port > 0);
        if (silent) {
            waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(quint16(listener->port));
            QCOMPARE(::connect(waiting, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        }
        name = listener->Name();
        if (!silent)
            listener.reset(); // nothing listens there any more
    }
    const auto closeWaiting = qScopeGuard([waiting] {
        if (waiting >= 0)
            ::close(waiting);
    });
    if (QDir::isRelativePath(name.trimmed()) && !name.trimmed().isEmpty() &&
        !name.contains(QLatin1String("://"))) {
        name = dir.filePath(name);
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Fixture f; // its pseudo-terminal stays unused
    f.port.SetPortName(name);
    // The event loop keeps running while a network peer is awaited; a
    // nested Open meanwhile is refused, not started.
    int ticks = 0;
    QString nested;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks != 1)
            return;
        try {
            f.port.Open();
        } catch (const ESerialPortException &e) {
            nested = e.Message();
        }
    });
    ticker.start(50);
    try {
        f.port.Open();
        QVERIFY2(message.isEmpty(), "Open succeeded");
    } catch (const ESerialPortException &e) {
        QVERIFY2(!message.isEmpty() && e.Message().startsWith(message.arg(name)),
                 qPrintable(e.Message()));
    }
    QTEST(f.port.LastOpenError(), "error");
    if (QTest::currentDataTag() == QByteArrayLiteral("no answer")) {
        QVERIFY(ticks > 10);
        QCOMPARE(
            nested,
            QStringLiteral("Cannot connect to %1: another port is still connecting").arg(name));
    }
    QVERIFY(!f.port.Connected());
    QVERIFY(f.rec.events.isEmpty());
    try {
        f.port.SendString("PA?\r\n");
        QFAIL("SendString on a closed port succeeded");
    } catch (const ESerialPortException &e) {
        QCOMPARE(e.Message(), name + QStringLiteral(" is not open. Serial port is not connected."));
    }
}

// A device another program holds is refused, naming the holder, whichever
// of its names each was given: another port here without a lock folder
// (the lock on the device itself), ser2net with its lock files (named after
// the name it was given) and without them (found as it has it open).
void TestSerialPort::heldDevice_data() {
    QTest::addColumn<QString>("holder"); // "port", "ser2net" or "ser2net -u"
    QTest::addColumn<bool>("holderByLink");
    QTest::addColumn<bool>("byLink");
    QTest::newRow("another port, no lock folder") << "port" << false << false;
    QTest::newRow("ser2net by a link, we by the device") << "ser2net" << true << false;
    QTest::newRow("ser2net by a link, we by the link") << "ser2net" << true << true;
    QTest::newRow("ser2net by the device, we by a link") << "ser2net" << false << true;
    QTest::newRow("ser2net without lock files") << "ser2net -u" << false << true;
}

void TestSerialPort::heldDevice() {
    QFETCH(QString, holder);
    QFETCH(bool, holderByLink);
    QFETCH(bool, byLink);
    const QStringList folders = PortLock::Folders();
    if (holder == QLatin1String("port"))
        PortLock::SetFolders({QStringLiteral("/nonexistent/orvik-lock")});
    const auto restore = qScopeGuard([&folders] { PortLock::SetFolders(folders); });
    Fixture f;
    QTemporaryDir dir;
    const QString device = f.peer.devicePath();
    const QString link = dir.filePath(QStringLiteral("amplifier"));
    QVERIFY(QFile::link(device, link));
    TSerialPort other;
    Ser2net server;
    int client = -1;
    const auto closeClient = qScopeGuard([&client] {
        if (client >= 0)
            ::close(client);
    });
    long pid = ::getpid();
    if (holder == QLatin1String("port")) {
        other.SetPortName(device);
        other.Open();
    } else {
        // ser2net opens the device when a client connects.
        server.uucpLocks = holder == QLatin1String("ser2net");
        QVERIFY(server.Start(holderByLink ? link : device));
        pid = long(server.proc.processId());
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(server.port));
        QCOMPARE(::connect(client, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        const auto opened = [pid, &device] {
            const QFileInfoList fds =
                QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::System);
            return std::any_of(fds.cbegin(), fds.cend(), [&device](const QFileInfo &fd) {
                return fd.symLinkTarget() == device;
            });
        };
        QTRY_VERIFY(opened());
    }
    const QString name = byLink ? link : device;
    f.port.SetPortName(name);
    try {
        f.port.Open();
        QFAIL("opened a port in use");
    } catch (const ESerialPortException &e) {
        QCOMPARE(e.Message(), QStringLiteral("Cannot connect to %1. In use by %2")
                                  .arg(name, PortLock::ProcessText(pid)));
    }
    other.Close();
    ::close(client);
    client = -1;
    server.Stop();
    f.port.Open();
    QVERIFY(f.port.Connected());
    // Our lock files go with the port, under every name.
    f.port.Close();
    for (const QString &folder : folders)
        for (const QString &file : PortLock::FileNames(name))
            QVERIFY2(!QFile::exists(folder + QLatin1Char('/') + file), qPrintable(file));
}

namespace {

// A lock taken in a child process, as root or as nobody: Acquire's answer
// ("" or the holder named) comes back when asked; the lock is held until
// Release(). What a program of another user meets, and sees, in the lock
// folder and in /proc.
struct LockInChild {
    pid_t pid = -1;
    int fd = -1; // the child's answer, then held open until Release()
    bool Start(const QString &device, bool unprivileged) {
        int pair[2];
        const passwd *nobody = ::getpwnam("nobody");
        const group *nogroup = ::getgrnam("nogroup");
        if ((unprivileged && (!nobody || !nogroup)) ||
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return false;
        pid = ::fork();
        if (pid == 0) {
            ::close(pair[0]);
            if (unprivileged && (::setgroups(0, nullptr) != 0 ||
                                 ::setresgid(nogroup->gr_gid, nogroup->gr_gid, nogroup->gr_gid) ||
                                 ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid)))
                ::_exit(2);
            PortLock::Lock lock;
            QString holder;
            const QByteArray said = lock.Acquire(device, &holder) ? "taken" : holder.toUtf8();
            char c;
            if (::write(pair[1], said.constData(), size_t(said.size())) > 0 &&
                ::shutdown(pair[1], SHUT_WR) == 0)
                while (::read(pair[1], &c, 1) > 0) {
                }
            lock.Release();
            ::_exit(0);
        }
        ::close(pair[1]);
        fd = pair[0];
        return pid > 0;
    }
    QString Answer() const {
        QByteArray said;
        char buffer[256];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            said.append(buffer, int(n));
        return QString::fromUtf8(said);
    }
    void Release() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~LockInChild() { Release(); }
};

} // namespace

// The device under its other names: ser2net given its /dev/serial/by-id
// link while a program holds the node, and the other way round, for a
// program of root's and of nobody's (who cannot see into ser2net's
// /proc/PID/fd); and a lock naming a live process that does not have the
// device open (PID 1), believed only by one who cannot see that.
void TestSerialPort::otherNames_data() {
    QTest::addColumn<bool>("unprivileged");
    QTest::newRow("as root") << false;
    QTest::newRow("as nobody") << true;
}

void TestSerialPort::otherNames() {
    QFETCH(bool, unprivileged);
    if (::geteuid() != 0)
        QSKIP("needs root to make a link in /dev/serial/by-id");
    PtyPeer peer;
    QVERIFY(peer.ok());
    const QString device = peer.devicePath();
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(device).constData(), &st), 0);
    const unsigned long long rdev = st.st_rdev;
    // The udev-style name, made here and removed with what was made for it.
    QStringList made;
    for (const char *folder : {"/dev/serial", "/dev/serial/by-id"})
        if (QDir().mkdir(QString::fromLatin1(folder)))
            made.prepend(QString::fromLatin1(folder));
    const QString link =
        QStringLiteral("/dev/serial/by-id/usb-Orvik_Test_%1-if00-port0").arg(::getpid());
    QVERIFY(QFile::link(device, link));
    made.prepend(link);
    const auto unmake = qScopeGuard([&made] {
        for (const QString &path : made)
            if (!QFile::remove(path))
                QDir().rmdir(path);
    });
    QVERIFY(PortLock::Names(device).contains(link));

    // We hold the node; ser2net, given the link, refuses its client.
    LockInChild we;
    QVERIFY(we.Start(device, unprivileged));
    QCOMPARE(we.Answer(), QStringLiteral("taken"));
    Ser2net server;
    server.uucpLocks = true;
    QVERIFY(server.Start(link));
    const auto connectClient = [&server] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(server.port));
        return ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 ? fd : -1;
    };
    int client = connectClient();
    QVERIFY(client >= 0);
    (void)!::write(client, "HELLO_FROM_S2N", 14);
    const auto closedOn = [](int fd) { // what it said read, then the end of the stream
        char buffer[256];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        }
        return n == 0;
    };
    QTRY_VERIFY(closedOn(client));
    ::close(client);
    QCOMPARE(peer.read(300), QByteArray());
    we.Release();

    // ser2net has it by the link; we are refused at the node, naming it.
    client = connectClient();
    QVERIFY(client >= 0);
    const long s2n = long(server.proc.processId());
    QTRY_VERIFY(PortLock::HasOpen(s2n, rdev));
    LockInChild second;
    QVERIFY(second.Start(device, unprivileged));
    QCOMPARE(second.Answer(), PortLock::ProcessText(s2n));
    second.Release();
    ::close(client);
    server.Stop();

    // A lock file left naming process 1, which lives but has no terminal
    // of ours open: stale for root, who sees that; believed by nobody.
    const QString stale =
        PortLock::Folders().first() + QStringLiteral("/") + PortLock::FileName(device);
    {
        QFile file(stale);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("         1\n") > 0);
    }
    const auto unstale = qScopeGuard([&stale] { QFile::remove(stale); });
    LockInChild third;
    QVERIFY(third.Start(device, unprivileged));
    QCOMPARE(third.Answer(), unprivileged ? PortLock::ProcessText(1) : QStringLiteral("taken"));
}

void TestSerialPort::send() {
    Fixture f;
    QVERIFY(f.peer.ok());
    QList<QByteArray> sent;
    f.port.OnSend = [&sent](TSerialPort *, const QByteArray &b) { sent.append(b); };
    f.port.Open();
    QCOMPARE(f.port.SendString(QByteArray("PA?\r\n\x00XYZ", 9)), 5); // up to the NUL
    QCOMPARE(f.port.SendString(QByteArray()), 0);
    QCOMPARE(f.port.SendString(QByteArray("\xe9\x7f", 2)), 2);
    QCOMPARE(f.peer.read(2000), QByteArray("PA?\r\n\xe9\x7f"));
    QCOMPARE(sent, (QList<QByteArray>{"PA?\r\n", "\xe9\x7f"}));
    f.port.Close();
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, f.port.SendString("x"));

    // Closing discards unread input only: what was written just before still arrives.
    QByteArray expected;
    for (int i = 0; i < 20; ++i) {
        f.port.Open();
        QCOMPARE(f.port.SendString("B?\r\n"), 4);
        f.port.Close();
        expected += "B?\r\n";
    }
    QCOMPARE(f.peer.read(2000), expected);
}

void TestSerialPort::network() {
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        PtyPeer device;
        QVERIFY(device.ok());
        Ser2net server;
        QVERIFY2(server.Start(device.devicePath()), server.proc.readAll().constData());
        Recorder rec;
        TSerialPort port;
        rec.Attach(port);
        port.SetPortName(server.Name().replace(QLatin1String("tcp"), QLatin1String("Tcp")));
        port.Open();
        QCOMPARE(rec.events, QStringList{kConnect});
        QVERIFY(port.Connected());
        const QByteArray command("PA?\r\n\xe9\xff\x80\x01", 9);
        QCOMPARE(port.SendString(command), 9);
        QCOMPARE(device.read(2000), command);
        // A reply split over two writes; NUL and bytes above 127 arrive unchanged.
        device.write("O: 8");
        QTRY_COMPARE(rec.received, QByteArray("O: 8"));
        // Line settings are stored, not sent: the stream goes on, nothing is discarded.
        port.SetDelay(300);
        port.SetBaudRate(br115200);
        device.write(QByteArray("50\r\n\x00\xff", 6));
        port.SetParity(pbEven);
        QCOMPARE(port.BaudRate(), br115200);
        QTRY_COMPARE(rec.received, QByteArray("O: 850\r\n\x00\xff", 10));
        QCOMPARE(rec.chunks.first(), QByteArray("O: 8"));
        QVERIFY(port.Connected());
        server.Stop(); // the bridge goes away
        QTRY_COMPARE_WITH_TIMEOUT(rec.events.filter(QStringLiteral("receive")).size() + 3,
                                  rec.events.size(), 3000);
        QCOMPARE(rec.events.mid(rec.events.size() - 2), (QStringList{kFault, kDisconnect}));
        QVERIFY(!port.Connected());
        QVERIFY(rec.allOnGuiThread);
        QVERIFY_THROWS_EXCEPTION(ESerialPortException, port.SendString("PA?\r\n"));
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    QTRY_VERIFY(CountEntries("/proc/self/task") <= threads);
}

void TestSerialPort::networkPeers_data() {
    QTest::addColumn<bool>("closesAtOnce"); // else: sends 1 MB without a CR
    QTest::newRow("accepts and closes at once, 50 times") << true;
    QTest::newRow("1 MB without CR") << false;
}

void TestSerialPort::networkPeers() {
    QFETCH(bool, closesAtOnce);
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        TcpListener peer;
        QVERIFY(peer.port > 0);
        Recorder rec;
        TSerialPort port;
        rec.Attach(port);
        port.SetDelay(20);
        // A host name, looked up (in numbers where the lookup cannot be followed).
        port.SetPortName(peer.Name(UnderTsan ? "127.0.0.1" : "localhost"));
        if (closesAtOnce) {
            for (int i = 0; i < 50; ++i) {
                port.Open();
                const int c = peer.Accept(2000);
                QVERIFY(c >= 0);
                ::close(c);
                // Not connected from just before OnDisconnect runs: wait for the event.
                QTRY_COMPARE(rec.events.count(kDisconnect), i + 1);
                QVERIFY(!port.Connected());
            }
            QCOMPARE(rec.events.count(kConnect), 50);
            QCOMPARE(rec.events.count(kFault), 50);
            QCOMPARE(rec.events.count(kDisconnect), 50);
            QCOMPARE(rec.events.size(), 150);
        } else {
            port.Open();
            const int c = peer.Accept(2000);
            QVERIFY(c >= 0);
            QByteArray data(1 << 20, '\0');
            for (int i = 0; i < data.size(); ++i)
                data[i] = char(i % 251 == 13 ? 0 : i % 251);
            // Written without blocking: the reader hands each chunk to this thread.
            qsizetype sent = 0;
            QElapsedTimer t;
            t.start();
            while (sent < data.size() && t.elapsed() < 20000) {
                const ssize_t n = ::send(c, data.constData() + sent, size_t(data.size() - sent),
                                         MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0)
                    sent += n;
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            QCOMPARE(sent, data.size());
            QTRY_COMPARE_WITH_TIMEOUT(rec.received.size(), data.size(), 20000);
            QVERIFY(rec.received == data);
            // Read at a bounded pace: a flood never makes one huge chunk.
            for (const QByteArray &chunk : rec.chunks)
                QVERIFY2(chunk.size() <= TSerialPort::ReadLimit,
                         qPrintable(QString::number(chunk.size())));
            QVERIFY(port.Connected());
            port.Close();
            ::close(c);
            QCOMPARE(rec.events.last(), kDisconnect);
            QVERIFY(!rec.events.contains(kFault));
        }
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    QTRY_VERIFY(CountEntries("/proc/self/task") <= threads);
}

void TestSerialPort::peerClosed_data() {
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("bySend"); // the send, not the reader, is first to notice
    QTest::newRow("reader, 100 ms polls") << 100 << false;
    QTest::newRow("reader, 10 ms polls") << 10 << false;
    QTest::newRow("send") << 1000 << true;
}

void TestSerialPort::peerClosed() {
    QFETCH(int, delay);
    QFETCH(bool, bySend);
    Fixture f;
    QVERIFY(f.peer.ok());
    f.port.SetDelay(std::uint32_t(delay));
    f.port.Open();
    const int deviceFd = DescriptorOf(f.peer.devicePath());
    QElapsedTimer clock;
    clock.start();
    f.peer.closeMaster();
    if (bySend) // both events ran before SendString returned
        QVERIFY_THROWS_EXCEPTION(ESerialPortException, f.port.SendString("PA?\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(f.rec.events.size(), 3, 2000);
    // One poll period plus scheduling slack on a loaded machine.
    QVERIFY2(clock.elapsed() < delay + 300, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f.rec.events, (QStringList{kConnect, kFault, kDisconnect}));
    QVERIFY(!f.port.Connected());
    QVERIFY(f.rec.allOnGuiThread);
    // The ended connection's descriptor number is free, and a pipe takes it:
    // a send now must find the connection closed, not write to the pipe.
    QVERIFY(deviceFd >= 0 && ::fcntl(deviceFd, F_GETFD) == -1);
    int pipeFds[2];
    QCOMPARE(::pipe2(pipeFds, O_NONBLOCK), 0);
    QCOMPARE(::dup2(pipeFds[1], deviceFd), deviceFd);
    const auto closePipe = qScopeGuard([&] {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::close(deviceFd);
    });
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, f.port.SendString("PA?\r\n"));
    char stray;
    QCOMPARE(::read(pipeFds[0], &stray, 1), ssize_t(-1));
    f.port.Close();
    QCOMPARE(f.rec.events.size(), 3);
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, f.port.SendString("PA?"));
}

void TestSerialPort::openCloseCyclesLeaveNothingBehind() {
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    {
        Fixture f;
        QVERIFY(f.peer.ok());
        for (int i = 0; i < 200; ++i) {
            f.port.Open();
            QVERIFY(f.port.Connected());
            f.port.Close();
            QVERIFY(!f.port.Connected());
        }
        QCOMPARE(f.rec.events.count(kConnect), 200);
        QCOMPARE(f.rec.events.count(kDisconnect), 200);
    }
    QCOMPARE(CountEntries("/proc/self/fd"), fds);
    // A joined thread may take a moment to leave the kernel's task list, and
    // one from an earlier test may still have been counted at the start.
    QTRY_VERIFY(CountEntries("/proc/self/task") <= threads);
}

void TestSerialPort::sendWhileClosing() {
    // Another thread sends while the connection is opened and closed over
    // and over: each line the port took arrives once and whole, none that it
    // refused arrives, and nothing is written to a device being closed.
    Fixture f;
    QVERIFY(f.peer.ok());
    f.port.Open();
    std::atomic<bool> done{false};
    int taken = 0;
    QStringList odd;
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            try {
                if (f.port.SendString("PA?\r\n") == 5)
                    ++taken;
            } catch (const ESerialPortException &) {
            } catch (const std::exception &e) {
                odd << QString::fromLocal8Bit(e.what());
            }
            if (i % 8 == 0)
                QThread::usleep(100);
        }
        done = true;
    });
    int cycles = 0;
    while (!done) {
        f.port.Close();
        f.port.Open();
        ++cycles;
    }
    writer.join();
    f.port.Close();
    QCOMPARE(odd, QStringList());
    QVERIFY(cycles > 1);
    QCOMPARE(f.peer.read(3000), QByteArray("PA?\r\n").repeated(taken));
}

void TestSerialPort::twoRepliesInOnePollAreOneChunk() {
    Fixture f;
    QVERIFY(f.peer.ok());
    // Hold reception until both replies are queued, then let one poll read them.
    f.port.SetAutoReceive(false);
    f.port.Open();
    f.peer.write("O: 850\r\n");
    f.peer.write("R: 12\r\n");
    QTRY_COMPARE(f.port.NotifiedQueueCount(), 15u);
    f.port.SetAutoReceive(true);
    QTRY_VERIFY(!f.rec.received.isEmpty());
    f.rec.chunks.removeAll(QByteArray()); // announcements made while held
    QCOMPARE(f.rec.chunks, QList<QByteArray>{"O: 850\r\nR: 12\r\n"});
    QCOMPARE(f.port.LastReceived(), QByteArray("O: 850\r\nR: 12\r\n"));
}

void TestSerialPort::replySplitOverTwoChunks() {
    Fixture f;
    QVERIFY(f.peer.ok());
    f.port.SetKeepEntireBuffer(true);
    f.port.Open();
    f.peer.write("O: 8");
    QTRY_COMPARE(f.rec.chunks.size(), 1);
    f.peer.write("50\r\n");
    QTRY_COMPARE(f.rec.chunks.size(), 2);
    QCOMPARE(f.rec.chunks, (QList<QByteArray>{"O: 8", "50\r\n"}));
    QCOMPARE(f.port.EntireBuffer(), QByteArray("O: 850\r\n"));
    f.port.Close();
    f.port.Open(); // a new connection starts a new buffer
    QCOMPARE(f.port.EntireBuffer(), QByteArray());
}

void TestSerialPort::autoReceiveOffAnnouncesGrowth() {
    Fixture f;
    QVERIFY(f.peer.ok());
    f.port.SetAutoReceive(false);
    f.port.SetDelay(20);
    f.port.Open();
    f.peer.write("12345");
    QTRY_COMPARE(f.port.NotifiedQueueCount(), 5u);
    QTRY_COMPARE(f.rec.chunks.size(), 1);
    f.peer.write("678");
    QTRY_COMPARE(f.port.NotifiedQueueCount(), 8u);
    QTRY_COMPARE(f.rec.chunks.size(), 2);
    // The reader runs on its own; several of its polls over an unchanged
    // queue of 8 must announce nothing more.
    QTest::qWait(150);
    QCOMPARE(f.rec.chunks, (QList<QByteArray>{QByteArray(), QByteArray()}));
    QCOMPARE(f.port.NotifiedQueueCount(), 8u);
    f.port.Close();
    QCOMPARE(f.port.NotifiedQueueCount(), 0u);
}

void TestSerialPort::receptionLog_data() {
    QTest::addColumn<bool>("withDate");
    QTest::newRow("plain") << false;
    QTest::newRow("date and time") << true;
}

void TestSerialPort::receptionLog() {
    QFETCH(bool, withDate);
    Fixture f;
    QVERIFY(f.peer.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("rx.log"));
    f.port.SetLogInput(true);
    f.port.SetLogDateTime(withDate);
    f.port.SetLogFile(log);
    f.port.Open();
    f.peer.write(QByteArray("T: 41\r\n\x00\xb0", 9));
    QTRY_COMPARE(f.rec.chunks.size(), 1);
    f.peer.write("B: 3");
    QTRY_COMPARE(f.rec.chunks.size(), 2);
    f.port.Close();

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
    QVERIFY(parts[0].startsWith(date + ' ') && parts[0].endsWith(" T: 41\r"));
    QCOMPARE(parts[1], QByteArray("\x00\xb0\r", 3));
    QVERIFY(parts[2].startsWith(date + ' ') && parts[2].endsWith(" B: 3\r"));
}

void TestSerialPort::faultsOutsideTheLineAreAbsorbed() {
    // A handler that throws and a log file that cannot be written must not
    // end reception.
    Fixture f;
    QVERIFY(f.peer.ok());
    QTemporaryDir dir;
    QByteArray received;
    f.port.OnReceive = [&](TSerialPort *, const QByteArray &b) {
        received += b;
        throw ESerialPortException(QStringLiteral("handler failed"));
    };
    f.port.SetLogInput(true);
    f.port.SetLogFile(dir.path()); // a folder cannot be opened for appending
    f.port.Open();
    f.peer.write("1");
    QTRY_COMPARE(received, QByteArray("1"));
    f.peer.write("2");
    QTRY_COMPARE(received, QByteArray("12"));
    QVERIFY(f.port.Connected());
}

void TestSerialPort::reappliedSettings() {
    Fixture f;
    QVERIFY(f.peer.ok());
    f.port.SetBaudRate(br009600);
    f.port.SetAutoReceive(false);
    f.port.SetPriority(tpLower);
    f.port.Open();
    QTRY_COMPARE(ReaderNice(), 5);
    // The reader's priority follows at once (lowered only: raising needs privileges).
    f.port.SetPriority(tpLowest);
    QCOMPARE(ReaderNice(), 10);
    f.port.SetPriority(tpIdle);
    QCOMPARE(ReaderNice(), 19);
    f.peer.write("junk");
    QTRY_COMPARE(f.port.NotifiedQueueCount(), 4u);
    f.port.SetBaudRate(br009600); // unchanged, still re-applied
    f.port.SetAutoReceive(true);
    f.peer.write("good");
    QTRY_COMPARE(f.rec.received, QByteArray("good"));
    f.port.SetDiscardNulls(true); // re-applied at once as well
    f.peer.write(QByteArray("b\0c", 3));
    QTRY_COMPARE(f.rec.received, QByteArray("goodbc"));
    // Rates that are no termios constants keep the connection.
    f.port.SetBaudRate(br128000);
    f.port.SetCustomBaudRate(12345);
    f.port.SetBaudRate(brCustom);
    f.port.SetParity(pbMark);
    f.port.SetParity(pbNone);
    f.peer.write("x");
    QTRY_COMPARE(f.rec.received, QByteArray("goodbcx"));
    QVERIFY(!f.rec.events.contains(kDisconnect));
    // A custom rate of 0 is no rate at all: the connection ends.
    f.port.SetCustomBaudRate(0);
    QCOMPARE(f.rec.events.last(), kDisconnect);
    QVERIFY(!f.port.Connected());
}

void TestSerialPort::lineSettingsReachTheDevice_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("parity");
    QTest::addColumn<bool>("check");     // ParityCheck
    QTest::addColumn<int>("flow");       // 0 none, 1 RTS/CTS, 2 XON/XOFF
    QTest::addColumn<bool>("whileOpen"); // set after Open (re-applied) instead of before
    // Parity of an earlier connection on the same port, with two stop bits, a
    // check and both flow controls; -1: none. The terminal keeps what it left.
    QTest::addColumn<int>("before");
    QTest::addColumn<uint>("cflag"); // CSIZE, CSTOPB, PARENB, PARODD, CMSPAR, CRTSCTS
    QTest::addColumn<uint>("iflag"); // INPCK, IXON, IXOFF
    auto row = [](const char *name, int rate, TDataWidth width, TStopBits stop, TParityBits parity,
                  bool check, int flow, bool whileOpen, tcflag_t cflag, tcflag_t iflag,
                  int before = -1) {
        QTest::newRow(name) << rate << int(width) << int(stop) << int(parity) << check << flow
                            << whileOpen << before << uint(cflag) << uint(iflag);
    };
    row("9600 8N1", 9600, dw8Bits, sb1Bit, pbNone, false, 0, false, CS8, 0);
    row("4800 7E1, checked", 4800, dw7Bits, sb1Bit, pbEven, true, 0, false, CS7 | PARENB, INPCK);
    row("1200 7O2", 1200, dw7Bits, sb2Bits, pbOdd, false, 0, false, CS7 | CSTOPB | PARENB | PARODD,
        0);
    row("9600 8E1, reopened after mark", 9600, dw8Bits, sb1Bit, pbEven, false, 0, false,
        CS8 | PARENB, 0, pbMark);
    row("9600 7O1, reopened after space", 9600, dw7Bits, sb1Bit, pbOdd, false, 0, false,
        CS7 | PARENB | PARODD, 0, pbSpace);
    row("9600 8S1, reopened after odd", 9600, dw8Bits, sb1Bit, pbSpace, false, 0, false,
        CS8 | PARENB | CMSPAR, 0, pbOdd);
    row("9600 8N1, reopened after mark", 9600, dw8Bits, sb1Bit, pbNone, false, 0, false, CS8, 0,
        pbMark);
    row("115200 8M1", 115200, dw8Bits, sb1Bit, pbMark, false, 0, false,
        CS8 | PARENB | PARODD | CMSPAR, 0);
    row("75 6S2", 75, dw6Bits, sb2Bits, pbSpace, false, 0, false, CS6 | CSTOPB | PARENB | CMSPAR,
        0);
    row("300 5N1.5", 300, dw5Bits, sb1_5Bits, pbNone, false, 0, false, CS5 | CSTOPB, 0);
    row("7200 8N1 RTS/CTS", 7200, dw8Bits, sb1Bit, pbNone, false, 1, false, CS8 | CRTSCTS, 0);
    row("12345 8N1 XON/XOFF", 12345, dw8Bits, sb1Bit, pbNone, false, 2, false, CS8, IXON | IXOFF);
    // While open, a pseudo-terminal reports parity and narrower data as refused
    // (the connection would end), so these rows keep to what it accepts.
    row("921600 8N2 checked, while open", 921600, dw8Bits, sb2Bits, pbNone, true, 0, true,
        CS8 | CSTOPB, INPCK);
    row("128000 8N1 XON/XOFF, while open", 128000, dw8Bits, sb1Bit, pbNone, false, 2, true, CS8,
        IXON | IXOFF);
    row("2400 8N1 RTS/CTS, while open", 2400, dw8Bits, sb1Bit, pbNone, false, 1, true,
        CS8 | CRTSCTS, 0);
}

void TestSerialPort::lineSettingsReachTheDevice() {
    QFETCH(int, rate);
    QFETCH(int, width);
    QFETCH(int, stop);
    QFETCH(int, parity);
    QFETCH(bool, check);
    QFETCH(int, flow);
    QFETCH(bool, whileOpen);
    QFETCH(int, before);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    Fixture f;
    QVERIFY(f.peer.ok());
    // Opened first: the port claims the device for itself.
    const int probe = ::open(f.peer.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(probe >= 0);
    f.port.SetXonChar('Q');
    f.port.SetXoffChar('S');
    auto configure = [&] {
        f.port.SetCustomBaudRate(rate);
        f.port.SetBaudRate(BaudRateFromInt(rate));
        f.port.SetDataWidth(TDataWidth(width));
        f.port.SetStopBits(TStopBits(stop));
        f.port.SetParity(TParityBits(parity));
        f.port.SetParityCheck(check);
        f.port.SetHwFlowControl(flow == 1 ? hfRTSCTS : hfNONE);
        f.port.SetSwFlowControl(flow == 2 ? sfXONXOFF : sfNONE);
    };
    if (before >= 0) {
        f.port.SetStopBits(sb2Bits);
        f.port.SetParity(TParityBits(before));
        f.port.SetParityCheck(true);
        f.port.SetHwFlowControl(hfRTSCTS);
        f.port.SetSwFlowControl(sfXONXOFF);
        f.port.Open();
        f.port.Close();
    }
    if (!whileOpen)
        configure();
    f.port.Open();
    if (whileOpen)
        configure();
    QVERIFY(f.port.Connected());

    termios2 now{};
    QCOMPARE(::ioctl(probe, TCGETS2, &now), 0);
    ::close(probe);
    QCOMPARE(int(now.c_ospeed), rate);
    QCOMPARE(int(now.c_ispeed), rate);
    const tcflag_t kept = CSTOPB | PARODD | CMSPAR | CRTSCTS;
    QCOMPARE(uint(now.c_cflag & kept), cflag & kept);
    QCOMPARE(uint(now.c_iflag & (INPCK | IXON | IXOFF)), iflag);
    QCOMPARE(uint(now.c_cflag & (CREAD | CLOCAL)), uint(CREAD | CLOCAL));
    QCOMPARE(uint(now.c_lflag & (ICANON | ECHO | ISIG)), 0u); // raw
    QCOMPARE(uint(now.c_oflag & OPOST), 0u);
    if (flow == 2) {
        QCOMPARE(now.c_cc[VSTART], cc_t('Q'));
        QCOMPARE(now.c_cc[VSTOP], cc_t('S'));
    }
    // Data bits and parity enable as they were asked of the driver.
    QCOMPARE(uint(lastRequested.c_cflag & (CSIZE | PARENB | kept)), cflag);
    f.peer.write("ok");
    QTRY_COMPARE(f.rec.received, QByteArray("ok"));
}

void TestSerialPort::handlersReenter_data() {
    QTest::addColumn<QString>("event"); // the handler that acts, once
    // close | send | open (another device) | unplug (the device goes, Close, the handler fails)
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("closeHere"); // the test closes, with that handler still to run
    QTest::addColumn<QStringList>("expected");
    const QString receive = QStringLiteral("receive 10");
    auto row = [](const char *name, const char *event, const char *action, bool closeHere,
                  const QStringList &expected) {
        QTest::newRow(name) << QString::fromLatin1(event) << QString::fromLatin1(action)
                            << closeHere << expected;
    };
    row("close in OnConnect", "connect", "close", false, {kConnect, kDisconnect});
    row("close in OnReceive", "receive", "close", false, {kConnect, receive, kDisconnect});
    row("close in OnDisconnect", "disconnect", "close", true, {kConnect, kDisconnect});
    // No fault is reported after the connection's end.
    row("unplug and close in OnReceive", "receive", "unplug", false,
        {kConnect, receive, kDisconnect});
    // Handlers that run while Close waits for the reader still have the line.
    row("send in OnReceive during Close", "receive", "send", true,
        {kConnect, receive, kDisconnect});
    row("send in OnDisconnect", "disconnect", "send", true, {kConnect, kDisconnect});
    // The old connection ends before the new one starts.
    row("open in OnConnect", "connect", "open", false, {kConnect, kDisconnect, kConnect});
    row("open in OnReceive", "receive", "open", false, {kConnect, receive, kDisconnect, kConnect});
    row("open in OnDisconnect", "disconnect", "open", true, {kConnect, kDisconnect, kConnect});
}

void TestSerialPort::handlersReenter() {
    QFETCH(QString, event);
    QFETCH(QString, action);
    QFETCH(bool, closeHere);
    QFETCH(QStringList, expected);
    Fixture f;
    PtyPeer other;
    QVERIFY(f.peer.ok() && other.ok());
    QStringList failures;
    qint64 innerMs = -1;
    bool acted = false;
    auto act = [&] {
        if (acted)
            return;
        acted = true;
        QElapsedTimer inner;
        inner.start();
        try {
            if (action == QLatin1String("close")) {
                f.port.Close();
            } else if (action == QLatin1String("unplug")) {
                f.peer.closeMaster();
                f.port.Close();
                innerMs = inner.elapsed();
                throw std::runtime_error("handler failed");
            } else if (action == QLatin1String("send")) {
                f.port.SendString("ack\r\n");
            } else {
                f.port.SetPortName(other.devicePath());
                f.port.Open();
            }
        } catch (const ESerialPortException &e) {
            failures << e.Message();
        }
        innerMs = inner.elapsed();
    };
    const auto connect = f.port.OnConnect;
    const auto receive = f.port.OnReceive;
    const auto disconnect = f.port.OnDisconnect;
    if (event == QLatin1String("connect"))
        f.port.OnConnect = [&](TSerialPort *s, TCommPort p) {
            connect(s, p);
            act();
        };
    else if (event == QLatin1String("receive"))
        f.port.OnReceive = [&](TSerialPort *s, const QByteArray &b) {
            receive(s, b);
            act();
        };
    else
        f.port.OnDisconnect = [&](TSerialPort *s, TCommPort p) {
            disconnect(s, p);
            act();
        };
    f.port.Open();
    if (event == QLatin1String("receive")) {
        f.peer.write("PA_QZ9QZ\r\n");
        // The chunk is read just before the reader hands it over and waits;
        // no events run here, so its OnReceive is still to come.
        QElapsedTimer clock;
        clock.start();
        while (closeHere && f.port.LastReceived().isEmpty() && clock.elapsed() < 2000)
            QThread::yieldCurrentThread();
    }
    if (closeHere) {
        f.port.Close();
        QVERIFY(f.rec.events.contains(kDisconnect)); // ran before Close returned
    }
    QTRY_COMPARE(f.rec.events, expected);
    QCOMPARE(failures, QStringList());
    // Nothing waits for the reader from inside its own events.
    QVERIFY2(innerMs >= 0 && innerMs < 1000, qPrintable(QString::number(innerMs)));
    if (action == QLatin1String("send"))
        QCOMPARE(f.peer.read(2000), QByteArray("ack\r\n"));
    f.port.OnConnect = connect;
    f.port.OnReceive = receive;
    f.port.OnDisconnect = disconnect;
    if (action == QLatin1String("open")) {
        QVERIFY(f.port.Connected());
        other.write("B?");
        QTRY_VERIFY(f.rec.received.endsWith("B?"));
        QCOMPARE(f.port.SendString("B: 3\r\n"), 6);
        QCOMPARE(other.read(2000), QByteArray("B: 3\r\n"));
        f.port.Close();
    }
    QCOMPARE(f.rec.events.last(), kDisconnect);
    QVERIFY(!f.port.Connected());
    QVERIFY_THROWS_EXCEPTION(ESerialPortException, f.port.SendString("x"));
    if (action == QLatin1String("unplug")) {
        QTest::qWait(300); // a late fault would come within a few polls
        QCOMPARE(f.rec.events, expected);
        return;
    }
    f.port.SetPortName(f.peer.devicePath());
    f.port.Open(); // opens again normally afterwards
    QVERIFY(f.port.Connected());
    QVERIFY(f.rec.allOnGuiThread);
}

void TestSerialPort::destroyWhileReaderWaits() {
    PtyPeer peer;
    QVERIFY(peer.ok());
    auto *port = new TSerialPort;
    bool called = false;
    port->OnReceive = [&](TSerialPort *, const QByteArray &) { called = true; };
    port->OnDisconnect = [&](TSerialPort *, TCommPort) { called = true; };
    port->SetPortName(peer.devicePath());
    port->Open();
    peer.write("data");
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

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
