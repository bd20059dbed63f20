// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the received byte stream into report lines. A line ends at CR; the
// LF after it is dropped, even when it arrives at the start of the next
// chunk. An unfinished line is kept until the rest arrives, up to a limit,
// so that garbage without CR cannot grow memory without bound, and only for
// a short while: a fragment whose rest does not follow soon is dropped on
// its own, never glued to a line that comes later.
#pragma once

#include <QByteArray>
#include <QList>

class LineFramer {
public:
    // Longest unfinished line kept between chunks.
    static constexpr qsizetype MaxHeld = 4096;
    // An unfinished line is joined to what follows only when that comes
    // within this many milliseconds of its last part: five polls of the
    // serial reader, while a whole line takes some 30 ms at 9600 baud.
    static constexpr qint64 JoinWithinMs = 500;

    struct Result {
        QList<QByteArray> lines; // complete lines, without CR and LF
        qsizetype discarded = 0; // > 0: an overlong unfinished line of this many bytes was dropped
        QByteArray dropped;      // an unfinished line whose rest came too late, dropped
    };

    // Adds one chunk received at nowMs (a monotonic clock); returns the
    // lines it completes.
    Result Feed(const QByteArray &chunk, qint64 nowMs);
    // Drops the unfinished line when its rest has not come within
    // JoinWithinMs; returns it (empty: nothing dropped).
    QByteArray DropStale(qint64 nowMs);
    // Forgets any unfinished line (a new connection starts clean).
    void Reset();

    const QByteArray &Held() const { return held; }

private:
    QByteArray held;         // the unfinished line
    qint64 lastPart = 0;     // when its last part came
    bool skipLf = false;     // the last byte was a CR: an LF next belongs to it
    bool discarding = false; // dropping the rest of an overlong line up to its CR
};
