// Serial port component: opens one serial device, writes text to it and
// delivers what it reads through events raised by its reader thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

// 0 = no port, 1..254 = "COM"+n, 255 = the port named by CustomPortName.
enum TCommPort : std::uint8_t { spNone = 0, spCOM1 = 1, spCOM254 = 254, spCustom = 255 };

enum TBaudRate {
    br000075, br000110, br000134, br000150, br000300, br000600, br001200, br001800,
    br002400, br004800, br007200, br009600, br014400, br019200, br038400, br057600,
    br115200, br128000, br230400, br256000, br460800, br921600, brCustom
};
enum TDataWidth { dw5Bits, dw6Bits, dw7Bits, dw8Bits };
enum TStopBits { sb1Bit = 0, sb1_5Bits = 1, sb2Bits = 2 };
enum TParityBits { pbNone = 0, pbOdd = 1, pbEven = 2, pbMark = 3, pbSpace = 4 };
enum THwFlowControl { hfNONE, hfDTRDSR, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };

class ESerialPortException : public std::runtime_error {
public:
    explicit ESerialPortException(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};

class TSerialPort;
using TSendReceiveEvent = std::function<void(TSerialPort *Sender, const QByteArray &Buffer)>;
using TConnectEvent = std::function<void(TSerialPort *Sender, TCommPort Port)>;

// Fills List (emptied first) with the serial devices present now, as the
// system spells them (e.g. /dev/ttyUSB0), in natural name order.
void EnumeratePorts(QStringList &List);
QStringList EnumeratePorts();
TCommPort CommPortFromName(const QString &Name);
TBaudRate BaudRateFromInt(int Rate);

class TSerialPort : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSerialPort)
public:
    explicit TSerialPort(QObject *Owner = nullptr);
    ~TSerialPort() override;

    // Line settings, applied at Open.
    TCommPort Port() const;
    void SetPort(TCommPort Value);
    // The device that Open opens, exactly as given (a path such as /dev/ttyUSB0).
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

    // True: events run on the GUI thread and the reader waits for each.
    bool SynchronizeEvents = true;

    bool Connected() const;
    // Raises ESerialPortException("Cannot connect to %s. %s").
    void Open();
    // Ends the open connection; OnDisconnect runs before this returns. Never raises.
    void Close();
    // Writes the bytes up to a first NUL; raises "%s is not open. Serial port is not connected."
    int SendString(const QByteArray &Text);

    TSendReceiveEvent OnReceive;
    TConnectEvent OnDisconnect;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
