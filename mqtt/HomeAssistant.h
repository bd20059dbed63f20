// SPDX-License-Identifier: GPL-3.0-or-later
// Home Assistant discovery: the retained configs under homeassistant/ that
// make the amplifier one device with sensors, binary sensors and, with
// commands on, a band select and an operate switch, all reading the
// retained state and tied to the availability topic.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace mqtt {

struct Config;

struct DiscoveryConfig {
    QByteArray topic;
    QByteArray payload; // empty: the entity is removed
};

// Every entity the program can announce, each with its config or, when
// discovery is off (or the entity needs commands and they are off), with an
// empty payload that removes what an earlier run announced.
QList<DiscoveryConfig> DiscoveryConfigs(const Config &config);

// The device's id: the topic with anything but letters, digits, "_" and
// "-" replaced by "_".
QString NodeId(const QString &topic);

} // namespace mqtt
