// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier's line protocol in one place: command texts, report
// prefixes, CR LF framing and the port monitor's echo convention.
#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>

namespace Protocol {

inline const QByteArray CrLf = QByteArrayLiteral("\r\n");

// Commands (sent followed by CR LF).
inline const QByteArray Identify = QByteArrayLiteral("PA?");
inline const QByteArray AskBand = QByteArrayLiteral("B?");
inline const QByteArray AskInPower = QByteArrayLiteral("InPower?");
inline const QByteArray AskTemperature = QByteArrayLiteral("T?");
inline const QByteArray AskAlarmSound = QByteArrayLiteral("ALM?");
inline const QByteArray AskAlc = QByteArrayLiteral("ALC_PWM?");
inline const QByteArray AskFan = QByteArrayLiteral("F?");
inline const QByteArray AskInterface = QByteArrayLiteral("I?");
inline const QByteArray AskLB = QByteArrayLiteral("LB?");
inline const QByteArray AskCalibration = QByteArrayLiteral("CAL?");
inline const QByteArray AskBarSpeed = QByteArrayLiteral("BAR?");
inline const QByteArray AskTot = QByteArrayLiteral("TOT?");
inline const QByteArray AskVersion = QByteArrayLiteral("Ver?");
inline const QByteArray AskAtuInstalled = QByteArrayLiteral("ATU_INST?");
inline const QByteArray BlockOn = QByteArrayLiteral("BL:ON");
inline const QByteArray BlockOff = QByteArrayLiteral("BL:OFF");
inline const QByteArray AtuOn = QByteArrayLiteral("ATU_STATE: 1");
inline const QByteArray AtuBypass = QByteArrayLiteral("ATU_STATE: 0");
inline const QByteArray TuneOn = QByteArrayLiteral("TUNE ON");
inline const QByteArray TuneFine = QByteArrayLiteral("TUNE FINE");
inline const QByteArray MemoryClear = QByteArrayLiteral("CMEM");
inline const QByteArray Probe = QByteArrayLiteral("???");
// Typed in the port monitor, it also reveals the tuner's service readouts.
inline const QByteArray ServiceKeyword = QByteArrayLiteral("KAL_VIEWS");

// Setting commands with a decimal argument: "B: 3", "F: 2", "ALC_PWM: 108" ...
QByteArray SetBand(int n);
QByteArray SetAlarmSound(int n);
QByteArray SetAlc(int v);
QByteArray SetFan(int n);
QByteArray SetInterface(int n);
QByteArray SetBarSpeed(int n);
QByteArray SetTot(int n);
QByteArray SetSwrMin(int nn);

// Report prefixes, compared exactly over their own length.
inline const QByteArray RepIdentified = QByteArrayLiteral("PA_QZ9QZ");

// The bytes written for a command: its text followed by CR LF. The empty
// command is the bare CR LF line of the poll.
QByteArray Frame(const QByteArray &command);

// Which echoes carry the command's CR LF: the start-up burst and the poll's
// queries do; operator commands, "PA?" and the PTT-block re-sends do not.
enum class Echo { Plain, WithCrLf };

// The port monitor entry for a line sent: "- " + text (+ CR LF).
QString SentEcho(const QByteArray &command, Echo style);
// The port monitor entry for a line received: "+ " + line.
QString ReceivedEcho(const QByteArray &line);

// Bytes to text and back, one byte one character (NUL and 128..255 kept).
QString FromLine(const QByteArray &bytes);
QByteArray ToLine(const QString &text);

// True when line begins with prefix (exact, case-sensitive).
bool HasPrefix(const QByteArray &line, const QByteArray &prefix);

// Report prefixes, compared exactly and case-sensitively over their length.
namespace Report {
constexpr QLatin1String BlockOn("BL:ON");
constexpr QLatin1String BlockOff("BL:OFF");
constexpr QLatin1String Temperature("T: ");
constexpr QLatin1String Band("B: ");
constexpr QLatin1String Version("Ver:");
constexpr QLatin1String AlarmSound("ALM: ");
constexpr QLatin1String Interface("I: ");
constexpr QLatin1String Fan("F: ");
constexpr QLatin1String BarSpeed("BAR: ");
constexpr QLatin1String Tot("TOT: ");
constexpr QLatin1String Peak("P_max: ");
constexpr QLatin1String Calibration("CAL: ");
constexpr QLatin1String Alc("ALC_PWM: ");
constexpr QLatin1String Output("O: ");
constexpr QLatin1String Reverse("R: ");
constexpr QLatin1String InAlarmPwm("IN_ALARM_PWM:");
constexpr QLatin1String TxOn("TX: ON");
constexpr QLatin1String TxOff("TX: OFF");
constexpr QLatin1String InPower("InPower: ");
// Band lines "B1" .. "B7" and "B_", logged a second time.
constexpr QLatin1String BandLines[] = {
    QLatin1String("B1"), QLatin1String("B2"), QLatin1String("B3"), QLatin1String("B4"),
    QLatin1String("B5"), QLatin1String("B6"), QLatin1String("B7"), QLatin1String("B_")};
// The alarms in the order they are tested; the all-clear.
constexpr QLatin1String Alarms[] = {QLatin1String("ALARM: HPOUT"), QLatin1String("ALARM: HPIN"),
                                    QLatin1String("ALARM: BPF"),   QLatin1String("ALARM: SWR"),
                                    QLatin1String("ALARM: TEMP"),  QLatin1String("ALARM: TOT"),
                                    QLatin1String("ALARM: HPCONT")};
constexpr QLatin1String AlarmOff("ALARM: OFF");
constexpr QLatin1String AtuInfo("ATU_INF:");
constexpr QLatin1String AtuInstalled("ATU_INST: ");
constexpr QLatin1String AtuState("ATU_STATE: ");
constexpr QLatin1String TuneOff("TUNE OFF");
// The tuner lamp's words: red, green, grey, yellow.
constexpr QLatin1String Lamps[] = {QLatin1String("RED"), QLatin1String("GREEN"),
                                   QLatin1String("GREY"), QLatin1String("YELLOW")};
constexpr QLatin1String SwrMin("SWRmin: ");
constexpr QLatin1String AtuForward("ATU_FWD: ");
constexpr QLatin1String EndL("END_L: ");
constexpr QLatin1String PortL("Port L:");
constexpr QLatin1String EndC("END_C: ");
constexpr QLatin1String PortC("Port C:");
constexpr QLatin1String EndSwr("END_SWR: ");
constexpr QLatin1String Swr("SWR: ");
constexpr QLatin1String SwitchK("K: ");
constexpr QLatin1String EndK("END_K: ");
} // namespace Report

} // namespace Protocol
