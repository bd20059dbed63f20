// The port monitor: the log of every line sent and received, a frozen view,
// an input line that sends to the amplifier, the probe and saving the log.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class AmpLink;
class TFatu1;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

// The save file's name; relative, so it lies in the current directory.
inline const QString PortMonitorFileName = QStringLiteral("PortMonitor.txt");

// The save file's bytes: every line in Latin-1, each ended by CR LF.
QByteArray PortMonitorFileBytes(const QStringList &lines);

// Writes lines to path, replacing an existing file only once the new one is
// complete. A read-only file is refused; in a read-only folder an existing
// writable file is written in place. Returns an empty string on success,
// else the reason.
QString SavePortMonitorLog(const QString &path, const QStringList &lines);

// An entry as log lines: split at CR LF (and at a lone CR or LF), so an
// entry ending in CR LF is followed by an empty line.
QStringList EntryLines(const QString &entry);

class TForm2 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm2)
public:
    explicit TForm2(AmpLink &link, QWidget *parent = nullptr);

    AmpLink &Link;
    // The ATU panel, whose calibration labels KAL_VIEWS shows; set once it exists.
    TFatu1 *Fatu1 = nullptr;

    // ---- Controls ----------------------------------------------------------
    QPlainTextEdit *Memo1 = nullptr;             // live log
    QPlainTextEdit *Memo2 = nullptr;             // frozen snapshot
    QWidget *Panel1 = nullptr;                   // bottom panel
    QCheckBox *CheckBox1 = nullptr;              // "Autoscroll"
    QLineEdit *Edit1 = nullptr;                  // input line
    QPushButton *Button2 = nullptr;              // "Clear"
    QLabel *Label1 = nullptr, *Label2 = nullptr; // the two notes
    QMenu *PopupMenu1 = nullptr;
    QAction *Clear1 = nullptr, *Send1 = nullptr, *Savealltofile1 = nullptr;

    // ---- The log -----------------------------------------------------------
    // Adds one entry to the live log; the entry becomes its last line. The
    // change handler runs at once; the entry reaches Memo1's document with
    // the others of the same moment, in one insert, when control returns to
    // the event loop (or earlier, when the log is shown or emptied).
    void AddLine(const QString &entry);
    // Moves the entries not yet in Memo1's document into it.
    void FlushLog();
    // Empties the live log (a change: the change handler runs).
    void ClearLog();
    // The live log's lines, first to last (empty for an empty log).
    QStringList Lines() const;
    // Number of lines of the live log, without reading it.
    int LineCount() const;
    // The last line of the live log ("" for an empty log).
    QString LastLine() const;
    // The frozen view's lines.
    QStringList SnapshotLines() const;

    // ---- Handlers ----------------------------------------------------------
    void Memo1Change();
    void CheckBox1Click();
    void Clear1Click();
    // key: the Qt key code; Return and the keypad's Enter act.
    void Edit1KeyDown(int key);
    void Send1Click();
    void Savealltofile1Click();

Q_SIGNALS:
    // An entry became the log's last line: sent (it begins with "-") or not.
    // The main window's traffic lamps follow it.
    void TrafficLogged(bool sent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
    void MemoChanged(QPlainTextEdit *memo);

    // Lines of the live log after those in Memo1's document. Only ever
    // non-empty while the document is not, so emptying the document is a
    // change that also drops them.
    QStringList m_pending;
    QTimer *m_flushTimer = nullptr;
    bool m_flushing = false;
};
