#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

namespace IniFile {

QString ReadString(const QString &path, const QString &section, const QString &key,
                   const QString &defaultValue) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    // An INI file is a few lines; cap what is read so a wrong path to a huge
    // file cannot stall the start.
    return ReadStringFromText(file.read(1 << 20), section, key, defaultValue);
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

QStringList ConfigSearchPaths(const QString &exeDir, const QProcessEnvironment &env) {
    const QString sub = QStringLiteral("/orvik/") + ConfigName;
    QStringList paths{exeDir + QLatin1Char('/') + ConfigName};
    QString configHome = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(configHome)) {
        const QString home = env.value(QStringLiteral("HOME"));
        configHome = QDir::isAbsolutePath(home) ? home + QStringLiteral("/.config") : QString();
    }
    if (!configHome.isEmpty())
        paths << QDir::cleanPath(configHome + sub);
    QStringList configDirs;
    const QStringList listed =
        env.value(QStringLiteral("XDG_CONFIG_DIRS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : listed)
        if (QDir::isAbsolutePath(dir))
            configDirs << dir;
    if (configDirs.isEmpty())
        configDirs << QStringLiteral("/etc/xdg");
    for (const QString &dir : configDirs)
        paths << QDir::cleanPath(dir + sub);
    return paths;
}

QString FindConfig(const QString &exeDir, const QProcessEnvironment &env) {
    for (const QString &path : ConfigSearchPaths(exeDir, env))
        if (QFileInfo::exists(path))
            return path;
    return QString();
}

} // namespace IniFile
