// SPDX-License-Identifier: GPL-3.0-or-later
// Headless mode: the station (the amplifier link, the network control
// server, the MQTT publisher, the history) with no window and no display
// (QCoreApplication only). It opens the port at start (or waits for it),
// reconnects whenever it is lost, logs one line per event to standard
// output, and on SIGTERM, SIGINT or SIGHUP stops the station and exits 0.
#pragma once

#include "config/CommandLine.h"

namespace Headless {

// Runs until a stop signal; returns the exit status.
int Run(int argc, char **argv, const CommandLine::Options &options);

} // namespace Headless
