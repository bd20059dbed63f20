// SPDX-License-Identifier: GPL-3.0-or-later
// A status as the link has it once the amplifier is identified on its first
// connection, for the tests that apply reports to a status of their own.
#pragma once

#include "link/AmpStatus.h"
#include "link/Forgetting.h"

inline AmpStatus IdentifiedStatus(qint64 nowMs = 0) {
    AmpStatus s;
    Forgetting::Apply(Forgetting::Rule::NewConnection, s, nowMs);
    s.PaIdentified = true;
    s.Phase = LinkPhase::Connected;
    Forgetting::Apply(Forgetting::Rule::Identified, s, nowMs);
    return s;
}
