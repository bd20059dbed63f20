// SPDX-License-Identifier: GPL-3.0-or-later
// The station page's server at the level of HTTP: what a browser, a page
// of another site or an attacker sends, and what it gets; the limits; the
// start-up refusals; the users file. Against a real server on loopback
// with a real link (no port open: commands come back from the gate).
#include "../common/PtyPeer.h"
#include "link/AmpLink.h"
#include "web/UsersFile.h"
#include "web/WebServer.h"
#include "web/WebSocketFrames.h"

#include <QFile>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

using namespace web;

namespace {

int StatusOf(const QByteArray &response) {
    return response.mid(9, 3).toInt();
}

// Sends raw bytes and reads the answer until the server closes, turning
// the event loop: the server runs in this thread.
QByteArray Exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QDeadlineTimer deadline(timeoutMs);
    while (s.state() != QAbstractSocket::ConnectedState && !deadline.hasExpired())
        QTest::qWait(1);
    s.write(request);
    QByteArray in;
    while (s.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        QTest::qWait(1);
        in += s.readAll();
    }
    return in + s.readAll();
}

// A page's frame: first byte as given, masked unless told, a 16-bit
// length from 126 bytes on.
QByteArray ClientFrame(quint8 first, const QByteArray &payload, bool masked = true) {
    QByteArray out(1, char(first));
    const char mask = masked ? char(0x80) : char(0);
    if (payload.size() < 126)
        out += char(mask | char(payload.size()));
    else
        out += QByteArray(1, char(mask | 126)) + char(payload.size() >> 8) + char(payload.size());
    const QByteArray key = masked ? QByteArray("\x12\x34\x56\x78") : QByteArray();
    if (masked)
        out += key;
    for (qsizetype i = 0; i < payload.size(); ++i)
        out += masked ? char(payload[i] ^ key[i % 4]) : payload[i];
    return out;
}

QByteArray Header(const QByteArray &response, const QByteArray &name) {
    for (const QByteArray &line : response.left(response.indexOf("\r\n\r\n")).split('\n'))
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    return QByteArray();
}

} // namespace

class TestWeb : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<AmpLink> link;
    std::unique_ptr<WebServer> server;
    qint64 offsetMs = 0;
    QElapsedTimer clock;
    QByteArray host;
    QStringList followed; // each switch of following that reached the station

    QString WriteUsers() {
        const QString path = dir.filePath(QStringLiteral("users"));
        QFile::remove(path);
        // Few rounds: the tests log in many times.
        for (auto [name, role, password] :
             {std::tuple{"alice", Role::Operator, "alice-pw"}, {"bob", Role::Viewer, "bob-pw"}}) {
            WebUser u = MakeUser(QLatin1String(name), role, password);
            if (!SetUser(path, u).isEmpty())
                return QString();
        }
        return path;
    }

    QByteArray Request(const QByteArray &method, const QByteArray &path,
                       const QByteArray &headers = {}, const QByteArray &body = {}) {
        return method + ' ' + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n" +
               headers +
               (body.isEmpty() && method == "GET"
                    ? QByteArray()
                    : "Content-Length: " + QByteArray::number(body.size()) + "\r\n") +
               "\r\n" + body;
    }

    // Logs in; the session's cookie header and token.
    QPair<QByteArray, QByteArray> LogIn(const QByteArray &user, const QByteArray &password) {
        const QByteArray r =
            Exchange(server->Port(),
                     Request("POST", "/api/login", {}, "user=" + user + "&password=" + password));
        const QByteArray cookie = Header(r, "Set-Cookie").split(';').first();
        const QByteArray body = r.mid(r.indexOf("\r\n\r\n") + 4);
        if (!body.contains("\"token\":\""))
            return {};
        const int t = body.indexOf("\"token\":\"") + 9;
        return {"Cookie: " + cookie + "\r\n", body.mid(t, body.indexOf('"', t) - t)};
    }

private Q_SLOTS:
    void init() {
        QVERIFY(dir.isValid());
        link = std::make_unique<AmpLink>();
        server = std::make_unique<WebServer>(link.get());
        offsetMs = 0;
        clock.start();
        server->SetClock([this] { return clock.elapsed() + offsetMs; });
        followed.clear();
        server->SetFollowSwitch([this](bool on) {
            followed << QLatin1String(on ? "on" : "off");
            return QString();
        });
        WebConfig config;
        config.listen = QStringLiteral("127.0.0.1:0");
        config.usersFile = WriteUsers();
        QCOMPARE(server->Start(config), QString());
        host = "127.0.0.1:" + QByteArray::number(server->Port());
    }
    void cleanup() {
        server.reset();
        link.reset();
    }

    // Each request as sent, and the status it must get.
    void requests_data() {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bodyHas");
        const QByteArray form = "user=alice&password=";
        // {COOKIE}, {VIEWER}, {TOKEN}, {VTOKEN}, {HOST} are filled in per row.
        auto row = [](const char *name, const char *kind, const QByteArray &request, int status,
                      const char *has = "") {
            QTest::newRow(name) << QByteArray(kind) << request << status << QByteArray(has);
        };
        row("page", "GET", "/", 200, "<!DOCTYPE html>");
        row("the web app manifest", "GET", "/manifest.json", 200, "\"display\":");
        row("wrong password", "POST", "/api/login||" + form + "wrong", 401, "wrong user name");
        row("unknown user", "POST", "/api/login||user=mallory&password=alice-pw", 401);
        row("no cookie", "GET", "/api/session", 401, "log in first");
        row("forged cookie", "GET", "/api/session|Cookie: orvik_session=AAAA\r\n", 401);
        row("command without a cookie", "POST", "/api/command|X-Orvik-Token: {TOKEN}\r\n|{}", 401);
        row("command without the token", "POST", "/api/command|{COOKIE}|{\"command\":\"standby\"}",
            403, "token");
        row("command with another session's token", "POST",
            "/api/command|{COOKIE}X-Orvik-Token: {VTOKEN}\r\n|{\"command\":\"standby\"}", 403);
        row("command from a viewer", "POST",
            "/api/command|{VIEWER}X-Orvik-Token: {VTOKEN}\r\n|{\"command\":\"standby\"}", 403,
            "viewer");
        row("command from another site's page", "POST",
            "/api/command|{COOKIE}X-Orvik-Token: {TOKEN}\r\nOrigin: "
            "http://evil.example\r\n|{\"command\":\"standby\"}",
            403);
        row("log-in from another site's page", "POST",
            "/api/login|Origin: http://evil.example\r\n|" + form + "alice-pw", 403);
        row("operator's command reaches the gate", "POST",
            "/api/command|{COOKIE}X-Orvik-Token: {TOKEN}\r\nOrigin: "
            "http://{HOST}\r\n|{\"command\":\"standby\"}",
            200, "the amplifier is not connected");
        const QByteArray follow = "X-Orvik-Token: {TOKEN}\r\n|{\"command\":\"follow\",\"value\":0}";
        row("a viewer's switch of following", "POST",
            "/api/command|{VIEWER}" + QByteArray(follow).replace("{TOKEN}", "{VTOKEN}"), 403);
        row("an operator's switch of following reaches the station", "POST",
            "/api/command|{COOKIE}" + follow, 200,
            "\"command\":\"follow off\",\"final\":true,\"ok\":true");
        row("log-out without the token", "POST", "/api/logout|{COOKIE}", 403);
        row("expired session", "EXPIRED", "/api/session|{COOKIE}", 401);
        row("live page without a cookie", "WS", "", 401);
        row("live page from another site", "WS", "{COOKIE}Origin: http://evil.example\r\n", 403);
        row("live page of this site", "WS", "{COOKIE}Origin: http://{HOST}\r\n", 101,
            "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
        const QByteArray upgrade =
            "GET /ws HTTP/1.1\r\nHost: {HOST}\r\n{COOKIE}Origin: http://{HOST}"
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n";
        row("live page of another version", "RAW",
            upgrade +
                "Sec-WebSocket-Version: 8\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
            426, "Sec-WebSocket-Version: 13");
        row("live page with a short key", "RAW",
            upgrade + "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZQ==\r\n\r\n",
            400);
        row("oversize body", "RAW",
            "POST /api/login HTTP/1.1\r\nHost: {HOST}\r\nContent-Length: 5000\r\n\r\n" +
                QByteArray(5000, 'a'),
            413);
        row("HEAD: the head alone", "RAW",
            "HEAD / HTTP/1.1\r\nHost: {HOST}\r\nConnection: close\r\n\r\n", 200,
            "Content-Length: ");
        row("HTTP/1.0 is closed after its answer", "RAW", "GET / HTTP/1.0\r\n\r\n", 200,
            "Connection: close");
        row("localhost on loopback", "RAW",
            "GET / HTTP/1.1\r\nHost: localhost:{PORT}\r\nConnection: close\r\n\r\n", 200);
        row("another site's name for this address", "RAW",
            "GET / HTTP/1.1\r\nHost: evil.example:{PORT}\r\n\r\n", 400, "not a Host");
        row("oversize head", "RAW", "GET / HTTP/1.1\r\nX-A: " + QByteArray(9000, 'a') + "\r\n\r\n",
            431);
        QByteArray many = "GET / HTTP/1.1\r\n";
        for (int i = 0; i <= MaxHeaders; ++i)
            many += "X-" + QByteArray::number(i) + ": 1\r\n";
        row("too many headers", "RAW", many + "\r\n", 431);
        row("chunked body", "RAW",
            "POST /api/login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400);
    }
    void requests() {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, bodyHas);
        const auto [cookie, token] = LogIn("alice", "alice-pw");
        const auto [viewer, vtoken] = LogIn("bob", "bob-pw");
        QVERIFY(!token.isEmpty() && !vtoken.isEmpty());
        request.replace("{COOKIE}", cookie)
            .replace("{VIEWER}", viewer)
            .replace("{TOKEN}", token)
            .replace("{VTOKEN}", vtoken)
            .replace("{HOST}", host)
            .replace("{PORT}", QByteArray::number(server->Port()));
        QByteArray sent;
        if (kind == "EXPIRED") {
            offsetMs += Sessions::DefaultIdleMs; // unused for that long
            kind = "GET";
        }
        if (kind == "RAW") {
            sent = request;
        } else if (kind == "WS") {
            sent = "GET /ws HTTP/1.1\r\nHost: " + host +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: "
                   "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
                   request + "\r\n";
        } else {
            const QList<QByteArray> parts = request.split('|');
            sent = Request(kind, parts.value(0), parts.value(1), parts.value(2));
        }
        const QByteArray answer = Exchange(server->Port(), sent, kind == "WS" ? 1000 : 5000);
        QCOMPARE(StatusOf(answer), status);
        QVERIFY2(answer.contains(bodyHas), answer.constData());
        if (request.startsWith("HEAD"))
            QVERIFY(answer.endsWith("\r\n\r\n"));
        // Nothing but the operator's own command reached the gate.
        if (status != 200)
            QVERIFY(!answer.contains("not connected"));
        QCOMPARE(followed, status == 200 && request.contains("\"follow\"")
                               ? QStringList{QStringLiteral("off")}
                               : QStringList());
    }

    // What a proxy in front might read otherwise is refused.
    void parser_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("result");
        const QByteArray get = "GET / HTTP/1.1\r\nHost: h\r\n";
        const QByteArray post = "POST /api/login HTTP/1.1\r\nHost: h\r\n";
        auto row = [](const char *name, const QByteArray &bytes, ParseResult r) {
            QTest::newRow(name) << bytes << int(r);
        };
        row("well formed, with a body", post + "Content-Length: 3\r\n\r\nabc", ParseResult::Done);
        row("empty lines before it", "\r\n\r\n" + get + "\r\n", ParseResult::Done);
        row("HTTP/1.0 without Host", "GET / HTTP/1.0\r\n\r\n", ParseResult::Done);
        row("head not ended", get, ParseResult::Incomplete);
        row("body not all there", post + "Content-Length: 3\r\n\r\nab", ParseResult::Incomplete);
        row("two lengths", post + "Content-Length: 3\r\nContent-Length: 8\r\n\r\nabc",
            ParseResult::Bad);
        row("a length list", post + "Content-Length: 3, 3\r\n\r\nabc", ParseResult::Bad);
        row("space before the colon", post + "Content-Length : 3\r\n\r\nabc", ParseResult::Bad);
        row("signed length", post + "Content-Length: +3\r\n\r\nabc", ParseResult::Bad);
        row("folded line", get + "X-A: 1\r\n X-B: 2\r\n\r\n", ParseResult::Bad);
        row("two Hosts", get + "Host: other\r\n\r\n", ParseResult::Bad);
        row("no Host in 1.1", "GET / HTTP/1.1\r\n\r\n", ParseResult::Bad);
        row("bare LF", "GET / HTTP/1.1\nHost: h\n\n", ParseResult::Bad);
        row("bare LF, head not ended", "GET / HTTP/1.1\nHost: h", ParseResult::Bad);
        row("bare CR", "GET / HTTP/1.1\r\nHost: h\rX: 1\r\n\r\n", ParseResult::Bad);
        row("NUL in a field", get + QByteArray("X-A: a\0b\r\n\r\n", 12), ParseResult::Bad);
        row("HTTP/1.9", "GET / HTTP/1.9\r\nHost: h\r\n\r\n", ParseResult::Bad);
        row("space in the target", "GET /a b HTTP/1.1\r\nHost: h\r\n\r\n", ParseResult::Bad);
        row("absolute target", "GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n", ParseResult::Bad);
        row("chunked", post + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n", ParseResult::Bad);
    }
    void parser() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        HttpRequest request;
        int consumed = -1;
        QCOMPARE(int(ParseRequest(bytes, &request, &consumed)), result);
        if (result == int(ParseResult::Done)) {
            QCOMPARE(consumed, bytes.size());
            QCOMPARE(request.body, bytes.mid(bytes.indexOf("\r\n\r\n", 4) + 4));
        }
    }

    // A page's frames as the reader takes them: each row's bytes read frame
    // by frame to the first Incomplete or Failed; a row cut at `cut` is
    // first read from its first bytes alone, which must wait for more.
    void frames_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QString>("read");
        auto row = [](const char *name, const QByteArray &bytes, const char *read, int cut = -1) {
            QTest::newRow(name) << bytes << cut << QString::fromUtf8(read);
        };
        const QByteArray big(3000, 'a');
        row("masked text", ClientFrame(0x81, "hello"), "text hello, incomplete");
        row("masked ping", ClientFrame(0x89, "p1"), "ping p1, incomplete");
        row("text in continuation frames, a ping between",
            ClientFrame(0x01, "hel") + ClientFrame(0x89, "x") + ClientFrame(0x00, "lo ") +
                ClientFrame(0x80, "world"),
            "fragment, ping x, fragment, text hello world, incomplete");
        row("a character split across fragments",
            ClientFrame(0x01, "\xC3") + ClientFrame(0x80, "\xA9"),
            "fragment, text \xC3\xA9, incomplete");
        row("close with a code",
            ClientFrame(0x88, "\x03\xE8"
                              "bye"),
            "close bye 1000, incomplete");
        row("close with an application's code", ClientFrame(0x88, "\x0F\xA0"),
            "close 4000, incomplete");
        row("a control frame over 125 bytes", ClientFrame(0x89, QByteArray(126, 'p')),
            "failed 1002");
        row("a reserved opcode", ClientFrame(0x83, "a"), "failed 1002");
        row("RSV1 set", ClientFrame(0xC1, "a"), "failed 1002");
        row("an unmasked text", ClientFrame(0x81, "hello", false), "failed 1002");
        row("an unmasked ping after a text", ClientFrame(0x81, "a") + ClientFrame(0x89, "p", false),
            "text a, failed 1002");
        row("a continuation of no message", ClientFrame(0x80, "a"), "failed 1002");
        row("a close with a reserved code", ClientFrame(0x88, "\x03\xED"), "failed 1002");
        row("a message over the bound", ClientFrame(0x01, big) + ClientFrame(0x80, big),
            "fragment, failed 1009");
        row("a frame over the bound, its head alone", QByteArray("\x81\xFE\x13\x88", 4),
            "failed 1009");
        row("a 64-bit length with its top bit set", QByteArray("\x81\xFF\x80\0\0\0\0\0\0\x01", 10),
            "failed 1002");
        row("bad UTF-8 (an overlong slash)", ClientFrame(0x81, "\xC0\xAF"), "failed 1007");
        row("a frame split across two reads", ClientFrame(0x81, QByteArray(200, 'a')),
            "text #200, incomplete", 5);
    }
    void frames() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, cut);
        QFETCH(QString, read);
        ws::FrameReader reader(MaxBodyBytes);
        qsizetype at = 0;
        if (cut >= 0) {
            QCOMPARE(int(reader.Read(QByteArrayView(bytes).first(cut), &at).kind),
                     int(ws::Frame::Kind::Incomplete));
            QCOMPARE(at, 0);
        }
        const char *names[] = {"incomplete", "text", "binary", "fragment",
                               "ping",       "pong", "close",  "failed"};
        QStringList got;
        for (ws::Frame f; f.kind != ws::Frame::Kind::Failed;) {
            qsizetype consumed = 0;
            f = reader.Read(QByteArrayView(bytes).sliced(at), &consumed);
            at += consumed;
            QString line = QLatin1String(names[int(f.kind)]);
            if (!f.payload.isEmpty())
                line += f.payload.size() > 16 ? QStringLiteral(" #%1").arg(f.payload.size())
                                              : QLatin1Char(' ') + QString::fromUtf8(f.payload);
            if (f.code)
                line += QLatin1Char(' ') + QString::number(f.code);
            got << line;
            if (f.kind == ws::Frame::Kind::Incomplete) {
                QCOMPARE(at, bytes.size()); // every whole frame was taken
                break;
            }
        }
        QCOMPARE(got.join(QStringLiteral(", ")), read);
    }

    // Qt's own client on the live page: the status, a pong to its ping,
    // and the page closed with "logged out" when its session logs out, its
    // slot then free.
    void liveQtClient() {
        const auto [cookie, token] = LogIn("alice", "alice-pw");
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1/ws").arg(QLatin1String(host))));
        request.setRawHeader("Cookie", cookie.mid(8).trimmed());
        request.setRawHeader("Origin", "http://" + host);
        QWebSocket client;
        QSignalSpy texts(&client, &QWebSocket::textMessageReceived);
        QSignalSpy pongs(&client, &QWebSocket::pong);
        client.open(request);
        QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty(), 5000);
        QVERIFY(texts.first().at(0).toString().startsWith(QStringLiteral("{\"at\":")));
        client.ping("are you there");
        QTRY_COMPARE(pongs.size(), 1);
        QCOMPARE(pongs.first().at(1).toByteArray(), QByteArray("are you there"));
        Exchange(server->Port(),
                 Request("POST", "/api/logout", cookie + "X-Orvik-Token: " + token + "\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
        QCOMPARE(client.closeCode(), QWebSocketProtocol::CloseCodeNormal);
        QCOMPARE(client.closeReason(), QStringLiteral("logged out"));
        QCOMPARE(server->LiveCount(), 0);
        QTRY_COMPARE(server->ConnectionCount(), 0);
    }

    // Bad requests are logged a line a minute per address, then the count.
    void refusalsLoggedOnce() {
        QSignalSpy logged(server.get(), &WebServer::Logged);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(StatusOf(Exchange(server->Port(), "GET / HTTP/1.9\r\n\r\n")), 400);
        QCOMPARE(logged.size(), 1);
        offsetMs += 60000;
        QCOMPARE(StatusOf(Exchange(server->Port(), "GET / HTTP/1.9\r\n\r\n")), 400);
        QCOMPARE(logged.size(), 2);
        QVERIFY2(logged.last().at(0).toString().endsWith(
                     QStringLiteral("(and 4 more from it since its last line)")),
                 qPrintable(logged.last().at(0).toString()));
    }

    // The users file changed under the running server: a user added logs
    // in at once; a changed password ends that user's sessions and live
    // pages, the old one is refused and the new one taken; a user removed
    // is out, sessions and all.
    void usersChangeLive() {
        const QString users = dir.filePath(QStringLiteral("users"));
        const QByteArray alice = LogIn("alice", "alice-pw").first;
        const QByteArray bob = LogIn("bob", "bob-pw").first;
        QTcpSocket live;
        live.connectToHost(QHostAddress::LocalHost, server->Port());
        QTRY_COMPARE(live.state(), QAbstractSocket::ConnectedState);
        live.write("GET /ws HTTP/1.1\r\nHost: " + host +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: "
                   "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://" +
                   host + "\r\n" + alice + "\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(server->LiveCount(), 1, 5000);
        auto session = [this](const QByteArray &cookie) {
            return StatusOf(Exchange(server->Port(), Request("GET", "/api/session", cookie)));
        };
        QCOMPARE(SetUser(users, MakeUser(QStringLiteral("carol"), Role::Viewer, "carol-pw")),
                 QString());
        QVERIFY(!LogIn("carol", "carol-pw").second.isEmpty());
        QCOMPARE(session(alice), 200);
        QCOMPARE(SetUser(users, MakeUser(QStringLiteral("alice"), Role::Operator, "new-pw")),
                 QString());
        QTRY_COMPARE_WITH_TIMEOUT(server->LiveCount(), 0, 3000);
        QCOMPARE(session(alice), 401);
        QVERIFY(LogIn("alice", "alice-pw").second.isEmpty());
        offsetMs += LoginThrottle::FirstWaitMs;
        QVERIFY(!LogIn("alice", "new-pw").second.isEmpty());
        QCOMPARE(session(bob), 200);
        QCOMPARE(RemoveUser(users, QStringLiteral("bob")), QString());
        QTRY_COMPARE_WITH_TIMEOUT(session(bob), 401, 3000);
        QVERIFY(LogIn("bob", "bob-pw").second.isEmpty());
    }

    // Behind a trusted proxy the client is the address it names (an IPv6
    // one by its /64), anyone else's X-Forwarded-For is not believed, and a
    // wrong guess holds back that user from that client only.
    void proxy_data() {
        QTest::addColumn<QString>("trusted");
        QTest::addColumn<QByteArray>("forwardedFor");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QByteArray>("neighbour"); // a client that shares its wait
        QTest::newRow("the trusted proxy") << "127.0.0.1" << QByteArray("203.0.113.5")
                                           << "203.0.113.5" << QByteArray("203.0.113.5");
        QTest::newRow("a chain of trusted proxies")
            << "127.0.0.0/8, 10.0.0.0/8" << QByteArray("203.0.113.5, 10.1.2.3") << "203.0.113.5"
            << QByteArray("203.0.113.5");
        QTest::newRow("a forged hop left of the client")
            << "127.0.0.1" << QByteArray("198.51.100.9, 203.0.113.5") << "203.0.113.5"
            << QByteArray("203.0.113.5");
        QTest::newRow("an IPv6 client, by its /64")
            << "127.0.0.1" << QByteArray("2001:db8:1:2::1") << "2001:db8:1:2::1"
            << QByteArray("2001:db8:1:2:ffff::9");
        QTest::newRow("no proxy named")
            << "" << QByteArray("203.0.113.5") << "127.0.0.1" << QByteArray("198.51.100.9");
        QTest::newRow("another proxy")
            << "10.0.0.1" << QByteArray("203.0.113.5") << "127.0.0.1" << QByteArray("198.51.100.9");
    }
    void proxy() {
        QFETCH(QString, trusted);
        QFETCH(QByteArray, forwardedFor);
        QFETCH(QString, client);
        QFETCH(QByteArray, neighbour);
        WebServer proxied(link.get());
        WebConfig config;
        config.listen = QStringLiteral("127.0.0.1:0");
        config.usersFile = WriteUsers();
        config.trustedProxy = trusted;
        QCOMPARE(proxied.Start(config), QString());
        QSignalSpy access(&proxied, &WebServer::Access);
        auto logIn = [&proxied](const QByteArray &from, const QByteArray &form) {
            return StatusOf(Exchange(
                proxied.Port(),
                "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:" +
                    QByteArray::number(proxied.Port()) + "\r\nX-Forwarded-For: " + from +
                    "\r\nContent-Length: " + QByteArray::number(form.size()) + "\r\n\r\n" + form));
        };
        QCOMPARE(logIn(forwardedFor, "user=alice&password=wrong"), 401);
        QCOMPARE(access.last().at(0).toString(),
                 QStringLiteral("failed log-in as alice from ") + client);
        QCOMPARE(logIn(neighbour, "user=alice&password=alice-pw"), 429);
        QCOMPARE(logIn(forwardedFor, "user=bob&password=bob-pw"), 200);
        if (!trusted.isEmpty())
            QCOMPARE(logIn("192.0.2.77", "user=alice&password=alice-pw"), 200);
    }

    void failedLogInsSlowed() {
        QSignalSpy access(server.get(), &WebServer::Access);
        const QByteArray wrong = Request("POST", "/api/login", {}, "user=alice&password=x");
        const QByteArray right = Request("POST", "/api/login", {}, "user=alice&password=alice-pw");
        // Two at once: the second waits for the first's check, and then its wait.
        QTcpSocket first, second;
        for (QTcpSocket *s : {&first, &second}) {
            s->connectToHost(QHostAddress::LocalHost, server->Port());
            QVERIFY(s->waitForConnected(2000));
            s->write(wrong);
        }
        QTRY_VERIFY(first.bytesAvailable() > 12 && second.bytesAvailable() > 12);
        QCOMPARE(StatusOf(first.readAll()) + StatusOf(second.readAll()), 401 + 429);
        QCOMPARE(StatusOf(Exchange(server->Port(), right)), 429); // even the right one waits
        offsetMs += LoginThrottle::FirstWaitMs;
        QCOMPARE(StatusOf(Exchange(server->Port(), wrong)), 401);
        offsetMs += LoginThrottle::FirstWaitMs; // the second failure doubled the wait
        QCOMPARE(StatusOf(Exchange(server->Port(), right)), 429);
        offsetMs += LoginThrottle::FirstWaitMs;
        QCOMPARE(StatusOf(Exchange(server->Port(), right)), 200);
        QCOMPARE(access.size(), 3);
        QCOMPARE(access.at(0).at(0).toString(),
                 QStringLiteral("failed log-in as alice from 127.0.0.1"));
    }

    // A client that sends half a request is cut; another is served while
    // it still holds its connection, not once it is cut.
    void slowClients() {
        QTcpSocket trickle;
        trickle.connectToHost(QHostAddress::LocalHost, server->Port());
        QTRY_COMPARE(trickle.state(), QAbstractSocket::ConnectedState);
        trickle.write("GET / HTTP/1.1\r\nHost: x\r\n");
        QTRY_COMPARE(server->ConnectionCount(), 1);
        QCOMPARE(StatusOf(Exchange(server->Port(), Request("GET", "/"))), 200);
        QCOMPARE(trickle.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(server->ConnectionCount(), 1);
        server->SetIdleMs(400);
        QTRY_COMPARE_WITH_TIMEOUT(trickle.state(), QAbstractSocket::UnconnectedState, 3000);
        QCOMPARE(server->ConnectionCount(), 0);
    }

    // A live page that stops reading is cut; one that reads keeps getting
    // the latest status, whatever the other did.
    void livePageThatDoesNotRead() {
        PtyPeer amplifier;
        QVERIFY(amplifier.ok());
        QCOMPARE(link->Open(amplifier.devicePath()), QString());
        QSignalSpy logged(server.get(), &WebServer::Logged);
        const QByteArray cookie = LogIn("alice", "alice-pw").first;
        const QByteArray upgrade = "GET /ws HTTP/1.1\r\nHost: " + host +
                                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                   "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: "
                                   "dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://" +
                                   host + "\r\n" + cookie + "\r\n";
        // The deaf page's receive buffer is made small before it connects,
        // so that what it does not read stays with the server.
        const int deaf = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 2048;
        ::setsockopt(deaf, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(server->Port());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(deaf, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        QCOMPARE(::send(deaf, upgrade.constData(), size_t(upgrade.size()), 0),
                 ssize_t(upgrade.size()));
        QTcpSocket reader;
        reader.connectToHost(QHostAddress::LocalHost, server->Port());
        QTRY_COMPARE(reader.state(), QAbstractSocket::ConnectedState);
        reader.write(upgrade);
        QTRY_COMPARE_WITH_TIMEOUT(server->LiveCount(), 2, 10000);
        // Short only now: a loaded machine may take longer for the upgrades.
        server->SetIdleMs(400);
        QByteArray got;
        amplifier.write("PA_QZ9QZ\r\n");
        int t = 0;
        // One report a pass of the event loop: each is a status of its own.
        for (; t < 20000 && server->LiveCount() == 2; ++t) {
            amplifier.write("T: " + QByteArray::number(20 + t % 50) + "\r\n");
            QTest::qWait(1);
            got = (got + reader.readAll()).right(4096);
        }
        QCOMPARE(server->LiveCount(), 1);
        QVERIFY(logged.size() > 0);
        QVERIFY(
            logged.last().at(0).toString().endsWith(QStringLiteral("does not read its updates")));
        // The reader still gets the temperature sent last.
        amplifier.write("T: 99\r\n");
        QTRY_VERIFY((got += reader.readAll()).contains("\"temperatureC\":99"));
        ::close(deaf);
    }

    void connectionsPerAddress() {
        QSignalSpy logged(server.get(), &WebServer::Logged);
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 200; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, server->Port());
        }
        auto cut = [&sockets] {
            return int(std::count_if(sockets.begin(), sockets.end(), [](const auto &s) {
                return s->state() == QAbstractSocket::UnconnectedState;
            }));
        };
        QTRY_COMPARE_WITH_TIMEOUT(cut(), 200 - MaxPerAddress, 10000);
        // One line for them all: the next one, a minute on, counts them.
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.first().at(0).toString().startsWith(QStringLiteral("refused 127.0.0.1")));
        QCOMPARE(server->ConnectionCount(), MaxPerAddress);
        sockets.clear();
        QTRY_COMPARE_WITH_TIMEOUT(server->ConnectionCount(), 0, 3000);
        QCOMPARE(StatusOf(Exchange(server->Port(), Request("GET", "/"))), 200);
    }

    // What is wrong in the settings, and the one message it gets.
    void startRefusals_data() {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("users");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("message");
        QTest::newRow("non-loopback without TLS") << "0.0.0.0:0"
                                                  << "users" << 0600 << ""
                                                  << "is not a loopback address";
        QTest::newRow("no users file") << "127.0.0.1:0"
                                       << "" << 0600 << ""
                                       << "--web-passwd";
        QTest::newRow("users file readable by others") << "127.0.0.1:0"
                                                       << "users" << 0644 << ""
                                                       << "may be read or written by others";
        QTest::newRow("missing users file") << "127.0.0.1:0"
                                            << "nothere" << 0600 << ""
                                            << "cannot read the users file";
        QTest::newRow("users file a FIFO, not waited on") << "127.0.0.1:0"
                                                          << "fifo" << 0600 << ""
                                                          << "is not a regular file";
        QTest::newRow("certificate without key") << "127.0.0.1:0"
                                                 << "users" << 0600 << "cert.pem"
                                                 << "go together";
    }
    void startRefusals() {
        QFETCH(QString, listen);
        QFETCH(QString, users);
        QFETCH(int, mode);
        QFETCH(QString, certificate);
        QFETCH(QString, message);
        const QString path = WriteUsers();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0 || errno == EEXIST);
        WebServer other(link.get());
        WebConfig config;
        config.listen = listen;
        config.usersFile = users.isEmpty() ? QString() : dir.filePath(users);
        config.certificate = certificate;
        const QString error = other.Start(config);
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!other.IsListening());
    }

    // With a certificate the page may face the network; the cookie is then
    // Secure, and plain HTTP gets no page.
    void tls() {
        const QString cert = dir.filePath(QStringLiteral("cert.pem"));
        const QString key = dir.filePath(QStringLiteral("key.pem"));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                     "-nodes -days 1 -subj /CN=localhost -keyout")
                              .split(QLatin1Char(' ')) +
                          QStringList{key, QStringLiteral("-out"), cert});
        QVERIFY(openssl.waitForFinished(20000));
        QCOMPARE(openssl.exitCode(), 0);
        WebServer secure(link.get());
        WebConfig config;
        config.listen = QStringLiteral("0.0.0.0:0");
        config.usersFile = WriteUsers();
        config.certificate = cert;
        config.key = key;
        // The key is its owner's alone, or the page is not served.
        QCOMPARE(::chmod(QFile::encodeName(key).constData(), 0640), 0);
        QVERIFY(secure.Start(config).contains(QStringLiteral("may be read or written by others")));
        QCOMPARE(::chmod(QFile::encodeName(key).constData(), 0600), 0);
        QCOMPARE(secure.Start(config), QString());
        // TLS 1.2 without forward secrecy or without AEAD is not spoken.
        for (const char *suite : {"ECDHE-ECDSA-AES128-SHA", "ECDHE-ECDSA-AES256-SHA384"}) {
            QSslSocket weak;
            QSslConfiguration only = weak.sslConfiguration();
            only.setProtocol(QSsl::TlsV1_2);
            only.setCiphers({QSslCipher(QLatin1String(suite))});
            weak.setSslConfiguration(only);
            weak.setPeerVerifyMode(QSslSocket::VerifyNone);
            weak.connectToHostEncrypted(QStringLiteral("127.0.0.1"), secure.Port());
            QTRY_VERIFY_WITH_TIMEOUT(
                weak.isEncrypted() || weak.state() == QAbstractSocket::UnconnectedState, 5000);
            QVERIFY2(!weak.isEncrypted(), suite);
        }
        QSslSocket s;
        s.setPeerVerifyMode(QSslSocket::VerifyNone);
        s.connectToHostEncrypted(QStringLiteral("127.0.0.1"), secure.Port());
        QTRY_VERIFY(s.isEncrypted());
        s.write("POST /api/login HTTP/1.1\r\nHost: localhost:" + QByteArray::number(secure.Port()) +
                "\r\nConnection: close\r\nContent-Length: 28\r\n\r\nuser=alice&password=alice-pw");
        QByteArray answer;
        QTRY_VERIFY((answer += s.readAll()).contains("\r\n\r\n{"));
        QCOMPARE(StatusOf(answer), 200);
        const QByteArray cookie = Header(answer, "Set-Cookie");
        QVERIFY(cookie.endsWith("; HttpOnly; SameSite=Strict; Secure"));
        QVERIFY(Header(answer, "Strict-Transport-Security").startsWith("max-age="));
        QVERIFY(!Exchange(secure.Port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n", 1000)
                     .startsWith("HTTP/1.1 200"));
    }

    // The users file's lines: what is taken and what is not.
    void userLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("taken");
        const WebUser u = MakeUser(QStringLiteral("carol"), Role::Operator, "pw");
        const QByteArray good = UserLine(u);
        QTest::newRow("as written") << good << true;
        QTest::newRow("unknown role") << QByteArray(good).replace(":operator:", ":admin:") << false;
        QTest::newRow("another scheme")
            << QByteArray(good).replace("pbkdf2-sha256", "md5") << false;
        QTest::newRow("bad name") << QByteArray(good).replace("carol", "car ol") << false;
        QTest::newRow("short hash") << good.left(good.size() - 8) << false;
        QTest::newRow("no rounds") << QByteArray(good).replace(":60000:", ":0:") << false;
    }
    void userLines() {
        QFETCH(QByteArray, line);
        QFETCH(bool, taken);
        WebUser u;
        QCOMPARE(ParseUserLine(line, &u), taken);
        if (taken) {
            QVERIFY(CheckPassword(u, "pw"));
            QVERIFY(!CheckPassword(u, "pW"));
            QCOMPARE(u.role, Role::Operator);
        }
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
