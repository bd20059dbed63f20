// SPDX-License-Identifier: GPL-3.0-or-later
// orvik-control --demo: the panel against the simulated amplifier, with no
// amplifier on the desk. The simulator (orvik-sim, beside this program or on
// the PATH) runs its lively demo script with a tuner on a pseudo-terminal
// linked into a folder of its own; a settings file there names that link.
// The user's own settings are neither read nor written while it runs.
#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TDemo {
public:
    TDemo() = default;
    ~TDemo();
    Q_DISABLE_COPY_MOVE(TDemo)

    // Starts the simulator and writes the settings file; returns an empty
    // string, or why the demo cannot run. `programDir` is where orvik-sim is
    // looked for first. A stop signal ends the event loop as for the panel
    // (Station::CatchStopSignals), so that the simulator stops and the folder
    // goes.
    QString Start(const QString &programDir);

    // The folder that holds the settings file: the panel's settings folder
    // (in place of the executable's) while the demo runs.
    QString Folder() const { return Dir ? Dir->path() : QString(); }
    // The simulator's device, as the settings file names it.
    QString Port() const { return Link; }
    // The pseudo-terminal behind it.
    QString Device() const { return DevicePath; }

private:
    std::unique_ptr<QTemporaryDir> Dir;
    QProcess Sim;
    QString Link;
    QString DevicePath;
};
