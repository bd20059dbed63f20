// SPDX-License-Identifier: GPL-3.0-or-later
// The focus frame of the indicator widgets: a dotted rectangle inside the
// control, shown while it holds a focus that came from the keyboard (Tab,
// Shift+Tab, a shortcut) or from the program or a screen reader. A widget
// that only has the focus because its window became active shows no frame,
// so a window opened with the mouse looks exactly as before; the frame stays
// across a switch to another window and back.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QRectF>

class FocusFrame {
public:
    void FocusIn(Qt::FocusReason reason) {
        if (reason != Qt::ActiveWindowFocusReason)
            m_shown = reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason;
    }
    void FocusOut(Qt::FocusReason reason) {
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            m_shown = false;
    }
    bool Shown(bool hasFocus) const { return hasFocus && m_shown; }

    // Draws the frame on the pixels two inside `area` (a circle for a round
    // control): a one-pixel pen down the middle of those pixels covers them
    // whole at any device pixel ratio.
    static void Draw(QPainter &painter, const QRect &area, const QColor &color,
                     bool round = false) {
        painter.save();
        painter.setPen(QPen(color, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        const QRectF inside = QRectF(area).adjusted(2.5, 2.5, -2.5, -2.5);
        if (round)
            painter.drawEllipse(inside);
        else
            painter.drawRect(inside);
        painter.restore();
    }

private:
    bool m_shown = false;
};
