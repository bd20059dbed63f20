// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Settings.h"

#include "config/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString &ProgramFolderOverride() {
    static QString folder;
    return folder;
}

QString Sub() {
    return QStringLiteral("/orvik/") + Settings::FileName;
}

} // namespace

QString Settings::ProgramFolder() {
    return ProgramFolderOverride().isEmpty() ? ExecutableFolder() : ProgramFolderOverride();
}

QString Settings::ExecutableFolder() {
    return ExecutableFolder(QStringLiteral(ORVIK_INSTALL_BINDIR));
}

QString Settings::ExecutableFolder(const QString &installedBinDir) {
    const QString folder = QCoreApplication::applicationDirPath();
    return QFileInfo(folder) == QFileInfo(installedBinDir) ? QString() : folder;
}

void Settings::SetProgramFolder(const QString &folder) {
    ProgramFolderOverride() = folder;
}

QString Settings::UserPath(const QProcessEnvironment &env) {
    QString configHome = env.value(QStringLiteral("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(configHome)) {
        const QString home = env.value(QStringLiteral("HOME"));
        configHome = QDir::isAbsolutePath(home) ? home + QStringLiteral("/.config") : QString();
    }
    return configHome.isEmpty() ? QString() : QDir::cleanPath(configHome + Sub());
}

QStringList Settings::SearchPaths(const QString &programFolder, const QProcessEnvironment &env) {
    QStringList paths;
    if (!programFolder.isEmpty())
        paths << programFolder + QLatin1Char('/') + FileName;
    const QString user = UserPath(env);
    if (!user.isEmpty())
        paths << user;
    QStringList configDirs;
    const QStringList listed =
        env.value(QStringLiteral("XDG_CONFIG_DIRS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : listed)
        if (QDir::isAbsolutePath(dir))
            configDirs << dir;
    if (configDirs.isEmpty())
        configDirs << QStringLiteral("/etc/xdg");
    for (const QString &dir : configDirs)
        paths << QDir::cleanPath(dir + Sub());
    return paths;
}

QString Settings::Find(const QString &programFolder, const QProcessEnvironment &env) {
    for (const QString &path : SearchPaths(programFolder, env))
        if (QFileInfo::exists(path))
            return path;
    return QString();
}

QString Settings::HistoryPath(const QProcessEnvironment &env) const {
    if (!history.file.isEmpty())
        return path.isEmpty() ? history.file : QFileInfo(path).dir().absoluteFilePath(history.file);
    QString state = env.value(QStringLiteral("XDG_STATE_HOME"));
    // As for the configuration, a relative folder is ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state =
            env.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvik/history.sqlite");
}

QString Settings::PasswordPath(const QProcessEnvironment &env) const {
    static const QString Credentials = QStringLiteral("${CREDENTIALS_DIRECTORY}/");
    const QString file = mqtt.passwordFile.trimmed();
    const QString folder = env.value(QStringLiteral("CREDENTIALS_DIRECTORY"));
    if (!file.startsWith(Credentials) || folder.isEmpty())
        return file;
    return QDir(folder).filePath(file.mid(Credentials.size()));
}

Settings Settings::Load(const QProcessEnvironment &env) {
    return Read(Find(ProgramFolder(), env));
}

Settings Settings::Read(const QString &path) {
    Settings s;
    s.path = path;
    if (path.isEmpty())
        return s;
    // A file that cannot be read whole reads as one without keys.
    QByteArray text;
    if (!IniFile::ReadWhole(path, &text).isEmpty())
        text.clear();
    auto read = [&text](const Key &key) {
        return IniFile::ReadStringFromText(text, QLatin1String(key.section),
                                           QLatin1String(key.name));
    };
    s.configuration.port = read(Port);
    s.configuration.autoReconnect = read(AutoReconnect) == QLatin1String("1");
    s.network.listen = read(Listen);
    s.network.allow = read(Allow);
    s.network.allowRaw = read(AllowRaw) == QLatin1String("1");
    s.network.idleTimeout = read(IdleTimeout);
    s.history.file = read(HistoryFile).trimmed();
    // A number of days as written; anything else keeps the default.
    bool ok = false;
    const int days = read(HistoryDays).trimmed().toInt(&ok);
    if (ok && days >= 0)
        s.history.days = days;
    s.mqtt.broker = read(Broker);
    s.mqtt.username = read(Username);
    s.mqtt.passwordFile = read(PasswordFile);
    s.mqtt.caFile = read(CAFile);
    s.mqtt.topic = read(Topic);
    s.mqtt.control = read(Control) == QLatin1String("1");
    s.mqtt.discovery = read(Discovery) != QLatin1String("0");
    s.mqtt.allowRaw = read(MqttAllowRaw) == QLatin1String("1");
    s.mqtt.discoveryPrefix = read(DiscoveryPrefix);
    s.mqtt.stateInterval = read(StateInterval);
    s.web.listen = read(WebListen).trimmed();
    s.web.certificate = read(WebCertificate).trimmed();
    s.web.key = read(WebKey).trimmed();
    s.web.usersFile = read(WebUsersFile).trimmed();
    s.web.origin = read(WebOrigin).trimmed();
    s.rig.follow = read(RigFollow).trimmed();
    s.rig.following = read(RigFollowing).trimmed() != QLatin1String("0");
    s.web.trustedProxy = read(WebTrustedProxy).trimmed();
    return s;
}

namespace {

// Reads from (none when empty or not there), sets the key and writes the
// text to file, whole or not at all.
QString WriteKey(const QString &file, const QString &from, const Settings::Key &key,
                 const QString &value) {
    QByteArray text;
    if (!from.isEmpty() && QFileInfo::exists(from)) {
        const QString failure = IniFile::ReadWhole(from, &text);
        if (!failure.isEmpty())
            return failure;
    }
    if (!QDir().mkpath(QFileInfo(file).path()))
        return QStringLiteral("Cannot create the folder of %1").arg(file);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(IniFile::WriteStringToText(text, QLatin1String(key.section),
                                             QLatin1String(key.name), value)) < 0 ||
        !out.commit())
        return QStringLiteral("Cannot write %1: %2").arg(file, out.errorString());
    return QString();
}

} // namespace

QString Settings::Save(const Key &key, const QString &value, const QProcessEnvironment &env) const {
    const QString user = UserPath(env);
    if (user.isEmpty())
        return QStringLiteral("No folder for the user's settings (set HOME or XDG_CONFIG_HOME)");
    // Written back whole or not at all: a file that cannot be read whole is
    // left as it is.
    return WriteKey(user, QFileInfo::exists(user) ? user : path, key, value);
}

QString Settings::SaveIn(const QString &file, const Key &key, const QString &value) {
    return WriteKey(file, file, key, value);
}
