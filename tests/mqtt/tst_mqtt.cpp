// The MQTT publisher: its rules in one table (URLs, topics, password files,
// commands, the state's JSON, events, discovery configs), then against a
// real mosquitto: connecting with good and bad credentials, certificates
// and ACLs, the retained state, availability and last will, the broker
// going away and coming back, and commands with Control on and off.
#include "link/AmpLink.h"
#include "mqtt/HomeAssistant.h"
#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "tests/mqtt/Mosquitto.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSysInfo>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace mqtt;

namespace {

// The amplifier side: the commands that reached it, and a refusal to give.
class RecordingTarget : public CommandTarget {
public:
    QStringList calls;
    QString refusal;
    QString Apply(const Command &c) override {
        if (!refusal.isEmpty())
            return refusal;
        calls << (c.kind == Command::Kind::Band ? QStringLiteral("band %1").arg(c.band)
                  : c.kind == Command::Kind::Operate
                      ? QStringLiteral("operate %1").arg(int(c.operate))
                      : QStringLiteral("raw ") + QString::fromLatin1(c.line));
        return QString();
    }
};

// A file holding text, with a mode.
QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text, int mode) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
    return path;
}

// The state's JSON without its time.
QString JsonOf(const MqttState &s) {
    QJsonObject o = QJsonDocument::fromJson(StateJson(s, QDateTime::currentDateTimeUtc())).object();
    o.remove(QStringLiteral("time"));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// Reports ("|"-separated) into a connected state; "@silent", "@Waiting" and
// "@Connecting" set the connection instead.
AmpState StateFromReports(const QString &reports) {
    AmpState s;
    s.PaIdentified = true;
    s.Phase = LinkPhase::Connected;
    for (const QString &line : reports.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (line == QLatin1String("@silent"))
            s.NoAnswer = true;
        else if (line.startsWith(QLatin1Char('@')))
            s.Phase =
                line == QLatin1String("@Waiting") ? LinkPhase::Waiting : LinkPhase::Connecting;
        else
            ApplyReport(line, s);
    }
    return s;
}

QString Evaluate(const QString &rule, const QString &input) {
    const QStringList in = input.split(QLatin1Char('|'));
    QTemporaryDir dir;
    if (rule == QLatin1String("broker")) {
        Broker b;
        const QString e = ParseBroker(input, &b);
        return e.isEmpty() ? b.Url() : e;
    }
    if (rule == QLatin1String("topic"))
        return CheckTopic(input).isEmpty() ? QStringLiteral("ok") : CheckTopic(input);
    if (rule == QLatin1String("password")) {
        // MODE|CONTENT, or "dir", "missing", "large".
        QString path = dir.filePath(QStringLiteral("missing"));
        if (input == QLatin1String("dir"))
            path = dir.path();
        else if (input == QLatin1String("large"))
            path = WriteFile(dir, QStringLiteral("p"), QByteArray(5000, 'x'), 0600);
        else if (input != QLatin1String("missing"))
            path = WriteFile(dir, QStringLiteral("p"),
                             in.value(1).toLatin1().replace("\\n", "\n").replace("\\r", "\r"),
                             in.at(0).toInt(nullptr, 8));
        QByteArray password;
        const QString e = ReadPasswordFile(path, &password);
        return e.isEmpty() ? QString::fromLatin1(password) : e;
    }
    if (rule == QLatin1String("prepare")) {
        // BROKER|USER|PASSWORD?|CAFILE?
        Settings s;
        s.broker = in.at(0);
        s.username = in.value(1);
        if (in.value(2) == QLatin1String("pw"))
            s.passwordFile = WriteFile(dir, QStringLiteral("p"), "pw\n", 0600);
        if (in.value(3) == QLatin1String("ca"))
            s.caFile = WriteFile(dir, QStringLiteral("ca"), "x", 0644);
        else if (!in.value(3).isEmpty())
            s.caFile = dir.filePath(in.value(3));
        Config c;
        const QString e = Prepare(s, &c);
        return e.isEmpty() ? c.topic.replace(QSysInfo::machineHostName(), QStringLiteral("HOST")) +
                                 QLatin1Char(' ') + QString::fromLatin1(c.password)
                           : e;
    }
    if (rule == QLatin1String("command")) {
        // NAME|PAYLOAD|ALLOWRAW; a payload "*N" is N times "1".
        const QByteArray payload = in.at(1).startsWith(QLatin1Char('*'))
                                       ? QByteArray(in.at(1).mid(1).toInt(), '1')
                                       : in.at(1).toLatin1();
        Command c;
        const QString e = ParseCommand(in.at(0), payload, in.value(2) == QLatin1String("1"), &c);
        if (!e.isEmpty())
            return e;
        return c.kind == Command::Kind::Band ? QStringLiteral("band %1").arg(c.band)
               : c.kind == Command::Kind::Operate
                   ? QStringLiteral("operate %1").arg(int(c.operate))
                   : QStringLiteral("raw ") + QString::fromLatin1(c.line);
    }
    if (rule == QLatin1String("state")) {
        // PREVIOUS PHASE|REPORTS...
        return JsonOf(StateOf(StateFromReports(in.mid(1).join(QLatin1Char('|'))), in.at(0)));
    }
    if (rule == QLatin1String("events")) {
        // BEFORE|AFTER|KNOWN ALARMS: each "phase:ALARM,ALARM" or "phase:-" (not current).
        auto state = [](const QString &text) {
            MqttState s;
            s.phase = text.section(QLatin1Char(':'), 0, 0);
            const QString alarms = text.section(QLatin1Char(':'), 1);
            if (alarms != QLatin1String("-"))
                s.alarms = alarms.split(QLatin1Char(','), Qt::SkipEmptyParts);
            return s;
        };
        QStringList names;
        for (const QByteArray &e : Events(state(in.at(0)), state(in.at(1)), state(in.at(2)).alarms,
                                          QDateTime::currentDateTimeUtc())) {
            const QJsonObject o = QJsonDocument::fromJson(e).object();
            names << o.value(QStringLiteral("event")).toString() + QLatin1Char(' ') +
                         o.value(o.contains(QStringLiteral("alarm")) ? QStringLiteral("alarm")
                                                                     : QStringLiteral("phase"))
                             .toString();
        }
        return names.join(QStringLiteral(", "));
    }
    if (rule == QLatin1String("discovery")) {
        // CONTROL DISCOVERY: announced/all, "select" when the band select is
        // announced; a config that is not JSON or misses the availability
        // and state topics is named.
        Config c;
        c.topic = QStringLiteral("orvik/shack 1");
        c.control = input.startsWith(QLatin1Char('1'));
        c.discovery = input.endsWith(QLatin1Char('1'));
        int announced = 0;
        QString select;
        const QList<DiscoveryConfig> all = DiscoveryConfigs(c);
        for (const DiscoveryConfig &d : all) {
            if (!d.topic.startsWith("homeassistant/") || !d.topic.contains("/orvik_shack_1/"))
                return QStringLiteral("bad topic ") + QString::fromUtf8(d.topic);
            if (d.payload.isEmpty())
                continue;
            ++announced;
            const QJsonObject o = QJsonDocument::fromJson(d.payload).object();
            if (o.value(QStringLiteral("availability_topic")) !=
                    QLatin1String("orvik/shack 1/availability") ||
                o.value(QStringLiteral("state_topic")) != QLatin1String("orvik/shack 1/state") ||
                o.value(QStringLiteral("device"))
                        .toObject()
                        .value(QStringLiteral("identifiers"))
                        .toArray()
                        .first() != QLatin1String("orvik_shack_1"))
                return QStringLiteral("bad config ") + QString::fromUtf8(d.topic);
            if (d.topic.contains("/select/"))
                select = QStringLiteral(" select ") +
                         o.value(QStringLiteral("command_topic")).toString();
        }
        return QStringLiteral("%1/%2").arg(announced).arg(all.size()) + select;
    }
    return QStringLiteral("unknown rule");
}

// Starts the test program again as a publisher that never stops (for the
// last will): ORVIK_MQTT_CHILD holds URL|TOPIC|PASSWORD FILE.
int RunChild(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList in = qEnvironmentVariable("ORVIK_MQTT_CHILD").split(QLatin1Char('|'));
    Settings s;
    s.broker = in.at(0);
    s.topic = in.at(1);
    s.username = QStringLiteral("orvik");
    s.passwordFile = in.at(2);
    Config c;
    Publisher publisher(nullptr);
    if (!Prepare(s, &c).isEmpty() || !publisher.Start(c).isEmpty())
        return 1;
    return app.exec();
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
    void lastWill();

private:
    // The settings for the broker under test, as the publisher reads them.
    Config Configure(const QString &url, const QString &user, const QString &ca,
                     const QString &topic, bool control = false, bool allowRaw = false);
    Mosquitto broker_;
    QTemporaryDir files_;
    QString passwordFile_;
};

void TestMqtt::initTestCase() {
    QVERIFY2(broker_.Start(), qPrintable(QString::fromLocal8Bit(broker_.proc.readAll())));
    passwordFile_ =
        WriteFile(files_, QStringLiteral("password"), QByteArray(Mosquitto::Password) + "\n", 0600);
}

Config TestMqtt::Configure(const QString &url, const QString &user, const QString &ca,
                           const QString &topic, bool control, bool allowRaw) {
    Settings s;
    s.broker = url;
    s.username = user;
    if (user == QLatin1String("wrong"))
        s.username = QStringLiteral("orvik");
    s.passwordFile = user.isEmpty() ? QString()
                     : user == QLatin1String("wrong")
                         ? WriteFile(files_, QStringLiteral("wrong"), "nope\n", 0600)
                         : passwordFile_;
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
        {"broker", "mqtt://127.0.0.1:1883", "mqtt://127.0.0.1:1883"},
        {"broker", " MQTTS://broker.lan ", "mqtts://broker.lan:8883"},
        {"broker", "mqtt://[::1]:1884/", "mqtt://[::1]:1884"},
        {"broker", "mqtt://pi", "mqtt://pi:1883"},
        {"broker", "tcp://pi:1883", "~unknown scheme"},
        {"broker", "pi:1883", "~is not mqtt://"},
        {"broker", "mqtt://orvik:s3cret@pi:1883", "~use Username= and PasswordFile="},
        {"broker", "mqtt://pi:0", "~is not a number from 1 to 65535"},
        {"broker", "mqtt://pi:65536", "~is not a number"},
        {"broker", "mqtt://pi:+1", "~is not a number"},
        {"broker", "mqtt://pi:", "~empty port"},
        {"broker", "mqtt://:1883", "~names no host"},
        {"broker", "mqtt://::1:1883", "~in brackets"},
        {"broker", "mqtt://[1.2.3.4]:1883", "~is not an IPv6 address"},
        {"broker", "mqtt://pi:1883/orvik", "~nothing may follow"},
        {"broker", "mqtt://p i:1883", "~is not a host name"},
        {"topic", "orvik/shack1", "ok"},
        {"topic", "", "~empty"},
        {"topic", "orvik/+", "~wildcards"},
        {"topic", "orvik/#", "~wildcards"},
        {"topic", "$SYS/orvik", "~belongs to the broker"},
        {"topic", "orvik//a", "~empty level"},
        {"topic", "orvik/", "~empty level"},
        {"topic", "orvik/\x01", "~control character"},
        {"password", "600|s3cret\\nsecond line", "s3cret"},
        {"password", "400|s3cret\\r\\n", "s3cret"},
        {"password", "640|s3cret",
         "~may be read or written by others (mode 0640); make it readable"},
        {"password", "602|s3cret", "~(mode 0602)"},
        {"password", "600|", "~has no password on its first line"},
        {"password", "600|\\nsecond", "~has no password"},
        {"password", "dir", "~is not a regular file"},
        {"password", "missing", "~cannot read the password file"},
        {"password", "large", "~larger than 4096 bytes"},
        {"prepare", "mqtt://pi|orvik|pw", "orvik/HOST pw"},
        {"prepare", "mqtt://pi||pw", "PasswordFile= needs Username="},
        {"prepare", "mqtt://pi|||ca", "~is not encrypted: use mqtts://"},
        {"prepare", "mqtts://pi|||ca", "orvik/HOST "},
        {"prepare", "mqtts://pi|||none.crt", "~cannot read the CA file"},
        {"prepare", "http://pi", "~Broker=: unknown scheme"},
        {"command", "band|3|0", "band 3"},
        {"command", "band| 7 |0", "band 7"},
        {"command", "band|14074000|0", "band 4"},
        {"command", "band|7.1e6|0", "band 3"},
        {"command", "band|0|0", "~a band number 1..7 or a frequency in Hz"},
        {"command", "band|8|0", "~no band of the amplifier holds that frequency"},
        {"command", "band|3.5|0", "~no band"},
        {"command", "band|abc|0", "~set/band \"abc\": a band number"},
        {"command", "band|inf|0", "~a band number"},
        {"command", "band|*257|0", "~257 bytes, at most 256"},
        {"command", "operate|operate|0", "operate 1"},
        {"command", "operate|STANDBY\n|0", "operate 0"},
        {"command", "operate|on|0", "~\"operate\" or \"standby\""},
        {"command", "raw|ATU_STATE: 1|1", "raw ATU_STATE: 1"},
        {"command", "raw|ATU_STATE: 1|0", "~not allowed ([Network] AllowRaw=1"},
        {"command", "raw|B: 3\r\nB: 4|1", "~one line without control characters"},
        {"command", "raw| |1", "~an empty line"},
        {"command", "mode|x|0", "~unknown command set/mode"},
        // The state from the link's record: none for what is not current.
        {"state", "closed|O: 850|R: 10|P_max: 900|B: 4|T: 35|TX: ON",
         "{\"alarms\":[],\"band\":4,\"band_name\":\"30M/20M\",\"firmware\":null,\"output_w\":850,"
         "\"pa_type\":\"1.2 "
         "kW\",\"peak_w\":900,\"phase\":\"connected\",\"port\":null,\"ptt_blocked\":false,"
         "\"reflected_w\":10,\"swr\":1.24,\"temperature_c\":35,\"transmitting\":true,\"tuner\":"
         "null}"},
        {"state", "connected|Ver: 3.30x2|ALARM: SWR|ALARM: TEMP|@silent",
         "{\"alarms\":null,\"band\":null,\"band_name\":null,\"firmware\":null,\"output_w\":null,"
         "\"pa_type\":\"2.4 kW\",\"peak_w\":null,\"phase\":\"no "
         "answer\",\"port\":null,\"ptt_blocked\":null,"
         "\"reflected_w\":null,\"swr\":null,\"temperature_c\":null,\"transmitting\":null,\"tuner\":"
         "null}"},
        {"state", "connected|O: 850|@Waiting",
         "~\"output_w\":null,\"pa_type\":\"1.2 kW\",\"peak_w\":null,\"phase\":\"lost\""},
        {"state", "closed|@Waiting", "~\"phase\":\"waiting\""},
        {"state", "closed|O: 850|@Connecting",
         "~\"output_w\":null,\"pa_type\":\"1.2 kW\",\"peak_w\":null,\"phase\":\"connecting\""},
        {"state", "closed|Ver: 2.1|ALARM: SWR|ALARM: TEMP",
         "~\"alarms\":[\"SWR\",\"TEMP\"],\"band\":7,\"band_name\":\"6M\",\"firmware\":\"2.1\""},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 1|SWR: 15|O: 100|R: 25",
         "~\"swr\":1.5,\"temperature_c\":null,\"transmitting\":false,\"tuner\":{\"capacitance_pf\":"
         "null,"
         "\"fitted\":true,\"forward_w\":null,\"in_line\":true,\"inductance_uh\":null,\"status\":"
         "null,\"swr\":1.5}"},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 0|SWR: 15|O: 100|R: 25", "~\"swr\":3,"},
        {"state", "closed|B: 2|ATU_INST: 1|ATU_STATE: 1|SWR: 15|B: 3",
         "~\"swr\":null,\"temperature_c\""},
        {"events", "connected:SWR|connected:SWR,TEMP|connected:SWR", "alarm TEMP"},
        {"events", "connected:SWR|connected:|connected:SWR", "alarm_end SWR"},
        {"events", "connected:SWR|lost:-|connected:SWR", "connection lost"},
        {"events", "lost:-|connected:TEMP|connected:SWR",
         "connection connected, alarm_end SWR, alarm TEMP"},
        {"events", "closed:-|waiting:-|closed:-", "connection waiting"},
        {"discovery", "1 1", "20/20 select orvik/shack 1/set/band"},
        {"discovery", "0 1", "18/20"},
        {"discovery", "1 0", "0/20"},
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
    const QString none = QStringLiteral("mqtt://127.0.0.1:%1").arg(Ser2net::FreePort());
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
        {"TLS, another CA", broker_.Url(true), "orvik", "other-ca.crt", S::Refused,
         "refused us: TLS: certificate verify failed"},
        {"TLS, the system's CAs", broker_.Url(true), "orvik", "", S::Refused,
         "refused us: TLS: certificate verify failed"},
        {"TLS, another host name", broker_.Url(true, "localhost"), "orvik", "ca.crt", S::Refused,
         "refused us: TLS: the certificate does not name this host"},
        {"ACL denies", broker_.Url(), "denied", "", S::Connected,
         "the broker refuses messages on orvik/test/availability: not authorised"},
        {"no broker", none, "orvik", "", S::Retrying,
         "cannot connect to %1: connection refused; trying again, at most every 0.3 s"},
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
    QVERIFY2(log.filter(message).size() == 1, qPrintable(log.join(QLatin1Char('\n'))));
    QVERIFY2(log.size() <= 4, qPrintable(log.join(QLatin1Char('\n'))));
}

void TestMqtt::state() {
    Watcher watcher(broker_.port);
    Publisher publisher(nullptr);
    Timing timing;
    timing.heartbeatMs = 500;
    MqttState s;
    s.phase = Phase::Connected;
    s.current = true;
    s.alarms = QStringList();
    s.outputW = 0;
    publisher.Update(s); // before the connection: published as it comes
    QCOMPARE(publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(),
                                       QStringLiteral("orvik/st")),
                             timing),
             QString());
    QVERIFY(watcher.WaitFor("orvik/st/state",
                            [](const QByteArray &p) { return p.contains("\"output_w\":0"); }));
    QVERIFY(watcher.WaitFor("orvik/st/availability",
                            [](const QByteArray &p) { return p == "online"; }));

    // A burst of changes: at most one state per 100 ms, the last one kept.
    watcher.Clear();
    for (int w = 1; w <= 50; ++w) {
        s.outputW = w;
        publisher.Update(s);
    }
    s.alarms = QStringList{QStringLiteral("SWR")};
    publisher.Update(s);
    QVERIFY(watcher.WaitFor(
        "orvik/st/state", [](const QByteArray &p) { return p.contains("\"alarms\":[\"SWR\"]"); }));
    QVERIFY(watcher.Messages("orvik/st/state").size() <= 3);
    const auto alarm = watcher.WaitFor("orvik/st/event");
    QVERIFY(alarm && !alarm->retained &&
            alarm->payload.contains("\"event\":\"alarm\",\"text\":\"High reverse power\""));
    // Unchanged, it comes again with the heartbeat.
    QTest::qWait(1100);
    QVERIFY(watcher.Messages("orvik/st/state").size() >= 3);

    // What a subscriber finds later: the retained state, availability and
    // the discovery configs, each naming the availability topic.
    Watcher late(broker_.port);
    const auto retained = late.WaitFor("orvik/st/state");
    QVERIFY(retained && retained->retained);
    const QJsonObject o = QJsonDocument::fromJson(retained->payload).object();
    QCOMPARE(o.value(QStringLiteral("output_w")).toInt(), 50);
    QVERIFY(QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                .isValid());
    QVERIFY(late.WaitFor("homeassistant/sensor/orvik_st/output_power/config"));
    QTest::qWait(200);
    QVERIFY(late.Messages("homeassistant/switch/orvik_st/operate/config").isEmpty()); // no Control
    const QList<Watcher::Message> all = late.Messages();
    int configs = 0;
    for (const Watcher::Message &m : all)
        if (m.topic.startsWith("homeassistant/") && m.topic.contains("/orvik_st/")) {
            ++configs;
            QCOMPARE(QJsonDocument::fromJson(m.payload)
                         .object()
                         .value(QStringLiteral("availability_topic"))
                         .toString(),
                     QStringLiteral("orvik/st/availability"));
        }
    QCOMPARE(configs, 18);

    publisher.Stop();
    QVERIFY(
        late.WaitFor("orvik/st/availability", [](const QByteArray &p) { return p == "offline"; }));
}

void TestMqtt::commands_data() {
    QTest::addColumn<bool>("control");
    QTest::addColumn<bool>("allowRaw");
    QTest::addColumn<QString>(
        "messages"); // LEAF=PAYLOAD, ";"-separated; "!" before: retained, before the start
    QTest::addColumn<QString>("refusal"); // what the amplifier side answers
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("calls");
    const QByteArray tooLong = "band=" + QByteArray(300, '3');
    const struct {
        const char *name;
        bool control, allowRaw;
        const char *messages, *refusal, *results, *calls;
    } rows[] = {
        {"band", true, false, "band=3", "", "ok", "band 3"},
        {"band by frequency", true, false, "band=14074000", "", "ok", "band 4"},
        {"malformed", true, false, "band=abc", "",
         "set/band \"abc\": a band number 1..7 or a frequency in Hz", ""},
        {"too long", true, false, tooLong.constData(), "", "set/band: 300 bytes, at most 256", ""},
        {"operate", true, false, "operate=standby", "", "ok", "operate 0"},
        {"unknown", true, false, "band/now=3", "",
         "unknown command set/band/now: set/band, set/operate or set/raw", ""},
        {"raw not allowed", true, false, "raw=T?", "",
         "set/raw: not allowed ([Network] AllowRaw=1 allows it)", ""},
        {"raw", true, true, "raw=T?", "", "ok", "raw T?"},
        {"not connected", true, false, "operate=operate", "the amplifier is not connected",
         "set/operate: the amplifier is not connected", ""},
        {"latest wins", true, false, "band=3;band=5;band=6", "",
         "ok|set/band: replaced by a later one|ok", "band 3|band 6"},
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
    const QStringList list = messages.split(QLatin1Char(';'));
    for (const QString &m : list)
        if (m.startsWith(QLatin1Char('!')))
            watcher.Publish("orvik/cmd/set/" + m.mid(1).section(QLatin1Char('='), 0, 0).toUtf8(),
                            m.section(QLatin1Char('='), 1).toUtf8(), true);
    QCOMPARE(publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(),
                                       QStringLiteral("orvik/cmd"), control, allowRaw)),
             QString());
    QTRY_COMPARE(int(publisher.CurrentStatus()), int(Publisher::Status::Connected));
    QVERIFY(watcher.WaitFor("orvik/cmd/availability",
                            [](const QByteArray &p) { return p == "online"; }));
    QTest::qWait(200); // the subscription is in place
    for (const QString &m : list)
        if (!m.startsWith(QLatin1Char('!')))
            watcher.Publish("orvik/cmd/set/" + m.section(QLatin1Char('='), 0, 0).toUtf8(),
                            m.section(QLatin1Char('='), 1).toUtf8());
    const QStringList expected = results.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QTRY_COMPARE(watcher.Messages("orvik/cmd/result").size(), expected.size());
    QTest::qWait(500); // nothing more comes
    QStringList got;
    for (const Watcher::Message &m : watcher.Messages("orvik/cmd/result"))
        got << QString::fromUtf8(m.payload);
    QCOMPARE(got, expected);
    QCOMPARE(target.calls, calls.split(QLatin1Char('|'), Qt::SkipEmptyParts));
    watcher.Publish("orvik/cmd/set/band", QByteArray(), true); // the retained command goes
}

// The broker stops and comes back: the publisher is back within its
// back-off, republishes the state, and tells how many events it dropped.
void TestMqtt::brokerAway() {
    Publisher publisher(nullptr);
    QStringList log;
    connect(&publisher, &Publisher::Logged, [&log](const QString &line) { log << line; });
    MqttState s;
    s.phase = Phase::Connected;
    publisher.Update(s);
    QCOMPARE(publisher.Start(Configure(broker_.Url(), QStringLiteral("orvik"), QString(),
                                       QStringLiteral("orvik/away"))),
             QString());
    QTRY_COMPARE(int(publisher.CurrentStatus()), int(Publisher::Status::Connected));
    broker_.Stop();
    QTRY_COMPARE(int(publisher.CurrentStatus()), int(Publisher::Status::Retrying));
    s.phase = Phase::Lost;
    publisher.Update(s); // an event, dropped
    s.phase = Phase::Waiting;
    publisher.Update(s); // another
    // The retries come 1, 3, 7 s after the loss: the broker is back for the second.
    QTRY_COMPARE_WITH_TIMEOUT(log.filter(QStringLiteral("connection refused")).size(), 1, 5000);
    QVERIFY(broker_.Start());
    Watcher watcher(broker_.port);
    const auto state = watcher.WaitFor("orvik/away/state", {}, 5000);
    QVERIFY(state && state->payload.contains("\"phase\":\"waiting\""));
    QVERIFY(watcher.WaitFor("orvik/away/event", [](const QByteArray &p) {
        return p.contains("\"count\":2,\"event\":\"dropped\"");
    }));
    QCOMPARE(log.filter(QStringLiteral("2 events dropped while the broker was away")).size(), 1);
    QCOMPARE(publisher.DroppedEvents(), 0);
}

// A publisher killed outright: the broker publishes its will, "offline".
void TestMqtt::lastWill() {
    Watcher watcher(broker_.port);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVIK_MQTT_CHILD"),
               broker_.Url() + QStringLiteral("|orvik/will|") + passwordFile_);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(watcher.WaitFor("orvik/will/availability",
                            [](const QByteArray &p) { return p == "online"; }));
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished(5000);
    QVERIFY(watcher.WaitFor(
        "orvik/will/availability", [](const QByteArray &p) { return p == "offline"; }, 5000));
    watcher.Publish("orvik/will/availability", QByteArray(), true);
}

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsSet("ORVIK_MQTT_CHILD"))
        return RunChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestMqtt test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mqtt.moc"
