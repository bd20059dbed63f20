// SPDX-License-Identifier: GPL-3.0-or-later
// orvik-sim: an Orvik 1200 amplifier (and its tuner) on a pseudo-terminal.
// Prints the device path as the first line of stdout, answers the panel's
// lines, runs scenarios from stdin or a script, and logs every line received.
#include "PtyPort.h"
#include "SimCore.h"
#include "SimScenario.h"
#include "SimText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTime>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void printError(const QString &text) {
    std::fprintf(stderr, "orvik-sim: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Points PATH at the device; an existing symbolic link is replaced, anything
// else at PATH is left alone.
bool makeLink(const QString &link, const QString &target, QString *error) {
    const QByteArray linkPath = QFile::encodeName(link);
    struct stat st {};
    if (::lstat(linkPath.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is no symbolic link").arg(link);
            return false;
        }
        ::unlink(linkPath.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), linkPath.constData()) != 0) {
        *error = QStringLiteral("cannot link %1: %2")
                     .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void removeLink(const QString &link, const QString &target) {
    if (!link.isEmpty() && QFile::symLinkTarget(link) == target)
        ::unlink(QFile::encodeName(link).constData());
}

class Simulator {
public:
    Simulator(AmpCore &core, std::FILE *logFile) : m_scheduler(core), m_log(logFile) {
        m_clock.start();
        m_tick.setSingleShot(true);
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { runDue(); });
        QObject::connect(&m_port, &PtyPort::received,
                         [this](const QByteArray &bytes) { onReceived(bytes); });
        QObject::connect(&m_port, &PtyPort::listenerChanged, [this](bool present) {
            if (!present && !m_framer.pending().isEmpty())
                log(LogKind::Note, "unterminated: " + m_framer.pending());
            m_framer.reset();
            log(LogKind::Note, present ? "device opened" : "device closed");
        });
    }

    QString link;
    PtyPort &port() { return m_port; }
    Scheduler &scheduler() { return m_scheduler; }
    qint64 now() const { return m_clock.elapsed(); }

    bool plugIn() {
        QString error;
        if (!m_port.open(&error)) {
            printError(error);
            return false;
        }
        // The link first: whoever reads the path may use the link at once.
        if (!link.isEmpty() && !makeLink(link, m_port.devicePath(), &error)) {
            printError(error);
            return false;
        }
        std::fprintf(stdout, "%s\n", m_port.devicePath().toLocal8Bit().constData());
        std::fflush(stdout);
        log(LogKind::Note, "device " + m_port.devicePath().toLocal8Bit());
        return true;
    }

    void shutDown() {
        removeLink(link, m_port.devicePath());
        m_port.unplug();
    }

    void command(const QByteArray &line) {
        QString error;
        if (!m_scheduler.submit(Scheduler::Input, line, now(), &error))
            printError(error);
        runDue();
    }

    void log(LogKind kind, const QByteArray &bytes) {
        const QByteArray entry = logEntry(QTime::currentTime(), kind, bytes) + '\n';
        std::fwrite(entry.constData(), 1, static_cast<size_t>(entry.size()), m_log);
        std::fflush(m_log);
    }

    void runDue() {
        const QList<Action> actions = m_scheduler.takeDue(now());
        for (const Action &action : actions) {
            switch (action.kind) {
            case Action::Write:
                send(action.bytes);
                break;
            case Action::Unplug:
                m_framer.reset();
                // A link left behind would name a terminal number that
                // another program may be given next.
                removeLink(link, m_port.devicePath());
                m_port.unplug();
                log(LogKind::Note, "unplugged");
                break;
            case Action::Replug:
                if (!m_port.isOpen())
                    plugIn();
                break;
            case Action::Quit:
                QCoreApplication::quit();
                break;
            case Action::Print:
                std::fprintf(stderr, "%s\n", action.bytes.constData());
                std::fflush(stderr);
                break;
            }
        }
        const qint64 next = m_scheduler.nextDue();
        if (next < 0)
            m_tick.stop();
        else
            m_tick.start(static_cast<int>(std::max<qint64>(0, next - now())));
    }

private:
    void send(const QByteArray &bytes) {
        if (m_port.write(bytes))
            log(LogKind::Sent, bytes);
    }

    void onReceived(const QByteArray &bytes) {
        for (const QByteArray &line : m_framer.feed(bytes)) {
            log(LogKind::Received, line);
            for (const QByteArray &reply : m_scheduler.received(line, now()))
                send(reply + "\r\n");
        }
        runDue();
    }

    Scheduler m_scheduler;
    PtyPort m_port;
    LineFramer m_framer;
    QElapsedTimer m_clock;
    QTimer m_tick;
    std::FILE *m_log;
};

// The command line's options, by name.
struct Options {
    const QCommandLineOption link{QStringLiteral("link"),
                                  QStringLiteral("Make a symbolic link PATH to the device."),
                                  QStringLiteral("PATH")};
    const QCommandLineOption pace{QStringLiteral("pace"),
                                  QStringLiteral("Send at the real 9600 baud rate.")};
    const QCommandLineOption silent{QStringLiteral("silent"),
                                    QStringLiteral("Start silent (as the command silent on).")};
    const QCommandLineOption answerAfter{QStringLiteral("answer-after"),
                                         QStringLiteral("Ignore the first N queries."),
                                         QStringLiteral("N")};
    const QCommandLineOption cal{QStringLiteral("cal"),
                                 QStringLiteral("Calibration value, 255 = not calibrated "
                                                "(default 200)."),
                                 QStringLiteral("N")};
    const QCommandLineOption firmware{QStringLiteral("firmware"),
                                      QStringLiteral("Firmware version text (default 3.30; "
                                                     "3.30x2 is a 2.4 kW amplifier)."),
                                      QStringLiteral("TEXT")};
    const QCommandLineOption atu{QStringLiteral("atu"), QStringLiteral("An ATU is fitted.")};
    const QCommandLineOption noConfirm{
        QStringLiteral("no-confirm"),
        QStringLiteral("Never confirm BL:ON/BL:OFF and ATU_STATE: n (the panel re-sends).")};
    const QCommandLineOption script{QStringLiteral("script"),
                                    QStringLiteral("Run the scenario commands of FILE."),
                                    QStringLiteral("FILE")};
    const QCommandLineOption demo{QStringLiteral("demo"),
                                  QStringLiteral("Run the built-in lively demo script.")};
    const QCommandLineOption log{QStringLiteral("log"),
                                 QStringLiteral("Log to FILE instead of stderr."),
                                 QStringLiteral("FILE")};

    void addTo(QCommandLineParser &parser) const {
        parser.setApplicationDescription(
            QStringLiteral(
                "Simulated Orvik 1200 amplifier and tuner on a pseudo-terminal.\n"
                "The first line of stdout is the device path. Scenario commands are\n"
                "read from stdin (and --script); every line received is logged as\n"
                "\"HH:MM:SS.mmm < TEXT\" (sent bytes \"> TEXT\", notes \"# TEXT\"),\n"
                "TEXT escaped: \\\\ \\r \\n \\t and \\xHH for other non-printables.\n\n") +
            commandHelp());
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions(
            {link, pace, silent, answerAfter, cal, firmware, atu, noConfirm, script, demo, log});
    }
};

// An option's number within [min, max]; false, with a message, for anything else.
bool numberOption(const QCommandLineParser &parser, const QCommandLineOption &opt, int min, int max,
                  int *value) {
    if (!parser.isSet(opt))
        return true;
    bool ok = false;
    const int v = parser.value(opt).toInt(&ok);
    if (!ok || v < min || v > max) {
        printError(QStringLiteral("--%1 wants a number from %2 to %3")
                       .arg(opt.names().constFirst())
                       .arg(min)
                       .arg(max));
        return false;
    }
    *value = v;
    return true;
}

// The amplifier as the options set it up; false for a bad option value.
bool setUpAmplifier(const QCommandLineParser &parser, const Options &o, AmpCore *core) {
    core->silent = parser.isSet(o.silent);
    core->confirmSwitches = !parser.isSet(o.noConfirm);
    core->state.atuFitted = parser.isSet(o.atu);
    if (!numberOption(parser, o.answerAfter, 0, 1000000, &core->ignoreQueries) ||
        !numberOption(parser, o.cal, 0, 255, &core->state.cal))
        return false;
    if (parser.isSet(o.firmware)) {
        if (parser.value(o.firmware).trimmed().isEmpty()) {
            printError(QStringLiteral("--firmware wants a text"));
            return false;
        }
        core->state.version = parser.value(o.firmware).toLatin1();
    }
    return true;
}

// The script of --demo or --script (empty for none); false when it cannot be had.
bool readScript(const QCommandLineParser &parser, const Options &o, QByteArray *script) {
    if (parser.isSet(o.script) && parser.isSet(o.demo)) {
        printError(QStringLiteral("--script and --demo exclude each other"));
        return false;
    }
    if (parser.isSet(o.demo))
        *script = demoScript();
    if (parser.isSet(o.script)) {
        QFile file(parser.value(o.script));
        if (!file.open(QIODevice::ReadOnly)) {
            printError(
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
            return false;
        }
        *script = file.readAll();
    }
    return true;
}

// Stderr, or the --log file; null when that cannot be written.
std::FILE *openLog(const QCommandLineParser &parser, const Options &o) {
    if (!parser.isSet(o.log))
        return stderr;
    std::FILE *log = std::fopen(QFile::encodeName(parser.value(o.log)).constData(), "w");
    if (!log)
        printError(QStringLiteral("cannot write %1: %2")
                       .arg(parser.value(o.log), QString::fromLocal8Bit(std::strerror(errno))));
    return log;
}

// SIGINT, SIGTERM and SIGHUP end the event loop (through a pipe, as a
// handler may do no more than write).
bool quitOnSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    if (::pipe(g_signalPipe) != 0) {
        printError(QStringLiteral("pipe failed"));
        return false;
    }
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    return true;
}

// Scenario commands typed or piped in, a line at a time; end of input leaves
// the simulator running.
void readCommands(Simulator &simulator) {
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    auto input = std::make_shared<QByteArray>();
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier, input, &simulator] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n == 0 || (errno != EINTR && errno != EAGAIN))
                notifier->setEnabled(false);
            return;
        }
        input->append(buffer, static_cast<int>(n));
        for (int nl = input->indexOf('\n'); nl >= 0; nl = input->indexOf('\n')) {
            const QByteArray line = input->left(nl);
            input->remove(0, nl + 1);
            simulator.command(line);
        }
    });
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvik-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVIK_VERSION));

    const Options options;
    QCommandLineParser parser;
    options.addTo(parser);
    parser.process(app);

    AmpCore core;
    QByteArray script;
    if (!setUpAmplifier(parser, options, &core) || !readScript(parser, options, &script))
        return 2;
    std::FILE *log = openLog(parser, options);
    if (!log)
        return 2;
    if (!quitOnSignals())
        return 1;

    Simulator simulator(core, log);
    simulator.link = parser.value(options.link);
    simulator.port().setPaced(parser.isSet(options.pace));
    if (!simulator.plugIn()) {
        simulator.shutDown();
        return 1;
    }
    if (!script.isEmpty()) {
        for (const QString &error : simulator.scheduler().loadScript(script, simulator.now()))
            printError(error);
    }
    readCommands(simulator);

    simulator.runDue();
    const int rc = app.exec();
    simulator.shutDown();
    if (log != stderr)
        std::fclose(log);
    return rc;
}
