#!/usr/bin/python3
"""Plays a whole game of the real program the way a screen reader user
does: it hears only what the program tells the accessibility bus (AT-SPI),
as a screen reader such as Orca reads it, and presses keys with xdotool. Prints what it heard.

Usage: atspi_reader.py GAME        (on a display, inside a D-Bus session)
       atspi_reader.py --listen S  (prints the bus's object events for S s)
"""
import os
import re
import subprocess
import sys
import time

import pyatspi

# A loaded machine may take more than the default 0.8 s to answer.
pyatspi.setTimeout(5000, 15000)

GAME_TITLE = "Ziverur adi v edizor arizadev"
program = None  # the game


def fail(message):
    print("FAIL: " + message)
    if program is not None:
        program.kill()
    sys.exit(1)


def heard(message):
    print("heard: " + message)


def wait_for(what, probe, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        try:
            found = probe()
        except Exception:  # an object may vanish while it is read
            found = None
        if found:
            return found
        time.sleep(0.1)
    now = focused()
    app = game()
    windows = [(w.getRoleName(), w.name) for w in app if w] if app else "no game on the bus"
    fail("never came: %s; the focus is on %s; windows: %r" % (
        what, (now.getRoleName(), now.name, now.description) if now else "nothing", windows))


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "60", *keys], check=True)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "40", "--", text], check=True)


def descendants(obj):
    for child in obj:
        if child is not None:
            yield child
            yield from descendants(child)


def game():
    desktop = pyatspi.Registry.getDesktop(0)
    return next((a for a in desktop if a is not None and a.name == "segni"), None)


def active_window():
    app = game()
    if app is None:
        return None
    return next((w for w in app if w is not None
                 and w.getState().contains(pyatspi.STATE_ACTIVE)), None)


def focused():
    """What the screen reader speaks: the innermost focused object."""
    window = active_window()
    if window is None:
        return None
    found = [o for o in descendants(window) if o.getState().contains(pyatspi.STATE_FOCUSED)]
    return found[-1] if found else None


def text_of(obj):
    return obj.queryText().getText(0, -1)


def extents(obj):
    e = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def spoken(number):
    return ("meno %d" % -number) if number < 0 else str(number)


def focus_on(role, name, description=None):
    """Waits until the focus is on that object, of that role (one of
    pyatspi's ROLE_ constants: their spoken names differ between AT-SPI
    versions); returns it."""
    def probe():
        obj = focused()
        if obj and obj.getRole() == role and obj.name == name and (
                description is None or re.fullmatch(description, obj.description)):
            return obj
        return None
    obj = wait_for("focus on %s %r (%s)" % (role, name, description), probe)
    heard("%s, %s%s" % (obj.name, obj.getRoleName(),
                        ", " + obj.description if obj.description else ""))
    return obj


def box(title, text, button):
    """Waits for a box (alert or dialog) with that title and text, focused on
    that button."""
    window = wait_for("a box titled %r" % title, lambda: titled(title))
    if window.getRole() not in (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG):
        fail("box %r is a %s" % (title, window.getRoleName()))
    texts = [o.name for o in descendants(window) if o.getRole() == pyatspi.ROLE_LABEL]
    if text not in texts:
        fail("box %r says %r, not %r" % (title, texts, text))
    heard("%s %r: %r" % (window.getRoleName(), title, text))
    focus_on(pyatspi.ROLE_PUSH_BUTTON, button)


def titled(title):
    window = active_window()
    return window if window is not None and window.name == title else None


def window_controls():
    frame = wait_for("the game window", lambda: titled(GAME_TITLE))
    area = [c for c in frame if c is not None and c.getRole() != pyatspi.ROLE_MENU_BAR]
    if len(area) != 1:
        fail("the game window holds %r besides its menu bar" % [c.getRoleName() for c in area])
    return [c for c in area[0] if c is not None]


def same_line(a, b):
    def centre(e):
        return e[1] + e[3] / 2
    return a[1] <= centre(b) <= a[1] + a[3] or b[1] <= centre(a) <= b[1] + b[3]


def check_reading_order(controls):
    label, text, button = pyatspi.ROLE_LABEL, pyatspi.ROLE_TEXT, pyatspi.ROLE_PUSH_BUTTON
    expected = [(label, r"Primo fattore: -?\d+"), (label, r"Secondo fattore: -?\d+"),
                (label, r"Terzo fattore: -?\d+"), (text, "Risultato"),
                (label, r"Esito della risposta(: .*)?"), (label, "Tempo restante"),
                (label, r"Risposte esatte: \d+"), (label, r"Risposte errate: \d+"),
                (label, r"Risposte totali: \d+"), (button, "Nuovo calcolo"),
                (button, "Exit"), (label, "Sfidante: Anna"),
                (label, r"Detentore del record(: .*)?"), (label, r"Punti del record(: .*)?")]
    got = [(c.getRole(), c.name) for c in controls]
    if len(got) != len(expected) or not all(
            role == r and re.fullmatch(name, n) for (role, name), (r, n) in zip(expected, got)):
        fail("the window reads, in order: %r" % [(c.getRoleName(), c.name) for c in controls])
    boxes = [extents(c) for c in controls]
    for (a, b, name_a, name_b) in zip(boxes, boxes[1:], got, got[1:]):
        later = b[0] > a[0] if same_line(a, b) else b[1] + b[3] / 2 > a[1] + a[3] / 2
        if not later:
            fail("%r %r is read before %r %r, which comes first on screen"
                 % (name_a[1], a, name_b[1], b))
    heard("the window, in reading order: " + "; ".join(n for _, n in got))


def listen(seconds):
    """Prints every object event of the game for some seconds."""
    def on_event(event):
        try:
            print("%s|%s|%s" % (event.type, event.source.getRoleName(), event.source.name),
                  flush=True)
        except Exception:
            pass
    pyatspi.Registry.registerEventListener(on_event, "object")
    from gi.repository import GLib
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    print("listening", flush=True)
    pyatspi.Registry.start()


def question(answer_box):
    match = re.fullmatch(r"Quanto fa (meno )?(\d+) per (meno )?(\d+) per (meno )?(\d+)\?",
                         answer_box.description)
    if not match:
        fail("the answer box says %r" % answer_box.description)
    sign = [-1 if match.group(i) else 1 for i in (1, 3, 5)]
    factors = [s * int(match.group(i)) for s, i in zip(sign, (2, 4, 6))]
    return factors, factors[0] * factors[1] * factors[2]


def play(game_path):
    global program
    # The registry answers before the game starts, so the game's
    # registration with it cannot be lost.
    wait_for("the accessibility registry", lambda: pyatspi.Registry.getDesktop(0).childCount >= 0)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    log = open(os.path.join(os.environ["HOME"], "game.log"), "w")
    program = subprocess.Popen([game_path], env=env, stdout=log, stderr=subprocess.STDOUT)

    # The name prompt. The name is then selected with a double click, which
    # makes it the X selection that a middle click would paste.
    name = focus_on(pyatspi.ROLE_TEXT, "Come ti chiami?")
    type_text("Anna")
    x, y, w, h = extents(name)
    subprocess.run(["xdotool", "mousemove", str(x + 10), str(y + h // 2),
                    "click", "--repeat", "2", "1"], check=True)
    time.sleep(0.3)
    key("End", "Return")
    box("Sei pronto per il record? Buona fortuna", " Anna vediamo se sei un vero campione  ",
        "OK")
    key("Return")

    # The first question, said where the focus lands.
    answer = focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")
    factors, product = question(answer)
    controls = window_controls()
    shown = [int(c.name.split(": ")[1]) for c in controls[:3]]
    if shown != factors:
        fail("the factor boxes say %r, the answer box %r" % (shown, factors))
    # Exactly these controls, so no sign, bracket, fixed caption or picture.
    check_reading_order(controls)

    # Nothing gets in but digits and minus; only Enter checks.
    ax, ay, aw, ah = extents(answer)
    subprocess.run(["xdotool", "mousemove", str(ax + aw // 2), str(ay + ah // 2), "click", "2",
                    "mousemove", "1000", "760"], check=True)
    wrong = str(product + 1)
    type_text("a" + wrong + " x")
    key("ctrl+Return", "ctrl+m", "KP_Decimal")
    time.sleep(0.5)
    if text_of(answer) != wrong or focused() != answer:
        fail("after a middle click, letters, Ctrl+Enter and Ctrl+M the box holds %r"
             % text_of(answer))
    key("Return")
    focus_on(pyatspi.ROLE_PUSH_BUTTON, "Nuovo calcolo", re.escape(
        "Sbagliato, era %s. Esatte 0, errate 1, totali 1." % spoken(product)))

    key("Return")
    answer = focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")
    factors, product = question(answer)
    # The clock says nothing by itself while the counters do change.
    listener = subprocess.Popen([sys.executable, __file__, "--listen", "3.5"],
                                stdout=subprocess.PIPE, text=True)
    if listener.stdout.readline().strip() != "listening":
        fail("the event listener did not start")
    time.sleep(0.5)  # the game hears of the new listener
    clock = next(c for c in window_controls() if c.name == "Tempo restante")
    before = text_of(clock)
    type_text(str(product))
    key("Return")
    focus_on(pyatspi.ROLE_PUSH_BUTTON, "Nuovo calcolo",
             re.escape("Esatto. Esatte 1, errate 1, totali 2."))
    events = listener.communicate(timeout=20)[0].splitlines()
    after = text_of(clock)
    heard("Tempo restante, read on demand: %s, later %s" % (before, after))
    if before == after or not re.fullmatch(r"00:1[0-4]:\d\d", after):
        fail("the clock's text read %r then %r" % (before, after))
    about_clock = [e for e in events if e.endswith("|Tempo restante")]
    if about_clock:
        fail("the clock announced itself: %r" % about_clock)
    if not any(e.startswith("object:property-change:accessible-name|label|Risposte totali")
               for e in events):
        fail("no name change came from the counters (events: %r)" % events)

    # The next question first announces the beaten record.
    key("Return")
    box("segni", "E' record", "OK")
    key("Return")
    focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")

    # The menu from the keyboard: the new-game question, answered No.
    key("alt")
    focus_on(pyatspi.ROLE_MENU_ITEM, "segni ")
    key("Right", "Right")
    focus_on(pyatspi.ROLE_MENU_ITEM, "NUOVO GIOCO")
    key("Return")
    box("INIZIARE NUOVA GARA", "INIZIAMO UNA NUOVA GARA  ?", "No")
    key("Escape")
    focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")
    # The credits box.
    key("alt", "Right", "Down")
    focus_on(pyatspi.ROLE_MENU_ITEM, "- © 2026 i contributori di segni")
    key("Return")
    box("segni", "Programma freeware", "OK")
    key("Return")
    focus_on(pyatspi.ROLE_TEXT, "Risultato", r"Quanto fa .*\?")

    # Exit: the goodbye, then the record saved.
    key("alt+x")
    box("Data " + time.strftime("%d/%m/%Y"), "Ciao Anna, alla prossima sfida!", "OK")
    key("Return")
    box("segni", "Ok ho registrato il tuo record, C A M P I O N E", "OK")
    key("Return")
    try:
        status = program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        program.kill()
        fail("the game did not end")
    if status != 0:
        fail("the game ended with status %d" % status)
    print("1 passed, 0 failed")


if __name__ == "__main__":
    if sys.argv[1] == "--listen":
        listen(float(sys.argv[2]))
    else:
        play(sys.argv[1])
