// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/HomeAssistant.h"

#include "mqtt/MqttSettings.h"
#include "mqtt/MqttState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace mqtt {

namespace {

// A template that gives Home Assistant's "None" (unknown) for a null value.
QString OnOff(const QString &test, const QString &value) {
    return QStringLiteral("{{ None if value_json.%1 is none else ('ON' if %2 else 'OFF') }}")
        .arg(test, value);
}

struct Entity {
    QString component; // sensor, binary_sensor, select, switch, event
    QString object;    // the id within the device
    QString name;
    QString valueTemplate;
    QString unit;
    QString deviceClass;
    bool measurement = false;
    bool diagnostic = false;
    bool command = false; // needs Control=1
    bool radio = false;   // only while a radio is followed
    QStringList options;  // an enum sensor's values; a switch's on and off
};

// The on/off sensors: transmitting, the PTT block and each alarm; and each
// alarm as an event.
void AddProblemEntities(QList<Entity> &e) {
    auto binary = [&e](const QString &object, const QString &name, const QString &tpl,
                       const char *deviceClass) {
        Entity x;
        x.component = QStringLiteral("binary_sensor");
        x.object = object;
        x.name = name;
        x.valueTemplate = tpl;
        x.deviceClass = QLatin1String(deviceClass);
        e << x;
    };
    binary(QStringLiteral("transmitting"), QStringLiteral("Transmitting"),
           OnOff(QStringLiteral("transmitting"), QStringLiteral("value_json.transmitting")), "");
    binary(QStringLiteral("ptt_blocked"), QStringLiteral("PTT blocked"),
           OnOff(QStringLiteral("ptt_blocked"), QStringLiteral("value_json.ptt_blocked")), "");
    for (int k = 0; k < AlarmKinds; ++k) {
        const QString name = AlarmName(AlarmKind(k));
        binary(
            QStringLiteral("alarm_") + name.toLower(), AlarmText(name),
            OnOff(QStringLiteral("alarms"), QStringLiteral("'%1' in value_json.alarms").arg(name)),
            "problem");
    }

    // Each alarm as it starts, from the event topic; the other events
    // there render empty and are passed over.
    Entity alarm;
    alarm.component = QStringLiteral("event");
    alarm.object = QStringLiteral("alarm");
    alarm.name = QStringLiteral("Alarm");
    alarm.valueTemplate = QStringLiteral("{% if value_json.event == 'alarm' %}"
                                         "{\"event_type\": \"{{ value_json.alarm }}\", "
                                         "\"text\": \"{{ value_json.text }}\"}{% endif %}");
    for (int k = 0; k < AlarmKinds; ++k)
        alarm.options << AlarmName(AlarmKind(k));
    e << alarm;
}

// A switch Home Assistant turns on and off through a command topic.
Entity Switch(const QString &object, const QString &name, const QString &valueTemplate,
              const QString &on, const QString &off) {
    Entity x;
    x.component = QStringLiteral("switch");
    x.object = object;
    x.name = name;
    x.valueTemplate = valueTemplate;
    x.command = true;
    x.options = QStringList{on, off};
    return x;
}

// What Control=1 lets Home Assistant change, and the radio followed.
void AddControlEntities(QList<Entity> &e) {
    Entity band;
    band.component = QStringLiteral("select");
    band.object = QStringLiteral("band_select");
    band.name = QStringLiteral("Band select");
    band.valueTemplate = QStringLiteral("{{ value_json.band_name }}");
    band.command = true;
    e << band;
    e << Switch(QStringLiteral("operate"), QStringLiteral("Operate"),
                QStringLiteral("{{ None if value_json.ptt_blocked is none else "
                               "('standby' if value_json.ptt_blocked else 'operate') }}"),
                QStringLiteral("operate"), QStringLiteral("standby"));

    // The radio followed (rig/), while there is one.
    Entity frequency;
    frequency.component = QStringLiteral("sensor");
    frequency.object = QStringLiteral("radio_frequency");
    frequency.name = QStringLiteral("Radio frequency");
    frequency.valueTemplate =
        QStringLiteral("{{ value_json.rig.frequency_hz if value_json.rig is defined else None }}");
    frequency.unit = QStringLiteral("Hz");
    frequency.deviceClass = QStringLiteral("frequency");
    frequency.measurement = true;
    frequency.radio = true;
    e << frequency;
    Entity follow = Switch(QStringLiteral("follow"), QStringLiteral("Follow the radio"),
                           QStringLiteral("{{ None if value_json.rig is not defined else "
                                          "('on' if value_json.rig.following else 'off') }}"),
                           QStringLiteral("on"), QStringLiteral("off"));
    follow.radio = true;
    e << follow;
}

QList<Entity> Entities() {
    QList<Entity> e;
    auto sensor = [&e](const char *object, const char *name, const char *field, const QString &unit,
                       const char *deviceClass) {
        Entity x;
        x.component = QStringLiteral("sensor");
        x.object = QLatin1String(object);
        x.name = QLatin1String(name);
        x.valueTemplate = QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(field));
        x.unit = unit;
        x.deviceClass = QLatin1String(deviceClass);
        x.measurement = true;
        e << x;
    };
    sensor("output_power", "Output power", "output_w", QStringLiteral("W"), "power");
    sensor("reflected_power", "Reflected power", "reflected_w", QStringLiteral("W"), "power");
    sensor("peak_power", "Peak power", "peak_w", QStringLiteral("W"), "power");
    sensor("swr", "SWR", "swr", QString(), "");
    sensor("temperature", "Temperature", "temperature_c", QStringLiteral("\u00b0C"), "temperature");
    sensor("band", "Band", "band_name", QString(), "enum");
    e.last().measurement = false;
    for (int b = 1; b <= 7; ++b)
        e.last().options << BandName(b);
    sensor("tuner_swr", "Tuner SWR", "tuner.swr if value_json.tuner else None", QString(), "");
    sensor("connection", "Connection", "phase", QString(), "enum");
    e.last().measurement = false;
    e.last().diagnostic = true;
    e.last().options = QStringList{Phase::Closed,    Phase::Waiting,  Phase::Connecting,
                                   Phase::Connected, Phase::NoAnswer, Phase::Lost};
    // The last transmission's record, until the next one ends.
    sensor("last_duration", "Last transmission duration",
           "last_transmission.duration_s if value_json.last_transmission else None",
           QStringLiteral("s"), "duration");
    sensor("last_peak", "Last transmission peak",
           "last_transmission.peak_w if value_json.last_transmission else None",
           QStringLiteral("W"), "power");
    sensor("last_worst_swr", "Last transmission worst SWR",
           "last_transmission.worst_swr if value_json.last_transmission else None", QString(), "");
    sensor("firmware", "Firmware", "firmware", QString(), "");
    e.last().measurement = false;
    e.last().diagnostic = true;

    AddProblemEntities(e);
    AddControlEntities(e);
    return e;
}

} // namespace

QString NodeId(const QString &topic) {
    QString id;
    for (const char c : topic.toUtf8()) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            id += QLatin1Char(c);
        else if (c == '_')
            id += QStringLiteral("__");
        else
            id += QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
    }
    return id;
}

QList<DiscoveryConfig> DiscoveryConfigs(const Config &config, const MqttState &state) {
    const QString node = NodeId(config.topic);
    const QString base = config.topic;
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"),
                  QStringLiteral("Orvik 1200 ") + base.section(QLatin1Char('/'), -1));
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("Orvik"));
    device.insert(QStringLiteral("model"), QStringLiteral("Orvik 1200"));
    if (!state.paType.isEmpty())
        device.insert(QStringLiteral("model_id"), state.paType);
    if (!state.firmware.isEmpty())
        device.insert(QStringLiteral("sw_version"), state.firmware);
    if (!config.configurationUrl.isEmpty())
        device.insert(QStringLiteral("configuration_url"), config.configurationUrl);
    QJsonObject origin;
    origin.insert(QStringLiteral("name"), QStringLiteral("Orvik Remote Control"));
    origin.insert(QStringLiteral("sw_version"), QStringLiteral(ORVIK_VERSION));

    QList<DiscoveryConfig> out;
    for (const Entity &e : Entities()) {
        DiscoveryConfig d;
        d.topic = QStringLiteral("%1/%2/%3/%4/config")
                      .arg(config.discoveryPrefix, e.component, node, e.object)
                      .toUtf8();
        if (config.discovery && (!e.command || config.control) && (!e.radio || state.rig)) {
            QJsonObject o;
            o.insert(QStringLiteral("name"), e.name);
            o.insert(QStringLiteral("unique_id"), node + QLatin1Char('_') + e.object);
            const bool event = e.component == QLatin1String("event");
            o.insert(QStringLiteral("state_topic"),
                     base + (event ? QStringLiteral("/event") : QStringLiteral("/state")));
            o.insert(QStringLiteral("value_template"), e.valueTemplate);
            if (event)
                o.insert(QStringLiteral("event_types"), QJsonArray::fromStringList(e.options));
            else if (!e.options.isEmpty() && e.component != QLatin1String("switch"))
                o.insert(QStringLiteral("options"), QJsonArray::fromStringList(e.options));
            o.insert(QStringLiteral("availability_topic"), base + QStringLiteral("/availability"));
            o.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
            o.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
            if (!e.unit.isEmpty())
                o.insert(QStringLiteral("unit_of_measurement"), e.unit);
            if (!e.deviceClass.isEmpty())
                o.insert(QStringLiteral("device_class"), e.deviceClass);
            if (e.measurement)
                o.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
            if (e.diagnostic)
                o.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
            if (e.component == QLatin1String("select")) {
                QJsonArray options;
                QStringList numbers;
                for (int b = 1; b <= 7; ++b) {
                    options << BandName(b);
                    numbers << QStringLiteral("'%1': %2").arg(BandName(b)).arg(b);
                }
                o.insert(QStringLiteral("options"), options);
                o.insert(QStringLiteral("command_topic"), base + QStringLiteral("/set/band"));
                o.insert(
                    QStringLiteral("command_template"),
                    QStringLiteral("{{ {%1}[value] }}").arg(numbers.join(QStringLiteral(", "))));
            } else if (e.component == QLatin1String("switch")) {
                // Its command is its own: set/operate, set/follow; its
                // payloads and states the command's words.
                o.insert(QStringLiteral("command_topic"),
                         base + QStringLiteral("/set/") + e.object);
                o.insert(QStringLiteral("payload_on"), e.options.at(0));
                o.insert(QStringLiteral("payload_off"), e.options.at(1));
                o.insert(QStringLiteral("state_on"), e.options.at(0));
                o.insert(QStringLiteral("state_off"), e.options.at(1));
            }
            o.insert(QStringLiteral("device"), device);
            o.insert(QStringLiteral("origin"), origin);
            d.payload = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        out << d;
    }
    return out;
}

} // namespace mqtt
