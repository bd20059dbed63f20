// The link's state as the history records it.
#pragma once

#include "history/HistorySample.h"

struct AmpState;

HistorySample SampleOf(const AmpState &state);
