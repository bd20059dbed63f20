// SPDX-License-Identifier: GPL-3.0-or-later
// Enter, Return and Space on a control that acts once per stroke of the key:
// the first press arms the control, the release of that key acts. A held key
// does nothing more: auto-repeated presses and releases are passed over, and
// so is a further press of the armed key before its release (a repeat that
// arrives without its auto-repeat flag, as an input method or a remote
// desktop may deliver it). A release with no press before it on this control
// (the key went down elsewhere) does not act either.
#pragma once

#include <QKeyEvent>

class KeyStroke {
public:
    static bool IsActivation(int key) {
        return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    }

    // A key press: whether it is an activation key (the control takes it,
    // armed or not).
    bool Press(const QKeyEvent &event) {
        if (!IsActivation(event.key()))
            return false;
        if (!event.isAutoRepeat() && m_armed == 0)
            m_armed = event.key();
        return true;
    }

    // A key release: whether it ends the armed stroke, so that the control acts.
    bool Release(const QKeyEvent &event) {
        if (event.isAutoRepeat() || event.key() != m_armed)
            return false;
        m_armed = 0;
        return true;
    }

    // The stroke is dropped (the focus left while the key was down).
    void Cancel() { m_armed = 0; }
    bool Armed() const { return m_armed != 0; }

private:
    int m_armed = 0; // the key whose release acts; 0: none
};
