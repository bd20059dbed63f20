// INI files: sections in brackets, "key=value" lines. Section and key names
// compare without regard to case; a missing file, section or key reads as the
// default. Also where the program's own file, Orvik_control.ini, is looked
// for, and the one file it writes: the user's, for settings the operator
// changes from the window.
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
QString FindConfig(const QString &exeDir,
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

// The user's file, $XDG_CONFIG_HOME/orvik/Orvik_control.ini (default
// ~/.config/orvik); empty when neither names an absolute folder.
QString UserConfigPath(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

// text with key set to value in section: the key's first line replaced
// (its name as written), else a line added at the end of the section's
// first occurrence, else the section added at the end. Every other line,
// comment and line end stays as it was.
QByteArray WriteStringToText(const QByteArray &text, const QString &section, const QString &key,
                             const QString &value);

// Saves one setting in the user's file. When the user has no file yet, it
// starts as a copy of the file the program read (configPath), so that the
// user's file, which is found before the system's, keeps every other
// setting. Written whole or not at all. Returns an empty string, or why the
// file could not be written.
QString WriteUserSetting(const QString &configPath, const QString &section, const QString &key,
                         const QString &value,
                         const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

} // namespace IniFile
