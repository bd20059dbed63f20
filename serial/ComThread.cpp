// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port component's reader thread: polls its device at the pace
// it is lent and hands what it reads to its sink.
#include "serial/ComThread.h"

#include <algorithm>

TComThread::TComThread(std::shared_ptr<SerialDevice> Device, const Pace &Settings, Sink Findings,
                       int ReadLimit)
    : device(std::move(Device)), pace(Settings), sink(std::move(Findings)), readLimit(ReadLimit) {
    setObjectName(QStringLiteral("TComThread")); // the thread's name in the system
}

TComThread::~TComThread() {
    device->RequestStop();
    wait();
}

void TComThread::SetNice(int Nice) {
    nice = Nice;
    PosixSerial::SetThreadNice(threadId.load(), Nice);
}

void TComThread::run() {
    threadId = PosixSerial::CurrentThreadId();
    PosixSerial::SetThreadNice(threadId.load(), nice.load());
    while (!device->StopRequested()) {
        try {
            sink.linesRead(device->ModemLines());
        } catch (...) {
        }
        if (device->StopRequested())
            break;
        try {
            Poll();
        } catch (...) {
            try {
                PresenceCheck();
            } catch (...) {
            }
        }
        device->WaitForStop(pace.delay.load());
    }
    device->Finish(sink.disconnected);
}

void TComThread::Poll() {
    const int n = std::max(device->QueuedInput(), 0);
    if (n == 0) {
        PresenceCheck();
        return;
    }
    if (!pace.autoReceive.load()) {
        sink.inputWaiting(n);
        return;
    }
    // A peer that floods the line is read at a bounded pace: the rest waits
    // in the kernel, which then holds the peer back.
    QByteArray chunk = device->Read(std::min(n, readLimit));
    if (pace.discardNulls.load())
        chunk.erase(std::remove(chunk.begin(), chunk.end(), '\0'), chunk.end());
    if (chunk.isEmpty()) {
        PresenceCheck();
        return;
    }
    sink.received(chunk);
}

void TComThread::PresenceCheck() {
    // A connection that is already ending reports no fault after its end.
    if (!device->StopRequested() && sink.lost())
        device->RequestStop();
}
