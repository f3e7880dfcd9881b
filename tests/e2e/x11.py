#!/usr/bin/python3
"""The game on an X server, played with xdotool as from a keyboard: the
window with the keyboard focus is the one the pupil types into, and
pictures of windows are taken off the screen.

As a command, on a private Xvfb: "screenshot GAME OUT.png" takes the
README's picture (12 by Giulia stored, Marco named, the first question
shown); "started PROGRAM LOG COMMAND..." checks that COMMAND runs PROGRAM
and its name prompt gets the keyboard (the game's output in LOG).
"""

import os
import signal
import subprocess
import sys
import time

from PIL import ImageGrab

import scenario
import texts
from display import scratch, wait_until
from report import Failure, Report, check


class X11(scenario.Driver):
    # Milliseconds between two keys typed, and two keys pressed.
    type_delay, key_delay = 30, 30

    def __init__(self, display, work, report, env=None):
        """env: the game's and the tools' environment; by default a pupil's
        session of its own (desktop_env)."""
        self.display = display
        self.env = env or desktop_env(work, display.env)
        # Where the game keeps its record files.
        self.records = os.path.join(work, "data", "segni")
        self.game = None
        report.on_failure.append(self.show)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                              text=True).stdout.strip()

    def start(self, command, env=None):
        self.game = self.display.spawn("game", command, env=env or self.env)

    # How long a window may take to get the keyboard.
    focus_seconds = 30

    def focused(self):
        """The title of the window with the keyboard."""
        return self.xdotool("getwindowfocus", "getwindowname")

    def focus_id(self):
        return self.xdotool("getwindowfocus")

    def has_keyboard(self, title):
        return self.focused() == title

    def give_focus(self, title):
        """Where no window manager does, gives the window the keyboard."""

    def watched(self):
        """The process whose end ends a wait for a window: the game's."""
        return self.game

    def window(self, title):
        """The window of that title, once it has the keyboard."""
        def focused():
            if self.has_keyboard(title):
                return self.focus_id()
            self.give_focus(title)
        return wait_until(lambda: "no window titled %r has the keyboard (it is on %r)" % (
            title, self.focused()), focused, self.watched(), self.focus_seconds)

    def screen(self):
        return ImageGrab.grab(xdisplay=self.display.name)

    def geometry(self, window):
        """Where the window's own area is on the screen. (xdotool's own
        answer is off by the frame under a window manager.)"""
        info = subprocess.run(["xwininfo", "-id", window], env=self.env, capture_output=True,
                              text=True).stdout
        values = dict(line.strip().split(": ", 1) for line in info.splitlines()
                      if ": " in line)
        return tuple(int(values[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y",
                                              "Width", "Height"))

    def picture(self, title):
        x, y, width, height = self.geometry(self.window(title))
        return self.screen().crop((x, y, x + width, y + height))

    def type(self, text):
        subprocess.run(["xdotool", "type", "--delay", str(self.type_delay), "--", text],
                       env=self.env, check=True)

    def key(self, *names):
        subprocess.run(["xdotool", "key", "--delay", str(self.key_delay), *names], env=self.env,
                       check=True)

    def enter(self):
        self.key("Return")

    def exit(self):
        self.key("alt+x")

    def terminate(self):
        self.game.send_signal(signal.SIGTERM)

    def ended(self, seconds=10):
        try:
            status = self.game.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure("the game did not end")
        check(status == 0, "the game ended with status %d" % status)

    def record(self):
        return {name: open(os.path.join(self.records, name), "rb").read()
                for name in (texts.SCORE_FILE, texts.HOLDER_FILE)
                if os.path.isfile(os.path.join(self.records, name))}

    def show(self):
        if self.game is not None:
            print("  (the game %s)" % ("is still running" if self.game.poll() is None
                                      else "has ended, status %s" % self.game.returncode))
        print("  record files: %r" % self.record())
        self.display.show_logs()


def desktop_env(work, base):
    """A pupil's session of its own in WORK: a home, data and runtime
    folders, no regional settings (the goodbye's date is dd/MM/yyyy), no
    scale set from outside."""
    env = dict(base)
    for key in ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_QPA_PLATFORM",
                "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"):
        env.pop(key, None)
    env.update(HOME=os.path.join(work, "home"), XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_RUNTIME_DIR=os.path.join(work, "run"),
               XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_CACHE_HOME=os.path.join(work, "cache"), LC_ALL="C.UTF-8", LANG="C.UTF-8")
    for folder in ("home", "run", "config"):
        os.makedirs(os.path.join(work, folder), exist_ok=True)
    os.chmod(env["XDG_RUNTIME_DIR"], 0o700)
    return env


def screenshot(report, game, out):
    display, work = scratch(report, "screenshot.")
    driver = X11(display, work, report)
    os.makedirs(driver.records)
    for name, data in texts.record_bytes(12, "Giulia").items():
        with open(os.path.join(driver.records, name), "wb") as f:
            f.write(data)
    driver.start([game])
    scenario.start(driver, report, "Marco")
    driver.question()
    time.sleep(0.5)
    driver.picture(texts.GAME_TITLE).save(out)
    report.ok("wrote " + out)


def started(report, program, log, *command):
    display, work = scratch(report, "started.")
    driver = X11(display, work, report, display.env)
    driver.start(list(command))
    report.cleanups.append(lambda: open(log, "w").write(display.log("game")))
    driver.window(texts.PROMPT_TITLE)
    running = os.readlink("/proc/%d/exe" % driver.game.pid)
    check(running == program, "the program running is %s, not %s" % (running, program))
    report.ok("%s started; its name prompt has the keyboard" % program)


if __name__ == "__main__":
    Report().run(lambda report: {"screenshot": screenshot, "started": started}[sys.argv[1]](
        report, *sys.argv[2:]))
