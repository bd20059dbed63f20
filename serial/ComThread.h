// SPDX-License-Identifier: GPL-3.0-or-later
// The reader thread of one open connection: owns the device, polls it,
// reports what it finds to its owner and closes the device when it ends.
// It knows its owner only through TComThread::Owner.
#pragma once

#include "serial/PosixSerial.h"
#include "serial/Transport.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class TComThread : public QThread {
public:
    // What the reader reads and reports on each pass. Called on the reader
    // thread, or on the owner's thread when the owner ends the connection on
    // the reader's behalf (Finish). A report may throw: the owner's handler failed.
    class Owner {
    public:
        virtual ~Owner() = default;
        // Read at every pass, so that a change applies at once.
        virtual std::uint32_t PollDelay() const = 0;
        virtual bool AutoReceive() const = 0;
        virtual bool DiscardNulls() const = 0;
        // The modem lines of this pass (0 CTS, 1 DSR, 2 ring, 3 carrier detect).
        virtual void LinesRead(TComThread &Reader, std::uint8_t Lines) = 0;
        // Bytes waiting while nothing is read (AutoReceive off); above 0.
        virtual void InputWaiting(TComThread &Reader, int Count) = 0;
        virtual void Received(TComThread &Reader, const QByteArray &Chunk) = 0;
        // Whether the device is gone. The first time it is, the owner has
        // reported the fault; the reader then ends.
        virtual bool Lost(TComThread &Reader) = 0;
        // The connection has ended; the device is still open.
        virtual void Disconnected(TComThread &Reader) = 0;
    };

    // Opens and configures the device on the calling thread; Connected()
    // tells whether that worked. The thread itself is started by the owner,
    // once it has announced the connection. ReadLimit bounds one read.
    TComThread(Owner &ReportTo, const QString &Path, const PosixSerial::LineConfig &Config,
               int ReadLimit);
    ~TComThread() override;
    Q_DISABLE_COPY_MOVE(TComThread)

    // Open from a successful construction until the connection ends.
    bool Connected() const { return connected.load(); }
    int OpenError() const { return openError; }
    // The message of a failed open, as Open raises it.
    const QString &OpenFailure() const { return openFailure; }
    // The terminal or network stream behind the device handle.
    Transport::Link &Io() { return *link; }
    const QString &Path() const { return path; }
    bool Ended() const { return ended.load(); }

    // Owner's thread only.
    void Start() {
        started = true;
        start();
    }
    bool Started() const { return started; }

    void RequestStop();
    bool StopRequested() const { return stop.load(); }
    // The end of the connection: Disconnected (once), then the device is
    // purged and closed. The reader's own last act; the owner calls it on
    // the reader's behalf when the reader cannot get there (never started,
    // or waiting for the handler that closes).
    void Finish();
    // Waits up to ms for the end of the reader's exit; true once ended.
    bool WaitEnded(int ms);
    // Linux nice value of the reader, applied at once when it runs.
    void SetNice(int Nice);

    // Runs fn with the device handle locked; false when the device is closed.
    template <typename F> bool WithDevice(F fn) {
        std::lock_guard<std::mutex> lock(fdMutex);
        if (fd < 0)
            return false;
        fn(fd);
        return true;
    }
    // True the first time only, so one loss raises one fault.
    bool ClaimFault() { return !faultReported.exchange(true); }
    // Whether the peer has hung up (pseudo-terminal master gone, adapter
    // unplugged, stream reset); false once the device is closed.
    bool HungUp();

    // Owner's thread only: true while one of this reader's reports runs there.
    bool handlerRunning = false;

protected:
    void run() override;

private:
    void Poll();
    void PresenceCheck();

    Owner &owner;
    QString path;
    std::unique_ptr<Transport::Link> link;
    int readLimit;
    int openError = 0;
    QString openFailure;
    std::mutex fdMutex;
    int fd = -1;
    std::atomic<bool> connected{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> faultReported{false};
    bool started = false;
    std::atomic<int> nice{0};
    std::atomic<long> threadId{0};
    std::mutex waitMutex;
    std::condition_variable wake;
};
