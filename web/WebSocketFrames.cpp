// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebSocketFrames.h"

#include "web/WebRules.h"

#include <QCryptographicHash>

#include <utility>

namespace web::ws {

namespace {

enum Opcode : quint8 {
    Continuation = 0x0,
    TextOp = 0x1,
    BinaryOp = 0x2,
    CloseOp = 0x8,
    PingOp = 0x9,
    PongOp = 0xA,
};

QByteArray ServerFrame(quint8 opcode, QByteArrayView payload) {
    QByteArray out;
    out.reserve(payload.size() + 10);
    out += char(0x80 | opcode);
    if (payload.size() < 126) {
        out += char(payload.size());
    } else if (payload.size() <= 0xFFFF) {
        out += char(126);
        out += char(payload.size() >> 8);
        out += char(payload.size() & 0xFF);
    } else {
        out += char(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += char((quint64(payload.size()) >> shift) & 0xFF);
    }
    out.append(payload.data(), payload.size());
    return out;
}

// A code a page may send in its Close (RFC 6455 7.4): the defined ones it
// may send, and those kept for libraries and applications.
bool SendableCode(quint16 code) {
    if (code >= 3000 && code <= 4999)
        return true;
    return code >= 1000 && code <= 1014 && code != 1004 && code != 1005 && code != 1006;
}

} // namespace

int UpgradeRefusal(const HttpRequest &request, QString *why) {
    if (request.method != "GET" || request.http10 || !request.HasToken("upgrade", "websocket") ||
        !request.HasToken("connection", "upgrade")) {
        *why = QStringLiteral("not a WebSocket upgrade");
        return 400;
    }
    if (request.Count("sec-websocket-version") != 1 ||
        request.Header("sec-websocket-version") != "13") {
        *why = QStringLiteral("not WebSocket version 13");
        return 426;
    }
    const QByteArray key = request.Header("sec-websocket-key");
    const auto decoded =
        QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    if (request.Count("sec-websocket-key") != 1 || key.size() != 24 || !decoded ||
        decoded.decoded.size() != 16) {
        *why = QStringLiteral("no valid Sec-WebSocket-Key");
        return 400;
    }
    return 0;
}

QByteArray AcceptKey(const QByteArray &key) {
    return QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                    QCryptographicHash::Sha1)
        .toBase64();
}

QByteArray UpgradeAnswer(const HttpRequest &request) {
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           AcceptKey(request.Header("sec-websocket-key")) + "\r\n\r\n";
}

QByteArray TextFrame(const QByteArray &utf8) {
    return ServerFrame(TextOp, utf8);
}

QByteArray PongFrame(const QByteArray &payload) {
    return ServerFrame(PongOp, payload);
}

QByteArray CloseFrame(quint16 code, const QByteArray &reason) {
    if (code == CloseNoStatus)
        return ServerFrame(CloseOp, {});
    QByteArray body;
    body += char(code >> 8);
    body += char(code & 0xFF);
    body += reason.left(123); // a control frame's payload is 125 bytes at most
    return ServerFrame(CloseOp, body);
}

QByteArray FailureReason(quint16 code) {
    return code == CloseProtocolError ? "protocol error"
           : code == CloseTooBig      ? "message too big"
                                      : "not UTF-8";
}

// RFC 3629: no overlong form, no surrogate, nothing above U+10FFFF.
bool ValidUtf8(QByteArrayView bytes) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        int more = 0;
        unsigned char low = 0x80, high = 0xBF; // the second byte's range
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (n - i <= more || p[i + 1] < low || p[i + 1] > high)
            return false;
        for (int k = 2; k <= more; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

Frame FrameReader::Fail(quint16 code, const QString &why) {
    failed_ = true;
    message_.clear();
    Frame f;
    f.kind = Frame::Kind::Failed;
    f.code = code;
    f.why = why;
    return f;
}

Frame FrameReader::Read(QByteArrayView bytes, qsizetype *consumed) {
    *consumed = 0;
    if (failed_)
        return Fail(CloseProtocolError, QStringLiteral("read after a failed frame"));
    if (bytes.size() < 2)
        return {};
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const bool fin = p[0] & 0x80;
    const int opcode = p[0] & 0x0F;
    const bool control = opcode & 0x8;
    // Checked on the first two bytes, before any payload is waited for.
    if (p[0] & 0x70)
        return Fail(CloseProtocolError, QStringLiteral("a reserved bit set"));
    if (opcode != Continuation && opcode != TextOp && opcode != BinaryOp && opcode != CloseOp &&
        opcode != PingOp && opcode != PongOp)
        return Fail(CloseProtocolError, QStringLiteral("a reserved opcode %1").arg(opcode));
    if (!(p[1] & 0x80))
        return Fail(CloseProtocolError, QStringLiteral("an unmasked frame"));
    quint64 length = p[1] & 0x7F;
    if (control && (!fin || length > 125))
        return Fail(CloseProtocolError, QStringLiteral("a fragmented or long control frame"));
    if (opcode == Continuation && opcode_ < 0)
        return Fail(CloseProtocolError, QStringLiteral("a continuation of no message"));
    if ((opcode == TextOp || opcode == BinaryOp) && opcode_ >= 0)
        return Fail(CloseProtocolError, QStringLiteral("a new message inside a fragmented one"));
    qsizetype head = 2;
    if (length >= 126) {
        const int size = length == 126 ? 2 : 8;
        if (bytes.size() < 2 + size)
            return {};
        length = 0;
        for (int k = 0; k < size; ++k)
            length = length << 8 | p[2 + k];
        if (size == 8 && (length >> 63))
            return Fail(CloseProtocolError, QStringLiteral("a length with its top bit set"));
        head += size;
    }
    if (length > quint64(maxMessage_) || qsizetype(length) + message_.size() > maxMessage_)
        return Fail(CloseTooBig, QStringLiteral("a message over %1 bytes").arg(maxMessage_));
    head += 4; // the mask
    if (bytes.size() < head + qsizetype(length))
        return {};
    QByteArray payload(bytes.data() + head, qsizetype(length));
    const unsigned char *mask = p + head - 4;
    for (qsizetype k = 0; k < payload.size(); ++k)
        payload[k] = char(payload[k] ^ mask[k % 4]);
    *consumed = head + qsizetype(length);
    Frame f;
    if (control) {
        f.kind = opcode == PingOp   ? Frame::Kind::Ping
                 : opcode == PongOp ? Frame::Kind::Pong
                                    : Frame::Kind::Close;
        f.payload = payload;
        if (opcode != CloseOp)
            return f;
        f.code = CloseNoStatus;
        if (payload.size() == 1)
            return Fail(CloseProtocolError, QStringLiteral("a Close of one byte"));
        if (payload.size() >= 2) {
            f.code = quint16(quint8(payload[0]) << 8 | quint8(payload[1]));
            f.payload = payload.mid(2);
            if (!SendableCode(f.code))
                return Fail(CloseProtocolError, QStringLiteral("a Close code %1").arg(f.code));
            if (!ValidUtf8(f.payload))
                return Fail(CloseBadData, QStringLiteral("a Close reason that is not UTF-8"));
        }
        return f;
    }
    if (opcode != Continuation)
        opcode_ = opcode;
    message_ += payload;
    if (!fin) {
        f.kind = Frame::Kind::Fragment;
        return f;
    }
    f.kind = opcode_ == TextOp ? Frame::Kind::Text : Frame::Kind::Binary;
    f.payload = std::exchange(message_, QByteArray());
    opcode_ = -1;
    if (f.kind == Frame::Kind::Text && !ValidUtf8(f.payload))
        return Fail(CloseBadData, QStringLiteral("a text message that is not UTF-8"));
    return f;
}

} // namespace web::ws
