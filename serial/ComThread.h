// The reader thread of one open connection: polls the device, raises the
// component's events and closes the device when it ends.
#pragma once

#include "serial/SerialPort.h"
#include "serial/Transport.h"

#include <QThread>

#include <condition_variable>
#include <mutex>

class TComThread : public QThread {
public:
    // Opens and configures the device on the calling thread; Valid() tells
    // whether that worked. The thread itself is started by the component,
    // after OnConnect.
    TComThread(TSerialPort *Owner, const QString &Path);
    ~TComThread() override;
    Q_DISABLE_COPY_MOVE(TComThread)

    bool Valid() const;
    int OpenError() const { return openError; }
    // The message of a failed open, as Open raises it.
    const QString &OpenFailure() const { return openFailure; }
    // The terminal or network stream behind the device handle.
    Transport::Link &Io() { return *link; }
    const QString &Path() const { return path; }
    TCommPort Port() const { return connectedPort.load(); }
    bool Ended() const { return ended.load(); }

    // GUI thread only.
    void Start() {
        started = true;
        start();
    }
    bool Started() const { return started; }

    void RequestStop();
    bool StopRequested() const { return stop.load(); }
    // The end of the connection: OnDisconnect (once), then the device is
    // purged and closed and the port reads spNone. The reader's own last act;
    // the component calls it on the reader's behalf when the reader cannot get
    // there (never started, or waiting for the handler that closes).
    void Finish();
    // Waits up to ms for the end of the reader's exit; true once ended.
    bool WaitEnded(int ms);
    void ApplyPriority(TThreadPriority Value);

    // Runs fn with the device handle locked; false when the device is closed.
    template <typename F> bool WithDevice(F fn) {
        std::lock_guard<std::mutex> lock(fdMutex);
        if (fd < 0)
            return false;
        fn(fd);
        return true;
    }
    // True the first time only, so one loss raises one OnFault.
    bool ClaimFault() { return !faultReported.exchange(true); }
    // Whether the device is gone (hung up, or absent from the system).
    bool Lost();

    // GUI thread only: true while one of this reader's events runs there.
    bool handlerRunning = false;

protected:
    void run() override;

private:
    // Runs fn as the component's event: on the GUI thread with the reader
    // waiting when SynchronizeEvents is set, here otherwise. A handler's
    // exception comes back to this thread.
    void Raise(const std::function<void()> &fn);
    void Poll();
    void PresenceCheck();
    void WriteLog(const QByteArray &Chunk);

    TSerialPort *owner;
    TSerialPort::Private *d;
    QString path;
    std::unique_ptr<Transport::Link> link;
    int openError = 0;
    QString openFailure;
    std::mutex fdMutex;
    int fd = -1;
    std::atomic<TCommPort> connectedPort{spNone};
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> faultReported{false};
    std::atomic<bool> disconnectClaimed{false};
    bool started = false;
    std::atomic<long> threadId{0};
    std::mutex waitMutex;
    std::condition_variable wake;
};
