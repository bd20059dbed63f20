// SPDX-License-Identifier: GPL-3.0-or-later
// Line framing, escaping and the log format of the simulator.
#include "SimText.h"

namespace sim {

QList<QByteArray> LineFramer::feed(const QByteArray &bytes) {
    QList<QByteArray> lines;
    for (char c : bytes) {
        if (m_dropLf) {
            m_dropLf = false;
            if (c == '\n')
                continue;
        }
        if (c == '\r') {
            lines.append(m_partial);
            m_partial.clear();
            m_dropLf = true;
        } else {
            m_partial.append(c);
        }
    }
    return lines;
}

void LineFramer::reset() {
    m_partial.clear();
    m_dropLf = false;
}

QByteArray escapeBytes(const QByteArray &bytes) {
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out.append("\\\\");
        } else if (c == '\r') {
            out.append("\\r");
        } else if (c == '\n') {
            out.append("\\n");
        } else if (c == '\t') {
            out.append("\\t");
        } else if (c >= 0x20 && c < 0x7f) {
            out.append(ch);
        } else {
            out.append("\\x");
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xf]);
        }
    }
    return out;
}

static int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool unescapeBytes(const QByteArray &text, QByteArray *bytes) {
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\') {
            out.append(c);
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text.at(i)) {
        case '\\':
            out.append('\\');
            break;
        case 'r':
            out.append('\r');
            break;
        case 'n':
            out.append('\n');
            break;
        case 't':
            out.append('\t');
            break;
        case '0':
            out.append('\0');
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int hi = hexValue(text.at(i + 1));
            const int lo = hexValue(text.at(i + 2));
            if (hi < 0 || lo < 0)
                return false;
            out.append(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    *bytes = out;
    return true;
}

QByteArray logEntry(const QTime &time, LogKind kind, const QByteArray &bytes) {
    QByteArray out = time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
    out.append(' ');
    out.append(static_cast<char>(kind));
    out.append(' ');
    out.append(escapeBytes(bytes));
    return out;
}

bool parseLogEntry(const QByteArray &line, LogRecord *record) {
    // "HH:MM:SS.mmm K" is 14 characters; the blank after K may be trimmed away.
    if (line.size() < 14 || line.at(12) != ' ')
        return false;
    const QTime time =
        QTime::fromString(QString::fromLatin1(line.left(12)), QStringLiteral("HH:mm:ss.zzz"));
    const char kind = line.at(13);
    if (!time.isValid() || (kind != '<' && kind != '>' && kind != '#'))
        return false;
    QByteArray bytes;
    if (line.size() > 14) {
        if (line.at(14) != ' ' || !unescapeBytes(line.mid(15), &bytes))
            return false;
    }
    record->time = time;
    record->kind = static_cast<LogKind>(kind);
    record->bytes = bytes;
    return true;
}

} // namespace sim
