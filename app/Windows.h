// The amplifier link and the program's eleven windows over it, created in a
// fixed order: the link, the main window, then, hidden, the port monitor,
// the calibration window, the seven alarm windows and the ATU panel. The
// windows reach the link, and each other, through this set.
#pragma once

#include "config/Settings.h"
#include "link/AmpState.h"

#include <QString>

#include <memory>

class AmpLink;
class TForm1;
class TForm2;
class TForm3;
class AlarmWindow;
class TFatu1;
class QWidget;
namespace remote {
class LinkTarget;
class RemoteServer;
struct RemoteConfig;
} // namespace remote

struct TWindows {
    AmpLink *Link = nullptr;
    TForm1 *Form1 = nullptr;
    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    AlarmWindow *Alarms[AlarmKinds] = {}; // by the alarm they show
    AlarmWindow *Alarm(AlarmKind kind) const { return Alarms[int(kind)]; }
    TFatu1 *Fatu1 = nullptr;
};

// Owns the link, the network server and the windows; the server stops
// first, the link's port closes, then the windows go in reverse order of
// creation, the link last.
class TWindowSet {
public:
    // Reads the settings once; the windows start from them.
    explicit TWindowSet(const Settings &settings = Settings::Load());
    ~TWindowSet();
    TWindowSet(const TWindowSet &) = delete;
    TWindowSet &operator=(const TWindowSet &) = delete;

    TWindows &windows() { return w; }
    TWindows *operator->() { return &w; }

    // Starts the network server on the link as configured (no Listen: no
    // server). When it cannot start, a message box says why and the panel
    // runs without it; the message is returned.
    QString StartServer(const remote::RemoteConfig &config);
    remote::RemoteServer *Server() const { return server.get(); }
    const Settings &settings() const { return settings_; }

private:
    Settings settings_;
    TWindows w;
    std::unique_ptr<AmpLink> link;
    std::unique_ptr<remote::LinkTarget> target;
    std::unique_ptr<remote::RemoteServer> server;
    std::unique_ptr<QWidget> owned[11];
};
