// SPDX-License-Identifier: GPL-3.0-or-later
// What the program asks of the History window. The window and its plotting
// library live in a module the program loads only when the window is first
// asked for (see HistoryModule.h), so the program reaches the window
// through this interface alone and links none of its code.
#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

class HistoryView {
public:
    virtual ~HistoryView() = default;
    virtual QWidget *Widget() = 0;
    // The file to show (read-only, beside its writer).
    virtual void SetFile(const QString &path) = 0;
    virtual QString File() const = 0;
    // The amplifier as the exported picture names it.
    virtual void SetAmplifier(const QString &text) = 0;
    // The span ending now, following the time while open.
    virtual void ShowSpan(qint64 seconds) = 0;
    // The exported picture's title.
    virtual QString Title() const = 0;
};

// The module's one entry: a new, hidden History window, owned by the caller
// through its widget.
extern "C" {
using HistoryViewMaker = HistoryView *(*)();
}
inline constexpr char HistoryViewMakerName[] = "OrvikNewHistoryView";
