// Pure rules of the amplifier link: bytes to text and back, the INI reader
// and the start-up selection of the port list.
#include "app/IniFile.h"
#include "app/PortRules.h"
#include "app/Protocol.h"

#include <QTest>

class TestCore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void latin1RoundTrip();
    void iniRead_data();
    void iniRead();
    void portSelection_data();
    void portSelection();
};

void TestCore::latin1RoundTrip() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = Protocol::FromLine(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0).unicode(), ushort(0));
    QCOMPARE(text.at(0xE9).unicode(), ushort(0xE9));
    QCOMPARE(Protocol::ToLine(text), all);
    QCOMPARE(Protocol::ReceivedEcho(QByteArray("A\0B", 3)).size(), 5);
}

void TestCore::iniRead_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("[Configuration]\r\nPort=COM3\r\n") << "COM3";
    QTest::newRow("case of names")
        << QByteArray("[configuration]\nPORT = /dev/ttyUSB0 \n") << "/dev/ttyUSB0";
    QTest::newRow("bom and comments")
        << QByteArray("\xEF\xBB\xBF; note\n[Configuration]\n# x\nPort=COM1\n") << "COM1";
    QTest::newRow("other section") << QByteArray("[Other]\nPort=COM9\n[Configuration]\n") << "";
    QTest::newRow("missing key") << QByteArray("[Configuration]\nBaud=9600\n") << "";
    QTest::newRow("empty value") << QByteArray("[Configuration]\nPort=\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("garbage") << QByteArray("\x01\x02[[[=\n=\n[Configuration\nPort") << "";
    QTest::newRow("unclosed section still names it")
        << QByteArray("[Configuration\nPort=COM2\n") << "COM2";
    QTest::newRow("first of duplicates") << QByteArray("[Configuration]\nPort=A\nPort=B\n") << "A";
}

void TestCore::iniRead() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(
        IniFile::ReadStringFromText(text, QStringLiteral("Configuration"), QStringLiteral("Port")),
        expected);
}

void TestCore::portSelection_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QStringList>("expectedPorts");
    QTest::addColumn<int>("expectedIndex");
    const QStringList three{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0"),
                            QStringLiteral("/dev/ttyUSB1")};
    QTest::newRow("no file: first") << three << false << "" << three << 0;
    QTest::newRow("named") << three << true << "/dev/ttyUSB1" << three << 2;
    QTest::newRow("other letter case") << three << true << "/DEV/TTYUSB0" << three << 1;
    QTest::newRow("missing key") << three << true << "" << three << -1;
    QTest::newRow("not present") << three << true << "/dev/ttyUSB7" << three << -1;
    QTest::newRow("no ports, no file") << QStringList() << false << "" << QStringList() << -1;
    QTest::newRow("no ports, file names nothing")
        << QStringList() << true << "/dev/ttyUSB7" << QStringList() << -1;
    QTest::newRow("unlisted character device is added")
        << three << true << "/dev/pts/7" << (three + QStringList{QStringLiteral("/dev/pts/7")})
        << 3;
    QTest::newRow("unlisted device, empty list")
        << QStringList() << true << "/dev/pts/7" << QStringList{QStringLiteral("/dev/pts/7")} << 0;
}

void TestCore::portSelection() {
    QFETCH(QStringList, ports);
    QFETCH(bool, fileExists);
    QFETCH(QString, configured);
    QFETCH(QStringList, expectedPorts);
    QFETCH(int, expectedIndex);
    auto isDevice = [](const QString &p) { return p == QStringLiteral("/dev/pts/7"); };
    const auto sel = PortRules::SelectConfigured(
        ports, fileExists ? std::optional<QString>(configured) : std::nullopt, isDevice);
    QCOMPARE(sel.ports, expectedPorts);
    QCOMPARE(sel.index, expectedIndex);
}

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
