// SPDX-License-Identifier: GPL-3.0-or-later
// The reader thread of one open connection: polls the device it is given,
// hands what it finds to its sink and ends the connection when it stops.
// It knows neither the port nor who listens: what it reads goes to the
// sink's callbacks, and its pace is read from settings it is lent.
#pragma once

#include "serial/SerialDevice.h"

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class TComThread : public QThread {
public:
    // Where the reader's findings go, each called on the reader thread. A
    // callback that throws (a handler failed) counts as a failed poll.
    struct Sink {
        // The modem lines of each pass (0 CTS, 1 DSR, 2 ring, 3 carrier detect).
        std::function<void(std::uint8_t Lines)> linesRead;
        // Bytes waiting while nothing is read (AutoReceive off); above 0.
        std::function<void(int Count)> inputWaiting;
        std::function<void(const QByteArray &Chunk)> received;
        // Whether the device is gone; the first time it is, the fault has
        // been reported, and the reader ends.
        std::function<bool()> lost;
        // The connection ends; the device is still open.
        std::function<void()> disconnected;
    };
    // Read at every pass, so that a change applies at once. Outlives the reader.
    struct Pace {
        std::atomic<std::uint32_t> delay{100}; // ms between polls
        std::atomic<bool> autoReceive{true};
        std::atomic<bool> discardNulls{false};
    };

    // The device is open; the thread starts with Start. ReadLimit bounds one read.
    TComThread(std::shared_ptr<SerialDevice> Device, const Pace &Settings, Sink Findings,
               int ReadLimit);
    // Stops the thread and joins it.
    ~TComThread() override;
    Q_DISABLE_COPY_MOVE(TComThread)

    // Starting thread only.
    void Start() {
        started = true;
        start();
    }
    bool Started() const { return started; }
    // Linux nice value of the reader, applied at once when it runs.
    void SetNice(int Nice);

protected:
    void run() override;

private:
    void Poll();
    void PresenceCheck();

    const std::shared_ptr<SerialDevice> device;
    const Pace &pace;
    const Sink sink;
    const int readLimit;
    bool started = false;
    std::atomic<int> nice{0};
    std::atomic<long> threadId{0};
};
