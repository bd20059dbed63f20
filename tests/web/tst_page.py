#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station page in a real browser: headless Chromium driven through
chromium-driver against the headless program and the simulator.

    tst_page.py BUILD_DIR [SCREENSHOT_DIR]
"""
import os
import signal
import sqlite3
import subprocess
import sys
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from webstation import Station, browser

FAILURES = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


def text(driver, id):
    return driver.find_element(By.ID, id).text


def wait_for(driver, predicate, seconds=15):
    try:
        return WebDriverWait(driver, seconds, poll_frequency=0.05).until(lambda d: predicate(d))
    except Exception:
        return None


def log_in(driver, station, user):
    driver.get(station.url)
    wait_for(driver, lambda d: d.find_element(By.ID, "login").is_displayed())
    driver.find_element(By.ID, "name").send_keys(user)
    driver.find_element(By.ID, "password").send_keys(Station.USERS[user][1] + "\n")
    return wait_for(driver, lambda d: text(d, "phase") == "connected")


def log_out(driver):
    driver.find_element(By.ID, "logout").click()
    return wait_for(driver, lambda d: d.find_element(By.ID, "login").is_displayed())


def watts(driver):
    t = text(driver, "output")
    return int(t.split()[0]) if t.endswith(" W") else None


SIZES = ((360, 640), (412, 915), (1280, 800))


def size(driver, width, height):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 800})


def standby_in_view(driver):
    """Standby wholly in the viewport, at the top and with the page scrolled to its end."""
    return driver.execute_script("""
        const seen = () => { const r = document.getElementById('standby').getBoundingClientRect();
                             return r.height > 0 && r.top >= 0 && r.bottom <= innerHeight; };
        scrollTo(0, 0); const top = seen();
        scrollTo(0, document.body.scrollHeight); const end = seen();
        scrollTo(0, 0); return top && end;""")


def small_controls(driver):
    return driver.execute_script("""
        return [...document.querySelectorAll('button, input')].filter((e) => e.offsetParent)
            .map((e) => [e.id || e.textContent, e.getBoundingClientRect()])
            .filter(([, r]) => r.width < 43.5 || r.height < 43.5)
            .map(([n, r]) => n + ' ' + r.width + 'x' + r.height);""")


def at_every_size(driver, shots, state, checks=()):
    for width, height in SIZES:
        size(driver, width, height)
        time.sleep(0.2)
        for check_at in checks:
            check_at(width, height)
        if shots:
            driver.save_screenshot("%s/web-%dx%d-%s.png" % (shots, width, height, state))
            if state == "live":  # the plots and events too, Standby still on top
                driver.execute_script("document.getElementById('history').scrollIntoView()")
                driver.save_screenshot("%s/web-%dx%d-history.png" % (shots, width, height))
                driver.execute_script("scrollTo(0, 0)")


def in_the_hand(driver, station, shots):
    """The page at a phone's sizes and up: Standby in view, targets of 44 px,
    controls off while the link is lost, the log-in form back after a restart."""
    time.sleep(1.5)  # past the wait of the failed log-in before
    size(driver, *SIZES[0])
    check(log_in(driver, station, "alice"), "at 360 x 640 the operator logs in")
    at_every_size(driver, shots, "live", [
        lambda w, h: check(standby_in_view(driver), "%dx%d: Standby in view, scrolled or not" % (w, h)),
        lambda w, h: check(small_controls(driver) == [], "%dx%d: no control under 44 px: %s"
                           % (w, h, small_controls(driver)))])
    station.sim_say("alarm SWR")
    check(wait_for(driver, lambda d: d.find_element(By.ID, "alarms").is_displayed()), "the alarm shows")
    at_every_size(driver, shots, "alarm", [
        lambda w, h: check(standby_in_view(driver), "%dx%d: Standby in view under the alarm" % (w, h))])
    station.sim_say("alarm OFF")
    os.kill(station.sim.pid, signal.SIGSTOP)
    check(wait_for(driver, lambda d: text(d, "phase") == "no answer", 20), "the link is lost")
    check(driver.find_element(By.ID, "standby").get_attribute("disabled") is not None and
          driver.find_element(By.CSS_SELECTOR, "#bands button").get_attribute("disabled") is not None,
          "the controls are disabled while the link is lost")
    check(text(driver, "output") == "—" and text(driver, "swr") == "—", "the readings show \"—\"")
    at_every_size(driver, shots, "link-lost")
    os.kill(station.sim.pid, signal.SIGCONT)
    check(wait_for(driver, lambda d: d.find_element(By.ID, "standby").get_attribute("disabled") is None, 20),
          "the controls come back with the link")
    station.restart()
    check(wait_for(driver, lambda d: d.find_element(By.ID, "login").is_displayed(), 20) and
          "log in again" in text(driver, "loginReason"),
          "after a restart of the program the log-in form is back, with the reason")
    at_every_size(driver, shots, "session-ended")
    check(log_in(driver, station, "alice"), "after the restart the operator logs in again")


def main():
    build = sys.argv[1]
    shots = sys.argv[2] if len(sys.argv) > 2 else None
    station = Station(build)
    driver = browser()
    try:
        check(log_in(driver, station, "alice"), "the operator logs in and sees the amplifier connected")
        check(driver.find_element(By.ID, "controls").is_displayed(), "an operator sees the controls")
        station.wait_log(r"web: log-in alice@127\.0\.0\.1 \(operator\)")

        station.sim_say("tx 600 30 4")
        check(wait_for(driver, lambda d: (watts(d) or 0) >= 500), "the output power rises while the simulator transmits")
        check(int(driver.find_element(By.ID, "outBar").get_attribute("aria-valuenow") or 0) >= 500,
              "the output bar carries the reading for a screen reader")
        check(wait_for(driver, lambda d: watts(d) == 0, 10), "the output falls to 0 W after the transmission")
        check(wait_for(driver, lambda d: int(text(d, "peak").split()[0] if text(d, "peak") != "—" else 0) >= 500),
              "the peak of the last transmission stays shown")

        station.sim_say("alarm SWR")
        check(wait_for(driver, lambda d: d.find_element(By.ID, "alarms").is_displayed() and "reverse power" in text(d, "alarms")),
              "an alarm appears")
        if shots:
            driver.save_screenshot(shots + "/web-desktop-alarm.png")
        station.sim_say("alarm OFF")
        check(wait_for(driver, lambda d: not d.find_element(By.ID, "alarms").is_displayed()), "the alarm clears")

        sim_pid = station.sim.pid
        os.kill(sim_pid, signal.SIGSTOP)  # the amplifier stops answering
        check(wait_for(driver, lambda d: text(d, "phase") == "no answer", 20), "the page shows \"no answer\" while the simulator is stopped")
        check(text(driver, "output") == "—" and text(driver, "temperature") == "—",
              "readings that are not current are not shown as the last value")
        os.kill(sim_pid, signal.SIGCONT)
        check(wait_for(driver, lambda d: text(d, "phase") == "connected", 20), "the page recovers when the simulator answers again")

        driver.find_element(By.CSS_SELECTOR, "#bands button[data-band='5']").click()
        check(wait_for(driver, lambda d: "< B: 5" in station.sim_log()), "choosing a band reaches the simulator as B: 5")
        check(wait_for(driver, lambda d: text(d, "band") == "17M/15M"), "the page shows the new band")
        station.wait_log(r"command from web alice@127\.0\.0\.1: band 5: ok")

        check(text(driver, "ptt") == "—", "a PTT block the amplifier never confirmed is not known")
        driver.find_element(By.ID, "standby").click()
        check(wait_for(driver, lambda d: "< BL:ON" in station.sim_log()), "standby sends BL:ON")
        check(wait_for(driver, lambda d: text(d, "ptt").startswith("blocked")), "the page shows the PTT blocked")
        check(wait_for(driver, lambda d: "standby" in text(d, "outcome")), "the command's outcome is shown")
        driver.find_element(By.ID, "tune").click()
        check(wait_for(driver, lambda d: text(d, "outcome") == "tune: the tuner is bypassed"),
              "tune while the tuner is bypassed is answered with the gate's reason")
        station.sim_say("set atustate 1")
        station.sim_say("say ATU_STATE: 1")
        check(wait_for(driver, lambda d: text(d, "tuner").startswith("in line")), "the page shows the tuner in line")
        driver.find_element(By.ID, "tune").click()
        check(wait_for(driver, lambda d: "< TUNE ON" in station.sim_log()), "tune reaches the simulator as TUNE ON")
        if shots:
            driver.save_screenshot(shots + "/web-desktop.png")
        check(log_out(driver), "the operator logs out")
        station.wait_log(r"web: log-out alice@127\.0\.0\.1")

        check(log_in(driver, station, "bob"), "a viewer logs in")
        check(not driver.find_element(By.ID, "controls").is_displayed(), "a viewer sees no controls")
        status = driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const info = await (await fetch('/api/session')).json();
            const r = await fetch('/api/command', {method: 'POST',
                headers: {'Content-Type': 'application/json', 'X-Orvik-Token': info.token},
                body: JSON.stringify({command: 'band', value: 2})});
            done(r.status);""")
        check(status == 403, "a command forged by a viewer is refused (got %s)" % status)
        check("< B: 2" not in station.sim_log(), "the forged command did not reach the amplifier")
        if shots:
            driver.set_window_size(390, 844)
            time.sleep(0.3)
            driver.save_screenshot(shots + "/web-phone.png")
        check(log_out(driver), "the viewer logs out")
        driver.get(station.url)
        check(wait_for(driver, lambda d: d.find_element(By.ID, "login").is_displayed()), "after log-out the page asks for a log-in again")
        # A wrong password is logged as a failure.
        driver.find_element(By.ID, "name").send_keys("alice")
        driver.find_element(By.ID, "password").send_keys("not-her-password\n")
        check(wait_for(driver, lambda d: "wrong" in text(d, "loginError")), "a wrong password is refused on the page")
        station.wait_log(r"web: failed log-in as alice from 127\.0\.0\.1")
        in_the_hand(driver, station, shots)
    finally:
        driver.quit()
        station.stop()
    # The users file stays its owner's; a user written again is replaced, the others kept.
    subprocess.run([station.program, "--web-passwd", station.users, "alice"], input="new\n", text=True, check=True)
    with open(station.users) as f:
        check([line.split(":")[:2] for line in f] == [["bob", "viewer"], ["alice", "viewer"]] and
              os.stat(station.users).st_mode & 0o777 == 0o600, "--web-passwd replaces a user and keeps the file 0600")
    subprocess.run([station.program, "--web-passwd", station.users, "bob", "--remove"], check=True,
                   stdout=subprocess.DEVNULL)
    with open(station.users) as f:
        check([line.split(":")[0] for line in f] == ["alice"], "--web-passwd USER --remove takes the user out")
    # The history's events hold every log-in, its failure, the log-outs and the commands.
    with sqlite3.connect(station.dir + "/history.sqlite") as db:
        events = [kind + ": " + (detail or "") for kind, detail in db.execute("SELECT kind, detail FROM events")]
    for wanted in ("web: log-in alice@127.0.0.1 (operator)", "web: log-out alice@127.0.0.1",
                   "web: log-in bob@127.0.0.1 (viewer)", "web: failed log-in as alice from 127.0.0.1",
                   "command: web alice@127.0.0.1: band 5: ok", "command: web alice@127.0.0.1: standby: ok",
                   "command: web alice@127.0.0.1: tune: ok"):
        check(wanted in events, "the history's events hold \"%s\"" % wanted)
    print("%d failures" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
