// SPDX-License-Identifier: GPL-3.0-or-later
// The commands and their gate: each operator command's line, echo and
// the state it sets at once (or its refusal), and the gate every source's
// request passes with driven time: checked against the state (a transmission,
// the interface, the tuner, a value out of range), spaced per kind, the
// newest waiting request winning, a request the amplifier already meets told
// as met, each source told its outcome.
#include "tests/link/LinkFixture.h"

#include <QTest>

#include <functional>
#include <map>

class TestCommandGate : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void operatorCommands_data();
    void operatorCommands();
    void gate_data();
    void gate();
};

// The operator's commands: the state they set at once and the exact line
// and echo they send, after the reports in "before" ("|"-separated).
void TestCommandGate::operatorCommands_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("state");
    auto row = [](const char *name, const char *before, const char *command, const char *wire,
                  const char *state) {
        QTest::newRow(name) << QString::fromLatin1(before) << QString::fromLatin1(command)
                            << QByteArray(wire) << Split(state);
    };
    row("band", "", "band 3", "B: 3\r\n", "band=3");
    row("band out of range", "", "band 8", "", "band=none");
    row("fan", "", "fan 4", "F: 4\r\n", "settings=F4 ALM0 BAR0 TOT0 IN0");
    row("interface", "", "interface 5", "I: 5\r\n", "interface=5");
    row("alarm sound", "", "sound 1", "ALM: 1\r\n", "settings=F0 ALM1 BAR0 TOT0 IN0");
    row("bar", "", "bar 2", "BAR: 2\r\n", "settings=F0 ALM0 BAR2 TOT0 IN0");
    row("tot", "", "tot 3", "TOT: 3\r\n", "settings=F0 ALM0 BAR0 TOT3 IN0");
    row("alc", "CAL: 180", "alc 100", "ALC_PWM: 54\r\n", "");
    row("alc uncalibrated", "", "alc 100", "",
        "effects=box:Error:Please make first a calibration in PA !");
    row("atu on", "B: 3", "atu", "ATU_STATE: 1\r\n", "pending=0010|atu=Initial");
    row("atu on band 7", "", "atu", "", "pending=0000|atu=InLine");
    row("atu off", "ATU_STATE: 1", "atu", "ATU_STATE: 0\r\n", "pending=0001|atu=InLine");
    row("tune", "B: 3|ATU_STATE: 1", "tune", "TUNE ON\r\n", "");
    row("tune bypassed", "B: 3|ATU_STATE: 0", "tune", "", "");
    row("tune band 7", "ATU_STATE: 1", "tune", "", "");
    row("fine", "ATU_STATE: 1", "fine", "TUNE FINE\r\n", "");
    row("fine bypassed", "ATU_STATE: 0", "fine", "", "");
    row("memory", "", "memory", "CMEM\r\n", "");
    row("swr min", "", "swrmin 13", "SWRmin: 13\r\n", "swrmin=13");
    row("swr min out of range", "", "swrmin 18", "", "swrmin=0");
}

void TestCommandGate::operatorCommands() {
    QFETCH(QString, before);
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, state);
    connectPeer();
    for (const QString &b : before.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        feed(b.toLatin1() + "\r\n");
    log.clear();
    effects.clear();
    const QString verb = command.section(QLatin1Char(' '), 0, 0);
    const int n = command.section(QLatin1Char(' '), 1, 1).toInt();
    const std::map<QString, std::function<void()>> commands = {
        {QStringLiteral("band"), [&] { link->SelectBand(n); }},
        {QStringLiteral("fan"), [&] { link->SetFan(n); }},
        {QStringLiteral("interface"), [&] { link->SelectInterface(n); }},
        {QStringLiteral("sound"), [&] { link->SetAlarmSound(n); }},
        {QStringLiteral("bar"), [&] { link->SetBarSpeed(n); }},
        {QStringLiteral("tot"), [&] { link->SetTot(n); }},
        {QStringLiteral("alc"), [&] { link->PressOutputBar(n); }},
        {QStringLiteral("atu"), [&] { link->ToggleAtu(); }},
        {QStringLiteral("tune"), [&] { link->Tune(); }},
        {QStringLiteral("fine"), [&] { link->FineTune(); }},
        {QStringLiteral("memory"), [&] { link->ClearAtuMemory(); }},
        {QStringLiteral("swrmin"), [&] { link->SetSwrMin(n); }},
    };
    commands.at(verb)();
    QCOMPARE(peer->read(150), wire);
    // Operator commands are echoed without their CR LF.
    QCOMPARE(log, wire.isEmpty()
                      ? QStringList()
                      : QStringList{QStringLiteral("- ") + QString::fromLatin1(wire.chopped(2))});
    const auto all = Probes(link->Pending());
    for (const QString &pair : state) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString value = name == QStringLiteral("effects") ? effects.join(QLatin1Char(','))
                                                                : all.at(name)(link->State());
        QCOMPARE(name + QLatin1Char('=') + value, pair);
    }
    const bool atuResend = verb == QStringLiteral("atu") && !wire.isEmpty();
    QCOMPARE(link->AtuTimer()->isActive(), atuResend);
    if (atuResend) {
        link->AtuTick(); // re-sent until confirmed
        QCOMPARE(peer->read(), wire);
    }
}

// The command gate, with driven time. Steps "MS SOURCE COMMAND" (source
// panel, keyboard, server, mqtt, web; command "band N", "standby", "operate",
// "fan N", "swrmin N", "tune", "fine"), "MS tick" (the gate's timer) and
// "MS < LINE" (a report). The lines that went out, and each final outcome
// as "source command: result".
void TestCommandGate::gate_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("outcomes");
    auto row = [](const char *name, const char *steps, const char *wire, const char *outcomes) {
        QTest::newRow(name) << QString::fromLatin1(steps) << QByteArray(wire) << Split(outcomes);
    };
    // MQTT standby, operate 100 ms later, standby again just past the
    // first spacing: the newest request is the last to go.
    row("newest wins at the boundary",
        "0 mqtt standby|10 < BL:ON|100 mqtt operate|250 tick|254 mqtt standby|400 tick|500 tick",
        "BL:ON\r\nBL:OFF\r\nBL:OFF\r\nBL:ON\r\n",
        "mqtt standby: ok|mqtt operate: ok|mqtt standby: ok");
    row("a waiting request is replaced, never the reverse",
        "0 mqtt standby|10 < BL:ON|100 mqtt operate|249 mqtt standby|250 tick", "BL:ON\r\n",
        "mqtt standby: ok|mqtt operate: a newer request took its place|mqtt standby: ok");
    row("spacing from the send, not from the request",
        "0 server band 3|200 server band 4|249 tick|250 tick", "B: 3\r\nB: 4\r\n",
        "ampctld 127.0.0.1:40122 band 3: ok|ampctld 127.0.0.1:40122 band 4: ok");
    row("a click goes at once and withdraws a waiting request",
        "0 mqtt band 3|100 mqtt band 4|120 panel band 6|400 tick", "B: 3\r\nB: 6\r\n",
        "mqtt band 3: ok|mqtt band 4: a newer request took its place|panel band 6: ok");
    row("no band change under a transmission but by a click",
        "0 < TX: ON|0 keyboard band 3|0 server band 3|0 mqtt band 3|0 panel band 4", "B: 4\r\n",
        "keyboard band 3: the amplifier is transmitting|ampctld 127.0.0.1:40122 band 3: the "
        "amplifier is transmitting|mqtt band 3: the amplifier is transmitting|panel band 4: ok");
    row("a waiting band change is refused once a transmission begins",
        "0 mqtt band 3|100 mqtt band 4|150 < TX: ON|250 tick", "B: 3\r\n",
        "mqtt band 3: ok|mqtt band 4: the amplifier is transmitting");
    row("a client's band only with the Manual interface", "0 < I: 3|0 mqtt band 3", "",
        "mqtt band 3: the band follows the transceiver; only the Manual interface lets it be "
        "chosen");
    row("a client's request the amplifier already meets",
        "0 < B: 3|0 mqtt band 3|0 < BL:ON|0 server standby|0 web interface 5|10 web interface 2",
        "I: 2\r\n",
        "mqtt band 3: ok|ampctld 127.0.0.1:40122 standby: ok|web 127.0.0.1:40122 interface 5: "
        "ok|web 127.0.0.1:40122 interface 2: ok");
    row("a waiting request the amplifier meets by its turn goes nowhere",
        "0 mqtt band 3|100 mqtt band 4|150 < B: 4|250 tick", "B: 3\r\n",
        "mqtt band 3: ok|mqtt band 4: ok");
    // Settings and the tuner pass the same gate: checked, spaced, told.
    row("settings from a client",
        "0 web fan 5|0 web swrmin 18|0 < ATU_STATE: 0|0 web tune|0 web fan 2|10 web fan 3|"
        "250 tick|300 < F: 3|300 web fan 3",
        "F: 2\r\nF: 3\r\n",
        "web 127.0.0.1:40122 fan 5: no such setting: 5|web 127.0.0.1:40122 SWR min 18: no "
        "such SWR limit: 18|web 127.0.0.1:40122 tune: the tuner is bypassed|web "
        "127.0.0.1:40122 fan 2: ok|web 127.0.0.1:40122 fan 3: ok|web 127.0.0.1:40122 fan 3: ok");
    row("a tune with the tuner in line",
        "0 < B: 3|0 < ATU_STATE: 1|0 web tune|100 web fine|250 tick|260 < B: 7|600 web tune",
        "TUNE ON\r\nTUNE FINE\r\n",
        "web 127.0.0.1:40122 tune: ok|web 127.0.0.1:40122 fine tune: ok|web 127.0.0.1:40122 "
        "tune: the 6 m band has no tuner");
}

void TestCommandGate::gate() {
    QFETCH(QString, steps);
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, outcomes);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    QStringList told;
    connect(link.get(), &AmpLink::CommandFinished, this, [&told](const CommandOutcome &o) {
        told << o.command.source.Text() + QLatin1Char(' ') + o.command.Text() +
                    QStringLiteral(": ") + o.Text();
    });
    connectPeer();
    feed("I: 5\r\n");
    const std::map<QString, CommandSource::Kind> sources = {
        {QStringLiteral("panel"), CommandSource::Kind::Panel},
        {QStringLiteral("keyboard"), CommandSource::Kind::Keyboard},
        {QStringLiteral("server"), CommandSource::Kind::Server},
        {QStringLiteral("mqtt"), CommandSource::Kind::Mqtt},
        {QStringLiteral("web"), CommandSource::Kind::Web}};
    const std::map<QString, Command::Kind> kinds = {
        {QStringLiteral("band"), Command::Kind::Band},
        {QStringLiteral("standby"), Command::Kind::PttBlock},
        {QStringLiteral("operate"), Command::Kind::PttBlock},
        {QStringLiteral("fan"), Command::Kind::Fan},
        {QStringLiteral("interface"), Command::Kind::Interface},
        {QStringLiteral("swrmin"), Command::Kind::SwrMin},
        {QStringLiteral("tune"), Command::Kind::Tune},
        {QStringLiteral("fine"), Command::Kind::Tune}};
    QByteArray sent;
    for (const QString &step : steps.split(QLatin1Char('|'))) {
        now = step.section(QLatin1Char(' '), 0, 0).toLongLong();
        const QString what = step.section(QLatin1Char(' '), 1, 1);
        const QString rest = step.section(QLatin1Char(' '), 2);
        if (what == QLatin1String("tick")) {
            link->GateTick();
        } else if (what == QLatin1String("<")) {
            feed(rest.toLatin1() + "\r\n");
        } else {
            Command c;
            c.source = CommandSource::Of(sources.at(what), QStringLiteral("127.0.0.1:40122"));
            const QString verb = rest.section(QLatin1Char(' '), 0, 0);
            c.kind = kinds.at(verb);
            c.value = verb == QLatin1String("standby") || verb == QLatin1String("fine")
                          ? 1
                          : rest.section(QLatin1Char(' '), 1).toInt();
            link->Submit(c);
        }
        sent += peer->read(20);
    }
    QCOMPARE(sent, wire);
    QCOMPARE(told, outcomes);
}

QTEST_GUILESS_MAIN(TestCommandGate)
#include "tst_commandgate.moc"
