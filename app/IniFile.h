// Read-only access to INI files: sections in brackets, "key=value" lines.
// Section and key names compare without regard to case; a missing file,
// section or key reads as the default. Also where the program's own file,
// Orvik_control.ini, is looked for.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace IniFile {

QString ReadString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue = QString());

// The same rule applied to the file's text, for callers that already hold it.
QString ReadStringFromText(const QByteArray &text, const QString &section, const QString &key,
                           const QString &defaultValue = QString());

// The configuration file's name.
inline const QString ConfigName = QStringLiteral("Orvik_control.ini");

// Where the configuration file is looked for, first to last: beside the
// executable; $XDG_CONFIG_HOME/orvik (default ~/.config/orvik); each folder
// of $XDG_CONFIG_DIRS followed by /orvik (default /etc/xdg/orvik). Relative
// XDG folders are ignored, as the XDG rules ask.
QStringList ConfigSearchPaths(const QString &exeDir, const QProcessEnvironment &env);

// The first of ConfigSearchPaths that exists (also when it cannot be read,
// so that a broken file is not silently passed over); empty when none does.
// The program never writes any of them.
QString FindConfig(const QString &exeDir,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

} // namespace IniFile
