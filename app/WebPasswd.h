// SPDX-License-Identifier: GPL-3.0-or-later
// orvik-control --web-passwd FILE USER [ROLE]: adds or changes a user of
// the station page, with no application object and no display.
#pragma once

#include "config/CommandLine.h"

namespace WebPasswd {

// Returns the exit status.
int Run(const CommandLine::Options &options);

} // namespace WebPasswd
