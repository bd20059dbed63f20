// The amplifier's line protocol in one place: command texts, report
// prefixes, CR LF framing and the port monitor's echo convention.
#pragma once

#include <QByteArray>
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

} // namespace Protocol
