// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port component: settings, name and rate conversions, Open/Close/
// SendString, and the events of its reader thread. Each connection is a
// device (SerialDevice), which the port writes to, and a reader (ComThread)
// that reads it and hands what it finds to callbacks the port gives it; the
// reader never calls the port, and the port writes through the device (its
// output queue in OutputQueue). The Linux calls are in PosixSerial and
// Transport.
#include "serial/SerialPort.h"

#include "serial/ComThread.h"
#include "serial/OutputQueue.h"
#include "serial/PosixSerial.h"
#include "serial/SerialDevice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

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

namespace {

constexpr std::array<int, 22> FixedRates = {
    75,   110,   134,   150,   300,   600,    1200,   1800,   2400,   4800,   7200,
    9600, 14400, 19200, 38400, 57600, 115200, 128000, 230400, 256000, 460800, 921600};

const char *const NotOpenText = "%1 is not open. Serial port is not connected.";

QString TrimBlanksAndControls(const QString &s) {
    int begin = 0;
    int end = s.size();
    while (begin < end && s.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

bool ValidWidthAndStop(int dataBits, TStopBits stop) {
    if (stop == sb2Bits)
        return dataBits != 5;
    if (stop == sb1_5Bits)
        return dataBits == 5;
    return true;
}

} // namespace

// ---- Pure conversions --------------------------------------------------------

TCommPort CommPortFromName(const QString &Name) {
    const QString s = TrimBlanksAndControls(Name).toUpper();
    if (s.isEmpty())
        return spNone;
    if (s.size() < 4 || s.size() > 6 || !s.startsWith(QLatin1String("COM")) ||
        s.at(3) == QLatin1Char('0'))
        return spCustom;
    int n = 0;
    for (int i = 3; i < s.size(); ++i) {
        const ushort c = s.at(i).unicode();
        if (c < '0' || c > '9')
            return spCustom;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 254 ? static_cast<TCommPort>(n) : spCustom;
}

QString CommPortNameFor(TCommPort Value, const QString &CustomPortName) {
    if (Value == spNone)
        return QString();
    if (Value == spCustom) {
        const QString custom = TrimBlanksAndControls(CustomPortName);
        return custom.isEmpty() ? QStringLiteral("vcom1") : custom;
    }
    return QStringLiteral("COM") + QString::number(int(Value));
}

TBaudRate BaudRateFromInt(int Rate) {
    const auto it = std::find(FixedRates.begin(), FixedRates.end(), Rate);
    return it == FixedRates.end() ? brCustom : static_cast<TBaudRate>(it - FixedRates.begin());
}

int FixedBaudRate(TBaudRate Value) {
    return Value >= br000075 && Value < brCustom ? FixedRates[Value] : 0;
}

int ThreadPriorityNice(TThreadPriority Value) {
    static constexpr std::array<int, 7> Nice = {19, 10, 5, 0, -5, -10, -20};
    return Value >= tpIdle && Value <= tpTimeCritical ? Nice[Value] : 0;
}

QStringList EnumeratePorts(const QString &SysClassTtyDir, const QString &DevDir) {
    QStringList ports = PosixSerial::ListSerialDevices(SysClassTtyDir, DevDir);
    // An adapter with a by-id link is offered by that link: it keeps its name
    // across replugs, whatever ttyUSB number it gets.
    const QList<PosixSerial::ByIdLink> links = PosixSerial::ListByIdLinks(DevDir);
    for (QString &port : ports) {
        const QString device = QFileInfo(port).fileName();
        for (const PosixSerial::ByIdLink &link : links) {
            if (link.device == device) {
                port = link.path;
                break;
            }
        }
    }
    return ports;
}

QString PortLabel(const QString &Name) {
    const QFileInfo info(Name);
    if (!info.isSymLink() || info.dir().dirName() != QLatin1String("by-id"))
        return Name;
    const QString device = QFileInfo(info.symLinkTarget()).fileName();
    const QString product = PosixSerial::ProductFromById(info.fileName());
    if (product.isEmpty())
        return device;
    return device + QStringLiteral(" \u2014 ") + product;
}

QString ListedPortFor(const QStringList &List, const QString &Name) {
    const QString name = TrimBlanksAndControls(Name);
    if (name.isEmpty())
        return QString();
    for (const QString &entry : List) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    // The same device under another name (its node and its by-id link).
    const QString target = QFileInfo(name).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    for (const QString &entry : List) {
        if (QFileInfo(entry).canonicalFilePath() == target)
            return entry;
    }
    return QString();
}

QStringList EnumeratePorts() {
    return EnumeratePorts(QStringLiteral("/sys/class/tty"), QStringLiteral("/dev"));
}

void EnumeratePorts(QStringList &List) {
    List = EnumeratePorts();
}

bool IsPortPresent(const QString &Name) {
    const QString name = TrimBlanksAndControls(Name);
    if (name.isEmpty())
        return false;
    if (PosixSerial::IsCharacterDevice(name))
        return true;
    return EnumeratePorts().contains(name, Qt::CaseInsensitive);
}

// ---- Private state and the reader's events --------------------------------------

namespace {

// One open connection as the port keeps it: the device, its reader, and
// whether one of the reader's events runs on the port's thread now.
struct Connection {
    std::shared_ptr<SerialDevice> device;
    std::unique_ptr<TComThread> reader; // joined before the device goes
    bool handlerRunning = false;        // the port's thread only
};

} // namespace

struct TSerialPort::Private {
    explicit Private(TSerialPort *Port) : q(Port) {}

    TSerialPort *q;

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
    TThreadPriority priority = tpNormal;
    // Delay, AutoReceive and DiscardNulls: read by the reader at every pass.
    TComThread::Pace pace;
    QString customPortName = QStringLiteral("vcom1");
    int customBaudRate = 0;
    std::atomic<bool> logInput{false};
    std::atomic<bool> logDateTime{false};
    std::atomic<bool> keepEntireBuffer{false};
    QByteArray newLine = QByteArrayLiteral("\r\n");
    int maxLineLength = 0;

    // Run-time state.
    // Guards connection and the output queue against a Close or a send
    // from another thread.
    std::mutex connectionMutex;
    // Shared so that a Close or Open running further up the stack keeps the
    // connection it works on alive while a nested call releases the reference.
    std::shared_ptr<Connection> connection;
    // Ended connections whose reader thread had not returned yet; joined later.
    std::vector<std::shared_ptr<Connection>> finishing;
    std::atomic<TLineStatusSet> lineStatus{0};
    std::atomic<std::uint32_t> notifiedQueueCount{0};
    std::atomic<bool> dying{false};
    int lastOpenError = 0;
    // An Open is waiting for a network peer; the events run meanwhile may not open another.
    bool opening = false;
    // Output the device has not taken yet, in order; guarded by connectionMutex.
    OutputQueue output{TSerialPort::OutputLimit};
    QTimer *flushTimer = nullptr; // the owner's thread: writes the queue as the device takes it

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
        finishing.erase(std::remove_if(finishing.begin(), finishing.end(),
                                       [](const std::shared_ptr<Connection> &c) {
                                           return c->reader->isFinished();
                                       }),
                        finishing.end());
    }
    // Keeps an ended connection whose reader thread still runs until it can be joined.
    void KeepUntilFinished(const std::shared_ptr<Connection> &c) {
        if (c->reader->Started() && !c->reader->isFinished() &&
            std::find(finishing.begin(), finishing.end(), c) == finishing.end())
            finishing.push_back(c);
    }
    std::shared_ptr<Connection> Current() {
        std::lock_guard<std::mutex> lock(connectionMutex);
        return connection;
    }

    // The port a device serves; spNone once its connection has ended.
    static TCommPort PortOf(const SerialDevice &Device) {
        return Device.Connected() ? CommPortFromName(Device.Path()) : spNone;
    }
    // Whether the device is gone: hung up, or no longer listed by the
    // system. The listing costs a directory scan and is skipped at fast
    // polling; a network peer is not in the system's list at all.
    bool DeviceGone(SerialDevice &Device) const {
        return Device.HungUp() || (Device.ListedBySystem() && pace.delay.load() >= 50 &&
                                   !IsPortPresent(Device.Path()));
    }
    // Runs fn as one of the connection's events: on the GUI thread with the
    // reader waiting when SynchronizeEvents is set, on the calling thread
    // otherwise. A handler's exception comes back to the caller.
    void Raise(Connection &Conn, const std::function<void()> &fn);
    void WriteLog(const QByteArray &Chunk);
    // Close's wait for an ending connection, bounded; runs the events its
    // reader hands over meanwhile.
    void WaitForEnd(SerialDevice &Device, int TimeoutMs);

    // What the connection's reader finds, as the port's events. Each runs on
    // the reader thread, or on the port's when the port ends the connection.
    TComThread::Sink SinkFor(Connection &Conn);
    void LinesRead(Connection &Conn, std::uint8_t Lines);
    void InputWaiting(Connection &Conn, int Count);
    void Received(Connection &Conn, const QByteArray &Chunk);
    bool Lost(Connection &Conn);
    void Disconnected(Connection &Conn);
};

void TSerialPort::Private::Raise(Connection &Conn, const std::function<void()> &fn) {
    if (dying)
        return;
    if (QThread::currentThread() == q->thread()) {
        // Raised by the component on the reader's behalf.
        const bool outer = Conn.handlerRunning;
        Conn.handlerRunning = true;
        try {
            fn();
        } catch (...) {
            Conn.handlerRunning = outer;
            throw;
        }
        Conn.handlerRunning = outer;
        return;
    }
    if (!q->SynchronizeEvents) {
        fn();
        return;
    }
    std::exception_ptr error;
    ORVIK_HANDOFF_RELEASE(&error);
    QMetaObject::invokeMethod(
        q,
        [&] {
            ORVIK_HANDOFF_ACQUIRE(&error);
            if (!dying) {
                Conn.handlerRunning = true;
                try {
                    fn();
                } catch (...) {
                    error = std::current_exception();
                }
                Conn.handlerRunning = false;
            }
            ORVIK_HANDOFF_RELEASE(&error);
        },
        Qt::BlockingQueuedConnection);
    ORVIK_HANDOFF_ACQUIRE(&error);
    if (error)
        std::rethrow_exception(error);
}

TComThread::Sink TSerialPort::Private::SinkFor(Connection &Conn) {
    // The connection outlives its reader, which it joins when it goes.
    TComThread::Sink sink;
    sink.linesRead = [this, &Conn](std::uint8_t Lines) { LinesRead(Conn, Lines); };
    sink.inputWaiting = [this, &Conn](int Count) { InputWaiting(Conn, Count); };
    sink.received = [this, &Conn](const QByteArray &Chunk) { Received(Conn, Chunk); };
    sink.lost = [this, &Conn] { return Lost(Conn); };
    sink.disconnected = [this, &Conn] { Disconnected(Conn); };
    return sink;
}

void TSerialPort::Private::LinesRead(Connection &Conn, std::uint8_t Lines) {
    if (Lines == lineStatus.load())
        return;
    lineStatus = Lines;
    Raise(Conn, [this, Lines] {
        if (q->OnLineStatusChange)
            q->OnLineStatusChange(q, Lines);
    });
}

void TSerialPort::Private::InputWaiting(Connection &Conn, int Count) {
    // Each growth of the queue is announced once; nothing is read.
    if (std::uint32_t(Count) <= notifiedQueueCount.load())
        return;
    notifiedQueueCount = std::uint32_t(Count);
    Raise(Conn, [this] {
        if (q->OnReceive)
            q->OnReceive(q, QByteArray());
    });
}

void TSerialPort::Private::Received(Connection &Conn, const QByteArray &Chunk) {
    {
        std::lock_guard<std::mutex> lock(dataMutex);
        lastReceived = Chunk;
        if (keepEntireBuffer) {
            try {
                entireBuffer.append(Chunk);
            } catch (...) {
                entireBuffer.clear();
            }
        }
    }
    Raise(Conn, [this, Chunk] {
        if (q->OnReceive)
            q->OnReceive(q, Chunk);
    });
    if (logInput)
        WriteLog(Chunk);
}

bool TSerialPort::Private::Lost(Connection &Conn) {
    if (!DeviceGone(*Conn.device))
        return false;
    if (Conn.device->ClaimFault()) {
        const TCommPort port = PortOf(*Conn.device);
        try {
            Raise(Conn, [this, port] {
                if (q->OnFault)
                    q->OnFault(q, port);
            });
        } catch (...) {
        }
    }
    return true;
}

void TSerialPort::Private::Disconnected(Connection &Conn) {
    const TCommPort port = CommPortFromName(Conn.device->Path());
    Raise(Conn, [this, port] {
        if (q->OnDisconnect)
            q->OnDisconnect(q, port);
    });
}

void TSerialPort::Private::WriteLog(const QByteArray &Chunk) {
    QString name;
    {
        std::lock_guard<std::mutex> lock(dataMutex);
        name = logFile;
    }
    const ESerialPortException failure(QStringLiteral("Invalid log file name or access denied."));
    QFile file(name);
    if (name.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw failure;
    QByteArray text;
    if (logDateTime) {
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

// ---- Component -------------------------------------------------------------------

TSerialPort::TSerialPort(QObject *Owner) : QObject(Owner), d(std::make_unique<Private>(this)) {
    d->flushTimer = new QTimer(this);
    d->flushTimer->setInterval(10);
    connect(d->flushTimer, &QTimer::timeout, this, &TSerialPort::FlushOutput);
}

TSerialPort::~TSerialPort() {
    // The owner is going away: no more events, and no reader may outlive us.
    d->dying = true;
    std::vector<std::shared_ptr<Connection>> connections = std::move(d->finishing);
    {
        std::lock_guard<std::mutex> lock(d->connectionMutex);
        if (d->connection)
            connections.push_back(std::move(d->connection));
    }
    for (auto &c : connections)
        c->device->RequestStop();
    // A reader may be waiting on a blocking call to this thread; let it through.
    for (auto &c : connections) {
        while (!c->reader->wait(5))
            QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

TCommPort TSerialPort::Port() const {
    return CommPortFromName(d->portName);
}

void TSerialPort::SetPort(TCommPort Value) {
    if (Value != CommPortFromName(d->portName))
        d->portName = CommPortName(Value);
}

QString TSerialPort::PortName() const {
    return d->portName;
}
void TSerialPort::SetPortName(const QString &Value) {
    d->portName = Value;
}

TBaudRate TSerialPort::BaudRate() const {
    return BaudRateFromInt(d->baudRate);
}
void TSerialPort::SetBaudRate(TBaudRate Value) {
    d->baudRate = BaudRateToInt(Value);
    ReApplyLineSettings();
}

TDataWidth TSerialPort::DataWidth() const {
    switch (d->dataBits) {
    case 5:
        return dw5Bits;
    case 6:
        return dw6Bits;
    case 7:
        return dw7Bits;
    default:
        return dw8Bits;
    }
}

void TSerialPort::SetDataWidth(TDataWidth Value) {
    const int bits = 5 + int(Value);
    if (!ValidWidthAndStop(bits, StopBits()))
        throw ESerialPortException(QStringLiteral("Invalid data-width and stop-bits combination."));
    d->dataBits = bits;
    ReApplyLineSettings();
}

TParityBits TSerialPort::Parity() const {
    return d->parity >= pbNone && d->parity <= pbSpace ? TParityBits(d->parity) : pbNone;
}
void TSerialPort::SetParity(TParityBits Value) {
    d->parity = Value;
    ReApplyLineSettings();
}

TStopBits TSerialPort::StopBits() const {
    return d->stopBits >= sb1Bit && d->stopBits <= sb2Bits ? TStopBits(d->stopBits) : sb1Bit;
}
void TSerialPort::SetStopBits(TStopBits Value) {
    if (!ValidWidthAndStop(d->dataBits, Value))
        throw ESerialPortException(QStringLiteral("Invalid data-width and stop-bits combination."));
    d->stopBits = Value;
    ReApplyLineSettings();
}

// Setters of the "if changed: store, re-apply" kind.
#define ORVIK_LINE_SETTING(Type, Name, member)                                                     \
    Type TSerialPort::Name() const {                                                               \
        return d->member;                                                                          \
    }                                                                                              \
    void TSerialPort::Set##Name(Type Value) {                                                      \
        if (d->member == Value)                                                                    \
            return;                                                                                \
        d->member = Value;                                                                         \
        ReApplyLineSettings();                                                                     \
    }

ORVIK_LINE_SETTING(THwFlowControl, HwFlowControl, hwFlow)
ORVIK_LINE_SETTING(TSwFlowControl, SwFlowControl, swFlow)
ORVIK_LINE_SETTING(bool, EnableDTROnOpen, enableDTROnOpen)
ORVIK_LINE_SETTING(bool, EnableRTSOnOpen, enableRTSOnOpen)
ORVIK_LINE_SETTING(char, XonChar, xonChar)
ORVIK_LINE_SETTING(char, XoffChar, xoffChar)
ORVIK_LINE_SETTING(std::uint16_t, XonLim, xonLim)
ORVIK_LINE_SETTING(std::uint16_t, XoffLim, xoffLim)
ORVIK_LINE_SETTING(bool, ParityCheck, parityCheck)
ORVIK_LINE_SETTING(bool, ReplaceParityErrors, replaceParityErrors)
ORVIK_LINE_SETTING(bool, DsrSensitivity, dsrSensitivity)
ORVIK_LINE_SETTING(bool, TXContinueOnXoff, txContinueOnXoff)
ORVIK_LINE_SETTING(char, ErrorChar, errorChar)
ORVIK_LINE_SETTING(char, EofChar, eofChar)
ORVIK_LINE_SETTING(char, EvtChar, evtChar)
#undef ORVIK_LINE_SETTING

bool TSerialPort::DiscardNulls() const {
    return d->pace.discardNulls;
}
void TSerialPort::SetDiscardNulls(bool Value) {
    if (d->pace.discardNulls == Value)
        return;
    d->pace.discardNulls = Value;
    ReApplyLineSettings();
}

// Store-only settings.
#define ORVIK_STORED_SETTING(Type, Name, member)                                                   \
    Type TSerialPort::Name() const {                                                               \
        return d->member;                                                                          \
    }                                                                                              \
    void TSerialPort::Set##Name(Type Value) {                                                      \
        d->member = Value;                                                                         \
    }

ORVIK_STORED_SETTING(std::uint32_t, ReadIntervalTimeout, readIntervalTimeout)
ORVIK_STORED_SETTING(std::uint32_t, ReadTotalTimeoutMultiplier, readTotalTimeoutMultiplier)
ORVIK_STORED_SETTING(std::uint32_t, ReadTotalTimeoutConstant, readTotalTimeoutConstant)
ORVIK_STORED_SETTING(std::uint32_t, WriteTotalTimeoutMultiplier, writeTotalTimeoutMultiplier)
ORVIK_STORED_SETTING(std::uint32_t, WriteTotalTimeoutConstant, writeTotalTimeoutConstant)
ORVIK_STORED_SETTING(std::uint32_t, Delay, pace.delay)
ORVIK_STORED_SETTING(bool, LogInput, logInput)
ORVIK_STORED_SETTING(bool, LogDateTime, logDateTime)
ORVIK_STORED_SETTING(bool, KeepEntireBuffer, keepEntireBuffer)
ORVIK_STORED_SETTING(int, MaxLineLength, maxLineLength)
#undef ORVIK_STORED_SETTING

QByteArray TSerialPort::NewLine() const {
    return d->newLine;
}
void TSerialPort::SetNewLine(const QByteArray &Value) {
    d->newLine = Value;
}

// The Linux driver's queues cannot be resized; the values are kept for the record.
std::uint32_t TSerialPort::InputBuffer() const {
    return d->inputBuffer;
}
void TSerialPort::SetInputBuffer(std::uint32_t Value) {
    d->inputBuffer = Value;
}
std::uint32_t TSerialPort::OutputBuffer() const {
    return d->outputBuffer;
}
void TSerialPort::SetOutputBuffer(std::uint32_t Value) {
    d->outputBuffer = Value;
}

TThreadPriority TSerialPort::Priority() const {
    return d->priority;
}
void TSerialPort::SetPriority(TThreadPriority Value) {
    if (d->priority == Value)
        return;
    d->priority = Value;
    if (const auto c = d->Current())
        c->reader->SetNice(ThreadPriorityNice(Value));
}

QString TSerialPort::CustomPortName() const {
    return d->customPortName;
}
void TSerialPort::SetCustomPortName(const QString &Value) {
    d->customPortName = TrimBlanksAndControls(Value);
    if (Port() == spCustom)
        d->portName = d->customPortName;
}

int TSerialPort::CustomBaudRate() const {
    return d->customBaudRate;
}
void TSerialPort::SetCustomBaudRate(int Value) {
    d->customBaudRate = Value;
    if (BaudRate() == brCustom) {
        d->baudRate = Value;
        ReApplyLineSettings();
    }
}

QString TSerialPort::LogFile() const {
    std::lock_guard<std::mutex> lock(d->dataMutex);
    return d->logFile;
}
void TSerialPort::SetLogFile(const QString &Value) {
    std::lock_guard<std::mutex> lock(d->dataMutex);
    d->logFile = Value;
}

bool TSerialPort::AutoReceive() const {
    return d->pace.autoReceive;
}
void TSerialPort::SetAutoReceive(bool Value) {
    if (d->pace.autoReceive == Value)
        return;
    d->pace.autoReceive = Value;
    d->notifiedQueueCount = 0;
}

int TSerialPort::BaudRateToInt(TBaudRate Value) const {
    return Value == brCustom ? d->customBaudRate : FixedBaudRate(Value);
}

QString TSerialPort::CommPortName(TCommPort Value) const {
    return CommPortNameFor(Value, d->customPortName);
}

bool TSerialPort::Connected() const {
    return ConnectedPort() != spNone;
}

TCommPort TSerialPort::ConnectedPort() const {
    const auto c = d->Current();
    return c ? Private::PortOf(*c->device) : spNone;
}

TLineStatusSet TSerialPort::LineStatus() const {
    return d->lineStatus;
}

QByteArray TSerialPort::LastReceived() const {
    std::lock_guard<std::mutex> lock(d->dataMutex);
    return d->lastReceived;
}

QByteArray TSerialPort::EntireBuffer() const {
    std::lock_guard<std::mutex> lock(d->dataMutex);
    return d->entireBuffer;
}

std::uint32_t TSerialPort::NotifiedQueueCount() const {
    return d->notifiedQueueCount;
}

int TSerialPort::LastOpenError() const {
    return d->lastOpenError;
}

void TSerialPort::ReApplyLineSettings() {
    const auto c = d->Current();
    if (!c)
        return;
    const std::optional<bool> accepted = c->device->Reconfigure(d->LineConfig());
    if (accepted && !*accepted)
        Close();
}

int TSerialPort::QueuedOutput() const {
    std::lock_guard<std::mutex> lock(d->connectionMutex);
    return d->output.Bytes();
}

int TSerialPort::DroppedRepeats() const {
    std::lock_guard<std::mutex> lock(d->connectionMutex);
    return d->output.DroppedRepeats();
}

void TSerialPort::Open() {
    d->ReapFinished();
    const QString name = d->portName;
    const std::shared_ptr<Connection> current = d->Current();
    // The same device already open: nothing to do. A different path is a
    // different port even though every path maps to spCustom.
    if (current && !current->device->StopRequested() && current->device->Path() == name)
        return;
    if (!current && CommPortFromName(name) == spNone)
        return;
    // The old connection ends, OnDisconnect included, before the new one opens.
    if (current)
        Close();
    d->notifiedQueueCount = 0;
    {
        std::lock_guard<std::mutex> lock(d->dataMutex);
        d->entireBuffer.clear();
    }
    if (d->opening)
        throw ESerialPortException(
            QStringLiteral("Cannot connect to %1: another port is still connecting").arg(name));
    d->opening = true;
    std::shared_ptr<SerialDevice> device;
    try {
        device = std::make_shared<SerialDevice>(name, d->LineConfig());
    } catch (...) {
        d->opening = false;
        throw;
    }
    d->opening = false;
    if (!device->Connected()) {
        d->lastOpenError = device->OpenError();
        throw ESerialPortException(device->OpenFailure());
    }
    d->lastOpenError = 0;
    const auto connection = std::make_shared<Connection>();
    connection->device = device;
    connection->reader =
        std::make_unique<TComThread>(device, d->pace, d->SinkFor(*connection), ReadLimit);
    connection->reader->SetNice(ThreadPriorityNice(d->priority));
    {
        std::lock_guard<std::mutex> lock(d->connectionMutex);
        d->connection = connection;
        d->output.Restart();
    }
    std::exception_ptr error;
    if (OnConnect) {
        try {
            OnConnect(this, Private::PortOf(*device));
        } catch (...) {
            error = std::current_exception();
        }
    }
    // OnConnect may have closed this connection or opened another one.
    if (d->Current() == connection && !device->StopRequested())
        connection->reader->Start();
    if (error)
        std::rethrow_exception(error);
}

void TSerialPort::Close() {
    d->notifiedQueueCount = 0;
    if (QThread::currentThread() != thread()) {
        // From the reader (or any other thread): it cannot wait for itself, so
        // only ask it to stop; its exit raises OnDisconnect.
        if (const auto c = d->Current())
            c->device->RequestStop();
        return;
    }
    std::shared_ptr<Connection> connection;
    {
        std::lock_guard<std::mutex> lock(d->connectionMutex);
        connection = d->connection;
        // What the device never took goes with the connection.
        d->output.Clear();
    }
    d->flushTimer->stop();
    if (connection) {
        SerialDevice &device = *connection->device;
        device.RequestStop();
        if (!connection->reader->Started() || connection->handlerRunning)
            // Not started yet (Close from OnConnect), or waiting for the very
            // handler that calls Close: the reader cannot end the connection
            // now, so it is ended here.
            device.Finish([this, &connection] { d->Disconnected(*connection); });
        else
            d->WaitForEnd(device, int(std::min<std::uint32_t>(d->pace.delay, 60000)) + 4990);
        // Released only after the wait: handlers that ran during it could still send.
        {
            std::lock_guard<std::mutex> lock(d->connectionMutex);
            if (d->connection == connection)
                d->connection.reset();
        }
        d->lineStatus = 0;
        d->KeepUntilFinished(connection);
    }
    d->ReapFinished();
}

void TSerialPort::Private::WaitForEnd(SerialDevice &Device, int TimeoutMs) {
    const QDeadlineTimer deadline(TimeoutMs);
    while (!Device.Ended() && !deadline.hasExpired()) {
        // Lets the ending reader's synchronized events (OnDisconnect) run now.
        QCoreApplication::sendPostedEvents(q, QEvent::MetaCall);
        Device.WaitEnded(2);
    }
}

bool TSerialPort::PresenceCheckAfterSend(bool writeFailed) {
    const std::shared_ptr<Connection> connection = d->Current();
    // A write that fails ends the connection even with input still unread:
    // a stream reset by its peer or a terminal hung up takes no more.
    if (!connection || connection->device->StopRequested() ||
        (!writeFailed && !d->DeviceGone(*connection->device)))
        return false;
    const TCommPort port = Private::PortOf(*connection->device);
    try {
        if (connection->device->ClaimFault() && OnFault)
            OnFault(this, port);
    } catch (...) {
    }
    Close();
    return true;
}

void TSerialPort::FlushOutput() {
    QByteArray written;
    bool failed = false;
    bool empty = true;
    {
        std::lock_guard<std::mutex> lock(d->connectionMutex);
        SerialDevice *device = d->connection ? d->connection->device.get() : nullptr;
        while (device && !d->output.IsEmpty()) {
            const QByteArray head = d->output.Head();
            const std::optional<long> w = device->Write(head);
            if (!w) {
                d->output.Clear(); // the device is closed
                break;
            }
            if (*w < 0) {
                failed = true;
                break;
            }
            written += head.left(int(*w));
            d->output.Took(*w);
            if (*w < head.size())
                break;
        }
        if (!device)
            d->output.Clear();
        empty = d->output.IsEmpty();
    }
    if (empty)
        d->flushTimer->stop();
    if (!written.isEmpty() && OnSend) {
        try {
            OnSend(this, written);
        } catch (...) {
        }
    }
    if (failed)
        PresenceCheckAfterSend(true);
}

int TSerialPort::SendString(const QByteArray &Text, TSendKind Kind) {
    const int nul = Text.indexOf('\0');
    const QByteArray bytes = nul < 0 ? Text : Text.left(nul);
    const QString notOpen = QString::fromLatin1(NotOpenText).arg(d->portName);
    long written = 0;
    bool open = false;
    OutputQueue::Added queued = OutputQueue::Added::Yes;
    bool waiting = false;
    {
        std::lock_guard<std::mutex> lock(d->connectionMutex);
        if (d->connection) {
            // Behind a queue the line waits its turn; else it goes now, as far
            // as the device takes it without waiting.
            SerialDevice &device = *d->connection->device;
            std::optional<long> w;
            if (d->output.IsEmpty())
                w = device.Write(bytes);
            else if (device.IsOpen())
                w = 0L;
            open = w.has_value();
            written = w.value_or(0);
            // A line begun on the wire is finished, whatever it is.
            if (open && written >= 0 && written < bytes.size())
                queued = d->output.Add(bytes.mid(int(written)), Kind == skRepeat && written == 0);
            waiting = !d->output.IsEmpty();
        }
    }
    if (!open)
        throw ESerialPortException(notOpen);
    if (written < 0) {
        PresenceCheckAfterSend(true);
        throw ESerialPortLost(notOpen);
    }
    if (waiting) {
        if (QThread::currentThread() != thread())
            QMetaObject::invokeMethod(d->flushTimer, qOverload<>(&QTimer::start));
        else if (!d->flushTimer->isActive())
            d->flushTimer->start();
    }
    if (queued == OutputQueue::Added::Refused)
        throw ESerialPortException(QStringLiteral("%1 takes no data: \"%2\" was not sent.")
                                       .arg(d->portName, QString::fromLatin1(bytes).trimmed()));
    try {
        if (written > 0 && OnSend)
            OnSend(this, bytes.left(int(written)));
        else if (bytes.isEmpty())
            PresenceCheckAfterSend(false);
    } catch (...) {
        PresenceCheckAfterSend(false);
        throw ESerialPortException(notOpen);
    }
    return queued == OutputQueue::Added::Dropped ? 0 : int(bytes.size());
}
