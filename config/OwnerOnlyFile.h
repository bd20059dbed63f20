// SPDX-License-Identifier: GPL-3.0-or-later
// Files that hold secrets (the MQTT password file, the station page's users
// file) are read only when they are regular files that their owner alone may
// read or write: one reader for both, which never blocks on a FIFO or device.
#pragma once

#include <QByteArray>
#include <QString>

// What tells one version of a file from the next: a rewrite by rename
// changes the inode, an edit in place the time or the size.
struct FileStamp {
    qint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileStamp &o) const {
        return inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

// Reads the file whole into *data, at most maxBytes. Returns an empty
// string, or why it is not read; `what` names it there ("the users file").
// *stamp, when given, is the stamp of the file read.
QString ReadOwnerOnly(const QString &path, const QString &what, qint64 maxBytes, QByteArray *data,
                      FileStamp *stamp = nullptr);

// The stamp of the file now; all zero when it cannot be looked at.
FileStamp StampOf(const QString &path);
