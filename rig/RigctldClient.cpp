// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig/RigctldClient.h"

#include <QTcpSocket>
#include <QTimer>

#include <cmath>

namespace rig {

namespace {
// "RPRT -11": rigctld's error answer (RPRT 0 answers a set command).
bool IsReport(const QByteArray &line) {
    return line.startsWith("RPRT ");
}
std::optional<qint64> Hz(const QByteArray &line) {
    bool ok = false;
    const double hz = line.toDouble(&ok); // "14074000", some versions "14074000.000000"
    if (!ok || !std::isfinite(hz) || hz < 0 || hz > 1e12)
        return std::nullopt;
    return qint64(std::llround(hz));
}
} // namespace

RigctldClient::RigctldClient(const Address &address, QObject *parent)
    : QObject(parent), address(address), socket(new QTcpSocket(this)), pollTimer(new QTimer(this)),
      retryTimer(new QTimer(this)) {
    socket->setReadBufferSize(4 * MaxLine);
    pollTimer->setInterval(PollMs);
    retryTimer->setSingleShot(true);
    connect(pollTimer, &QTimer::timeout, this, &RigctldClient::Poll);
    connect(retryTimer, &QTimer::timeout, this, &RigctldClient::Connect);
    // Connected is told with the first poll's answers: rigctld may take
    // the connection and not answer.
    connect(socket, &QTcpSocket::connected, this, &RigctldClient::Poll);
    connect(socket, &QTcpSocket::readyRead, this, &RigctldClient::ReadLines);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { Fail(socket->errorString()); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { Fail(QStringLiteral("rigctld closed the connection")); });
}

RigctldClient::~RigctldClient() {
    running = false;
    socket->disconnect(this);
    socket->abort();
}

void RigctldClient::Start() {
    if (running)
        return;
    running = true;
    attempt = 0;
    told = false;
    pollTimer->start();
    Connect();
}

void RigctldClient::Stop() {
    running = false;
    pollTimer->stop();
    retryTimer->stop();
    expected.clear();
    pollAgain = false;
    socket->abort();
    radio = Radio();
}

void RigctldClient::Connect() {
    if (!running)
        return;
    expected.clear();
    socket->abort();
    asked.start();
    socket->connectToHost(address.host, address.port);
}

void RigctldClient::PollNow() {
    if (expected.isEmpty())
        Poll();
    else
        pollAgain = true;
}

void RigctldClient::Poll() {
    if (!running)
        return;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        // A connection that does not come: given up, tried again later.
        if (socket->state() != QAbstractSocket::UnconnectedState && asked.isValid() &&
            asked.elapsed() > ReplyTimeoutMs)
            Fail(QStringLiteral("no connection within %1 s").arg(ReplyTimeoutMs / 1000));
        return;
    }
    if (!expected.isEmpty()) {
        if (asked.elapsed() > ReplyTimeoutMs)
            Fail(QStringLiteral("rigctld did not answer within %1 s").arg(ReplyTimeoutMs / 1000));
        return; // one poll at a time
    }
    next = Radio();
    next.connected = true;
    sLines = 0;
    asked.start();
    // rigctld answers in order; the split's answer may ask for "i" after these.
    Ask('f');
    Ask('s');
    Ask('t');
}

void RigctldClient::Ask(char query) {
    expected << query;
    const char line[2] = {query, '\n'};
    socket->write(line, 2);
}

void RigctldClient::ReadLines() {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(MaxLine + 1).trimmed();
        Answer(line);
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (socket->bytesAvailable() > MaxLine)
        Fail(QStringLiteral("rigctld sent a line too long"));
}

void RigctldClient::Answer(const QByteArray &line) {
    if (expected.isEmpty())
        return; // nothing asked: ignored
    const char query = expected.constFirst();
    bool done = true;
    switch (query) {
    case 'f':
        next.frequencyHz = IsReport(line) ? std::nullopt : Hz(line);
        break;
    case 's':
        // "1" then the transmit VFO's name; an error is one line.
        if (sLines++ == 0 && !IsReport(line)) {
            next.split = line.trimmed() == "1";
            done = false;
        }
        break;
    case 'i':
        next.txHz = IsReport(line) ? std::nullopt : Hz(line);
        break;
    case 't':
        if (IsReport(line)) {
            // RPRT -11: this rig (or its PTT type) cannot tell its PTT; the
            // amplifier's own transmit state still holds a change back.
            next.ptt = false;
            if (!pttNoted)
                Q_EMIT Note(QStringLiteral("the radio does not tell its PTT (%1)")
                                .arg(QString::fromLatin1(line)));
            pttNoted = true;
        } else {
            next.ptt = line.toInt() != 0;
        }
        break;
    default:
        break;
    }
    if (!done)
        return;
    expected.removeFirst();
    if (query == 's' && next.split)
        Ask('i');
    if (expected.isEmpty()) {
        const bool was = radio.connected;
        radio = next;
        if (!was) {
            attempt = 0;
            told = true;
            Q_EMIT ConnectionChanged(true, QString());
        }
        const bool again = pollAgain;
        pollAgain = false;
        Q_EMIT Polled(radio);
        if (again)
            Poll();
    }
}

void RigctldClient::Fail(const QString &why) {
    if (!running || retryTimer->isActive())
        return;
    const bool was = radio.connected;
    // Armed first: the abort's own disconnect comes back here and is ignored.
    constexpr int steps = int(sizeof RetryMs / sizeof RetryMs[0]);
    retryTimer->start(RetryMs[std::min(attempt, steps - 1)]);
    ++attempt;
    expected.clear();
    radio = Radio();
    socket->abort();
    if (was || !told)
        Q_EMIT ConnectionChanged(false, why);
    told = true;
    if (was)
        Q_EMIT Polled(radio);
}

} // namespace rig
