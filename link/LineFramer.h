// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts the received byte stream into report lines. A line ends at CR; the
// LF after it is dropped, even when it arrives at the start of the next
// chunk. An unfinished line is kept until the rest arrives, up to a limit,
// so that garbage without CR cannot grow memory without bound.
#pragma once

#include <QByteArray>
#include <QList>

class LineFramer {
public:
    // Longest unfinished line kept between chunks.
    static constexpr qsizetype MaxHeld = 4096;

    struct Result {
        QList<QByteArray> lines; // complete lines, without CR and LF
        qsizetype discarded = 0; // > 0: an overlong unfinished line of this many bytes was dropped
    };

    // Adds one received chunk; returns the lines it completes.
    Result Feed(const QByteArray &chunk);
    // Forgets any unfinished line (a new connection starts clean).
    void Reset();

    const QByteArray &Held() const { return held; }

private:
    QByteArray held;         // the unfinished line
    bool skipLf = false;     // the last byte was a CR: an LF next belongs to it
    bool discarding = false; // dropping the rest of an overlong line up to its CR
};
