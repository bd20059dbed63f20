// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the command line; then either the headless runner, or the
// application object, the windows over the station and the event loop.
#include "app/Demo.h"
#include "app/Headless.h"
#include "app/MainWindow.h"
#include "app/WebPasswd.h"
#include "app/WindowSet.h"
#include "config/CommandLine.h"
#include "config/Settings.h"
#include "station/Station.h"
#include "widgets/Runtime.h"

#include <QList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Without a display Qt ends the program with an abort and a screenful about
// platform plugins. While the application object starts, Qt's messages are
// held back: that failure becomes one line and status 2, anything else is
// passed on once the start succeeded.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
QtMessageHandler g_previousHandler = nullptr;
QList<HeldMessage> g_held;

void HoldMessage(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type != QtFatalMsg) {
        g_held.append({type, QByteArray(context.category), text});
        return;
    }
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty()
                                ? qEnvironmentVariable("DISPLAY")
                                : qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString why = display.isEmpty()
                            ? QStringLiteral("no display (DISPLAY is not set)")
                            : QStringLiteral("cannot open the display %1").arg(display);
    std::fprintf(stderr,
                 "orvik-control: %s; the panel needs one, orvik-control --headless runs the "
                 "link and the network server without a window\n",
                 why.toLocal8Bit().constData());
    std::fflush(stderr);
    std::_Exit(2);
}

std::unique_ptr<Runtime::TApplication> StartApplication(int &argc, char **argv) {
    g_previousHandler = qInstallMessageHandler(HoldMessage);
    auto app = std::make_unique<Runtime::TApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const HeldMessage &m : std::as_const(g_held)) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
        if (g_previousHandler)
            g_previousHandler(m.type, context, m.text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(m.type, context, m.text)));
    }
    g_held.clear();
    return app;
}

} // namespace

int main(int argc, char **argv) {
    CommandLine::Options options;
    int status = 0;
    // The parts check the options they take (--listen, --mqtt) before
    // anything starts.
    if (!CommandLine::Read(argc, argv, &Station::Plan::CheckOption, &options, &status))
        return status;
    if (!options.webPasswdFile.isEmpty())
        return WebPasswd::Run(options);
    if (options.headless)
        return Headless::Run(argc, argv, options);
    // A stop signal ends the panel as File, Exit does, from the start on:
    // the port closes properly, the demo's simulator and folder go.
    if (!Station::CatchStopSignals())
        std::fprintf(stderr, "orvik-control: cannot watch for stop signals\n");
    const std::unique_ptr<Runtime::TApplication> app = StartApplication(argc, argv);
    Runtime::SetUpApplication(*app);
    // Declared before the windows, so that it outlives them: the port is
    // closed before the simulator ends.
    TDemo demo;
    if (options.demo) {
        const QString error = demo.Start(QCoreApplication::applicationDirPath());
        if (!error.isEmpty()) {
            std::fprintf(stderr, "orvik-control: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        Settings::SetProgramFolder(demo.Folder());
        std::printf("Simulated amplifier on %s, linked as %s; it stops with the panel.\n",
                    demo.Device().toLocal8Bit().constData(), demo.Port().toLocal8Bit().constData());
        std::fflush(stdout);
    }
    // --port selects its port at start instead of Port= of the file.
    Settings settings = Settings::Load();
    if (!options.port.isEmpty())
        settings.configuration.port = options.port;
    WindowSet windows(settings);
    MainWindow *main = windows.Main();
    main->show();
    if (options.demo)
        QTimer::singleShot(0, main, [main] { main->OpenSelectedPort(); });
    Station::Plan plan = Station::Plan::Of(options, windows.settings());
    // The demo's amplifier is not yours: its history stays in its folder.
    if (options.demo)
        plan.historyFile = demo.Folder() + QStringLiteral("/history.sqlite");
    windows.Start(plan);
    // The station stops as the windows go (~WindowSet).
    return windows.station().StopRequested() ? 0 : app->exec();
}
