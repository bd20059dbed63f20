// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Connection.h"

#include "serial/DeviceAccess.h"
#include "serial/SerialPort.h"
#include "serial/Transport.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

QString Connection::Open(TSerialPort &port, const QString &name) {
    port.SetPortName(name.trimmed());
    port.SetBaudRate(BaudRateFromInt(9600));
    port.SetDataWidth(dw8Bits);
    port.SetParity(pbNone);
    port.SetStopBits(sb1Bit);
    port.SetHwFlowControl(hfNONE);
    port.SetSwFlowControl(sfNONE);
    port.SynchronizeEvents = true;
    try {
        port.Open();
    } catch (const ESerialPortException &e) {
        QString message = e.Message();
        const int error = port.LastOpenError();
        if ((error == EACCES || error == EPERM) && !Transport::IsTcpName(name))
            message += QStringLiteral("\n\n") + DeviceAccess::Explain(name.trimmed()).text;
        return message;
    }
    return QString();
}

QString Connection::WaitReason(int error, const QString &failure, const QString &name) {
    switch (Transport::IsTcpName(name) ? 0 : error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied: ") + DeviceAccess::Explain(name.trimmed()).text;
    case EBUSY:
    case EAGAIN: { // a lock another program holds
        // The holder as the port's failure names it, as the panel shows it.
        const QLatin1String inUse("In use by ");
        const qsizetype at = failure.indexOf(inUse);
        if (at >= 0)
            return QStringLiteral("busy: %1 has it open")
                .arg(failure.mid(at + inUse.size()).section(QLatin1Char('\n'), 0, 0).trimmed());
        return QStringLiteral("busy: another program has it open");
    }
    case ENOTTY:
        return QStringLiteral("not a terminal, so not a serial port");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("no such device");
    default:
        break;
    }
    QString text = failure.section(QStringLiteral("\n"), 0, 0);
    const QString prefix = QStringLiteral("Cannot connect to ") + name.trimmed();
    if (text.startsWith(prefix))
        text = text.mid(prefix.size() + 2); // and its ". " or ": "
    return text.trimmed();
}

bool Connection::NewReason(const QString &r) {
    if (r == reason)
        return false;
    reason = r;
    return true;
}

std::optional<qint64> Connection::PeerClosed(bool network, qint64 now) {
    // Closed by the peer just after we asked for the amplifier: another
    // client that takes the port from whoever has it (ser2net's
    // kickolduser). Twice in a row, we wait longer each time, so that two
    // programs do not take the port from each other for ever.
    const bool taken = network && askedAt >= 0 && now - askedAt <= TakenWithinMs;
    takenInARow = taken ? takenInARow + 1 : 0;
    if (takenInARow < 2)
        return std::nullopt;
    const int step = std::min<int>(takenInARow - 2, int(std::size(TakenWaitsMs)) - 1);
    retryAt = now + TakenWaitsMs[step];
    return retryAt;
}
