// Everything the amplifier has told us or the operator has set, in one value
// record. The link keeps it; the windows and any other view draw from it and
// never keep state of their own. Closing and reopening the port keeps it;
// only the start of the program sets its start values.
#pragma once

#include "link/MainRules.h"
#include "link/Reports.h"

#include <QString>

#include <cstdint>
#include <optional>

// The connection as the operator sees it: the start, the handshake, the
// identified amplifier, and closed again.
// Waiting: the port was lost (or was not there) and the link retries it.
enum class LinkPhase { Start, Connecting, Connected, Closed, Waiting };

// The seven alarm reports, in the order the dispatcher tests them.
enum class AlarmKind { HpOut, HpIn, Bpf, Swr, Temp, Tot, HpCont };
constexpr int AlarmKinds = 7;

// The tuner's in/out switch: the panel's first caption, in line, bypassed.
enum class AtuSwitch { Initial, InLine, Bypassed };
// The tuner's status lamp.
enum class AtuLamp { Red, Green, Grey, Yellow };

struct AmpState {
    // ---- Connection --------------------------------------------------------
    LinkPhase Phase = LinkPhase::Start;
    QString PortName;          // the port Open used last
    bool PaIdentified = false; // the identification was seen; reports are interpreted
    std::uint8_t ConnectTicks = 0;
    // Connected, but the amplifier has stopped answering: nothing it said
    // before is current until a line arrives again.
    bool NoAnswer = false;

    // ---- Amplifier -----------------------------------------------------------
    MainRules::PaType PaType = MainRules::PaType::Kw12;
    QString FirmwareVersion;
    std::uint8_t CurrentBand = 7;
    int Interface = 0;                  // the checked interface item, 1..7; 0: none yet
    int BandGroupInterface = 0;         // the interface the band group shows; 0: as laid out
    std::optional<QString> Temperature; // as received; none: not reported yet
    Reports::TempRange TemperatureRange = Reports::TempRange::Cool;
    QString OutputText;          // "850 W"; empty when cleared
    int OutputWatts = 0;         // the last output report in watts; 0 when cleared
    int OutputPosition = 0;      // output bar, 0..1200
    int ReversePosition = 0;     // reverse bar
    QString PeakText;            // "900 W"; empty when cleared
    int PeakWatts = 0;           // the last peak report in watts; 0 when cleared
    std::optional<int> PeakLeft; // left edge of the peak marker; none: hidden
    bool AlcVisible = false;
    std::optional<int> AlcLeft; // left edge of the ALC marker; none: where laid out
    bool Transmitting = false;
    bool PttBlocked = false; // confirmed by "BL:ON", cleared by "BL:OFF"
    bool BlockOnPending = false;
    bool BlockOffPending = false;
    bool Alarms[AlarmKinds] = {};

    // ---- Settings (0: not reported and not chosen yet) -----------------------
    int Fan = 0;                 // 1..4
    int AlarmSound = 0;          // 1..3
    int BarSpeed = 0;            // 1..4
    int Tot = 0;                 // 1..4
    int InPower = 0;             // 1..2
    std::uint8_t CalValue = 255; // 255: the amplifier is not calibrated
    std::uint8_t AlcValue = 0;
    bool CalKnown = false;
    bool AlcKnown = false;

    // ---- Tuner ---------------------------------------------------------------
    bool AtuFitted = false;
    AtuSwitch Atu = AtuSwitch::Initial;
    bool AtuOnPending = false;
    bool AtuBypassPending = false;
    bool FineTuningEnabled = true;
    std::optional<int> AtuStatusCode; // 1..7 shown; none: hidden
    AtuLamp Lamp = AtuLamp::Yellow;
    int SwrMin = 0; // 11..17; 0: none chosen
    QString SwrText;
    // The tuner's last SWR reading as a number and the band it was taken on;
    // none when it reported none ("???") and from the start of a new
    // transmission, which the old reading no longer describes.
    std::optional<double> TunerSwrValue;
    std::uint8_t TunerSwrBand = 0;
    QString ForwardText;
    double TunerInductance = 0;  // µH
    double TunerCapacitance = 0; // pF
    QString InductanceText;
    QString CapacitanceText;
    std::optional<bool> CapacitorAtInput; // switch K: "0" is true; none: no diagram
    // The operator asked for the tuner's service readouts (the forward
    // reading); they stay in sight until the program ends.
    bool ServiceView = false;

    bool IsConnected() const { return Phase == LinkPhase::Connected; }
    bool IsConnecting() const { return Phase == LinkPhase::Connecting; }
    bool IsWaiting() const { return Phase == LinkPhase::Waiting; }
    // The readings (power, SWR, temperature, transmit, alarms, tuner) say
    // what the amplifier does now: connected and answering.
    bool ReadingsCurrent() const { return Phase == LinkPhase::Connected && !NoAnswer; }
    // The tuner's reading while it still describes the antenna in use: taken
    // on the present band and since the last transmission began.
    std::optional<double> TunerSwr() const {
        return TunerSwrBand == CurrentBand ? TunerSwrValue : std::nullopt;
    }
    bool Pa12kW() const { return PaType == MainRules::PaType::Kw12; }
};

// What a change touched, so that a view redraws only that.
namespace StateChange {
enum : unsigned {
    Connection = 1u << 0,
    Band = 1u << 1,
    Interface = 1u << 2,
    PaType = 1u << 3,
    Temperature = 1u << 4,
    Power = 1u << 5,
    Alc = 1u << 6,
    Transmit = 1u << 7,
    Ptt = 1u << 8,
    Settings = 1u << 9,
    Alarm = 1u << 10,
    AtuFitted = 1u << 11,
    AtuSwitch = 1u << 12,
    AtuStatus = 1u << 13,
    AtuLamp = 1u << 14,
    AtuReadings = 1u << 15,
    AtuDiagram = 1u << 16,
    SwrMin = 1u << 17,
    Firmware = 1u << 18,
    NoAnswer = 1u << 19,
    ServiceView = 1u << 20,
};
}
