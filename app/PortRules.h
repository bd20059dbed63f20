// Rules for the port list of the main window: which entry is selected at
// start from the configuration file. Pure functions, no widgets.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace PortRules {

struct Selection {
    QStringList ports; // the list as shown
    int index = -1;    // selected entry, -1 for none
};

// ports: the enumerated serial devices.
// configured: the "Port" value of the configuration file, or nullopt when the
// file does not exist (a missing key reads as an empty string).
// isCharDevice: whether a path names an existing character device.
//
// Without a file the first entry stays selected. With a file, the entry equal
// to the value (case-insensitive) is selected, or none. A value naming a
// character device that is not listed (a pseudo-terminal, a link made by a
// tool) is added to the list and selected, so that such a port can be used.
Selection SelectConfigured(const QStringList &ports, const std::optional<QString> &configured,
                           const std::function<bool(const QString &)> &isCharDevice);

// Whether path names an existing character device (links followed).
bool IsCharacterDevice(const QString &path);

} // namespace PortRules
