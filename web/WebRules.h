// SPDX-License-Identifier: GPL-3.0-or-later
// Pure rules of the station page's server: how a request is read within
// its limits, cookies and the Origin, the listen address, the users file's
// lines and the slowing of failed log-ins. No socket here, so that a test
// calls each rule with the bytes a browser or an attacker would send.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

namespace web {

// A request's head (request line and headers) and body are read within
// these; anything bigger is answered with an error and the connection closed.
constexpr int MaxHeadBytes = 8 * 1024;
constexpr int MaxHeaders = 40;
constexpr int MaxBodyBytes = 4 * 1024;
// Connections at once, and from one address (a reverse proxy on the same
// machine counts as one address: the page's clients behind it share this).
constexpr int MaxConnections = 128;
constexpr int MaxPerAddress = 64;

struct HttpRequest {
    QByteArray method;
    QByteArray path;                              // without the query
    QByteArray query;                             // after '?', as sent
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;
    // The first header of that (lower-case) name; empty when none.
    QByteArray Header(const QByteArray &name) const;
    bool KeepAlive() const;
};

enum class ParseResult {
    Incomplete,     // more bytes are needed
    Done,           // *out holds the request, *consumed its bytes
    HeadTooLarge,   // 431
    TooManyHeaders, // 431
    BodyTooLarge,   // 413
    Bad,            // 400
};

// Reads one request from the start of buffer.
ParseResult ParseRequest(const QByteArray &buffer, HttpRequest *out, int *consumed);

// The value of cookie `name` in a Cookie header; empty when absent.
QByteArray CookieValue(const QByteArray &cookieHeader, const QByteArray &name);

// Whether an Origin header names the page's own site: the scheme the
// server speaks and the Host the browser asked for.
bool SameOrigin(const QByteArray &origin, const QByteArray &host, bool tls);

// The fields of an application/x-www-form-urlencoded body.
QHash<QString, QString> FormFields(const QByteArray &body);

// ---- Users ----------------------------------------------------------------

enum class Role { Viewer, Operator };
QString RoleName(Role role);
// "viewer" or "operator"; false for anything else.
bool ParseRole(const QString &text, Role *role);
// Letters, digits, '.', '_', '-'; 1..32 characters.
bool ValidUserName(const QString &name);

struct WebUser {
    QString name;
    Role role = Role::Viewer;
    int iterations = 0;
    QByteArray salt;
    QByteArray hash; // PBKDF2-HMAC-SHA256 of the password
};

// The PBKDF2 rounds of a new password: a guess costs an attacker this many
// HMACs, a log-in the server a few tens of milliseconds.
constexpr int HashIterations = 60000;

// One line of the users file: "name:role:pbkdf2-sha256:iterations:salt:hash"
// (salt and hash in base64).
QByteArray UserLine(const WebUser &user);
// False for a line that is not one.
bool ParseUserLine(const QByteArray &line, WebUser *user);

// A user with a new random salt and the password's hash.
WebUser MakeUser(const QString &name, Role role, const QByteArray &password);
// Whether password is the user's, compared in constant time.
bool CheckPassword(const WebUser &user, const QByteArray &password);

// ---- Failed log-ins -------------------------------------------------------

// Each failed log-in from an address doubles the wait before that address
// may try again (1 s, 2 s, 4 s ... at most MaxWaitMs); a success clears it.
// Addresses not seen for a while are forgotten, so the table stays small.
class LoginThrottle {
public:
    static constexpr qint64 FirstWaitMs = 1000;
    static constexpr qint64 MaxWaitMs = 60000;
    // Milliseconds the address must still wait; 0: it may try now.
    qint64 WaitMs(const QHostAddress &address, qint64 nowMs) const;
    void Failed(const QHostAddress &address, qint64 nowMs);
    void Succeeded(const QHostAddress &address);

private:
    struct Entry {
        int failures = 0;
        qint64 until = 0;
    };
    QHash<QString, Entry> entries_;
};

} // namespace web
