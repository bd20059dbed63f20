// The connection's life over a bare pseudo-terminal: start-up selection,
// Close Port, reopening and failed opens. The handshake, the give-up and a
// lost port run against the simulator in tst_endtoend.
#include "app/Runtime.h"
#include "app/Unit1.h"
#include "app/Windows.h"
#include "atu/atu1.h"
#include "service/Unit2.h"
#include "tests/common/PtyPeer.h"
#include "widgets/ColorButton.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class TestConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void startupState();
    void configurationSelectsDevice();
    void unreadableConfiguration();
    void closeWhileConnecting();
    void closeWhileConnectedThenReopen();
    void reopenStartsWithoutHeldText();
    void openFailureLeavesWindowUsable();
    void openWithoutPortIsRefused();

private:
    void writeIni(const QByteArray &text);
    void createWindows();
    void openToPeer();
    int countEchoes(const QString &entry) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<TWindowSet> windows;
    TForm1 *form = nullptr;
    QList<Runtime::MessageBoxCall> boxes;
};

void TestConnection::init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    Runtime::SetExeDir(dir->path());
    peer = std::make_unique<PtyPeer>();
    QVERIFY(peer->ok());
    boxes.clear();
    Runtime::SetMessageHandler([this](const Runtime::MessageBoxCall &c) { boxes.append(c); });
}

void TestConnection::cleanup() {
    windows.reset();
    form = nullptr;
    peer.reset();
    Runtime::SetMessageHandler(nullptr);
    Runtime::SetExeDir(QString());
    dir.reset();
}

void TestConnection::writeIni(const QByteArray &text) {
    QFile f(dir->filePath(QStringLiteral("Orvik_control.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

void TestConnection::createWindows() {
    windows = std::make_unique<TWindowSet>();
    form = windows->windows().Form1;
    // Ticks are driven by the tests; the real timers must not interfere.
    form->Timer1->setInterval(24 * 3600 * 1000);
    form->Timer2->setInterval(24 * 3600 * 1000);
}

void TestConnection::openToPeer() {
    writeIni("[Configuration]\nPort=" + peer->devicePath().toLocal8Bit() + "\n");
    createWindows();
    QCOMPARE(form->ComboBox1->currentText(), peer->devicePath());
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
}

int TestConnection::countEchoes(const QString &entry) const {
    return int(windows->windows().Form2->Lines().count(entry));
}

void TestConnection::startupState() {
    createWindows();
    QCOMPARE(form->windowTitle(), QStringLiteral("Orvik 1200 Remote Control"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->openport->Down());
    QVERIFY(form->closeport->Down());
    QVERIFY(form->closeport->isEnabled());
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(form->Timer2->isActive());
    QCOMPARE(form->Session.CalValue, std::uint8_t(255));
    QCOMPARE(form->Session.CurrentBand, std::uint8_t(7));
    QVERIFY(!form->ATUPanel1->isEnabled());
    // Every other window exists, hidden, with its caption.
    const TWindows &w = windows->windows();
    QCOMPARE(w.Form2->windowTitle(), QStringLiteral("Port Monitor"));
    QCOMPARE(w.Fatu1->windowTitle(), QStringLiteral("ATU Remote Control"));
    QVERIFY(w.Form2->isHidden());
    QVERIFY(w.Fatu1->isHidden());
}

void TestConnection::configurationSelectsDevice() {
    // A pseudo-terminal is not among the enumerated ports; naming it in the
    // configuration adds and selects it.
    writeIni("[Configuration]\r\nPort=" + peer->devicePath().toLocal8Bit() + "\r\n");
    createWindows();
    QCOMPARE(form->ComboBox1->currentText(), peer->devicePath());
    QCOMPARE(form->ComboBox1->findText(peer->devicePath()), form->ComboBox1->currentIndex());
}

void TestConnection::unreadableConfiguration() {
    // A directory where the file should be: exists, cannot be read.
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("Orvik_control.ini")));
    createWindows();
    QCOMPARE(form->ComboBox1->currentIndex(), -1);
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(boxes.isEmpty());
}

void TestConnection::closeWhileConnecting() {
    openToPeer();
    form->Timer1Timer();
    form->closeportclick();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
    QCOMPARE(form->ComboBox1->currentIndex(), -1);
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(!form->Timer2->isActive());
    // A further Open Port needs a port chosen again.
    form->openportclick();
    QCOMPARE(boxes.size(), 2);
    QVERIFY(!form->SerialPort->Connected());
}

void TestConnection::closeWhileConnectedThenReopen() {
    openToPeer();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    peer->read(); // the start-up queries
    form->closeportclick();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
    QVERIFY(!form->SerialPort->Connected());
    // Reopen the same device: the session keeps its identification.
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QVERIFY(form->Session.PaIdentified);
    QCOMPARE(form->openport->Caption(), QStringLiteral("Connecting..."));
}

void TestConnection::reopenStartsWithoutHeldText() {
    openToPeer();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    peer->read();
    // An unfinished line when the port is closed ...
    peer->write("O: 12");
    QTRY_COMPARE(form->Receiver.Held(), QByteArray("O: 12"));
    form->closeportclick();
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    // ... is not glued to the first line of the new connection.
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!windows->windows().Form2->Lines().contains(QStringLiteral("+ O: 12PA_QZ9QZ")));
}

void TestConnection::openFailureLeavesWindowUsable() {
    createWindows();
    form->ComboBox1->addItem(dir->filePath(QStringLiteral("no-such-device")));
    form->ComboBox1->setCurrentIndex(form->ComboBox1->count() - 1);
    form->openportclick();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.at(0).text.startsWith(QStringLiteral("Cannot connect to ")));
    QCOMPARE(boxes.at(0).icon, Runtime::MsgIcon::Error);
    QVERIFY(form->ComboBox1->isEnabled());
    QVERIFY(form->openport->isEnabled());
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(windows->windows().Form2->Lines().join(QString()).isEmpty());
}

void TestConnection::openWithoutPortIsRefused() {
    createWindows();
    form->ComboBox1->setCurrentIndex(-1);
    form->openportclick();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).title, QStringLiteral("Error"));
    QVERIFY(form->ComboBox1->isEnabled());
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->SerialPort->Connected());
    QVERIFY(!form->Timer1->isActive());
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
