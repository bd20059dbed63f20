// Pure rules of the serial port component: port names, baud rates, setter
// rules and defaults, and the device listing over a fake sysfs tree.
#include "serial/PosixSerial.h"
#include "serial/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TCommPort)
Q_DECLARE_METATYPE(TBaudRate)
Q_DECLARE_METATYPE(TDataWidth)
Q_DECLARE_METATYPE(TStopBits)

class TestSerialRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commPortFromName_data();
    void commPortFromName();
    void commPortName_data();
    void commPortName();
    void baudRates_data();
    void baudRates();
    void customBaudRate();
    void portSetter();
    void customPortNameSetter();
    void widthAndStopBits_data();
    void widthAndStopBits();
    void defaults();
    void naturalOrder_data();
    void naturalOrder();
    void enumerateFakeTree();
    void presence();
};

void TestSerialRules::commPortFromName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<TCommPort>("port");
    QTest::newRow("COM1") << QStringLiteral("COM1") << TCommPort(1);
    QTest::newRow("lower with blanks") << QStringLiteral("  com3 \t") << TCommPort(3);
    QTest::newRow("control chars") << QStringLiteral("\x01"
                                                     "COM12\r\n")
                                   << TCommPort(12);
    QTest::newRow("COM254") << QStringLiteral("COM254") << spCOM254;
    QTest::newRow("COM255") << QStringLiteral("COM255") << spCustom;
    QTest::newRow("COM0") << QStringLiteral("COM0") << spCustom;
    QTest::newRow("COM03") << QStringLiteral("COM03") << spCustom;
    QTest::newRow("COM alone") << QStringLiteral("COM") << spCustom;
    QTest::newRow("COM1000") << QStringLiteral("COM1000") << spCustom;
    QTest::newRow("COM-1") << QStringLiteral("COM-1") << spCustom;
    QTest::newRow("COM 3 inner blank") << QStringLiteral("COM 3") << spCustom;
    QTest::newRow("device prefix") << QStringLiteral("\\\\.\\COM3") << spCustom;
    QTest::newRow("linux path") << QStringLiteral("/dev/ttyUSB0") << spCustom;
    QTest::newRow("pty") << QStringLiteral("/dev/pts/7") << spCustom;
    QTest::newRow("empty") << QString() << spNone;
    QTest::newRow("blank") << QStringLiteral(" \t ") << spNone;
}

void TestSerialRules::commPortFromName() {
    QFETCH(QString, name);
    QFETCH(TCommPort, port);
    QCOMPARE(int(CommPortFromName(name)), int(port));
}

void TestSerialRules::commPortName_data() {
    QTest::addColumn<TCommPort>("port");
    QTest::addColumn<QString>("custom");
    QTest::addColumn<QString>("name");
    QTest::newRow("none") << spNone << QStringLiteral("x") << QString();
    QTest::newRow("COM1") << spCOM1 << QString() << QStringLiteral("COM1");
    QTest::newRow("COM254") << spCOM254 << QString() << QStringLiteral("COM254");
    QTest::newRow("custom empty") << spCustom << QString() << QStringLiteral("vcom1");
    QTest::newRow("custom blank") << spCustom << QStringLiteral("  ") << QStringLiteral("vcom1");
    QTest::newRow("custom vcom1") << spCustom << QStringLiteral("vcom1") << QStringLiteral("vcom1");
    QTest::newRow("custom path") << spCustom << QStringLiteral(" /dev/pts/3 ")
                                 << QStringLiteral("/dev/pts/3");
}

void TestSerialRules::commPortName() {
    QFETCH(TCommPort, port);
    QFETCH(QString, custom);
    QFETCH(QString, name);
    QCOMPARE(CommPortNameFor(port, custom), name);
}

void TestSerialRules::baudRates_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<TBaudRate>("value");
    const int fixed[] = {75,     110,    134,    150,    300,    600,   1200,  1800,
                         2400,   4800,   7200,   9600,   14400,  19200, 38400, 57600,
                         115200, 128000, 230400, 256000, 460800, 921600};
    for (int i = 0; i < 22; ++i)
        QTest::addRow("%d", fixed[i]) << fixed[i] << TBaudRate(i);
    QTest::newRow("0") << 0 << brCustom;
    QTest::newRow("12345") << 12345 << brCustom;
    QTest::newRow("-9600") << -9600 << brCustom;
}

void TestSerialRules::baudRates() {
    QFETCH(int, rate);
    QFETCH(TBaudRate, value);
    QCOMPARE(int(BaudRateFromInt(rate)), int(value));
    if (value != brCustom) {
        TSerialPort port;
        QCOMPARE(port.BaudRateToInt(value), rate);
        port.SetBaudRate(value);
        QCOMPARE(int(port.BaudRate()), int(value));
    }
}

void TestSerialRules::customBaudRate() {
    TSerialPort port;
    QCOMPARE(port.BaudRateToInt(brCustom), 0);
    port.SetCustomBaudRate(12345);
    QCOMPARE(port.BaudRateToInt(brCustom), 12345);
    // The stored rate is a fixed one: only CustomBaudRate changes.
    port.SetBaudRate(br009600);
    port.SetCustomBaudRate(777);
    QCOMPARE(int(port.BaudRate()), int(br009600));
    QCOMPARE(port.CustomBaudRate(), 777);
    // brCustom stores 777; a new CustomBaudRate that is a fixed rate changes the reading.
    port.SetBaudRate(brCustom);
    QCOMPARE(int(port.BaudRate()), int(brCustom));
    QCOMPARE(port.BaudRateToInt(port.BaudRate()), 777);
    port.SetCustomBaudRate(9600);
    QCOMPARE(int(port.BaudRate()), int(br009600));
}

void TestSerialRules::portSetter() {
    TSerialPort port;
    QCOMPARE(int(port.Port()), int(spNone));
    QCOMPARE(port.PortName(), QString());
    port.SetPort(TCommPort(3));
    QCOMPARE(port.PortName(), QStringLiteral("COM3"));
    // Same value as it reads: the spelling given stays.
    port.SetPortName(QStringLiteral(" com3"));
    port.SetPort(TCommPort(3));
    QCOMPARE(port.PortName(), QStringLiteral(" com3"));
    // A path is opened exactly as given; Port reads spCustom.
    port.SetPortName(QStringLiteral("/dev/pts/7"));
    QCOMPARE(int(port.Port()), int(spCustom));
    port.SetPort(spCustom);
    QCOMPARE(port.PortName(), QStringLiteral("/dev/pts/7"));
    port.SetPort(spNone);
    QCOMPARE(port.PortName(), QString());
    port.SetPort(spCustom);
    QCOMPARE(port.PortName(), QStringLiteral("vcom1"));
}

void TestSerialRules::customPortNameSetter() {
    TSerialPort port;
    QCOMPARE(port.CustomPortName(), QStringLiteral("vcom1"));
    port.SetCustomPortName(QStringLiteral(" /dev/ttyUSB1 \n"));
    QCOMPARE(port.CustomPortName(), QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(port.PortName(), QString()); // Port is spNone: PortName untouched
    port.SetPort(spCustom);
    QCOMPARE(port.PortName(), QStringLiteral("/dev/ttyUSB1"));
    port.SetCustomPortName(QStringLiteral("cnca0"));
    QCOMPARE(port.PortName(), QStringLiteral("cnca0"));
    // Blank while spCustom: PortName empties and Port reads spNone.
    port.SetCustomPortName(QStringLiteral("   "));
    QCOMPARE(port.PortName(), QString());
    QCOMPARE(int(port.Port()), int(spNone));
    QCOMPARE(port.CommPortName(spCustom), QStringLiteral("vcom1"));
}

void TestSerialRules::widthAndStopBits_data() {
    QTest::addColumn<TDataWidth>("width");
    QTest::addColumn<TStopBits>("stop");
    QTest::addColumn<bool>("widthFirstOk"); // DataWidth then StopBits
    QTest::addColumn<bool>("stopFirstOk");  // StopBits (with 8 bits) then DataWidth
    QTest::newRow("5/1") << dw5Bits << sb1Bit << true << true;
    QTest::newRow("5/1.5") << dw5Bits << sb1_5Bits << true << false;
    QTest::newRow("5/2") << dw5Bits << sb2Bits << false << false;
    QTest::newRow("6/1.5") << dw6Bits << sb1_5Bits << false << false;
    QTest::newRow("7/2") << dw7Bits << sb2Bits << true << true;
    QTest::newRow("8/1.5") << dw8Bits << sb1_5Bits << false << false;
    QTest::newRow("8/2") << dw8Bits << sb2Bits << true << true;
}

void TestSerialRules::widthAndStopBits() {
    QFETCH(TDataWidth, width);
    QFETCH(TStopBits, stop);
    QFETCH(bool, widthFirstOk);
    QFETCH(bool, stopFirstOk);
    const QString message = QStringLiteral("Invalid data-width and stop-bits combination.");

    TSerialPort a;
    a.SetDataWidth(width);
    bool ok = true;
    try {
        a.SetStopBits(stop);
    } catch (const ESerialPortException &e) {
        ok = false;
        QCOMPARE(e.Message(), message);
        QCOMPARE(int(a.StopBits()), int(sb1Bit)); // unchanged
    }
    QCOMPARE(ok, widthFirstOk);

    TSerialPort b;
    ok = true;
    try {
        b.SetStopBits(stop);
        b.SetDataWidth(width);
    } catch (const ESerialPortException &e) {
        ok = false;
        QCOMPARE(e.Message(), message);
        QCOMPARE(int(b.DataWidth()), int(dw8Bits)); // refused: 8 bits stay stored
    }
    QCOMPARE(ok, stopFirstOk);
}

void TestSerialRules::defaults() {
    TSerialPort port;
    QCOMPARE(int(port.BaudRate()), int(br004800));
    QCOMPARE(int(port.DataWidth()), int(dw8Bits));
    QCOMPARE(int(port.StopBits()), int(sb1Bit));
    QCOMPARE(int(port.Parity()), int(pbNone));
    QVERIFY(port.EnableDTROnOpen() && port.EnableRTSOnOpen());
    QCOMPARE(int(port.HwFlowControl()), int(hfNONE));
    QCOMPARE(int(port.SwFlowControl()), int(sfNONE));
    QCOMPARE(int(port.XonChar()), 17);
    QCOMPARE(int(port.XoffChar()), 19);
    QCOMPARE(int(port.XonLim()), 0);
    QCOMPARE(int(port.XoffLim()), 1);
    QCOMPARE(int(port.EofChar()), 26);
    QCOMPARE(int(port.EvtChar()), 26);
    QCOMPARE(port.ReadIntervalTimeout(), 0xFFFFFFFFu);
    QCOMPARE(port.WriteTotalTimeoutMultiplier(), 100u);
    QCOMPARE(port.WriteTotalTimeoutConstant(), 1000u);
    QCOMPARE(port.InputBuffer(), 4096u);
    QCOMPARE(int(port.Priority()), int(tpNormal));
    QCOMPARE(port.Delay(), 100u);
    port.SetInterval(40);
    QCOMPARE(port.Delay(), 40u);
    QVERIFY(port.AutoReceive());
    QVERIFY(port.SynchronizeEvents);
    QCOMPARE(port.NewLine(), QByteArray("\r\n"));
    QCOMPARE(int(port.LineStatus()), 0);
    QVERIFY(!port.Connected());
}

void TestSerialRules::naturalOrder_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::newRow("2<10") << QStringLiteral("/dev/ttyS2") << QStringLiteral("/dev/ttyS10");
    QTest::newRow("family") << QStringLiteral("/dev/ttyACM9") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("prefix") << QStringLiteral("/dev/ttyS") << QStringLiteral("/dev/ttyS0");
    QTest::newRow("zero pad") << QStringLiteral("a01") << QStringLiteral("a2");
}

void TestSerialRules::naturalOrder() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QVERIFY(PosixSerial::NaturalLess(a, b));
    QVERIFY(!PosixSerial::NaturalLess(b, a));
    QVERIFY(!PosixSerial::NaturalLess(a, a));
}

void TestSerialRules::enumerateFakeTree() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir dir(root.path());
    QVERIFY(dir.mkpath(QStringLiteral("sys")) && dir.mkpath(QStringLiteral("dev")));
    auto entry = [&](const QString &name, const char *type, bool node) {
        QVERIFY(dir.mkpath(QStringLiteral("sys/") + name));
        if (type) {
            QFile f(dir.filePath(QStringLiteral("sys/%1/type").arg(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
        if (node) {
            QFile f(dir.filePath(QStringLiteral("dev/") + name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    };
    entry(QStringLiteral("ttyUSB10"), nullptr, true);
    entry(QStringLiteral("ttyUSB2"), nullptr, true);
    entry(QStringLiteral("ttyACM0"), nullptr, true);
    entry(QStringLiteral("ttyAMA0"), nullptr, true);
    entry(QStringLiteral("rfcomm1"), nullptr, true);
    entry(QStringLiteral("ttyS0"), "4\n", true);      // a 16550A
    entry(QStringLiteral("ttyS1"), "0\n", true);      // empty 8250 slot
    entry(QStringLiteral("ttyS2"), nullptr, true);    // no UART information
    entry(QStringLiteral("ttyUSB3"), nullptr, false); // no device node
    entry(QStringLiteral("tty1"), nullptr, true);
    entry(QStringLiteral("console"), nullptr, true);
    entry(QStringLiteral("ptmx"), nullptr, true);

    const QString dev = dir.filePath(QStringLiteral("dev"));
    const QStringList expected = {
        dev + QStringLiteral("/rfcomm1"), dev + QStringLiteral("/ttyACM0"),
        dev + QStringLiteral("/ttyAMA0"), dev + QStringLiteral("/ttyS0"),
        dev + QStringLiteral("/ttyUSB2"), dev + QStringLiteral("/ttyUSB10")};
    QCOMPARE(EnumeratePorts(dir.filePath(QStringLiteral("sys")), dev), expected);
    // A missing sysfs root gives an empty list, no error.
    QVERIFY(EnumeratePorts(dir.filePath(QStringLiteral("nothing")), dev).isEmpty());
    // The real system list is filled into the given list, emptied first.
    QStringList list{QStringLiteral("stale")};
    EnumeratePorts(list);
    QVERIFY(!list.contains(QStringLiteral("stale")));
}

void TestSerialRules::presence() {
    QVERIFY(IsPortPresent(QStringLiteral("/dev/null"))); // a character device
    QVERIFY(IsPortPresent(QStringLiteral(" /dev/null\n")));
    QVERIFY(!IsPortPresent(QStringLiteral("/dev/no-such-port")));
    QVERIFY(!IsPortPresent(QString()));
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("plain")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(!IsPortPresent(f.fileName())); // a regular file is no port
}

QTEST_GUILESS_MAIN(TestSerialRules)
#include "tst_serialrules.moc"
