// The serial port component's reader thread: opens the device, polls it,
// raises the component's events and closes the device when it ends.
#include "serial/ComThread.h"

#include "serial/PosixSerial.h"
#include "serial/SerialPortPrivate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <chrono>

// ---- Reader thread -------------------------------------------------------------

TComThread::TComThread(TSerialPort *Owner, const QString &Path)
    : owner(Owner), d(Owner->d.get()), path(Path), link(Transport::For(Path)) {
    setObjectName(QStringLiteral("TComThread")); // the thread's name in the system
    const Transport::Opened opened = link->Open(path);
    if (opened.fd < 0) {
        openError = opened.error;
        openFailure = link->FailureMessage(path, opened);
        return;
    }
    fd = opened.fd;
    // A device that refuses the settings is still used with its own.
    link->Configure(fd, d->LineConfig());
    connectedPort = CommPortFromName(path);
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

bool TComThread::Valid() const {
    return fd >= 0 && connectedPort.load() != spNone;
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

void TComThread::ApplyPriority(TThreadPriority Value) {
    PosixSerial::SetThreadNice(threadId.load(), ThreadPriorityNice(Value));
}

bool TComThread::Lost() {
    bool hungUp = false;
    WithDevice([&](int f) { hungUp = link->HungUp(f); });
    if (hungUp)
        return true;
    // Looking the device up costs a directory scan; skipped at fast polling.
    // A network peer is not in the system's device list at all.
    return link->ListedBySystem() && d->delay.load() >= 50 && !IsPortPresent(path);
}

void TComThread::Raise(const std::function<void()> &fn) {
    if (d->dying)
        return;
    if (QThread::currentThread() == owner->thread()) {
        // Raised by the component on the reader's behalf.
        const bool outer = handlerRunning;
        handlerRunning = true;
        try {
            fn();
        } catch (...) {
            handlerRunning = outer;
            throw;
        }
        handlerRunning = outer;
        return;
    }
    if (!owner->SynchronizeEvents) {
        fn();
        return;
    }
    std::exception_ptr error;
    TSerialPort::Private *dd = d;
    ORVIK_HANDOFF_RELEASE(&error);
    QMetaObject::invokeMethod(
        owner,
        [&] {
            ORVIK_HANDOFF_ACQUIRE(&error);
            if (!dd->dying) {
                handlerRunning = true;
                try {
                    fn();
                } catch (...) {
                    error = std::current_exception();
                }
                handlerRunning = false;
            }
            ORVIK_HANDOFF_RELEASE(&error);
        },
        Qt::BlockingQueuedConnection);
    ORVIK_HANDOFF_ACQUIRE(&error);
    if (error)
        std::rethrow_exception(error);
}

void TComThread::run() {
    threadId = PosixSerial::CurrentThreadId();
    ApplyPriority(d->priority);
    while (!stop) {
        try {
            const TLineStatusSet lines = link->ModemLines(fd);
            if (lines != d->lineStatus.load()) {
                d->lineStatus = lines;
                Raise([this, lines] {
                    if (owner->OnLineStatusChange)
                        owner->OnLineStatusChange(owner, lines);
                });
            }
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
        wake.wait_for(lock, std::chrono::milliseconds(d->delay.load()),
                      [this] { return stop.load(); });
    }

    Finish();
}

void TComThread::Finish() {
    // The port reads spNone before OnDisconnect runs, so nobody who sees the
    // event can still find the connection open.
    const TCommPort port =
        disconnectClaimed.exchange(true) ? spNone : connectedPort.exchange(spNone);
    if (port != spNone) {
        try {
            Raise([this, port] {
                if (owner->OnDisconnect)
                    owner->OnDisconnect(owner, port);
            });
        } catch (...) {
        }
    }
    // Closed only now: OnDisconnect may still send.
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
    connectedPort = spNone;
    // Notified under the lock: the last touch of this object by the thread.
    std::lock_guard<std::mutex> lock(waitMutex);
    ended = true;
    wake.notify_all();
}

void TComThread::Poll() {
    const int n = std::max(link->QueuedInput(fd), 0);
    if (!d->autoReceive) {
        if (n == 0) {
            PresenceCheck();
        } else if (std::uint32_t(n) > d->notifiedQueueCount.load()) {
            d->notifiedQueueCount = std::uint32_t(n);
            Raise([this] {
                if (owner->OnReceive)
                    owner->OnReceive(owner, QByteArray());
            });
        }
        return;
    }
    if (n == 0) {
        PresenceCheck();
        return;
    }
    // A peer that floods the line is read at a bounded pace: the rest waits
    // in the kernel, which then holds the peer back.
    PosixSerial::ReadStatus status;
    QByteArray chunk = link->Read(fd, std::min(n, TSerialPort::ReadLimit), &status);
    if (d->discardNulls)
        chunk.erase(std::remove(chunk.begin(), chunk.end(), '\0'), chunk.end());
    if (chunk.isEmpty()) {
        PresenceCheck();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(d->dataMutex);
        d->lastReceived = chunk;
        if (d->keepEntireBuffer) {
            try {
                d->entireBuffer.append(chunk);
            } catch (...) {
                d->entireBuffer.clear();
            }
        }
    }
    Raise([this, chunk] {
        if (owner->OnReceive)
            owner->OnReceive(owner, chunk);
    });
    if (d->logInput)
        WriteLog(chunk);
}

void TComThread::PresenceCheck() {
    // A connection that is already ending reports no fault after its OnDisconnect.
    if (stop || !Lost())
        return;
    if (ClaimFault()) {
        const TCommPort port = connectedPort;
        try {
            Raise([this, port] {
                if (owner->OnFault)
                    owner->OnFault(owner, port);
            });
        } catch (...) {
        }
    }
    RequestStop();
}

void TComThread::WriteLog(const QByteArray &Chunk) {
    QString name;
    {
        std::lock_guard<std::mutex> lock(d->dataMutex);
        name = d->logFile;
    }
    const ESerialPortException failure(QStringLiteral("Invalid log file name or access denied."));
    QFile file(name);
    if (name.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw failure;
    QByteArray text;
    if (d->logDateTime) {
        const QDateTime now = QDateTime::currentDateTime();
        const QLocale locale = QLocale::system();
        text = (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                locale.toString(now.time(), QLocale::LongFormat) + QLatin1Char(' '))
                   .toUtf8() +
               Chunk + QByteArrayLiteral("\r\n");
    } else {
        text = Chunk;
    }
    if (file.write(text) != text.size() || !file.flush())
        throw failure;
}
