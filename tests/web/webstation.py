# SPDX-License-Identifier: GPL-3.0-or-later
"""The headless program with its station page on the simulated amplifier,
and a headless Chromium to look at it: started and stopped here for the
browser test and the page's benchmark."""
import os
import re
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


class Station:
    """orvik-sim on a pseudo-terminal and orvik-control --headless --web on
    it, with users alice (operator) and bob (viewer) in a users file."""

    USERS = {"alice": ("operator", "alice-pw-1"), "bob": ("viewer", "bob-pw-2")}

    def __init__(self, build, extra_args=(), extra_ini=""):
        self.dir = tempfile.mkdtemp(prefix="orvik-web-")
        self.program = os.path.join(build, "orvik-control")
        self.users = os.path.join(self.dir, "users")
        for name, (role, password) in self.USERS.items():
            subprocess.run([self.program, "--web-passwd", self.users, name, role],
                           input=password + "\n", text=True, check=True,
                           stdout=subprocess.DEVNULL)
        self.link = os.path.join(self.dir, "amp")
        self.simlog = os.path.join(self.dir, "sim.log")
        self.sim = subprocess.Popen(
            [os.path.join(build, "orvik-sim"), "--link", self.link, "--log", self.simlog, "--atu"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.sim.stdout.readline()  # the device path: the link exists
        ini = os.path.join(self.dir, "station.ini")
        with open(ini, "w") as f:
            f.write("[Web]\nUsersFile=%s\n%s" % (self.users, extra_ini))
        self.ini, self.extra_args = ini, extra_args
        self.log = os.path.join(self.dir, "headless.log")
        self.out = open(self.log, "w")
        self.url = self.start("127.0.0.1:0")

    def start(self, web):
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        self.out.truncate(0)
        self.out.seek(0)
        self.proc = subprocess.Popen(
            [self.program, "--headless", "--config", self.ini, "--port", self.link,
             "--history", os.path.join(self.dir, "history.sqlite"),
             "--web", web, *self.extra_args],
            stdout=self.out, stderr=subprocess.STDOUT, env=env)
        url = self.wait_log(r"web: listening on (https?://127\.0\.0\.1:\d+/)").group(1)
        self.wait_log(r"amplifier connected")
        return url

    def restart(self):
        """The program stopped and started again on the same port: every
        session is gone."""
        self.proc.terminate()
        self.proc.wait(10)
        self.start(self.url.split("//")[1].rstrip("/"))

    def log_text(self):
        with open(self.log) as f:
            return f.read()

    def sim_log(self):
        with open(self.simlog, errors="replace") as f:
            return f.read()

    def wait_log(self, pattern, seconds=15):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            m = re.search(pattern, self.log_text())
            if m:
                return m
            if self.proc.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError("no %r in the log:\n%s" % (pattern, self.log_text()))

    def sim_say(self, line):
        self.sim.stdin.write(line + "\n")
        self.sim.stdin.flush()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.out.close()
        self.sim_say("quit")
        self.sim.wait(10)


def browser(width=1280, height=900):
    """Debian's Chromium through chromium-driver, headless."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--disable-gpu", "--window-size=%d,%d" % (width, height),
                "--disable-dev-shm-usage", "--no-first-run"):
        options.add_argument(arg)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")  # Chromium's sandbox refuses to run as root
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
