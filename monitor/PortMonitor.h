// SPDX-License-Identifier: GPL-3.0-or-later
// The port monitor: the log of every line sent and received, a frozen view,
// an input line that sends to the amplifier, the probe and saving the log.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class AmpLink;
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

class PortMonitor : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortMonitor)
public:
    explicit PortMonitor(AmpLink &link, QWidget *parent = nullptr);

    AmpLink &Link;

    // ---- The log -----------------------------------------------------------
    // Adds one entry to the live log; the entry becomes its last line. The
    // change handler runs at once; the entry reaches the text with the others
    // of the same moment, in one insert, when control returns to the event
    // loop, or with those of the same second while the monitor is not on
    // show (or earlier, when the log is shown or emptied).
    void AddEntry(const QString &entry);
    // Moves the entries not yet in the text into it.
    void FlushLog();
    // Empties the live log (a change: the change handler runs).
    void ClearLog();
    // The live log's lines, first to last (empty for an empty log).
    QStringList Lines() const;
    // Number of lines of the live log, without reading it.
    int LineCount() const;

Q_SIGNALS:
    // The log changed: its last line is a sent one (it begins with "-") or
    // not. The main window's traffic lamps follow it.
    void TrafficLogged(bool sent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
    void TextChanged(QPlainTextEdit *view);
    // Runs on every change of either view: flips a traffic lamp by the live
    // log's last line, and empties a log of more than 1000 lines.
    void LogChanged();
    // "Autoscroll" checked: the live log; unchecked: a snapshot of it.
    void SetFrozen(bool frozen);
    // "Clear": empties the live log and the snapshot.
    void ClearBoth();
    // The input line: Return and the keypad's Enter send its text.
    void InputKey(int key);
    void SendProbe();
    void SaveLog();

    QPlainTextEdit *liveLog = nullptr;  // Memo1
    QPlainTextEdit *snapshot = nullptr; // Memo2
    QCheckBox *autoscrollBox = nullptr; // CheckBox1
    QLineEdit *inputLine = nullptr;     // Edit1
    QMenu *logMenu = nullptr;           // PopupMenu1

    // Lines of the live log after those in its text. Only ever non-empty
    // while the text is not, so emptying the text is a change that also
    // drops them.
    QStringList pending;
    // The live log's last line, kept as entries come and as it is emptied.
    QString lastLine;
    QTimer *flushTimer = nullptr;
    bool flushing = false;
    bool fontsSet = false;
};
