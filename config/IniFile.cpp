// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/IniFile.h"

#include <QFile>
#include <QList>

namespace IniFile {

namespace {

// An INI file is a few lines; what is read is capped so that a wrong path
// to a huge file or an endless device cannot stall the program.
constexpr qint64 MaxFileBytes = 16 << 20;

QString ReadWhole(QFile &file, QByteArray *text) {
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString());
    QByteArray all;
    char chunk[65536];
    for (;;) {
        const qint64 n = file.read(chunk, sizeof chunk);
        if (n < 0)
            return QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString());
        if (n == 0)
            break;
        all.append(chunk, n);
        if (all.size() > MaxFileBytes)
            return QStringLiteral("Cannot read %1 whole: it is larger than %2 MiB")
                .arg(file.fileName())
                .arg(MaxFileBytes >> 20);
    }
    *text = all;
    return QString();
}

} // namespace

QString ReadWhole(const QString &path, QByteArray *text) {
    QFile file(path);
    return ReadWhole(file, text);
}

QString ReadStringFromText(const QByteArray &text, const QString &section, const QString &key,
                           const QString &defaultValue) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    bool inSection = false;
    const QList<QByteArray> lines = body.split('\n');
    for (QByteArray raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            const int close = line.indexOf(']');
            const QString name =
                QString::fromUtf8(line.mid(1, close < 0 ? -1 : close - 1)).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const int eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QString name = QString::fromUtf8(line.left(eq)).trimmed();
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(line.mid(eq + 1)).trimmed();
    }
    return defaultValue;
}

namespace {

// The name of a "[name]" line; empty when the line is not one.
QByteArray SectionName(const QByteArray &line) {
    if (!line.startsWith('['))
        return QByteArray();
    const int close = line.indexOf(']');
    return line.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

bool SameName(const QByteArray &name, const QString &wanted) {
    return QString::fromUtf8(name).compare(wanted, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray WriteStringToText(const QByteArray &text, const QString &section, const QString &key,
                             const QString &value) {
    // Lines keep their own ends; a new line takes the file's (CR LF when its
    // first line has one).
    const QByteArray eol = text.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    QList<QByteArray> lines = text.split('\n');
    const bool endsWithNewline = text.isEmpty() || text.endsWith('\n');
    if (endsWithNewline)
        lines.removeLast();
    int sectionLine = -1;   // the section's header
    int lastInSection = -1; // its last line that is not blank
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.startsWith('[')) {
            if (sectionLine >= 0)
                break; // only the first occurrence is read, so only it is written
            if (SameName(SectionName(line), section))
                sectionLine = lastInSection = i;
            continue;
        }
        if (sectionLine < 0 || line.isEmpty())
            continue;
        lastInSection = i;
        const int eq = line.indexOf('=');
        if (eq > 0 && SameName(line.left(eq).trimmed(), key) && !line.startsWith(';') &&
            !line.startsWith('#')) {
            const QByteArray cr = lines.at(i).endsWith('\r') ? QByteArray("\r") : QByteArray();
            lines[i] = line.left(eq).trimmed() + '=' + value.toUtf8() + cr;
            return lines.join('\n') + (endsWithNewline ? QByteArray("\n") : QByteArray());
        }
    }
    const QByteArray cr = eol.startsWith('\r') ? QByteArray("\r") : QByteArray();
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8() + cr;
    if (sectionLine >= 0) {
        lines.insert(lastInSection + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(cr);
        lines.append('[' + section.toUtf8() + ']' + cr);
        lines.append(entry);
    }
    return lines.join('\n') + '\n';
}

} // namespace IniFile
