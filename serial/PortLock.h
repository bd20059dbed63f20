// SPDX-License-Identifier: GPL-3.0-or-later
// One program per serial device: the UUCP lock file that serial programs on
// Linux agree on (LCK..ttyUSB0 in /run/lock, flock()ed, the holder's process
// number on its first line, as Qt's serial port writes it), and who holds a
// device when it cannot be had. Root respects it as everyone else does.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace PortLock {

// The folders tried for lock files, first writable one wins; normally
// /run/lock and /var/lock. Without a writable one no lock file is made and
// only the lock on the open device (see PosixSerial::OpenDevice) remains.
QStringList Folders();
void SetFolders(const QStringList &folders);

// The folders of the device's other names, looked through for links to
// it: udev's /dev/serial/by-id and /dev/serial/by-path.
QStringList LinkFolders();
void SetLinkFolders(const QStringList &folders);

// Every name a device is known by: the name given (made absolute), each
// link followed in turn, the device itself, and every link in
// LinkFolders() that leads to it (/dev/serial/by-id/usb-..., /dev/ttyUSB0,
// /dev/serial/by-path/pci-...).
QStringList Names(const QString &device);
// The lock file's name for one path as ser2net (and lockdev) names it:
// LCK.. and the path below /dev with every '/' as '_' (LCK..ttyUSB0,
// LCK..pts_3, LCK..serial_by-id_usb-...).
QString FileName(const QString &path);
// The lock files' names for one path in the namings of the programs that
// may open it: ser2net's (FileName); picocom's (its first folder left
// out, '/' as '_': the same for a path in /dev); minicom's (LCK.. and the
// last part only: LCK..usb-...). Hamlib's own programs write none: they
// meet our flock() and TIOCEXCL on the device.
QStringList FileNamesOf(const QString &path);
// The lock files' names for a device: those of each of its Names.
QStringList FileNames(const QString &device);

class Lock {
public:
    Lock() = default;
    ~Lock() { Release(); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Takes the lock of device under each of its names. False when another
    // live process holds one of them or has the device open; holder then
    // says who ("ser2net (process 1234)"). A lock file's process that lives
    // but does not have the device open (seen in /proc/PID/fd, where this
    // process may look) left it stale: it is taken over. A device that
    // does not exist, or no writable lock folder, is no reason to refuse:
    // true without a file.
    bool Acquire(const QString &device, QString *holder);
    // Removes the lock file; nothing when none is held.
    void Release();
    bool Held() const { return !files.isEmpty(); }

private:
    struct File {
        int fd;
        QString path;
    };
    QList<File> files;
};

// "name (process N)" for a running process: its command name from /proc.
QString ProcessText(long pid);
// Whether process pid has the character device rdev open: true also when
// its descriptors cannot be seen (another user's, without privilege).
bool HasOpen(long pid, unsigned long long rdev);
// Who holds device open with an flock() on it (found in /proc/locks); empty
// when nobody that can be seen does.
QString DeviceHolder(const QString &device);
// Another process that has device open, found in /proc/*/fd as far as they
// can be read; empty when none can be seen.
QString OpenedBy(const QString &device);

} // namespace PortLock
