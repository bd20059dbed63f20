#include "app/Windows.h"

#include "app/AlarmWindow.h"
#include "app/Unit1.h"
#include "atu/atu1.h"
#include "remote/LinkTarget.h"
#include "remote/RemoteServer.h"
#include "serial/SerialPort.h"
#include "service/Unit2.h"
#include "service/Unit3.h"
#include "widgets/Accessible.h"
#include "widgets/Runtime.h"

#include <QDebug>

TWindowSet::TWindowSet(const Settings &settings)
    : settings_(settings), link(std::make_unique<AmpLink>()) {
    w.Link = link.get();
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
    owned[0].reset(w.Form1 = new TForm1(w, settings_));
    owned[1].reset(w.Form2 = new TForm2(*w.Link));
    owned[2].reset(w.Form3 = new TForm3());
    for (int i = 0; i < AlarmKinds; ++i) {
        const AlarmWindow::Spec &spec = AlarmWindow::Specs[i];
        owned[3 + i].reset(w.Alarms[int(spec.kind)] = new AlarmWindow(spec));
    }
    owned[10].reset(w.Fatu1 = new TFatu1(*w.Link));
    w.Form2->Fatu1 = w.Fatu1;

    QObject::connect(w.Form2, &TForm2::TrafficLogged, w.Form1, &TForm1::TrafficLogged);
    // Alarm reports show their windows; the all-clear hides those showing.
    QObject::connect(link.get(), &AmpLink::Effect, w.Form1, [this](const LinkEffect &e) {
        if (e.kind == LinkEffect::Kind::AlarmRaised) {
            AlarmWindow *window = w.Alarm(e.alarm);
            if (window->ShowAlarm(w.Form1, link->State().PaType))
                w.Form1->Announcer->Announce(QStringLiteral("Alarm: ") + window->AlarmText());
        } else if (e.kind == LinkEffect::Kind::AlarmsCleared) {
            for (AlarmKind kind : AlarmWindow::ClearOrder)
                w.Alarm(kind)->HideAlarm();
        }
    });
}

QString TWindowSet::StartServer(const remote::RemoteConfig &config) {
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
                             QStringLiteral("Network"), Runtime::MsgIcon::Warning, w.Form1);
    return error;
}

TWindowSet::~TWindowSet() {
    // No client may reach the link once the windows start to go.
    server.reset();
    // The windows are going away: no event of the port may reach them.
    link->Shutdown();
    owned[0].reset();
    w.Form1 = nullptr;
    for (int i = 10; i >= 1; --i)
        owned[i].reset();
    link.reset();
}
