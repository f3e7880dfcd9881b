#!/usr/bin/python3
"""Plays a short game of the real program on a private Xvfb, from the
keyboard alone, as a pupil would (scenario.game): the name, the greeting,
one right answer read off the screen, Exit, the goodbye and the record's
confirmation, each box's text read; then the bytes of both record files.
With openbox the game runs under that window manager: each box and the
game window must still get the keyboard. With sigterm the game is ended
after the right answer by SIGTERM, as at a logout or a shutdown, and must
have saved the record all the same.

Usage: xvfb_game.py GAME [none|openbox] [exit|sigterm]
"""

import os
import shutil
import sys
import tempfile

import scenario
from display import Display
from report import Report
from x11 import X11, desktop_env


def main(report):
    game = sys.argv[1]
    wm = sys.argv[2] if len(sys.argv) > 2 else "none"
    ending = sys.argv[3] if len(sys.argv) > 3 else "exit"
    work = tempfile.mkdtemp(prefix="xvfb_game.")
    report.cleanups.append(lambda: shutil.rmtree(work, ignore_errors=True))
    display = Display(work=work)
    report.cleanups.append(display.close)
    if wm == "openbox":
        display.openbox()
    driver = X11(display, work, report)
    driver.env = desktop_env(work, display.env)
    # No icon themes to be found: the game must not need one.
    driver.env.update(QT_QPA_PLATFORM="xcb", XDG_DATA_DIRS=os.path.join(work, "no-shared-data"))
    driver.start([game])
    scenario.game(driver, report, ending=ending)


if __name__ == "__main__":
    Report().run(main)
