#!/usr/bin/python3
"""Plays a short game of the real program natively under Wayland
(wayland.py): the pupil's game (scenario.game) with the record announced
by the next question; then that every box opened after the game window
names it as its parent. Skips (status 77) only when the compositor cannot
run here.

Usage: wayland_game.py GAME
"""

import shutil
import sys
import tempfile

import scenario
import texts
from display import Display
from report import Report, check
from wayland import Wayland
from x11 import desktop_env


def main(report):
    work = tempfile.mkdtemp(prefix="wayland_game.")
    report.cleanups.append(lambda: shutil.rmtree(work, ignore_errors=True))
    display = Display("1280x1024", work=work)
    report.cleanups.append(display.close)
    env = desktop_env(work, display.env)
    # Qt's Wayland plugin leaves its protocol objects, and Mesa's driver
    # (which it loads for the window frames) its start-up state, at exit;
    # the driver is unloaded before LeakSanitizer looks, so no suppression
    # can name it. The game's own code is leak-checked by every other test.
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    driver = Wayland(display, work, report, env)
    driver.start([sys.argv[1]])
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
    Report().run(main)
