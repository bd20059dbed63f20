// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Poller.h"

#include "link/Forgetting.h"

namespace Poller {

const QList<QByteArray> &BurstQueries() {
    static const QList<QByteArray> queries = {
        Protocol::AskBand,        Protocol::AskInPower, Protocol::AskTemperature,
        Protocol::AskAlarmSound,  Protocol::AskAlc,     Protocol::AskFan,
        Protocol::AskInterface,   Protocol::AskLB,      Protocol::AskCalibration,
        Protocol::AskBarSpeed,    Protocol::AskTot,     Protocol::AskVersion,
        Protocol::AskAtuInstalled};
    return queries;
}

QByteArray StartupBurst::Next(bool *pause) {
    const QByteArray query = BurstQueries().at(sent++);
    *pause = sent <= PacedQueries && sent < BurstQueries().size();
    return query;
}

QList<PollLine> PollLines(const AmpStatus &s, const PendingCommands &pending) {
    QList<PollLine> lines;
    if (!s.IsConnected())
        return lines;
    const auto ask = [&lines](const QByteArray &query) {
        lines.append({query, Protocol::Echo::WithCrLf});
    };
    const auto bare = [&lines] { lines.append({QByteArray(), std::nullopt}); };
    if (s.Fan == 0)
        ask(Protocol::AskFan);
    bare();
    if (s.Interface == 0)
        ask(Protocol::AskInterface);
    bare();
    if (s.AlarmSound == 0)
        ask(Protocol::AskAlarmSound);
    bare();
    // Calibration and level take their bare line with them.
    if (!s.readings.calibrationAnswered) {
        ask(Protocol::AskCalibration);
        bare();
    }
    if (!s.readings.alcAnswered) {
        ask(Protocol::AskAlc);
        bare();
    }
    if (s.InPower == 0)
        ask(Protocol::AskInPower);
    bare();
    if (s.BarSpeed == 0)
        ask(Protocol::AskBarSpeed);
    bare();
    bare();
    if (s.Tot == 0)
        ask(Protocol::AskTot);
    bare();
    bare();
    // While the amplifier transmits, as this connection knows, the
    // PTT-block commands wait.
    const Reading<bool> &tx = s.readings.transmitting;
    if (!(s.OnThisConnection(tx) && *tx)) {
        if (pending.blockOff)
            lines.append({Protocol::BlockOff, Protocol::Echo::Plain});
        if (pending.blockOn)
            lines.append({Protocol::BlockOn, Protocol::Echo::Plain});
    }
    return lines;
}

QList<PollLine> AtuResends(const AmpStatus &s, const PendingCommands &pending) {
    QList<PollLine> lines;
    if (!s.IsConnected())
        return lines;
    if (pending.atuOn)
        lines.append({Protocol::AtuOn, Protocol::Echo::Plain});
    if (pending.atuBypass)
        lines.append({Protocol::AtuBypass, Protocol::Echo::Plain});
    return lines;
}

AnswerWatch::Step AnswerWatch::Tick(const AmpStatus &s, qint64 quietSince, qint64 now) {
    Step step;
    if (!s.IsConnected())
        return step;
    const qint64 quiet = now - lastHeard;
    // Only after a probe has had its time to be answered.
    step.noAnswer =
        quiet >= NoAnswerAfterMs && lastProbe >= lastHeard && now - lastProbe >= ProbeGraceMs;
    // Nothing is added while lines arrive, and at most one probe per interval.
    const bool askTransmitting = !s.OnThisConnection(s.readings.transmitting) &&
                                 Forgetting::ReceivingAfter(quietSince, now) &&
                                 quiet >= Forgetting::ReportsStopMs && lastProbe < quietSince;
    step.probe = (quiet >= ProbeAfterMs && (lastProbe < 0 || now - lastProbe >= ProbeIntervalMs)) ||
                 askTransmitting;
    if (step.probe)
        lastProbe = now;
    return step;
}

} // namespace Poller
