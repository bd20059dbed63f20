// SPDX-License-Identifier: GPL-3.0-or-later
// The headless log's words for the link's events: one line per event that
// the log tells, the same for the program's log and whoever else reads it.
#pragma once

#include <QString>

struct LinkEvent;

// The log's line for e; empty for an event the log does not tell (a
// transmission's start, a tuning's result: its end and its finish say it).
QString EventLine(const LinkEvent &e);
