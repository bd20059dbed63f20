// SPDX-License-Identifier: GPL-3.0-or-later
// The users file of the station page ([Web] UsersFile=): one user a line,
// readable by its owner alone, as the MQTT password file. Written by
// orvik-control --web-passwd, read at start.
#pragma once

#include "web/WebRules.h"

#include <QList>
#include <QString>

namespace web {

// Reads the file. Returns an empty string, or why it cannot be used (missing,
// readable or writable by others, not a regular file, a line that is no user,
// no user at all).
QString ReadUsersFile(const QString &path, QList<WebUser> *users);

// Adds the user or replaces the one of that name, creating the file with
// mode 0600 (an existing file keeps its owner-only mode, or is refused).
// Returns an empty string, or why it was not written.
QString SetUser(const QString &path, const WebUser &user);

} // namespace web
