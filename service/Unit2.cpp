// The port monitor. The log is the document of Memo1 followed by the lines
// not yet moved into it; appending and the change handler touch only its
// end, so a full log costs no more per entry than an empty one, and the
// entries of one burst of traffic are laid out as text once, together.
#include "service/Unit2.h"

#include "atu/atu1.h"
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
constexpr int BottomPanelHeight = 71;

QPlainTextEdit *NewMemo(QWidget *parent, const char *name, const QFont &font) {
    auto *m = new QPlainTextEdit(parent);
    m->setObjectName(QLatin1String(name));
    m->setReadOnly(true);
    m->setUndoRedoEnabled(false);
    m->setFont(font);
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

TForm2::TForm2(AmpLink &link, QWidget *parent) : QMainWindow(parent), Link(link) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Port Monitor"));
    // A service window: closing it only hides it, and never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    CreateControls();
    resize(306, 513);
    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(0);
    connect(m_flushTimer, &QTimer::timeout, this, [this] { FlushLog(); });
    // Every entry the link logs; as a chunk arrives, a long log is emptied first.
    connect(&Link, &AmpLink::EntryLogged, this, &TForm2::AddLine);
    connect(&Link, &AmpLink::ChunkArrived, this, [this] {
        if (LineCount() > AmpLink::MonitorLineLimit)
            ClearLog();
    });
}

void TForm2::CreateControls() {
    auto *client = new QWidget(this);
    setCentralWidget(client);
    auto *column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The two memos share one place; only one is visible at a time.
    auto *memoArea = new QWidget(client);
    auto *stack = new QVBoxLayout(memoArea);
    stack->setContentsMargins(0, 0, 0, 0);
    Memo1 = NewMemo(memoArea, "Memo1", SubstituteFontPixels(QStringLiteral("Courier New"), 13));
    Memo2 =
        NewMemo(memoArea, "Memo2", SubstituteFontPixels(QStringLiteral("Terminal_Ctrl+Hex"), 16));
    stack->addWidget(Memo1);
    stack->addWidget(Memo2);
    Memo2->hide();
    column->addWidget(memoArea, 1);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(BottomPanelHeight);
    column->addWidget(Panel1);
    const QFont small = SubstituteFontPixels(QStringLiteral("MS Sans Serif"), 11);
    Panel1->setFont(small);

    // Three rows: the check box and the first note; the input line and
    // "Clear"; the second note.
    CheckBox1 = new QCheckBox(QStringLiteral("Autoscroll"), Panel1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 4, 97, 17);
    CheckBox1->setChecked(true);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 25, 129, 21);
    Button2 = new QPushButton(QStringLiteral("Clear"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(144, 24, 65, 23);
    Label1 = new QLabel(QStringLiteral("Lines with '-'  - sent to PA"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(112, 6);
    Label1->adjustSize();
    Label2 = new QLabel(QStringLiteral("Lines with '+' - received from PA"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(112, 51);
    Label2->adjustSize();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Clear1 = PopupMenu1->addAction(QStringLiteral("Clear"));
    Clear1->setObjectName(QStringLiteral("Clear1"));
    PopupMenu1->addSeparator();
    Send1 = PopupMenu1->addAction(QStringLiteral("Send ???"));
    Send1->setObjectName(QStringLiteral("Send1"));
    PopupMenu1->addSeparator();
    Savealltofile1 = PopupMenu1->addAction(QStringLiteral("Save all to file"));
    Savealltofile1->setObjectName(QStringLiteral("Savealltofile1"));

    for (QPlainTextEdit *memo : {Memo1, Memo2}) {
        connect(memo, &QPlainTextEdit::textChanged, this,
                [this, memo] { Runtime::Guarded([this, memo] { MemoChanged(memo); }); });
        connect(memo, &QWidget::customContextMenuRequested, this,
                [this, memo](const QPoint &pos) { PopupMenu1->popup(memo->mapToGlobal(pos)); });
    }
    connect(CheckBox1, &QCheckBox::toggled, this,
            [this] { Runtime::Guarded([this] { CheckBox1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { Runtime::Guarded([this] { Clear1Click(); }); });
    connect(Clear1, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { Clear1Click(); }); });
    connect(Send1, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { Send1Click(); }); });
    connect(Savealltofile1, &QAction::triggered, this,
            [this] { Runtime::Guarded([this] { Savealltofile1Click(); }); });
    Edit1->installEventFilter(this);
}

bool TForm2::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        Runtime::Guarded([this, key] { Edit1KeyDown(key); });
        // Return is the window's; every other key is the input line's.
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::showEvent(QShowEvent *event) {
    FlushLog();
    Memo1->moveCursor(QTextCursor::End);
    QMainWindow::showEvent(event);
}

// ---- The log -------------------------------------------------------------------

void TForm2::AddLine(const QString &entry) {
    QTextDocument *doc = Memo1->document();
    if (m_pending.isEmpty() && doc->isEmpty()) {
        // The first entry of an empty log goes straight into the document
        // (its change runs the change handler), so lines wait only behind
        // a document that has text.
        QTextCursor cursor(doc);
        // One edit block: one change, however many lines the entry has.
        cursor.beginEditBlock();
        bool first = true;
        for (const QString &line : EntryLines(entry)) {
            if (!first)
                cursor.insertBlock();
            first = false;
            cursor.insertText(line);
        }
        cursor.endEditBlock();
        Memo1->moveCursor(QTextCursor::End);
        return;
    }
    m_pending += EntryLines(entry);
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
    // The change handler runs once per entry, as for any single change of the log.
    Runtime::Guarded([this] { Memo1Change(); });
}

void TForm2::FlushLog() {
    m_flushTimer->stop();
    if (m_pending.isEmpty())
        return;
    QTextDocument *doc = Memo1->document();
    QString text = m_pending.join(QLatin1Char('\n'));
    if (!doc->isEmpty())
        text.prepend(QLatin1Char('\n'));
    m_pending.clear();
    // These lines have run the change handler already, one by one.
    m_flushing = true;
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    m_flushing = false;
    // The live view follows the end of the log. Scrolling lays out the
    // lines of a whole view, so a view not on show catches up when shown.
    if (Memo1->isVisible())
        Memo1->moveCursor(QTextCursor::End);
}

void TForm2::ClearLog() {
    // Every line passes through the document before it goes.
    FlushLog();
    Memo1->clear();
}

void TForm2::MemoChanged(QPlainTextEdit *memo) {
    if (memo == Memo1) {
        if (m_flushing)
            return;
        if (Memo1->document()->isEmpty())
            m_pending.clear();
    }
    Memo1Change();
}

int TForm2::LineCount() const {
    const QTextDocument *doc = Memo1->document();
    return (doc->isEmpty() ? 0 : doc->blockCount()) + int(m_pending.size());
}

QString TForm2::LastLine() const {
    if (!m_pending.isEmpty())
        return m_pending.last();
    const QTextDocument *doc = Memo1->document();
    return doc->isEmpty() ? QString() : doc->lastBlock().text();
}

QStringList TForm2::Lines() const {
    QStringList lines;
    const QTextDocument *doc = Memo1->document();
    if (!doc->isEmpty()) {
        lines.reserve(doc->blockCount() + m_pending.size());
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            lines.append(b.text());
    }
    lines += m_pending;
    return lines;
}

QStringList TForm2::SnapshotLines() const {
    QStringList lines;
    const QTextDocument *doc = Memo2->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

// ---- Handlers ------------------------------------------------------------------

void TForm2::Memo1Change() {
    // The traffic lamps blink with the log: a sent line flips TxD, anything
    // else (a received line, an empty line, an empty log) flips RxD.
    Q_EMIT TrafficLogged(LastLine().startsWith(QLatin1Char('-')));
    // Emptying is itself a change and runs this handler once more.
    if (LineCount() > MaxLines)
        ClearLog();
}

void TForm2::CheckBox1Click() {
    if (CheckBox1->isChecked()) {
        FlushLog();
        Memo2->hide();
        Memo1->show();
        Memo1->moveCursor(QTextCursor::End);
        return;
    }
    Memo2->setPlainText(Lines().join(QLatin1Char('\n')));
    Memo2->show();
    Memo1->hide();
    Memo2->moveCursor(QTextCursor::End);
}

void TForm2::Clear1Click() {
    ClearLog();
    Memo2->clear();
}

void TForm2::Edit1KeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    const QString text = Edit1->text();
    // Sending on a closed port throws: nothing below runs, the line keeps
    // its text and the keyword reveals nothing.
    Link.Send(Protocol::ToLine(text));
    if (text == QLatin1String("KAL_VIEWS") && Fatu1) {
        Fatu1->Label6->show();
        Fatu1->Label7->show();
    }
    Edit1->clear();
}

void TForm2::Send1Click() {
    Link.Send(Protocol::Probe);
}

void TForm2::Savealltofile1Click() {
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
