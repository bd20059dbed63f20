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
// Connections at once, and from one client (an IPv6 client by its /64). A
// trusted proxy is not one client: only the total applies to it. Without a
// proxy named, the last LoopbackShare of the connections are loopback's.
constexpr int MaxConnections = 128;
constexpr int MaxPerAddress = 64;
constexpr int LoopbackShare = 16;

// The key of a client for the per-client rules: an IPv4 address itself, an
// IPv6 address by its /64 (what one subscriber is given).
QString ClientKey(const QHostAddress &address);

// "ADDRESS[/BITS], ..." into networks; an empty string, or what is wrong.
QString ParseProxies(const QString &text, QList<QPair<QHostAddress, int>> *networks);

// The client of a request that came through trusted proxies: X-Forwarded-For
// read from its right end, past the trusted proxies, to the first address
// that is not one. The peer itself when it is not a trusted proxy or the
// header names no address.
QHostAddress RealClient(const QHostAddress &peer, const QByteArray &forwardedFor,
                        const QList<QPair<QHostAddress, int>> &trusted);

struct HttpRequest {
    QByteArray method;
    bool http10 = false;                          // HTTP/1.0: one request, then closed
    QByteArray path;                              // without the query
    QByteArray query;                             // after '?', as sent
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;
    // The first header of that (lower-case) name; empty when none.
    QByteArray Header(const QByteArray &name) const;
    int Count(const QByteArray &name) const;
    // Whether the first header of that name lists token (a comma-separated
    // list, any case): "Connection: keep-alive, Upgrade" holds "upgrade".
    bool HasToken(const QByteArray &name, const QByteArray &token) const;
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

// Reads one request from the start of buffer, as strictly as RFC 9112 asks:
// CRLF line ends, HTTP/1.1 or 1.0, one Host (required in 1.1), at most one
// Content-Length in digits, no Transfer-Encoding, no folded line, no space
// before a field's colon, no control character in a field.
ParseResult ParseRequest(const QByteArray &buffer, HttpRequest *out, int *consumed);

// The value of cookie `name` in a Cookie header; empty when absent.
QByteArray CookieValue(const QByteArray &cookieHeader, const QByteArray &name);

// Whether an Origin header names the page's own site: the scheme the
// server speaks and the Host the browser asked for.
bool SameOrigin(const QByteArray &origin, const QByteArray &host, bool tls);

// The fields of an application/x-www-form-urlencoded body.
QHash<QString, QString> FormFields(const QByteArray &body);

// Whether a TLS suite (by its OpenSSL name) is one the server offers: every
// TLS 1.3 suite, and of TLS 1.2 those with an ephemeral key exchange (forward
// secrecy) and an AEAD cipher (GCM, ChaCha20-Poly1305).
bool StrongCipher(const QString &name);

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

// Each failed log-in as a user from a client doubles the wait before that
// client may try that user again (1 s, 2 s, 4 s ... at most MaxWaitMs); a
// success clears it. Keyed on both, so that a wrong guess from one client
// never locks another out. Keys not seen for a while are forgotten.
class LoginThrottle {
public:
    static constexpr qint64 FirstWaitMs = 1000;
    static constexpr qint64 MaxWaitMs = 60000;
    static QString Key(const QString &user, const QHostAddress &client);
    // Milliseconds the key must still wait; 0: it may try now.
    qint64 WaitMs(const QString &key, qint64 nowMs) const;
    void Failed(const QString &key, qint64 nowMs);
    void Succeeded(const QString &key);

private:
    struct Entry {
        int failures = 0;
        qint64 until = 0;
    };
    QHash<QString, Entry> entries_;
};

} // namespace web
