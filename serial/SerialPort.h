// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port component: opens one serial device, writes text to it and
// delivers what it reads through events raised by its reader thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

// 0 = no port, 1..254 = "COM"+n, 255 = the port named by CustomPortName.
enum TCommPort : std::uint8_t { spNone = 0, spCOM1 = 1, spCOM254 = 254, spCustom = 255 };

enum TBaudRate {
    br000075,
    br000110,
    br000134,
    br000150,
    br000300,
    br000600,
    br001200,
    br001800,
    br002400,
    br004800,
    br007200,
    br009600,
    br014400,
    br019200,
    br038400,
    br057600,
    br115200,
    br128000,
    br230400,
    br256000,
    br460800,
    br921600,
    brCustom
};
enum TDataWidth { dw5Bits, dw6Bits, dw7Bits, dw8Bits };
enum TStopBits { sb1Bit = 0, sb1_5Bits = 1, sb2Bits = 2 };
enum TParityBits { pbNone = 0, pbOdd = 1, pbEven = 2, pbMark = 3, pbSpace = 4 };
enum THwFlowControl { hfNONE, hfDTRDSR, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Modem input lines; a TLineStatusSet holds element n in bit n.
enum TLineStatus { lsCTS, lsDSR, lsRing, lsDCD };
using TLineStatusSet = std::uint8_t;
constexpr TLineStatusSet LineStatusBit(TLineStatus s) {
    return TLineStatusSet(1u << s);
}

class ESerialPortException : public std::runtime_error {
public:
    explicit ESerialPortException(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

// A write failed because the connection has just ended. The component's
// OnFault and OnDisconnect have run before it is raised: the loss is being
// dealt with, and the caller has nothing more to report.
class ESerialPortLost : public ESerialPortException {
public:
    using ESerialPortException::ESerialPortException;
};

// What a line sent is: a command that must go out, or a repeat (a poll, a
// probe, a re-send) that the next round sends again anyway.
enum TSendKind { skCommand, skRepeat };

class TSerialPort;
using TSendReceiveEvent = std::function<void(TSerialPort *Sender, const QByteArray &Buffer)>;
using TConnectEvent = std::function<void(TSerialPort *Sender, TCommPort Port)>;
using TLineStatusEvent = std::function<void(TSerialPort *Sender, TLineStatusSet LineStatus)>;

// Fills List (emptied first) with the serial devices present now, as the
// system spells them (e.g. /dev/ttyUSB0, or its /dev/serial/by-id link), in
// natural order of the device names.
void EnumeratePorts(QStringList &List);
QStringList EnumeratePorts();
// The same listing over other roots (normally /sys/class/tty and /dev). A
// device with a link in DevDir/serial/by-id is listed by that link, in the
// place of its node.
QStringList EnumeratePorts(const QString &SysClassTtyDir, const QString &DevDir);
// Text to show for a listed name: a by-id link as "ttyUSB0 — <product>",
// anything else as it is. Open takes the name, not the label.
QString PortLabel(const QString &Name);
// The entry of List that names Name's port: equal ignoring case, or else the
// same device under another name (/dev/ttyUSB0 and its by-id link); empty if none.
QString ListedPortFor(const QStringList &List, const QString &Name);
// True when Name is listed by EnumeratePorts (case-insensitive) or names an
// existing character device.
bool IsPortPresent(const QString &Name);
// Trimmed and upper-cased: "" -> spNone, "COM1".."COM254" (no leading zero) -> spCOMn,
// anything else -> spCustom.
TCommPort CommPortFromName(const QString &Name);
// "COMn" for spCOMn, the trimmed custom name (or "vcom1" when blank) for spCustom,
// "" for spNone.
QString CommPortNameFor(TCommPort Value, const QString &CustomPortName);
// The fixed rate's value, or brCustom for any other integer.
TBaudRate BaudRateFromInt(int Rate);
// Bits per second of a fixed rate; 0 for brCustom.
int FixedBaudRate(TBaudRate Value);
// Linux nice value used for a thread priority.
int ThreadPriorityNice(TThreadPriority Value);

class TSerialPort : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSerialPort)
public:
    explicit TSerialPort(QObject *Owner = nullptr);
    ~TSerialPort() override;

    // Line settings, applied at Open.
    TCommPort Port() const;
    void SetPort(TCommPort Value);
    // The device that Open opens, exactly as given: a path such as /dev/ttyUSB0,
    // or tcp://HOST:PORT for a raw TCP stream (ser2net); line settings are
    // stored but not sent over TCP, and its Open waits at most 3 s.
    QString PortName() const;
    void SetPortName(const QString &Value);
    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate Value);
    TDataWidth DataWidth() const;
    void SetDataWidth(TDataWidth Value);
    TParityBits Parity() const;
    void SetParity(TParityBits Value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits Value);
    THwFlowControl HwFlowControl() const;
    void SetHwFlowControl(THwFlowControl Value);
    TSwFlowControl SwFlowControl() const;
    void SetSwFlowControl(TSwFlowControl Value);

    // Further line settings: re-applied at once (unread input is discarded) when
    // changed while open.
    bool EnableDTROnOpen() const;
    void SetEnableDTROnOpen(bool Value);
    bool EnableRTSOnOpen() const;
    void SetEnableRTSOnOpen(bool Value);
    char XonChar() const;
    void SetXonChar(char Value);
    char XoffChar() const;
    void SetXoffChar(char Value);
    std::uint16_t XonLim() const;
    void SetXonLim(std::uint16_t Value);
    std::uint16_t XoffLim() const;
    void SetXoffLim(std::uint16_t Value);
    bool ParityCheck() const;
    void SetParityCheck(bool Value);
    bool ReplaceParityErrors() const;
    void SetReplaceParityErrors(bool Value);
    bool DiscardNulls() const;
    void SetDiscardNulls(bool Value);
    bool DsrSensitivity() const;
    void SetDsrSensitivity(bool Value);
    bool TXContinueOnXoff() const;
    void SetTXContinueOnXoff(bool Value);
    char ErrorChar() const;
    void SetErrorChar(char Value);
    char EofChar() const;
    void SetEofChar(char Value);
    char EvtChar() const;
    void SetEvtChar(char Value);

    // Timeouts: stored only. Reads never wait on Linux, and writes do not
    // either: what the device does not take waits in the output queue.
    std::uint32_t ReadIntervalTimeout() const;
    void SetReadIntervalTimeout(std::uint32_t Value);
    std::uint32_t ReadTotalTimeoutMultiplier() const;
    void SetReadTotalTimeoutMultiplier(std::uint32_t Value);
    std::uint32_t ReadTotalTimeoutConstant() const;
    void SetReadTotalTimeoutConstant(std::uint32_t Value);
    std::uint32_t WriteTotalTimeoutMultiplier() const;
    void SetWriteTotalTimeoutMultiplier(std::uint32_t Value);
    std::uint32_t WriteTotalTimeoutConstant() const;
    void SetWriteTotalTimeoutConstant(std::uint32_t Value);
    // Queue sizes: stored; the Linux driver's queues have a fixed size.
    std::uint32_t InputBuffer() const;
    void SetInputBuffer(std::uint32_t Value);
    std::uint32_t OutputBuffer() const;
    void SetOutputBuffer(std::uint32_t Value);

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority Value);
    // Pause of the reader between polls, in ms; Interval is the same setting.
    std::uint32_t Delay() const;
    void SetDelay(std::uint32_t Value);
    std::uint32_t Interval() const { return Delay(); }
    void SetInterval(std::uint32_t Value) { SetDelay(Value); }
    QString CustomPortName() const;
    void SetCustomPortName(const QString &Value);
    int CustomBaudRate() const;
    void SetCustomBaudRate(int Value);
    bool LogInput() const;
    void SetLogInput(bool Value);
    bool LogDateTime() const;
    void SetLogDateTime(bool Value);
    QString LogFile() const;
    void SetLogFile(const QString &Value);
    // True: each chunk is read and delivered. False: nothing is read; OnReceive
    // (empty) announces each growth of the input queue.
    bool AutoReceive() const;
    void SetAutoReceive(bool Value);
    bool KeepEntireBuffer() const;
    void SetKeepEntireBuffer(bool Value);
    // Stored only; the component does no line framing.
    QByteArray NewLine() const;
    void SetNewLine(const QByteArray &Value);
    int MaxLineLength() const;
    void SetMaxLineLength(int Value);

    // Conversions that depend on CustomBaudRate / CustomPortName.
    int BaudRateToInt(TBaudRate Value) const;
    QString CommPortName(TCommPort Value) const;

    // True: events run on the GUI thread and the reader waits for each.
    std::atomic<bool> SynchronizeEvents{true};

    bool Connected() const;
    TCommPort ConnectedPort() const;
    TLineStatusSet LineStatus() const;
    QByteArray LastReceived() const;
    QByteArray EntireBuffer() const;
    std::uint32_t NotifiedQueueCount() const;
    // errno of the last failed Open (0 if none), e.g. to hint at permissions.
    int LastOpenError() const;

    // Raises ESerialPortException("Cannot connect to %s. %s").
    void Open();
    // Ends the open connection; OnDisconnect runs before this returns. Never raises.
    void Close();
    // Writes the bytes up to a first NUL without waiting for the device: what
    // it does not take at once waits in the output queue and leaves from the
    // event loop, in order. Returns the bytes taken (0 for a repeat dropped
    // because the queue is full). Raises "%s is not open. Serial port is not
    // connected." on a closed port, ESerialPortLost (same text) when the
    // write finds the connection gone, and a message naming the command
    // when the queue is full of commands.
    int SendString(const QByteArray &Text, TSendKind Kind = skCommand);
    // Bytes read at most in one poll: a peer that floods the line is read at
    // this pace, the rest waits in the kernel.
    static constexpr int ReadLimit = 16384;
    // Most bytes waiting in the output queue. When a line does not fit, the
    // oldest repeats waiting are dropped first.
    static constexpr int OutputLimit = 4096;
    int QueuedOutput() const;
    // Repeats dropped from the output queue since Open.
    int DroppedRepeats() const;

    TSendReceiveEvent OnReceive;
    TConnectEvent OnDisconnect;
    TSendReceiveEvent OnSend;
    TLineStatusEvent OnLineStatusChange;
    TConnectEvent OnConnect;
    TConnectEvent OnFault;

    struct Private;

private:
    void ReApplyLineSettings();
    // After a write: a write that failed, or a device found gone, ends the
    // connection (OnFault, then Close). True when it did.
    bool PresenceCheckAfterSend(bool writeFailed);
    void FlushOutput();
    std::unique_ptr<Private> d;
};
