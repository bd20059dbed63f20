// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component's reader thread: opens the device, polls it,
// reports to its owner and closes the device when it ends.
#include "serial/ComThread.h"

#include <algorithm>
#include <chrono>

TComThread::TComThread(Owner &ReportTo, const QString &Path, const PosixSerial::LineConfig &Config,
                       int ReadLimit)
    : owner(ReportTo), path(Path), link(Transport::For(Path)), readLimit(ReadLimit) {
    setObjectName(QStringLiteral("TComThread")); // the thread's name in the system
    const Transport::Opened opened = link->Open(path);
    if (opened.fd < 0) {
        openError = opened.error;
        openFailure = link->FailureMessage(path, opened);
        return;
    }
    fd = opened.fd;
    // A device that refuses the settings is still used with its own.
    link->Configure(fd, Config);
    connected = true;
}

TComThread::~TComThread() {
    RequestStop();
    wait();
    // Pairs with the end of run(), so everything the thread did is visibly done.
    { std::lock_guard<std::mutex> lock(waitMutex); }
    std::lock_guard<std::mutex> lock(fdMutex);
    if (fd >= 0) {
        link->Close(fd);
        fd = -1;
    }
}

void TComThread::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(waitMutex);
        stop = true;
    }
    wake.notify_all();
}

bool TComThread::WaitEnded(int ms) {
    std::unique_lock<std::mutex> lock(waitMutex);
    return wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended.load(); });
}

void TComThread::SetNice(int Nice) {
    nice = Nice;
    PosixSerial::SetThreadNice(threadId.load(), Nice);
}

bool TComThread::HungUp() {
    bool hungUp = false;
    WithDevice([&](int f) { hungUp = link->HungUp(f); });
    return hungUp;
}

void TComThread::run() {
    threadId = PosixSerial::CurrentThreadId();
    PosixSerial::SetThreadNice(threadId.load(), nice.load());
    while (!stop) {
        try {
            owner.LinesRead(*this, link->ModemLines(fd));
        } catch (...) {
        }
        if (stop)
            break;
        try {
            Poll();
        } catch (...) {
            try {
                PresenceCheck();
            } catch (...) {
            }
        }
        std::unique_lock<std::mutex> lock(waitMutex);
        wake.wait_for(lock, std::chrono::milliseconds(owner.PollDelay()),
                      [this] { return stop.load(); });
    }

    Finish();
}

void TComThread::Finish() {
    // Not connected any more before Disconnected runs, so nobody who sees the
    // event can still find the connection open.
    if (connected.exchange(false)) {
        try {
            owner.Disconnected(*this);
        } catch (...) {
        }
    }
    // Closed only now: Disconnected's handler may still send.
    {
        std::lock_guard<std::mutex> lock(fdMutex);
        if (fd >= 0) {
            // Only the input is discarded: a command written just before Close
            // (the last "PA?" of a give-up) must still reach the line.
            link->PurgeInput(fd);
            link->Close(fd);
            fd = -1;
        }
    }
    // Notified under the lock: the last touch of this object by the thread.
    std::lock_guard<std::mutex> lock(waitMutex);
    ended = true;
    wake.notify_all();
}

void TComThread::Poll() {
    const int n = std::max(link->QueuedInput(fd), 0);
    if (n == 0) {
        PresenceCheck();
        return;
    }
    if (!owner.AutoReceive()) {
        owner.InputWaiting(*this, n);
        return;
    }
    // A peer that floods the line is read at a bounded pace: the rest waits
    // in the kernel, which then holds the peer back.
    PosixSerial::ReadStatus status;
    QByteArray chunk = link->Read(fd, std::min(n, readLimit), &status);
    if (owner.DiscardNulls())
        chunk.erase(std::remove(chunk.begin(), chunk.end(), '\0'), chunk.end());
    if (chunk.isEmpty()) {
        PresenceCheck();
        return;
    }
    owner.Received(*this, chunk);
}

void TComThread::PresenceCheck() {
    // A connection that is already ending reports no fault after its end.
    if (!stop && owner.Lost(*this))
        RequestStop();
}
