// SPDX-License-Identifier: GPL-3.0-or-later
// Home Assistant discovery: the retained configs under the discovery
// prefix (homeassistant/) that make the amplifier one device (its firmware,
// its type, its page) with sensors (the band and the connection as enums,
// the last transmission's figures), binary sensors, the alarms as events
// and, with commands on, a band select and an operate switch; while a radio
// is followed, its frequency and (with commands on) a switch of following;
// all reading the retained state and tied to the availability topic.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace mqtt {

struct Config;
struct MqttState;

struct DiscoveryConfig {
    QByteArray topic;
    QByteArray payload; // empty: the entity is removed
};

// Every entity the program can announce, each with its config or, when
// discovery is off (or the entity needs commands and they are off, or a
// radio and none is followed), with an empty payload that removes what was
// announced before.
// state: the firmware and the type the device block names, once known.
QList<DiscoveryConfig> DiscoveryConfigs(const Config &config, const MqttState &state);

// The device's id, from the topic so that two topics never share one:
// letters, digits and "-" as they are, "_" doubled, any other byte of the
// topic's UTF-8 as "_" and two hex digits ("orvik/shack_1" is
// "orvik_2Fshack__1").
QString NodeId(const QString &topic);

} // namespace mqtt
