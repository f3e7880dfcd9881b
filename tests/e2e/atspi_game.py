#!/usr/bin/python3
"""A whole game of the real program with a screen reader's ears (atspi.py),
on a private Xvfb in a D-Bus session with its own accessibility bus: the
pupil's steps (scenario.py) and, between them, what only a screen reader
tells: the reading order, what the answer box lets in, the verdicts said
on the button, a quiet clock, the menu's boxes. Skips (77) without that bus.

Usage: atspi_game.py GAME   (--listen SECONDS prints the bus's object events)
"""

import contextlib
import importlib.util
import os
import re
import subprocess
import sys
import time

from display import scratch
from report import Report, Skip, check, need, skip
from x11 import desktop_env

NAME = "Anna"


def reading_order(reader, report, controls):
    import pyatspi
    label, text, button = pyatspi.ROLE_LABEL, pyatspi.ROLE_TEXT, pyatspi.ROLE_PUSH_BUTTON
    # Exactly these controls, so no sign, bracket, fixed caption or picture.
    expected = [(label, r"Primo fattore: -?\d+"), (label, r"Secondo fattore: -?\d+"),
                (label, r"Terzo fattore: -?\d+"), (text, "Risultato"),
                (label, r"Esito della risposta(: .*)?"), (label, "Tempo restante"),
                (label, r"Risposte esatte: \d+"), (label, r"Risposte errate: \d+"),
                (label, r"Risposte totali: \d+"), (button, "Nuovo calcolo"),
                (button, "Exit"), (label, "Sfidante: " + NAME),
                (label, r"Detentore del record(: .*)?"), (label, r"Punti del record(: .*)?")]
    got = [(c.getRole(), c.name) for c in controls]
    check(len(got) == len(expected) and all(
        role == r and re.fullmatch(name, n) for (role, name), (r, n) in zip(expected, got)),
        "the window reads, in order: %r" % [(c.getRoleName(), c.name) for c in controls])
    from atspi import extents
    places = [extents(c) for c in controls]

    def centre(e):
        return e[1] + e[3] / 2
    for a, b, name_a, name_b in zip(places, places[1:], got, got[1:]):
        same_line = a[1] <= centre(b) <= a[1] + a[3] or b[1] <= centre(a) <= b[1] + b[3]
        later = b[0] > a[0] if same_line else centre(b) > centre(a)
        check(later, "%r %r is read before %r %r, which comes first on screen"
              % (name_a[1], a, name_b[1], b))
    report.ok("the window, in reading order: " + "; ".join(n for _, n in got))


def play(report):
    need(("dbus-daemon", "dbus-send", "/usr/libexec/at-spi-bus-launcher", "xdotool"),
         "no screen reader test: %s is missing")
    if importlib.util.find_spec("pyatspi") is None:
        skip("no screen reader test: python3-pyatspi is missing")
    display, work = scratch(report, "atspi_game.")
    # A D-Bus session of its own, where the accessibility bus is started
    # first (the game looks for it when it starts); this process's bus
    # client is on it from the start.
    display.dbus_session(fail=lambda why: Skip("no screen reader test: " + why))
    os.environ.update(desktop_env(work, display.env))
    if subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                       "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                      capture_output=True).returncode:
        skip("no screen reader test: the accessibility bus did not start")
    import pyatspi
    import scenario
    import texts
    from atspi import ScreenReader, extents, text_of

    reader = ScreenReader(display, work, report)
    # The registry answers before the game starts, so the game's
    # registration with it cannot be lost.
    reader.wait_for("the accessibility registry",
                    lambda: pyatspi.Registry.getDesktop(0).childCount is not None)
    reader.start([sys.argv[1]], dict(reader.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                     QT_QPA_PLATFORM="xcb"))

    # The name, then selected with a double click, which makes it the X
    # selection that a middle click would paste.
    scenario.named(reader, report, NAME)
    x, y, w, h = extents(reader.focus())
    reader.click(x + 10, y + h // 2, "--repeat", "2", "1")
    time.sleep(0.3)
    reader.key("End")
    scenario.greeted(reader, report, NAME)

    # The first question, said where the focus lands.
    factors = reader.question()
    reading_order(reader, report, reader.controls())

    # Nothing gets in but digits and minus; only Enter checks.
    answer = reader.answer_box()
    ax, ay, aw, ah = extents(answer)
    reader.click(ax + aw // 2, ay + ah // 2, "2")
    reader.xdotool("mousemove", "1000", "760")
    wrong = str(scenario.product(factors) + 1)
    reader.type("a" + wrong + " x")
    reader.key("ctrl+Return", "ctrl+m", "KP_Decimal")
    time.sleep(0.5)
    check(text_of(answer) == wrong and reader.focus() == answer,
          "after a middle click, letters, Ctrl+Enter and Ctrl+M the box holds %r"
          % text_of(answer))
    reader.enter()
    reader.focus_on(pyatspi.ROLE_PUSH_BUTTON, "Nuovo calcolo",
                    re.escape(texts.answered(False, scenario.product(factors), (0, 1, 1))))
    report.ok("a middle click's paste, letters, Ctrl+Enter, Ctrl+M and the keypad's point "
              "refused; a wrong answer said on the button")

    # The next question, answered right while the bus is listened to: the
    # clock says nothing by itself while the counters do change.
    reader.enter()
    reader.answer_box()
    listener = subprocess.Popen([sys.executable, __file__, "--listen", "3.5"],
                                stdout=subprocess.PIPE, text=True)
    check(listener.stdout.readline().strip() == "listening", "the event listener did not start")
    time.sleep(0.5)  # the game hears of the new listener
    clock = next(c for c in reader.controls() if c.name == "Tempo restante")
    before = text_of(clock)
    scenario.answer_right(reader, report)
    reader.focus_on(pyatspi.ROLE_PUSH_BUTTON, "Nuovo calcolo",
                    re.escape(texts.answered(True, 0, (1, 1, 2))))
    events = listener.communicate(timeout=20)[0].splitlines()
    after = text_of(clock)
    check(before != after and re.fullmatch(r"00:1[0-4]:\d\d", after),
          "the clock's text read %r then %r" % (before, after))
    about_clock = [e for e in events if e.endswith("|Tempo restante")]
    check(not about_clock, "the clock announced itself: %r" % about_clock)
    check(any(e.startswith("object:property-change:accessible-name|label|Risposte totali")
              for e in events), "no name change came from the counters (events: %r)" % events)
    report.ok("the right answer said on the button; Tempo restante, read on demand: %s, "
              "later %s, said nothing by itself; the counters did" % (before, after))

    scenario.record_announced(reader, report)
    reader.answer_box()

    # The menu from the keyboard: the new-game question, answered No.
    reader.key("alt")
    reader.focus_on(pyatspi.ROLE_MENU_ITEM, "segni ")
    reader.key("Right", "Right")
    reader.focus_on(pyatspi.ROLE_MENU_ITEM, "NUOVO GIOCO")
    reader.enter()
    reader.reads(texts.NEW_GAME_TITLE, texts.NEW_GAME, button="No")
    reader.key("Escape")
    reader.answer_box()
    # The credits box.
    reader.key("alt", "Right", "Down")
    reader.focus_on(pyatspi.ROLE_MENU_ITEM, texts.CREDITS_ENTRY)
    reader.enter()
    reader.reads(texts.BOX_TITLE, texts.CREDITS)
    reader.enter()
    reader.answer_box()
    report.ok("the menu from the keyboard: %r answered No; %r" % (texts.NEW_GAME, texts.CREDITS))

    scenario.finished(reader, report, NAME)


def listen(seconds):
    """Prints every object event of the game for some seconds."""
    import pyatspi
    from gi.repository import GLib

    def on_event(event):
        with contextlib.suppress(Exception):
            print("%s|%s|%s" % (event.type, event.source.getRoleName(), event.source.name),
                  flush=True)
    pyatspi.Registry.registerEventListener(on_event, "object")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    print("listening", flush=True)
    pyatspi.Registry.start()


if __name__ == "__main__":
    if sys.argv[1] == "--listen":
        listen(float(sys.argv[2]))
    else:
        Report().run(play)
