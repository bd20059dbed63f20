// SPDX-License-Identifier: GPL-3.0-or-later
// Enter, Return and Space on a control that acts once per stroke of the key:
// the first press arms the control, the release of that key acts. A held key
// does nothing more: auto-repeated presses and releases are passed over, and
// so is a further press of the armed key before its release (a repeat that
// arrives without its auto-repeat flag, as an input method or a remote
// desktop may deliver it). A release with no press before it on this control
// (the key went down elsewhere) does not act either.
//
// An X server repeats a held key as a release and a press with the same
// server time. Qt flags such a pair as a repeat only when the press is
// already queued as it reads the release; when the press comes a moment
// later, both arrive unflagged and the release looks like the end of the
// stroke. So a press of the key just released, within RepeatPairMs of the
// release by the events' own time stamps, continues that stroke: its release
// does not act again. The last release is one for all controls, as a
// stroke's action may move the focus before the press of the pair comes. A
// person cannot let go of a key and press it again within that time; events
// made in the program carry no time stamp (0) and are never taken for a pair.
#pragma once

#include <QKeyEvent>

class KeyStroke {
public:
    // Qt's xcb platform takes a release and a press up to this far apart as
    // one repeat.
    static constexpr quint64 RepeatPairMs = 10;

    static bool IsActivation(int key) {
        return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    }

    // A key press: whether it is an activation key (the control takes it,
    // armed or not).
    bool Press(const QKeyEvent &event) {
        if (!IsActivation(event.key()))
            return false;
        if (!event.isAutoRepeat() && m_held == 0) {
            m_held = event.key();
            m_spent = RepeatsLastRelease(event);
        }
        return true;
    }

    // A key release: whether it ends the armed stroke, so that the control acts.
    bool Release(const QKeyEvent &event) {
        if (event.isAutoRepeat())
            return false;
        s_released = event.key();
        s_releasedAt = event.timestamp();
        if (event.key() != m_held)
            return false;
        const bool acts = !m_spent;
        m_held = 0;
        m_spent = false;
        return acts;
    }

    // The stroke is dropped (the focus left while the key was down).
    void Cancel() {
        m_held = 0;
        m_spent = false;
    }
    // A key is down whose release will act.
    bool Armed() const { return m_held != 0 && !m_spent; }

private:
    static bool RepeatsLastRelease(const QKeyEvent &press) {
        return press.key() == s_released && s_releasedAt != 0 && press.timestamp() != 0 &&
               press.timestamp() >= s_releasedAt &&
               press.timestamp() - s_releasedAt <= RepeatPairMs;
    }

    int m_held = 0;       // the activation key down on this control; 0: none
    bool m_spent = false; // its stroke already acted: the key is held on
    // The last unflagged release of an activation key on any control (GUI
    // thread only).
    static inline int s_released = 0;
    static inline quint64 s_releasedAt = 0;
};
