// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/CommandLine.h"

#include <QCommandLineParser>

#include <cstdio>
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

Result Parse(const QStringList &arguments, const Check &check) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Remote control panel for the Orvik 1200 HF amplifier and its tuner.\n"
                       "The serial port is chosen in the window; Orvik_control.ini names the\n"
                       "one selected at start. With --headless the program runs without a\n"
                       "window or display, opens the port itself and serves the network\n"
                       "(see orvik-control(1))."));
    // Not addHelpOption(): its --help-all would promise Qt's options too.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Runs without a window or display: opens the port, reconnects, serves "
                       "the network and logs to standard output until SIGTERM or SIGINT."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Serial port to open (with --headless) or to select at start (default: "
                       "Port= of the file)."),
        QStringLiteral("NAME"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Serves Hamlib's ampctld protocol on this address (default: Listen= in "
                       "[Network]); an address other than loopback needs --allow or Allow= there."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption allow(
        QStringLiteral("allow"),
        QStringLiteral("Addresses and CIDR ranges that may connect to --listen's server, comma- "
                       "or blank-separated (default: Allow= in [Network]); loopback always may."),
        QStringLiteral("ADDRESSES"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Settings file to read (with --headless; default: the first "
                       "Orvik_control.ini found)."),
        QStringLiteral("FILE"));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Starts the simulated amplifier (orvik-sim) and the panel connected to "
                       "it; reads and writes none of your settings."));
    const QCommandLineOption history(
        QStringLiteral("history"),
        QStringLiteral("History file to record into (with --headless; default: File= in "
                       "[History], else $XDG_STATE_HOME/orvik/history.sqlite)."),
        QStringLiteral("FILE"));
    const QCommandLineOption mqtt(
        QStringLiteral("mqtt"),
        QStringLiteral("Publishes the amplifier's state on this MQTT broker (default: Broker= in "
                       "[MQTT], where the other MQTT settings are)."),
        QStringLiteral("URL"));
    const QCommandLineOption web(
        QStringLiteral("web"),
        QStringLiteral("Serves the station page on this address (default: Listen= in [Web]); "
                       "it needs UsersFile= there, and TLS for an address other than loopback."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption webPasswd(
        QStringLiteral("web-passwd"),
        QStringLiteral("Adds or changes a user of the station page in FILE (created with mode "
                       "0600): --web-passwd FILE USER [viewer|operator], then exits. The password "
                       "is asked twice on a terminal, else read from the first line of standard "
                       "input."),
        QStringLiteral("FILE"));
    const QCommandLineOption remove(
        QStringLiteral("remove"),
        QStringLiteral("With --web-passwd FILE USER: takes the user out of FILE instead."));
    parser.addOptions(
        {headless, port, listen, allow, config, demo, history, mqtt, web, webPasswd, remove});

    Result result;
    auto fail = [&result](const QString &why) {
        result.run = false;
        result.status = 2;
        result.error = Program + QStringLiteral(": ") + why + QStringLiteral(" (try --help)");
        return result;
    };
    if (!parser.parse(WithoutQtOptions(arguments)))
        return fail(parser.errorText().simplified());
    if (parser.isSet(help)) {
        result.run = false;
        // Its first line would name argv[0] of whatever application runs.
        const QString text = parser.helpText();
        result.output = QStringLiteral("Usage: ") + Program + QStringLiteral(" [options]") +
                        text.mid(text.indexOf(QLatin1Char('\n')));
        return result;
    }
    if (parser.isSet(version)) {
        result.run = false;
        result.output = Program + QLatin1Char(' ') + Version() + QLatin1Char('\n');
        return result;
    }
    // Other arguments are ignored, as they always were.
    Options &o = result.options;
    o.headless = parser.isSet(headless);
    o.port = parser.value(port).trimmed();
    o.listen = parser.value(listen).trimmed();
    o.allow = parser.value(allow).trimmed();
    o.config = parser.value(config);
    o.history = parser.value(history);
    o.demo = parser.isSet(demo);
    o.mqtt = parser.value(mqtt).trimmed();
    o.web = parser.value(web).trimmed();
    if (parser.isSet(webPasswd)) {
        o.webPasswdFile = parser.value(webPasswd);
        const QStringList rest = parser.positionalArguments();
        if (o.webPasswdFile.isEmpty() || rest.isEmpty() || rest.size() > 2)
            return fail(QStringLiteral("--web-passwd takes FILE USER [ROLE]"));
        o.webUser = rest.at(0);
        o.webRemove = parser.isSet(remove);
        if (o.webRemove && rest.size() > 1)
            return fail(QStringLiteral("--web-passwd FILE USER --remove takes no role"));
        o.webRole = rest.size() > 1 ? rest.at(1) : QStringLiteral("viewer");
        if (o.webRole != QLatin1String("viewer") && o.webRole != QLatin1String("operator"))
            return fail(QStringLiteral("--web-passwd: the role is viewer or operator, not \"%1\"")
                            .arg(o.webRole));
        return result;
    }
    if (parser.isSet(remove))
        return fail(QStringLiteral("--remove goes with --web-passwd FILE USER"));
    // The panel reads its own file; --port only chooses the port selected
    // at start, which the demo chooses itself.
    if (!o.headless && parser.isSet(config))
        return fail(QStringLiteral("--config goes with --headless"));
    if (o.demo && parser.isSet(port))
        return fail(QStringLiteral("--demo opens its own simulated port, not --port"));
    // The panel records where its settings say.
    if (!o.headless && parser.isSet(history))
        return fail(QStringLiteral("--history goes with --headless"));
    if (o.headless && o.demo)
        return fail(QStringLiteral("--demo is for the panel, not --headless"));
    if (parser.isSet(port) && o.port.isEmpty())
        return fail(QStringLiteral("--port needs a port name"));
    if (parser.isSet(config) && o.config.isEmpty())
        return fail(QStringLiteral("--config needs a file name"));
    if (parser.isSet(history) && o.history.isEmpty())
        return fail(QStringLiteral("--history needs a file name"));
    if (check) {
        const std::pair<const QCommandLineOption &, const QString &> given[] = {
            {port, o.port},       {listen, o.listen}, {allow, o.allow}, {config, o.config},
            {history, o.history}, {mqtt, o.mqtt},     {web, o.web}};
        for (const auto &[option, value] : given) {
            const QString name = option.names().constFirst();
            if (!parser.isSet(option))
                continue;
            if (const QString error = check(name, value); !error.isEmpty())
                return fail(QStringLiteral("--") + name + QStringLiteral(": ") + error);
        }
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
