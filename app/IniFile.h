// Read-only access to INI files: sections in brackets, "key=value" lines.
// Section and key names compare without regard to case; a missing file,
// section or key reads as the default.
#pragma once

#include <QString>

namespace IniFile {

QString ReadString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue = QString());

// The same rule applied to the file's text, for callers that already hold it.
QString ReadStringFromText(const QByteArray &text, const QString &section, const QString &key,
                           const QString &defaultValue = QString());

} // namespace IniFile
