// SPDX-License-Identifier: GPL-3.0-or-later
// The link's state as the history records it.
#pragma once

#include "history/HistorySample.h"

class AmpLink;
class HistoryStore;
struct AmpStatus;

HistorySample SampleOf(const AmpStatus &state);
// Records every change of the link's state into store.
void RecordLink(const AmpLink &link, HistoryStore &store);
