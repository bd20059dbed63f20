// Values the main window keeps for the whole run and shares with the
// dispatcher, the timers, the menus and the ATU panel. Only the start of
// the program sets them; closing and reopening the port keeps them.
#pragma once

#include <QString>

#include <cstdint>

struct TSession {
    std::uint8_t CurrentBand = 7;
    std::uint8_t CalValue = 255; // 255: the amplifier is not calibrated
    std::uint8_t AlcValue = 0;
    bool PaIdentified = false;
    bool BlockOnPending = false;
    bool BlockOffPending = false;
    bool AtuBypassPending = false;
    bool AtuOnPending = false;
    std::uint8_t ConnectTicks = 0;
    bool AlcKnown = false;
    bool CalKnown = false;
    QString FirmwareVersion;
    double TunerInductance = 0;  // µH
    double TunerCapacitance = 0; // pF
};

// The connection state is the caption of the Open Port button.
namespace ConnectionCaption {
inline const QString Start = QStringLiteral("Open Port");
inline const QString Connecting = QStringLiteral("Connecting...");
inline const QString Connected = QStringLiteral("PA connected");
inline const QString Closed = QStringLiteral("Open port");

inline bool IsConnecting(const QString &caption) {
    return caption.startsWith(QStringLiteral("Conn"));
}
inline bool IsConnected(const QString &caption) {
    return caption.startsWith(QStringLiteral("PA conn"));
}
} // namespace ConnectionCaption

// Captions that carry state: the PTT-block button of the main window and the
// in/out button of the ATU panel. Handlers test them, the dispatcher sets them.
namespace PttCaption {
inline const QString Free = QStringLiteral("Click to block PTT");
inline const QString Blocked = QStringLiteral("PTT Blocked!");
} // namespace PttCaption

namespace AtuCaption {
inline const QString InLine = QStringLiteral("ATU On");
inline const QString Bypassed = QStringLiteral("BYPASS");
} // namespace AtuCaption
