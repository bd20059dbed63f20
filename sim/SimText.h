// SPDX-License-Identifier: GPL-3.0-or-later
// Byte-exact text helpers of the simulator: line framing of what the panel
// sends, escaping of raw bytes for the log and for scripts, and the log format.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTime>

namespace sim {

// Splits the received byte stream into lines. A line ends at CR; the LF that
// follows it (possibly in the next chunk) is dropped. Any other byte, NUL and
// bytes above 127 included, stays in the line.
class LineFramer {
public:
    QList<QByteArray> feed(const QByteArray &bytes);
    // Text received after the last CR, not yet a line.
    QByteArray pending() const { return m_partial; }
    void reset();

private:
    QByteArray m_partial;
    bool m_dropLf = false;
};

// Printable ASCII stays, backslash becomes "\\", CR LF TAB become "\r" "\n"
// "\t", every other byte "\xHH".
QByteArray escapeBytes(const QByteArray &bytes);
// Inverse of escapeBytes; accepts \r \n \t \0 \\ and \xHH. False on a bad escape.
bool unescapeBytes(const QByteArray &text, QByteArray *bytes);

// One log entry: "HH:MM:SS.mmm K TEXT" where K is '<' (line received from the
// panel, terminator removed), '>' (bytes written to the panel) or '#' (note);
// TEXT is escaped. An empty received line is "HH:MM:SS.mmm <" plus a blank.
enum class LogKind : char { Received = '<', Sent = '>', Note = '#' };
QByteArray logEntry(const QTime &time, LogKind kind, const QByteArray &bytes);

struct LogRecord {
    QTime time;
    LogKind kind = LogKind::Note;
    QByteArray bytes; // unescaped
};
// Parses one log line (without its newline). False when it is not an entry.
bool parseLogEntry(const QByteArray &line, LogRecord *record);

} // namespace sim
