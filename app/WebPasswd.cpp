// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WebPasswd.h"

#include "web/UsersFile.h"
#include "web/WebRules.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace WebPasswd {

namespace {

int Fail(const QString &why) {
    std::fprintf(stderr, "orvik-control: %s\n", why.toLocal8Bit().constData());
    return 2;
}

// One line of standard input without its line end; false at its end.
bool ReadLine(std::string *line) {
    line->clear();
    int c = 0;
    while ((c = std::getc(stdin)) != EOF && c != '\n')
        line->push_back(char(c));
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return c != EOF || !line->empty();
}

// Asks on the terminal with its echo off.
bool Ask(const char *prompt, std::string *answer) {
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios saved{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool ok = ReadLine(answer);
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    return ok;
}

} // namespace

int Run(const CommandLine::Options &options) {
    const QString &name = options.webUser;
    if (!web::ValidUserName(name))
        return Fail(QStringLiteral("--web-passwd: a user name is 1 to 32 letters, digits, '.', "
                                   "'_' or '-', not \"%1\"")
                        .arg(name));
    if (options.webRemove) {
        if (const QString error = web::RemoveUser(options.webPasswdFile, name); !error.isEmpty())
            return Fail(QStringLiteral("--web-passwd --remove: ") + error);
        std::printf("%s: %s removed\n", options.webPasswdFile.toLocal8Bit().constData(),
                    name.toLocal8Bit().constData());
        return 0;
    }
    web::Role role = web::Role::Viewer;
    web::ParseRole(options.webRole, &role);
    std::string password;
    if (::isatty(STDIN_FILENO)) {
        std::string again;
        if (!Ask("Password: ", &password) || !Ask("Password again: ", &again))
            return Fail(QStringLiteral("--web-passwd: no password given"));
        if (password != again)
            return Fail(QStringLiteral("--web-passwd: the two passwords differ; nothing written"));
    } else if (!ReadLine(&password)) {
        return Fail(QStringLiteral("--web-passwd: no password on standard input"));
    }
    if (password.empty())
        return Fail(QStringLiteral("--web-passwd: an empty password is not taken"));
    const web::WebUser user =
        web::MakeUser(name, role, QByteArray(password.data(), int(password.size())));
    if (const QString error = web::SetUser(options.webPasswdFile, user); !error.isEmpty())
        return Fail(QStringLiteral("--web-passwd: ") + error);
    std::printf("%s: %s (%s)\n", options.webPasswdFile.toLocal8Bit().constData(),
                name.toLocal8Bit().constData(), web::RoleName(role).toLocal8Bit().constData());
    return 0;
}

} // namespace WebPasswd
