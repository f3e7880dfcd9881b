"""The Windows build under Wine on a private Xvfb: the game's windows are
X windows, found by their title and given the keyboard as a window
manager would (Wine leaves that to one); otherwise as on X11."""

import glob
import subprocess
import time

import texts
from display import wait_until
from report import check
from x11 import X11


class Wine(X11):
    type_delay = 60
    focus_seconds = 60

    def __init__(self, display, work, report, records, env, game_pattern):
        """records: the folder the game keeps its record in (a glob pattern);
        game_pattern: the command line by which the game's process is known
        (start returns at once for a shortcut)."""
        super().__init__(display, work, report, env)
        self.records = records
        self.pattern = game_pattern

    def shown(self):
        """The visible windows, as (id, title)."""
        return [(w, self.xdotool("getwindowname", w))
                for w in self.xdotool("search", "--onlyvisible", "--name", ".").split()]

    def has_keyboard(self, title):
        # A goodbye by its first word: its date is in Wine's own format.
        return texts.titled(self.focused(), title)

    def give_focus(self, title):
        """As a window manager would (Wine leaves that to one)."""
        found = [w for w, shown in self.shown() if texts.titled(shown, title)]
        if found:
            self.xdotool("windowfocus", "--sync", found[-1])

    def question(self):
        # A second on, the game window stands alone: no box came up at start-up.
        time.sleep(1)
        boxes = [w for w, title in self.shown() if title == texts.BOX_TITLE]
        check(not boxes, "a box came up at start-up: %s" % self.display.log("game"))
        return super().question()

    def watched(self):
        # The game's process may be a moment away after start has returned.
        return None

    def running(self):
        return (self.game is not None and self.game.poll() is None) or subprocess.run(
            ["pgrep", "-f", self.pattern], capture_output=True).returncode == 0

    def ended(self, seconds=30):
        """The game's process ends, and no window is left: no crash box either."""
        wait_until("the game's end", lambda: not self.running(), seconds=seconds)
        left = [title for _, title in self.shown()]
        check(not left, "windows left on the screen after the game: %r" % left)

    def record(self):
        # The folder may be a pattern: the pupil's own is named by Wine.
        self.records = next(iter(glob.glob(self.records)), self.records)
        return super().record()
