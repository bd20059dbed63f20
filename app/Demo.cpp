// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Demo.h"

#include "config/IniFile.h"
#include "config/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

TDemo::~TDemo() {
    if (Sim.state() == QProcess::NotRunning)
        return;
    // SIGTERM: the simulator removes its link and ends.
    Sim.terminate();
    if (!Sim.waitForFinished(2000))
        Sim.kill();
    Sim.waitForFinished(1000);
}

QString TDemo::Start(const QString &programDir) {
    QString simulator = QDir(programDir).filePath(QStringLiteral("orvik-sim"));
    if (!QFileInfo(simulator).isExecutable())
        simulator = QStandardPaths::findExecutable(QStringLiteral("orvik-sim"));
    if (simulator.isEmpty())
        return QStringLiteral("--demo needs orvik-sim, found neither in %1 nor on the PATH")
            .arg(programDir);
    Dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvik-demo-XXXXXX"));
    if (!Dir->isValid())
        return QStringLiteral("--demo cannot make a folder: %1").arg(Dir->errorString());

    Link = Dir->filePath(QStringLiteral("amplifier"));
    Sim.setProgram(simulator);
    Sim.setArguments({QStringLiteral("--demo"), QStringLiteral("--atu"), QStringLiteral("--link"),
                      Link, QStringLiteral("--log"), Dir->filePath(QStringLiteral("sim.log"))});
    // The simulator ends with the panel, however the panel ends.
    Sim.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    Sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Sim.start();
    if (!Sim.waitForStarted(5000))
        return QStringLiteral("cannot start %1: %2").arg(simulator, Sim.errorString());
    // Its first line is the device; the link exists by then.
    while (!Sim.canReadLine() && Sim.waitForReadyRead(5000)) {
    }
    DevicePath = QString::fromLocal8Bit(Sim.readLine()).trimmed();
    if (DevicePath.isEmpty() || !QFileInfo::exists(Link)) {
        // Its log goes with the folder: say what it wrote last.
        QFile log(Dir->filePath(QStringLiteral("sim.log")));
        const QByteArray text = log.open(QIODevice::ReadOnly) ? log.readAll().trimmed() : "";
        const QByteArray last = text.mid(text.lastIndexOf('\n') + 1);
        return QStringLiteral("%1 did not start%2")
            .arg(simulator,
                 last.isEmpty() ? QString() : QStringLiteral(": ") + QString::fromLocal8Bit(last));
    }

    QFile ini(Dir->filePath(Settings::FileName));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(IniFile::WriteStringToText(QByteArray(), QLatin1String(Settings::Port.section),
                                             QLatin1String(Settings::Port.name), Link)) < 0 ||
        !ini.flush())
        return QStringLiteral("cannot write %1: %2").arg(ini.fileName(), ini.errorString());
    // What the operator changes from the menus goes here too, not into
    // ~/.config.
    qputenv("XDG_CONFIG_HOME", Dir->filePath(QStringLiteral("config")).toLocal8Bit());
    return QString();
}
