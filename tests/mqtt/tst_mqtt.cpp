// SPDX-License-Identifier: GPL-3.0-or-later
// The MQTT publisher: its rules in one table, then against a real mosquitto:
// credentials, certificates, ACLs, the retained state and last will, the
// broker going away and back, and commands with Control on and off.
#include "link/ReplyDispatcher.h"
#include "mqtt/HomeAssistant.h"
#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "tests/common/Headless.h"
#include "tests/common/Status.h"
#include "tests/mqtt/Mosquitto.h"

#include "SimProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <thread>

using namespace mqtt;

namespace {

using Command = mqtt::Command; // not the link's

QString Describe(const Command &c) {
    return c.kind == Command::Kind::Band      ? QStringLiteral("band %1").arg(c.band)
           : c.kind == Command::Kind::Operate ? QStringLiteral("operate %1").arg(int(c.operate))
           : c.kind == Command::Kind::RadioFollowing
               ? QStringLiteral("follow %1").arg(int(c.follow))
               : QStringLiteral("raw ") + QString::fromLatin1(c.line);
}

// The amplifier side: the commands that reached it, or a refusal.
class RecordingTarget : public CommandTarget {
public:
    QStringList calls;
    QString refusal;
    void Apply(const Command &c, Done done) override {
        if (refusal.isEmpty())
            calls << Describe(c);
        done(refusal);
    }
};

QString WriteFile(const QString &path, const QByteArray &text, int mode = 0600) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
    return path;
}

// Why Home Assistant would not take o as a config of platform (below).
QString HomeAssistantRefuses(const QString &platform, const QJsonObject &o);

QString Evaluate(const QString &rule, const QString &input) {
    const QStringList in = input.split(QLatin1Char('|'));
    QTemporaryDir dir;
    if (rule == QLatin1String("settings")) {
        // BROKER|TOPIC|USER|PASSWORD FILE|CA FILE; the password file is
        // "MODE:TEXT", "dir" or "large"; the CA file "ca" or a
        // name that does not exist. The result: URL TOPIC PASSWORD.
        Settings s;
        s.broker = in.at(0);
        s.topic = in.value(1);
        s.username = in.value(2);
        const QString pw = in.value(3), file = dir.filePath(QStringLiteral("p"));
        if (pw == QLatin1String("dir"))
            s.passwordFile = dir.path();
        else if (pw == QLatin1String("large"))
            s.passwordFile = WriteFile(file, QByteArray(5000, 'x'));
        else if (!pw.isEmpty())
            s.passwordFile = WriteFile(file, pw.section(QLatin1Char(':'), 1).toLatin1(),
                                       pw.section(QLatin1Char(':'), 0, 0).toInt(nullptr, 8));
        if (!in.value(4).isEmpty())
            s.caFile = in.value(4) == QLatin1String("ca")
                           ? WriteFile(dir.filePath(QStringLiteral("ca")), "x")
                           : dir.filePath(in.value(4));
        s.discoveryPrefix = in.value(5);
        s.stateInterval = in.value(6);
        Config c;
        const QString e = Prepare(s, &c);
        return !e.isEmpty()
                   ? e
                   : (in.size() > 5 ? QStringLiteral("%1 %2 ms ")
                                          .arg(c.discoveryPrefix)
                                          .arg(c.stateIntervalMs)
                                    : QString()) +
                         c.broker.Url() + QLatin1Char(' ') +
                         c.topic.replace(QSysInfo::machineHostName(), QStringLiteral("HOST")) +
                         QLatin1Char(' ') + QString::fromLatin1(c.password);
    }
    if (rule == QLatin1String("command")) {
        // NAME|PAYLOAD|ALLOWRAW; a payload "*N" is N times "1".
        const QByteArray payload = in.at(1).startsWith(QLatin1Char('*'))
                                       ? QByteArray(in.at(1).mid(1).toInt(), '1')
                                       : in.at(1).toLatin1();
        Command c;
        const QString e = ParseCommand(in.at(0), payload, in.value(2) == QLatin1String("1"), &c);
        return e.isEmpty() ? Describe(c) : e;
    }
    if (rule == QLatin1String("state")) {
        // PREVIOUS PHASE|REPORTS into a connected state, where "@silent",
        // "@Waiting" and "@Connecting" set the connection; the JSON without
        // its time, with ' for ".
        AmpStatus s = IdentifiedStatus();
        s.PortLost = in.at(0) != QLatin1String("closed"); // a waiting port was lost
        for (const QString &line : in.mid(1)) {
            if (line == QLatin1String("@silent"))
                s.NoAnswer = true;
            else if (line.startsWith(QLatin1Char('@')))
                s.Phase =
                    line == QLatin1String("@Waiting") ? LinkPhase::Waiting : LinkPhase::Connecting;
            else
                ApplyReport(line, s);
        }
        QJsonObject o = QJsonDocument::fromJson(StateJson(StateOf(s), QDateTime())).object();
        o.remove(QStringLiteral("time"));
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))
            .replace(QLatin1Char('"'), QLatin1Char('\''));
    }
    if (rule == QLatin1String("event")) {
        // KIND|PREVIOUS PHASE: a link event as the event topic carries it,
        // without its time; "-" for one it does not carry.
        LinkEvent e;
        e.port = QStringLiteral("/dev/ttyUSB0");
        const QString kind = in.at(0);
        if (kind == QLatin1String("lost"))
            e.kind = LinkEvent::Kind::Lost;
        else if (kind == QLatin1String("waiting"))
            e.kind = LinkEvent::Kind::Waiting;
        else if (kind == QLatin1String("answers"))
            e.kind = LinkEvent::Kind::AnswersAgain;
        else if (kind == QLatin1String("alarm")) {
            e.kind = LinkEvent::Kind::AlarmEnd;
            e.alarm = AlarmKind::Swr;
        } else if (kind == QLatin1String("band")) {
            e.kind = LinkEvent::Kind::BandChanged;
            e.band = 3;
            e.source = CommandSource::Of(CommandSource::Kind::Server, QStringLiteral("[::1]:9"));
        } else if (kind == QLatin1String("transmission")) {
            e.kind = LinkEvent::Kind::TransmitEnd;
            e.transmission.band = 2;
            e.transmission.endMs = 12500;
            e.transmission.averageW = 612.4;
            e.transmission.peakW = 950;
            e.transmission.worstSwr = 1.85;
            e.transmission.alarms = 1u << int(AlarmKind::Swr);
        } else {
            e.kind = LinkEvent::Kind::TuneResult;
        }
        e.left = LivenessNamed(in.value(1)).value_or(Liveness::Closed);
        QJsonObject o = QJsonDocument::fromJson(EventJson(e, QDateTime())).object();
        if (o.isEmpty())
            return QStringLiteral("-");
        o.remove(QStringLiteral("time"));
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))
            .replace(QLatin1Char('"'), QLatin1Char('\''));
    }
    if (rule == QLatin1String("nodeid"))
        return NodeId(input);
    if (rule == QLatin1String("discovery")) {
        // CONTROL DISCOVERY [rig] [PREFIX]: configs announced/all, the
        // command topics of the band select and the switch of following,
        // and the device block (rig: a radio followed); a config with a key
        // Home Assistant does not take, or without the availability and
        // state topics, is named instead.
        Config c;
        c.topic = QStringLiteral("orvik/shack 1");
        c.control = input.startsWith(QLatin1Char('1'));
        c.discovery = input.at(2) == QLatin1Char('1');
        MqttState state;
        if (input.mid(4, 3) == QLatin1String("rig"))
            state.rig.emplace().source = QStringLiteral("rigctld://127.0.0.1:4532");
        if (const QString prefix = input.mid(state.rig ? 8 : 4); !prefix.isEmpty())
            c.discoveryPrefix = prefix;
        c.configurationUrl = QStringLiteral("http://shack.lan:8080/");
        state.firmware = QStringLiteral("3.30");
        state.paType = QStringLiteral("2.4 kW");
        int announced = 0;
        QString select, device;
        const QList<DiscoveryConfig> all = DiscoveryConfigs(c, state);
        for (const DiscoveryConfig &d : all) {
            const QJsonObject o = QJsonDocument::fromJson(d.payload).object();
            if (d.payload.isEmpty())
                continue;
            ++announced;
            const QString component = QString::fromUtf8(d.topic).section(QLatin1Char('/'), -4, -4);
            if (const QString why = HomeAssistantRefuses(component, o); !why.isEmpty())
                return QString::fromUtf8(d.topic) + QStringLiteral(": ") + why;
            if (!d.topic.startsWith((c.discoveryPrefix + QLatin1Char('/')).toUtf8()) ||
                !d.topic.contains("/orvik_2Fshack_201/") ||
                o.value(QStringLiteral("availability_topic")) !=
                    QLatin1String("orvik/shack 1/availability") ||
                !o.value(QStringLiteral("state_topic"))
                     .toString()
                     .startsWith(QLatin1String("orvik/shack 1/")))
                return QStringLiteral("bad config ") + QString::fromUtf8(d.topic);
            if (d.topic.contains("/select/") || d.topic.contains("/follow/"))
                select += QLatin1Char(' ') + o.value(QStringLiteral("command_topic")).toString();
            device = QString::fromUtf8(QJsonDocument(o.value(QStringLiteral("device")).toObject())
                                           .toJson(QJsonDocument::Compact));
        }
        return QStringLiteral("%1/%2").arg(announced).arg(all.size()) + select +
               (device.isEmpty()
                    ? QString()
                    : QLatin1Char(' ') + device.replace(QLatin1Char('"'), QLatin1Char('\'')));
    }
    return QStringLiteral("unknown rule");
}

// The keys Home Assistant's MQTT integration takes in a discovery config,
// per platform, as its schemas list them (home-assistant/core,
// homeassistant/components/mqtt/: schemas.py MQTT_ENTITY_COMMON_SCHEMA and
// MQTT_AVAILABILITY_SCHEMA, config.py MQTT_RO_SCHEMA and MQTT_RW_SCHEMA, and
// _PLATFORM_SCHEMA_BASE of sensor.py, binary_sensor.py, select.py,
// switch.py, event.py). Others are dropped without a word (REMOVE_EXTRA).
const char *const CommonKeys =
    "availability availability_mode availability_template availability_topic payload_available "
    "payload_not_available device origin enabled_by_default entity_category icon "
    "json_attributes_topic json_attributes_template object_id unique_id name state_topic "
    "value_template qos encoding";
const struct {
    const char *platform, *keys, *required;
} HomeAssistantKeys[] = {
    {"sensor",
     "device_class expire_after force_update last_reset_value_template options "
     "suggested_display_precision state_class unit_of_measurement",
     "state_topic"},
    {"binary_sensor", "device_class expire_after force_update off_delay payload_on payload_off",
     "state_topic"},
    {"select", "command_topic command_template options optimistic retain", "command_topic options"},
    {"switch",
     "command_topic command_template device_class optimistic payload_on payload_off retain "
     "state_on state_off",
     "command_topic"},
    {"event", "device_class event_types", "state_topic event_types"},
};
const char *const DeviceKeys = "identifiers connections manufacturer model model_id name "
                               "hw_version serial_number sw_version via_device suggested_area "
                               "configuration_url";

// Why Home Assistant would not take o as a config of platform, or an
// empty string.
QString HomeAssistantRefuses(const QString &platform, const QJsonObject &o) {
    for (const auto &p : HomeAssistantKeys) {
        if (platform != QLatin1String(p.platform))
            continue;
        const QStringList keys =
            (QString::fromLatin1(CommonKeys) + QLatin1Char(' ') + QString::fromLatin1(p.keys))
                .split(QLatin1Char(' '));
        for (const QString &k : o.keys())
            if (!keys.contains(k))
                return QStringLiteral("no key %1").arg(k);
        for (const QString &k : QString::fromLatin1(p.required).split(QLatin1Char(' ')))
            if (!o.contains(k))
                return QStringLiteral("%1 missing").arg(k);
        for (const QString &k : o.value(QStringLiteral("device")).toObject().keys())
            if (!QString::fromLatin1(DeviceKeys).split(QLatin1Char(' ')).contains(k))
                return QStringLiteral("no device key %1").arg(k);
        // Options only for an enum sensor, which has no state class or unit.
        const bool isEnum = o.value(QStringLiteral("device_class")) == QLatin1String("enum");
        if (platform == QLatin1String("sensor") &&
            (o.contains(QStringLiteral("options")) != isEnum ||
             (isEnum && (o.contains(QStringLiteral("state_class")) ||
                         o.contains(QStringLiteral("unit_of_measurement"))))))
            return QStringLiteral("options without an enum, or an enum with a state class");
        return QString();
    }
    return QStringLiteral("no platform ") + platform;
}

} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void rules_data();
    void rules();
    void connecting_data();
    void connecting();
    void state();
    void commands_data();
    void commands();
    void brokerAway();
    void stopWhileBehind();

private:
    // Starts publisher on the broker under topic with state s, connected.
    bool StartConnected(Publisher &publisher, const MqttState &s, const QString &topic) {
        publisher.Update(s);
        if (!publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(), topic))
                 .isEmpty())
            return false;
        return QTest::qWaitFor(
            [&] { return publisher.CurrentStatus() == Publisher::Status::Connected; }, 5000);
    }

private Q_SLOTS:
    void headless_data();
    void headless();
    void passwordFile();
    void cleanupTestCase() { stations_[0].reset(), stations_[1].reset(); }

private:
    // Settings for the broker under test, read as the program reads them.
    Config Configure(const QString &url, const QString &user, const QString &ca,
                     const QString &topic, bool control = false, bool allowRaw = false);
    Mosquitto broker_;
    struct Station {
        SimProcess sim;
        QProcess program;
        ~Station() {
            program.terminate();
            program.waitForFinished(5000);
        }
    };
    std::unique_ptr<Station> stations_[2];
};

void TestMqtt::initTestCase() {
    QVERIFY2(broker_.Start(), qPrintable(QString::fromLocal8Bit(broker_.proc.readAll())));
}

Config TestMqtt::Configure(const QString &url, const QString &user, const QString &ca,
                           const QString &topic, bool control, bool allowRaw) {
    Settings s;
    s.broker = url;
    s.username = user == QLatin1String("wrong") ? QStringLiteral("orvik") : user;
    if (!user.isEmpty())
        s.passwordFile = WriteFile(broker_.File("password"),
                                   user == QLatin1String("wrong") ? "nope" : Mosquitto::Password);
    s.caFile = ca.isEmpty() ? QString() : broker_.File(qPrintable(ca));
    s.topic = topic;
    s.control = control;
    s.allowRaw = allowRaw;
    Config c;
    const QString e = Prepare(s, &c);
    if (!e.isEmpty())
        qWarning("%s", qPrintable(e));
    return c;
}

void TestMqtt::rules_data() {
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected"); // "~TEXT": the result holds TEXT
    const struct {
        const char *rule, *input, *expected;
    } rows[] = {
        {"settings", "mqtt://127.0.0.1:1883", "mqtt://127.0.0.1:1883 orvik/HOST "},
        {"settings", " MQTTS://broker.lan |shack/pa1", "mqtts://broker.lan:8883 shack/pa1 "},
        {"settings", "mqtt://[::1]:1884/", "mqtt://[::1]:1884 orvik/HOST "},
        {"settings", "tcp://pi:1883", "Broker=: unknown scheme \"tcp\": mqtt:// or mqtts://"},
        {"settings", "mqtt://orvik:s3cret@pi", "~use Username= and PasswordFile="},
        {"settings", "mqtt://pi:0", "Broker=: port \"0\" is not a number from 1 to 65535"},
        {"settings", "mqtt://pi:", "~empty port"},
        {"settings", "mqtt://::1:1883", "~write an IPv6 address in brackets"},
        {"settings", "mqtt://pi:1883/orvik", "~nothing may follow"},
        {"settings", "mqtt://pi|orvik/+", "~wildcards"},
        {"settings", "mqtt://pi|$SYS/orvik", "~belongs to the broker"},
        {"settings", "mqtt://pi|orvik//a", "~empty level"},
        {"settings", "mqtt://pi||orvik|600:s3cret\nsecond line",
         "mqtt://pi:1883 orvik/HOST s3cret"},
        {"settings", "mqtt://pi||orvik|400:s3cret\r\n", "~ s3cret"},
        {"settings", "mqtt://pi||orvik|640:s3cret",
         "~may be read or written by others (mode 0640); make it readable by its owner alone"},
        {"settings", "mqtt://pi||orvik|602:s3cret", "~(mode 0602)"},
        {"settings", "mqtt://pi||orvik|600:\nsecond", "~has no password on its first line"},
        {"settings", "mqtt://pi||orvik|dir", "~is not a regular file"},
        {"settings", "mqtt://pi||orvik|large", "~larger than 4096 bytes"},
        {"settings", "mqtt://pi|||600:s3cret", "PasswordFile= needs Username="},
        {"settings", "mqtt://pi||||ca", "~is not encrypted: use mqtts://"},
        {"settings", "mqtts://pi||||none.crt", "~cannot read the CA file"},
        {"settings", "mqtt://pi||||||", "homeassistant 100 ms mqtt://pi:1883 orvik/HOST "},
        {"settings", "mqtt://pi|||||ha/discovery|2.5", "~ha/discovery 2500 ms mqtt://pi:1883"},
        {"settings", "mqtt://pi|||||ha/#|", "~DiscoveryPrefix=: "},
        {"settings", "mqtt://pi||||||0.01", "StateInterval=0.01: seconds from 0.1 to 3600"},
        {"command", "band|3", "band 3"},
        {"command", "band|14074000", "band 4"},
        {"command", "band|7.1e6", "band 3"},
        {"command", "band|0", "set/band \"0\": a band number 1..7 or a frequency in Hz"},
        {"command", "band|8", "set/band \"8\": a band number 1..7 or a frequency in Hz"},
        {"command", "band|3000",
         "set/band \"3000\": no band of the amplifier holds that frequency"},
        {"command", "band|*257", "set/band: 257 bytes, at most 256"},
        {"command", "op\nerate|operate",
         "unknown command set/op?erate: set/band, set/operate, set/follow or set/raw"},
        {"command", "operate/operate/operate/operate/operate/operate|1",
         "unknown command set/operate/operate/operate/operate/operate/...: set/band, set/operate, "
         "set/follow or set/raw"},
        {"command", "operate|operate", "operate 1"},
        {"command", "operate|STANDBY\n", "operate 0"},
        {"command", "operate|on", "set/operate \"on\": \"operate\" or \"standby\""},
        {"command", "follow|on", "follow 1"},
        {"command", "follow| OFF\n", "follow 0"},
        {"command", "follow|1", "set/follow \"1\": \"on\" or \"off\""},
        {"command", "raw|ATU_STATE: 1|1", "raw ATU_STATE: 1"},
        {"command", "raw|B: 3\r\nB: 4|1",
         "set/raw \"B: 3??B: 4\": one line of printable ASCII characters"},
        {"command", "raw|\xff\xfe|1",
         "set/raw \"\xff\xfe\": one line of printable ASCII characters"},
        {"command", "raw|T?", "set/raw: not allowed ([MQTT] AllowRaw=1 allows it)"},
        {"command", "raw| |1", "set/raw: an empty line"},
        // The state from the link's record: none for what is not current.
        // Before the amplifier has told the PTT block: none, not "false".
        {"state", "closed|@pttunknown|B: 4", "~'ptt_blocked':null"},
        {"state", "closed|O: 850|R: 10|P_max: 900|B: 4|T: 35|TX: ON|BL:ON",
         "{'alarms':[],'band':4,'band_name':'30M/"
         "20M','firmware':null,'last_transmission':null,'output_w':850,"
         "'pa_type':null,'peak_w':900,'phase':'connected','port':null,'ptt_blocked':true,"
         "'reflected_w':10,'swr':1.24,'temperature_c':35,'transmitting':true,'tuner':null}"},
        {"state", "connected|Ver: 3.30x2|O: 850|ALARM: SWR|@silent",
         "{'alarms':null,'band':null,'band_name':null,'firmware':null,'last_transmission':null,'"
         "output_w':null,"
         "'pa_type':null,'peak_w':null,'phase':'no answer','port':null,'ptt_blocked':null,"
         "'reflected_w':null,'swr':null,'temperature_c':null,'transmitting':null,'tuner':null}"},
        {"state", "connected|O: 850|@Waiting",
         "~'output_w':null,'pa_type':null,'peak_w':null,'phase':'lost'"},
        {"state", "closed|@Waiting", "~'phase':'waiting'"},
        {"state", "closed|B: 9", "~'band':null,'band_name':null"}, // no band of the amplifier
        {"state", "closed|O: 800|R: 20", "~'swr':1.38,'temperature_c':null,'transmitting':true"},
        {"state", "closed|O: 850|@Connecting",
         "~'output_w':null,'pa_type':null,'peak_w':null,'phase':'connecting'"},
        {"state", "closed|Ver: 2.1x2|ALARM: SWR|ALARM: TEMP", // no band reported yet
         "~'alarms':['SWR','TEMP'],'band':null,'band_name':null,'firmware':'2.1x2',"
         "'last_transmission':null,'output_w':null,'pa_type':'2.4 kW'"},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 1|SWR: 15|O: 100|R: 25",
         "~'swr':1.5,'temperature_c':null,'transmitting':true,'tuner':{'capacitance_pf':null,"
         "'fitted':true,'forward_w':null,'in_line':true,'inductance_uh':null,'status':null,"
         "'swr':1.5}"},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 0|SWR: 15|O: 100|R: 25", "~'swr':3,"},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 1|SWR: 15|B: 3",
         "~'swr':null,'temperature_c'"},
        // The link's events on the event topic: each phase with the one
        // before, an alarm in the words of every output, a transmission's
        // figures, a band and who asked.
        {"event", "lost|connected",
         "{'event':'connection','phase':'lost','port':'/dev/ttyUSB0','previous':'connected'}"},
        {"event", "waiting|closed", "~'phase':'waiting'"},
        {"event", "answers|no answer", "~'phase':'connected','port'"},
        {"event", "alarm|", "{'alarm':'SWR','event':'alarm_end','text':'High reverse power'}"},
        {"event", "band|",
         "{'band':3,'band_name':'40M','event':'band','source':'ampctld [::1]:9'}"},
        {"event", "transmission|",
         "{'alarms':['SWR'],'average_w':612,'band':2,'band_name':'80M','duration_s':12.5,"
         "'event':'transmission','peak_w':950,'worst_swr':1.85}"},
        {"event", "tune|", "-"},
        // Every entity as Home Assistant takes it; the device names the
        // firmware, the type and the page.
        {"discovery", "1 1",
         "24/26 orvik/shack 1/set/band {'configuration_url':'http://shack.lan:8080/',"
         "'identifiers':['orvik_2Fshack_201'],'manufacturer':'Orvik','model':'Orvik 1200',"
         "'model_id':'2.4 kW','name':'Orvik 1200 shack 1','sw_version':'3.30'}"},
        {"discovery", "0 1 ha", "~22/26 {"},
        {"discovery", "1 0", "0/26"},
        // While a radio is followed: its frequency, and with commands a
        // switch of following.
        {"discovery", "1 1 rig", "~26/26 orvik/shack 1/set/band orvik/shack 1/set/follow {"},
        {"discovery", "0 1 rig ha", "~23/26 {"},
        // Two topics, two ids; any character kept apart.
        {"nodeid", "orvik/shack/1", "orvik_2Fshack_2F1"},
        {"nodeid", "orvik/shack_1", "orvik_2Fshack__1"},
        {"nodeid", "orvik/shack__2F1", "orvik_2Fshack____2F1"},
        {"nodeid", "orvik/kj\xf8kken", "orvik_2Fkj_C3_B8kken"},
    };
    for (const auto &r : rows)
        QTest::addRow("%s %s", r.rule,
                      QByteArray(r.input).replace('\r', "\\r").replace('\n', "\\n").constData())
            << QString::fromLatin1(r.rule) << QString::fromLatin1(r.input)
            << QString::fromLatin1(r.expected);
}

void TestMqtt::rules() {
    QFETCH(QString, rule);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const QString got = Evaluate(rule, input);
    if (expected.startsWith(QLatin1Char('~')))
        QVERIFY2(got.contains(expected.mid(1)), qPrintable(got));
    else
        QCOMPARE(got, expected);
}

void TestMqtt::connecting_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("ca");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    using S = Publisher::Status;
    const struct {
        const char *name;
        QString url;
        const char *user, *ca;
        S status;
        const char *message; // "%1": the URL
    } rows[] = {
        {"plain", broker_.Url(), "orvik", "", S::Connected,
         "connected to %1, publishing under orvik/test"},
        {"TLS, our CA", broker_.Url(true), "orvik", "ca.crt", S::Connected, "connected to %1"},
        {"wrong password", broker_.Url(), "wrong", "", S::Refused,
         "%1 refused us: not authorised: check Username= and the password in PasswordFile=; trying "
         "again every 0.3 s"},
        {"no user", broker_.Url(), "", "", S::Refused,
         "refused us: not authorised: the broker may want Username="},
        {"TLS, the system's CAs", broker_.Url(true), "orvik", "", S::Refused,
         "refused us: TLS: certificate verify failed"},
        {"TLS, another host name", broker_.Url(true, "localhost"), "orvik", "ca.crt", S::Refused,
         "refused us: TLS: the certificate does not name this host"},
        {"ACL denies", broker_.Url(), "denied", "", S::Connected,
         "the broker refuses messages on orvik/test/availability: not authorised"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.url << QString::fromLatin1(r.user) << QString::fromLatin1(r.ca)
                              << int(r.status)
                              << QString::fromLatin1(r.message).replace(QLatin1String("%1"), r.url);
}

// Each reason is told once, however often the publisher tries again.
void TestMqtt::connecting() {
    QFETCH(QString, url);
    QFETCH(QString, user);
    QFETCH(QString, ca);
    QFETCH(int, status);
    QFETCH(QString, message);
    Publisher publisher(nullptr);
    QStringList log;
    connect(&publisher, &Publisher::Logged, [&log](const QString &line) { log << line; });
    Timing timing;
    timing.minRetryMs = 100;
    timing.maxRetryMs = 300;
    QCOMPARE(publisher.Start(Configure(url, user, ca, QStringLiteral("orvik/test")), timing),
             QString());
    QTRY_COMPARE_WITH_TIMEOUT(int(publisher.CurrentStatus()), status, 10000);
    QTest::qWait(1200); // several retries
    QVERIFY2(log.filter(message).size() == 1 && log.size() <= 4,
             qPrintable(log.join(QLatin1Char('\n'))));
}

void TestMqtt::state() {
    Watcher watcher(broker_.port);
    Publisher publisher(nullptr);
    Timing timing;
    timing.heartbeatMs = 500;
    MqttState s;
    s.phase = Phase::Connected;
    s.alarms = QStringList();
    s.outputW = 0;
    publisher.Update(s); // before the connection: published as it comes
    QCOMPARE(publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(),
                                       QStringLiteral("orvik/st")),
                             timing),
             QString());
    // Changes while the client connects, before the publisher has heard of
    // it (no event loop): none goes before "online".
    QElapsedTimer spell;
    spell.start();
    for (int t = 0; spell.elapsed() < 2000 && watcher.Messages("orvik/st/state").isEmpty(); ++t) {
        s.temperatureC = t % 2 ? 40 : 41;
        publisher.Update(s);
        QThread::msleep(10);
    }
    QVERIFY(watcher.Saw("orvik/st/state", "\"output_w\":0"));
    QVERIFY(watcher.Saw("orvik/st/availability", "online"));
    const QList<Watcher::Message> all = watcher.Messages();
    const auto first = [&all](const QByteArray &topic) {
        return std::find_if(all.begin(), all.end(),
                            [&topic](const Watcher::Message &m) { return m.topic == topic; }) -
               all.begin();
    };
    QVERIFY(first("orvik/st/availability") < first("orvik/st/state"));

    // A burst of changes: at most one state per 100 ms, the last one kept.
    const int before = watcher.Messages("orvik/st/state").size();
    for (int w = 1; w <= 50; ++w) {
        s.outputW = w;
        publisher.Update(s);
    }
    s.alarms = QStringList{QStringLiteral("SWR")};
    publisher.Update(s);
    LinkEvent raised;
    raised.kind = LinkEvent::Kind::AlarmStart;
    raised.alarm = AlarmKind::Swr;
    publisher.Tell(raised);
    QVERIFY(watcher.Saw("orvik/st/state", "\"alarms\":[\"SWR\"]"));
    QVERIFY(watcher.Messages("orvik/st/state").size() <= before + 3);
    const auto alarm = watcher.WaitFor("orvik/st/event");
    QVERIFY(alarm && !alarm->retained &&
            alarm->payload.contains("\"event\":\"alarm\",\"text\":\"High reverse power\""));
    QTest::qWait(1100); // unchanged, it comes again with the heartbeat
    QVERIFY(watcher.Messages("orvik/st/state").size() >= before + 3);

    // What a subscriber finds later: the retained state, availability and
    // discovery configs, naming the availability topic.
    Watcher late(broker_.port);
    const auto retained = late.WaitFor("orvik/st/state");
    QVERIFY(retained && retained->retained);
    const QJsonObject o = QJsonDocument::fromJson(retained->payload).object();
    QCOMPARE(o.value(QStringLiteral("output_w")).toInt(), 50);
    QVERIFY(QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                .isValid());
    QVERIFY(late.Saw("orvik/st/availability", "online"));
    QVERIFY(late.Saw("homeassistant/sensor/orvik_2Fst/output_power/config",
                     "\"availability_topic\":\"orvik/st/availability\""));
    // Home Assistant started again: the configs come again.
    const QByteArray config = "homeassistant/sensor/orvik_2Fst/output_power/config";
    const int configs = int(late.Messages(config).size());
    late.Publish("homeassistant/status", "online");
    QTRY_COMPARE(int(late.Messages(config).size()), configs + 1);

    // A stop ends the connection as every output hears it: its event, the
    // state closed with nothing of the amplifier known, then "offline".
    s.firmware = QStringLiteral("3.30");
    s.paType = QStringLiteral("1.2 kW");
    publisher.Update(s);
    QVERIFY(late.Saw("orvik/st/state", "\"pa_type\":\"1.2 kW\""));
    publisher.Stop();
    QVERIFY(late.Saw("orvik/st/availability", "offline"));
    QVERIFY(late.Saw("orvik/st/event",
                     "\"event\":\"connection\",\"phase\":\"closed\",\"port\":null,"
                     "\"previous\":\"connected\""));
    QVERIFY(late.Saw("orvik/st/state",
                     "\"output_w\":null,\"pa_type\":null,\"peak_w\":null,\"phase\":\"closed\""));
}

void TestMqtt::commands_data() {
    QTest::addColumn<bool>("control");
    QTest::addColumn<bool>("allowRaw");
    // LEAF=PAYLOAD[>RESPONSE TOPIC#CORRELATION];...; "!": retained, before the start
    QTest::addColumn<QString>("messages");
    QTest::addColumn<QString>("refusal"); // what the amplifier side answers
    QTest::addColumn<QString>("results"); // COMMAND OK|REFUSED REASON, "[CORRELATION] " first
    QTest::addColumn<QString>("calls");
    const struct {
        const char *name;
        bool control, allowRaw;
        const char *messages, *refusal, *results, *calls;
    } rows[] = {
        {"malformed", true, false, "band=abc", "",
         "set/band refused set/band \"abc\": a band number 1..7 or a frequency in Hz", ""},
        {"TOPIC/set itself", true, false, "=3", "",
         "set/ refused unknown command set: set/band, set/operate, set/follow or set/raw", ""},
        // Following is the station's: none here, nothing reaches the amplifier.
        {"set/follow: a bad payload, no radio", true, false, "follow=yes;follow=off", "",
         "set/follow refused set/follow \"yes\": \"on\" or \"off\"|"
         "set/follow refused no radio is followed (--rig or [Rig] Follow=)",
         ""},
        {"raw not allowed", true, false, "raw=T?", "",
         "set/raw refused set/raw: not allowed ([MQTT] AllowRaw=1 allows it)", ""},
        {"raw", true, true, "raw=T?", "", "set/raw ok ", "raw T?"},
        {"not connected", true, false, "operate=operate", "the amplifier is not connected",
         "set/operate refused the amplifier is not connected", ""},
        {"answered on the request's own topic", true, false,
         "band=4>orvik/cmd/reply#c-17;band=9>orvik/cmd/reply", "",
         "[c-17] set/band ok |"
         "[] set/band refused set/band \"9\": a band number 1..7 or a frequency in Hz",
         "band 4"},
        {"retained", true, false, "!band=3", "", "", ""},
        {"Control=0", false, true, "band=3;operate=standby;raw=T?", "", "", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.control << r.allowRaw << QString::fromLatin1(r.messages)
                              << QString::fromLatin1(r.refusal) << QString::fromLatin1(r.results)
                              << QString::fromLatin1(r.calls);
}

void TestMqtt::commands() {
    QFETCH(bool, control);
    QFETCH(bool, allowRaw);
    QFETCH(QString, messages);
    QFETCH(QString, refusal);
    QFETCH(QString, results);
    QFETCH(QString, calls);
    Watcher watcher(broker_.port);
    RecordingTarget target;
    target.refusal = refusal;
    Publisher publisher(&target);
    // Publishes the retained or the other messages; the topics sent to.
    auto send = [&watcher, &messages](bool retained) {
        QList<QByteArray> topics;
        for (const QString &m : messages.split(QLatin1Char(';')))
            if (m.startsWith(QLatin1Char('!')) == retained) {
                const QByteArray leaf = m.mid(retained).section(QLatin1Char('='), 0, 0).toUtf8();
                const QString value = m.section(QLatin1Char('='), 1);
                topics << "orvik/cmd/set" + (leaf.isEmpty() ? QByteArray() : "/" + leaf);
                watcher.Publish(
                    topics.last(), value.section(QLatin1Char('>'), 0, 0).toUtf8(), retained,
                    value.section(QLatin1Char('>'), 1).section(QLatin1Char('#'), 0, 0).toUtf8(),
                    value.section(QLatin1Char('#'), 1).toUtf8());
            }
        return topics;
    };
    // The broker holds the retained ones before the publisher subscribes
    // (the watcher has them back); else they would reach it as live ones.
    for (const QByteArray &topic : send(true))
        QTRY_VERIFY(!watcher.Messages(topic).isEmpty());
    QCOMPARE(publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(),
                                       QStringLiteral("orvik/cmd"), control, allowRaw)),
             QString());
    QVERIFY(watcher.Saw("orvik/cmd/availability", "online"));
    QTest::qWait(200); // the subscription is in place
    send(false);
    const QStringList expected = results.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    // Answers on the result topic, or on the request's own with its
    // correlation data.
    const bool own = messages.contains(QLatin1Char('>'));
    const QByteArray topic = own ? "orvik/cmd/reply" : "orvik/cmd/result";
    QTRY_COMPARE(watcher.Messages(topic).size(), expected.size());
    QTest::qWait(500); // nothing more comes
    QStringList got;
    for (const Watcher::Message &m : watcher.Messages(topic)) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        got << (own ? QStringLiteral("[%1] ").arg(QString::fromUtf8(m.correlation)) : QString()) +
                   QStringLiteral("%1 %2 %3")
                       .arg(o.value(QStringLiteral("command")).toString(),
                            o.value(QStringLiteral("ok")).toBool() ? QStringLiteral("ok")
                                                                   : QStringLiteral("refused"),
                            o.value(QStringLiteral("reason")).toString());
    }
    if (own)
        QVERIFY(watcher.Messages("orvik/cmd/result").isEmpty());
    QCOMPARE(got, expected);
    QCOMPARE(target.calls, calls.split(QLatin1Char('|'), Qt::SkipEmptyParts));
    watcher.Publish("orvik/cmd/set/band", QByteArray(), true); // the retained command goes
}

// The broker stalls, then stops and comes back: while it stalls at most
// Client::MaxUnacknowledged messages wait for it and the events beyond are
// dropped and counted; the state that changed meanwhile goes as soon as the
// broker takes one, and the count as soon as it takes another (the state
// may have taken the last free one). Back, the publisher is back within its
// back-off, republishes the state, and tells how many events it dropped.
void TestMqtt::brokerAway() {
    Publisher publisher(nullptr);
    QStringList log;
    connect(&publisher, &Publisher::Logged, [&log](const QString &line) { log << line; });
    MqttState s;
    s.phase = Phase::Connected;
    s.alarms = QStringList();
    QVERIFY(StartConnected(publisher, s, QStringLiteral("orvik/away")));
    {
        Watcher watcher(broker_.port);
        QTRY_COMPARE(publisher.Unacknowledged(), 0); // the bound is the stall's alone
        const pid_t broker = pid_t(broker_.proc.processId());
        ::kill(broker, SIGSTOP);
        const int alarms = 3 * Client::MaxUnacknowledged;
        LinkEvent e;
        e.alarm = AlarmKind::Temp;
        for (int i = 0; i < alarms; ++i) {
            e.kind = i % 2 ? LinkEvent::Kind::AlarmEnd : LinkEvent::Kind::AlarmStart;
            publisher.Tell(e);
        }
        s.alarms = QStringList{QStringLiteral("TEMP")}; // finds the bound full
        publisher.Update(s);
        QTest::qWait(300);
        // The broker takes a few and stalls again; events take the places
        // it freed but one (no event loop meanwhile), the waiting state
        // takes that one, and the count finds none.
        ::kill(broker, SIGCONT);
        QElapsedTimer spell;
        spell.start();
        while (publisher.Unacknowledged() == Client::MaxUnacknowledged && spell.elapsed() < 10000)
            QThread::usleep(200);
        ::kill(broker, SIGSTOP);
        QThread::msleep(100); // what the broker sent before it stopped comes in
        const int refill = Client::MaxUnacknowledged - publisher.Unacknowledged() - 1;
        QVERIFY(refill >= 0);
        for (int i = 0; i < refill; ++i)
            publisher.Tell(e);
        QTest::qWait(300);
        ::kill(broker, SIGCONT);
        // With the broker's next acknowledgement, well before the
        // heartbeat, which would also carry the count.
        const auto dropped = watcher.WaitFor("orvik/away/event", [](const QByteArray &p) {
            return p.contains("\"event\":\"dropped\"");
        });
        QVERIFY(dropped);
        QCOMPARE(QJsonDocument::fromJson(dropped->payload)
                     .object()
                     .value(QStringLiteral("count"))
                     .toInt(),
                 alarms - Client::MaxUnacknowledged);
        QTRY_COMPARE(watcher.Messages("orvik/away/event").size(),
                     Client::MaxUnacknowledged + refill + 1);
        QVERIFY(watcher.Saw("orvik/away/state", "\"alarms\":[\"TEMP\"]"));
    }
    // It stalls again with events unacknowledged, and dies: they count as
    // dropped, and do not go again ahead of "online" when it is back.
    QTRY_COMPARE(publisher.Unacknowledged(), 0);
    ::kill(pid_t(broker_.proc.processId()), SIGSTOP);
    LinkEvent alarm;
    alarm.kind = LinkEvent::Kind::AlarmStart;
    for (int i = 0; i < 3; ++i)
        publisher.Tell(alarm);
    broker_.proc.kill();
    broker_.proc.waitForFinished();
    QTRY_COMPARE(int(publisher.CurrentStatus()), int(Publisher::Status::Retrying));
    s.phase = Phase::Lost;
    publisher.Update(s);
    LinkEvent phase;
    phase.kind = LinkEvent::Kind::Lost;
    publisher.Tell(phase); // an event, dropped
    s.phase = Phase::Waiting;
    publisher.Update(s);
    phase.kind = LinkEvent::Kind::Waiting;
    publisher.Tell(phase); // another
    // The retries come 1, 3, 7 s after the loss: the broker is back for the second.
    QTRY_COMPARE_WITH_TIMEOUT(log.filter(QStringLiteral("connection refused")).size(), 1, 5000);
    QVERIFY(broker_.Start());
    Watcher watcher(broker_.port);
    QVERIFY(watcher.Saw("orvik/away/state", "\"phase\":\"waiting\"", 5000));
    QVERIFY(watcher.Saw("orvik/away/event", "\"count\":5,\"event\":\"dropped\""));
    QCOMPARE(
        log.filter(QStringLiteral("5 events dropped while the broker was away or behind")).size(),
        1);
    const QList<Watcher::Message> all = watcher.Messages();
    const auto ours = std::find_if(all.begin(), all.end(), [](const Watcher::Message &m) {
        return m.topic.startsWith("orvik/away/");
    });
    QVERIFY(ours != all.end() && ours->topic == "orvik/away/availability");
}

// Stopped while the broker is behind (more waiting than its in-flight
// window): the broker comes back within the stop's wait, and takes the
// closed state before the goodbye, so its retained state is not stale.
void TestMqtt::stopWhileBehind() {
    Publisher publisher(nullptr);
    MqttState s;
    s.phase = Phase::Connected;
    s.alarms = QStringList();
    QVERIFY(StartConnected(publisher, s, QStringLiteral("orvik/behind")));
    const pid_t broker = pid_t(broker_.proc.processId());
    ::kill(broker, SIGSTOP);
    LinkEvent e;
    e.kind = LinkEvent::Kind::AlarmStart;
    e.alarm = AlarmKind::Temp;
    for (int i = 0; i < Client::MaxUnacknowledged / 2; ++i)
        publisher.Tell(e);
    std::thread resume([broker] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(broker, SIGCONT);
    });
    publisher.Stop();
    resume.join();
    Watcher late(broker_.port);
    QVERIFY(late.Saw("orvik/behind/state", "\"phase\":\"closed\""));
    QVERIFY(late.Saw("orvik/behind/availability", "offline"));
}

// The headless program on the simulated amplifier, two of them on one
// broker under their own topics, the first with Control=1, the second
// without. Each row acts on one and waits for what its topic shows.
void TestMqtt::headless_data() {
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("action"); // sim:COMMAND, set:LEAF=PAYLOAD, kill
    QTest::addColumn<QString>("sent");   // what the simulator then receives; "!": not
    QTest::addColumn<QByteArray>("leaf");
    QTest::addColumn<QByteArray>("shown"); // "^": the first message, retained
    const struct {
        const char *name;
        int station;
        const char *action, *sent, *leaf, *shown;
    } rows[] = {
        {"set/band", 0, "set:band=5", "B: 5", "state", "\"band\":5"},
        {"set/operate", 0, "set:operate=standby", "BL:ON", "state", "\"ptt_blocked\":true"},
        {"Control=0", 1, "set:band=2", "!B: 2", "state", "\"band\":3"},
        {"transmitting", 0, "sim:tx 850 12 4", "", "state", "^\"output_w\":850"},
        {"receiving: no power, not an unknown one", 0, "sim:wait 0", "", "state",
         "\"output_w\":0,\"pa_type\":\"1.2 kW\""},
        {"silent spell", 0, "sim:silent on", "", "state",
         "\"output_w\":null,\"pa_type\":null,\"peak_w\":null,\"phase\":\"no answer\""},
        {"unplug", 0, "sim:unplug", "", "state",
         "\"output_w\":null,\"pa_type\":null,\"peak_w\":null,\"phase\":\"lost\""},
        {"kill -9", 1, "kill", "", "availability", "offline"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.station << QString::fromLatin1(r.action)
                              << QString::fromLatin1(r.sent) << QByteArray(r.leaf)
                              << QByteArray(r.shown);
}

void TestMqtt::headless() {
    QFETCH(int, station);
    QFETCH(QString, action);
    QFETCH(QString, sent);
    QFETCH(QByteArray, leaf);
    QFETCH(QByteArray, shown);
    for (int i = 0; i < 2 && !stations_[i]; ++i) {
        auto st = std::make_unique<Station>();
        QVERIFY2(st->sim.start(), qPrintable(st->sim.errorString()));
        const QString ini = WriteFile(
            broker_.File(i ? "e2e2.ini" : "e2e1.ini"),
            QStringLiteral(
                "[MQTT]\nUsername=orvik\nPasswordFile=%1\nTopic=orvik/e2e%2\nControl=%3\n")
                .arg(WriteFile(broker_.File("password"), Mosquitto::Password))
                .arg(i + 1)
                .arg(i ? 0 : 1)
                .toUtf8());
        StartHeadless(&st->program,
                      {QStringLiteral("--port"), st->sim.devicePath(), QStringLiteral("--config"),
                       ini, QStringLiteral("--mqtt"), broker_.Url()});
        // Commands once the amplifier has told its settings (its version last).
        QVERIFY2(
            Watcher(broker_.port)
                .Saw("orvik/e2e" + QByteArray::number(i + 1) + "/state", "\"firmware\":\"3.30\""),
            st->program.readAllStandardOutput().constData());
        stations_[i] = std::move(st);
    }
    Station &st = *stations_[station];
    const QByteArray topic = "orvik/e2e" + QByteArray::number(station + 1) + '/';
    Watcher watcher(broker_.port);
    if (action == QLatin1String("kill"))
        ::kill(pid_t(st.program.processId()), SIGKILL);
    else if (action.startsWith(QLatin1String("sim:")))
        st.sim.say(action.mid(4).toLatin1());
    else
        watcher.Publish(topic + "set/" + action.mid(4).section(QLatin1Char('='), 0, 0).toLatin1(),
                        action.section(QLatin1Char('='), 1).toLatin1());
    if (sent.startsWith(QLatin1Char('!'))) {
        QTest::qWait(1000);
        QVERIFY(!st.sim.loggedLines().contains(sent.mid(1).toLatin1()));
        QVERIFY(watcher.Messages(topic + "result").isEmpty());
    } else if (!sent.isEmpty()) {
        QVERIFY2(st.sim.waitForLogged(sent.toLatin1()), st.program.readAllStandardOutput());
        QVERIFY(watcher.Saw(topic + "result", "\"ok\":true"));
    }
    // A retained message ("^"): the first one a new subscriber gets.
    const bool retained = shown.startsWith('^');
    QVERIFY2(watcher.Saw(topic + leaf, shown.mid(retained), 20000),
             st.program.readAllStandardOutput());
    if (retained) {
        const auto first = Watcher(broker_.port).WaitFor(topic + leaf);
        QVERIFY(first && first->retained && first->payload.contains(shown.mid(1)));
    }
}

// The password file at start, as an unprivileged user: root's own, which
// nobody may read; when not run as root, its own, which others may read.
void TestMqtt::passwordFile() {
    const bool root = ::geteuid() == 0;
    QTemporaryDir dir;
    const QString binary = dir.filePath(QStringLiteral("orvik-control"));
    QVERIFY(QFile::copy(ProgramBinary(), binary));
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString pw =
        WriteFile(dir.filePath(QStringLiteral("pw")), Mosquitto::Password, root ? 0600 : 0640);
    const QString ini =
        WriteFile(dir.filePath(QStringLiteral("m.ini")),
                  "[MQTT]\nUsername=orvik\nPasswordFile=" + pw.toUtf8() + '\n', 0644);
    QProcess p;
    StartHeadless(&p,
                  {QStringLiteral("--port"), QStringLiteral("/dev/null"),
                   QStringLiteral("--config"), ini, QStringLiteral("--mqtt"), broker_.Url()},
                  binary);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2); // settings a restart cannot mend
    const QByteArray error = p.readAllStandardError();
    QVERIFY2(error.startsWith("orvik-control: MQTT: ") &&
                 error.contains(root ? "cannot read the password file" : "(mode 0640)"),
             error.constData());
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
