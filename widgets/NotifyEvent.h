// SPDX-License-Identifier: GPL-3.0-or-later
// The plain "something happened" event the indicator widgets fire; the
// windows assign their handlers to it directly.
#pragma once

#include <functional>

class QObject;

using TNotifyEvent = std::function<void(QObject *Sender)>;
