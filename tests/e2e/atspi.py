"""The game as a screen reader user has it: only what the program tells
the accessibility bus (AT-SPI), read with pyatspi as a screen reader such
as Orca reads it, and keys pressed with xdotool. Texts are compared as
they are said, blanks and all."""

import re
import subprocess

import pyatspi

import texts
from display import wait_until
from report import check
from x11 import X11

# A loaded machine may take more than the default 0.8 s to answer.
pyatspi.setTimeout(5000, 15000)

BOXES = (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)


def descendants(obj):
    for child in obj or ():
        if child is not None:
            yield child
            yield from descendants(child)


def text_of(obj):
    return obj.queryText().getText(0, -1)


def extents(obj):
    e = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


class ScreenReader(X11):
    type_delay, key_delay = 40, 60

    def heard(self, what):
        print("heard: " + what)

    def wait_for(self, what, probe, seconds=15):
        def found():
            try:
                return probe()
            except Exception:  # an object may vanish while it is read
                return None

        def seen():
            now, app = self.focus(), self.app()
            shown = [(w.getRoleName(), w.name) for w in app if w] if app else "no game on the bus"
            return "%s; the focus is on %s; windows: %r" % (what, (
                now.getRoleName(), now.name, now.description) if now else "nothing", shown)
        return wait_until(seen, found, self.game, seconds)

    def app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        return next((a for a in desktop if a is not None and a.name == "segni"), None)

    def active_window(self):
        return next((w for w in self.app() or () if w is not None
                     and w.getState().contains(pyatspi.STATE_ACTIVE)), None)

    def focus(self):
        """What the screen reader speaks: the innermost focused object."""
        found = [o for o in descendants(self.active_window())
                 if o.getState().contains(pyatspi.STATE_FOCUSED)]
        return found[-1] if found else None

    def focus_on(self, role, name, description=None):
        """Waits until the focus is on that object, of that role (one of
        pyatspi's ROLE_ constants: their spoken names differ between AT-SPI
        versions); returns it."""
        def probe():
            obj = self.focus()
            return obj if obj and obj.getRole() == role and obj.name == name and (
                description is None or re.fullmatch(description, obj.description)) else None
        obj = self.wait_for("focus on %s %r (%s)" % (role, name, description), probe)
        self.heard("%s, %s%s" % (obj.name, obj.getRoleName(),
                                 ", " + obj.description if obj.description else ""))
        return obj

    # ---- The driver ----

    def window(self, title, seconds=15):
        def titled():
            window = self.active_window()
            return window if window is not None and window.name == title else None
        return self.wait_for("a window titled %r" % title, titled, seconds)

    def reads(self, title, text, button="OK"):
        """A box with that title says the text, its focus on that button; the
        name prompt's text is its field's name, which has the focus."""
        if title == texts.PROMPT_TITLE:
            return self.focus_on(pyatspi.ROLE_TEXT, text)
        window = self.window(title)
        check(window.getRole() in BOXES, "box %r is a %s" % (title, window.getRoleName()))
        said = [o.name for o in descendants(window) if o.getRole() == pyatspi.ROLE_LABEL]
        check(text in said, "box %r says %r, not %r" % (title, said, text))
        self.heard("%s %r: %r" % (window.getRoleName(), title, text))
        self.focus_on(pyatspi.ROLE_PUSH_BUTTON, button)

    def answer_box(self):
        return self.focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")

    def question(self):
        """The factors as the answer box describes them, where the focus
        lands; the factor boxes must say the same."""
        described = self.answer_box().description
        match = re.fullmatch(r"Quanto fa (meno )?(\d+) per (meno )?(\d+) per (meno )?(\d+)\?",
                             described)
        check(match, "the answer box says %r" % described)
        factors = [(-1 if match.group(i) else 1) * int(match.group(i + 1)) for i in (1, 3, 5)]
        check(described == texts.described_question(factors),
              "the answer box says %r" % described)
        shown = [int(c.name.split(": ")[1]) for c in self.controls()[:3]]
        check(shown == factors, "the factor boxes say %r, the answer box %r" % (shown, factors))
        return factors

    def controls(self):
        frame = self.window(texts.GAME_TITLE)
        area = [c for c in frame if c is not None and c.getRole() != pyatspi.ROLE_MENU_BAR]
        check(len(area) == 1, "the game window holds %r besides its menu bar"
              % [c.getRoleName() for c in area])
        return [c for c in area[0] if c is not None]

    def click(self, x, y, *clicks):
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", *clicks], env=self.env,
                       check=True)
