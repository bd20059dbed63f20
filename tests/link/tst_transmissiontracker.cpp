// SPDX-License-Identifier: GPL-3.0-or-later
// The events the link tells of a report sequence with driven time: a
// transmission's start and its end with its figures (duration, average and
// peak power, worst SWR of one report cycle), ended by "TX: OFF", by its
// output falling to zero or by a silence at its last power report; alarms
// raised and ended, the PTT block confirmed, a band reported, the tuner's
// result.
#include "tests/link/LinkFixture.h"

#include <QTest>

class TestTransmissionTracker : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void events_data();
    void events();
};

// The events of a report sequence with driven time: "MS LINE" steps, and
// "MS silent" (the liveness tick after the amplifier stopped answering).
void TestTransmissionTracker::events_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("events");
    auto row = [](const char *name, const char *steps, const char *events) {
        QTest::newRow(name) << QString::fromLatin1(steps) << Split(events);
    };
    // The peak comes just before "TX: OFF" and stays in the record.
    row("a transmission with its figures",
        "0 B: 3|1000 TX: ON|1000 O: 400|1000 R: 16|2000 O: 800|2000 R: 80|3950 P_max: 950|"
        "4000 TX: OFF",
        "transmit start 3|transmit end 3 3000ms avg 667W peak 950W swr 1.92");
    row("output without TX: ON is a transmission too", "0 B: 2|500 O: 100|1500 O: 0",
        "transmit start 2|transmit end 2 1000ms avg 100W peak 100W swr -");
    row("a band told during it is the transmission's", "0 TX: ON|100 B: 4|500 TX: OFF",
        "transmit start 0|transmit end 4 500ms avg 0W peak 0W swr -");
    // Cut short, a transmission ended with its last power report, not with
    // the last line of another kind.
    row("a silence ends the transmission at its last power report",
        "0 TX: ON|0 O: 500|2000 O: 500|3000 T: 35|3000 silent",
        "transmit start 0|transmit end 0 2000ms avg 500W peak 500W swr -|no answer");
    // Answering again without "TX: OFF": no transmission or alarm of before returns.
    row("nothing of before a silence comes back",
        "0 TX: ON|0 O: 800|0 ALARM: SWR|3000 T: 35|3000 silent|20000 T: 35|20000 T: 36",
        "transmit start 0|alarm start 3|transmit end 0 0ms avg 800W peak 800W swr -|"
        "no answer|answers again");
    // The SWR of one report cycle: a ramp-down never pairs a new output with
    // the reflected power of before.
    row("a ramp-down at SWR 1.5",
        "0 TX: ON|0 O: 800|0 R: 32|100 O: 412|100 R: 16|200 O: 100|200 R: 4|300 TX: OFF",
        "transmit start 0|transmit end 0 300ms avg 437W peak 800W swr 1.5");
    row("alarms start and end", "0 ALARM: SWR|10 ALARM: TEMP|20 ALARM: OFF",
        "alarm start 3|alarm start 4|alarm end 3|alarm end 4");
    row("the PTT block as confirmed", "0 BL:ON|10 BL:ON|20 BL:OFF", "ptt blocked|ptt free");
    row("a band the amplifier reports", "0 B: 3|10 B: 3|20 B: 5", "band 5 from 3 by amplifier");
    row("the tuner's result", "0 B: 3|10 END_SWR: 123", "tune result 12.3");
}

void TestTransmissionTracker::events() {
    QFETCH(QString, steps);
    QFETCH(QStringList, events);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    QStringList told;
    connect(link.get(), &AmpLink::Event, this, [&told](const LinkEvent &e) {
        QString t = LinkEvent::Name(e.kind);
        switch (e.kind) {
        case LinkEvent::Kind::TransmitStart:
            t += QStringLiteral(" %1").arg(e.band);
            break;
        case LinkEvent::Kind::TransmitEnd: {
            const Transmission &x = e.transmission;
            t += QStringLiteral(" %1 %2ms avg %3W peak %4W swr %5")
                     .arg(x.band)
                     .arg(x.DurationMs())
                     .arg(qRound(x.averageW))
                     .arg(x.peakW)
                     .arg(x.worstSwr ? QString::number(*x.worstSwr) : QStringLiteral("-"));
            break;
        }
        case LinkEvent::Kind::AlarmStart:
        case LinkEvent::Kind::AlarmEnd:
            t += QStringLiteral(" %1").arg(int(e.alarm));
            break;
        case LinkEvent::Kind::BandChanged:
            t += QStringLiteral(" %1 from %2 by %3")
                     .arg(e.band)
                     .arg(e.fromBand)
                     .arg(e.source ? e.source->Text() : QStringLiteral("amplifier"));
            break;
        case LinkEvent::Kind::TuneResult:
            t += QStringLiteral(" %1").arg(e.swr.value_or(0));
            break;
        case LinkEvent::Kind::PttChanged:
            t += e.blocked ? QStringLiteral(" blocked") : QStringLiteral(" free");
            break;
        default:
            break;
        }
        told << t;
    });
    play(steps, now);
    QCOMPARE(told, events);
    // The last transmission's peak stays readable until the next begins.
    if (QLatin1String(QTest::currentDataTag()) ==
        QLatin1String("a transmission with its figures")) {
        QVERIFY(link->State().lastTransmission);
        QCOMPARE(link->State().lastTransmission->peakW, 950);
    }
}

QTEST_GUILESS_MAIN(TestTransmissionTracker)
#include "tst_transmissiontracker.moc"
