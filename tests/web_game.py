#!/usr/bin/python3
"""The web page (./scripts/web) played in Debian's Chromium, headless, as a
pupil would, over the DevTools protocol: the folder served over http from
127.0.0.1, a fresh browser profile, keys typed and taps given as the
browser's own input events.

- A game: the name prompt read off the page (a screenshot of the box
  matched by screenprobe) and the name typed into it straight away, the
  greeting read, the question read off the canvas (a screenshot of the
  game window), the answer begun straight away from the keys and finished
  after a tap on the box through an input method, letters refused both
  ways, a digit erased with Backspace, Exit, the goodbye and the record's
  confirmation read; the page then says the game is over (read off it, in
  its colours), the record is one item of the browser's local storage
  holding both record files' bytes, and the page's button, tapped where
  the page shows it, starts another game without a reload.
- The same profile after the browser is restarted: the record (1) and its
  holder's name show.
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
Exits 77 (skipped) when there is no page, no Chromium or no DevTools client.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from webpage import CHROMIUM, Browser, Failure, Folder, check

LIGHTTPD = "/usr/sbin/lighttpd"

NAME = "Anna"
PROMPT_TITLE = "Rovid edi do rerudiru da razuzo razozezo"
GREETING_TITLE = "Sei pronto per il record? Buona fortuna"
PLAYING_TITLE = "Ziverur adi v edizor arizadev"
NEW_GAME_TITLE = "INIZIARE NUOVA GARA"
STORED = {"marvo.txt": "1\r\n", "nmarvo.txt": NAME + "\r\n"}


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(77)


class Game:
    def __init__(self, probe, work):
        self.probe = probe
        self.work = work
        self.shots = 0

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
        prints."""
        deadline = time.monotonic() + seconds
        while True:
            result = subprocess.run([self.probe, what, self.shot(browser, window), text],
                                    capture_output=True, text=True)
            if result.returncode == 0:
                return result.stdout.rstrip("\n")
            check(time.monotonic() < deadline, "%r not read: %s" % (text, result.stderr))
            time.sleep(0.5)

    def tap(self, browser, window, name):
        x, y = map(int, self.run_probe("--locate", name).split())
        browser.tap(window["x"] + x, window["y"] + y)

    def start(self, browser, url, name):
        """Loads the page and gets through the name prompt and the
        greeting to the game window."""
        browser.call("Page.navigate", url=url)
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
        return browser.wait_for("the page's end", lambda windows: windows[0] if len(windows) == 1
                                and windows[0]["title"] == "segni" and windows[0]["width"] >= 1000
                                else None)


def play_a_game(game, browser, url):
    window = game.start(browser, url, NAME)
    factors = [int(v) for v in game.run_probe("--image", game.shot(browser, window)).split()]
    check(len(factors) == 3, "no question read off the page")
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


def record_after_restart(game, browser, url):
    game.start(browser, url, "Bruno")
    stored = browser.evaluate("localStorage.getItem('segni/record')")
    check(stored is not None and json.loads(stored) == STORED,
          "the stored record after a restart is %r" % stored)


def time_up_in_a_box(game, browser, url):
    game.start(browser, url, "Carla")
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
    factors = [int(v) for v in game.run_probe("--image", game.shot(browser, window)).split()]
    check(len(factors) == 3, "no question read off the page")
    browser.type(str(factors[0] * factors[1] * factors[2]))
    browser.key("Enter")


def class_record(game, browsers, server):
    pupils = (("Anna", 1), ("Bruno", 2))
    exits = []
    for browser, (name, right) in zip(browsers, pupils):
        window = game.start(browser, server.url, name)
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
        exits.append((window["x"] + x, window["y"] + y))
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
            # The box's first line; the message wraps after it.
            game.read(browser, told, "--box", "Mentre giocavi, Bruno ha portato il record a "
                      "2 punti: il tuo")
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
    window = game.start(browser, server.url, "Carla")
    answer_right(game, browser, window)
    server.close()
    game.tap(browser, window, "cmdExit")
    game.read(browser, browser.wait_for_title_start("Data "), "--box",
              "Ciao Carla, alla prossima sfida!")
    browser.key("Enter")
    # The box's first line, up to where the address wraps, read beside the
    # box's exclamation mark.
    box = browser.wait_for_box("segni")
    game.read(browser, dict(box, x=box["x"] + 64, width=box["width"] - 64), "--box",
              "Non sono riuscito a registrare il record sul server http://")


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
    try:
        import websocket  # noqa: F401
    except ImportError:
        skip("python3-websocket is not installed (./scripts/web installs it)")

    passed = 0
    for round_ in range(1, rounds + 1):
        work = tempfile.mkdtemp(prefix="web_game.")
        log = open(os.path.join(work, "chromium.log"), "w")
        served = [Folder(page), Folder(test_page)]
        browser = None
        step = ""
        try:
            game = Game(probe, work)
            profile = os.path.join(work, "profile")
            for step, run, url in (
                    ("a game", play_a_game, served[0].url),
                    ("the record after a restart", record_after_restart, served[0].url),
                    ("time up with a box open", time_up_in_a_box, served[1].url)):
                if step != "the record after a restart":
                    shutil.rmtree(profile, ignore_errors=True)
                browser = Browser(profile, log)
                run(game, browser, url)
                browser.close()
                browser = None
                print("round %d: %s: passed" % (round_, step))
                passed += 1
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
            for folder in served:
                folder.close()
            log.close()
            shutil.rmtree(work, ignore_errors=True)
    print("%d passed, 0 failed" % passed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
