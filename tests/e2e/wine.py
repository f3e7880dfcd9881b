"""The Windows build under Wine on a private Xvfb: the game's windows are
X windows, found by their title and given the keyboard as a window
manager would (Wine leaves that to one); otherwise as on X11."""

import re
import subprocess
import time

import texts
from report import check
from x11 import X11


class Wine(X11):
    type_delay = 60

    def __init__(self, display, work, report, records, env, game_pattern):
        super().__init__(display, work, report)
        self.env = env
        # The folder the game keeps its record in, and the command line by
        # which its process is known (start returns at once for a shortcut).
        self.records = records
        self.pattern = game_pattern

    focus_seconds = 60

    def focused(self):
        # A goodbye by its first word: its date is in Wine's own format.
        title = super().focused()
        return texts.goodbye_title() if title.startswith("Data ") else title

    def give_focus(self, title):
        """As a window manager would (Wine leaves that to one)."""
        pattern = "^Data " if title.startswith("Data ") else "^%s$" % re.escape(title)
        found = self.xdotool("search", "--onlyvisible", "--name", pattern).split()
        if found:
            self.xdotool("windowfocus", "--sync", found[-1])

    def alive(self):
        # The game's process may be a moment away after start has returned.
        return True

    def running(self):
        return (self.game is not None and self.game.poll() is None) or subprocess.run(
            ["pgrep", "-f", self.pattern], capture_output=True).returncode == 0

    def ended(self, seconds=30):
        """The game's process ends, and no window is left: no crash box either."""
        deadline = time.monotonic() + seconds
        while self.running():
            check(time.monotonic() < deadline, "the game did not end")
            time.sleep(0.1)
        left = [self.xdotool("getwindowname", w)
                for w in self.xdotool("search", "--onlyvisible", "--name", ".").split()]
        check(not left, "windows left on the screen after the game: %r" % left)
