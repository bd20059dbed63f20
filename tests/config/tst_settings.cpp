// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file (its INI text, where it is looked for, its keys read
// once and a setting saved), the command line and the start-up selection of
// the port list.
#include "config/CommandLine.h"
#include "config/IniFile.h"
#include "config/PortRules.h"
#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every start reads the settings; none may leave a warning behind.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("."))); }
    void iniRead_data();
    void iniRead();
    void iniSearch_data();
    void iniSearch();
    void executableFolder();
    void passwordPath_data();
    void passwordPath();
    void iniWrite_data();
    void iniWrite();
    void userSettingSaved();
    void commandLine_data();
    void commandLine();
    void portSelection_data();
    void portSelection();
};

void TestSettings::iniRead_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("[Configuration]\r\nPort=COM3\r\n") << "COM3";
    QTest::newRow("case of names")
        << QByteArray("[configuration]\nPORT = /dev/ttyUSB0 \n") << "/dev/ttyUSB0";
    QTest::newRow("bom and comments")
        << QByteArray("\xEF\xBB\xBF; note\n[Configuration]\n# x\nPort=COM1\n") << "COM1";
    QTest::newRow("other section") << QByteArray("[Other]\nPort=COM9\n[Configuration]\n") << "";
    QTest::newRow("missing key") << QByteArray("[Configuration]\nBaud=9600\n") << "";
    QTest::newRow("empty value") << QByteArray("[Configuration]\nPort=\n") << "";
    QTest::newRow("empty file") << QByteArray() << "";
    QTest::newRow("garbage") << QByteArray("\x01\x02[[[=\n=\n[Configuration\nPort") << "";
    QTest::newRow("unclosed section still names it")
        << QByteArray("[Configuration\nPort=COM2\n") << "COM2";
    QTest::newRow("first of duplicates") << QByteArray("[Configuration]\nPort=A\nPort=B\n") << "A";
}

void TestSettings::iniRead() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(
        IniFile::ReadStringFromText(text, QStringLiteral("Configuration"), QStringLiteral("Port")),
        expected);
}

void TestSettings::iniSearch_data() {
    // "@" stands for a fresh folder; HOME is always @/home.
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("configDirs");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("installed"); // the program in /usr/bin: no folder of its own
    const QString exe = QStringLiteral("exe/Orvik_control.ini");
    const QString user = QStringLiteral("cfg/orvik/Orvik_control.ini");
    const QString home = QStringLiteral("home/.config/orvik/Orvik_control.ini");
    const QString sys = QStringLiteral("sys/orvik/Orvik_control.ini");
    QTest::newRow("none") << "@/cfg"
                          << "@/sys" << QStringList() << "" << false;
    QTest::newRow("beside the executable first")
        << "@/cfg"
        << "@/sys" << QStringList{exe, user, sys} << exe << false;
    QTest::newRow("then the user's") << "@/cfg"
                                     << "@/sys" << QStringList{user, sys} << user << false;
    QTest::newRow("then the system's") << "@/cfg"
                                       << "@/sys" << QStringList{sys} << sys << false;
    QTest::newRow("user's default ~/.config") << ""
                                              << "@/sys" << QStringList{home, sys} << home << false;
    QTest::newRow("relative XDG_CONFIG_HOME ignored")
        << "cfg"
        << "@/sys" << QStringList{user, home} << home << false;
    QTest::newRow("each system folder in turn")
        << "@/cfg"
        << "@/none:relative:@/sys" << QStringList{sys} << sys << false;
    QTest::newRow("a folder of that name counts")
        << "@/cfg"
        << "@/sys" << QStringList{user + QLatin1Char('/'), sys} << user << false;
    QTest::newRow("an installed program: nothing beside it")
        << "@/cfg"
        << "@/sys" << QStringList{exe, sys} << sys << true;
}

void TestSettings::iniSearch() {
    QFETCH(QString, configHome);
    QFETCH(QString, configDirs);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    for (const QString &f : files) {
        if (f.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(root).mkpath(f));
            continue;
        }
        QVERIFY(QDir(root).mkpath(QFileInfo(root + QLatin1Char('/') + f).path()));
        QFile file(root + QLatin1Char('/') + f);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    if (!configHome.isEmpty())
        env.insert(QStringLiteral("XDG_CONFIG_HOME"),
                   QString(configHome).replace(QLatin1Char('@'), root));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"),
               QString(configDirs).replace(QLatin1Char('@'), root));
    QFETCH(bool, installed);
    const QString found =
        Settings::Find(installed ? QString() : root + QStringLiteral("/exe"), env);
    QCOMPARE(found,
             expected.isEmpty() ? QString() : QDir::cleanPath(root + QLatin1Char('/') + expected));
    // Without XDG folders named, the system's is /etc/xdg.
    const QStringList defaults = Settings::SearchPaths(QStringLiteral("/opt/x"), {});
    QCOMPARE(defaults, (QStringList{QStringLiteral("/opt/x/Orvik_control.ini"),
                                    QStringLiteral("/etc/xdg/orvik/Orvik_control.ini")}));
}

// Only a program that is not the installed one has a folder of its own.
void TestSettings::executableFolder() {
    const QString here = QCoreApplication::applicationDirPath();
    QCOMPARE(Settings::ExecutableFolder(QStringLiteral("/usr/bin")), here);
    QCOMPARE(Settings::ExecutableFolder(here), QString());
    QCOMPARE(Settings::ExecutableFolder(here + QStringLiteral("/../") + QDir(here).dirName()),
             QString());
}

// A unit's credential: its folder in place of the variable, and only there.
void TestSettings::passwordPath_data() {
    QTest::addColumn<QString>("written");     // PasswordFile=
    QTest::addColumn<QString>("credentials"); // $CREDENTIALS_DIRECTORY; empty: unset
    QTest::addColumn<QString>("expected");
    const QString variable = QStringLiteral("${CREDENTIALS_DIRECTORY}/pw");
    const QString after = QStringLiteral("/x") + variable;
    QTest::newRow("a credential") << QLatin1Char(' ') + variable << "/run/c/"
                                  << "/run/c/pw";
    QTest::newRow("no credentials: as written") << variable << "" << variable;
    QTest::newRow("not at the start") << after << "/run/c" << after;
}

void TestSettings::passwordPath() {
    QFETCH(QString, written);
    QFETCH(QString, credentials);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("station.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly) &&
            file.write("[MQTT]\nPasswordFile=" + written.toUtf8() + "\n") > 0);
    file.close();
    QProcessEnvironment env;
    if (!credentials.isEmpty())
        env.insert(QStringLiteral("CREDENTIALS_DIRECTORY"), credentials);
    QCOMPARE(Settings::Read(file.fileName()).PasswordPath(env), expected);
}

void TestSettings::iniWrite_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty file") << QByteArray() << QByteArray("[Configuration]\nPort=tcp://h:1\n");
    QTest::newRow("key replaced, name as written, CR kept")
        << QByteArray("[configuration]\r\nPORT = COM1\r\nBaud=9600\r\n")
        << QByteArray("[configuration]\r\nPORT=tcp://h:1\r\nBaud=9600\r\n");
    QTest::newRow("added after the section's last line, before blanks")
        << QByteArray("[Configuration]\nX=1\n\n[Other]\nPort=B\n")
        << QByteArray("[Configuration]\nX=1\nPort=tcp://h:1\n\n[Other]\nPort=B\n");
    QTest::newRow("section added with a blank line before it")
        << QByteArray("[Other]\nPort=B")
        << QByteArray("[Other]\nPort=B\n\n[Configuration]\nPort=tcp://h:1\n");
    QTest::newRow("CR LF file gets CR LF lines")
        << QByteArray("[Other]\r\n")
        << QByteArray("[Other]\r\n\r\n[Configuration]\r\nPort=tcp://h:1\r\n");
    QTest::newRow("comments untouched")
        << QByteArray("[Configuration]\n;Port=old\n")
        << QByteArray("[Configuration]\n;Port=old\nPort=tcp://h:1\n");
    QTest::newRow("first of duplicates, as read")
        << QByteArray("[Configuration]\nPort=A\n[Configuration]\nPort=B\n")
        << QByteArray("[Configuration]\nPort=tcp://h:1\n[Configuration]\nPort=B\n");
}

void TestSettings::iniWrite() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    const QString value = QStringLiteral("tcp://h:1");
    const QByteArray written = IniFile::WriteStringToText(text, QStringLiteral("Configuration"),
                                                          QStringLiteral("Port"), value);
    QCOMPARE(written, expected);
    QCOMPARE(IniFile::ReadStringFromText(written, QStringLiteral("Configuration"),
                                         QStringLiteral("Port")),
             value);
}

// The keys read once; the first save copies the file the program read, so
// that the user's file, found first from then on, keeps the other settings;
// later saves edit it.
void TestSettings::userSettingSaved() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sys = dir.filePath(QStringLiteral("sys.ini"));
    QFile system(sys);
    QVERIFY(system.open(QIODevice::WriteOnly));
    system.write("[configuration]\nPort=/dev/ttyUSB0\nPA=2\n[Network]\nListen=127.0.0.1:4531\n"
                 "Allow=10.0.0.0/8\nAllowRaw=1\nIdleTimeout=30\n");
    system.close();
    const Settings read = Settings::Read(sys);
    QCOMPARE(read.configuration.port, std::optional<QString>(QStringLiteral("/dev/ttyUSB0")));
    QVERIFY(!read.configuration.autoReconnect);
    QCOMPARE(QStringList({read.network.listen, read.network.allow, read.network.idleTimeout}),
             QStringList({QStringLiteral("127.0.0.1:4531"), QStringLiteral("10.0.0.0/8"),
                          QStringLiteral("30")}));
    QVERIFY(read.network.allowRaw);
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("cfg")));
    const QString user = Settings::UserPath(env);
    auto inUserFile = [&user](const char *section, const char *key) {
        QByteArray text;
        IniFile::ReadWhole(user, &text);
        return IniFile::ReadStringFromText(text, QLatin1String(section), QLatin1String(key));
    };
    QCOMPARE(user, dir.filePath(QStringLiteral("cfg/orvik/Orvik_control.ini")));
    QCOMPARE(read.Save(Settings::AutoReconnect, QStringLiteral("1"), env), QString());
    QCOMPARE(inUserFile("Configuration", "PA"), QStringLiteral("2"));
    QVERIFY(Settings::Read(user).configuration.autoReconnect);
    // No file found: every default, and no port named at all.
    const Settings none = Settings::Read(QString());
    QVERIFY(!none.configuration.port && !none.configuration.autoReconnect);
    QCOMPARE(none.Save(Settings::Port, QStringLiteral("tcp://a:2"), env), QString());
    QCOMPARE(Settings::Read(user).configuration.port,
             std::optional<QString>(QStringLiteral("tcp://a:2")));
    QVERIFY(Settings::Read(user).configuration.autoReconnect);
    // A large file keeps every byte but the changed key, its last section
    // included; one that cannot be read whole is not written at all.
    QByteArray large(2 << 20, '\n');
    for (qsizetype i = 0; i + 40 < large.size(); i += 41)
        large.replace(i, 40, QByteArray(";").leftJustified(40, 'x'));
    large += "[Configuration]\nAutoReconnect=1\n[Station]\nCall=LAST\n";
    QFile user0(user);
    QVERIFY(user0.open(QIODevice::WriteOnly));
    user0.write(large);
    user0.close();
    QCOMPARE(read.Save(Settings::AutoReconnect, QStringLiteral("0"), env), QString());
    QVERIFY(user0.open(QIODevice::ReadOnly));
    QVERIFY(user0.readAll() == large.replace("AutoReconnect=1", "AutoReconnect=0"));
    user0.close();
    QCOMPARE(inUserFile("Station", "Call"), QStringLiteral("LAST"));
    QVERIFY(user0.remove());
    Settings endless;
    endless.path = QStringLiteral("/dev/zero");
    const QString failure = endless.Save(Settings::Port, QStringLiteral("x"), env);
    QVERIFY2(failure.contains(QLatin1String("/dev/zero whole")), qPrintable(failure));
    QVERIFY(!QFileInfo::exists(user));
    QCOMPARE(Settings::Read(QStringLiteral("/dev/zero")).configuration.port,
             std::optional(QString()));
    // A folder that cannot be made is reported, not passed over.
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), sys + QStringLiteral("/cfg"));
    QVERIFY(!read.Save(Settings::Port, QStringLiteral("x"), env).isEmpty());
    env.clear();
    QVERIFY(Settings::UserPath(env).isEmpty());
}

void TestSettings::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("run");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("options"); // what was read, as Show() writes it
    auto row = [](const char *name, const QStringList &args, bool run, int status,
                  const char *output, const char *options = "") {
        QTest::newRow(name) << args << run << status << QString::fromLatin1(output)
                            << QString::fromLatin1(options);
    };
    using S = QStringList;
    row("nothing", S{}, true, 0, "");
    row("version", S{QStringLiteral("--version")}, false, 0, "orvik-control " ORVIK_TEST_VERSION);
    row("short version", S{QStringLiteral("-v")}, false, 0, "orvik-control " ORVIK_TEST_VERSION);
    row("help", S{QStringLiteral("--help")}, false, 0, "Usage: orvik-control [options]");
    row("unknown", S{QStringLiteral("--bogus")}, false, 2, "");
    row("Qt's own options pass",
        S{QStringLiteral("-platform"), QStringLiteral("offscreen"),
          QStringLiteral("--style=fusion"), QStringLiteral("-reverse")},
        true, 0, "");
    // Qt's switches take no value: the option after each is still read.
    for (const char *flag : {"-widgetcount", "-sync", "-nograb", "-dograb", "-reverse"})
        row(flag, S{QLatin1String(flag), QStringLiteral("--version")}, false, 0,
            "orvik-control " ORVIK_TEST_VERSION);
    row("unknown after Qt's",
        S{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-x")}, false, 2, "");
    row("other arguments ignored", S{QStringLiteral("file.txt")}, true, 0, "");
    row("no options after --", S{QStringLiteral("--"), QStringLiteral("--version")}, true, 0, "");
    row("help names the headless options and --demo", S{QStringLiteral("-h")}, false, 0,
        "Usage: orvik-control [options]",
        "--headless --port --listen --allow --config --demo --web --web-passwd");
    row("demo", S{QStringLiteral("--demo")}, true, 0, "", "demo|||");
    row("demo serving the network",
        S{QStringLiteral("--demo"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:4531")},
        true, 0, "", "demo||127.0.0.1:4531|");
    row("--demo with --headless",
        S{QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--port=x")},
        false, 2, "");
    row("headless",
        S{QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("/dev/ttyUSB0")},
        true, 0, "", "headless|/dev/ttyUSB0||");
    row("headless, all",
        S{QStringLiteral("--headless"), QStringLiteral("--port=/dev/ttyS1"),
          QStringLiteral("--listen"), QStringLiteral(" [::1]:4531"), QStringLiteral("--config"),
          QStringLiteral("/etc/orvik/a.ini")},
        true, 0, "", "headless|/dev/ttyS1|[::1]:4531|/etc/orvik/a.ini");
    row("panel with --listen", S{QStringLiteral("--listen"), QStringLiteral("0.0.0.0:4531")}, true,
        0, "", "panel||0.0.0.0:4531|");
    row("bad --listen", S{QStringLiteral("--listen"), QStringLiteral("localhost")}, false, 2, "");
    row("empty --listen", S{QStringLiteral("--listen=")}, false, 2, "");
    row("--listen without value", S{QStringLiteral("--listen")}, false, 2, "");
    row("panel with --port", S{QStringLiteral("--port"), QStringLiteral("/dev/ttyS0")}, true, 0, "",
        "panel|/dev/ttyS0||");
    row("--port with --demo", S{QStringLiteral("--demo"), QStringLiteral("--port=/dev/ttyS0")},
        false, 2, "");
    row("--config without --headless", S{QStringLiteral("--config"), QStringLiteral("a.ini")},
        false, 2, "");
    row("empty --port", S{QStringLiteral("--headless"), QStringLiteral("--port= ")}, false, 2, "");
    row("panel with --web", S{QStringLiteral("--web"), QStringLiteral("127.0.0.1:8080")}, true, 0,
        "", "|web=127.0.0.1:8080|passwd=  ");
    row("bad --web", S{QStringLiteral("--web"), QStringLiteral("station")}, false, 2, "");
    row("--web-passwd, a viewer by default",
        S{QStringLiteral("--web-passwd"), QStringLiteral("users"), QStringLiteral("alice")}, true,
        0, "", "|web=|passwd=users alice viewer");
    row("--web-passwd, an operator",
        S{QStringLiteral("--web-passwd"), QStringLiteral("users"), QStringLiteral("alice"),
          QStringLiteral("operator")},
        true, 0, "", "|web=|passwd=users alice operator");
    row("--web-passwd without a user", S{QStringLiteral("--web-passwd"), QStringLiteral("users")},
        false, 2, "");
    row("--web-passwd with another role",
        S{QStringLiteral("--web-passwd"), QStringLiteral("users"), QStringLiteral("alice"),
          QStringLiteral("admin")},
        false, 2, "");
}

void TestSettings::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(bool, run);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, options);
    // As the network server's check: an address has a port.
    const auto check = [](const QString &option, const QString &value) {
        return (option == QLatin1String("listen") || option == QLatin1String("web")) &&
                       !value.contains(QLatin1Char(':'))
                   ? QStringLiteral("not HOST:PORT")
                   : QString();
    };
    const CommandLine::Result r =
        CommandLine::Parse(QStringList{QStringLiteral("orvik-control")} + args, check);
    QCOMPARE(r.run, run);
    if (!run && !options.isEmpty()) {
        for (const QString &name : options.split(QLatin1Char(' ')))
            QVERIFY2(r.output.contains(name), qPrintable(name));
    } else if (run) {
        const CommandLine::Options &o = r.options;
        const QString mode = o.headless ? QStringLiteral("headless")
                             : o.demo   ? QStringLiteral("demo")
                                        : QStringLiteral("panel");
        QString read = o.headless || o.demo || o.port.size() + o.listen.size() + o.config.size()
                           ? QStringList{mode, o.port, o.listen, o.config}.join(QLatin1Char('|'))
                           : QString();
        if (!o.web.isEmpty() || !o.webPasswdFile.isEmpty())
            read += QStringLiteral("|web=%1|passwd=%2 %3 %4")
                        .arg(o.web, o.webPasswdFile, o.webUser, o.webRole);
        QCOMPARE(read, options);
    }
    QCOMPARE(r.status, status);
    if (output.isEmpty())
        QVERIFY2(r.output.isEmpty(), qPrintable(r.output));
    else
        QVERIFY2(r.output.startsWith(output), qPrintable(r.output));
    // An error is one line, naming the program.
    QCOMPARE(r.error.isEmpty(), status == 0);
    QVERIFY(!r.error.contains(QLatin1Char('\n')));
    QVERIFY(r.error.isEmpty() || r.error.startsWith(QStringLiteral("orvik-control: ")));
}

void TestSettings::portSelection_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QStringList>("expectedPorts");
    QTest::addColumn<int>("expectedIndex");
    const QStringList three{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0"),
                            QStringLiteral("/dev/ttyUSB1")};
    QTest::newRow("no file: first") << three << false << "" << three << 0;
    QTest::newRow("named") << three << true << "/dev/ttyUSB1" << three << 2;
    QTest::newRow("other letter case") << three << true << "/DEV/TTYUSB0" << three << 1;
    QTest::newRow("missing key") << three << true << "" << three << -1;
    QTest::newRow("not present") << three << true << "/dev/ttyUSB7" << three << -1;
    QTest::newRow("no ports, no file") << QStringList() << false << "" << QStringList() << -1;
    QTest::newRow("no ports, file names nothing")
        << QStringList() << true << "/dev/ttyUSB7" << QStringList() << -1;
    QTest::newRow("unlisted character device is added")
        << three << true << "/dev/pts/7" << (three + QStringList{QStringLiteral("/dev/pts/7")})
        << 3;
    QTest::newRow("unlisted device, empty list")
        << QStringList() << true << "/dev/pts/7" << QStringList{QStringLiteral("/dev/pts/7")} << 0;
    QTest::newRow("network port is added, scheme in lower case")
        << three << true << " TCP://192.168.1.20:4001 "
        << (three + QStringList{QStringLiteral("tcp://192.168.1.20:4001")}) << 3;
    QTest::newRow("malformed network port is not")
        << three << true << "tcp://shack:0" << three << -1;
}

void TestSettings::portSelection() {
    QFETCH(QStringList, ports);
    QFETCH(bool, fileExists);
    QFETCH(QString, configured);
    QFETCH(QStringList, expectedPorts);
    QFETCH(int, expectedIndex);
    auto isDevice = [](const QString &p) { return p == QStringLiteral("/dev/pts/7"); };
    const auto sel = PortRules::SelectConfigured(
        ports, fileExists ? std::optional<QString>(configured) : std::nullopt, isDevice);
    QCOMPARE(sel.ports, expectedPorts);
    QCOMPARE(sel.index, expectedIndex);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
