// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the line framing and the report value rules. The input
// is cut into chunks (sizes drawn from its first byte) and fed to the
// framer; the lines must equal those of a plain reference framer, keep
// every byte, and every value rule must stay within its documented range.
#include "app/MainRules.h"
#include "link/LineFramer.h"
#include "link/Protocol.h"
#include "link/Reports.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

void Check(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// Lines of the whole stream at once: cut at each CR, an LF right after a CR
// dropped, the text after the last CR left over.
QList<QByteArray> ReferenceLines(const QByteArray &data, QByteArray *rest) {
    QList<QByteArray> lines;
    QByteArray current;
    bool afterCr = false;
    for (const char c : data) {
        if (afterCr && c == '\n') {
            afterCr = false;
            continue;
        }
        afterCr = false;
        if (c == '\r') {
            lines.append(current);
            current.clear();
            afterCr = true;
        } else {
            current.append(c);
        }
    }
    *rest = current;
    return lines;
}

// Blanks, an optional sign, digits, nothing else, within 32 bits.
std::optional<int> ReferenceInt(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    if (i == text.size())
        return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9' || v > (1LL << 40))
            return std::nullopt;
        v = v * 10 + (c - u'0');
    }
    v = negative ? -v : v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(v);
}

void CheckValueRules(const QByteArray &bytes) {
    const QString line = Protocol::FromLine(bytes);
    Check(line.size() == bytes.size(), "one character per byte");
    Check(Protocol::ToLine(line) == bytes, "bytes survive the round trip");
    Check(Protocol::ReceivedEcho(bytes) == QStringLiteral("+ ") + line, "received echo");

    // Every value position the dispatcher reads.
    for (const int from : {0, 3, 4, 5, 6, 7, 8, 9}) {
        for (const QString &v : {line.mid(from), line.mid(from, 1), line.mid(from, 2)}) {
            const std::optional<int> n = Reports::ToInt(v);
            Check(n == ReferenceInt(v), "number conversion");
            Reports::TemperatureRange(v);
            Reports::FineTuningAllowed(v);
            // The SWR text says the number, or "???" where there is none.
            const std::optional<double> swr = Reports::SwrValue(v);
            Check(swr ? *swr >= 1 && Reports::SwrText(v).toDouble() == *swr
                      : Reports::SwrText(v) == QStringLiteral("???"),
                  "SWR text and value agree");
            if (n) {
                Check(Reports::Low8(*n) == std::uint8_t(*n & 0xFF), "low 8 bits");
                for (const bool pa12 : {true, false}) {
                    const PaType type = pa12 ? PaType::Kw12 : PaType::Kw24;
                    Check(MainRules::OutputBarPosition(*n, type) <= 1200,
                          "output bar within its range");
                    Check(MainRules::PeakMarkerLeft(*n, type) <= 1200 / 3 + 8,
                          "peak marker position");
                    const int limit = pa12 ? 1200 : 2400;
                    Check(Reports::PeakLogged(v, *n, pa12) ==
                              (*n > limit ? QString::number(limit) : v),
                          "peak text limited only above the scale");
                }
                if (Reports::AtuStatusFor(*n))
                    Check(*n >= 1 && *n <= 7, "status codes 1..7 only");
                const int cal = Reports::Low8(*n);
                if (cal != 0)
                    Reports::AlcMark(Reports::Low8(*n ^ 0x5A), cal);
            }
        }
    }
    const QString relays = Reports::PadRelays(line.mid(7, 9));
    Check(relays.size() == 8, "relay field of 8 digits");
    for (const double unit : {Reports::InductanceUnit, Reports::CapacitanceUnit}) {
        if (const std::optional<double> sum = Reports::RelaySum(relays, unit)) {
            Check(*sum >= 0 && *sum <= 9 * 255 * unit + 1e-9, "relay sum range");
            Check(!Reports::InductanceCaption(*sum).isEmpty(), "caption");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    LineFramer framer;
    QList<QByteArray> lines;
    bool discarded = false;
    std::uint32_t r = seed;
    for (qsizetype pos = 0; pos < stream.size();) {
        r = r * 1103515245u + 12345u;
        const qsizetype len = qsizetype(1 + (r >> 16) % (seed % 4 == 0 ? 1 : 97));
        // All at one moment: no unfinished line is dropped for coming late.
        const LineFramer::Result out = framer.Feed(stream.mid(pos, len), 0);
        for (const QByteArray &l : out.lines) {
            Check(!l.contains('\r'), "no CR inside a line");
            lines.append(l);
        }
        discarded = discarded || out.discarded > 0;
        Check(framer.Held().size() <= LineFramer::MaxHeld, "unfinished line bounded");
        pos += len;
    }
    QByteArray rest;
    const QList<QByteArray> reference = ReferenceLines(stream, &rest);
    if (!discarded) {
        Check(lines == reference, "lines equal the reference framing");
        Check(framer.Held() == rest, "unfinished line kept whole");
    }
    for (const QByteArray &l : lines)
        CheckValueRules(l);
    return 0;
}
