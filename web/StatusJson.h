// SPDX-License-Identifier: GPL-3.0-or-later
// The link's status as the page reads it: one JSON object, in physical
// units. Readings that are not current are left out (null), never sent as
// the last value.
#pragma once

#include <QJsonObject>

struct AmpStatus;
struct LinkEvent;

namespace web {

QJsonObject StatusJson(const AmpStatus &status);
// An event the page tells (alarms, transmissions, bands, the PTT block,
// the connection, commands); an empty object for one it does not.
QJsonObject EventJson(const LinkEvent &event);

} // namespace web
