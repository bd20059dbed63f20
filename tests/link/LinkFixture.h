// SPDX-License-Identifier: GPL-3.0-or-later
// The link over a pseudo-terminal, shared by the tests of its parts: each
// test function gets a new link whose real timers are inert and whose clock
// stands still unless the test moves it, its monitor entries and the
// effects a window would show recorded; the peer is opened, and identified,
// on request. Also the probes by which the report table and the operator's
// commands read the state.
#pragma once

#include "link/AmpLink.h"
#include "tests/common/DrivenTime.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/ReportTable.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

// The events a test follows as effects: what a window would show.
inline QString EffectName(const LinkEvent &e) {
    switch (e.kind) {
    case LinkEvent::Kind::AlarmStart:
        return QStringLiteral("alarm%1").arg(int(e.alarm));
    case LinkEvent::Kind::AlarmEnd:
        return QStringLiteral("end%1").arg(int(e.alarm));
    case LinkEvent::Kind::TunerFitted:
        return QStringLiteral("atu");
    case LinkEvent::Kind::TuneFinished:
        return QStringLiteral("tuned");
    case LinkEvent::Kind::Message:
        return e.portGone ? QStringLiteral("lost:") + e.text
                          : QStringLiteral("box:") + e.title + QLatin1Char(':') + e.text;
    default:
        return QString();
    }
}

// The state a report may change, by name: the readings as numbers ("none"
// when there is none), the settings, the commands waiting for confirmation.
inline std::map<QString, std::function<QString(const AmpStatus &)>>
Probes(const PendingCommands &pending) {
    auto number = [](const auto &v) {
        return v.has_value() ? QString::number(*v) : QStringLiteral("none");
    };
    auto name = [](auto value, std::initializer_list<const char *> names) {
        return QString::fromLatin1(names.begin()[int(value)]);
    };
    using S = const AmpStatus &;
    return {
        {QStringLiteral("tempC"), [=](S s) { return number(s.readings.temperatureC); }},
        {QStringLiteral("band"), [=](S s) { return number(s.readings.band); }},
        {QStringLiteral("interface"), [](S s) { return QString::number(s.Interface); }},
        {QStringLiteral("settings"),
         [](S s) {
             return QStringLiteral("F%1 ALM%2 BAR%3 TOT%4 IN%5")
                 .arg(s.Fan)
                 .arg(s.AlarmSound)
                 .arg(s.BarSpeed)
                 .arg(s.Tot)
                 .arg(s.InPower);
         }},
        {QStringLiteral("pa"),
         [](S s) { return QString::fromLatin1(s.readings.Pa12kW() ? "12" : "24"); }},
        {QStringLiteral("firmware"), [](S s) { return s.readings.firmware.value_or(QString()); }},
        {QStringLiteral("output"), [=](S s) { return number(s.readings.outputW); }},
        {QStringLiteral("reverse"), [=](S s) { return number(s.readings.reflectedW); }},
        {QStringLiteral("peak"), [=](S s) { return number(s.readings.peakW); }},
        {QStringLiteral("swr"), [=](S s) { return number(s.readings.powerSwr); }},
        {QStringLiteral("cal"), [=](S s) { return number(s.readings.calibration); }},
        {QStringLiteral("alcValue"), [=](S s) { return number(s.readings.alc); }},
        {QStringLiteral("known"),
         [](S s) { return Flag(s.readings.calibrationAnswered) + Flag(s.readings.alcAnswered); }},
        {QStringLiteral("tx"), [](S s) { return Flag(s.readings.transmitting.value_or(false)); }},
        {QStringLiteral("ptt"), [](S s) { return Flag(s.readings.pttBlocked.value_or(false)); }},
        {QStringLiteral("pending"),
         [&pending](S) {
             return Flag(pending.blockOn) + Flag(pending.blockOff) + Flag(pending.atuOn) +
                    Flag(pending.atuBypass);
         }},
        {QStringLiteral("alarms"),
         [](S s) {
             QString out;
             for (int a = 0; a < AlarmKinds; ++a)
                 out += Flag(s.readings.Alarm(AlarmKind(a)));
             return out;
         }},
        {QStringLiteral("fitted"),
         [](S s) { return Flag(s.readings.tuner.fitted.value_or(false)); }},
        {QStringLiteral("atu"),
         [=](S s) {
             return name(s.readings.tuner.position, {"Initial", "InLine", "Bypassed"});
         }},
        {QStringLiteral("status"), [=](S s) { return number(s.readings.tuner.status); }},
        {QStringLiteral("fine"), [](S s) { return Flag(s.FineTuningEnabled); }},
        {QStringLiteral("lamp"),
         [=](S s) {
             return name(s.readings.tuner.lamp, {"Red", "Green", "Grey", "Yellow"});
         }},
        {QStringLiteral("swrmin"), [](S s) { return QString::number(s.SwrMin); }},
        {QStringLiteral("tunerSwr"), [=](S s) { return number(s.readings.tuner.swr); }},
        {QStringLiteral("fwd"), [=](S s) { return number(s.readings.tuner.forwardW); }},
        {QStringLiteral("L"), [=](S s) { return number(s.readings.tuner.inductanceUH); }},
        {QStringLiteral("C"), [=](S s) { return number(s.readings.tuner.capacitancePF); }},
        {QStringLiteral("k"),
         [](S s) {
             const std::optional<bool> atInput = s.readings.tuner.capacitorAtInput.value;
             return QString::fromLatin1(!atInput ? "none" : *atInput ? "in" : "out");
         }},
    };
}

// The base of each link test class: QtTest runs init and cleanup around
// every test function of the class derived from it.
class LinkFixture : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        link = std::make_unique<AmpLink>();
        // Ticks are driven by the tests; the real timers tick each second.
        for (QTimer *t : {link->HandshakeTimer(), link->PollTimer(), link->AtuTimer(),
                          link->ReconnectTimer(), link->LivenessTimer()})
            QCOMPARE(t->interval(), 1000);
        DriveLinkTime(*link);
        // The clock stands still unless a test moves it.
        now = 0;
        link->SetClock([this] { return now; });
        connect(link.get(), &AmpLink::EntryLogged, this, [this](const QString &e) { log << e; });
        connect(link.get(), &AmpLink::Event, this, [this](const LinkEvent &e) {
            if (const QString name = EffectName(e); !name.isEmpty())
                effects << name;
        });
        log.clear();
        effects.clear();
    }

    void cleanup() {
        link.reset();
        peer.reset();
    }

protected:
    void feed(const QByteArray &bytes) { link->ReceiveChunk(bytes); }

    // "MS LINE|MS silent|MS tick|..." at the link's clock: a report, a
    // silence long enough to be noticed, the reports timer's tick (early
    // or late, as a coarse timer may fire).
    void play(const QString &steps, qint64 &now) {
        for (const QString &step : steps.split(QLatin1Char('|'))) {
            now = step.section(QLatin1Char(' '), 0, 0).toLongLong();
            const QString line = step.section(QLatin1Char(' '), 1);
            if (line == QLatin1String("silent")) {
                now += AmpLink::NoAnswerAfterMs;
                link->LivenessTick(); // the probe
                now += AmpLink::ProbeGraceMs;
                link->LivenessTick();
            } else if (line == QLatin1String("tick")) {
                // The reports timer fires only while it is armed, and once.
                if (QTimer *t = link->findChild<QTimer *>(QStringLiteral("ReportsTimer"));
                    t->isActive()) {
                    t->stop();
                    link->ReportsStoppedTick();
                }
            } else {
                feed(line.toLatin1() + "\r\n");
            }
        }
    }

    void open() {
        peer = std::make_unique<PtyPeer>();
        QVERIFY(peer->ok());
        QCOMPARE(link->Open(peer->devicePath()), QString());
        QCOMPARE(peer->read(), QByteArray("PA?\r\n"));
        QCOMPARE(link->State().Phase, LinkPhase::Connecting);
    }

    // Open and identified, the start-up burst drained, the log empty.
    void connectPeer() {
        open();
        feed("PA_QZ9QZ\r\n");
        peer->read();
        QVERIFY(link->State().IsConnected());
        log.clear();
    }

    std::unique_ptr<AmpLink> link;
    std::unique_ptr<PtyPeer> peer;
    qint64 now = 0; // the link's clock, ms
    QStringList log;
    QStringList effects;
};
