// SPDX-License-Identifier: GPL-3.0-or-later
// The publisher's two ties to the amplifier link: the state it publishes,
// made from the link's record, and the commands, carried out through the
// operator's own calls on the link (sent and echoed in the port monitor as
// a click is).
#pragma once

#include "link/AmpStatus.h"
#include "mqtt/Commands.h"
#include "mqtt/MqttState.h"

class AmpLink;

namespace mqtt {

class Publisher;

// The state to publish. previousPhase tells a port that went ("lost") from
// one that has not been there yet ("waiting").
MqttState StateOf(const AmpStatus &state, const QString &previousPhase);

class LinkCommands : public CommandTarget {
public:
    explicit LinkCommands(AmpLink *link) : link_(link) {}
    QString Apply(const Command &command) override;

private:
    AmpLink *link_;
};

// Gives the publisher the link's state now and after each change.
void Follow(AmpLink *link, Publisher *publisher);

struct Settings;
// Publishes the link's state as the settings say: nothing when they name
// no broker. Returns an empty string, or why the publisher cannot start.
QString PublishLink(AmpLink *link, Publisher *publisher, const Settings &settings);

} // namespace mqtt
