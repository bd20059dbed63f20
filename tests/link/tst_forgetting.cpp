// SPDX-License-Identifier: GPL-3.0-or-later
// The rules by which the status forgets what no longer holds, with
// driven time, read as every output is shown it: power and SWR when a
// transmission's reports stop, at "TX: OFF" and in a silence; an alarm held
// through a silence until "ALARM: OFF"; the tuner's SWR at a band change.
#include "link/StatusView.h"
#include "tests/link/LinkFixture.h"

#include <QTest>

class TestForgetting : public LinkFixture {
    Q_OBJECT
private Q_SLOTS:
    void forgetting_data();
    void forgetting();
};

// The rules of forgetting with explicit time: what every output is shown
// afterwards ("-" for a reading that is not current).
void TestForgetting::forgetting_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("shown");
    auto row = [](const char *name, const char *steps, const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(steps) << QString::fromLatin1(shown);
    };
    // Columns: transmitting, output, reflected, peak, SWR, tuner SWR, alarms, PTT.
    row("start: nothing known but no alarm", "0 T: 30", "- - - - - - [] -");
    row("answering a second without power: receiving", "0 T: 30|1000 T: 31", "0 0 0 - - - [] -");
    row("a transmission", "0 TX: ON|0 O: 800|0 R: 32", "1 800 32 800 1.5 - [] -");
    row("its reports stop: power and SWR unknown within a second",
        "0 TX: ON|0 O: 800|0 R: 32|1000 tick", "- - - 800 - - [] -");
    row("the reports timer a little early: the rest waited out",
        "0 TX: ON|0 O: 800|0 R: 32|950 tick|1000 tick", "- - - 800 - - [] -");
    row("reports stopped, then a line: receiving", "0 TX: ON|0 O: 800|0 R: 32|1000 tick|2000 T: 30",
        "0 0 0 800 - - [] -");
    row("TX: OFF: SWR and reflected power go", "0 TX: ON|0 O: 800|0 R: 32|100 TX: OFF",
        "0 0 0 800 - - [] -");
    row("an alarm holds through a silence", "0 ALARM: SWR|0 silent", "- - - - - - - -");
    row("and is there again when it answers, with no report of it",
        "0 ALARM: SWR|0 silent|9000 T: 41", "- - - - - - [3] -");
    row("ALARM: OFF ends it", "0 ALARM: SWR|0 silent|9000 T: 41|9100 ALARM: OFF",
        "- - - - - - [] -");
    row("the PTT block as confirmed", "0 BL:ON", "- - - - - - [] 1");
    row("a silence: power unknown, not 0", "0 TX: ON|0 O: 800|0 R: 32|100 silent|9000 T: 41",
        "- - - 800 - - [] -");
    row("the tuner's SWR on its band", "0 B: 3|0 SWR: 123", "- - - - - 12.3 [] -");
    row("a band change forgets it", "0 B: 3|0 SWR: 123|10 B: 2", "- - - - - - [] -");
    row("and it does not come back with the band", "0 B: 3|0 SWR: 123|10 B: 2|20 B: 3",
        "- - - - - - [] -");
}

void TestForgetting::forgetting() {
    QFETCH(QString, steps);
    QFETCH(QString, shown);
    qint64 now = 0;
    link->SetClock([&now] { return now; });
    connectPeer();
    play(steps, now);
    const StatusView v = ViewOf(link->State());
    const auto text = [](const auto &shown) {
        const auto value = shown.Now();
        return value ? QString::number(double(*value)) : QStringLiteral("-");
    };
    QString alarms = QStringLiteral("-");
    if (const std::optional<QList<AlarmKind>> holding = v.alarms.Now()) {
        QStringList kinds;
        for (AlarmKind k : *holding)
            kinds << QString::number(int(k));
        alarms = QLatin1Char('[') + kinds.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    QCOMPARE(QStringList({text(v.transmitting), text(v.outputW), text(v.reflectedW), text(v.peakW),
                          text(v.swr), text(v.tuner.swr), alarms, text(v.pttBlocked)})
                 .join(QLatin1Char(' ')),
             shown);
}

QTEST_GUILESS_MAIN(TestForgetting)
#include "tst_forgetting.moc"
