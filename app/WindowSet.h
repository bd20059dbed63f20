// SPDX-License-Identifier: GPL-3.0-or-later
// The program's windows over the station (station/Station: the amplifier
// link, the network server, the MQTT publisher and the history recorder):
// the main window, then, hidden, the port monitor, the calibration window,
// the seven alarm windows and the ATU panel, created in that order
// (Windows() lists them so) from the settings read once at start; the
// History window only when first asked for, from its module (so its
// plotting library is not loaded before). The set wires the windows to the
// station and to each other, one way: a window asks with a signal and the
// set answers; no window reaches the set or another window.
#pragma once

#include "config/Settings.h"
#include "link/AmpStatus.h"
#include "station/Station.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class AlarmWindow;
struct LinkEvent;
class AmpLink;
class AtuPanel;
class CalibrationWindow;
class HistoryView;
class MainWindow;
class PortMonitor;
class QWidget;

// Owns the station and the windows. At the end the station stops in its
// one order (see Station::Stop: the server and the publisher, the
// recorder's last write, the port), then the main window goes and the
// others in reverse order of creation, the station's parts last.
class WindowSet {
public:
    explicit WindowSet(const Settings &settings = Settings::Load());
    ~WindowSet();
    WindowSet(const WindowSet &) = delete;
    WindowSet &operator=(const WindowSet &) = delete;

    Station &station() const { return *station_; }
    AmpLink &Link() const { return station_->Link(); }
    MainWindow *Main() const { return main; }
    PortMonitor *Monitor() const { return monitor; }
    CalibrationWindow *Calibration() const { return calibration; }
    AlarmWindow *Alarm(AlarmKind kind) const { return alarms[int(kind)]; }
    AtuPanel *Atu() const { return atu; }
    // The History window, created on the first call: showing the history
    // file and naming the amplifier from then on. Null, after an error box
    // saying why, when its module cannot be loaded.
    HistoryView *History();
    // The History window's module, orvik-history.so, is looked for beside
    // the program, then in the program's library folder; tests, built
    // elsewhere, name the folder they find it in.
    static void SetHistoryModuleDir(const QString &dir);
    // Every window created so far, in the order of creation.
    QList<QWidget *> Windows() const;
    const Settings &settings() const { return settings_; }

    // Starts what the plan asks of the station: the server, the
    // publisher, the history; each that cannot start has its box and the
    // panel runs without it.
    void Start(const Station::Plan &plan);

    // Starts the network server on the link as configured (no Listen: no
    // server). When it cannot start, a message box says why and the panel
    // runs without it; the message is returned.
    QString StartServer(const remote::RemoteConfig &config);
    remote::RemoteServer *Server() const { return station_->Server(); }
    // Publishes the link's state on the MQTT broker the settings name (none:
    // nothing), the broker's state in the main window's title. When it
    // cannot start, a message box says why and the panel runs without it;
    // the message is returned.
    QString StartPublisher(const mqtt::Settings &settings);
    mqtt::Publisher *Publisher() const { return station_->Publisher(); }

    // Records the link into the history file (keeping days of it) and shows
    // that file in the History window. When the file cannot be recorded
    // into, a message box says why and the panel goes on; the message is
    // returned.
    QString StartHistory(const QString &file, int days);
    HistoryStore *HistoryRecorder() const { return station_->History(); }

private:
    // Creates a window, the next in the list.
    template <typename Window, typename... Args> Window *Add(Args &&...args);
    // Shows the windows of the alarms that hold.
    void ShowAlarms();
    void AddFollowRadioItem();

    Settings settings_;
    std::unique_ptr<Station> station_;
    QString historyMessage; // the recorder's last message
    QString historyFile;    // what the History window shows once created
    std::vector<std::unique_ptr<QWidget>> windows;
    MainWindow *main = nullptr;
    PortMonitor *monitor = nullptr;
    CalibrationWindow *calibration = nullptr;
    AlarmWindow *alarms[AlarmKinds] = {}; // by the alarm they show
    AtuPanel *atu = nullptr;
    HistoryView *history = nullptr;
};
