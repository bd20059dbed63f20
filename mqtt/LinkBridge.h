// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's ties to the amplifier link: the state it publishes, made
// from the link's status, the link's events for the event topic, and the
// commands, through the link's command gate.
#pragma once

#include "link/AmpStatus.h"
#include "mqtt/Commands.h"
#include "mqtt/MqttState.h"

#include <QHash>
#include <QObject>

class AmpLink;

namespace mqtt {

class Publisher;

// The state to publish: the status's view (link/StatusView.h), each reading
// that is not current as none.
MqttState StateOf(const AmpStatus &state);

// The commands, through the link's command gate as MQTT's requests; the
// answer of one that waits for its turn comes when it has had it.
class LinkCommands : public CommandTarget {
public:
    explicit LinkCommands(AmpLink *link);
    void Apply(const Command &command, Done done) override;

private:
    AmpLink *link_;
    QObject context_; // ends the connection to the link with this object
    QHash<quint64, Done> waiting_;
};

// Gives the publisher the link's state now and after each change.
void Follow(AmpLink *link, Publisher *publisher);

struct Settings;
// Publishes the link's state as the settings say: nothing when they name
// no broker. Returns an empty string, or why the publisher cannot start.
QString PublishLink(AmpLink *link, Publisher *publisher, const Settings &settings);

} // namespace mqtt
