// SPDX-License-Identifier: GPL-3.0-or-later
// Pure rules of the serial port component: port names, baud rates, the
// setters' rules, the output queue, and the device listing over a fake
// sysfs tree.
#include "serial/OutputQueue.h"
#include "serial/PosixSerial.h"
#include "serial/SerialPort.h"
#include "serial/Transport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSerialRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commPortFromName_data();
    void commPortFromName();
    void baudRates();
    void setters_data();
    void setters();
    void widthAndStopBits_data();
    void widthAndStopBits();
    void naturalOrder();
    void tcpNames_data();
    void tcpNames();
    void enumerateFakeTree_data();
    void enumerateFakeTree();
    void presence();
    void outputQueue_data();
    void outputQueue();
};

void TestSerialRules::commPortFromName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("port");
    QTest::newRow("COM1") << QStringLiteral("COM1") << 1;
    QTest::newRow("blanks, lower case") << QStringLiteral("  com3 \t") << 3;
    QTest::newRow("control chars") << QStringLiteral("\x01"
                                                     "COM12\r\n")
                                   << 12;
    QTest::newRow("COM254") << QStringLiteral("COM254") << 254;
    QTest::newRow("empty") << QString() << int(spNone);
    QTest::newRow("blank") << QStringLiteral(" \t ") << int(spNone);
    for (const char *name : {"COM255", "COM0", "COM03", "COM", "COM1000", "COM-1", "COM 3",
                             "\\\\.\\COM3", "/dev/pts/7"})
        QTest::addRow("%s", name) << QString::fromLatin1(name) << int(spCustom);
}

void TestSerialRules::commPortFromName() {
    QFETCH(QString, name);
    QFETCH(int, port);
    QCOMPARE(int(CommPortFromName(name)), port);
}

void TestSerialRules::baudRates() {
    const int fixed[] = {75,     110,    134,    150,    300,    600,   1200,  1800,
                         2400,   4800,   7200,   9600,   14400,  19200, 38400, 57600,
                         115200, 128000, 230400, 256000, 460800, 921600};
    for (int i = 0; i < 22; ++i) {
        QCOMPARE(int(BaudRateFromInt(fixed[i])), i);
        QCOMPARE(FixedBaudRate(TBaudRate(i)), fixed[i]);
    }
    for (int other : {0, 12345, -9600})
        QCOMPARE(int(BaudRateFromInt(other)), int(brCustom));
    QCOMPARE(FixedBaudRate(brCustom), 0);
}

// Steps: "port:N" SetPort, "name:X" SetPortName, "custom:X" SetCustomPortName,
// "rate:N" SetBaudRate(BaudRateFromInt(N)) ("rate:custom" brCustom),
// "custombaud:N" SetCustomBaudRate.
void TestSerialRules::setters_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("portName");
    QTest::addColumn<int>("rate"); // BaudRateToInt(BaudRate())
    QTest::addColumn<bool>("customRate");
    auto row = [](const char *name, const QString &steps, int port, const char *portName,
                  int rate = 4800, bool custom = false) {
        QTest::newRow(name) << steps.split(QLatin1Char('|')) << port
                            << QString::fromLatin1(portName) << rate << custom;
    };
    row("port names COMn", QStringLiteral("port:254"), 254, "COM254");
    row("same port keeps spelling", QStringLiteral("name: com3|port:3"), 3, " com3");
    row("path reads custom", QStringLiteral("name:/dev/pts/7|port:255"), 255, "/dev/pts/7");
    row("none empties", QStringLiteral("name:/dev/pts/7|port:0"), 0, "");
    row("custom default", QStringLiteral("port:255"), 255, "vcom1");
    row("custom name while none", QStringLiteral("custom: /dev/ttyUSB1 \n"), 0, "");
    row("custom name trimmed", QStringLiteral("custom: /dev/ttyUSB1 \n|port:255"), 255,
        "/dev/ttyUSB1");
    row("custom name follows", QStringLiteral("port:255|custom:cnca0"), 255, "cnca0");
    row("blank custom name", QStringLiteral("port:255|custom:   "), 0, "");
    row("blank custom name, then custom", QStringLiteral("custom: |port:255"), 255, "vcom1");
    row("custom rate", QStringLiteral("custombaud:12345|rate:custom"), 0, "", 12345, true);
    row("fixed rate stays", QStringLiteral("rate:9600|custombaud:777"), 0, "", 9600);
    row("custom follows", QStringLiteral("rate:custom|custombaud:777"), 0, "", 777, true);
    row("custom becomes fixed", QStringLiteral("rate:custom|custombaud:9600"), 0, "", 9600);
    row("no custom rate", QStringLiteral("rate:custom"), 0, "", 0, true);
}

void TestSerialRules::setters() {
    QFETCH(QStringList, steps);
    TSerialPort p;
    for (const QString &step : steps) {
        const QString kind = step.section(QLatin1Char(':'), 0, 0);
        const QString value = step.section(QLatin1Char(':'), 1);
        if (kind == QLatin1String("port"))
            p.SetPort(TCommPort(value.toInt()));
        else if (kind == QLatin1String("name"))
            p.SetPortName(value);
        else if (kind == QLatin1String("custom"))
            p.SetCustomPortName(value);
        else if (kind == QLatin1String("rate"))
            p.SetBaudRate(value == QLatin1String("custom") ? brCustom
                                                           : BaudRateFromInt(value.toInt()));
        else if (kind == QLatin1String("custombaud"))
            p.SetCustomBaudRate(value.toInt());
        else
            QFAIL(qPrintable(step));
    }
    QTEST(int(p.Port()), "port");
    QTEST(p.PortName(), "portName");
    QTEST(p.BaudRateToInt(p.BaudRate()), "rate");
    QTEST(p.BaudRate() == brCustom, "customRate");
}

void TestSerialRules::widthAndStopBits_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("widthFirstOk"); // DataWidth then StopBits
    QTest::addColumn<bool>("stopFirstOk");  // StopBits (with 8 bits) then DataWidth
    QTest::newRow("5/1") << int(dw5Bits) << int(sb1Bit) << true << true;
    QTest::newRow("5/1.5") << int(dw5Bits) << int(sb1_5Bits) << true << false;
    QTest::newRow("5/2") << int(dw5Bits) << int(sb2Bits) << false << false;
    QTest::newRow("6/1.5") << int(dw6Bits) << int(sb1_5Bits) << false << false;
    QTest::newRow("7/2") << int(dw7Bits) << int(sb2Bits) << true << true;
    QTest::newRow("8/1.5") << int(dw8Bits) << int(sb1_5Bits) << false << false;
}

void TestSerialRules::widthAndStopBits() {
    QFETCH(int, width);
    QFETCH(int, stop);
    const QString message = QStringLiteral("Invalid data-width and stop-bits combination.");
    TSerialPort a;
    a.SetDataWidth(TDataWidth(width));
    try {
        a.SetStopBits(TStopBits(stop));
        QTEST(true, "widthFirstOk");
    } catch (const ESerialPortException &e) {
        QTEST(false, "widthFirstOk");
        QCOMPARE(e.Message(), message);
        QCOMPARE(int(a.StopBits()), int(sb1Bit)); // unchanged
    }
    TSerialPort b;
    try {
        b.SetStopBits(TStopBits(stop));
        b.SetDataWidth(TDataWidth(width));
        QTEST(true, "stopFirstOk");
    } catch (const ESerialPortException &e) {
        QTEST(false, "stopFirstOk");
        QCOMPARE(e.Message(), message);
        QCOMPARE(int(b.DataWidth()), int(dw8Bits)); // refused: 8 bits stay
    }
}

void TestSerialRules::naturalOrder() {
    const char *const pairs[][2] = {{"/dev/ttyS2", "/dev/ttyS10"},
                                    {"/dev/ttyACM9", "/dev/ttyUSB0"},
                                    {"/dev/ttyS", "/dev/ttyS0"},
                                    {"a01", "a2"}};
    for (const auto &pair : pairs) {
        const QString a = QString::fromLatin1(pair[0]), b = QString::fromLatin1(pair[1]);
        QVERIFY2(PosixSerial::NaturalLess(a, b), pair[0]);
        QVERIFY2(!PosixSerial::NaturalLess(b, a) && !PosixSerial::NaturalLess(a, a), pair[0]);
    }
}

namespace {
QStringList Strs(std::initializer_list<const char *> items) {
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}
} // namespace

void TestSerialRules::tcpNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host"); // empty: malformed
    QTest::addColumn<int>("port");
    const QList<std::tuple<const char *, const char *, int>> rows = {
        {"tcp://192.168.1.20:4001", "192.168.1.20", 4001},
        {"TCP://127.0.0.1:1", "127.0.0.1", 1},
        {" tCp://[::1]:65535\n", "::1", 65535},
        {"tcp://[fe80::1:2]:2000", "fe80::1:2", 2000},
        {"tcp://shack-pi.local:3333", "shack-pi.local", 3333},
        {"tcp://shack.example.org.:80", "shack.example.org.", 80},
        {"tcp://localhost:00080", "localhost", 80},
        {"tcp://", "", 0},
        {"tcp://:4000", "", 0},
        {"tcp://host", "", 0},
        {"tcp://host:", "", 0},
        {"tcp://host:0", "", 0},
        {"tcp://host:65536", "", 0},
        {"tcp://host:123456", "", 0},
        {"tcp://host:+80", "", 0},
        {"tcp://host:-1", "", 0},
        {"tcp://host:80x", "", 0},
        {"tcp://host:80/", "", 0},
        {"tcp://::1:80", "", 0},
        {"tcp://[::1]", "", 0},
        {"tcp://[::1]80", "", 0},
        {"tcp://[zz::1]:80", "", 0},
        {"tcp://[127.0.0.1]:80", "", 0},
        {"tcp://1.2.3.256:80", "", 0},
        {"tcp://1.2.3:80x", "", 0},
        {"tcp://a b:80", "", 0},
        {"tcp://-host:80", "", 0},
        {"tcp://host..x:80", "", 0},
        {"tcp://user@host:80", "", 0},
        {"tcp://ho\xc3\xa9st:80", "", 0},
        {"udp://host:80", "", 0},
        {"tcp:/host:80", "", 0},
        {"/dev/ttyUSB0", "", 0}};
    for (const auto &[name, host, port] : rows)
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromLatin1(host) << port;
}

void TestSerialRules::tcpNames() {
    QFETCH(QString, name);
    QFETCH(QString, host);
    Transport::TcpAddress address;
    QString reason;
    const bool ok = Transport::ParseTcpName(name, &address, &reason);
    QCOMPARE(ok, !host.isEmpty());
    QCOMPARE(reason.isEmpty(), ok);
    if (ok) {
        QCOMPARE(address.host, host);
        QTEST(address.port, "port");
    }
    // Every tcp:// name maps to the custom port, like any other device name.
    QCOMPARE(CommPortFromName(name), spCustom);
}

void TestSerialRules::enumerateFakeTree_data() {
    // sysfs entries as "name[:uart type][+ bound to a driver][! no /dev node]",
    // by-id links as "link>target", the expected listing with ~ for the dev dir.
    QTest::addColumn<QStringList>("sys");
    QTest::addColumn<QStringList>("byId");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("families and drivers")
        << Strs({"ttyUSB10+", "ttyUSB2+", "ttyACM0+", "ttyAMA0+", "rfcomm1+", "ttyS0:4+",
                 "ttyS1:0+", "ttyS2+", "ttyUSB3+!", "tty1", "console", "ptmx", "ttyCH343USB0+",
                 "ttyXRUSB0+", "ttyGS0+", "ttySC0+", "ttymxc0+", "ttymxc10+", "ttyprintk"})
        << Strs({})
        << Strs({"~/rfcomm1", "~/ttyACM0", "~/ttyAMA0", "~/ttyCH343USB0", "~/ttyGS0", "~/ttyS0",
                 "~/ttySC0", "~/ttyUSB2", "~/ttyUSB10", "~/ttyXRUSB0", "~/ttymxc0", "~/ttymxc10"})
        << Strs({});
    QTest::newRow("by-id links take the place of their node")
        << Strs({"ttyUSB0+", "ttyUSB1+", "ttyACM0+", "ttyCH343USB0+", "ttyUSB7+!"})
        << Strs({"usb-FTDI_FT232R_USB_UART_A10KxYz-if00-port0>../../ttyUSB1",
                 "usb-1a86_USB_Single_Serial_5434012345-if00>../../ttyCH343USB0",
                 "usb-Prolific_gone-if00-port0>../../ttyUSB7", // dangling: no node
                 "usb-Orvik_stray-if00>../../ttyUSB9"})        // not a listed tty
        << Strs({"~/ttyACM0", "~/serial/by-id/usb-1a86_USB_Single_Serial_5434012345-if00",
                 "~/ttyUSB0", "~/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KxYz-if00-port0"})
        << Strs({"~/ttyACM0", "ttyCH343USB0 \u2014 1a86 USB Single Serial 5434012345", "~/ttyUSB0",
                 "ttyUSB1 \u2014 FTDI FT232R USB UART A10KxYz"});
    QTest::newRow("no sysfs") << Strs({}) << Strs({"usb-X_Y-if00>../../ttyUSB0"}) << Strs({})
                              << Strs({});
}

void TestSerialRules::enumerateFakeTree() {
    QFETCH(QStringList, sys);
    QFETCH(QStringList, byId);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, labels);
    QTemporaryDir root;
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("dev/serial/by-id")) && dir.mkpath(QStringLiteral("bus")));
    const QString dev = dir.filePath(QStringLiteral("dev"));
    const QString sysDir =
        dir.filePath(sys.isEmpty() ? QStringLiteral("none") : QStringLiteral("sys"));
    for (QString entry : sys) {
        const bool bound = entry.contains(QLatin1Char('+'));
        const bool node = !entry.contains(QLatin1Char('!'));
        entry.remove(QLatin1Char('+')).remove(QLatin1Char('!'));
        const QString name = entry.section(QLatin1Char(':'), 0, 0);
        const QString type = entry.section(QLatin1Char(':'), 1);
        QVERIFY(dir.mkpath(QStringLiteral("sys/") + name));
        if (bound) // sysfs links a bound tty to its device
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("bus")),
                                dir.filePath(QStringLiteral("sys/%1/device").arg(name))));
        QFile typeFile(dir.filePath(QStringLiteral("sys/%1/type").arg(name)));
        if (!type.isEmpty() &&
            !(typeFile.open(QIODevice::WriteOnly) && typeFile.write(type.toLatin1()) > 0))
            QFAIL("cannot write a type file");
        QFile devFile(dev + QLatin1Char('/') + name);
        if (node)
            QVERIFY(devFile.open(QIODevice::WriteOnly));
    }
    for (const QString &link : byId)
        QVERIFY(QFile::link(link.section(QLatin1Char('>'), 1),
                            dev + QStringLiteral("/serial/by-id/") +
                                link.section(QLatin1Char('>'), 0, 0)));
    expected.replaceInStrings(QStringLiteral("~"), dev);
    const QStringList ports = EnumeratePorts(sysDir, dev);
    QCOMPARE(ports, expected);
    if (!labels.isEmpty()) {
        labels.replaceInStrings(QStringLiteral("~"), dev);
        QStringList shown;
        for (const QString &p : ports)
            shown << PortLabel(p);
        QCOMPARE(shown, labels);
        // A configured node finds the by-id entry of its device; case is ignored.
        QCOMPARE(ListedPortFor(ports, dev + QStringLiteral("/ttyUSB1")), expected.at(3));
        QCOMPARE(ListedPortFor(ports, dev.toUpper() + QStringLiteral("/TTYUSB0 ")), expected.at(2));
        QVERIFY(ListedPortFor(ports, dev + QStringLiteral("/ttyUSB9")).isEmpty());
    }
    QStringList list{QStringLiteral("stale")}; // the real listing empties the list first
    EnumeratePorts(list);
    QVERIFY(!list.contains(QStringLiteral("stale")));
}

void TestSerialRules::presence() {
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QVERIFY(IsPortPresent(QStringLiteral(" /dev/null\n"))); // a character device
    QVERIFY(!IsPortPresent(QStringLiteral("/dev/no-such-port")));
    QVERIFY(!IsPortPresent(QString()));
    QVERIFY(!IsPortPresent(plain.fileName())); // a regular file is no port
}

void TestSerialRules::outputQueue_data() {
    // Steps on a queue of 10 bytes: cN adds a command of N bytes, rN a
    // repeat, tN has the device take N bytes of the head. Each line added
    // is made of its own letter, a, b, c ...
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("added"); // per line: Yes, Dropped, Refused
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<int>("dropped");
    auto row = [](const char *name, const char *steps, const char *added, const char *waiting,
                  int dropped) {
        QTest::newRow(name) << QString::fromLatin1(steps).split(QLatin1Char(' '))
                            << QString::fromLatin1(added) << QByteArray(waiting) << dropped;
    };
    row("both fit", "c4 r4", "YY", "aaaabbbb", 0);
    row("the oldest repeat gives way", "r3 c3 r3 c3", "YYYY", "bbbcccddd", 1);
    row("a repeat that does not fit", "c5 c4 r3", "YYD", "aaaaabbbb", 1);
    row("a command that does not fit", "c5 c4 c3", "YYR", "aaaaabbbb", 0);
    row("a begun repeat is finished", "r6 t2 c7", "YR", "aaaa", 0);
    row("an unbegun repeat gives way", "r6 t0 c7", "YY", "bbbbbbb", 1);
    row("taken whole", "c5 t5 c9", "YY", "bbbbbbbbb", 0);
}

void TestSerialRules::outputQueue() {
    QFETCH(QStringList, steps);
    QFETCH(QString, added);
    QFETCH(QByteArray, waiting);
    QFETCH(int, dropped);
    OutputQueue queue(10);
    QString results;
    char letter = 'a';
    for (const QString &step : steps) {
        const int n = step.mid(1).toInt();
        if (step.startsWith(QLatin1Char('t'))) {
            queue.Took(n);
            continue;
        }
        const OutputQueue::Added a =
            queue.Add(QByteArray(n, letter++), step.startsWith(QLatin1Char('r')));
        static const char Letters[] = {'Y', 'D', 'R'};
        results += QLatin1Char(Letters[int(a)]);
    }
    QCOMPARE(results, added);
    QCOMPARE(queue.Bytes(), int(waiting.size()));
    QCOMPARE(queue.DroppedRepeats(), dropped);
    QByteArray out;
    while (!queue.IsEmpty()) {
        out += queue.Head();
        queue.Took(queue.Head().size());
    }
    QCOMPARE(out, waiting);
    QCOMPARE(queue.Bytes(), 0);
}

QTEST_GUILESS_MAIN(TestSerialRules)
#include "tst_serialrules.moc"
