// SPDX-License-Identifier: GPL-3.0-or-later
// Why a device refuses the user, in words: the user is not in the group the
// device is open to, the device is open to no group, or something else
// (its owner's own bits, an access list, a security module, a folder on
// the way). Each names the user's groups and the device's owner, group and
// mode, as ls -l and id would show them.
#pragma once

#include <QString>

namespace DeviceAccess {

enum class Cause {
    NotInGroup,    // the device's group may read and write it; the user is not in it
    NoGroupAccess, // its group may not read and write it: no group helps
    Other,         // the user is in a group that may: something beyond the mode
};

struct Denial {
    Cause cause = Cause::Other;
    QString text; // one paragraph, no line breaks
};

// The reason why this process may not open path for reading and writing.
Denial Explain(const QString &path);

} // namespace DeviceAccess
