// SPDX-License-Identifier: GPL-3.0-or-later
// The connection's own rules: opening a port at 9600 8N1, why a port that
// is waited for cannot be opened (told once per change), and the back-off
// from a network port that another client keeps taking. What happens on
// the wire and to the status stays the link's; this holds what a newcomer
// asks of the connection: why is it waiting, when does it try again.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class TSerialPort;

class Connection {
public:
    // A network connection closed by the peer within TakenWithinMs of our
    // identification, twice in a row, was taken by another client: the next
    // attempt waits TakenWaitsMs in turn, then the last of them each time.
    static constexpr int TakenWithinMs = 3000;
    static constexpr int TakenWaitsMs[] = {10000, 30000, 60000};

    // Opens port at 9600 8N1, events delivered on the caller's thread.
    // Returns an empty string, or why it did not open (with what to do
    // about a denied permission).
    static QString Open(TSerialPort &port, const QString &name);
    // Why a port did not open, in a few words for the waiting line: the
    // common causes by their errno, else the failure's own text.
    static QString WaitReason(int error, const QString &failure, const QString &name);

    // The reason told last while waiting; true when reason differs from it
    // (it is then the one told).
    bool NewReason(const QString &reason);
    void ForgetReason() { reason.clear(); }

    // The handshake began at now (the identification was asked).
    void HandshakeBegan(qint64 now) { askedAt = now; }
    // The connection is ours: kept past TakenWithinMs, opened or closed by
    // the operator.
    void NotTaken() { takenInARow = 0; }
    // Kept past the time in which another client takes it.
    bool KeptAt(qint64 now) const { return askedAt >= 0 && now - askedAt > TakenWithinMs; }
    // The peer closed the connection at now. On a network port closed that
    // soon after the handshake, twice in a row: the time before which no
    // attempt is made.
    std::optional<qint64> PeerClosed(bool network, qint64 now);
    // While taken, whether an attempt may be made at now.
    bool MayRetry(qint64 now) const { return now >= retryAt; }

private:
    QString reason;
    qint64 askedAt = -1; // when this connection's handshake began
    int takenInARow = 0; // connections taken from us right after the handshake began
    qint64 retryAt = 0;
};
