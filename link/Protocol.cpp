// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Protocol.h"

namespace Protocol {

namespace {
QByteArray WithNumber(const char *keyword, int n) {
    return QByteArray(keyword) + QByteArray::number(n);
}
} // namespace

QByteArray SetBand(int n) {
    return WithNumber("B: ", n);
}
QByteArray SetAlarmSound(int n) {
    return WithNumber("ALM: ", n);
}
QByteArray SetAlc(int v) {
    return WithNumber("ALC_PWM: ", v);
}
QByteArray SetFan(int n) {
    return WithNumber("F: ", n);
}
QByteArray SetInterface(int n) {
    return WithNumber("I: ", n);
}
QByteArray SetBarSpeed(int n) {
    return WithNumber("BAR: ", n);
}
QByteArray SetTot(int n) {
    return WithNumber("TOT: ", n);
}
QByteArray SetSwrMin(int nn) {
    return WithNumber("SWRmin: ", nn);
}

QByteArray Frame(const QByteArray &command) {
    return command + CrLf;
}

QString SentEcho(const QByteArray &command, Echo style) {
    QString echo = QStringLiteral("- ") + FromLine(command);
    if (style == Echo::WithCrLf)
        echo += QStringLiteral("\r\n");
    return echo;
}

QString ReceivedEcho(const QByteArray &line) {
    return QStringLiteral("+ ") + FromLine(line);
}

QString FromLine(const QByteArray &bytes) {
    // fromLatin1 with an explicit size keeps embedded NUL bytes.
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

QByteArray ToLine(const QString &text) {
    return text.toLatin1();
}

bool HasPrefix(const QByteArray &line, const QByteArray &prefix) {
    return line.startsWith(prefix);
}

} // namespace Protocol
