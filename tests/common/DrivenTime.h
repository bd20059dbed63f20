// SPDX-License-Identifier: GPL-3.0-or-later
// Tests that drive the link's time call its tick handlers themselves. Its
// real timers are made inert first (they still start and stop as the link
// says, but never fire), so that a slow machine cannot tick one inside the
// test: no extra "PA?" among the expected bytes, no handshake given up.
#pragma once

#include "link/AmpLink.h"

#include <QTimer>

inline void DriveLinkTime(AmpLink &link) {
    constexpr int Day = 24 * 3600 * 1000;
    for (QTimer *t : {link.HandshakeTimer(), link.PollTimer(), link.AtuTimer(),
                      link.ReconnectTimer(), link.LivenessTimer()})
        t->setInterval(Day);
}
