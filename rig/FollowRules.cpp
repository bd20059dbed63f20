// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/FollowRules.h"

#include "link/AmpStatus.h"
#include "link/BandPlan.h"
#include "link/Facts.h"
#include "link/StatusView.h"

#include <QUrl>

namespace rig {

QString Address::Text() const {
    const QString h =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("rigctld://%1:%2").arg(h).arg(port);
}

QString ParseAddress(const QString &text, Address *address) {
    const QString t = text.trimmed();
    if (!t.startsWith(QLatin1String("rigctld://")))
        return QStringLiteral("\"%1\" is no rig: give rigctld://HOST:PORT").arg(t);
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        !(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        return QStringLiteral("\"%1\" is no rig: give rigctld://HOST:PORT").arg(t);
    const int port = url.port(4532);
    if (port < 1 || port > 65535)
        return QStringLiteral("\"%1\": no such port").arg(t);
    address->host = url.host();
    address->port = quint16(port);
    return QString();
}

Amp Amp::Of(const AmpStatus &status) {
    Amp a;
    a.connected = status.ReadingsCurrent();
    a.manual = status.ManualBands();
    // Transmitting as every output says it (link/StatusView.h).
    a.transmits = a.connected && ViewOf(status).transmitting.Now().value_or(false);
    a.band = status.Band();
    return a;
}

QString MHz(qint64 hz) {
    return QString::number(double(hz) / 1e6, 'f', 6) + QStringLiteral(" MHz");
}

Decision Decide(qint64 nowMs, const Radio &radio, const Amp &amp, const Memory &memory) {
    Decision d;
    d.memory = memory;
    Memory &m = d.memory;
    // A new connection of the amplifier takes the radio's band again.
    if (!amp.connected)
        m.followed = 0;
    const std::optional<qint64> hz = radio.TransmitHz();
    if (!radio.connected || !hz) {
        m.candidate = 0;
        d.reason = radio.connected ? QStringLiteral("the radio does not tell its frequency")
                                   : QStringLiteral("the radio is not connected");
        return d;
    }
    const int band = BandPlan::BandOf(*hz);
    if (band == 0) {
        m.candidate = 0;
        d.reason = MHz(*hz) + QStringLiteral(" is outside every band");
        return d;
    }
    if (band != m.candidate) {
        m.candidate = band;
        m.sinceMs = nowMs;
    }
    // Nothing new since the band last acted on: an operator's choice stays.
    if (band == m.followed)
        return d;
    if (nowMs - m.sinceMs < SettleMs) {
        d.againAtMs = m.sinceMs + SettleMs;
        return d;
    }
    const QString waits = Facts::BandName(band) + QStringLiteral(" waits: ");
    if (!amp.connected)
        d.reason = waits + QStringLiteral("the amplifier is not connected");
    else if (amp.transmits)
        d.reason = waits + QStringLiteral("the amplifier is transmitting");
    else if (radio.ptt)
        d.reason = waits + QStringLiteral("the radio is transmitting");
    else if (!amp.manual)
        d.reason = QStringLiteral("the amplifier's interface is not Manual: it takes its band "
                                  "from the transceiver's cable");
    if (!d.reason.isEmpty())
        return d;
    m.followed = band;
    if (amp.band != band)
        d.send = band;
    return d;
}

} // namespace rig
