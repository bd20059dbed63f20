// SPDX-License-Identifier: GPL-3.0-or-later
// One program per serial device: the UUCP lock file that serial programs on
// Linux agree on (LCK..ttyUSB0 in /run/lock, flock()ed, the holder's process
// number on its first line, as Qt's serial port writes it), and who holds a
// device when it cannot be had. Root respects it as everyone else does.
#pragma once

#include <QString>
#include <QStringList>

namespace PortLock {

// The folders tried for lock files, first writable one wins; normally
// /run/lock and /var/lock. Without a writable one no lock file is made and
// only the lock on the open device (see PosixSerial::OpenDevice) remains.
QStringList Folders();
void SetFolders(const QStringList &folders);

// The lock file's name for a device: LCK.. and its path below /dev with
// every '/' as '_' (LCK..ttyUSB0, LCK..pts_3), found through links, so that
// a by-id link and its node share one lock.
QString FileName(const QString &device);

class Lock {
public:
    Lock() = default;
    ~Lock() { Release(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Takes the lock of device. False when another live process holds it;
    // holder then says who ("orvik-control (process 1234)"). A device that
    // does not exist, or no writable lock folder, is no reason to refuse:
    // true without a file.
    bool Acquire(const QString &device, QString *holder);
    // Removes the lock file; nothing when none is held.
    void Release();
    bool Held() const { return fd >= 0; }
    const QString &Path() const { return path; }

private:
    int fd = -1;
    QString path;
};

// "name (process N)" for a running process: its command name from /proc.
QString ProcessText(long pid);
// Who holds device open with an flock() on it (found in /proc/locks); empty
// when nobody that can be seen does.
QString DeviceHolder(const QString &device);

} // namespace PortLock
