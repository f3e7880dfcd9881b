#!/usr/bin/python3
"""The web page (./scripts/web) played as a pupil would, in Debian's
Chromium over the DevTools protocol and in Debian's Firefox ESR over
WebDriver BiDi, both headless: the folder served over http from 127.0.0.1,
a fresh browser profile, keys typed and taps given as the browser's own
input events. Each picture is read at the scale the page draws the game at.

- A game, in Chromium and again in Firefox: the name prompt read off the
  page (a screenshot of the box matched by screenprobe) and the name typed
  into it straight away, the greeting read, the question read off the
  canvas (a screenshot of the game window), the answer begun straight away
  from the keys and finished after a tap on the box through an input
  method (keys in Firefox, whose driver has none), letters refused both
  ways, a digit erased with Backspace, Exit, the goodbye and the record's
  confirmation read; the page then says the game is over (read off it, in
  its colours), the record is one item of the browser's local storage
  holding both record files' bytes, and the page's button, tapped where
  the page shows it, starts another game without a reload. Before the
  answer the view takes the sizes of a whiteboard, a Chromebook, a tablet
  and a phone held sideways: at each the windows lie inside the view and
  the same question reads right; held upright, the phone shows the prompt
  to turn it. The game begins at 1024x768 in Chromium, 1366x768 in Firefox.
- The same profile after the browser is restarted, with the page's server
  gone: the page comes from the browser's offline copy, and the record (1)
  and its holder's name show.
- A game by touch in Chromium, on a tablet (at a phone's scale a box's
  text is drawn too small to be read to the pixel): the name
  prompt's field (which asks for the on-screen keyboard) and its OK, the
  greeting's OK, the answer box, the menu bar and one of its submenus, the
  box that entry opens, Exit, the goodbye's and the record's OK and the
  closing page's button, all tapped.
- The test build (a one-minute clock): the new-game question read, the
  time runs out while it is open; the question closes and the goodbye
  comes, then the end, whose button takes Enter for another game.
- The class's record on the school's web server: the page served by
  lighttpd set up as docs/ says, with a segni.conf beside it naming the
  record; two browser profiles play, one scoring 1 and one 2, and Exit is
  tapped in both at once. The server keeps 2 by its holder, each pupil is
  told their record was saved or who beat it meanwhile, and neither
  browser keeps a record of its own. Then junk served as the record (a
  game is played against no record) and the server stopped before Exit:
  the pupil is told the save failed.

Usage: web_game.py PAGE-FOLDER TEST-PAGE-FOLDER SCREENPROBE [ROUNDS]
Exits 77 (skipped) when there is no page, no Chromium, no Firefox or no
websocket client.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from webpage import CHROMIUM, FIREFOX, Browser, Failure, Firefox, Folder, check

LIGHTTPD = "/usr/sbin/lighttpd"

NAME = "Anna"
PROMPT_TITLE = "Rovid edi do rerudiru da razuzo razozezo"
GREETING_TITLE = "Sei pronto per il record? Buona fortuna"
PLAYING_TITLE = "Ziverur adi v edizor arizadev"
NEW_GAME_TITLE = "INIZIARE NUOVA GARA"
# The game window's size at scale 1 (its client area is 792 pixels wide).
GAME_WIDTH = 792
# Views a school has: a whiteboard, a Chromebook, a tablet, a phone held
# sideways, and upright.
WHITEBOARD, CHROMEBOOK, TABLET = (1920, 1080), (1366, 768), (1024, 768)
PHONE, PHONE_UPRIGHT = (844, 390), (390, 844)
TURN_PROMPT = "Ruota il dispositivo in orizzontale per giocare."
STORED = {"marvo.txt": "1\r\n", "nmarvo.txt": NAME + "\r\n"}


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(77)


class Game:
    def __init__(self, probe, work):
        self.probe = probe
        self.work = work
        self.shots = 0
        # The scale read at each view size, for the record.
        self.scales = {}

    def run_probe(self, *args):
        result = subprocess.run([self.probe, *args], capture_output=True, text=True)
        check(result.returncode == 0, "screenprobe %s: %s" % (" ".join(args), result.stderr))
        return result.stdout.rstrip("\n")

    def shot(self, browser, window):
        self.shots += 1
        path = os.path.join(self.work, "shot%d.png" % self.shots)
        browser.screenshot(window, path)
        return path

    def read(self, browser, window, what, text, seconds=10):
        """Reads the text off a screenshot of a box (what is --box) or of the
        closing page (--closing), once it is drawn; returns what the probe
        prints: where the controls are, in the page's pixels. A list of
        texts is read when the box shows any one of them."""
        texts = text if isinstance(text, list) else [text]
        deadline = time.monotonic() + seconds
        while True:
            shot = self.shot(browser, window)
            for each in texts:
                result = subprocess.run([self.probe, "--scale", str(browser.scale()), what,
                                         shot, each], capture_output=True, text=True)
                if result.returncode == 0:
                    return result.stdout.rstrip("\n")
            check(time.monotonic() < deadline, "%r not read: %s" % (texts[-1], result.stderr))
            time.sleep(0.5)

    def question(self, browser, window):
        """The three factors, read off the game window once it is drawn."""
        deadline = time.monotonic() + 10
        while True:
            result = subprocess.run([self.probe, "--scale", str(browser.scale()), "--image",
                                     self.shot(browser, window)], capture_output=True, text=True)
            factors = [int(v) for v in result.stdout.split()]
            if result.returncode == 0 and len(factors) == 3:
                return factors
            check(time.monotonic() < deadline, "no question read off the page: %s"
                  % result.stderr)
            time.sleep(0.5)

    def tap(self, browser, window, name):
        x, y = map(int, self.run_probe("--locate", name).split())
        scale = browser.scale()
        browser.tap(window["x"] + x * scale, window["y"] + y * scale)

    def tap_box(self, browser, title, text, control="button"):
        """Taps a control of the box with this title once its text reads
        right: its first button, or its text field, or its second button
        ("button 2")."""
        window = browser.wait_for_box(title)
        kind, _, nth = control.partition(" ")
        places = [line.split()[1:] for line in self.read(browser, window, "--box", text)
                  .splitlines() if line.startswith(kind + " ")]
        check(len(places) >= int(nth or 1), "the box %r shows no %s" % (title, control))
        x, y = map(int, places[int(nth or 1) - 1])
        browser.tap(window["x"] + x, window["y"] + y)

    def start(self, browser, url, name, view):
        """Loads the page in a view of this size and gets through the name
        prompt and the greeting to the game window."""
        browser.resize(*view)
        browser.navigate(url)
        self.read(browser, browser.wait_for_box(PROMPT_TITLE, 120), "--box", "Come ti chiami?")
        # Typed straight away, as at a keyboard: the box has the focus.
        browser.type(name)
        browser.key("Enter")
        self.read(browser, browser.wait_for_box(GREETING_TITLE), "--box",
                  name + " vediamo se sei un vero campione")
        browser.key("Enter")
        return self.wait_for_game(browser)

    def wait_for_game(self, browser):
        return browser.wait_for("the game window", lambda windows: next(
            (w for w in windows if w["title"] == PLAYING_TITLE and not w["blocked"]
             and len(windows) == 1), None))

    def wait_for_end(self, browser):
        """The page once the game has ended: one window, the whole page."""
        width = browser.view()[0]
        return browser.wait_for("the page's end", lambda windows: windows[0] if len(windows) == 1
                                and windows[0]["title"] == "segni"
                                and windows[0]["width"] >= width - 1 else None)


def fits(game, browser, view, factors):
    """The view at this size: the game window, drawn whole at the largest
    scale that fits, in the middle of the view, every window inside it, and
    the question still reads the same."""
    browser.resize(*view)

    def settled(windows):
        scale = browser.scale()
        game_window = next((w for w in windows if w["title"] == PLAYING_TITLE), None)
        if not game_window or abs(game_window["width"] - GAME_WIDTH * scale) > 1.5:
            return None
        if not all(w["outer"][0] >= 0 and w["outer"][1] >= 0 and w["outer"][2] <= view[0]
                   and w["outer"][3] <= view[1] for w in windows):
            return None
        # Until the page has taken the new view, the window stands as it
        # was placed for the old one: off the middle, or with room to spare
        # both ways. A hundredth more of scale is about 8 pixels.
        left, top, right, bottom = game_window["outer"]
        centred = abs(left - (view[0] - right)) <= 3 and abs(top - (view[1] - bottom)) <= 3
        tight = min(view[0] - (right - left), view[1] - (bottom - top)) <= 16
        return game_window if centred and tight else None

    def wait():
        return browser.wait_for("the game filling a %dx%d view" % view, settled, 15)
    window = wait()
    # Drawn smaller than designed (a phone), a factor of two digits is too
    # small for the probe to tell from one of one digit: there the window's
    # place and size are checked, and the question again once the view is
    # larger. The window may show a frame drawn at the scale before for a
    # moment.
    if browser.scale() >= 1:
        deadline = time.monotonic() + 10
        shown = game.question(browser, window)
        while shown != factors and time.monotonic() < deadline:
            time.sleep(0.5)
            window = wait()
            shown = game.question(browser, window)
        check(shown == factors, "at %dx%d the question reads %s, it was %s" % (
            view + (shown, factors)))
    game.scales["%dx%d" % view] = browser.scale()
    return window


def turn_prompt(browser):
    return browser.evaluate("""(() => {
        const turn = document.querySelector('#turn');
        const r = turn.getBoundingClientRect();
        return getComputedStyle(turn).display !== 'none' && r.width >= window.innerWidth
            && r.height >= window.innerHeight ? turn.innerText : null;
    })()""")


def play_a_game(game, browser, url, view):
    window = game.start(browser, url, NAME, view)
    check(turn_prompt(browser) is None, "the page asks to turn a %dx%d view" % tuple(view))
    factors = game.question(browser, window)
    # The view takes other sizes during the game, which goes on at each.
    for size in (WHITEBOARD, CHROMEBOOK, PHONE_UPRIGHT, PHONE, TABLET, view):
        if size == PHONE_UPRIGHT:
            browser.resize(*size)
            check(turn_prompt(browser) == TURN_PROMPT, "a phone held upright is not asked "
                  "to turn (%r)" % turn_prompt(browser))
        else:
            window = fits(game, browser, size, factors)
            check(turn_prompt(browser) is None, "the page asks to turn a %dx%d view" % size)
    product = factors[0] * factors[1] * factors[2]
    answer = str(product)
    # Typed straight away, as at a keyboard: the answer box has the focus.
    # A letter is refused; the answer's first character goes in.
    browser.type("a")
    browser.type(answer[0])
    # Then as on a tablet: the box tapped, text from the on-screen keyboard
    # (an input method) with a letter refused, a digit erased, the rest.
    game.tap(browser, window, "txtAnswer")
    browser.commit("x")
    browser.type("9")
    browser.key("Backspace")
    browser.type(answer[1:])
    browser.key("Enter")

    game.tap(browser, window, "cmdExit")
    game.read(browser, browser.wait_for_title_start("Data "), "--box",
              "Ciao %s, alla prossima sfida!" % NAME)
    browser.key("Enter")
    game.read(browser, browser.wait_for_box("segni"), "--box",
              "Ok ho registrato il tuo record, C A M P I O N E")
    browser.key("Enter")
    end = game.wait_for_end(browser)
    button = game.read(browser, end, "--closing", "Il gioco è finito.")

    stored = browser.evaluate("localStorage.getItem('segni/record')")
    # The right answer counted (the score 1 beat no record) under the name.
    check(stored is not None, "no record in the browser's local storage (the answer to %s "
          "was %d)" % (factors, product))
    check(json.loads(stored) == STORED, "the stored record is %r" % stored)
    # Another game from the end, without a reload: the button tapped where
    # the page shows it.
    x, y = map(int, button.split())
    browser.tap(end["x"] + x, end["y"] + y)
    browser.wait_for_box(PROMPT_TITLE)
    # The page's files are kept for play without a network by now.
    check(browser.evaluate("""Promise.race([
        navigator.serviceWorker.ready.then(r => !!r.active),
        new Promise(r => setTimeout(() => r(false), 30000))])"""),
          "the page's files were not kept for play without a network")


def record_after_restart(game, browser, url, view):
    game.start(browser, url, "Bruno", view)
    stored = browser.evaluate("localStorage.getItem('segni/record')")
    check(stored is not None and json.loads(stored) == STORED,
          "the stored record after a restart is %r" % stored)


def keyboard_asked(browser):
    """Whether the page's text input for an on-screen keyboard has the
    focus."""
    return browser.evaluate("""(() => {
        let e = document.activeElement;
        while (e && e.shadowRoot && e.shadowRoot.activeElement)
            e = e.shadowRoot.activeElement;
        return !!e && (e.tagName === 'INPUT' || e.tagName === 'TEXTAREA');
    })()""")


def play_by_touch(game, browser, url, view):
    browser.start_touch()
    browser.resize(*view)
    browser.navigate(url)
    browser.wait_for_box(PROMPT_TITLE, 120)
    # The field, then OK.
    game.tap_box(browser, PROMPT_TITLE, "Come ti chiami?", "field")
    check(keyboard_asked(browser), "a tap on the name field asks for no on-screen keyboard")
    browser.commit("Dario")
    game.tap_box(browser, PROMPT_TITLE, "Come ti chiami?")
    game.tap_box(browser, GREETING_TITLE, "Dario vediamo se sei un vero campione")
    window = game.wait_for_game(browser)
    factors = game.question(browser, window)
    game.tap(browser, window, "txtAnswer")
    check(keyboard_asked(browser), "a tap on the answer box asks for no on-screen keyboard")
    browser.commit(str(factors[0] * factors[1] * factors[2]))
    browser.key("Enter")
    # The menu bar's entry, then the one entry of its submenu.
    game.tap(browser, window, "Ciao")
    menu = browser.wait_for("the submenu", lambda windows: next(
        (w for w in windows if w["title"] not in (PLAYING_TITLE, "")
         or (w["title"] == "" and w["width"] < window["width"])), None), 10)
    browser.tap(menu["x"] + menu["width"] / 2, menu["y"] + menu["height"] / 2)
    game.tap_box(browser, "segni", "Programma freeware")
    game.wait_for_game(browser)
    game.tap(browser, window, "cmdExit")
    game.tap_box(browser, browser.wait_for_title_start("Data ")["title"],
                 "Ciao Dario, alla prossima sfida!")
    game.tap_box(browser, "segni", "Ok ho registrato il tuo record, C A M P I O N E")
    end = game.wait_for_end(browser)
    x, y = map(int, game.read(browser, end, "--closing", "Il gioco è finito.").split())
    browser.tap(end["x"] + x, end["y"] + y)
    browser.wait_for_box(PROMPT_TITLE)


def time_up_in_a_box(game, browser, url, view):
    game.start(browser, url, "Carla", view)
    # NUOVO GIOCO from the keyboard: Alt, then the third entry of the bar.
    for key in ("Alt", "ArrowRight", "ArrowRight", "Enter"):
        browser.key(key)
    game.read(browser, browser.wait_for_box(NEW_GAME_TITLE), "--box", "INIZIAMO UNA NUOVA GARA  ?")
    # The one-minute clock runs out behind the question: it closes, and the
    # goodbye comes in front of the window.
    browser.wait_for_title_start("Data ", 90)
    check(not any(w["title"] == NEW_GAME_TITLE for w in browser.windows()),
          "the new-game question stayed open under the goodbye")
    browser.key("Enter")
    game.wait_for_end(browser)
    # Another game from the end's button, which has the keyboard.
    browser.key("Enter")
    browser.wait_for_box(PROMPT_TITLE)


class SchoolServer:
    """Debian's lighttpd, set up as docs/segni-record.lighttpd.conf says,
    serving a copy of the page with a segni.conf beside it."""

    def __init__(self, page, work):
        import socket
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()
        www = os.path.join(work, "www")
        shutil.copytree(page, www)
        os.makedirs(os.path.join(work, "record"))
        self.record = os.path.join(work, "record", "record.txt")
        self.url = "http://127.0.0.1:%d/" % self.port
        with open(os.path.join(www, "segni.conf"), "w") as f:
            f.write("[records]\nurl=%ssegni-record/record.txt\n" % self.url)
        docs = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs")
        config = os.path.join(work, "lighttpd.conf")
        with open(config, "w") as f:
            f.write('server.document-root = "%s"\nserver.bind = "127.0.0.1"\n'
                    'server.port = %d\nserver.errorlog = "%s/error.log"\n'
                    'server.modules += ( "mod_staticfile" )\n'
                    'index-file.names = ( "index.html" )\n'
                    'mimetype.assign = ( ".html" => "text/html", ".js" => "text/javascript",\n'
                    '  ".wasm" => "application/wasm", ".png" => "image/png",\n'
                    '  ".conf" => "text/plain; charset=utf-8" )\n'
                    'include "%s/segni-record.lighttpd.conf"\n'
                    'alias.url := ( "/segni-record/" => "%s/record/" )\n'
                    % (www, self.port, work, os.path.abspath(docs), work))
        self.process = subprocess.Popen([LIGHTTPD, "-D", "-f", config])
        deadline = time.monotonic() + 10
        while True:
            check(self.process.poll() is None, "lighttpd ended at start-up")
            try:
                socket.create_connection(("127.0.0.1", self.port), 1).close()
                break
            except OSError:
                check(time.monotonic() < deadline, "lighttpd does not listen")
                time.sleep(0.1)

    def close(self):
        self.process.terminate()
        self.process.wait()


def answer_right(game, browser, window):
    """Reads the question off the page and types its product."""
    factors = game.question(browser, window)
    browser.type(str(factors[0] * factors[1] * factors[2]))
    browser.key("Enter")


def class_record(game, browsers, server):
    pupils = (("Anna", 1), ("Bruno", 2))
    exits = []
    for browser, (name, right) in zip(browsers, pupils):
        window = game.start(browser, server.url, name, TABLET)
        for question in range(right):
            if question:
                # The next question; the first right answer beat no
                # record, which this question announces.
                browser.key("Enter")
                game.read(browser, browser.wait_for_box("segni"), "--box", "E' record")
                browser.key("Enter")
                game.wait_for_game(browser)
            answer_right(game, browser, window)
        x, y = map(int, game.run_probe("--locate", "cmdExit").split())
        scale = browser.scale()
        exits.append((window["x"] + x * scale, window["y"] + y * scale))
    # Both games end at the same moment, the higher score's a hair first.
    for browser, (x, y) in reversed(list(zip(browsers, exits))):
        browser.tap(x, y)
    for browser, (name, right) in zip(browsers, pupils):
        game.read(browser, browser.wait_for_title_start("Data "), "--box",
                  "Ciao %s, alla prossima sfida!" % name)
        browser.key("Enter")
        told = browser.wait_for_box("segni")
        try:
            game.read(browser, told, "--box", "Ok ho registrato il tuo record, C A M P I O N E",
                      seconds=2)
            print("  %s: told the record is saved" % name)
        except Failure:
            check(name == "Anna", "%s was not told the record is saved" % name)
            # The box's first line, wherever the message wraps at this
            # scale: at least as far as who beat the record and with what.
            words = "Mentre giocavi, Bruno ha portato il record a 2 punti: il tuo".split()
            game.read(browser, told, "--box", [" ".join(words[:n])
                                               for n in range(len(words), 8, -1)])
            print("  %s: told Bruno beat it meanwhile" % name)
        check(browser.evaluate("localStorage.getItem('segni/record')") is None,
              "%s's browser kept a record of its own" % name)
    with open(server.record, "rb") as f:
        kept = f.read()
    check(kept == b"2\r\nBruno\r\n", "the school's server keeps %r" % kept)


def server_gone(game, browser, server):
    """Junk where the record should be reads as no record; the server gone
    before the end, the save says so."""
    with open(server.record, "wb") as f:
        f.write(bytes(range(256)))
    window = game.start(browser, server.url, "Carla", TABLET)
    answer_right(game, browser, window)
    server.close()
    game.tap(browser, window, "cmdExit")
    game.read(browser, browser.wait_for_title_start("Data "), "--box",
              "Ciao Carla, alla prossima sfida!")
    browser.key("Enter")
    # The box's first line, wherever it wraps at this scale, read beside
    # the box's exclamation mark.
    box = browser.wait_for_box("segni")
    icon = round(64 * browser.scale())
    words = "Non sono riuscito a registrare il record sul server http://".split()
    game.read(browser, dict(box, x=box["x"] + icon, width=box["width"] - icon), "--box",
              [" ".join(words[:n]) for n in range(len(words), 6, -1)])


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__)
        return 2
    page, test_page, probe = sys.argv[1:4]
    rounds = int(sys.argv[4]) if len(sys.argv) == 5 else int(os.environ.get("WEB_GAME_ROUNDS", "1"))
    for folder in (page, test_page):
        if not os.path.isfile(os.path.join(folder, "index.html")):
            skip("no web page in %s (./scripts/web builds it)" % folder)
    if not os.access(CHROMIUM, os.X_OK):
        skip("Chromium is not installed (./scripts/web installs it)")
    if not os.access(FIREFOX, os.X_OK):
        skip("Firefox ESR is not installed (./scripts/web installs it)")
    try:
        import websocket  # noqa: F401
    except ImportError:
        skip("python3-websocket is not installed (./scripts/web installs it)")

    passed = 0
    for round_ in range(1, rounds + 1):
        work = tempfile.mkdtemp(prefix="web_game.")
        log = open(os.path.join(work, "browsers.log"), "w")
        served = {"page": Folder(page), "test": Folder(test_page)}
        browser = None
        step = ""
        try:
            game = Game(probe, work)
            profile = os.path.join(work, "profile")
            # Each step in a fresh profile but the restart, which reopens
            # the last one with the page's server gone.
            for step, kind, run, folder, view in (
                    ("a game", Browser, play_a_game, "page", TABLET),
                    ("the record after a restart, offline", Browser, record_after_restart,
                     "page", TABLET),
                    ("a game by touch", Browser, play_by_touch, "again", TABLET),
                    ("a game in Firefox", Firefox, play_a_game, "again", CHROMEBOOK),
                    ("time up with a box open", Browser, time_up_in_a_box, "test", TABLET)):
                if run is record_after_restart:
                    url = served["page"].url
                    served["page"].close()
                else:
                    shutil.rmtree(profile, ignore_errors=True)
                    if folder == "again":
                        served[folder] = served.get(folder) or Folder(page)
                    url = served[folder].url
                browser = kind(profile, log)
                run(game, browser, url, view)
                browser.close()
                browser = None
                print("round %d: %s: passed" % (round_, step))
                passed += 1
            print("round %d: scales: %s" % (round_, ", ".join(
                "%s %.2f" % item for item in sorted(game.scales.items()))))
            step = "the class's record on the school's server"
            if not os.access(LIGHTTPD, os.X_OK):
                print("round %d: %s: SKIPPED: lighttpd is not installed" % (round_, step))
                continue
            for step, run, pupils in (
                    ("the class's record on the school's server", class_record,
                     ("anna", "bruno")),
                    ("junk on the school's server, then the server gone", server_gone,
                     ("carla",))):
                server = SchoolServer(page, os.path.join(work, "school-" + pupils[0]))
                browsers = []
                try:
                    for pupil in pupils:
                        browsers.append(Browser(os.path.join(work, pupil), log))
                    run(game, browsers if len(browsers) > 1 else browsers[0], server)
                except Failure:
                    for pupil, each in zip(pupils, browsers):
                        for line in each.console[-20:]:
                            print("  %s's page: %s" % (pupil, line))
                    raise
                finally:
                    for each in browsers:
                        each.close()
                    server.close()
                print("round %d: %s: passed" % (round_, step))
                passed += 1
        except Failure as failure:
            print("round %d: %s: FAIL: %s" % (round_, step, failure))
            if browser:
                for line in browser.console[-20:]:
                    print("  page: " + line)
                browser.close()
            print("%d passed, 1 failed" % passed)
            return 1
        finally:
            for folder in served.values():
                folder.close()
            log.close()
            shutil.rmtree(work, ignore_errors=True)
    print("%d passed, 0 failed" % passed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
