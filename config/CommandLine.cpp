// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/CommandLine.h"

#include <QCommandLineParser>
#include <QFile>

#include <cstdio>
#include <sys/stat.h>
#include <utility>

namespace CommandLine {

namespace {

const QString Program = QStringLiteral("orvik-control");

// Options the application object takes itself; with a value or without.
// Qt accepts them with one dash or two.
struct QtOption {
    const char *name;
    bool hasValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},      {"platformpluginpath", true},
    {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true},
    {"qwindowicon", true},   {"qwindowtitle", true},
    {"reverse", false},      {"session", true},
    {"style", true},         {"stylesheet", true},
    {"widgetcount", false},  {"display", true},
    {"geometry", true},      {"title", true},
    {"name", true},          {"visual", true},
    {"nograb", false},       {"dograb", false},
    {"sync", false},
};

// The arguments without Qt's own options (and their values).
QStringList WithoutQtOptions(const QStringList &arguments) {
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments.at(i);
        if (arg == QLatin1String("--")) {
            // What follows is no option.
            kept << arguments.mid(i);
            break;
        }
        if (i == 0 || !arg.startsWith(QLatin1Char('-'))) {
            kept << arg;
            continue;
        }
        arg.remove(0, arg.startsWith(QLatin1String("--")) ? 2 : 1);
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        bool qt = false;
        for (const QtOption &o : QtOptions) {
            if (name != QLatin1String(o.name))
                continue;
            qt = true;
            if (o.hasValue && !arg.contains(QLatin1Char('=')))
                ++i; // its value
        }
        if (!qt)
            kept << arguments.at(i);
    }
    return kept;
}

} // namespace

QString Version() {
    return QStringLiteral(ORVIK_VERSION);
}

namespace {

// Every option of the command line, in the order --help lists them. A new
// option adds its member here, its line in Add(), its reading in Fill() and,
// when it only goes with others, its rule in Combination().
struct Declared {
    // Not addHelpOption(): its --help-all would promise Qt's options too.
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Displays help on commandline options.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays version information.")};
    QCommandLineOption headless{
        QStringLiteral("headless"),
        QStringLiteral("Runs without a window or display: opens the port, reconnects, serves "
                       "the network and logs to standard output until SIGTERM or SIGINT.")};
    QCommandLineOption port{
        QStringLiteral("port"),
        QStringLiteral("Serial port to open (with --headless) or to select at start (default: "
                       "Port= of the file)."),
        QStringLiteral("NAME")};
    QCommandLineOption listen{
        QStringLiteral("listen"),
        QStringLiteral("Serves Hamlib's ampctld protocol on this address (default: Listen= in "
                       "[Network]); an address other than loopback needs --allow or Allow= there."),
        QStringLiteral("HOST:PORT")};
    QCommandLineOption allow{
        QStringLiteral("allow"),
        QStringLiteral("Addresses and CIDR ranges that may connect to --listen's server, comma- "
                       "or blank-separated (default: Allow= in [Network]); loopback always may."),
        QStringLiteral("ADDRESSES")};
    QCommandLineOption config{
        QStringLiteral("config"),
        QStringLiteral("Settings file to read (with --headless; default: the first "
                       "Orvik_control.ini found)."),
        QStringLiteral("FILE")};
    QCommandLineOption demo{
        QStringLiteral("demo"),
        QStringLiteral("Starts the simulated amplifier (orvik-sim) and the panel connected to "
                       "it; reads and writes none of your settings.")};
    QCommandLineOption history{
        QStringLiteral("history"),
        QStringLiteral("History file to record into (with --headless; default: File= in "
                       "[History], else $XDG_STATE_HOME/orvik/history.sqlite)."),
        QStringLiteral("FILE")};
    QCommandLineOption mqtt{
        QStringLiteral("mqtt"),
        QStringLiteral("Publishes the amplifier's state on this MQTT broker (default: Broker= in "
                       "[MQTT], where the other MQTT settings are)."),
        QStringLiteral("URL")};
    QCommandLineOption web{
        QStringLiteral("web"),
        QStringLiteral("Serves the station page on this address (default: Listen= in [Web]); "
                       "it needs UsersFile= there, and TLS for an address other than loopback."),
        QStringLiteral("HOST:PORT")};
    QCommandLineOption webPasswd{
        QStringLiteral("web-passwd"),
        QStringLiteral("Adds or changes a user of the station page in FILE (created with mode "
                       "0600): --web-passwd FILE USER [viewer|operator], then exits. The password "
                       "is asked twice on a terminal, else read from the first line of standard "
                       "input."),
        QStringLiteral("FILE")};
    const QCommandLineOption rig{
        QStringLiteral("rig"),
        QStringLiteral("Sets the amplifier's band from the radio's frequency, read from Hamlib's "
                       "rigctld at this address (default: Follow= in [Rig])."),
        QStringLiteral("rigctld://HOST:PORT")};
    const QCommandLineOption remove{
        QStringLiteral("remove"),
        QStringLiteral("With --web-passwd FILE USER: takes the user out of FILE instead.")};

    void Add(QCommandLineParser &parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Remote control panel for the Orvik 1200 HF amplifier and its tuner.\n"
                           "The serial port is chosen in the window; Orvik_control.ini names the\n"
                           "one selected at start. With --headless the program runs without a\n"
                           "window or display, opens the port itself and serves the network\n"
                           "(see orvik-control(1))."));
        parser.addOptions({help, version, headless, port, listen, allow, config, demo, history,
                           mqtt, web, webPasswd, rig, remove});
    }

    // The options given with a value, for the parts' own checks.
    QList<std::pair<const QCommandLineOption *, QString>> Values(const Options &o) const {
        return {{&port, o.port},       {&listen, o.listen}, {&allow, o.allow}, {&config, o.config},
                {&history, o.history}, {&mqtt, o.mqtt},     {&web, o.web},     {&rig, o.rig}};
    }
};

// What the options ask for, as given (other arguments are ignored, as they
// always were).
Options Fill(const QCommandLineParser &parser, const Declared &d) {
    Options o;
    o.headless = parser.isSet(d.headless);
    o.port = parser.value(d.port).trimmed();
    o.listen = parser.value(d.listen).trimmed();
    o.allow = parser.value(d.allow).trimmed();
    o.config = parser.value(d.config);
    o.history = parser.value(d.history);
    o.demo = parser.isSet(d.demo);
    o.mqtt = parser.value(d.mqtt).trimmed();
    o.web = parser.value(d.web).trimmed();
    o.rig = parser.value(d.rig).trimmed();
    return o;
}

// --web-passwd FILE USER [ROLE]: why not, or an empty string.
QString WebPasswdArguments(const QCommandLineParser &parser, const Declared &d, Options *o) {
    o->webPasswdFile = parser.value(d.webPasswd);
    const QStringList rest = parser.positionalArguments();
    if (o->webPasswdFile.isEmpty() || rest.isEmpty() || rest.size() > 2)
        return QStringLiteral("--web-passwd takes FILE USER [ROLE]");
    o->webUser = rest.at(0);
    o->webRemove = parser.isSet(d.remove);
    if (o->webRemove && rest.size() > 1)
        return QStringLiteral("--web-passwd FILE USER --remove takes no role");
    o->webRole = rest.size() > 1 ? rest.at(1) : QStringLiteral("viewer");
    if (o->webRole != QLatin1String("viewer") && o->webRole != QLatin1String("operator"))
        return QStringLiteral("--web-passwd: the role is viewer or operator, not \"%1\"")
            .arg(o->webRole);
    return QString();
}

// Options that go only with others, or need a value: why not, or "".
QString Combination(const QCommandLineParser &parser, const Declared &d, const Options &o) {
    if (parser.isSet(d.remove))
        return QStringLiteral("--remove goes with --web-passwd FILE USER");
    // The panel reads its own file; --port only chooses the port selected
    // at start, which the demo chooses itself.
    if (!o.headless && parser.isSet(d.config))
        return QStringLiteral("--config goes with --headless");
    if (o.demo && parser.isSet(d.port))
        return QStringLiteral("--demo opens its own simulated port, not --port");
    // The panel records where its settings say.
    if (!o.headless && parser.isSet(d.history))
        return QStringLiteral("--history goes with --headless");
    if (o.headless && o.demo)
        return QStringLiteral("--demo is for the panel, not --headless");
    if (parser.isSet(d.port) && o.port.isEmpty())
        return QStringLiteral("--port needs a port name");
    if (parser.isSet(d.config) && o.config.isEmpty())
        return QStringLiteral("--config needs a file name");
    if (parser.isSet(d.history) && o.history.isEmpty())
        return QStringLiteral("--history needs a file name");
    return QString();
}

// The settings file must be a file: a FIFO would block the start (and the
// stop signals that come later), a folder or a device reads as no settings.
// One that is not there is left to the start, which says so.
QString ConfigFile(const QString &path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        S_ISREG(st.st_mode))
        return QString();
    const QString kind = S_ISDIR(st.st_mode)                          ? QStringLiteral("a folder")
                         : S_ISFIFO(st.st_mode)                       ? QStringLiteral("a FIFO")
                         : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("a device")
                                                                      : QStringLiteral("no file");
    return QStringLiteral("--config: %1 is %2, not a settings file").arg(path, kind);
}

} // namespace

Result Parse(const QStringList &arguments, const Check &check) {
    QCommandLineParser parser;
    const Declared d;
    d.Add(parser);
    Result result;
    auto fail = [&result](const QString &why) {
        result.run = false;
        result.status = 2;
        result.error = Program + QStringLiteral(": ") + why + QStringLiteral(" (try --help)");
        return result;
    };
    if (!parser.parse(WithoutQtOptions(arguments)))
        return fail(parser.errorText().simplified());
    if (parser.isSet(d.help)) {
        result.run = false;
        // Its first line would name argv[0] of whatever application runs.
        const QString text = parser.helpText();
        result.output = QStringLiteral("Usage: ") + Program + QStringLiteral(" [options]") +
                        text.mid(text.indexOf(QLatin1Char('\n')));
        return result;
    }
    if (parser.isSet(d.version)) {
        result.run = false;
        result.output = Program + QLatin1Char(' ') + Version() + QLatin1Char('\n');
        return result;
    }
    Options &o = result.options;
    o = Fill(parser, d);
    if (parser.isSet(d.webPasswd)) {
        const QString error = WebPasswdArguments(parser, d, &o);
        return error.isEmpty() ? result : fail(error);
    }
    if (const QString error = Combination(parser, d, o); !error.isEmpty())
        return fail(error);
    if (const QString error = ConfigFile(o.config); !error.isEmpty())
        return fail(error);
    for (const auto &[option, value] : d.Values(o)) {
        const QString name = option->names().constFirst();
        if (!check || !parser.isSet(*option))
            continue;
        if (const QString error = check(name, value); !error.isEmpty())
            return fail(QStringLiteral("--") + name + QStringLiteral(": ") + error);
    }
    return result;
}

bool Read(int argc, char **argv, const Check &check, Options *options, int *status) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Result result = Parse(arguments, check);
    if (!result.output.isEmpty())
        std::fputs(result.output.toLocal8Bit().constData(), stdout);
    if (!result.error.isEmpty())
        std::fprintf(stderr, "%s\n", result.error.toLocal8Bit().constData());
    *options = result.options;
    *status = result.status;
    return result.run;
}

} // namespace CommandLine
