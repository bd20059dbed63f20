// SPDX-License-Identifier: GPL-3.0-or-later
// The users file of the station page ([Web] UsersFile=): one user a line,
// readable by its owner alone, as the MQTT password file. Written by
// orvik-control --web-passwd, read at start and again whenever it changes.
#pragma once

#include "config/OwnerOnlyFile.h"
#include "web/WebRules.h"

#include <QList>
#include <QString>

namespace web {

// Reads the file. Returns an empty string, or why it cannot be used (missing,
// readable or writable by others, not a regular file, a line that is no user).
// *stamp, when given, tells this version of the file from the next.
QString ReadUsersFile(const QString &path, QList<WebUser> *users, FileStamp *stamp = nullptr);

// Adds the user or replaces the one of that name, creating the file with
// mode 0600 (an existing file keeps its owner-only mode, or is refused).
// Returns an empty string, or why it was not written.
QString SetUser(const QString &path, const WebUser &user);

// Takes the named user out. Returns an empty string, or why not (no such
// user among others).
QString RemoveUser(const QString &path, const QString &name);

} // namespace web
