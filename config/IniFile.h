// SPDX-License-Identifier: GPL-3.0-or-later
// INI text: sections in brackets, "key=value" lines. Section and key names
// compare without regard to case; a missing file, section or key reads as
// the default. Only the format: which file the program reads, and its keys,
// are the settings' (config/Settings.h).
#pragma once

#include <QByteArray>
#include <QString>

namespace IniFile {

// The whole text of the file at path, or why it could not be read whole
// (what is read is capped, so that a wrong path to a huge file or an
// endless device cannot stall the program). Empty on success.
QString ReadWhole(const QString &path, QByteArray *text);

// The value of key in section of an INI text; defaultValue when there is none.
QString ReadStringFromText(const QByteArray &text, const QString &section, const QString &key,
                           const QString &defaultValue = QString());

// text with key set to value in section: the key's first line replaced
// (its name as written), else a line added at the end of the section's
// first occurrence, else the section added at the end. Every other line,
// comment and line end stays as it was.
QByteArray WriteStringToText(const QByteArray &text, const QString &section, const QString &key,
                             const QString &value);

} // namespace IniFile
