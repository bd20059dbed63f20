// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/PortRules.h"

#include "serial/SerialPort.h"
#include "serial/Transport.h"

#include <sys/stat.h>

namespace PortRules {

Selection SelectConfigured(const QStringList &ports, const std::optional<QString> &configured,
                           const std::function<bool(const QString &)> &isCharDevice) {
    Selection s;
    s.ports = ports;
    s.index = ports.isEmpty() ? -1 : 0;
    if (!configured)
        return s;
    const QString wanted = configured->trimmed();
    const QString listed = ListedPortFor(ports, wanted);
    s.index = listed.isEmpty() ? -1 : int(ports.indexOf(listed));
    if (s.index >= 0)
        return s;
    QString network;
    if (NetworkPortName(wanted, &network, nullptr)) {
        s.ports.append(network);
        s.index = int(s.ports.size()) - 1;
    } else if (!wanted.isEmpty() && isCharDevice && isCharDevice(wanted)) {
        s.ports.append(wanted);
        s.index = int(s.ports.size()) - 1;
    }
    return s;
}

bool IsCharacterDevice(const QString &path) {
    if (path.isEmpty())
        return false;
    struct stat st {};
    const QByteArray native = path.toLocal8Bit();
    return ::stat(native.constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool NetworkPortName(const QString &text, QString *name, QString *reason) {
    const QString trimmed = text.trimmed();
    QString why;
    if (!Transport::ParseTcpName(trimmed, nullptr, &why)) {
        if (reason)
            *reason = why;
        return false;
    }
    if (name)
        *name = QStringLiteral("tcp://") + trimmed.mid(6);
    return true;
}

QString TypedNetworkAddress(const QString &typed) {
    const QString address = typed.trimmed();
    if (address.contains(QLatin1String("://")) || address.startsWith(QLatin1Char('/')))
        return address;
    return QStringLiteral("tcp://") + address;
}

} // namespace PortRules
