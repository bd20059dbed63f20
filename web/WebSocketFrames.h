// SPDX-License-Identifier: GPL-3.0-or-later
// The live page's WebSocket as RFC 6455 frames, the server's side only: the
// answer to an upgrade, the frames a page sends read strictly (masked, no
// extension, control frames short and whole, text as UTF-8, a message
// within its bound), and the frames the server sends. No socket here: a
// test and the fuzzer call it with the bytes a page or an attacker sends.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace web {

struct HttpRequest;

namespace ws {

// Close codes the server sends or echoes.
constexpr quint16 CloseNormal = 1000;
constexpr quint16 CloseProtocolError = 1002;
constexpr quint16 CloseNoStatus = 1005; // a Close without a code: nothing to echo
constexpr quint16 CloseBadData = 1007;  // text that is not UTF-8
constexpr quint16 CloseTooBig = 1009;

// What an upgrade request lacks, as the status to answer it with (400, or
// 426 with "Sec-WebSocket-Version: 13" when the version is not 13); 0 when
// it may be upgraded.
int UpgradeRefusal(const HttpRequest &request, QString *why);
// The Sec-WebSocket-Accept value for a Sec-WebSocket-Key.
QByteArray AcceptKey(const QByteArray &key);
// The whole 101 answer to an upgrade that UpgradeRefusal took.
QByteArray UpgradeAnswer(const HttpRequest &request);

// The server's frames: whole, never masked.
QByteArray TextFrame(const QByteArray &utf8);
QByteArray PongFrame(const QByteArray &payload);
// CloseNoStatus gives a Close without a body.
QByteArray CloseFrame(quint16 code, const QByteArray &reason = {});
// The reason sent with the server's Close for a frame that failed with code.
QByteArray FailureReason(quint16 code);

bool ValidUtf8(QByteArrayView bytes);

struct Frame {
    enum class Kind {
        Incomplete, // more bytes are needed; nothing was consumed
        Text,       // a whole text message (its fragments joined)
        Binary,
        Fragment, // a part of a message that is not whole yet
        Ping,
        Pong,
        Close,  // code: the page's code, or CloseNoStatus
        Failed, // code: what to close with; why: for the log
    };
    Kind kind = Kind::Incomplete;
    QByteArray payload; // unmasked; a Close's reason
    quint16 code = 0;
    QString why;
};

// Reads a page's frames one at a time from the front of what it has sent,
// keeping a fragmented message until its last frame. After Failed the
// connection is to be closed: nothing further is read.
class FrameReader {
public:
    // maxMessage bounds a frame's payload and a message's, fragments joined.
    explicit FrameReader(qsizetype maxMessage) : maxMessage_(maxMessage) {}
    Frame Read(QByteArrayView bytes, qsizetype *consumed);

private:
    Frame Fail(quint16 code, const QString &why);

    qsizetype maxMessage_;
    int opcode_ = -1; // of the fragmented message being read, -1: none
    QByteArray message_;
    bool failed_ = false;
};

} // namespace ws
} // namespace web
