// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LineFramer.h"

LineFramer::Result LineFramer::Feed(const QByteArray &chunk, qint64 nowMs) {
    Result out;
    out.dropped = DropStale(nowMs);
    qsizetype pos = 0;
    const qsizetype n = chunk.size();
    while (pos < n) {
        if (skipLf) {
            skipLf = false;
            if (chunk.at(pos) == '\n') {
                ++pos;
                continue;
            }
        }
        const qsizetype cr = chunk.indexOf('\r', pos);
        if (cr < 0) {
            if (!discarding)
                held.append(chunk.constData() + pos, n - pos);
            lastPart = nowMs;
            break;
        }
        if (discarding) {
            // The end of a line already reported as too long.
            discarding = false;
        } else {
            held.append(chunk.constData() + pos, cr - pos);
            out.lines.append(held);
        }
        held.clear();
        skipLf = true;
        pos = cr + 1;
    }
    if (held.size() > MaxHeld) {
        out.discarded = held.size();
        held.clear();
        discarding = true;
    }
    return out;
}

QByteArray LineFramer::DropStale(qint64 nowMs) {
    if (nowMs - lastPart <= JoinWithinMs)
        return QByteArray();
    // An overlong line that stopped without its CR has been reported
    // already; what comes now is a new line.
    discarding = false;
    QByteArray stale;
    stale.swap(held);
    return stale;
}

void LineFramer::Reset() {
    held.clear();
    skipLf = false;
    discarding = false;
}
