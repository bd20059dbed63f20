// SPDX-License-Identifier: GPL-3.0-or-later
// Renders every window of the panel in its interesting states to PNG files:
// the main window closed, connected, transmitting, hot, on another
// interface, with the PTT blocked, with an amplifier that does not answer;
// the ATU panel bypassed, tuning, tuned,
// failed and in service view; the port monitor live and frozen; the
// calibration window; each alarm window; the History window on an evening
// of history; the messages of a port refused for each cause and of an
// empty port list. The panel talks to the simulated
// amplifier (with a tuner) through the real serial code; further reports are
// handed to the receive event directly, as the serial reader does.
//
//   orvik-screenshots [FOLDER]       every picture (default: screenshots)
//   orvik-screenshots --docs DOCS    the pictures of the documentation, into DOCS
//   orvik-screenshots --check DOCS   fails when DOCS's pictures differ from what
//                                    the windows draw now (pixel data, not PNG bytes)
#include "SimProcess.h"
#include "history/HistoryStore.h"
#include "historywindow/HistoryWindow.h"
#include "link/Facts.h"
#include "tests/common/HistoryFiles.h"
#include "tests/common/PanelFixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <grp.h>
#include <iterator>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The pictures the documentation shows, by the shot they are.
const std::pair<const char *, const char *> DocsPictures[] = {
    {"main-03-transmitting", "main-window"},
    {"atu-05-service-view", "atu-panel"},
    {"history-01-evening", "history-window"},
};

enum class Mode { All, Docs, Check };
Mode g_mode = Mode::All;
QDir g_out;
int g_written = 0;
int g_differing = 0;

// Writes a picture, or compares it with the one in the folder.
void Keep(const QImage &picture, const QString &name) {
    const QString path = g_out.filePath(name + QStringLiteral(".png"));
    if (g_mode == Mode::Check) {
        const QImage kept = QImage(path).convertToFormat(QImage::Format_ARGB32);
        const QImage now = picture.convertToFormat(QImage::Format_ARGB32);
        ++g_written;
        if (kept == now)
            return;
        ++g_differing;
        int pixels = 0;
        for (int y = 0; y < qMin(kept.height(), now.height()); ++y)
            for (int x = 0; x < qMin(kept.width(), now.width()); ++x)
                pixels += kept.pixel(x, y) != now.pixel(x, y);
        const QString drawn = QDir::temp().filePath(name + QStringLiteral("-now.png"));
        now.save(drawn);
        std::fprintf(stderr,
                     "%s differs from what the panel draws now (%dx%d against %dx%d, %d pixels "
                     "differ; drawn now: %s); scripts/screenshots --docs renews it\n",
                     qPrintable(path), kept.width(), kept.height(), now.width(), now.height(),
                     pixels, qPrintable(drawn));
        return;
    }
    if (picture.save(path)) {
        ++g_written;
        std::printf("%s\n", qPrintable(path));
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
}

void Shot(QWidget *w, const char *name) {
    QCoreApplication::processEvents();
    const QImage picture = w->grab().toImage();
    if (g_mode == Mode::All) {
        Keep(picture, QLatin1String(name));
        return;
    }
    for (const auto &[shot, docsName] : DocsPictures)
        if (qstrcmp(shot, name) == 0)
            Keep(picture, QLatin1String(docsName));
}

// An evening of history, the same every time: idle on 40 m, speech on 40 m
// with the temperature climbing and one SWR alarm, on 20 m, the port lost
// for two minutes, 20 m again, idle.
void WriteEvening(const QString &file, qint64 start) {
    qint64 now = start * 1000;
    HistoryStore store;
    store.SetClock([&now] { return now; });
    store.Open(file);
    store.FlushTimer()->stop();
    quint32 seed = 12345;
    auto noise = [&seed] {
        return double((seed = seed * 1103515245u + 12345u) >> 16 & 0x7fff) / 32768.0;
    };
    double temperature = 36;
    // The link tells its events; here they are told where the evening turns.
    namespace K = HistoryEventKind;
    bool transmitting = false, current = false;
    unsigned raised = 0;
    int onBand = 0;
    HistoryTransmission record; // the transmission under way
    double energy = 0;          // its W·ms so far
    auto note = [&store](const QString &kind, int band, const QString &detail = QString()) {
        store.Note({kind, detail, band, std::nullopt});
    };
    auto run = [&](int seconds, int band, bool speech, double watts, double swr,
                   unsigned alarms = 0) {
        if (!current)
            note(onBand ? K::Back : K::Opened, onBand);
        current = true;
        if (onBand && band != onBand)
            note(K::Band, band, QString::number(onBand));
        onBand = band;
        if (speech != transmitting)
            note(speech ? K::TransmitOn : K::TransmitOff, band);
        if (speech && !transmitting) {
            record = HistoryTransmission();
            record.startMs = now;
            record.band = band;
        } else if (!speech && transmitting) {
            record.endMs = now;
            record.averageW = energy / std::max<double>(1, double(record.endMs - record.startMs));
            store.NoteTransmission(record);
            energy = 0;
        }
        transmitting = speech;
        if (alarms != raised)
            note(alarms ? K::AlarmStart : K::AlarmEnd, band,
                 QString(Facts::AlarmFact(AlarmKind::Swr).text));
        raised = alarms;
        for (qint64 end = now + seconds * 1000LL; now < end; now += 100) {
            HistorySample s;
            s.link = HistoryLink::Current;
            s.band = band;
            // Speech: bursts of power a few seconds long with pauses.
            const bool on = speech && std::fmod(double(now) / 1000, 12) < 9 && noise() > 0.15;
            s.transmitting = speech;
            s.output = on ? watts * (0.55 + 0.45 * noise()) : 0;
            s.reflected = *s.output * (swr - 1) * (swr - 1) / ((swr + 1) * (swr + 1));
            if (on)
                s.swr = swr + 0.05 * noise();
            if (speech) {
                energy += *s.output * 100;
                record.peakW = std::max(record.peakW, *s.output);
                if (s.swr)
                    record.worstSwr = std::max(record.worstSwr.value_or(0), *s.swr);
                record.alarms |= alarms;
            }
            temperature += speech ? 0.0012 : -0.0008;
            temperature = std::max(temperature, 36.0);
            s.temperature = std::round(temperature);
            s.alarms = alarms;
            store.Record(s);
            if (now % 1000 == 0)
                store.Flush();
        }
    };
    auto link = [&](HistoryLink state, int seconds) {
        note(K::Lost, onBand);
        current = transmitting = false;
        HistorySample s;
        s.link = state;
        s.band = 5;
        store.Record(s);
        now += seconds * 1000LL;
        store.Flush();
    };
    run(300, 3, false, 0, 1);
    run(900, 3, true, 900, 1.3);
    run(20, 3, true, 950, 2.6, 1u << 3);
    run(400, 3, true, 600, 1.3);
    run(200, 5, false, 0, 1);
    run(700, 5, true, 1000, 1.5);
    link(HistoryLink::Waiting, 120);
    run(500, 5, true, 800, 1.5);
    run(380, 5, false, 0, 1);
    store.Close();
}

// Open Port's message box for the port now selected, grabbed as it shows.
QImage OpenPortMessage(MainWindow *form) {
    QImage picture;
    QTimer::singleShot(300, [&picture] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            picture = box->grab().toImage();
            box->close();
        }
    });
    form->OpenSelectedPort();
    return picture;
}

// The three causes of a refused port, as nobody sees them: three simulated
// devices made root's with group access, root's without, and nobody's own
// with only group access. Root sets them up; the panel then runs as nobody
// (the saved user stays root, to take the pictures back).
void PermissionMessages(MainWindow *form) {
    const passwd *nobody = ::getpwnam("nobody");
    const group *nogroup = ::getgrnam("nogroup");
    if (::geteuid() != 0 || !nobody || !nogroup) {
        std::fprintf(stderr, "the permission messages need root and the user nobody\n");
        return;
    }
    struct Refused {
        const char *name;
        uid_t owner;
        mode_t mode;
        SimProcess sim;
    } refused[] = {{"message-denied-not-in-group", 0, 0660, {}},
                   {"message-denied-no-group-access", 0, 0600, {}},
                   {"message-denied-other", nobody->pw_uid, 0060, {}}};
    for (Refused &r : refused) {
        const QByteArray device = QFile::encodeName(r.sim.start() ? r.sim.devicePath() : QString());
        // The first in dialout, as a serial device is on Debian.
        const group *dialout = ::getgrnam("dialout");
        const gid_t gid = &r == refused && dialout ? dialout->gr_gid : 0;
        if (device.isEmpty() || ::chown(device.constData(), r.owner, gid) != 0 ||
            ::chmod(device.constData(), r.mode) != 0)
            return;
    }
    QList<std::pair<QImage, const char *>> pictures;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(nogroup->gr_gid, nogroup->gr_gid, 0) != 0 ||
        ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) != 0)
        return;
    for (Refused &r : refused) {
        form->FillPortList({r.sim.devicePath()}, 0);
        pictures.append({OpenPortMessage(form), r.name});
    }
    if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0)
        std::abort(); // the simulators would outlive us
    for (const auto &[picture, name] : pictures)
        Keep(picture, QLatin1String(name));
}

// A week as generated: each evening two hours on the air on two bands
// between long idle spells, a night with the program killed (nothing
// recorded for hours), a row a second.
// Returns the file it leaves: a copy made where the program was killed.
QString WriteWeek(QString file, qint64 end) {
    qint64 now = (end - 7 * 86400) * 1000;
    auto store = std::make_unique<HistoryStore>();
    std::unique_ptr<HistoryStore> killed;
    store->SetClock([&now] { return now; });
    store->Open(file);
    store->FlushTimer()->stop();
    namespace K = HistoryEventKind;
    double temperature = 35;
    quint32 seed = 777;
    auto noise = [&seed] {
        return double((seed = seed * 1103515245u + 12345u) >> 16 & 0x7fff) / 32768.0;
    };
    store->Note({K::Opened, QString(), 0, std::nullopt});
    for (int day = 0; day < 7; ++day) {
        const qint64 dayStart = (end - (7 - day) * 86400) * 1000;
        if (day == 3) {
            // Killed in the small hours; started again at noon.
            for (; now < dayStart + 3 * 3600000LL; now += 1000) {
                store->Record(Rx(std::round(temperature), 3));
                store->Flush();
            }
            // No last word: the file as the last commit left it, taken on by
            // the next run (the killed one writes on into the old file).
            for (const QString &suffix : {QString(), QStringLiteral("-wal")})
                QFile::copy(file + suffix, file + QStringLiteral(".after-kill") + suffix);
            file += QStringLiteral(".after-kill");
            killed = std::move(store);
            now = dayStart + 12 * 3600000LL;
            store = std::make_unique<HistoryStore>();
            store->SetClock([&now] { return now; });
            store->Open(file);
            store->FlushTimer()->stop();
            store->Note({K::Opened, QString(), 0, std::nullopt});
        }
        for (; now < dayStart + 86400000LL; now += 1000) {
            const double hour = double(now - dayStart) / 3600000;
            const bool onAir = hour >= 19 && hour < 21 && std::fmod(hour * 60, 10) < 7;
            const int band = hour < 20 ? 3 : 5;
            HistorySample s = onAir ? Tx(600 + 400 * noise(), 15 + 10 * noise(), band)
                                    : Rx(std::round(temperature), band);
            temperature += onAir ? 0.004 : -0.002;
            temperature = std::clamp(temperature, 33.0, 58.0);
            s.temperature = std::round(temperature);
            store->Record(s);
            store->Flush();
        }
    }
    store->Close();
    return file;
}

} // namespace

int main(int argc, char **argv) {
    // The history's times in the pictures are the same everywhere.
    qputenv("TZ", "UTC");
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    Runtime::TApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString folder = args.size() > 1 ? args.at(1) : QStringLiteral("screenshots");
    if (args.size() > 2 &&
        (args.at(1) == QLatin1String("--docs") || args.at(1) == QLatin1String("--check"))) {
        g_mode = args.at(1) == QLatin1String("--docs") ? Mode::Docs : Mode::Check;
        folder = args.at(2);
    }
    g_out.setPath(folder);
    if (!g_out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(g_out.path()));
        return 1;
    }
    QList<Runtime::MessageBoxCall> boxes;
    Runtime::SetMessageHandler([&](const Runtime::MessageBoxCall &c) { boxes.append(c); });

    // The simulated amplifier, named in the configuration file.
    if (qEnvironmentVariableIsEmpty("ORVIK_SIM"))
        qputenv("ORVIK_SIM",
                QDir(app.applicationDirPath()).filePath(QStringLiteral("orvik-sim")).toLocal8Bit());
    // The port list shows the start of the link's path: the same folder on
    // every machine, as the demo makes it.
    QTemporaryDir dir(QStringLiteral("/tmp/orvik-demo-XXXXXX"));
    const QString link = dir.filePath(QStringLiteral("amplifier"));
    SimProcess sim;
    if (!sim.start({QStringLiteral("--atu"), QStringLiteral("--link"), link})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    Settings::SetProgramFolder(dir.path());
    QFile ini(dir.filePath(QStringLiteral("Orvik_control.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[Configuration]\r\nPort=" + link.toLocal8Bit() + "\r\n");
    ini.close();

    WindowSet set;
    MainWindow *form = set.Main();
    // The pictures are taken at chosen moments: no timer changes them.
    form->Link.HandshakeTimer()->setInterval(24 * 3600 * 1000);
    form->Link.PollTimer()->setInterval(24 * 3600 * 1000);
    form->show();
    QTest::qWait(100);
    Shot(form, "main-01-closed");
    // File, "Network port...": the dialog as it opens, then cancelled.
    QTimer::singleShot(300, [] {
        if (QWidget *dialog = QApplication::activeModalWidget()) {
            Shot(dialog, "network-port-dialog");
            dialog->close();
        }
    });
    Action(form, "NetworkPort1")->trigger();

    form->OpenSelectedPort();
    if (!QTest::qWaitFor(
            [&] { return set.Monitor()->Lines().contains(QStringLiteral("+ ATU_INSTALLED: 1")); },
            5000)) {
        std::fprintf(stderr, "the simulated amplifier did not answer\n");
        return 1;
    }
    QTest::qWait(200);
    auto receive = [&](const QByteArray &text) {
        form->Link.Port()->OnReceive(form->Link.Port(), text);
        QTest::qWait(50);
    };
    Shot(form, "main-02-connected");

    receive("TX: ON\r\nO: 850\r\nR: 12\r\nP_max: 1020\r\nT: 52\r\n");
    Shot(form, "main-03-transmitting");
    receive("O: 1500\r\nR: 95\r\nP_max: 1500\r\nT: 78\r\n");
    Shot(form, "main-04-overpower-hot");
    receive("TX: OFF\r\nT: 41\r\nI: 3\r\nB: 5\r\n");
    Shot(form, "main-05-icom-band5");
    receive("I: 5\r\nB: 2\r\nBL:ON\r\n");
    Shot(form, "main-06-ptt-blocked");
    receive("Ver: 3.30x2\r\nBL:OFF\r\nTX: ON\r\nO: 1900\r\nR: 40\r\nP_max: 2100\r\nT: 63\r\n");
    Shot(form, "main-07-2.4kW-transmitting");
    receive("TX: OFF\r\nVer: 3.30\r\nT: 100\r\n");
    Shot(form, "main-07b-temperature-100");
    receive("T: 36\r\n");

    AtuPanel *atu = set.Atu();
    atu->show();
    Shot(atu, "atu-01-bypass");
    receive("ATU_STATE: 1\r\nATU_INF: 3\r\nYELLOW\r\nSWR: 23\r\nK: 0\r\n");
    Shot(atu, "atu-02-tuning");
    receive("ATU_INF: 4\r\nGREEN\r\nEND_L: 00101101\r\nEND_C: 00011010\r\nEND_SWR: 12\r\n"
            "END_K: 1\r\nTUNE OFF\r\n");
    Shot(atu, "atu-03-tuned-message");
    receive("ATU_INF: 0\r\n");
    Shot(atu, "atu-04-tuned");
    // The service keyword typed in the port monitor reveals the forward reading.
    form->Link.RevealServiceReadings();
    receive("ATU_FWD: 0734 W\r\nSWR: 11\r\n");
    Shot(atu, "atu-05-service-view");
    receive("ATU_INF: 5\r\nRED\r\nEND_SWR: 255\r\n");
    Shot(atu, "atu-06-failed");
    receive("ATU_STATE: 0\r\nATU_INF: 0\r\nGREY\r\n");

    PortMonitor *monitor = set.Monitor();
    auto *autoscroll = Child<QCheckBox>(monitor, QStringLiteral("CheckBox1"));
    monitor->show();
    Shot(monitor, "monitor-01-live");
    autoscroll->setChecked(false);
    receive("O: 10\r\nO: 20\r\n");
    Shot(monitor, "monitor-02-frozen");
    autoscroll->setChecked(true);
    monitor->hide();

    set.Calibration()->show();
    Shot(set.Calibration(), "calibration");
    set.Calibration()->hide();

    const std::pair<const char *, AlarmWindow *> alarms[] = {
        {"HPOUT", set.Alarm(AlarmKind::HpOut)},  {"HPIN", set.Alarm(AlarmKind::HpIn)},
        {"BPF", set.Alarm(AlarmKind::Bpf)},      {"SWR", set.Alarm(AlarmKind::Swr)},
        {"TEMP", set.Alarm(AlarmKind::Temp)},    {"TOT", set.Alarm(AlarmKind::Tot)},
        {"HPCONT", set.Alarm(AlarmKind::HpCont)}};
    for (const auto &[name, window] : alarms) {
        receive("ALARM: " + QByteArray(name) + "\r\n");
        Shot(window, qPrintable(QStringLiteral("alarm-") + QString(QLatin1String(name)).toLower()));
        receive("ALARM: OFF\r\n");
    }
    Shot(form, "main-08-after-alarms");

    // The History window on an evening that ends at 21:00.
    const qint64 evening = 1700000000 - 1700000000 % 86400 + 21 * 3600;
    const QString historyFile = dir.filePath(QStringLiteral("history.sqlite"));
    WriteEvening(historyFile, evening - 3600);
    // The window on its own, on a clock of its own.
    HistoryWindow historyWindow;
    HistoryWindow *history = &historyWindow;
    history->SetAmplifier(QStringLiteral("Orvik 1200 2.4 kW on /dev/ttyUSB0"));
    history->SetClock([evening] { return evening * 1000; });
    history->resize(1000, 860);
    history->show();
    history->LiveTimer()->stop();
    history->SetFile(historyFile);
    history->ShowSpan(3600);
    Shot(history, "history-01-evening");
    if (auto *lists = history->findChild<QTabWidget *>(QStringLiteral("historyLists"))) {
        lists->setCurrentIndex(1);
        Shot(history, "history-02-evening-transmissions");
        lists->setCurrentIndex(0);
    }
    if (g_mode == Mode::All) {
        const QString weekFile =
            WriteWeek(dir.filePath(QStringLiteral("week.sqlite")), evening + 3 * 3600);
        history->SetFile(weekFile);
        history->SetClock([evening] { return (evening + 3 * 3600) * 1000; });
        history->ShowSpan(7 * 86400);
        Shot(history, "history-03-week");
        history->ShowSpan(86400);
        Shot(history, "history-04-week-last-day");
        history->ExportPng(g_out.filePath(QStringLiteral("history-05-week-export.png")));
        history->SetFile(historyFile);
    }
    history->hide();

    // The amplifier stops answering mid-transmission, on a clock driven here:
    // a probe after 3 s, no answer at 6 s; then it speaks again.
    receive("TX: ON\r\nO: 784\r\nR: 15\r\nP_max: 850\r\nT: 47\r\nATU_STATE: 1\r\n"
            "GREEN\r\nEND_L: 00101101\r\nEND_C: 00011010\r\nEND_SWR: 12\r\n");
    sim.say("silent on");
    qint64 now = 0;
    form->Link.SetClock([&now] { return now; });
    for (const qint64 at : {3000, 6000}) {
        now = at;
        form->Link.LivenessTick();
        QTest::qWait(300);
    }
    if (form->Link.State().NoAnswer) {
        Shot(form, "main-10-no-answer");
        Shot(atu, "atu-07-no-answer");
        set.Monitor()->show();
        Shot(set.Monitor(), "monitor-04-no-answer");
        set.Monitor()->hide();
    }
    sim.say("silent off");
    form->Link.SetClock(nullptr);
    receive("TX: OFF\r\nATU_STATE: 0\r\n");

    // The device unplugged with "Reconnect automatically" on: the panel waits for it.
    Action(form, "AutoReconnect1")->setChecked(true);
    form->Link.SetAutoReconnect(true);
    sim.say("unplug");
    if (QTest::qWaitFor([&] { return form->Link.State().IsWaiting(); }, 5000)) {
        Shot(form, "main-09-waiting-for-port");
        set.Monitor()->show();
        Shot(set.Monitor(), "monitor-03-port-lost");
        set.Monitor()->hide();
    }

    form->Link.Close();
    QTest::qWait(300);
    Runtime::SetMessageHandler(nullptr);
    if (g_mode == Mode::All) {
        // No port at all: the list says so, and Open Port how one comes.
        form->FillPortList({}, -1);
        Shot(form, "main-11-no-port");
        Keep(OpenPortMessage(form), QStringLiteral("message-no-port"));
        PermissionMessages(form);
    }
    if (g_mode == Mode::Check) {
        std::printf("%d of %d pictures in %s as the panel draws them now\n",
                    g_written - g_differing, int(std::size(DocsPictures)),
                    qPrintable(QDir(g_out).absolutePath()));
        return g_written == int(std::size(DocsPictures)) && g_differing == 0 && boxes.size() <= 1
                   ? 0
                   : 1;
    }
    std::printf("%d pictures in %s\n", g_written, qPrintable(QDir(g_out).absolutePath()));
    return g_written > 0 && boxes.size() <= 1 ? 0 : 1;
}
