// SPDX-License-Identifier: GPL-3.0-or-later
// QCustomPlot, the plotting library of the History window. Its header
// uses Qt's "signals" and "foreach" keywords, which this program turns
// off; they are named for it alone.
#pragma once

#include <QtGlobal>

#define signals Q_SIGNALS
#define foreach Q_FOREACH
#include <qcustomplot.h>
#undef foreach
#undef signals
