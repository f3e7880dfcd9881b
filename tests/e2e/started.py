#!/usr/bin/python3
"""Starts COMMAND on a private Xvfb (DISPLAY in its environment) as a
desktop starts a program, and checks that the process it runs is PROGRAM
and that the game's name prompt gets the keyboard; then ends it.

Usage: started.py PROGRAM LOG COMMAND [ARGUMENT...]
"""

import os
import shutil
import sys
import tempfile

import texts
from display import Display
from report import Report, check
from x11 import X11


def main(report):
    program, log, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    work = tempfile.mkdtemp(prefix="started.")
    report.cleanups.append(lambda: shutil.rmtree(work, ignore_errors=True))
    display = Display(work=work)
    report.cleanups.append(display.close)
    driver = X11(display, work, report)
    driver.start(command)
    def keep_log():
        with open(log, "w") as f:
            f.write(display.log("game"))
    report.cleanups.append(keep_log)
    driver.window(texts.PROMPT_TITLE)
    running = os.readlink("/proc/%d/exe" % driver.game.pid)
    check(running == program, "the program running is %s, not %s" % (running, program))
    report.ok("%s started; its name prompt has the keyboard" % program)


if __name__ == "__main__":
    Report().run(main)
