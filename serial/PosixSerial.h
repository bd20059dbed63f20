// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux layer behind the serial port component: one function per
// platform operation (open, configure, purge, queue count, read, write,
// modem lines, close) plus the device listing. Nothing here knows the
// component; everything works on a plain file descriptor.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace PosixSerial {

// The line configuration record, already resolved from the component's settings.
struct LineConfig {
    int baudRate = 9600;
    int dataBits = 8; // 5..8
    int parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0; // 0 one, 1 one and a half, 2 two
    bool parityCheck = false;
    bool rtsCtsHandshake = false;
    bool xonXoff = false;
    char xonChar = 17;
    char xoffChar = 19;
    bool dtrOn = true; // level of DTR after configuring (ignored with no modem lines)
    bool rtsOn = true; // level of RTS when RTS/CTS is not in use
};

struct OpenResult {
    int fd = -1;
    int error = 0; // errno of the failure
};

// Opens a character device for reading and writing, non-blocking, not as
// controlling terminal, and claims it exclusively (TIOCEXCL and flock());
// EBUSY when another program holds it that way.
OpenResult OpenDevice(const QString &path);
// Applies the record; false when the device rejects it.
bool ApplyLineConfig(int fd, const LineConfig &config);
// Discards the receive queue.
void PurgeInput(int fd);
// Bytes waiting in the receive queue; -1 when the query fails.
int QueuedInput(int fd);

enum class ReadStatus { Ok, Error };
// Reads at most n waiting bytes without blocking.
QByteArray Read(int fd, int n, ReadStatus *status);
// Writes data, waiting for the device at most timeoutMs in total. Returns the
// count written (possibly short after the timeout) or -1 on an error (errno set).
// A socket is written with socket set, so a closed peer gives EPIPE, not SIGPIPE.
long Write(int fd, const QByteArray &data, long long timeoutMs, bool socket = false);
// Modem input lines as bits: 0 CTS, 1 DSR, 2 ring, 3 carrier detect; 0 on failure.
std::uint8_t ModemLines(int fd);
// Whether the device has hung up (pseudo-terminal peer gone, adapter unplugged).
bool HungUp(int fd);
// Gives up the exclusive claim and closes.
void CloseDevice(int fd);
// Sets an arbitrary rate through termios2 (BOTHER); false when refused.
bool SetCustomBaud(int fd, int rate);

bool IsCharacterDevice(const QString &path);
// The system's wording for an errno value.
QString ErrorText(int error);
// Best-effort scheduling priority of one thread (Linux nice value); failure ignored.
void SetThreadNice(long threadId, int nice);
long CurrentThreadId();

// Ttys listed under sysClassTty (normally /sys/class/tty) that are bound to a
// driver (have a device link) and have a node in devDir, as devDir + "/" +
// name, in natural name order. A ttyS<n> counts only with a detected UART.
QStringList ListSerialDevices(const QString &sysClassTty, const QString &devDir);

// One link of devDir/serial/by-id: its path, the kernel name of the tty it
// points to (ttyUSB0) and the adapter's product text taken from its name.
struct ByIdLink {
    QString path;
    QString device;
    QString product;
};
// The by-id links that point to an existing node, in natural order.
QList<ByIdLink> ListByIdLinks(const QString &devDir);
// "usb-FTDI_FT232R_USB_UART_A10K-if00-port0" -> "FTDI FT232R USB UART A10K".
QString ProductFromById(const QString &linkName);
// Natural order: digit runs compare by value ("ttyS2" before "ttyS10").
bool NaturalLess(const QString &a, const QString &b);

} // namespace PosixSerial
