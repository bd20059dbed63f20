// SPDX-License-Identifier: GPL-3.0-or-later
// A client of Hamlib's rigctld, as WSJT-X or a logger is one: its plain
// text protocol over TCP, polling the frequency, the split and the PTT,
// and connecting again with a growing wait when rigctld goes or is not
// there yet. Only the I/O: what follows from the answers is FollowRules'.
#pragma once

#include "rig/FollowRules.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

namespace rig {

class RigctldClient : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RigctldClient)
public:
    explicit RigctldClient(const Address &address, QObject *parent = nullptr);
    ~RigctldClient() override;

    // Four polls a second: a band change is seen well within the settle
    // time, so the amplifier follows within about a second; and rigctld,
    // which WSJT-X, fldigi and the loggers share and which puts every
    // client's question on the radio's one CAT line, gets three or four
    // short questions at a time, leaving most of that line to the others.
    static constexpr int PollMs = 250;
    // An answer (or a connection) that takes longer: rigctld is stuck, the
    // connection is dropped and made again.
    static constexpr int ReplyTimeoutMs = 3000;
    // The waits before each new attempt, the last one repeated.
    static constexpr int RetryMs[] = {500, 1000, 2000, 4000, 5000};
    // A line longer than this is no answer of rigctld's.
    static constexpr int MaxLine = 256;

    const Address &Where() const { return address; }
    const Radio &State() const { return radio; }
    bool Connected() const { return radio.connected; }

    void Start();
    void Stop();
    // Polls now, or as soon as the poll in flight has its answers.
    void PollNow();

Q_SIGNALS:
    // A poll's answers, all of them.
    void Polled(const rig::Radio &radio);
    // Connected, or not: told once per change, with why for a loss or a
    // failed first attempt.
    void ConnectionChanged(bool connected, const QString &why);
    // Something worth one line (the radio cannot tell its PTT).
    void Note(const QString &text);

private:
    void Connect();
    void Poll();
    void Ask(char query);
    void ReadLines();
    void Answer(const QByteArray &line);
    void Fail(const QString &why);

    Address address;
    QTcpSocket *socket = nullptr;
    QTimer *pollTimer = nullptr;
    QTimer *retryTimer = nullptr;
    QElapsedTimer asked;  // when the poll in flight (or the connection) began
    Radio radio;          // the last whole poll's answers
    Radio next;           // the poll in flight
    QList<char> expected; // the queries whose answers are still to come
    int sLines = 0;       // lines of the split answer read
    int attempt = 0;
    bool told = false;     // the connection's state has been told once
    bool pttNoted = false; // "no PTT" already said
    bool running = false;
    bool pollAgain = false; // PollNow came while a poll was in flight
};

} // namespace rig
