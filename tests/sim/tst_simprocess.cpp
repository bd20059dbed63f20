// SPDX-License-Identifier: GPL-3.0-or-later
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
    explicit Device(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Device() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool lost() const { return m_lost; }
    bool write(const QByteArray &bytes) {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until `count` bytes came, the line ends (read gives 0 or EIO) or time is up.
    QByteArray read(qsizetype count, int timeoutMs = 3000) {
        QByteArray bytes;
        const QDeadlineTimer deadline(timeoutMs);
        pollfd p{m_fd, POLLIN, 0};
        while (bytes.size() < count && !deadline.hasExpired() &&
               ::poll(&p, 1, int(deadline.remainingTime())) > 0) {
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, n);
            } else if (n == 0 || errno == EIO) {
                m_lost = true;
                break;
            }
        }
        return bytes;
    }

private:
    int m_fd = -1;
    bool m_lost = false;
};

} // namespace

class TestSimProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void reopenErrorsAndUnplug();
    void linkFollowsTheDevice();
};

void TestSimProcess::answers_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("identification")
        << QStringList() << QByteArray("PA?\r\n") << QByteArray("PA_QZ9QZ\r\n");
    QTest::newRow("every byte logged")
        << QStringList() << QByteArray("\r\nX\0\xff\xb5Y\r\nLB?\r\n???\r\nPA?\r\n", 24)
        << QByteArray("PA_QZ9QZ\r\n");
    QTest::newRow("silent") << QStringList{QStringLiteral("--silent")} << QByteArray("PA?\r\n")
                            << QByteArray();
    QTest::newRow("answer after two")
        << QStringList{QStringLiteral("--answer-after"), QStringLiteral("2")}
        << QByteArray("PA?\r\nPA?\r\nPA?\r\n") << QByteArray("PA_QZ9QZ\r\n");
    QTest::newRow("options") << QStringList{QStringLiteral("--cal"),
                                            QStringLiteral("255"),
                                            QStringLiteral("--firmware"),
                                            QStringLiteral("3.30x2"),
                                            QStringLiteral("--atu"),
                                            QStringLiteral("--no-confirm")}
                             << QByteArray("BL:ON\r\nATU_STATE: 1\r\nCAL?\r\nVer?\r\nATU_INST?\r\n")
                             << QByteArray("CAL: 255\r\nVer: 3.30x2\r\nATU_INST: 1\r\n");
}

void TestSimProcess::answers() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    SimProcess sim;
    QVERIFY2(sim.start(args), qPrintable(sim.errorString()));
    QVERIFY(sim.devicePath().startsWith(QLatin1String("/dev/")));
    Device dev(sim.devicePath());
    QVERIFY(dev.write(sent));
    QTRY_COMPARE(sim.loggedLines(), sim::LineFramer().feed(sent));
    // Any answer was written before the simulator reads this scenario line.
    sim.say("say MARK");
    QCOMPARE(dev.read(expected.size() + 6), expected + "MARK\r\n");
}

void TestSimProcess::reopenErrorsAndUnplug() {
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    for (int round = 0; round < 2; ++round) {
        Device dev(sim.devicePath());
        QVERIFY(dev.write("B?\r\n"));
        QCOMPARE(dev.read(6), QByteArray("B: 3\r\n"));
    }
    Device dev(sim.devicePath());
    QVERIFY(dev.write("PA?\r\n"));
    QCOMPARE(dev.read(10), QByteArray("PA_QZ9QZ\r\n"));
    QCOMPARE(sim.loggedLines(), (Lines{"B?", "B?", "PA?"}));
    // A bad scenario line gets one line of complaint; the simulator goes on.
    sim.say("nonsense 1 2 3");
    QVERIFY(sim.waitForStandardError("nonsense"));
    QCOMPARE(sim.standardError().trimmed().split('\n').size(), 1);
    sim.say("unplug");
    QCOMPARE(dev.read(1), QByteArray());
    QVERIFY(dev.lost());
    QVERIFY(sim.isRunning());
    // A bad option is refused with one line and a failure.
    QVERIFY(!sim.start({QStringLiteral("--cal"), QStringLiteral("256")}));
    QVERIFY(sim.standardError().contains("--cal"));
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
    auto devices = [&] {
        int count = 0;
        for (const sim::LogRecord &r : sim.logRecords())
            count += r.kind == sim::LogKind::Note && r.bytes.startsWith("device /dev/");
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(devices(), 2, 3000);
    Device again(link);
    QVERIFY(again.isOpen());
    QVERIFY(again.write("PA?\r\n"));
    QCOMPARE(again.read(10), QByteArray("PA_QZ9QZ\r\n"));
    sim.stop();
    QVERIFY(!QFile::exists(link) && QFile::symLinkTarget(link).isEmpty());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
