#include "app/PortRules.h"

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
    for (int i = 0; i < s.ports.size(); ++i) {
        if (s.ports.at(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            s.index = i;
            return s;
        }
    }
    s.index = -1;
    if (!wanted.isEmpty() && isCharDevice && isCharDevice(wanted)) {
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

} // namespace PortRules
