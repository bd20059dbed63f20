// SPDX-License-Identifier: GPL-3.0-or-later
// Captions of the windows' buttons that show the link's state: the Open
// Port button (the connection), the PTT-block panel and the ATU panel's
// in/out button. The views set them from the state; nothing reads them back.
#pragma once

#include <QString>

namespace ConnectionCaption {
inline const QString Start = QStringLiteral("Open Port");
inline const QString Connecting = QStringLiteral("Connecting...");
inline const QString Connected = QStringLiteral("PA connected");
inline const QString Closed = QStringLiteral("Open port");
inline const QString Waiting = QStringLiteral("Waiting...");
// Connected, but the amplifier does not answer.
inline const QString NoAnswer = QStringLiteral("No answer!");
} // namespace ConnectionCaption

namespace PttCaption {
inline const QString Free = QStringLiteral("Click to block PTT");
inline const QString Blocked = QStringLiteral("PTT Blocked!");
} // namespace PttCaption

namespace AtuCaption {
inline const QString InLine = QStringLiteral("ATU On");
inline const QString Bypassed = QStringLiteral("BYPASS");
} // namespace AtuCaption
