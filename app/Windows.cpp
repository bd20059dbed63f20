#include "app/Windows.h"

#include "app/Alarms.h"
#include "app/Unit1.h"
#include "atu/atu1.h"
#include "remote/LinkTarget.h"
#include "remote/RemoteServer.h"
#include "serial/SerialPort.h"
#include "service/Unit2.h"
#include "service/Unit3.h"
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
    owned[3].reset(w.FALARM_HP = new TFALARM_HP(w));
    owned[4].reset(w.FAlarm_ip = new TFAlarm_ip(w));
    owned[5].reset(w.FALARM_SWR = new TFALARM_SWR(w));
    owned[6].reset(w.Falarm_bpf = new TFalarm_bpf(w));
    owned[7].reset(w.Falarm_temp = new TFalarm_temp(w));
    owned[8].reset(w.FALARM_TOT = new TFALARM_TOT(w));
    owned[9].reset(w.FALARM_HPCONT = new TFALARM_HPCONT(w));
    owned[10].reset(w.Fatu1 = new TFatu1(*w.Link));
    w.Form2->Fatu1 = w.Fatu1;

    QObject::connect(w.Form2, &TForm2::TrafficLogged, w.Form1, &TForm1::TrafficLogged);
    // Alarm reports show their windows; the all-clear hides those showing.
    TAlarmForm *const alarms[AlarmKinds] = {w.FALARM_HP,    w.FAlarm_ip,   w.Falarm_bpf,
                                            w.FALARM_SWR,   w.Falarm_temp, w.FALARM_TOT,
                                            w.FALARM_HPCONT};
    TAlarmForm *const clearOrder[AlarmKinds] = {w.FALARM_HP,  w.FAlarm_ip,   w.Falarm_bpf,
                                                w.FALARM_SWR, w.Falarm_temp, w.FALARM_HPCONT,
                                                w.FALARM_TOT};
    QObject::connect(link.get(), &AmpLink::Effect, w.Form1,
                     [alarms, clearOrder](const LinkEffect &e) {
                         if (e.kind == LinkEffect::Kind::AlarmRaised) {
                             alarms[int(e.alarm)]->ShowAlarm();
                         } else if (e.kind == LinkEffect::Kind::AlarmsCleared) {
                             for (TAlarmForm *window : clearOrder)
                                 if (window->isVisible())
                                     window->HideAlarm();
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
