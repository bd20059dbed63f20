// The real orvik-sim binary on its pseudo-terminal, talked to with plain
// POSIX calls as a serial device.
#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using Lines = QList<QByteArray>;

namespace {

// The panel's end of the line.
class Device {
public:
    explicit Device(const QString &path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Device() { close(); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool write(const QByteArray &bytes) {
        return ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // Reads until `bytes` holds at least `count` bytes, the line ends
    // (read gives 0 or fails with EIO) or the time is up.
    QByteArray read(int count, int timeoutMs = 3000) {
        QByteArray bytes;
        const QDeadlineTimer deadline(timeoutMs);
        while (bytes.size() < count && !deadline.hasExpired()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, static_cast<int>(n));
            } else if (n == 0 || errno == EIO) {
                m_lost = true;
                break;
            }
        }
        return bytes;
    }
    bool lost() const { return m_lost; }

private:
    int m_fd = -1;
    bool m_lost = false;
};

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void identification();
    void logKeepsEveryByte();
    void reopenAfterClose();
    void silent();
    void answerAfter();
    void options();
    void scenarioFromStdin();
    void splitReportArrivesInTwoReads();
    void unplugLosesThePort();
    void linkFollowsTheDevice();
};

void TestSimProcess::identification() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(sim.devicePath().startsWith(QLatin1String("/dev/")));
    Device dev(sim.devicePath());
    QVERIFY(dev.isOpen());
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    QCOMPARE(sim.loggedLines(), Lines{"PA?"});
}

void TestSimProcess::logKeepsEveryByte() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    const QByteArray binary("X\0\xff\xb5Y", 5);
    QVERIFY(dev.write("\r\n" + binary + "\r\nLB?\r\n???\r\nPA?\r\n"));
    // Nothing answers the first four lines: the first bytes back are the identification.
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    QVERIFY(sim.waitForLogged("PA?"));
    QCOMPARE(sim.loggedLines(), (Lines{"", binary, "LB?", "???", "PA?"}));
}

void TestSimProcess::reopenAfterClose() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    for (int round = 0; round < 3; ++round) {
        Device dev(sim.devicePath());
        QVERIFY(dev.isOpen());
        QVERIFY(dev.write("B?\r\n"));
        QCOMPARE(dev.read(6), QByteArray("B: 3\r\n"));
    }
    QCOMPARE(sim.loggedLines(), (Lines{"B?", "B?", "B?"}));
    QVERIFY(sim.isRunning());
}

void TestSimProcess::silent() {
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--silent")}), qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\n"));
    QVERIFY(sim.waitForLogged("PA?"));
    // Any answer would have been written before this scenario line.
    sim.say("say MARK");
    QCOMPARE(dev.read(6), QByteArray("MARK\r\n"));
}

void TestSimProcess::answerAfter() {
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--answer-after"), QStringLiteral("2")}),
             qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\nPA?\r\n"));
    QVERIFY(sim.waitForLogged("PA?", 2));
    sim.say("say MARK");
    QCOMPARE(dev.read(6), QByteArray("MARK\r\n"));
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
}

void TestSimProcess::options() {
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--cal"), QStringLiteral("255"), QStringLiteral("--version"),
                        QStringLiteral("3.30x2"), QStringLiteral("--atu"),
                        QStringLiteral("--no-confirm")}),
             qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("BL:ON\r\nATU_STATE: 1\r\nCAL?\r\nVer?\r\nATU_INST?\r\n"));
    const QByteArray expected("CAL: 255\r\nVer: 3.30x2\r\nATU_INST: 1\r\n");
    QCOMPARE(dev.read(static_cast<int>(expected.size())), expected);

    // Bad options are refused with one line and a failure.
    SimProcess bad;
    QVERIFY(!bad.start({QStringLiteral("--cal"), QStringLiteral("256")}));
    QVERIFY(bad.standardError().contains("--cal"));
}

void TestSimProcess::scenarioFromStdin() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    sim.say("nonsense 1 2 3");
    sim.say("tx 600 20 0.3");
    sim.say("alarm hpout");
    QByteArray bytes;
    const QDeadlineTimer deadline(5000);
    while (!bytes.endsWith("ALARM: HPOUT\r\n") && !deadline.hasExpired())
        bytes += dev.read(1, 200);
    Lines lines = bytes.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray()); // every line ended in CR LF
    for (QByteArray &line : lines) {
        QVERIFY(line.endsWith('\r'));
        line.chop(1);
    }
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines.first(), QByteArray("TX: ON"));
    QVERIFY(lines.at(1).startsWith("O: ") && lines.at(2).startsWith("R: "));
    QVERIFY(lines.at(7).startsWith("P_max: "));
    QCOMPARE(lines.at(8), QByteArray("TX: OFF"));
    QCOMPARE(lines.at(9), QByteArray("ALARM: HPOUT"));

    // The bad line got one line of complaint and the simulator went on.
    QVERIFY(sim.waitForStandardError("nonsense"));
    QCOMPARE(sim.standardError().trimmed().split('\n').size(), 1);
}

void TestSimProcess::splitReportArrivesInTwoReads() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    sim.say("split O: 500");
    const QByteArray first = dev.read(1);
    QVERIFY(!first.isEmpty());
    QVERIFY(!first.contains('\r'));
    const QByteArray rest = dev.read(static_cast<int>(8 - first.size()));
    QCOMPARE(first + rest, QByteArray("O: 500\r\n"));
}

void TestSimProcess::unplugLosesThePort() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    sim.say("unplug");
    QCOMPARE(dev.read(1), QByteArray());
    QVERIFY(dev.lost());
    QVERIFY(sim.isRunning());
}

void TestSimProcess::linkFollowsTheDevice() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("orvik"));
    SimProcess sim;
    QVERIFY2(sim.start({QStringLiteral("--link"), link}), qPrintable(sim.errorString()));
    QCOMPARE(QFile::symLinkTarget(link), sim.devicePath());
    {
        Device dev(link);
        QVERIFY(dev.write("PA?\r\n"));
        QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
        sim.say("unplug");
        // No link is left naming a terminal number another program may get.
        QTRY_VERIFY(QFile::symLinkTarget(link).isEmpty());
        sim.say("replug");
        QVERIFY(dev.read(1).isEmpty());
    }
    // After a replug the link names the new device, which answers.
    const QDeadlineTimer deadline(3000);
    auto devices = [&] {
        int count = 0;
        for (const sim::LogRecord &r : sim.logRecords())
            count += r.kind == sim::LogKind::Note && r.bytes.startsWith("device /dev/");
        return count;
    };
    while (devices() < 2 && !deadline.hasExpired())
        QTest::qWait(10);
    QCOMPARE(devices(), 2);
    QVERIFY(QFile::exists(link));
    Device again(link);
    QVERIFY(again.isOpen());
    QVERIFY(again.write("PA?\r\n"));
    QCOMPARE(again.read(10), QByteArray("PA_QZ9QZ\r\n"));
    sim.stop();
    QVERIFY(!QFile::exists(link) && QFile::symLinkTarget(link).isEmpty());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
