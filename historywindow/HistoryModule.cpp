// SPDX-License-Identifier: GPL-3.0-or-later
// The History window's module: its one exported entry.
#include "historywindow/HistoryView.h"
#include "historywindow/HistoryWindow.h"

extern "C" Q_DECL_EXPORT HistoryView *OrvikNewHistoryView() {
    return new HistoryWindow();
}
