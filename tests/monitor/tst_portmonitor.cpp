// SPDX-License-Identifier: GPL-3.0-or-later
// The port monitor: log lines and the traffic lamps, the 1000-line and the
// 500-line emptying, batching into the text, freezing, saving, the input line
// and the probe.
#include "tests/common/PanelFixture.h"

#include "widgets/Fonts.h"
#include "widgets/LedLamp.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <sys/stat.h>

class TestPortMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        f = std::make_unique<PanelFixture>(true);
        mon = f->monitorWindow();
        oldCwd = QDir::currentPath();
    }
    void cleanup() {
        QDir::setCurrent(oldCwd);
        f.reset();
    }

    void entryLines_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("plain") << "+ O: 850" << QStringList{QStringLiteral("+ O: 850")};
        QTest::newRow("query echo") << "- B?\r\n" << QStringList{QStringLiteral("- B?"), QString()};
        QTest::newRow("empty") << QString() << QStringList{QString()};
        QTest::newRow("lone CR and LF")
            << "a\rb\nc" << QStringLiteral("a,b,c").split(QLatin1Char(','));
        const QString latin = QString::fromLatin1("+ x\0y\xB5\xFF", 7);
        QTest::newRow("NUL and high bytes") << latin << QStringList{latin};
    }

    void entryLines() {
        QFETCH(QString, entry);
        QFETCH(QStringList, lines);
        QCOMPARE(EntryLines(entry), lines);
        if (entry.isEmpty())
            return; // one empty line cannot be told from an empty log
        mon->AddEntry(entry);
        QCOMPARE(mon->Lines(), lines);
        QCOMPARE(mon->Lines().last(), lines.last());
    }

    void lampsFollowLastLine_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("txFlips");
        QTest::newRow("sent") << "- ATU_STATE: 1" << true;
        QTest::newRow("received") << "+ O: 850" << false;
        QTest::newRow("query echo ends empty") << "- B?\r\n" << false;
        QTest::newRow("conversion error") << "****** Band conversion error" << false;
    }

    void lampsFollowLastLine() {
        QFETCH(QString, entry);
        QFETCH(bool, txFlips);
        const bool tx0 = tx()->Value(), rx0 = rx()->Value();
        mon->AddEntry(entry);
        QCOMPARE(tx()->Value(), txFlips ? !tx0 : tx0);
        QCOMPARE(rx()->Value(), txFlips ? rx0 : !rx0);
        mon->AddEntry(entry);
        QCOMPARE(tx()->Value(), tx0);
        QCOMPARE(rx()->Value(), rx0);
    }

    void emptiedAboveThousandLines() {
        for (int i = 1; i <= 999; ++i)
            mon->AddEntry(QStringLiteral("+ O: %1").arg(i));
        mon->AddEntry(QStringLiteral("- B: 3"));
        QCOMPARE(mon->LineCount(), 1000); // exactly 1000 stays
        QCOMPARE(mon->Lines().last(), QStringLiteral("- B: 3"));
        const bool tx0 = tx()->Value(), rx0 = rx()->Value();
        mon->AddEntry(QStringLiteral("- B: 4"));
        QCOMPARE(mon->Lines(), QStringList());
        // The sent line flipped TxD; the emptying was one more change, of RxD.
        QCOMPARE(tx()->Value(), !tx0);
        QCOMPARE(rx()->Value(), !rx0);
        mon->AddEntry(QStringLiteral("+ T: 35"));
        QCOMPARE(mon->Lines(), QStringList{QStringLiteral("+ T: 35")});
    }

    // The monitor is emptied as a chunk arrives when it holds more than 500 lines.
    void emptiedAbove500AsAChunkArrives() {
        for (int i = 0; i < 500; ++i)
            f->main->Link.Log(QStringLiteral("x"));
        f->receive("LB\r\n");
        QCOMPARE(mon->LineCount(), 501); // 500 is not above the limit
        f->receive("LB\r\n");
        QCOMPARE(mon->Lines(), QStringList{QStringLiteral("+ LB")});
    }

    void entriesReachTheTextTogether() {
        QTextDocument *doc = f->mon.Memo1->document();
        mon->AddEntry(QStringLiteral("+ O: 1"));
        QCOMPARE(doc->toPlainText(), QStringLiteral("+ O: 1"));
        QSignalSpy changes(doc, &QTextDocument::contentsChange);
        mon->AddEntry(QStringLiteral("+ O: 2"));
        mon->AddEntry(QStringLiteral("- T?\r\n"));
        // The log has them at once; the text gets them in one change at the
        // next turn of the event loop.
        const QStringList all{QStringLiteral("+ O: 1"), QStringLiteral("+ O: 2"),
                              QStringLiteral("- T?"), QString()};
        QCOMPARE(mon->Lines(), all);
        QCOMPARE(mon->LineCount(), 4);
        QCOMPARE(changes.size(), 0);
        QTRY_COMPARE(changes.size(), 1);
        QCOMPARE(doc->toPlainText().split(QLatin1Char('\n')), all);
        // A log not on show lays out none of the lines that came together,
        // nor the line they follow.
        QVERIFY(mon->isHidden());
        QCOMPARE_NE(f->mon.Memo1->font(), SubstituteFontPixels(QStringLiteral("Courier New"), 13));
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            QCOMPARE(b.layout()->lineCount(), 0);
        QCOMPARE(mon->Lines(), all);

        // Clearing the text drops lines still waiting; emptying the log passes
        // them through the text first.
        mon->AddEntry(QStringLiteral("+ O: 3"));
        f->mon.Memo1->clear();
        QCOMPARE(mon->Lines(), QStringList());
        mon->AddEntry(QStringLiteral("+ O: 4"));
        mon->AddEntry(QStringLiteral("+ O: 5"));
        QStringList seen;
        connect(doc, &QTextDocument::contentsChange, this, [&] {
            if (!doc->isEmpty())
                seen = doc->toPlainText().split(QLatin1Char('\n'));
        });
        mon->ClearLog();
        QCOMPARE(seen, (QStringList{QStringLiteral("+ O: 4"), QStringLiteral("+ O: 5")}));
        QCOMPARE(mon->LineCount(), 0);
        disconnect(doc, nullptr, this, nullptr);
        // The logs' fonts come with the first show; neither log takes typing.
        QVERIFY(f->mon.Memo1->isReadOnly() && f->mon.Memo2->isReadOnly());
        mon->show();
        QCOMPARE(f->mon.Memo1->font(), SubstituteFontPixels(QStringLiteral("Courier New"), 13));
        QCOMPARE(f->mon.Memo2->font(),
                 SubstituteFontPixels(QStringLiteral("Terminal_Ctrl+Hex"), 16));
        mon->hide();
    }

    void freezeAndUnfreeze() {
        for (int i = 0; i < 5; ++i)
            mon->AddEntry(QStringLiteral("+ O: %1").arg(i));
        mon->AddEntry(QStringLiteral("- B: 3"));
        const QStringList frozen = mon->Lines();
        // Filling the snapshot is a change too, judged by the live log's last
        // line, a sent one here.
        const bool tx0 = tx()->Value();
        f->mon.CheckBox1->click();
        QCOMPARE(tx()->Value(), !tx0);
        QVERIFY(f->mon.Memo1->isHidden() && !f->mon.Memo2->isHidden());
        QCOMPARE(snapshot(), frozen);
        QVERIFY(f->mon.Memo2->textCursor().atEnd());
        for (int i = 0; i < 20; ++i)
            mon->AddEntry(QStringLiteral("- B: %1").arg(i));
        QCOMPARE(snapshot(), frozen);   // the view does not move
        QCOMPARE(mon->LineCount(), 26); // the live log keeps filling
        f->mon.CheckBox1->click();
        QVERIFY(!f->mon.Memo1->isHidden() && f->mon.Memo2->isHidden());
        QCOMPARE(mon->Lines().size(), 26);
        QCOMPARE(mon->Lines().last(), QStringLiteral("- B: 19"));
        // "Clear" empties both views.
        f->mon.CheckBox1->click();
        f->mon.Button2->click();
        QCOMPARE(mon->LineCount(), 0);
        QCOMPARE(snapshot(), QStringList());
    }

    void saveWhileFrozenWritesLiveLog() {
        QVERIFY(QDir::setCurrent(f->dir.path()));
        mon->AddEntry(QStringLiteral("+ O: 850"));
        f->mon.CheckBox1->click(); // freeze
        mon->AddEntry(QStringLiteral("- T?\r\n"));
        mon->AddEntry(QString::fromLatin1("+ L: 1.2 \xB5H\0!", 13));
        QCOMPARE(f->mon.Savealltofile1->text(), QStringLiteral("Save all to file"));
        f->mon.Savealltofile1->trigger();
        QVERIFY(f->boxes.isEmpty());
        QFile saved(f->dir.filePath(QStringLiteral("PortMonitor.txt")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("+ O: 850\r\n- T?\r\n\r\n+ L: 1.2 \xB5H\0!\r\n", 33));
    }

    void savePermissions_data() {
        QTest::addColumn<int>("fileMode"); // 0: no file; -1: a folder in its place
        QTest::addColumn<bool>("folderReadOnly");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("inPlace"); // the same file written over
        QTest::newRow("writable file, writable folder") << 0644 << false << true << false;
        QTest::newRow("writable file, read-only folder") << 0644 << true << true << true;
        QTest::newRow("read-only file") << 0444 << false << false << false;
        QTest::newRow("read-only file, read-only folder") << 0444 << true << false << false;
        QTest::newRow("no file, read-only folder") << 0 << true << false << false;
        QTest::newRow("a folder in its place") << -1 << false << false << false;
    }

    void savePermissions() {
        QFETCH(int, fileMode);
        QFETCH(bool, folderReadOnly);
        QFETCH(bool, saved);
        QFETCH(bool, inPlace);
        const QString folder = f->dir.filePath(QStringLiteral("logs"));
        const QString path = folder + QStringLiteral("/PortMonitor.txt");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir::setCurrent(folder));
        const QByteArray old(4096, 'x'); // longer than the log: no tail may remain
        if (fileMode > 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
            file.close();
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(fileMode)) == 0);
        } else if (fileMode < 0) {
            QVERIFY(QDir(folder).mkdir(QStringLiteral("PortMonitor.txt")));
        }
        struct stat before {};
        ::stat(QFile::encodeName(path).constData(), &before);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), folderReadOnly ? 0555 : 0755) == 0);
        mon->AddEntry(QStringLiteral("+ O: 850"));
        mon->AddEntry(QStringLiteral("- B: 3"));
        const QStringList lines = mon->Lines();
        f->mon.Savealltofile1->trigger();
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QCOMPARE(mon->Lines(), lines); // the log is untouched either way
        // Nothing else is left in the folder (no temporary file).
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 fileMode == 0 && !saved ? QStringList()
                                         : QStringList{QStringLiteral("PortMonitor.txt")});
        if (fileMode < 0 || (fileMode == 0 && !saved)) {
            QCOMPARE(f->boxes.size(), 1);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), saved ? QByteArray("+ O: 850\r\n- B: 3\r\n") : old);
            struct stat after {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
            QCOMPARE(int(after.st_mode & 0777), fileMode);
            if (saved)
                QCOMPARE(after.st_ino == before.st_ino, inPlace);
            QCOMPARE(f->boxes.size(), saved ? 0 : 1);
        }
        if (saved)
            return;
        // The operator learns which file failed and why.
        QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
        QCOMPARE(f->boxes[0].title, QStringLiteral("Error"));
        const QString text = f->boxes[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("Could not save the log to \"") + path +
                                 QStringLiteral("\":\n")),
                 qPrintable(text));
        const QString reason = text.section(QStringLiteral("\":"), 1).trimmed();
        QVERIFY2(reason.size() > 3, qPrintable(text));
        if (fileMode == 0444)
            QCOMPARE(reason, QStringLiteral("The file is read-only."));
        if (fileMode == 0)
            QCOMPARE(reason, QStringLiteral("The folder is read-only."));
    }

    void inputLine_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<bool>("reveals");
        const int ret = Qt::Key_Return;
        QTest::newRow("query") << "SWRmin?" << ret << QByteArray("SWRmin?\r\n") << false;
        QTest::newRow("keypad enter")
            << "T?" << int(Qt::Key_Enter) << QByteArray("T?\r\n") << false;
        QTest::newRow("tab") << "T?" << int(Qt::Key_Tab) << QByteArray() << false;
        QTest::newRow("escape") << "T?" << int(Qt::Key_Escape) << QByteArray() << false;
        QTest::newRow("empty line") << QString() << ret << QByteArray("\r\n") << false;
        QTest::newRow("keyword") << "KAL_VIEWS" << ret << QByteArray("KAL_VIEWS\r\n") << true;
        QTest::newRow("lower case") << "kal_views" << ret << QByteArray("kal_views\r\n") << false;
        QTest::newRow("with blank") << "KAL_VIEWS " << ret << QByteArray("KAL_VIEWS \r\n") << false;
    }

    void inputLine() {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QByteArray, wire);
        QFETCH(bool, reveals);
        QVERIFY(f->connectPeer());
        const int lines = mon->LineCount();
        f->mon.Edit1->setText(typed);
        QTest::keyClick(f->mon.Edit1, Qt::Key(key));
        QCOMPARE(f->peer.read(wire.isEmpty() ? 150 : 300), wire);
        if (wire.isEmpty()) {
            QCOMPARE(mon->LineCount(), lines);
            QCOMPARE(f->mon.Edit1->text(), typed);
        } else {
            QCOMPARE(mon->Lines().last(), QStringLiteral("- ") + typed);
            QCOMPARE(f->mon.Edit1->text(), QString());
        }
        QCOMPARE(!f->atu.Label6->isHidden(), reveals);
        QCOMPARE(!f->atu.Label7->isHidden(), reveals);
        QVERIFY(f->boxes.isEmpty());
    }

    void inputOnClosedPort() {
        f->mon.Edit1->setText(QStringLiteral("KAL_VIEWS"));
        QTest::keyClick(f->mon.Edit1, Qt::Key_Return);
        QCOMPARE(f->boxes.size(), 1); // the port's not-open error
        QCOMPARE(f->boxes[0].icon, Runtime::MsgIcon::Error);
        QCOMPARE(f->mon.Edit1->text(), QStringLiteral("KAL_VIEWS"));
        QVERIFY(f->atu.Label7->isHidden());
        f->mon.Send1->trigger();
        QCOMPARE(f->boxes.size(), 2);
        QCOMPARE(mon->LineCount(), 0);
    }

    void probe() {
        QVERIFY(f->connectPeer());
        QCOMPARE(f->mon.Send1->text(), QStringLiteral("Send ???"));
        f->mon.Send1->trigger();
        QCOMPARE(f->peer.read(), QByteArray("???\r\n"));
        QCOMPARE(mon->Lines().last(), QStringLiteral("- ???"));
    }

private:
    QStringList snapshot() const {
        const QString text = f->mon.Memo2->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    TLedLamp *tx() const { return f->ui.txled; }
    TLedLamp *rx() const { return f->ui.rxLED; }
    std::unique_ptr<PanelFixture> f;
    PortMonitor *mon = nullptr;
    QString oldCwd;
};

QTEST_MAIN(TestPortMonitor)
#include "tst_portmonitor.moc"
