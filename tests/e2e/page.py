"""The game as a page (Qt for WebAssembly) in a browser (browser.py): its
windows are read off the page's DOM, pictures are screenshots of a
window's canvas at the scale the page draws the game at, keys and taps
are the browser's own input events. Where a control is that a tap should
hit, which no reading tells, comes from screenprobe: a control of the
game window from the window's own description, a box's buttons and field
and the closing page's button from their place in the picture."""

import io
import json
import subprocess
import time

from PIL import Image

import ocr
import scenario
import texts
from report import check


class Page(scenario.Driver):
    def __init__(self, browser, probe):
        self.browser = browser
        self.probe = probe

    @property
    def scale(self):
        return self.browser.scale()

    def run_probe(self, *args):
        result = subprocess.run([self.probe, *args], capture_output=True, text=True)
        check(result.returncode == 0, "screenprobe %s: %s" % (" ".join(args), result.stderr))
        return result.stdout.rstrip("\n")

    # ---- Windows ----

    def window(self, title, seconds=30):
        """The window of that title, in front. A goodbye's date is in the
        browser's own format: it is found by its first word."""
        if title == texts.GAME_TITLE:
            return self.browser.wait_for("the game window", lambda windows: next(
                (w for w in windows if w["title"] == title and not w["blocked"]
                 and len(windows) == 1), None), seconds)
        if title.startswith("Data "):
            return self.browser.wait_for_title_start("Data ", seconds)
        return self.browser.wait_for_box(title, seconds)

    def shot(self, window):
        return Image.open(io.BytesIO(self.browser.shot(window)))

    def picture(self, title):
        return self.shot(self.window(title))

    def end(self):
        """The page once the game has ended: one window, the whole page."""
        width = self.browser.view()[0]
        return self.browser.wait_for("the page's end", lambda windows: windows[0]
                                     if len(windows) == 1 and windows[0]["title"] == "segni"
                                     and windows[0]["width"] >= width - 1 else None)

    # ---- Input ----

    def type(self, text):
        self.browser.type(text)

    def enter(self):
        self.browser.key("Enter")

    def tap(self, name):
        """Taps a control of the game window, or an entry of its menu bar."""
        window = self.window(texts.GAME_TITLE)
        x, y = map(int, self.run_probe("--locate", name).split())
        self.browser.tap(window["x"] + x * self.scale, window["y"] + y * self.scale)

    def place(self, name):
        """Where a control of the game window is on the page, now."""
        window = self.window(texts.GAME_TITLE)
        x, y = map(int, self.run_probe("--locate", name).split())
        return window["x"] + x * self.scale, window["y"] + y * self.scale

    def tap_box(self, title, text, control="button"):
        """Taps a control of the box with this title once it reads the text:
        its first button, its text field, or its second button ("button 2")."""
        self.reads(title, text)
        window = self.window(title)
        path = self.browser.save_shot(window)
        kind, _, nth = control.partition(" ")
        places = [line.split()[1:] for line in self.run_probe("--box", path).splitlines()
                  if line.startswith(kind + " ")]
        check(len(places) >= int(nth or 1), "the box %r shows no %s" % (title, control))
        x, y = map(int, places[int(nth or 1) - 1])
        self.browser.tap(window["x"] + x, window["y"] + y)

    def closing(self, seconds=10):
        """The closing page read: its text, in the page's colours with a
        button below; returns where the button is on the page."""
        end = self.end()
        deadline = time.monotonic() + seconds
        while True:
            shown, seen = ocr.shows(self.shot(end), texts.CLOSING)
            result = subprocess.run([self.probe, "--closing", self.browser.save_shot(end)],
                                    capture_output=True, text=True)
            if shown and result.returncode == 0:
                x, y = map(int, result.stdout.split())
                return end["x"] + x, end["y"] + y
            check(time.monotonic() < deadline, "the closing page shows %r (%s), not %r"
                  % (seen, result.stderr.strip(), texts.CLOSING))
            time.sleep(0.5)

    def exit(self):
        self.tap("cmdExit")

    # ---- The record ----

    def ended(self):
        self.end()

    def record(self):
        stored = self.browser.evaluate("localStorage.getItem('segni/record')")
        return {name: data.encode("cp1252")
                for name, data in json.loads(stored).items()} if stored else {}
