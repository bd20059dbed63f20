// SPDX-License-Identifier: GPL-3.0-or-later
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
// to the value (case-insensitive), or naming the same device (a node and its
// by-id link), is selected, or none. A value naming a character device that
// is not listed (a pseudo-terminal, a link made by a tool) or a well-formed
// network port (tcp://HOST:PORT) is added to the list and selected, so that
// such a port can be used.
Selection SelectConfigured(const QStringList &ports, const std::optional<QString> &configured,
                           const std::function<bool(const QString &)> &isCharDevice);

// Whether path names an existing character device (links followed).
bool IsCharacterDevice(const QString &path);

// The operator's text for a network port made a port name: trimmed, the
// scheme written "tcp://". False with the reason when it is not a well-formed
// tcp://HOST:PORT.
bool NetworkPortName(const QString &text, QString *name, QString *reason);

// An address typed into the "Network port" prompt, which offers "tcp://"
// selected: one typed over it, with no scheme and not a path, is meant with
// the scheme.
QString TypedNetworkAddress(const QString &typed);

} // namespace PortRules
