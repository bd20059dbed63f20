// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: follows the port monitor's live log line by line as it
// changes, so that a long run can account for every line that was ever in
// it: those still there and those cut when the log was emptied.
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

class MonitorRecorder : public QObject {
public:
    explicit MonitorRecorder(QPlainTextEdit *memo) : memo(memo) {
        // contentsChange comes before the log's own change handler, which
        // may empty the log; so each line is seen before any cut.
        connect(memo->document(), &QTextDocument::contentsChange, this,
                [this](int, int, int) { Follow(); });
        Follow();
    }

    QStringList seen;  // every line that entered the log, in order
    qint64 cut = 0;    // lines removed by emptying the log
    int cuts = 0;      // how many times it was emptied
    int peakLines = 0; // the most lines it held at once

private:
    void Follow() {
        const QTextDocument *doc = memo->document();
        if (doc->isEmpty()) {
            cut += held;
            if (held > 0)
                ++cuts;
            held = 0;
            return;
        }
        const int count = doc->blockCount();
        // Entries are added at the end; the line before them is unchanged.
        for (QTextBlock b = doc->findBlockByNumber(held); b.isValid(); b = b.next())
            seen.append(b.text());
        held = count;
        peakLines = std::max(peakLines, held);
    }

    QPlainTextEdit *memo;
    int held = 0; // lines of the log accounted for
};
