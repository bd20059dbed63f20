// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of orvik-control, read before the application object
// exists, so that --help and --version need no display. Qt's own options
// (-platform, -style, ...) are left for the application object.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace CommandLine {

// What the options ask for. A new option adds its field here, its
// QCommandLineOption and its reading in CommandLine.cpp.
struct Options {
    bool headless = false; // --headless: no window, no display
    QString port;          // --port NAME: instead of [Configuration] Port=
    QString listen;        // --listen HOST:PORT: instead of [Network] Listen=
    QString allow;         // --allow ADDRESSES: instead of [Network] Allow=
    QString config;        // --config FILE (headless): instead of Orvik_control.ini
    bool demo = false;     // --demo: the panel on the simulated amplifier
    QString history;       // --history FILE (headless): instead of [History] File=
    QString mqtt;          // --mqtt URL: instead of [MQTT] Broker=
    QString web;           // --web HOST:PORT: instead of [Web] Listen=
    QString rig;           // --rig rigctld://HOST:PORT: instead of [Rig] Follow=
    // --web-passwd FILE USER [ROLE]: adds or changes a user of the page and exits.
    QString webPasswdFile;
    QString webUser;
    QString webRole;
    bool webRemove = false; // --remove: takes the user out instead
};

struct Result {
    // False: print `output` (to stdout) or `error` (to stderr) and exit with
    // `status`, without starting the program.
    bool run = true;
    int status = 0;
    QString output;
    QString error;
    Options options;
};

// The program's version, as --version prints it.
QString Version();

// The check of an option's value by the part that takes it (the address
// of --listen, the broker of --mqtt): why the program cannot start with it,
// or an empty string. Here the values are only text.
using Check = std::function<QString(const QString &option, const QString &value)>;

// Reads `arguments` (the first is the program's name); each option given
// with a value ("listen", "mqtt", ...) that passes these rules then goes
// through `check`.
Result Parse(const QStringList &arguments, const Check &check = {});

// Parse on argv; prints and returns false when the program is to exit with
// *status.
bool Read(int argc, char **argv, const Check &check, Options *options, int *status);

} // namespace CommandLine
