// The port monitor and the calibration window: log lines, the traffic
// lamps, the 1000-line emptying, freezing, saving, the input line and the
// probe; the calibration arrows.
#include "PanelFixture.h"

#include "service/Unit3.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTextCursor>
#include <QTextDocument>

class TestPortMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void entryLines_data();
    void entryLines();
    void saveFileBytes_data();
    void saveFileBytes();
    void layout();
    void appendKeepsEntriesAsLines();
    void lampsFollowLastLine_data();
    void lampsFollowLastLine();
    void emptiedAboveThousandLines();
    void entriesReachTheTextTogether();
    void receivedLinesAreLoggedAndFlipRxD();
    void freezeAndUnfreeze();
    void saveWhileFrozenWritesLiveLog();
    void saveFailureShowsReasonAndKeepsLog();
    void clearEmptiesBothViews();
    void inputLine_data();
    void inputLine();
    void otherKeysSendNothing();
    void inputOnClosedPort();
    void keywordRevealsForwardReading();
    void probe();
    void closingOnlyHides();
    void calibrationArrows_data();
    void calibrationArrows();
    void calibrationLayoutAndPassiveButtons();

private:
    void press(int key);
    std::unique_ptr<PanelFixture> f;
    TForm2 *mon = nullptr;
    QString oldCwd;
};

void TestPortMonitor::init() {
    f = std::make_unique<PanelFixture>();
    mon = f->w->Form2;
    oldCwd = QDir::currentPath();
}

void TestPortMonitor::cleanup() {
    QDir::setCurrent(oldCwd);
    mon = nullptr;
    f.reset();
}

void TestPortMonitor::press(int key) {
    QTest::keyClick(mon->Edit1, Qt::Key(key));
}

void TestPortMonitor::entryLines_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("plain") << QStringLiteral("+ O: 850") << QStringList{QStringLiteral("+ O: 850")};
    QTest::newRow("query echo") << QStringLiteral("- B?\r\n")
                                << QStringList{QStringLiteral("- B?"), QString()};
    QTest::newRow("empty") << QString() << QStringList{QString()};
    QTest::newRow("lone CR and LF")
        << QStringLiteral("a\rb\nc")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    const QString latin = QString::fromLatin1("+ x\0y\xB5\xFF", 7);
    QTest::newRow("NUL and high bytes") << latin << QStringList{latin};
}

void TestPortMonitor::entryLines() {
    QFETCH(QString, entry);
    QFETCH(QStringList, lines);
    QCOMPARE(EntryLines(entry), lines);
}

void TestPortMonitor::saveFileBytes_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty log") << QStringList() << QByteArray();
    QTest::newRow("lines and an empty one")
        << QStringList{QStringLiteral("+ O: 850"), QStringLiteral("- B?"), QString()}
        << QByteArray("+ O: 850\r\n- B?\r\n\r\n");
    QTest::newRow("Latin-1 and NUL kept") << QStringList{QString::fromLatin1("L: 1.2 \xB5H\0!", 11)}
                                          << QByteArray("L: 1.2 \xB5H\0!\r\n", 13);
}

void TestPortMonitor::saveFileBytes() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    QCOMPARE(PortMonitorFileBytes(lines), bytes);
}

void TestPortMonitor::layout() {
    QCOMPARE(mon->windowTitle(), QStringLiteral("Port Monitor"));
    QVERIFY(mon->isHidden());
    QVERIFY(mon->CheckBox1->isChecked());
    QCOMPARE(mon->CheckBox1->text(), QStringLiteral("Autoscroll"));
    QVERIFY(!mon->Memo1->isHidden());
    QVERIFY(mon->Memo2->isHidden());
    QCOMPARE(mon->Edit1->width(), 129);
    QCOMPARE(mon->Panel1->height(), 71);
    QCOMPARE(mon->Button2->text(), QStringLiteral("Clear"));
    QCOMPARE(mon->Label1->text(), QStringLiteral("Lines with '-'  - sent to PA"));
    QCOMPARE(mon->Label2->text(), QStringLiteral("Lines with '+' - received from PA"));
    QStringList items;
    for (QAction *a : mon->PopupMenu1->actions())
        items << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(items,
             (QStringList{QStringLiteral("Clear"), QStringLiteral("|"), QStringLiteral("Send ???"),
                          QStringLiteral("|"), QStringLiteral("Save all to file")}));
    QCOMPARE(mon->Memo1->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(mon->Memo2->contextMenuPolicy(), Qt::CustomContextMenu);
}

void TestPortMonitor::appendKeepsEntriesAsLines() {
    QCOMPARE(mon->LineCount(), 0);
    QCOMPARE(mon->Lines(), QStringList());
    mon->AddLine(QStringLiteral("+ O: 850"));
    mon->AddLine(QStringLiteral("- T?\r\n"));
    mon->AddLine(QStringLiteral("+ T: 35"));
    QCOMPARE(mon->Lines(), (QStringList{QStringLiteral("+ O: 850"), QStringLiteral("- T?"),
                                        QString(), QStringLiteral("+ T: 35")}));
    QCOMPARE(mon->LineCount(), 4);
    QCOMPARE(mon->LastLine(), QStringLiteral("+ T: 35"));
    mon->AddLine(QStringLiteral("- B?\r\n"));
    QCOMPARE(mon->LastLine(), QString());
    QCOMPARE(mon->LineCount(), 6);
}

void TestPortMonitor::lampsFollowLastLine_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("txFlips");
    QTest::newRow("sent") << QStringLiteral("- ATU_STATE: 1") << true;
    QTest::newRow("received") << QStringLiteral("+ O: 850") << false;
    QTest::newRow("query echo ends empty") << QStringLiteral("- B?\r\n") << false;
    QTest::newRow("conversion error") << QStringLiteral("****** Band conversion error") << false;
}

void TestPortMonitor::lampsFollowLastLine() {
    QFETCH(QString, entry);
    QFETCH(bool, txFlips);
    TLedLamp *tx = f->w->Form1->txled;
    TLedLamp *rx = f->w->Form1->rxLED;
    QVERIFY(tx && rx);
    const bool tx0 = tx->Value(), rx0 = rx->Value();
    mon->AddLine(entry);
    QCOMPARE(tx->Value(), txFlips ? !tx0 : tx0);
    QCOMPARE(rx->Value(), txFlips ? rx0 : !rx0);
    mon->AddLine(entry);
    QCOMPARE(tx->Value(), tx0);
    QCOMPARE(rx->Value(), rx0);
}

void TestPortMonitor::emptiedAboveThousandLines() {
    for (int i = 1; i <= 999; ++i)
        mon->AddLine(QStringLiteral("+ O: %1").arg(i));
    mon->AddLine(QStringLiteral("- B: 3"));
    QCOMPARE(mon->LineCount(), 1000); // exactly 1000 stays
    QCOMPARE(mon->LastLine(), QStringLiteral("- B: 3"));
    TLedLamp *tx = f->w->Form1->txled;
    TLedLamp *rx = f->w->Form1->rxLED;
    QVERIFY(tx && rx);
    const bool tx0 = tx->Value(), rx0 = rx->Value();
    mon->AddLine(QStringLiteral("- B: 4"));
    QCOMPARE(mon->LineCount(), 0);
    QCOMPARE(mon->Lines(), QStringList());
    // The sent line flipped TxD; the emptying was one more change, of RxD.
    QCOMPARE(tx->Value(), !tx0);
    QCOMPARE(rx->Value(), !rx0);
    // The log goes on after being emptied.
    mon->AddLine(QStringLiteral("+ T: 35"));
    QCOMPARE(mon->Lines(), QStringList{QStringLiteral("+ T: 35")});
}

void TestPortMonitor::entriesReachTheTextTogether() {
    QTextDocument *doc = mon->Memo1->document();
    mon->AddLine(QStringLiteral("+ O: 1"));
    QCOMPARE(doc->toPlainText(), QStringLiteral("+ O: 1"));
    QSignalSpy changes(doc, &QTextDocument::contentsChange);
    mon->AddLine(QStringLiteral("+ O: 2"));
    mon->AddLine(QStringLiteral("- T?\r\n"));
    // The log has them at once; the text gets them in one change at the
    // next turn of the event loop.
    const QStringList all{QStringLiteral("+ O: 1"), QStringLiteral("+ O: 2"),
                          QStringLiteral("- T?"), QString()};
    QCOMPARE(mon->Lines(), all);
    QCOMPARE(mon->LineCount(), 4);
    QCOMPARE(changes.size(), 0);
    QTRY_COMPARE(changes.size(), 1);
    QCOMPARE(doc->toPlainText().split(QLatin1Char('\n')), all);
    QCOMPARE(mon->Lines(), all);

    // Clearing the text drops lines still waiting; emptying the log passes
    // them through the text first.
    mon->AddLine(QStringLiteral("+ O: 3"));
    mon->Memo1->clear();
    QCOMPARE(mon->Lines(), QStringList());
    mon->AddLine(QStringLiteral("+ O: 4"));
    mon->AddLine(QStringLiteral("+ O: 5"));
    QStringList seen;
    connect(doc, &QTextDocument::contentsChange, this, [&] {
        if (!doc->isEmpty())
            seen = doc->toPlainText().split(QLatin1Char('\n'));
    });
    mon->ClearLog();
    QCOMPARE(seen, (QStringList{QStringLiteral("+ O: 4"), QStringLiteral("+ O: 5")}));
    QCOMPARE(mon->LineCount(), 0);
    disconnect(doc, nullptr, this, nullptr);
}

void TestPortMonitor::receivedLinesAreLoggedAndFlipRxD() {
    QVERIFY(f->connectPeer());
    TLedLamp *rx = f->w->Form1->rxLED;
    QVERIFY(rx);
    const bool rx0 = rx->Value();
    const int before = mon->LineCount();
    f->receive("T: 35\r\n");
    QCOMPARE(mon->Lines().mid(before),
             (QStringList{QStringLiteral("+ T: 35"), QStringLiteral("+ T: 35")}));
    QCOMPARE(rx->Value(), rx0); // two received entries: flipped twice
    f->receive("O: 850\r\nR: 3\r\nT: 36\r\n");
    QCOMPARE(rx->Value(), rx0); // six entries
}

void TestPortMonitor::freezeAndUnfreeze() {
    for (int i = 0; i < 5; ++i)
        mon->AddLine(QStringLiteral("+ O: %1").arg(i));
    mon->AddLine(QStringLiteral("- B: 3"));
    const QStringList frozen = mon->Lines();
    // Filling the snapshot is a change too; it looks at the live log's last
    // line, a sent one here.
    TLedLamp *tx = f->w->Form1->txled;
    QVERIFY(tx);
    const bool tx0 = tx->Value();
    mon->CheckBox1->click();
    QCOMPARE(tx->Value(), !tx0);
    QVERIFY(!mon->CheckBox1->isChecked());
    QVERIFY(mon->Memo1->isHidden());
    QVERIFY(!mon->Memo2->isHidden());
    QCOMPARE(mon->SnapshotLines(), frozen);
    const QTextCursor caret = mon->Memo2->textCursor();
    QVERIFY(!caret.hasSelection());
    QVERIFY(caret.atEnd());

    for (int i = 0; i < 20; ++i)
        mon->AddLine(QStringLiteral("- B: %1").arg(i));
    QCOMPARE(mon->SnapshotLines(), frozen); // the view does not move
    QCOMPARE(mon->LineCount(), 26);         // the live log keeps filling

    mon->CheckBox1->click();
    QVERIFY(!mon->Memo1->isHidden());
    QVERIFY(mon->Memo2->isHidden());
    QCOMPARE(mon->Lines().size(), 26);
    QCOMPARE(mon->Lines().last(), QStringLiteral("- B: 19"));
}

void TestPortMonitor::saveWhileFrozenWritesLiveLog() {
    QVERIFY(QDir::setCurrent(f->dir.path()));
    // An existing, longer file is replaced, not overwritten in place.
    {
        QFile old(QStringLiteral("PortMonitor.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    mon->AddLine(QStringLiteral("+ O: 850"));
    mon->CheckBox1->click(); // freeze
    mon->AddLine(QStringLiteral("- T?\r\n"));
    mon->AddLine(QString::fromLatin1("+ L: 1.2 \xB5H"));
    mon->Savealltofile1->trigger();
    QVERIFY(f->boxes.isEmpty());
    QFile saved(f->dir.filePath(QStringLiteral("PortMonitor.txt")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("+ O: 850\r\n- T?\r\n\r\n+ L: 1.2 \xB5H\r\n"));
}

void TestPortMonitor::saveFailureShowsReasonAndKeepsLog() {
    QVERIFY(QDir::setCurrent(f->dir.path()));
    // A directory where the file should go: it cannot be written.
    QVERIFY(QDir(f->dir.path()).mkdir(QStringLiteral("PortMonitor.txt")));
    mon->AddLine(QStringLiteral("+ O: 850"));
    mon->AddLine(QStringLiteral("- B: 3"));
    const QStringList before = mon->Lines();
    mon->Savealltofile1->trigger();
    QCOMPARE(f->boxes.size(), 1);
    QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
    QVERIFY2(f->boxes[0].text.contains(f->dir.filePath(QStringLiteral("PortMonitor.txt"))),
             qPrintable(f->boxes[0].text));
    // A reason follows the file name.
    const QString text = f->boxes[0].text;
    QVERIFY(text.section(QStringLiteral("\":"), 1).trimmed().size() > 3);
    QCOMPARE(mon->Lines(), before);
    QVERIFY(QFileInfo(f->dir.filePath(QStringLiteral("PortMonitor.txt"))).isDir());
}

void TestPortMonitor::clearEmptiesBothViews() {
    mon->AddLine(QStringLiteral("+ O: 1"));
    mon->CheckBox1->click();
    QCOMPARE(mon->SnapshotLines().size(), 1);
    mon->Button2->click();
    QCOMPARE(mon->LineCount(), 0);
    QCOMPARE(mon->SnapshotLines(), QStringList());
    mon->AddLine(QStringLiteral("+ O: 2"));
    mon->Clear1->trigger();
    QCOMPARE(mon->LineCount(), 0);
}

void TestPortMonitor::inputLine_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("reveals");
    QTest::newRow("query") << QStringLiteral("SWRmin?") << int(Qt::Key_Return)
                           << QByteArray("SWRmin?\r\n") << false;
    QTest::newRow("keypad enter") << QStringLiteral("T?") << int(Qt::Key_Enter)
                                  << QByteArray("T?\r\n") << false;
    QTest::newRow("empty line") << QString() << int(Qt::Key_Return) << QByteArray("\r\n") << false;
    QTest::newRow("keyword") << QStringLiteral("KAL_VIEWS") << int(Qt::Key_Return)
                             << QByteArray("KAL_VIEWS\r\n") << true;
    QTest::newRow("keyword lower case") << QStringLiteral("kal_views") << int(Qt::Key_Return)
                                        << QByteArray("kal_views\r\n") << false;
    QTest::newRow("keyword with blank") << QStringLiteral("KAL_VIEWS ") << int(Qt::Key_Return)
                                        << QByteArray("KAL_VIEWS \r\n") << false;
}

void TestPortMonitor::inputLine() {
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QByteArray, wire);
    QFETCH(bool, reveals);
    QVERIFY(f->connectPeer());
    mon->Edit1->setText(typed);
    press(key);
    QCOMPARE(f->peer.read(), wire);
    QCOMPARE(mon->LastLine(), QStringLiteral("- ") + typed);
    QCOMPARE(mon->Edit1->text(), QString());
    QCOMPARE(!f->w->Fatu1->Label6->isHidden(), reveals);
    QCOMPARE(!f->w->Fatu1->Label7->isHidden(), reveals);
    QVERIFY(f->boxes.isEmpty());
}

void TestPortMonitor::otherKeysSendNothing() {
    QVERIFY(f->connectPeer());
    const int before = mon->LineCount();
    QTest::keyClicks(mon->Edit1, QStringLiteral("B?"));
    press(Qt::Key_Tab);
    press(Qt::Key_Escape);
    QCOMPARE(mon->Edit1->text(), QStringLiteral("B?"));
    QCOMPARE(f->peer.read(150), QByteArray());
    QCOMPARE(mon->LineCount(), before);
}

void TestPortMonitor::inputOnClosedPort() {
    mon->Edit1->setText(QStringLiteral("KAL_VIEWS"));
    press(Qt::Key_Return);
    QCOMPARE(f->boxes.size(), 1); // the port's not-open error
    QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
    QCOMPARE(mon->Edit1->text(), QStringLiteral("KAL_VIEWS"));
    QCOMPARE(mon->LineCount(), 0);
    QVERIFY(f->w->Fatu1->Label6->isHidden());
    QVERIFY(f->w->Fatu1->Label7->isHidden());
    mon->Send1->trigger();
    QCOMPARE(f->boxes.size(), 2);
    QCOMPARE(mon->LineCount(), 0);
}

void TestPortMonitor::keywordRevealsForwardReading() {
    QVERIFY(f->connectPeer());
    f->receive("ATU_FWD: 12345\r\n");
    TFatu1 *atu = f->w->Fatu1;
    QCOMPARE(atu->Label7->text(), QStringLiteral("12345"));
    QVERIFY(atu->Label7->isHidden());
    mon->Edit1->setText(QStringLiteral("KAL_VIEWS"));
    press(Qt::Key_Return);
    QVERIFY(!atu->Label6->isHidden());
    QVERIFY(!atu->Label7->isHidden());
    QCOMPARE(atu->Label6->text(), QStringLiteral("FWD:"));
    QCOMPARE(atu->Label7->text(), QStringLiteral("12345"));
    // Nothing hides them again.
    mon->Edit1->setText(QStringLiteral("T?"));
    press(Qt::Key_Return);
    QVERIFY(!atu->Label7->isHidden());
}

void TestPortMonitor::probe() {
    QVERIFY(f->connectPeer());
    mon->Send1->trigger();
    QCOMPARE(f->peer.read(), QByteArray("???\r\n"));
    QCOMPARE(mon->LastLine(), QStringLiteral("- ???"));
}

void TestPortMonitor::closingOnlyHides() {
    QPointer<TForm2> guard(mon);
    mon->show();
    QVERIFY(mon->close());
    QVERIFY(guard);
    QVERIFY(mon->isHidden());
    mon->AddLine(QStringLiteral("+ still here"));
    QCOMPARE(mon->LastLine(), QStringLiteral("+ still here"));
}

void TestPortMonitor::calibrationArrows_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("right");
    QTest::addColumn<int>("expected");
    QTest::newRow("left at 0") << 0 << false << 0;
    QTest::newRow("right at 0") << 0 << true << 1;
    QTest::newRow("left at 128") << 128 << false << 127;
    QTest::newRow("right at 255") << 255 << true << 255;
    QTest::newRow("left at 255") << 255 << false << 254;
}

void TestPortMonitor::calibrationArrows() {
    QFETCH(int, start);
    QFETCH(bool, right);
    QFETCH(int, expected);
    TForm3 *cal = f->w->Form3;
    cal->TrackBar1->setValue(start);
    (right ? cal->Button2 : cal->Button1)->click();
    QCOMPARE(cal->TrackBar1->value(), expected);
}

void TestPortMonitor::calibrationLayoutAndPassiveButtons() {
    TForm3 *cal = f->w->Form3;
    QCOMPARE(cal->windowTitle(), QStringLiteral("Calibration"));
    QVERIFY(cal->isHidden());
    QCOMPARE(cal->size(), QSize(452, 201));
    QCOMPARE(cal->TrackBar1->minimum(), 0);
    QCOMPARE(cal->TrackBar1->maximum(), 255);
    QCOMPARE(cal->TrackBar1->value(), 0);
    QCOMPARE(cal->TrackBar1->tickInterval(), 5);
    QCOMPARE(
        cal->Memo1->toPlainText().split(QLatin1Char('\n')),
        (QStringList{QStringLiteral("     To calibrate  Power  Regulation, switch on PTT and set "),
                     QStringLiteral("     Output Power to 500W or 1000W using  ALC regulation."),
                     QStringLiteral("     Next switch PTT off and click on the proper button (500"),
                     QStringLiteral("     or 1000W).")}));
    QCOMPARE(cal->Button3->text(), QStringLiteral("500W"));
    QCOMPARE(cal->Button4->text(), QStringLiteral("1000W"));
    QCOMPARE(cal->Button1->geometry(), QRect(8, 104, 27, 33));
    QCOMPARE(cal->Button2->geometry(), QRect(416, 104, 25, 33));
    // Tab order: slider, arrows, power buttons, instructions.
    const QList<QWidget *> controls{cal->TrackBar1, cal->Button1, cal->Button2,
                                    cal->Button3,   cal->Button4, cal->Memo1};
    QList<QWidget *> order;
    QWidget *at = cal->TrackBar1;
    do {
        if (controls.contains(at))
            order.append(at);
        at = at->nextInFocusChain();
    } while (at != cal->TrackBar1 && order.size() < controls.size());
    QCOMPARE(order, controls);
    // The power buttons do nothing: no window opens, nothing is logged.
    cal->TrackBar1->setValue(42);
    cal->Button3->click();
    cal->Button4->click();
    QCOMPARE(cal->TrackBar1->value(), 42);
    QCOMPARE(f->w->Form2->LineCount(), 0);
    QVERIFY(f->boxes.isEmpty());
}

QTEST_MAIN(TestPortMonitor)
#include "tst_portmonitor.moc"
