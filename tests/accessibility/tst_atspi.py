#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The panel as a screen reader meets it: through the real AT-SPI bus.

Runs inside its own D-Bus session (dbus-run-session) with an X server
(Xvfb) and the accessibility bus, starts the simulated amplifier on a
pseudo-terminal and the panel on a dense screen (scale 2), and reads and
drives the main window only through AT-SPI, as Orca does: names, roles,
states and values of the tree, the Press action of the buttons, and the
events a screen reader reacts to (a notification coming into view, a value
or a checked state changing) while the amplifier transmits, raises an alarm
and confirms a PTT block.

    dbus-run-session -- tst_atspi.py BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Debian 12's libatspi names some calls differently from newer ones.
warnings.simplefilter("ignore", DeprecationWarning)

FAILURES = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


def pump(seconds):
    """Lets events arrive for `seconds`."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            result = predicate()
        except GLib.Error:
            result = None
        if result:
            return result
        pump(0.1)
    return None


def role(node):
    return node.get_role_name()


def walk(node, out=None):
    out = [] if out is None else out
    out.append(node)
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, out)
    return out


def find(root, role_name, name=None):
    for node in walk(root):
        if role(node) == role_name and (name is None or node.get_name() == name):
            return node
    return None


def states(node):
    return node.get_state_set()


def press(node):
    for i in range(Atspi.Action.get_n_actions(node)):
        if Atspi.Action.get_action_name(node, i).lower() == "press":
            return Atspi.Action.do_action(node, i)
    return False


def current(node):
    return Atspi.Value.get_current_value(node)


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1200x24", "-nolisten", "tcp"],
        pass_fds=[write_end],
    )
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        byte = os.read(read_end, 1)
        if not byte:
            raise RuntimeError("Xvfb did not start")
        number += byte
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


def main():
    build = os.path.abspath(sys.argv[1])
    run = tempfile.mkdtemp(prefix="orvik-atspi.")
    processes = []
    try:
        xvfb, display = start_xvfb()
        processes.append(xvfb)
        os.environ["DISPLAY"] = display

        link = os.path.join(run, "amplifier")
        sim = subprocess.Popen(
            [os.path.join(build, "orvik-sim"), "--atu", "--link", link, "--log",
             os.path.join(run, "sim.log")],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        processes.append(sim)
        check(wait_for(lambda: os.path.exists(link), 5), "the simulator is on its device")

        def say(command):
            sim.stdin.write((command + "\n").encode())
            sim.stdin.flush()

        # The panel reads its port from the INI file beside the executable.
        shutil.copy(os.path.join(build, "orvik-control"), run)
        with open(os.path.join(run, "Orvik_control.ini"), "w") as ini:
            ini.write("[Configuration]\r\nPort=%s\r\n" % link)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   QT_SCALE_FACTOR="2")
        panel = subprocess.Popen([os.path.join(run, "orvik-control")], env=env)
        processes.append(panel)

        # Events a screen reader reacts to without the focus moving.
        heard = []

        def on_event(event):
            try:
                heard.append((event.type, role(event.source), event.source.get_name(),
                              event.detail1))
            except GLib.Error:
                pass

        listener = Atspi.EventListener.new(on_event)
        for kind in ("object:state-changed:showing", "object:state-changed:checked",
                     "object:property-change:accessible-value",
                     "object:property-change:accessible-name"):
            listener.register(kind)

        def application():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                if app is not None and app.get_name() == "Orvik Remote Control":
                    return app
            return None

        app = wait_for(application, 20)
        if not check(app is not None, "the panel is on the accessibility bus"):
            raise SystemExit(1)
        main_window = wait_for(lambda: find(app, "frame", "Orvik 1200 Remote Control"))
        check(main_window is not None, "main window frame")

        # ---- The tree before connecting -------------------------------------
        open_port = find(main_window, "push button", "Open Port")
        close_port = find(main_window, "push button", "Close Port")
        check(open_port is not None and close_port is not None, "Open Port and Close Port buttons")
        check(states(close_port).contains(Atspi.StateType.CHECKED),
              "Close Port pressed in while the port is closed")
        check(states(open_port).contains(Atspi.StateType.FOCUSABLE), "Open Port takes the focus")
        bands = [n.get_name() for n in walk(main_window) if role(n) == "radio button"]
        check(bands == ["160M", "80M", "40M", "30M, 20M", "15M, 17M", "12M, 10M", "6M"],
              "band buttons %s" % bands)
        output = find(main_window, "progress bar", "Output power")
        reverse = find(main_window, "progress bar", "Reverse power")
        check(output is not None and reverse is not None, "output and reverse meters")
        check(Atspi.Value.get_maximum_value(output) == 1200 and current(output) == 0,
              "output meter 0 of 1200 watts")
        check(find(main_window, "label", "Temperature unknown") is not None,
              "temperature unknown before the first report")
        check(find(main_window, "push button", "Click to block PTT") is not None,
              "PTT block button")
        check(find(main_window, "label", "Transmit") is not None, "transmit lamp")
        nameless = [role(n) for n in walk(main_window)
                    if not n.get_name().strip()
                    and role(n) not in ("filler", "panel", "menu bar", "popup menu",
                                        "separator", "list", "notification")]
        check(not nameless, "nothing nameless to land on %s" % nameless)

        # ---- Connect through the screen reader's Press ----------------------
        check(press(open_port), "Open Port pressed through AT-SPI")
        check(wait_for(lambda: find(main_window, "push button", "PA connected"), 10),
              "connected: the button reads PA connected")
        def checked_bands():
            return [n.get_name() for n in walk(main_window)
                    if role(n) == "radio button" and states(n).contains(Atspi.StateType.CHECKED)]

        check(wait_for(lambda: checked_bands() == ["40M"], 5),
              "the amplifier's band 40M alone is checked")

        # ---- Temperature -------------------------------------------------------
        say("temp 45")
        temperature = wait_for(lambda: find(main_window, "label", "Temperature 45 degrees"), 5)
        check(temperature is not None and temperature.get_description() == "yellow: warm",
              "temperature reads 'Temperature 45 degrees', yellow: warm")

        # ---- A transmission -----------------------------------------------------
        heard.clear()
        say("tx 850 20 3")
        reading = wait_for(lambda: current(output) >= 800 and current(output), 5)
        check(bool(reading), "output meter follows the transmission (%s watts)" % reading)
        print("      output meter: name %r, value %s of %s..%s, description %r" % (
            output.get_name(), current(output), Atspi.Value.get_minimum_value(output),
            Atspi.Value.get_maximum_value(output), output.get_description()), flush=True)
        lamp = find(main_window, "label", "Transmit")
        check(lamp.get_description() == "lit, red: transmitting", "lamp: lit, red: transmitting")
        check(any(e[0] == "object:property-change:accessible-value" and e[2] == "Output power"
                  for e in heard), "value changes reach the bus")
        wait_for(lambda: current(output) == 0, 8)
        pump(0.5)
        said = [e[2] for e in heard if e[0] == "object:state-changed:showing"
                and e[1] == "notification" and e[3] == 1]
        check(said[:1] == ["Transmitting"] and "Receiving" in said,
              "announced without focus: %s" % said)

        # ---- PTT block --------------------------------------------------------
        heard.clear()
        check(press(find(main_window, "push button", "Click to block PTT")), "PTT block pressed")
        blocked = wait_for(lambda: find(main_window, "push button", "PTT Blocked!"), 5)
        check(blocked is not None and states(blocked).contains(Atspi.StateType.CHECKED),
              "PTT block confirmed: 'PTT Blocked!', checked")
        pump(0.3)
        check(("object:state-changed:showing", "notification", "PTT blocked", 1) in heard,
              "PTT block announced")

        # ---- An alarm ------------------------------------------------------------
        heard.clear()
        say("alarm SWR")
        alert = wait_for(lambda: find(app, "alert", "Reverse Power is too HIGH!"), 5)
        check(alert is not None, "alarm window: alert 'Reverse Power is too HIGH!'")
        pump(0.3)
        check(("object:state-changed:showing", "notification",
               "Alarm: Reverse Power is too HIGH!", 1) in heard, "alarm announced")
        check(alert is not None and not states(alert).contains(Atspi.StateType.ACTIVE),
              "the alarm window does not take the focus")

        # ---- A band through the screen reader ---------------------------------
        check(press(find(main_window, "radio button", "80M")), "80M pressed")
        check(wait_for(lambda: checked_bands() == ["80M"], 5), "80M alone checked")
        with open(os.path.join(run, "sim.log")) as log:
            text = log.read()
        check("< B: 2" in text and "< BL:ON" in text and "< PA?" in text,
              "the amplifier got PA?, BL:ON and B: 2")
        listener.deregister("object:state-changed:showing")
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(run, ignore_errors=True)
    if FAILURES:
        print("%d failed" % len(FAILURES))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
