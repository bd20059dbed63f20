// SPDX-License-Identifier: GPL-3.0-or-later
// The port monitor. The log is the text of the live view followed by the
// lines not yet moved into it; appending and the change handler touch only its
// end, so a full log costs no more per entry than an empty one, and the
// entries of one burst of traffic are laid out as text once, together.
#include "monitor/PortMonitor.h"

#include "link/AmpLink.h"
#include "link/Protocol.h"
#include "widgets/Fonts.h"
#include "widgets/Runtime.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <unistd.h>

namespace {
constexpr int MaxLines = 1000;
constexpr int HiddenFlushMs = 1000;
constexpr int BottomPanelHeight = 71;

// Without its font: see PortMonitor::showEvent.
QPlainTextEdit *NewMemo(QWidget *parent, const char *name) {
    auto *m = new QPlainTextEdit(parent);
    m->setObjectName(QLatin1String(name));
    m->setReadOnly(true);
    m->setUndoRedoEnabled(false);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m->setContextMenuPolicy(Qt::CustomContextMenu);
    return m;
}
} // namespace

QByteArray PortMonitorFileBytes(const QStringList &lines) {
    QByteArray out;
    for (const QString &line : lines) {
        out += Protocol::ToLine(line);
        out += Protocol::CrLf;
    }
    return out;
}

namespace {
// Whether the permission bits let this process write: those of the owner,
// the group or the others, whichever class the process falls in. The
// superuser passes every access check, so the bits are read here to keep
// a file or folder marked read-only as it is, whoever runs the program.
bool ModeAllowsWrite(const QFileInfo &info) {
    const QFileDevice::Permissions p = info.permissions();
    if (info.ownerId() == uint(geteuid()))
        return p.testFlag(QFileDevice::WriteOwner);
    bool inGroup = info.groupId() == uint(getegid());
    gid_t groups[256];
    const int n = getgroups(256, groups);
    for (int i = 0; i < n && !inGroup; ++i)
        inGroup = info.groupId() == uint(groups[i]);
    return p.testFlag(inGroup ? QFileDevice::WriteGroup : QFileDevice::WriteOther);
}

bool MayWrite(const QFileInfo &info) {
    return info.isWritable() && ModeAllowsWrite(info);
}
} // namespace

QString SavePortMonitorLog(const QString &path, const QStringList &lines) {
    const QFileInfo target(path);
    if (target.exists() && !target.isDir() && !MayWrite(target))
        return QStringLiteral("The file is read-only.");
    const QByteArray bytes = PortMonitorFileBytes(lines);
    const QFileInfo folder(target.absolutePath());
    if (!MayWrite(folder)) {
        // No new file may be made in a read-only folder: an existing file
        // that may be written is written in place, else nothing is saved.
        if (!target.exists())
            return QStringLiteral("The folder is read-only.");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file.errorString();
        if (file.write(bytes) != bytes.size() || !file.flush())
            return file.errorString();
        return QString();
    }
    // The new log goes to a temporary file that replaces the old one only
    // once it is complete: a failed save leaves the old file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

QStringList EntryLines(const QString &entry) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < entry.size(); ++i) {
        const QChar ch = entry.at(i);
        if (ch != QLatin1Char('\r') && ch != QLatin1Char('\n'))
            continue;
        lines.append(entry.mid(start, i - start));
        if (ch == QLatin1Char('\r') && i + 1 < entry.size() && entry.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    // Most entries are one line: that one shares the entry's text.
    lines.append(start == 0 ? entry : entry.mid(start));
    return lines;
}

PortMonitor::PortMonitor(AmpLink &link, QWidget *parent) : QMainWindow(parent), Link(link) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Port Monitor"));
    // A service window: closing it only hides it, and never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    CreateControls();
    resize(306, 513);
    flushTimer = new QTimer(this);
    flushTimer->setSingleShot(true);
    connect(flushTimer, &QTimer::timeout, this, [this] { FlushLog(); });
    // Every entry the link logs; as a chunk arrives, a long log is emptied first.
    connect(&Link, &AmpLink::EntryLogged, this, &PortMonitor::AddEntry);
    connect(&Link, &AmpLink::ChunkArrived, this, [this] {
        if (LineCount() > AmpLink::MonitorLineLimit)
            ClearLog();
    });
}

void PortMonitor::CreateControls() {
    auto *client = new QWidget(this);
    setCentralWidget(client);
    auto *column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The two memos share one place; only one is visible at a time.
    auto *memoArea = new QWidget(client);
    auto *stack = new QVBoxLayout(memoArea);
    stack->setContentsMargins(0, 0, 0, 0);
    liveLog = NewMemo(memoArea, "Memo1");
    snapshot = NewMemo(memoArea, "Memo2");
    stack->addWidget(liveLog);
    stack->addWidget(snapshot);
    snapshot->hide();
    column->addWidget(memoArea, 1);

    auto *bottom = new QWidget(client);
    bottom->setObjectName(QStringLiteral("Panel1"));
    bottom->setFixedHeight(BottomPanelHeight);
    column->addWidget(bottom);
    const QFont small = SubstituteFontPixels(QStringLiteral("MS Sans Serif"), 11);
    bottom->setFont(small);

    // Three rows: the check box and the first note; the input line and
    // "Clear"; the second note.
    autoscrollBox = new QCheckBox(QStringLiteral("Autoscroll"), bottom);
    autoscrollBox->setObjectName(QStringLiteral("CheckBox1"));
    autoscrollBox->setGeometry(8, 4, 97, 17);
    autoscrollBox->setChecked(true);
    inputLine = new QLineEdit(bottom);
    inputLine->setObjectName(QStringLiteral("Edit1"));
    inputLine->setGeometry(8, 25, 129, 21);
    auto *clearButton = new QPushButton(QStringLiteral("Clear"), bottom);
    clearButton->setObjectName(QStringLiteral("Button2"));
    clearButton->setGeometry(144, 24, 65, 23);
    auto *sentNote = new QLabel(QStringLiteral("Lines with '-'  - sent to PA"), bottom);
    sentNote->setObjectName(QStringLiteral("Label1"));
    sentNote->move(112, 6);
    sentNote->adjustSize();
    auto *receivedNote = new QLabel(QStringLiteral("Lines with '+' - received from PA"), bottom);
    receivedNote->setObjectName(QStringLiteral("Label2"));
    receivedNote->move(112, 51);
    receivedNote->adjustSize();

    logMenu = new QMenu(this);
    logMenu->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *clearAction = logMenu->addAction(QStringLiteral("Clear"));
    clearAction->setObjectName(QStringLiteral("Clear1"));
    logMenu->addSeparator();
    QAction *probeAction = logMenu->addAction(QStringLiteral("Send ???"));
    probeAction->setObjectName(QStringLiteral("Send1"));
    logMenu->addSeparator();
    QAction *saveAction = logMenu->addAction(QStringLiteral("Save all to file"));
    saveAction->setObjectName(QStringLiteral("Savealltofile1"));

    for (QPlainTextEdit *view : {liveLog, snapshot}) {
        connect(view, &QPlainTextEdit::textChanged, this,
                [this, view] { Runtime::Guarded([this, view] { TextChanged(view); }); });
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint &pos) { logMenu->popup(view->mapToGlobal(pos)); });
    }
    connect(autoscrollBox, &QCheckBox::toggled, this,
            [this](bool on) { Runtime::Guarded([this, on] { SetFrozen(!on); }); });
    connect(clearButton, &QPushButton::clicked, this,
            [this] { Runtime::Guarded([this] { ClearBoth(); }); });
    connect(clearAction, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { ClearBoth(); }); });
    connect(probeAction, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { SendProbe(); }); });
    connect(saveAction, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { SaveLog(); }); });
    inputLine->installEventFilter(this);
}

bool PortMonitor::eventFilter(QObject *watched, QEvent *event) {
    if (watched == inputLine && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        Runtime::Guarded([this, key] { InputKey(key); });
        // Return is the window's; every other key is the input line's.
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    return QMainWindow::eventFilter(watched, event);
}

void PortMonitor::showEvent(QShowEvent *event) {
    // The logs' fonts come with the first show: a monitor never opened loads
    // neither font (a few hundred kilobytes of the panel's memory).
    if (!fontsSet) {
        fontsSet = true;
        liveLog->setFont(SubstituteFontPixels(QStringLiteral("Courier New"), 13));
        snapshot->setFont(SubstituteFontPixels(QStringLiteral("Terminal_Ctrl+Hex"), 16));
    }
    FlushLog();
    liveLog->moveCursor(QTextCursor::End);
    QMainWindow::showEvent(event);
}

// ---- The log -------------------------------------------------------------------

void PortMonitor::AddEntry(const QString &entry) {
    const QStringList lines = EntryLines(entry);
    lastLine = lines.last();
    QTextDocument *doc = liveLog->document();
    if (pending.isEmpty() && doc->isEmpty()) {
        // The first entry of an empty log goes straight into the document
        // (its change runs the change handler), so lines wait only behind
        // a document that has text.
        QTextCursor cursor(doc);
        // One edit block: one change, however many lines the entry has.
        cursor.beginEditBlock();
        bool first = true;
        for (const QString &line : lines) {
            if (!first)
                cursor.insertBlock();
            first = false;
            cursor.insertText(line);
        }
        cursor.endEditBlock();
        liveLog->moveCursor(QTextCursor::End);
        return;
    }
    pending += lines;
    // A log on show takes the lines at the next turn of the event loop; one
    // not on show takes those of a second in one insert, which costs the
    // document far less than an insert for each report.
    if (!flushTimer->isActive())
        flushTimer->start(isVisible() ? 0 : HiddenFlushMs);
    // The change handler runs once per entry, as for any single change of the log.
    Runtime::Guarded([this] { LogChanged(); });
}

void PortMonitor::FlushLog() {
    flushTimer->stop();
    if (pending.isEmpty())
        return;
    QTextDocument *doc = liveLog->document();
    QString text = pending.join(QLatin1Char('\n'));
    if (!doc->isEmpty())
        text.prepend(QLatin1Char('\n'));
    pending.clear();
    // These lines have run the change handler already, one by one.
    flushing = true;
    // Inside an edit block the cursor does not lay out the line it moves to
    // or writes to in order to place itself: nothing is laid out until the
    // log is on show.
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    cursor.endEditBlock();
    flushing = false;
    // The live view follows the end of the log. Scrolling lays out the
    // lines of a whole view, so a view not on show catches up when shown.
    if (liveLog->isVisible())
        liveLog->moveCursor(QTextCursor::End);
}

void PortMonitor::ClearLog() {
    // Every line passes through the document before it goes.
    FlushLog();
    liveLog->clear();
}

void PortMonitor::TextChanged(QPlainTextEdit *view) {
    if (view == liveLog) {
        if (flushing)
            return;
        if (liveLog->document()->isEmpty()) {
            pending.clear();
            lastLine.clear();
        }
    }
    LogChanged();
}

int PortMonitor::LineCount() const {
    const QTextDocument *doc = liveLog->document();
    return (doc->isEmpty() ? 0 : doc->blockCount()) + int(pending.size());
}

QStringList PortMonitor::Lines() const {
    QStringList lines;
    const QTextDocument *doc = liveLog->document();
    if (!doc->isEmpty()) {
        lines.reserve(doc->blockCount() + pending.size());
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            lines.append(b.text());
    }
    lines += pending;
    return lines;
}

// ---- Handlers ------------------------------------------------------------------

void PortMonitor::LogChanged() {
    // The traffic lamps blink with the log: a sent line flips TxD, anything
    // else (a received line, an empty line, an empty log) flips RxD.
    Q_EMIT TrafficLogged(lastLine.startsWith(QLatin1Char('-')));
    // Emptying is itself a change and runs this handler once more.
    if (LineCount() > MaxLines)
        ClearLog();
}

void PortMonitor::SetFrozen(bool frozen) {
    if (!frozen) {
        FlushLog();
        snapshot->hide();
        liveLog->show();
        liveLog->moveCursor(QTextCursor::End);
        return;
    }
    snapshot->setPlainText(Lines().join(QLatin1Char('\n')));
    snapshot->show();
    liveLog->hide();
    snapshot->moveCursor(QTextCursor::End);
}

void PortMonitor::ClearBoth() {
    ClearLog();
    snapshot->clear();
}

void PortMonitor::InputKey(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    // A line the port did not take keeps its text (the link shows why) and
    // the keyword reveals nothing.
    if (Link.SendTypedLine(Protocol::ToLine(inputLine->text())))
        inputLine->clear();
}

void PortMonitor::SendProbe() {
    // Through the gate, as the operator's own line.
    Link.SendTypedLine(Protocol::Probe);
}

void PortMonitor::SaveLog() {
    const QString reason = SavePortMonitorLog(PortMonitorFileName, Lines());
    if (reason.isEmpty())
        return;
    // The log itself is untouched; the operator learns which file failed and why.
    Runtime::ShowMessage(
        QStringLiteral("Could not save the log to \"%1\":\n%2")
            .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(PortMonitorFileName)),
                 reason),
        QStringLiteral("Error"), Runtime::MsgIcon::Error, this);
}
