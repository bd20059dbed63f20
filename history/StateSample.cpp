// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/StateSample.h"

#include "history/HistoryStore.h"
#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/StatusView.h"

#include <memory>

HistorySample SampleOf(const AmpStatus &s) {
    HistorySample h;
    switch (s.Liveness()) {
    case Liveness::Closed:
        h.link = HistoryLink::Closed;
        break;
    case Liveness::Connecting:
        h.link = HistoryLink::Connecting;
        break;
    case Liveness::Lost:
    case Liveness::Waiting:
        h.link = HistoryLink::Waiting;
        break;
    case Liveness::Live:
        h.link = HistoryLink::Current;
        break;
    case Liveness::NoAnswer:
        h.link = HistoryLink::NoAnswer;
        break;
    }
    const StatusView v = ViewOf(s);
    h.pttBlocked = v.pttBlocked.Now().value_or(false);
    if (!v.current)
        return h;
    auto watts = [](std::optional<int> w) { return w ? std::optional<double>(*w) : std::nullopt; };
    h.band = v.band.Now().value_or(0);
    h.transmitting = v.transmitting.Now().value_or(false);
    h.output = watts(v.outputW.Now());
    h.reflected = watts(v.reflectedW.Now());
    // The row's peak is the amplifier's own "P_max:" of this moment, so that
    // a second holding the end of one transmission and the start of the
    // next does not carry the last one's record.
    if (s.OnThisConnection(s.readings.peakW))
        h.peak = double(*s.readings.peakW);
    h.swr = v.swr.Now();
    h.temperature = v.temperatureC.Now();
    if (const std::optional<QList<AlarmKind>> alarms = v.alarms.Now())
        for (AlarmKind a : *alarms)
            h.alarms |= 1u << int(a);
    if (v.tuner.fitted) {
        h.tunerSwr = v.tuner.swr.Now();
        h.tunerInductance = v.tuner.inductanceUH.Now();
        h.tunerCapacitance = v.tuner.capacitancePF.Now();
    }
    return h;
}

namespace {

// The link's events as the history keeps them. The history's "opened" and
// "back" mark the amplifier answering: first on a connection, or again
// after a loss (the identification of a connection begun after one) or a
// silence.
class EventRecorder {
public:
    explicit EventRecorder(HistoryStore &store) : store(store) {}

    void Take(const LinkEvent &e, const AmpStatus &s) {
        namespace K = HistoryEventKind;
        const StatusView v = ViewOf(s);
        HistoryEvent h;
        h.band = v.band.Now().value_or(0);
        switch (e.kind) {
        case LinkEvent::Kind::Identified:
            h.kind = e.left == Liveness::Lost ? K::Back : K::Opened;
            h.band = 0; // the amplifier has told no band on this connection yet
            break;
        case LinkEvent::Kind::AnswersAgain:
            h.kind = K::Back;
            break;
        case LinkEvent::Kind::NoAnswer:
            h.kind = K::NoAnswer;
            break;
        case LinkEvent::Kind::Lost:
            h.kind = K::Lost;
            break;
        case LinkEvent::Kind::Closed:
            h.kind = K::Closed;
            break;
        case LinkEvent::Kind::TransmitStart:
            h.kind = K::TransmitOn;
            h.power = v.outputW.Now();
            break;
        case LinkEvent::Kind::TransmitEnd: {
            const Transmission &t = e.transmission;
            h.kind = K::TransmitOff;
            h.band = t.band;
            h.power = t.averageW;
            h.detail = QStringLiteral("%1 s, peak %2 W")
                           .arg(double(t.DurationMs()) / 1000, 0, 'f', 1)
                           .arg(t.peakW);
            if (t.worstSwr)
                h.detail += QStringLiteral(", worst SWR %1").arg(*t.worstSwr, 0, 'f', 2);
            HistoryTransmission record;
            record.startMs = t.startMs;
            record.endMs = t.endMs;
            record.band = t.band;
            record.averageW = t.averageW;
            record.peakW = t.peakW;
            record.worstSwr = t.worstSwr;
            record.alarms = t.alarms;
            store.NoteTransmission(record);
            break;
        }
        case LinkEvent::Kind::AlarmStart:
        case LinkEvent::Kind::AlarmEnd:
            h.kind = e.kind == LinkEvent::Kind::AlarmStart ? K::AlarmStart : K::AlarmEnd;
            h.detail = Facts::AlarmFact(e.alarm).text;
            h.power = v.outputW.Now();
            break;
        case LinkEvent::Kind::BandChanged:
            h.kind = K::Band;
            h.band = e.band;
            h.detail = QString::number(e.fromBand);
            break;
        case LinkEvent::Kind::PttChanged:
            h.kind = e.blocked ? K::PttBlocked : K::PttFree;
            if (e.source)
                h.detail = e.source->Text();
            break;
        case LinkEvent::Kind::CommandDone:
            h.kind = K::Command;
            h.detail = e.outcome.command.source.Text() + QStringLiteral(": ") +
                       e.outcome.command.Text() + QStringLiteral(": ") + e.outcome.Text();
            break;
        case LinkEvent::Kind::Opened:
        case LinkEvent::Kind::Back:
        case LinkEvent::Kind::Waiting:
        case LinkEvent::Kind::TuneResult:
        case LinkEvent::Kind::TunerFitted:
        case LinkEvent::Kind::TuneFinished:
        case LinkEvent::Kind::Message:
            break;
        }
        if (!h.kind.isEmpty())
            store.Note(h);
    }

private:
    HistoryStore &store;
};

} // namespace

void RecordLink(const AmpLink &link, HistoryStore &store) {
    QObject::connect(&link, &AmpLink::StateChanged, &store,
                     [&store](const AmpStatus &state, unsigned) { store.Record(SampleOf(state)); });
    auto recorder = std::make_shared<EventRecorder>(store);
    const AmpLink *from = &link;
    QObject::connect(&link, &AmpLink::Event, &store,
                     [recorder, from](const LinkEvent &e) { recorder->Take(e, from->State()); });
}
