// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowSet.h"

#include "app/AlarmWindow.h"
#include "app/MainWindow.h"
#include "atu/AtuPanel.h"
#include "history/HistoryStore.h"
#include "history/StateSample.h"
#include "historywindow/HistoryWindow.h"
#include "monitor/PortMonitor.h"
#include "mqtt/LinkBridge.h"
#include "mqtt/Publisher.h"
#include "remote/LinkTarget.h"
#include "remote/RemoteServer.h"
#include "serial/SerialPort.h"
#include "service/CalibrationWindow.h"
#include "widgets/Runtime.h"

#include <QDebug>

template <typename Window, typename... Args> Window *WindowSet::Add(Args &&...args) {
    auto *window = new Window(std::forward<Args>(args)...);
    windows.emplace_back(window);
    return window;
}

WindowSet::WindowSet(const Settings &settings)
    : settings_(settings), link(std::make_unique<AmpLink>()) {
    // An exception that escapes the link's handlers (a send on a closed
    // port) is shown in the standard error box.
    link->SetGuard([](const std::function<void()> &handler) { Runtime::Guarded(handler); });
    // A send that failed because the port just went is part of that loss,
    // which the link reports: no error box of its own.
    Runtime::SetQuietExceptions([](const std::exception_ptr &error) {
        try {
            std::rethrow_exception(error);
        } catch (const ESerialPortLost &) {
            return true;
        } catch (...) {
        }
        return false;
    });
    // Created in this order; every window but the first starts hidden.
    main = Add<MainWindow>(*link, settings_);
    monitor = Add<PortMonitor>(*link);
    calibration = Add<CalibrationWindow>();
    for (const AlarmWindow::Design &design : AlarmWindow::Designs)
        alarms[int(design.kind)] = Add<AlarmWindow>(design);
    atu = Add<AtuPanel>(*link);
    history = Add<HistoryWindow>();

    QObject::connect(monitor, &PortMonitor::TrafficLogged, main, &MainWindow::FlipTrafficLamp);
    QObject::connect(main, &MainWindow::PortMonitorAsked, monitor, [this] {
        monitor->show();
        monitor->raise();
    });
    QObject::connect(main, &MainWindow::AtuPanelAsked, atu, [this] { atu->show(); });
    QObject::connect(main, &MainWindow::HistoryAsked, history, [this] {
        history->show();
        history->raise();
        history->activateWindow();
    });
    QObject::connect(link.get(), &AmpLink::Effect, main,
                     [this](const LinkEffect &e) { ShowEffect(e); });
}

QList<QWidget *> WindowSet::Windows() const {
    QList<QWidget *> all;
    for (const std::unique_ptr<QWidget> &window : windows)
        all << window.get();
    return all;
}

void WindowSet::ShowEffect(const LinkEffect &e) {
    // Alarm reports show their windows; the all-clear hides those showing.
    if (e.kind == LinkEffect::Kind::AlarmRaised) {
        AlarmWindow *window = Alarm(e.alarm);
        if (window->ShowAlarm(main, link->State().readings.paType))
            main->Announce(QStringLiteral("Alarm: ") + window->AlarmText());
    } else if (e.kind == LinkEffect::Kind::AlarmsCleared) {
        for (AlarmKind kind : AlarmWindow::ClearOrder)
            Alarm(kind)->HideAlarm();
    }
}

QString WindowSet::StartServer(const remote::RemoteConfig &config) {
    if (!server) {
        target = std::make_unique<remote::LinkTarget>(link.get());
        server = std::make_unique<remote::RemoteServer>(target.get());
        // Connections and refusals go to standard error; a client's changes
        // show in the port monitor as the link echoes them.
        QObject::connect(server.get(), &remote::RemoteServer::Logged,
                         [](const QString &event) { qInfo().noquote() << "network:" << event; });
    }
    const QString error = server->Start(config);
    if (!error.isEmpty())
        Runtime::ShowMessage(error +
                                 QStringLiteral("\n\nThe panel runs without the network server."),
                             QStringLiteral("Network"), Runtime::MsgIcon::Warning, main);
    return error;
}

QString WindowSet::StartHistory(const QString &file, int days) {
    if (!recorder) {
        recorder = std::make_unique<HistoryStore>();
        RecordLink(*link, *recorder);
        // Each fault has its one box, at the start or later (a full disk).
        QObject::connect(recorder.get(), &HistoryStore::Message, main, [this](const QString &text) {
            historyMessage = text;
            Runtime::ShowMessage(text, QStringLiteral("History"), Runtime::MsgIcon::Warning, main);
        });
    }
    historyMessage.clear();
    recorder->SetRetentionDays(days);
    recorder->Open(file);
    history->SetFile(file);
    return historyMessage;
}

QString WindowSet::StartPublisher(const mqtt::Settings &settings) {
    if (!publisher) {
        commands = std::make_unique<mqtt::LinkCommands>(link.get());
        publisher = std::make_unique<mqtt::Publisher>(commands.get());
        QObject::connect(publisher.get(), &mqtt::Publisher::Logged,
                         [](const QString &line) { qInfo().noquote() << line; });
        QObject::connect(publisher.get(), &mqtt::Publisher::StatusChanged, main,
                         [this] { main->SetBrokerStatus(publisher->StatusText()); });
    }
    const QString error = mqtt::PublishLink(link.get(), publisher.get(), settings);
    if (!error.isEmpty())
        Runtime::ShowMessage(QStringLiteral("MQTT: ") + error +
                                 QStringLiteral("\n\nThe panel runs without publishing."),
                             QStringLiteral("MQTT"), Runtime::MsgIcon::Warning, main);
    return error;
}

WindowSet::~WindowSet() {
    // The history notes the end of the connection it recorded.
    if (recorder)
        recorder->Close();
    // No client may reach the link once the windows start to go.
    server.reset();
    publisher.reset(); // the state as closed, then "offline"
    // The windows are going away: no event of the port may reach them.
    link->Shutdown();
    windows.front().reset();
    main = nullptr;
    while (!windows.empty())
        windows.pop_back();
    link.reset();
}
