// The serial port component's private settings and connection state, shared
// by the component and its reader thread.
#pragma once

#include "serial/SerialPort.h"

#include <QList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TComThread;

// Qt's blocking queued call orders the reader and the GUI thread through a
// semaphore the thread sanitizer cannot see; tell it about that ordering.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#define ORVIK_HANDOFF_ACQUIRE(p) __tsan_acquire(p)
#define ORVIK_HANDOFF_RELEASE(p) __tsan_release(p)
#else
#define ORVIK_HANDOFF_ACQUIRE(p) static_cast<void>(p)
#define ORVIK_HANDOFF_RELEASE(p) static_cast<void>(p)
#endif

struct TSerialPort::Private {
    // Settings, written on the GUI thread. Those the reader reads are atomic.
    QString portName;
    int baudRate = 4800;
    int dataBits = 8;
    int stopBits = sb1Bit;
    int parity = pbNone;
    bool enableDTROnOpen = true;
    bool enableRTSOnOpen = true;
    THwFlowControl hwFlow = hfNONE;
    TSwFlowControl swFlow = sfNONE;
    char xonChar = 17;
    char xoffChar = 19;
    std::uint16_t xonLim = 0;
    std::uint16_t xoffLim = 1;
    bool parityCheck = false;
    bool replaceParityErrors = false;
    std::atomic<bool> discardNulls{false};
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    char errorChar = 0;
    char eofChar = 26;
    char evtChar = 26;
    std::uint32_t readIntervalTimeout = 0xFFFFFFFFu;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 100;
    std::uint32_t writeTotalTimeoutConstant = 1000;
    std::uint32_t inputBuffer = 4096;
    std::uint32_t outputBuffer = 4096;
    std::atomic<TThreadPriority> priority{tpNormal};
    std::atomic<std::uint32_t> delay{100};
    QString customPortName = QStringLiteral("vcom1");
    int customBaudRate = 0;
    std::atomic<bool> logInput{false};
    std::atomic<bool> logDateTime{false};
    std::atomic<bool> autoReceive{true};
    std::atomic<bool> keepEntireBuffer{false};
    QByteArray newLine = QByteArrayLiteral("\r\n");
    int maxLineLength = 0;

    // Run-time state.
    std::mutex readerMutex; // guards reader against a Close from another thread
    // Shared so that a Close or Open running further up the stack keeps the
    // reader it works on alive while a nested call releases the reference.
    std::shared_ptr<TComThread> reader;
    // Started readers told to stop whose thread had not returned yet; joined later.
    std::vector<std::shared_ptr<TComThread>> finishing;
    std::atomic<TLineStatusSet> lineStatus{0};
    std::atomic<std::uint32_t> notifiedQueueCount{0};
    std::atomic<bool> dying{false};
    int lastOpenError = 0;
    // An Open is waiting for a network peer; the events run meanwhile may not open another.
    bool opening = false;
    // Output the device has not taken yet, in order; guarded by readerMutex.
    // A line already begun on the wire is never dropped.
    struct Outgoing {
        QByteArray bytes;
        bool droppable = false;
    };
    QList<Outgoing> output;
    int outputBytes = 0;
    int droppedRepeats = 0;
    QTimer *flushTimer = nullptr; // the owner's thread: writes the queue as the device takes it
    enum class Queued { Yes, Dropped, Refused };
    // Adds a line that the device did not take, making room by dropping the
    // oldest repeats; a repeat that still does not fit is dropped, a command refused.
    Queued Enqueue(const QByteArray &bytes, bool droppable) {
        for (int i = 0;
             i < output.size() && outputBytes + bytes.size() > TSerialPort::OutputLimit;) {
            if (!output.at(i).droppable) {
                ++i;
                continue;
            }
            outputBytes -= int(output.at(i).bytes.size());
            output.removeAt(i);
            ++droppedRepeats;
        }
        if (outputBytes + bytes.size() > TSerialPort::OutputLimit) {
            if (!droppable)
                return Queued::Refused;
            ++droppedRepeats;
            return Queued::Dropped;
        }
        output.append({bytes, droppable});
        outputBytes += int(bytes.size());
        return Queued::Yes;
    }
    void ClearOutput() {
        output.clear();
        outputBytes = 0;
    }

    mutable std::mutex dataMutex; // guards the texts shared with the reader
    QByteArray lastReceived;
    QByteArray entireBuffer;
    QString logFile;

    PosixSerial::LineConfig LineConfig() const {
        PosixSerial::LineConfig c;
        c.baudRate = baudRate;
        c.dataBits = dataBits;
        c.parity = parity;
        c.stopBits = stopBits;
        c.parityCheck = parityCheck;
        c.rtsCtsHandshake = hwFlow == hfRTSCTS;
        c.xonXoff = swFlow == sfXONXOFF;
        c.xonChar = xonChar;
        c.xoffChar = xoffChar;
        // A handshake owns its line; termios has no DTR/DSR handshake, so DTR
        // is simply raised for it.
        c.dtrOn = enableDTROnOpen || hwFlow == hfDTRDSR;
        c.rtsOn = enableRTSOnOpen;
        return c;
    }

    void ReapFinished() {
        finishing.erase(
            std::remove_if(finishing.begin(), finishing.end(),
                           [](const std::shared_ptr<TComThread> &r) { return r->isFinished(); }),
            finishing.end());
    }
    // Keeps a started reader whose thread still runs until it can be joined.
    void KeepUntilFinished(const std::shared_ptr<TComThread> &r) {
        if (r->Started() && !r->isFinished() &&
            std::find(finishing.begin(), finishing.end(), r) == finishing.end())
            finishing.push_back(r);
    }
};
