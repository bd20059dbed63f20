// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the station page's request reader: each input is read as
// the bytes a client sent, whole and cut at every length a socket might
// deliver first. A request that is read must lie within the input and the
// limits, and reading a prefix never claims more than the whole did.
#include "web/WebRules.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

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
    return 0;
}
