// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the station page's readers: each input is read as the
// bytes a client sent, whole and cut at every length a socket might
// deliver first. A request that is read must lie within the input and the
// limits, and reading a prefix never claims more than the whole did. What
// follows the request (all of it, when there is none) is read as a live
// page's WebSocket frames: within the bounds, text as UTF-8, and the same
// frames however the bytes arrive.
#include "web/WebRules.h"
#include "web/WebSocketFrames.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

namespace {

using web::ws::Frame;

// The frames read from bytes that arrive up to `first`, then whole: to the
// first Failed, or to an Incomplete on all of them. Each within the bounds.
QList<Frame> ReadFrames(const QByteArray &bytes, qsizetype first) {
    web::ws::FrameReader reader(web::MaxBodyBytes);
    QList<Frame> frames;
    qsizetype at = 0;
    for (const qsizetype available : {first, bytes.size()}) {
        for (;;) {
            qsizetype consumed = 0;
            const Frame f =
                reader.Read(QByteArrayView(bytes).first(available).sliced(at), &consumed);
            at += consumed;
            // Only a frame that was read whole is taken (a failed one may be).
            const bool none = f.kind == Frame::Kind::Incomplete;
            const bool control = f.kind >= Frame::Kind::Ping && f.kind <= Frame::Kind::Close;
            if (at > available || (none && consumed != 0) ||
                (f.kind != Frame::Kind::Failed && !none && consumed == 0) ||
                f.payload.size() > web::MaxBodyBytes || (control && f.payload.size() > 125) ||
                ((f.kind == Frame::Kind::Text || f.kind == Frame::Kind::Close) &&
                 !web::ws::ValidUtf8(f.payload)))
                std::abort();
            if (f.kind == Frame::Kind::Incomplete)
                break;
            frames.append(f);
            if (f.kind == Frame::Kind::Failed)
                return frames;
        }
    }
    return frames;
}

// However the bytes arrive, the same frames.
void CheckFrames(const QByteArray &bytes) {
    const QList<Frame> whole = ReadFrames(bytes, bytes.size());
    for (qsizetype cut = 1; cut < bytes.size() && cut < 24; cut += 3) {
        const QList<Frame> parts = ReadFrames(bytes, cut);
        if (parts.size() != whole.size())
            std::abort();
        for (qsizetype i = 0; i < parts.size(); ++i)
            if (parts[i].kind != whole[i].kind || parts[i].payload != whole[i].payload ||
                parts[i].code != whole[i].code)
                std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    web::HttpRequest whole;
    int wholeConsumed = 0;
    const web::ParseResult result = web::ParseRequest(bytes, &whole, &wholeConsumed);
    if (result == web::ParseResult::Done) {
        if (wholeConsumed <= 0 || wholeConsumed > bytes.size() ||
            whole.body.size() > web::MaxBodyBytes || whole.headers.size() > web::MaxHeaders ||
            !whole.path.startsWith('/') ||
            bytes.mid(wholeConsumed - whole.body.size(), whole.body.size()) != whole.body)
            std::abort();
        // Read again from its own bytes, it is the same request.
        web::HttpRequest again;
        int consumed = 0;
        if (web::ParseRequest(bytes.left(wholeConsumed), &again, &consumed) !=
                web::ParseResult::Done ||
            consumed != wholeConsumed || again.body != whole.body || again.headers != whole.headers)
            std::abort();
    }
    // Any shorter delivery is incomplete or refused alike, never another request.
    for (qsizetype cut = 0; cut < bytes.size() && cut < 64; ++cut) {
        web::HttpRequest part;
        int consumed = 0;
        const web::ParseResult r = web::ParseRequest(bytes.left(cut), &part, &consumed);
        if (r == web::ParseResult::Done && (result != web::ParseResult::Done || consumed > cut))
            std::abort();
    }
    CheckFrames(result == web::ParseResult::Done ? bytes.mid(wholeConsumed) : bytes);
    return 0;
}
