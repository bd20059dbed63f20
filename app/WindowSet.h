// SPDX-License-Identifier: GPL-3.0-or-later
// The amplifier link and the program's windows over it: the main window,
// then, hidden, the port monitor, the calibration window, the seven alarm
// windows, the ATU panel and the History window, created in that order
// (Windows() lists them so)
// from the settings read once at start. The set wires the windows to the
// link and to each other; no window reaches another itself.
#pragma once

#include "config/Settings.h"
#include "link/AmpStatus.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class AlarmWindow;
struct LinkEffect;
class AmpLink;
class AtuPanel;
class CalibrationWindow;
class HistoryStore;
class HistoryWindow;
class MainWindow;
class PortMonitor;
class QWidget;
namespace mqtt {
class LinkCommands;
class Publisher;
struct Settings;
} // namespace mqtt
namespace remote {
class LinkTarget;
class RemoteServer;
struct RemoteConfig;
} // namespace remote

// Owns the link, the network server, the history recorder, the MQTT
// publisher and the windows; the recorder notes the end, the server and
// the publisher stop, the link's port closes, then the main window goes
// and the others in reverse order of creation, the link last.
class WindowSet {
public:
    explicit WindowSet(const Settings &settings = Settings::Load());
    ~WindowSet();
    WindowSet(const WindowSet &) = delete;
    WindowSet &operator=(const WindowSet &) = delete;

    AmpLink &Link() const { return *link; }
    MainWindow *Main() const { return main; }
    PortMonitor *Monitor() const { return monitor; }
    CalibrationWindow *Calibration() const { return calibration; }
    AlarmWindow *Alarm(AlarmKind kind) const { return alarms[int(kind)]; }
    AtuPanel *Atu() const { return atu; }
    HistoryWindow *History() const { return history; }
    // Every window, in the order of creation.
    QList<QWidget *> Windows() const;
    const Settings &settings() const { return settings_; }

    // Starts the network server on the link as configured (no Listen: no
    // server). When it cannot start, a message box says why and the panel
    // runs without it; the message is returned.
    QString StartServer(const remote::RemoteConfig &config);
    remote::RemoteServer *Server() const { return server.get(); }
    // Publishes the link's state on the MQTT broker the settings name (none:
    // nothing), the broker's state in the main window's title. When it
    // cannot start, a message box says why and the panel runs without it;
    // the message is returned.
    QString StartPublisher(const mqtt::Settings &settings);
    mqtt::Publisher *Publisher() const { return publisher.get(); }

    // Records the link into the history file (keeping days of it) and shows
    // that file in the History window. When the file cannot be recorded
    // into, a message box says why and the panel goes on; the message is
    // returned.
    QString StartHistory(const QString &file, int days);
    HistoryStore *HistoryRecorder() const { return recorder.get(); }

private:
    // Creates a window, the next in the list.
    template <typename Window, typename... Args> Window *Add(Args &&...args);
    void ShowEffect(const LinkEffect &effect);

    Settings settings_;
    std::unique_ptr<AmpLink> link;
    std::unique_ptr<remote::LinkTarget> target;
    std::unique_ptr<remote::RemoteServer> server;
    std::unique_ptr<HistoryStore> recorder;
    QString historyMessage; // the recorder's last message
    std::unique_ptr<mqtt::LinkCommands> commands;
    std::unique_ptr<mqtt::Publisher> publisher;
    std::vector<std::unique_ptr<QWidget>> windows;
    MainWindow *main = nullptr;
    PortMonitor *monitor = nullptr;
    CalibrationWindow *calibration = nullptr;
    AlarmWindow *alarms[AlarmKinds] = {}; // by the alarm they show
    AtuPanel *atu = nullptr;
    HistoryWindow *history = nullptr;
};
