#!/usr/bin/python3
"""Takes the README's screenshot: the game on a private Xvfb, a record of
12 by Giulia stored, Marco's name typed and the greeting closed, the
first question on show; writes the game window's picture to OUT.png.

Usage: screenshot.py GAME OUT.png
"""

import os
import shutil
import sys
import tempfile
import time

import scenario
import texts
from display import Display
from report import Report
from x11 import X11, desktop_env


def main(report):
    game, out = sys.argv[1:3]
    work = tempfile.mkdtemp(prefix="screenshot.")
    report.cleanups.append(lambda: shutil.rmtree(work, ignore_errors=True))
    display = Display(work=work)
    report.cleanups.append(display.close)
    driver = X11(display, work, report)
    driver.env = desktop_env(work, display.env)
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


if __name__ == "__main__":
    Report().run(main)
