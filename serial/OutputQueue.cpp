// SPDX-License-Identifier: GPL-3.0-or-later
// The port's output queue: its limit and which line gives way.
#include "serial/OutputQueue.h"

OutputQueue::Added OutputQueue::Add(const QByteArray &Bytes, bool Repeat) {
    for (int i = 0; i < lines.size() && bytes + Bytes.size() > limit;) {
        if (!lines.at(i).repeat) {
            ++i;
            continue;
        }
        bytes -= int(lines.at(i).bytes.size());
        lines.removeAt(i);
        ++dropped;
    }
    if (bytes + Bytes.size() > limit) {
        if (!Repeat)
            return Added::Refused;
        ++dropped;
        return Added::Dropped;
    }
    lines.append({Bytes, Repeat});
    bytes += int(Bytes.size());
    return Added::Yes;
}

void OutputQueue::Took(long Count) {
    if (lines.isEmpty() || Count <= 0)
        return;
    Line &head = lines.first();
    if (Count >= head.bytes.size()) {
        bytes -= int(head.bytes.size());
        lines.removeFirst();
        return;
    }
    head.bytes.remove(0, int(Count));
    head.repeat = false;
    bytes -= int(Count);
}
