#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station page's figures, one run: the delay from a report reaching
the link to its drawing in the page (measured in the page, in headless
Chromium), 50 live pages at once (the program's CPU and their delays),
page load to the first reading, and the page's size. With --screenshots
DIR it also saves the page at desktop and phone size while transmitting.

    bench_web.py BUILD_DIR [--seconds N] [--screenshots DIR]
"""
import base64
import json
import os
import selectors
import socket
import statistics
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
from webstation import Station, browser  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402


def result(name, value, unit, target="", ok=""):
    print("RESULT|%s|%s|%s|%s|%s" % (name, value, unit, target, ok), flush=True)


def p99(values):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(0.99 * (len(ordered) - 1))))]


def log_in(url, user, password):
    """The session cookie over plain HTTP, as the page's form sends it."""
    request = urllib.request.Request(url + "api/login", data=("user=%s&password=%s" % (user, password)).encode())
    with urllib.request.urlopen(request) as r:
        return r.headers["Set-Cookie"].split(";")[0]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class LivePage:
    """A bare WebSocket client: the upgrade, then the server's text frames."""

    def __init__(self, host, port, cookie):
        self.sock = socket.create_connection((host, port))
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(("GET /ws HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n"
                           "Origin: http://%s:%d\r\nCookie: %s\r\n\r\n"
                           % (host, port, key, host, port, cookie)).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(1)
        assert head.startswith(b"HTTP/1.1 101"), head
        self.sock.setblocking(False)
        self.buffer = b""
        self.delays = []

    def read(self):
        try:
            data = self.sock.recv(65536)
        except BlockingIOError:
            return
        now = time.time() * 1000
        self.buffer += data
        while len(self.buffer) >= 2:
            n = self.buffer[1] & 0x7F
            start = 2
            if n == 126:
                if len(self.buffer) < 4:
                    return
                n, start = int.from_bytes(self.buffer[2:4], "big"), 4
            elif n == 127:
                n, start = int.from_bytes(self.buffer[2:10], "big"), 10
            if len(self.buffer) < start + n:
                return
            payload, self.buffer = self.buffer[start:start + n], self.buffer[start + n:]
            message = json.loads(payload)
            if message.get("type") == "status" and message["status"].get("transmitting"):
                self.delays.append(now - message["at"])


def main():
    build = sys.argv[1]
    seconds = int(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 10
    shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
    station = Station(build)
    driver = browser()
    try:
        # The page's size, as served (no compression).
        size = 0
        for path in ("", "page.js", "page.css"):
            with urllib.request.urlopen(station.url + path) as r:
                size += len(r.read())
        result("web page size", "%.1f" % (size / 1024), "KB", "< 100", "yes" if size < 100 * 1024 else "no")

        # Log in, then load the page anew: navigation to the first current reading.
        driver.get(station.url)
        WebDriverWait(driver, 10).until(lambda d: d.find_element(By.ID, "login").is_displayed())
        driver.find_element(By.ID, "name").send_keys("alice")
        driver.find_element(By.ID, "password").send_keys(Station.USERS["alice"][1] + "\n")
        WebDriverWait(driver, 10).until(lambda d: d.find_element(By.ID, "phase").text == "connected")
        loads = []
        for _ in range(5):
            driver.get(station.url)
            WebDriverWait(driver, 10, poll_frequency=0.02).until(
                lambda d: d.execute_script("return window.orvikFirstReadingMs") is not None)
            loads.append(driver.execute_script("return window.orvikFirstReadingMs"))
        result("web page load to first reading", "%.0f" % statistics.median(loads), "ms median")

        # One page while the amplifier transmits (10 reports a second).
        driver.execute_script("window.orvikLatencies = []")
        station.sim_say("tx 700 35 %d" % seconds)
        time.sleep(seconds * 0.4)
        if shots:
            driver.save_screenshot(os.path.join(shots, "web-desktop.png"))
            driver.set_window_size(390, 844)
            time.sleep(0.3)
            driver.save_screenshot(os.path.join(shots, "web-phone.png"))
            driver.set_window_size(1280, 900)
        time.sleep(seconds * 0.6 + 1)
        delays = driver.execute_script("return window.orvikLatencies")
        result("web report to page, median", "%.1f" % statistics.median(delays), "ms", "< 50",
               "yes" if statistics.median(delays) < 50 else "no")
        result("web report to page, p99", "%.1f" % p99(delays), "ms", "< 50", "yes" if p99(delays) < 50 else "no")
        result("web report to page, samples", len(delays), "updates")
        driver.quit()
        driver = None

        # 50 live pages at once, one session each.
        host, port = "127.0.0.1", int(station.url.rsplit(":", 1)[1].strip("/"))
        pages = []
        for _ in range(50):
            pages.append(LivePage(host, port, log_in(station.url, "bob", Station.USERS["bob"][1])))
        selector = selectors.DefaultSelector()
        for p in pages:
            selector.register(p.sock, selectors.EVENT_READ, p)
        time.sleep(0.5)
        cpu0, t0 = cpu_seconds(station.proc.pid), time.monotonic()
        station.sim_say("tx 700 35 %d" % seconds)
        end = time.monotonic() + seconds + 1
        while time.monotonic() < end:
            for key, _ in selector.select(0.1):
                key.data.read()
        cpu = (cpu_seconds(station.proc.pid) - cpu0) / (time.monotonic() - t0)
        all_delays = [d for p in pages for d in p.delays]
        result("web 50 pages: program CPU", "%.1f" % (100 * cpu), "% of a core")
        result("web 50 pages: delay median", "%.1f" % statistics.median(all_delays), "ms", "< 50",
               "yes" if statistics.median(all_delays) < 50 else "no")
        result("web 50 pages: delay p99", "%.1f" % p99(all_delays), "ms")
        result("web 50 pages: updates each", "%d" % min(len(p.delays) for p in pages), "min")
    finally:
        if driver:
            driver.quit()
        station.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
