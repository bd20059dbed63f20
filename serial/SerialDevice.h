// SPDX-License-Identifier: GPL-3.0-or-later
// The device of one open connection, shared by the port (which writes to it
// and re-applies its settings) and the reader thread (which reads it): the
// descriptor and the transport behind it, one call per operation, each
// under the descriptor's lock, and the flags that say whether the
// connection still runs. It knows neither the port nor the reader.
#pragma once

#include "serial/PosixSerial.h"
#include "serial/Transport.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class SerialDevice {
public:
    // Opens and configures Path on the calling thread; Connected() tells
    // whether that worked. A device that refuses the settings is still used
    // with its own.
    SerialDevice(const QString &Path, const PosixSerial::LineConfig &Config);
    // Closes the descriptor if nobody has.
    ~SerialDevice();
    Q_DISABLE_COPY_MOVE(SerialDevice)

    const QString &Path() const { return path; }
    int OpenError() const { return openError; }
    // The message of a failed open, as Open raises it.
    const QString &OpenFailure() const { return openFailure; }
    // Whether the name can be checked against the system's device list (a
    // network peer is not in it).
    bool ListedBySystem() const { return link->ListedBySystem(); }
    // From a successful open until the connection ends (Finish).
    bool Connected() const { return connected.load(); }

    // The operations on the line. Once the descriptor is closed they do
    // nothing and say so: no lines, no input, nullopt.
    std::uint8_t ModemLines();
    int QueuedInput();
    QByteArray Read(int MaxBytes);
    bool IsOpen();
    // Writes as much as the device takes without waiting: the count taken,
    // or -1 when the write failed.
    std::optional<long> Write(const QByteArray &Bytes);
    // Discards unread input, then applies Config: whether it was accepted.
    std::optional<bool> Reconfigure(const PosixSerial::LineConfig &Config);
    // Whether the peer has hung up (pseudo-terminal master gone, adapter
    // unplugged, stream reset); false once closed.
    bool HungUp();

    // The stop request: set from any thread, seen by the reader's next pass.
    void RequestStop();
    bool StopRequested() const { return stop.load(); }
    // Waits up to Ms for a stop request.
    void WaitForStop(std::uint32_t Ms);
    // True the first time only, so one loss raises one fault.
    bool ClaimFault() { return !faultReported.exchange(true); }

    // The end of the connection: Announce runs once (the first Finish), with
    // the device still open so that its handler may still send; then unread
    // input is discarded and the device closed, and the end is signalled.
    // What Announce throws is dropped. Safe from any thread.
    void Finish(const std::function<void()> &Announce);
    bool Ended() const { return ended.load(); }
    // Waits up to Ms for the end; true once ended.
    bool WaitEnded(int Ms);

private:
    void CloseDescriptor(bool purgeInput);

    QString path;
    std::unique_ptr<Transport::Link> link;
    int openError = 0;
    QString openFailure;
    std::mutex fdMutex;
    int fd = -1;
    std::atomic<bool> connected{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> faultReported{false};
    std::mutex waitMutex;
    std::condition_variable wake;
};
