// The connection's life over a bare pseudo-terminal: start-up selection,
// Close Port, reopening and failed opens. The handshake, the give-up and a
// lost port run against the simulator in tst_endtoend.
#include "app/Unit1.h"
#include "app/Windows.h"
#include "service/Unit2.h"
#include "tests/common/PanelFixture.h"
#include "widgets/ColorButton.h"
#include "widgets/Runtime.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

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

private:
    void createWindows();
    void openToPeer();
    void reopen();

    std::unique_ptr<PanelFixture> f;
    PtyPeer *peer = nullptr;
    TForm1 *form = nullptr;
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
    form = f->form;
}

// A pseudo-terminal is not among the enumerated ports; naming it in the
// configuration adds and selects it.
void TestConnection::openToPeer() {
    QVERIFY(f->configure(peer->devicePath()));
    createWindows();
    QCOMPARE(form->ComboBox1->currentText(), peer->devicePath());
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
}

void TestConnection::reopen() {
    form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(peer->devicePath()));
    form->openportclick();
    QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Connecting..."));
}

void TestConnection::unreadableConfiguration() {
    // A directory where the file should be: exists, cannot be read.
    QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("Orvik_control.ini")));
    createWindows();
    QCOMPARE(form->ComboBox1->currentIndex(), -1);
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(f->boxes.isEmpty());
}

void TestConnection::closeWhileConnecting() {
    openToPeer();
    form->Timer1Timer();
    form->closeportclick();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes.at(0).text, QStringLiteral("Disconnected from COM Port"));
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
    QCOMPARE(form->ComboBox1->currentIndex(), -1);
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(!form->Timer2->isActive());
    // A further Open Port needs a port chosen again.
    form->openportclick();
    QCOMPARE(f->boxes.size(), 2);
    QVERIFY(!form->SerialPort->Connected());
}

void TestConnection::closeWhileConnectedThenReopen() {
    openToPeer();
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    peer->read(); // the start-up queries
    // An unfinished line when the port is closed ...
    QSignalSpy arrived(&form->Link, &AmpLink::ChunkArrived);
    peer->write("O: 12");
    QTRY_VERIFY(!arrived.isEmpty());
    form->closeportclick();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open port"));
    QVERIFY(!form->SerialPort->Connected());
    // Reopen the same device: the session keeps its identification ...
    reopen();
    QVERIFY(form->Link.State().PaIdentified);
    // ... and the old unfinished line is not glued to the first new one.
    peer->write("PA_QZ9QZ\r\n");
    QTRY_COMPARE(form->openport->Caption(), QStringLiteral("PA connected"));
    QVERIFY(!(*f->w).Form2->Lines().contains(QStringLiteral("+ O: 12PA_QZ9QZ")));
}

void TestConnection::openRefused_data() {
    QTest::addColumn<bool>("noPort");
    QTest::addColumn<QString>("text"); // the start of the message
    QTest::newRow("no such device") << false << QStringLiteral("Cannot connect to ");
    QTest::newRow("no port chosen") << true << QStringLiteral("Please select a COM port first.");
}

void TestConnection::openRefused() {
    QFETCH(bool, noPort);
    QFETCH(QString, text);
    createWindows();
    form->ComboBox1->addItem(f->dir.filePath(QStringLiteral("no-such-device")));
    form->ComboBox1->setCurrentIndex(noPort ? -1 : form->ComboBox1->count() - 1);
    form->openportclick();
    // The window stays closed and usable.
    QCOMPARE(f->boxes.size(), 1);
    QVERIFY2(f->boxes.at(0).text.startsWith(text), qPrintable(f->boxes.at(0).text));
    QCOMPARE(f->boxes.at(0).icon, Runtime::MsgIcon::Error);
    QVERIFY(form->ComboBox1->isEnabled());
    QVERIFY(form->openport->isEnabled());
    QCOMPARE(form->openport->Caption(), QStringLiteral("Open Port"));
    QVERIFY(!form->SerialPort->Connected());
    QVERIFY(!form->Timer1->isActive());
    QVERIFY((*f->w).Form2->Lines().join(QString()).isEmpty());
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
