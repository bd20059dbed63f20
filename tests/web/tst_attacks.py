#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station page's server under attack, one row at a time, against the
headless program on the simulator. Each row must leave the program's memory
(VmRSS and its peak VmHWM, from /proc) under the bound while the link's
readings still reach a logged-in live page and a log-in still works.

    tst_attacks.py BUILD_DIR
"""
import errno
import os
import re
import select
import socket
import ssl
import subprocess
import tempfile
import struct
import sys
import time

from webstation import Station

BOUND_MB = 100
# What each row tries to push at the server: far more than the bound.
ATTACK_BYTES = 256 << 20
FAILURES = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


def memory_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        fields = dict(line.split(":", 1) for line in f if ":" in line)
    return tuple(int(fields[k].split()[0]) // 1024 for k in ("VmRSS", "VmHWM"))


def connect(station, source, rcvbuf=None):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:  # set before connecting, so that the window stays small
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.bind((source, 0))
    s.connect(("127.0.0.1", station.port))
    if station.url.startswith("https"):
        tls = ssl.create_default_context()
        tls.check_hostname, tls.verify_mode = False, ssl.CERT_NONE
        s = tls.wrap_socket(s)
    return s


def http(station, source, request):
    """One request on its own connection; the whole answer."""
    s = connect(station, source)
    s.settimeout(10)
    s.sendall(request)
    answer = b""
    try:
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            answer += chunk
    except OSError:
        pass
    s.close()
    return answer


def request(station, method, path, headers=b"", body=b""):
    return (b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n%s"
            b"Content-Length: %d\r\n\r\n%s" % (method, path, station.port, headers, len(body), body))


def log_in(station, source, user):
    password = Station.USERS[user][1].encode()
    answer = http(station, source, request(station, b"POST", b"/api/login",
                                           body=b"user=%s&password=%s" % (user.encode(), password)))
    m = re.search(rb"Set-Cookie: (orvik_session=[^;]+)", answer)
    return m.group(1) if m else None


def live_page(station, source, cookie, rcvbuf=None):
    """An upgraded socket, its 101 read."""
    s = connect(station, source, rcvbuf)
    s.sendall(b"GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
              b"Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
              b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: %s\r\n"
              b"Cookie: %s\r\n\r\n" % (station.port, station.url.rstrip("/").encode(), cookie))
    s.settimeout(10)
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = s.recv(1)
        if not chunk:
            return None
        head += chunk
    return s if head.startswith(b"HTTP/1.1 101") else None


def frame(opcode, payload):
    """A client frame, masked as clients must."""
    mask = os.urandom(4)
    body = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
    return struct.pack("!BB", 0x80 | opcode, 0x80 | len(payload)) + mask + body


def wait_for(s, pattern, seconds=15):
    """Reads a live page until pattern shows in what the server sent (its
    frames are not masked, so their text stands in the bytes as sent)."""
    seen, end = b"", time.monotonic() + seconds
    while time.monotonic() < end:
        if select.select([s], [], [], 0.1)[0]:
            chunk = s.recv(65536)
            if not chunk:
                return False
            seen = (seen + chunk)[-65536:]
            if re.search(pattern, seen):
                return True
    return False


def push(station, sockets, data, read=0):
    """Sends data over and over on every socket until ATTACK_BYTES went out,
    the server has taken nothing for 2 s or the program grew past twice the
    bound (a machine's memory is not the test's to take); reads `read` bytes
    a pass."""
    for s in sockets:
        s.setblocking(False)
    sent, idle_since = 0, time.monotonic()
    while (sent < ATTACK_BYTES and time.monotonic() - idle_since < 2 and
           memory_mb(station.proc.pid)[0] < 2 * BOUND_MB):
        progress = False
        for s in sockets:
            try:
                n = s.send(data)
                sent, progress = sent + n, progress or n > 0
                if read:
                    s.recv(read)
            except (ssl.SSLWantReadError, ssl.SSLWantWriteError):
                pass
            except OSError as e:
                if e.errno not in (errno.EAGAIN, errno.EWOULDBLOCK):
                    sockets.remove(s)
        if progress:
            idle_since = time.monotonic()
        else:
            time.sleep(0.01)
    return sent


def pipelined(station, count=1, read=0):
    get = b"GET /page.js HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % station.port
    sockets = [connect(station, "127.0.0.%d" % (2 + i % 2), rcvbuf=4096) for i in range(count)]
    return sockets, push(station, list(sockets), get * 64, read)


def pings(station):
    cookie = log_in(station, "127.0.0.4", "bob")
    s = live_page(station, "127.0.0.4", cookie, rcvbuf=4096)
    if not s:
        return [], 0
    return [s], push(station, [s], frame(0x9, b"p" * 125) * 64)


def closed_as_protocol_error(s, seconds=10):
    """Whether the server's last frame to a live page is a Close 1002 and
    the connection then ends."""
    seen, end = b"", time.monotonic() + seconds
    while time.monotonic() < end:
        if select.select([s], [], [], 0.1)[0]:
            try:
                chunk = s.recv(65536)
            except OSError:  # cut without its Close
                return False
            if not chunk:
                return seen.endswith(b"\x88\x10\x03\xeaprotocol error")
            seen = (seen + chunk)[-4096:]
    return False


def unmasked(station):
    """A text, a ping, a close and a continuation that are not masked: each
    page is closed with 1002 and the refusal logged."""
    pages = []
    for n, frames in enumerate([b"\x81\x02{}", b"\x89\x01p", b"\x88\x02\x03\xe8",
                                b"\x01\x81abcda\x80\x01b"]):
        source = "127.0.0.%d" % (5 + n)
        s = live_page(station, source, log_in(station, source, "bob"))
        s.sendall(frames)
        check(closed_as_protocol_error(s), "unmasked %r: the page is closed with 1002" % frames)
        try:
            logged = station.wait_log(r"refused %s: a live page's frame: an unmasked frame"
                                      % re.escape(source), 5) is not None
        except AssertionError:
            logged = False
        check(logged, "the unmasked frame from %s is logged" % source)
        pages.append(s)
    return pages, 0


ATTACKS = [
    ("requests pipelined on one connection, answers never read", lambda st: pipelined(st)),
    ("requests pipelined, answers read a little", lambda st: pipelined(st, read=256)),
    # Room left below the limit of connections for the log-in that follows.
    ("requests pipelined on 120 connections from two addresses", lambda st: pipelined(st, 120)),
    ("a viewer's pings, pongs never read", pings),
    ("a text, a ping, a close and a continuation, each unmasked", unmasked),
    ("over TLS, requests pipelined, answers never read", lambda st: pipelined(st)),
]


def tls_ini(name):
    """Certificate= and Key= for the TLS rows, made here."""
    if "TLS" not in name:
        return ""
    d = tempfile.mkdtemp(prefix="orvik-tls-")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-days", "1", "-subj", "/CN=localhost", "-keyout", d + "/key.pem",
                    "-out", d + "/cert.pem"], check=True, capture_output=True)
    os.chmod(d + "/key.pem", 0o600)
    return "Certificate=%s/cert.pem\nKey=%s/key.pem\n" % (d, d)


def run(build, number, name, attack):
    """One row on a program of its own, so that its figures are its own."""
    station = Station(build, extra_ini=tls_ini(name))
    station.port = int(station.url.rsplit(":", 1)[1].strip("/"))
    try:
        watcher = live_page(station, "127.0.0.9", log_in(station, "127.0.0.9", "alice"))
        before = memory_mb(station.proc.pid)[1]
        sockets, sent = attack(station)
        rss, hwm = memory_mb(station.proc.pid)
        print("%s: %d MB sent; VmHWM %d MB before, VmRSS %d MB and VmHWM %d MB after"
              % (name, sent >> 20, before, rss, hwm), flush=True)
        check(hwm < BOUND_MB, "%s: the program stays under %d MB" % (name, BOUND_MB))
        temperature = 40 + number
        station.sim_say("say T: %d" % temperature)
        check(wait_for(watcher, rb'"temperature\w*":%d\b' % temperature),
              "%s: the link's readings still reach a live page" % name)
        check(log_in(station, "127.0.0.8", "alice") is not None, "%s: a log-in still works" % name)
        for s in sockets:
            s.close()
    finally:
        station.stop()


def main():
    for number, (name, attack) in enumerate(ATTACKS):
        run(sys.argv[1], number, name, attack)
    print("%d failures" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
