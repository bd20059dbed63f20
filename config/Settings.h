// SPDX-License-Identifier: GPL-3.0-or-later
// The program's settings file, Orvik_control.ini: where it is found, every
// key it holds (section and name, here and nowhere else), read once into one
// value, and the one way a setting the operator changes is saved. A new
// section adds its keys, its struct and its lines in Read().
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

class Settings {
public:
    // A key of the file: its section and its name.
    struct Key {
        const char *section;
        const char *name;
    };

    // [Configuration]
    static constexpr Key Port{"Configuration", "Port"};
    static constexpr Key AutoReconnect{"Configuration", "AutoReconnect"};
    // [Network]
    static constexpr Key Listen{"Network", "Listen"};
    static constexpr Key Allow{"Network", "Allow"};
    static constexpr Key AllowRaw{"Network", "AllowRaw"};
    static constexpr Key IdleTimeout{"Network", "IdleTimeout"};
    // [History]
    static constexpr Key HistoryFile{"History", "File"};
    static constexpr Key HistoryDays{"History", "Days"};
    // [MQTT]
    static constexpr Key Broker{"MQTT", "Broker"};
    static constexpr Key Username{"MQTT", "Username"};
    static constexpr Key PasswordFile{"MQTT", "PasswordFile"};
    static constexpr Key CAFile{"MQTT", "CAFile"};
    static constexpr Key Topic{"MQTT", "Topic"};
    static constexpr Key Control{"MQTT", "Control"};
    static constexpr Key Discovery{"MQTT", "Discovery"};
    static constexpr Key MqttAllowRaw{"MQTT", "AllowRaw"};
    static constexpr Key DiscoveryPrefix{"MQTT", "DiscoveryPrefix"};
    static constexpr Key StateInterval{"MQTT", "StateInterval"};
    // [Web]
    static constexpr Key WebListen{"Web", "Listen"};
    static constexpr Key WebCertificate{"Web", "Certificate"};
    static constexpr Key WebKey{"Web", "Key"};
    static constexpr Key WebUsersFile{"Web", "UsersFile"};
    static constexpr Key WebOrigin{"Web", "Origin"};
    static constexpr Key WebTrustedProxy{"Web", "TrustedProxy"};
    // [Rig]
    static constexpr Key RigFollow{"Rig", "Follow"};
    static constexpr Key RigFollowing{"Rig", "Following"};

    struct Configuration {
        // The port selected at start; none when no file was found (a file
        // without the key, or one that cannot be read, names an empty port).
        std::optional<QString> port;
        bool autoReconnect = false; // "1": a lost port is waited for
    };
    struct Network {
        QString listen; // HOST:PORT; empty: no server
        QString allow;  // addresses and CIDR ranges that may connect
        bool allowRaw = false;
        QString idleTimeout; // seconds, as written
    };

    struct History {
        QString file;  // the history file; empty: the default one
        int days = 30; // rows older than this go; 0 keeps everything
    };

    struct Mqtt {
        QString broker; // mqtt://HOST:PORT or mqtts://HOST:PORT; empty: no publisher
        QString username;
        QString passwordFile; // the password itself is never in this file
        QString caFile;
        QString topic;           // empty: orvik/<host name>
        bool control = false;    // "1": obey .../set/... messages
        bool discovery = true;   // "0": no Home Assistant discovery (and remove it)
        bool allowRaw = false;   // "1": .../set/raw too
        QString discoveryPrefix; // empty: homeassistant
        QString stateInterval;   // seconds, as written; empty: 0.1
    };

    struct Web {
        QString listen;       // HOST:PORT; empty: no station page
        QString certificate;  // PEM certificate (chain) for TLS
        QString key;          // its PEM private key
        QString usersFile;    // the page's users, written by --web-passwd
        QString origin;       // the public origin behind a reverse proxy
        QString trustedProxy; // addresses whose X-Forwarded-For is believed
    };

    struct Rig {
        QString follow;        // rigctld://HOST:PORT; empty: no rig
        bool following = true; // "0": the rig is watched, its band not sent
    };

    QString path; // the file read; empty when none was found
    Configuration configuration;
    Network network;
    History history;
    Mqtt mqtt;
    Web web;
    Rig rig;

    // The history file: File= of [History], relative to this file's
    // folder; by default $XDG_STATE_HOME/orvik/history.sqlite (default
    // ~/.local/state/orvik).
    QString
    HistoryPath(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) const;

    // The MQTT password file: PasswordFile= of [MQTT], with a leading
    // ${CREDENTIALS_DIRECTORY} replaced by the folder of the credentials
    // systemd hands to a unit (LoadCredential=); kept as written when that
    // is not set, so that the message names what the file says.
    QString
    PasswordPath(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) const;

    // The file's name.
    static inline const QString FileName = QStringLiteral("Orvik_control.ini");

    // The folder looked in first: the executable's (ExecutableFolder()),
    // unless the demo or a test points the program at a folder of its own
    // (empty: the executable's again).
    static QString ProgramFolder();
    static void SetProgramFolder(const QString &folder);
    // The executable's folder when it runs from a build or a folder of its
    // own; empty when it is the installed one's (installedBinDir, by
    // default where the package puts it), whose folder (/usr/bin) holds
    // no settings and no modules.
    static QString ExecutableFolder(const QString &installedBinDir);
    static QString ExecutableFolder();

    // Where the file is looked for, first to last: in programFolder (none
    // when empty);
    // $XDG_CONFIG_HOME/orvik (default ~/.config/orvik); each folder of
    // $XDG_CONFIG_DIRS followed by /orvik (default /etc/xdg/orvik).
    // Relative XDG folders are ignored, as the XDG rules ask.
    static QStringList SearchPaths(const QString &programFolder, const QProcessEnvironment &env);
    // The first of SearchPaths that exists (also when it cannot be read, so
    // that a broken file is not silently passed over); empty when none does.
    static QString Find(const QString &programFolder,
                        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    // The user's file, $XDG_CONFIG_HOME/orvik/Orvik_control.ini (default
    // ~/.config/orvik); empty when neither names an absolute folder.
    static QString
    UserPath(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

    // The file found from ProgramFolder(), read.
    static Settings Load(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());
    // The file at path, read once; an empty path gives every default.
    static Settings Read(const QString &path);

    // Saves one setting in the user's file. When the user has no file yet,
    // it starts as a copy of the file read (path), so that the user's file,
    // which is found before the system's, keeps every other setting.
    // Written whole or not at all. Returns an empty string, or why the file
    // could not be written.
    QString Save(const Key &key, const QString &value,
                 const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) const;
    // Saves one setting in file itself (the one --config names, which the
    // next start reads again), written whole or not at all as Save does.
    static QString SaveIn(const QString &file, const Key &key, const QString &value);
};
