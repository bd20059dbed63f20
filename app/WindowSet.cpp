// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowSet.h"

#include "app/AlarmWindow.h"
#include "app/FollowRadioDialog.h"
#include "app/MainWindow.h"
#include "app/OperatorCommands.h"
#include "atu/AtuPanel.h"
#include "config/Settings.h"
#include "historywindow/HistoryView.h"
#include "link/AmpLink.h"
#include "link/Facts.h"
#include "link/StatusView.h"
#include "monitor/PortMonitor.h"
#include "serial/SerialPort.h"
#include "service/CalibrationWindow.h"
#include "widgets/Runtime.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibrary>
#include <QMenu>

template <typename Window, typename... Args> Window *WindowSet::Add(Args &&...args) {
    auto *window = new Window(std::forward<Args>(args)...);
    windows.emplace_back(window);
    return window;
}

WindowSet::WindowSet(const Settings &settings)
    : settings_(settings), station_(std::make_unique<Station>()) {
    AmpLink *link = &station_->Link();
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
    // The operator's commands hook the main window's controls; the window
    // owns them.
    new OperatorCommands(*main, *link);
    monitor = Add<PortMonitor>(*link);
    calibration = Add<CalibrationWindow>();
    for (const AlarmWindow::Design &design : AlarmWindow::Designs)
        alarms[int(design.kind)] = Add<AlarmWindow>(design);
    atu = Add<AtuPanel>(*link);

    QObject::connect(monitor, &PortMonitor::TrafficLogged, main, &MainWindow::FlipTrafficLamp);
    QObject::connect(main, &MainWindow::PortMonitorAsked, monitor, [this] {
        monitor->show();
        monitor->raise();
    });
    QObject::connect(main, &MainWindow::AtuPanelAsked, atu, [this] { atu->show(); });
    AddFollowRadioItem();
    QObject::connect(main, &MainWindow::HistoryAsked, main, [this] {
        HistoryView *view = History();
        if (!view)
            return;
        QWidget *window = view->Widget();
        window->show();
        window->raise();
        window->activateWindow();
    });
    // The alarm windows follow the amplifier's lines: an alarm line shows
    // the windows of the alarms that hold (one closed comes back with its
    // alarm), "ALARM: OFF" takes every one down, also one raised on an
    // earlier connection.
    QObject::connect(link, &AmpLink::ReportApplied, main, [this](ReportId row, const QString &) {
        if (row == ReportId::Alarm)
            ShowAlarms();
        else if (row == ReportId::AlarmOff)
            for (AlarmKind kind : AlarmWindow::ClearOrder)
                Alarm(kind)->HideAlarm();
    });
    // The server's and the publisher's lines go to standard error; a
    // client's changes show in the port monitor as the link echoes them.
    QObject::connect(station_.get(), &Station::Logged,
                     [](const QString &line) { qInfo().noquote() << line; });
    QObject::connect(station_.get(), &Station::BrokerStatusChanged, main,
                     &MainWindow::SetBrokerStatus);
    // Each fault of the history has its one box, at the start or later (a
    // full disk).
    QObject::connect(station_.get(), &Station::HistoryMessage, main, [this](const QString &text) {
        historyMessage = text;
        Runtime::ShowMessage(text, QStringLiteral("History"), Runtime::MsgIcon::Warning, main);
    });
}

namespace {

// The amplifier as the History window's exported picture names it.
QString AmplifierName(const AmpStatus &s) {
    const std::optional<PaType> type = ViewOf(s).paType.value;
    return QStringLiteral("Orvik 1200") +
           (type ? QLatin1Char(' ') + Facts::PaTypeName(*type) : QString()) +
           (s.PortName.isEmpty() ? QString() : QStringLiteral(" on ") + s.PortName);
}

} // namespace

namespace {

QString &HistoryModuleDir() {
    static QString dir;
    return dir;
}

// The module's maker, loaded once; the module stays loaded for the life of
// the program (its window's code and Qt's record of its classes are in it).
HistoryViewMaker LoadHistoryMaker(QString *error) {
    static HistoryViewMaker maker = nullptr;
    if (maker)
        return maker;
    const QString name = QStringLiteral("orvik-history.so");
    // Beside the executable for a run from the build; the installed program
    // looks only where the package puts its module.
    QStringList dirs{QStringLiteral(ORVIK_MODULE_DIR)};
    if (!Settings::ExecutableFolder().isEmpty())
        dirs.prepend(Settings::ExecutableFolder());
    if (!HistoryModuleDir().isEmpty())
        dirs.prepend(HistoryModuleDir());
    QStringList tried;
    for (const QString &dir : dirs) {
        const QString path = QDir(dir).filePath(name);
        if (!QFile::exists(path)) {
            tried << path;
            continue;
        }
        QLibrary module(path);
        maker = reinterpret_cast<HistoryViewMaker>(module.resolve(HistoryViewMakerName));
        if (maker)
            return maker;
        *error = module.errorString();
        return nullptr;
    }
    *error = QStringLiteral("%1 is not installed (looked for %2)")
                 .arg(name, tried.join(QStringLiteral(", ")));
    return nullptr;
}

} // namespace

void WindowSet::SetHistoryModuleDir(const QString &dir) {
    HistoryModuleDir() = dir;
}

HistoryView *WindowSet::History() {
    if (history)
        return history;
    QString error;
    const HistoryViewMaker maker = LoadHistoryMaker(&error);
    if (!maker) {
        Runtime::ShowMessage(QStringLiteral("The History window cannot be shown: %1").arg(error),
                             QStringLiteral("History"), Runtime::MsgIcon::Error, main);
        return nullptr;
    }
    history = maker();
    windows.emplace_back(history->Widget());
    history->SetFile(historyFile);
    AmpLink *link = &Link();
    history->SetAmplifier(AmplifierName(link->State()));
    // Only the name's parts matter; a report of readings leaves it alone.
    QObject::connect(
        link, &AmpLink::StateChanged, history->Widget(),
        [this](const AmpStatus &s, unsigned changed) {
            if (changed & (StateChange::Connection | StateChange::Firmware | StateChange::PaType))
                history->SetAmplifier(AmplifierName(s));
        });
    return history;
}

QList<QWidget *> WindowSet::Windows() const {
    QList<QWidget *> all;
    for (const std::unique_ptr<QWidget> &window : windows)
        all << window.get();
    return all;
}

void WindowSet::ShowAlarms() {
    const Readings &r = Link().State().readings;
    for (int k = 0; k < AlarmKinds; ++k) {
        if (!r.Alarm(AlarmKind(k)))
            continue;
        AlarmWindow *window = Alarm(AlarmKind(k));
        if (window->ShowAlarm(main, r.paType.value_or(PaType::Kw12)))
            main->Announce(QStringLiteral("Alarm: ") + window->AlarmText());
    }
}

// File, "Follow the radio…", after "Network port…".
void WindowSet::AddFollowRadioItem() {
    const auto *fileItem = main->findChild<QAction *>(QStringLiteral("File1"));
    QMenu *file = fileItem ? fileItem->menu() : nullptr;
    if (!file)
        return;
    const QList<QAction *> items = file->actions();
    QAction *before = nullptr;
    for (qsizetype i = 0; i + 1 < items.size(); ++i)
        if (items.at(i)->objectName() == QLatin1String("NetworkPort1"))
            before = items.at(i + 1);
    auto *item = new QAction(QStringLiteral("Follow the radio\u2026"), file);
    item->setObjectName(QStringLiteral("FollowRadio1"));
    file->insertAction(before, item);
    QObject::connect(item, &QAction::triggered, main, [this] {
        FollowRadioDialog dialog(*station_, settings_, main);
        dialog.exec();
    });
}

void WindowSet::Start(const Station::Plan &plan) {
    StartServer(plan.network);
    StartPublisher(plan.mqtt);
    StartHistory(plan.historyFile, plan.historyDays);
    if (const QString error = station_->StartWeb(plan.web); !error.isEmpty())
        Runtime::ShowMessage(error + QStringLiteral("\n\nThe panel runs without the station page."),
                             QStringLiteral("Web"), Runtime::MsgIcon::Warning, main);
    // A switch of following from MQTT or the page is kept as the dialog keeps it.
    station_->RememberIn(settings_, QString());
    if (const QString error = station_->StartRig(plan.rig, plan.rigFollowing); !error.isEmpty())
        Runtime::ShowMessage(error +
                                 QStringLiteral("\n\nThe panel runs without following the radio."),
                             QStringLiteral("Follow the radio"), Runtime::MsgIcon::Warning, main);
}

QString WindowSet::StartServer(const remote::RemoteConfig &config) {
    const QString error = station_->StartServer(config);
    if (!error.isEmpty())
        Runtime::ShowMessage(error +
                                 QStringLiteral("\n\nThe panel runs without the network server."),
                             QStringLiteral("Network"), Runtime::MsgIcon::Warning, main);
    return error;
}

QString WindowSet::StartHistory(const QString &file, int days) {
    historyMessage.clear();
    station_->StartHistory(file, days);
    historyFile = file;
    if (history)
        history->SetFile(file);
    return historyMessage;
}

QString WindowSet::StartPublisher(const mqtt::Settings &settings) {
    const QString error = station_->StartPublisher(settings);
    if (!error.isEmpty())
        Runtime::ShowMessage(QStringLiteral("MQTT: ") + error +
                                 QStringLiteral("\n\nThe panel runs without publishing."),
                             QStringLiteral("MQTT"), Runtime::MsgIcon::Warning, main);
    return error;
}

WindowSet::~WindowSet() {
    // Nothing may reach the windows once they start to go: the station
    // stops first, in its one order, the port closed without an event.
    station_->Stop();
    windows.front().reset();
    main = nullptr;
    while (!windows.empty())
        windows.pop_back();
    station_.reset();
}
