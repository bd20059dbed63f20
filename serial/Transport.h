// SPDX-License-Identifier: GPL-3.0-or-later
// What the reader thread talks through: a terminal device or a raw TCP
// stream (as ser2net's tcp accepter serves it). Both give a plain file
// descriptor that works with poll and read; they differ in how they open,
// configure, write and notice the loss of the peer.
#pragma once

#include "serial/PosixSerial.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace Transport {

// A network port name split into its parts.
struct TcpAddress {
    QString host; // without brackets for IPv6
    int port = 0; // 1..65535
};
// Whether Name (trimmed) starts with the tcp:// scheme, in any case.
bool IsTcpName(const QString &Name);
// Parses tcp://HOST:PORT (IPv4, [IPv6] or a host name; port 1..65535).
// False with a reason when the name is malformed.
bool ParseTcpName(const QString &Name, TcpAddress *Address, QString *Reason);

struct Opened {
    int fd = -1;
    int error = 0;  // errno of the failure (0 when opened)
    QString reason; // the failure in words
};

class Link {
public:
    virtual ~Link() = default;
    virtual Opened Open(const QString &Name) = 0;
    // The message of a failed Open, e.g. "Cannot connect to <name>. <reason>".
    virtual QString FailureMessage(const QString &Name, const Opened &Failure) const = 0;
    // Line settings; a network stream has none and accepts them unchanged.
    virtual bool Configure(int fd, const PosixSerial::LineConfig &Config) = 0;
    virtual void PurgeInput(int fd) = 0;
    virtual std::uint8_t ModemLines(int fd) = 0;
    virtual long Write(int fd, const QByteArray &Data, long long TimeoutMs) = 0;
    // Whether the peer is gone; waiting input is delivered before a loss is reported.
    virtual bool HungUp(int fd) = 0;
    // Whether the name can be checked against the system's device list.
    virtual bool ListedBySystem() const = 0;
    int QueuedInput(int fd) { return PosixSerial::QueuedInput(fd); }
    QByteArray Read(int fd, int n, PosixSerial::ReadStatus *Status) {
        return PosixSerial::Read(fd, n, Status);
    }
    // Closes the descriptor and gives up what Open claimed.
    virtual void Close(int fd) { PosixSerial::CloseDevice(fd); }
};

// The terminal for a device path, TCP for a tcp:// name.
std::unique_ptr<Link> For(const QString &Name);

// Longest wait of a TCP Open (name lookup and connect together).
constexpr int TcpConnectLimitMs = 3000;

// Ends the wait of a TCP Open in progress, and of every later one, at once:
// for a program that is stopping. Safe to call from a signal handler.
void AbandonOpens();

} // namespace Transport
