// SPDX-License-Identifier: GPL-3.0-or-later
// What waits to be written to the device, in order, within a limit in
// bytes. A line that does not fit makes room by dropping the oldest repeats
// waiting (polls, probes: the next round sends them again); a repeat that
// still does not fit is dropped, a command refused. A line begun on the
// wire is never dropped. Not thread-safe: the port guards it.
#pragma once

#include <QByteArray>
#include <QList>

class OutputQueue {
public:
    enum class Added { Yes, Dropped, Refused };

    explicit OutputQueue(int LimitBytes) : limit(LimitBytes) {}

    Added Add(const QByteArray &Bytes, bool Repeat);
    bool IsEmpty() const { return lines.isEmpty(); }
    // The line to write next; empty when none waits.
    QByteArray Head() const { return lines.isEmpty() ? QByteArray() : lines.first().bytes; }
    // The device took Count bytes of the head: the rest of it, once begun, is kept.
    void Took(long Count);
    // Bytes waiting.
    int Bytes() const { return bytes; }
    // Repeats dropped since the last Restart.
    int DroppedRepeats() const { return dropped; }
    void Clear() {
        lines.clear();
        bytes = 0;
    }
    // Empty, for a new connection.
    void Restart() {
        Clear();
        dropped = 0;
    }

private:
    struct Line {
        QByteArray bytes;
        bool repeat = false;
    };
    QList<Line> lines;
    int limit;
    int bytes = 0;
    int dropped = 0;
};
