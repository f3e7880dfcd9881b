"""The game as a page (Qt for WebAssembly) in a browser (browser.py): its
windows are read off the page's DOM, pictures are screenshots of a
window's canvas at the scale the page draws the game at, keys and taps
are the browser's own input events. Where a tap must land is read where
it can be (a menu entry's caption) and found by pixels where it cannot
(places.py)."""

import io
import itertools
import json

from PIL import Image

import ocr
import places
import scenario
import texts
from display import wait_until
from report import check


class Page(scenario.Driver):
    def __init__(self, browser):
        self.browser = browser

    @property
    def scale(self):
        return self.browser.scale()

    # ---- Windows ----

    def window(self, title, seconds=30):
        """The window of that title in front (the game window alone)."""
        return self.browser.wait_for("the window %r in front" % title, lambda windows: next(
            (w for w in windows if not w["blocked"] and texts.titled(w["title"], title)
             and (title != texts.GAME_TITLE or len(windows) == 1)), None), seconds)

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
    ended = end

    # ---- Input ----

    def type(self, text):
        self.browser.type(text)

    def enter(self):
        self.browser.key("Enter")

    def on_page(self, window, place, what):
        check(place, "no %s found on the page" % what)
        return window["x"] + place[0], window["y"] + place[1]

    def place(self, find, what):
        """Where find() finds a control on the game window, on the page."""
        window = self.window(texts.GAME_TITLE)
        return self.on_page(window, find(self.shot(window), self.scale), what)

    def tap_answer(self):
        self.browser.tap(*self.place(places.answer_box, "answer box"))

    def exit_place(self):
        return self.place(places.exit_button, "exit button")

    def tap_menu(self, word):
        """Taps the entry of the menu bar whose caption has the word."""
        window = self.window(texts.GAME_TITLE)
        shot = self.shot(window)
        bar = shot.crop((0, 0, shot.width, round(40 * self.scale)))
        place, seen = ocr.locate(bar, word)
        check(place, "the menu bar shows %r, not %r" % (seen, word))
        self.browser.tap(*self.on_page(window, place, word))

    def tap_box(self, title, text, control="button"):
        """Taps a control of the box with this title once it reads the text:
        its first button, its text field, or its second button ("button 2")."""
        self.reads(title, text)
        window = self.window(title)
        kind, _, nth = control.partition(" ")
        found = [(x, y) for each, x, y in places.box_controls(self.shot(window)) if each == kind]
        check(len(found) >= int(nth or 1), "the box %r shows no %s" % (title, control))
        self.browser.tap(*self.on_page(window, found[int(nth or 1) - 1], control))

    def closing(self, seconds=10):
        """The closing page read: its text, in the page's colours with a
        button below; returns where the button is on the page."""
        end = self.end()
        sizes, seen = itertools.cycle(ocr.ENLARGEMENTS), ["", ""]

        def shown():
            shot = self.shot(end)
            found, seen[0] = ocr.shows(shot, texts.CLOSING, next(sizes), light_on_dark=True)
            button, seen[1] = places.closing_button(shot)
            return found and button and self.on_page(end, button, "button")
        return wait_until(lambda: "the closing page reads %r (%s), not %r" % (
            seen[0], seen[1], texts.CLOSING), shown, seconds=seconds, every=0.5)

    def exit(self):
        self.browser.tap(*self.exit_place())

    # ---- The record ----

    def record(self):
        stored = self.browser.evaluate("localStorage.getItem('segni/record')")
        return {name: data.encode("cp1252")
                for name, data in json.loads(stored).items()} if stored else {}
