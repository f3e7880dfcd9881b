#!/usr/bin/python3
"""Plays a short game of the real program as a pupil would (scenario.game),
each box's text and the question read off the screen.

x11: on a private Xvfb from the keyboard alone (x11.py), with no icon
theme to be found. Under openbox each box and the game window must still
get the keyboard; with sigterm the game is ended after the right answer
by SIGTERM, as at a logout or a shutdown, and must have saved the record
all the same.
wayland: natively under Wayland (wayland.py), the record announced by the
next question; then every box opened after the game window must name it
as its parent. Skips (status 77) only when the compositor cannot run.

Usage: desktop_game.py x11 GAME [none|openbox] [exit|sigterm]
       desktop_game.py wayland GAME
"""

import os
import sys

import scenario
import texts
from display import scratch
from report import Report, check
from wayland import Wayland
from x11 import X11, desktop_env


def x11(report, game, wm="none", ending="exit"):
    display, work = scratch(report, "xvfb_game.")
    if wm == "openbox":
        display.openbox()
    driver = X11(display, work, report)
    driver.env.update(QT_QPA_PLATFORM="xcb", XDG_DATA_DIRS=os.path.join(work, "no-shared-data"))
    driver.start([game])
    scenario.game(driver, report, ending=driver.terminate if ending == "sigterm" else None)


def wayland(report, game):
    display, work = scratch(report, "wayland_game.", "1280x1024")
    env = desktop_env(work, display.env)
    # Qt's Wayland plugin leaves its protocol objects, and Mesa's driver
    # (which it loads for the window frames) its start-up state, at exit;
    # the driver is unloaded before LeakSanitizer looks, so no suppression
    # can name it. The game's own code is leak-checked by every other test.
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    driver = Wayland(display, work, report, env)
    driver.start([game])
    scenario.game(driver, report, announced=True)
    # Every window after the game window is a box on top of it.
    made = driver.windows()
    titles = [title for title, _, _ in made]
    check(texts.GAME_TITLE in titles, "no game window among %r" % titles)
    boxes = [(title, parent) for title, parent, _ in made[titles.index(texts.GAME_TITLE) + 1:]]
    expected = [(texts.BOX_TITLE, texts.GAME_TITLE), (texts.goodbye_title(), texts.GAME_TITLE),
                (texts.BOX_TITLE, texts.GAME_TITLE)]
    check(boxes == expected, "the boxes after the game window, with their parents: %r" % boxes)
    report.ok("boxes, each with the game window as parent: %s"
              % ", ".join(title for title, _ in boxes))


if __name__ == "__main__":
    Report().run(lambda report: {"x11": x11, "wayland": wayland}[sys.argv[1]](
        report, *sys.argv[2:]))
