"""The page heard with keys only, in Chromium: what its live region says,
kept as it comes (window.segniSaid), and the focused element and the game's
controls off the accessibility tree over DevTools, never off the screen.
Firefox's WebDriver BiDi has no tree, only a locator by role and name."""

import re

import page
import texts
from browser import Firefox
from ocr import words as plain
from report import check

SAID = """window.segniSaid = [];
new MutationObserver(changes => changes.forEach(change => change.target.id === "segni-annunci"
    && change.addedNodes.forEach(node => window.segniSaid.push(node.textContent))))
    .observe(document, {childList: true, subtree: true});"""
KEYS = {"Alt": ("AltLeft", 18), "Escape": ("Escape", 27), "x": ("KeyX", 88),
        "ArrowRight": ("ArrowRight", 39), "ArrowDown": ("ArrowDown", 40)}


def value(node, field):
    return plain(str(node.get(field, {}).get("value", "")))


class Listener(page.Page):
    def __init__(self, browser):
        super().__init__(browser)
        browser.call("Accessibility.enable")
        browser.add_script(SAID)

    def nodes(self, role=None):
        return [n for n in self.browser.call("Accessibility.getFullAXTree")["nodes"]
                if not n.get("ignored") and role in (None, value(n, "role"))]

    def said(self):
        return [plain(line) for line in self.browser.evaluate("window.segniSaid")]

    def focused(self):
        """Name, description and role description of the focused element."""
        for node in self.nodes():
            known = {p["name"]: value(p, "value") for p in node.get("properties", [])}
            if known.get("focused") == "True" and value(node, "role") != "RootWebArea":
                return value(node, "name"), value(node, "description"), known.get(
                    "roledescription", "")

    def focus_on(self, name, description="", kind=""):
        """Waits for the focus there; returns its description."""
        def there(_):
            now = self.focused()
            return now if now and now[::2] == (plain(name), kind) and re.fullmatch(
                description, now[1]) else None
        return self.browser.wait_for("the focus on %r, %r, %r" % (name, kind, description),
                                     there, 15)[1]

    def keys(self, *names):
        """Held down in turn, let go in reverse: Alt+X."""
        held = [{"key": name, "code": KEYS[name][0], "windowsVirtualKeyCode": KEYS[name][1],
                 "modifiers": int(i > 0 and names[0] == "Alt")} for i, name in enumerate(names)]
        for kind, key in [("rawKeyDown", k) for k in held] + [("keyUp", k) for k in held[::-1]]:
            self.browser.call("Input.dispatchKeyEvent", type=kind, **key)

    def reads(self, title, text, seconds=10):
        """A box says its title, then its text (the goodbye's title holds the
        browser's date); the name prompt's text names its field."""
        prompt = title == texts.PROMPT_TITLE
        self.browser.wait_for("%r said" % text, lambda _: any(
            line.endswith(plain(text)) and (prompt or texts.titled(
                line.partition(". ")[0], plain(title))) for line in self.said()), seconds)
        check(not prompt or text in [value(n, "name") for n in self.nodes("textbox")],
              "no field is named %r" % text)

    def controls(self):
        """The game window's controls, as its list reads them."""
        lines = {n["nodeId"]: value(n, "name") for n in self.nodes("StaticText")}
        return [lines[c] for n in self.nodes("listitem") for c in n["childIds"] if c in lines]

    def question(self, seconds=15):
        """The factor boxes' names, which the answer field must say as one question."""
        def agreed(_):
            factors = tuple(int(line.split(": ")[1]) for line in self.controls()[:3])
            self.asked = plain(texts.described_question(factors))
            return factors if self.focused() == (texts.ANSWER_NAME, self.asked, "") else None
        factors = self.browser.wait_for("the question said as the factor boxes say it",
                                        agreed, seconds)
        self.asked = "%s. %s" % (texts.ANSWER_NAME, self.asked)
        return factors

    def verdict(self, right, product, counts):
        """On the focused button; it and the question said once, the clock never."""
        said = texts.answered(right, product, counts)
        self.focus_on(texts.NEXT_NAME, re.escape(said), "pulsante")
        spoken = self.said()
        for line in (self.asked, "%s. %s" % (texts.NEXT_NAME, said)):
            check(spoken.count(line) == 1, "%r was not said once: %r" % (line, spoken))
        check(not [s for s in spoken if s.startswith(texts.CLOCK_NAME)], "the clock spoke")

    def menu(self):
        """Alt: the focus on the menu bar's first entry; the credits' menu
        opened (its entry said) and closed with Escape, then the bar left:
        the focus back where it was."""
        before = self.focused()
        self.keys("Alt")
        self.focus_on(texts.FIRST_MENU, kind="voce di menu")
        self.keys("ArrowRight")
        self.keys("ArrowDown")
        self.browser.wait_for("%r said" % texts.CREDITS_ENTRY,
                              lambda _: plain(texts.CREDITS_ENTRY) in self.said(), 10)
        self.keys("Escape")
        self.browser.wait_for("the menu closed", lambda windows: len(windows) == 1, 10)
        self.keys("Escape")
        self.browser.wait_for("the focus back", lambda _: self.focused() == before, 10)

    def clock(self):
        return next((line.split(": ")[1] for line in self.controls()
                     if line.startswith(texts.CLOCK_NAME + ": ")), None)

    def exit(self):
        self.keys("Alt", "x")

    def no_button(self):
        buttons = [value(n, "name") for n in self.nodes("button")]
        check(not buttons, "the page offers buttons: %r" % buttons)


def heard_in_firefox(page, report, name):
    """Firefox's locator finds the text field so named (Qt's text input,
    which stays a text field whatever control it stands for)."""
    browser = page.browser
    if isinstance(browser, Firefox):
        browser.wait_for("Firefox's field %r" % name, lambda _: browser.call(
            "browsingContext.locateNodes", context=browser.context, locator={
                "type": "accessibility", "value": {"role": "textbox", "name": name}})["nodes"])
        report.ok("Firefox's accessibility locator finds the field named %r" % name)
