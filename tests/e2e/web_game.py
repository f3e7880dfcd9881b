#!/usr/bin/python3
"""The web page (./scripts/web) played as a pupil would, headless in
Chromium and Firefox ESR from 127.0.0.1 with their own keys and taps
(browser.py, page.py), read with Tesseract at the page's scale.

- A game (scenario.py), in Chromium at 1024x768 and in Firefox at
  1366x768: through a whiteboard's, a Chromebook's, a tablet's and a
  phone's view (the windows inside each, the question the same at scale
  1 or more; an upright phone asked to turn); letters refused from keys
  and an input method, a digit erased; Exit; the closing page read in its
  colours; the record in local storage; another game from its button;
  the page kept for offline play.
- The same profile restarted with the server gone: the record is there.
- A game by touch: the name field (asking for the on-screen keyboard)
  and every OK, the answer box, a menu entry and its box, Exit, the
  closing page's button.
- The test build's one-minute clock runs out behind the new-game box.
- The school's server (schoolserver.py): two pupils end at once, the
  server keeps the higher, each is told what became of their record;
  then junk served as the record, and the server gone before Exit.

Usage: web_game.py PAGE-FOLDER TEST-PAGE-FOLDER [ROUNDS]   (77, skipped,
without a page, Chromium, Firefox or python3-websocket)
"""

import contextlib
import importlib.util
import os
import shutil
import sys
import tempfile

import listener
import scenario
import texts
from browser import CHROMIUM, FIREFOX, Browser, Firefox, Folder
from display import wait_until
from page import Page
from report import Failure, Report, check, need, skip
from schoolserver import SchoolServer, Unavailable

# The game window's size at scale 1 (its client area is 792 pixels wide).
GAME_WIDTH = 792
# Views a school has: a whiteboard, a Chromebook, a tablet, a phone held
# sideways, and upright.
WHITEBOARD, CHROMEBOOK, TABLET = (1920, 1080), (1366, 768), (1024, 768)
PHONE, PHONE_UPRIGHT = (844, 390), (390, 844)


def fits(page, view, factors):
    """The view at this size: the game window drawn whole at the largest scale
    that fits, in the middle, every window inside, the question the same;
    returns the scale."""
    browser = page.browser
    browser.resize(*view)

    def settled(windows):
        scale = browser.scale()
        game_window = next((w for w in windows if w["title"] == texts.GAME_TITLE), None)
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

    shown = [factors]

    def drawn():
        browser.wait_for("the game filling a %dx%d view" % view, settled, 15)
        # Drawn smaller than designed (a phone), a factor's minus sign is too
        # thin to be read for sure: there the window's place and size are
        # checked, and the question again once the view is larger. The
        # window may show a frame drawn at the scale before for a moment.
        if browser.scale() >= 1:
            shown[0] = page.question()
        return shown[0] == factors
    wait_until(lambda: "at %dx%d the question reads %s, it was %s" % (view + (shown[0], factors)),
               drawn, seconds=20, every=0.5)
    return browser.scale()


def turn_prompt(browser):
    return browser.evaluate("""(() => {
        const turn = document.querySelector('#turn');
        const r = turn.getBoundingClientRect();
        return getComputedStyle(turn).display !== 'none' && r.width >= window.innerWidth
            && r.height >= window.innerHeight ? turn.innerText : null;
    })()""")


def load(page, url, view):
    page.view = view
    page.browser.resize(*view)
    page.browser.navigate(url)
    page.window(texts.PROMPT_TITLE, 120)


def play_a_game(page, report):
    browser, view = page.browser, page.view
    listener.heard_in_firefox(page, report, texts.PROMPT)
    # Typed straight away, as at a keyboard: the box has the focus.
    scenario.start(page, report, "Anna")
    check(turn_prompt(browser) is None, "the page asks to turn a %dx%d view" % view)
    listener.heard_in_firefox(page, report, texts.ANSWER_NAME)
    factors = page.question()
    # The view takes other sizes during the game, which goes on at each.
    scales = []
    for size in (WHITEBOARD, CHROMEBOOK, PHONE_UPRIGHT, PHONE, TABLET, view):
        if size == PHONE_UPRIGHT:
            browser.resize(*size)
            check(turn_prompt(browser) == texts.TURN_PROMPT, "a phone held upright is not "
                  "asked to turn (%r)" % turn_prompt(browser))
        else:
            scales.append("%dx%d %.2f" % (size + (fits(page, size, factors),)))
            check(turn_prompt(browser) is None, "the page asks to turn a %dx%d view" % size)
    report.ok("the game fits each view, the question reads the same at scale 1 or more; "
              "an upright phone is asked to turn")
    report.note("%s's scales: %s" % (browser.name, ", ".join(scales)))
    answer = str(scenario.product(factors))
    # Typed straight away, as at a keyboard: the answer box has the focus.
    # A letter is refused; the answer's first character goes in.
    browser.type("a")
    browser.type(answer[0])
    # Then as on a tablet: the box tapped, text from the on-screen keyboard
    # (an input method) with a letter refused, a digit erased, the rest.
    page.tap_answer()
    browser.commit("x")
    browser.type("9")
    browser.key("Backspace")
    browser.type(answer[1:])
    browser.key("Enter")
    listener.heard_in_firefox(page, report, texts.NEXT_NAME)
    report.ok("%d x (%d) x (%d) answered, with letters refused and a digit erased" % tuple(factors))
    scenario.goodbye(page, report, "Anna")
    again = page.closing()
    report.ok("the closing page reads %r in its colours, with a button below" % texts.CLOSING)
    # The right answer counted (the score 1 beat no record) under the name.
    scenario.stored(page, report, 1, "Anna")
    # Another game from the end, without a reload: the button tapped where
    # the page shows it.
    browser.tap(*again)
    page.window(texts.PROMPT_TITLE)
    # The page's files are kept for play without a network by now.
    check(browser.evaluate("""Promise.race([
        navigator.serviceWorker.ready.then(r => !!r.active),
        new Promise(r => setTimeout(() => r(false), 30000))])"""),
          "the page's files were not kept for play without a network")
    report.ok("another game from the closing page's button; the page kept for offline play")


def listened(ears, report):
    """A game heard through a screen reader, with keys only (Chromium's
    accessibility tree): the prompt with no button to find first."""
    ears.no_button()
    scenario.start(ears, report, "Dora")
    before = ears.clock()
    factors = scenario.answer_right(ears, report)
    ears.verdict(True, scenario.product(factors), (1, 0, 1))
    ears.browser.wait_for("the clock read anew", lambda _: ears.clock() not in (None, before)
                          or None, 5)
    report.ok("the question and the verdict said once; the clock read when asked, %s, "
              "and never said" % ears.clock())
    ears.menu()
    report.ok("Alt: the focus on the menu entry %r, then %r said; Escape twice: back"
              % (texts.FIRST_MENU, texts.CREDITS_ENTRY))
    scenario.goodbye(ears, report, "Dora")
    ears.ended()


def record_after_restart(page, report):
    scenario.start(page, report, "Bruno")
    scenario.stored(page, report, 1, "Anna")


def keyboard_asked(browser):
    """Whether the page's text input for an on-screen keyboard has the focus."""
    return browser.evaluate("""(() => {
        let e = document.activeElement;
        while (e && e.shadowRoot && e.shadowRoot.activeElement)
            e = e.shadowRoot.activeElement;
        return !!e && (e.tagName === 'INPUT' || e.tagName === 'TEXTAREA');
    })()""")


def play_by_touch(page, report):
    browser = page.browser
    # The field, then OK.
    page.tap_box(texts.PROMPT_TITLE, texts.PROMPT, "field")
    check(keyboard_asked(browser), "a tap on the name field asks for no on-screen keyboard")
    browser.commit("Dario")
    page.tap_box(texts.PROMPT_TITLE, texts.PROMPT)
    page.tap_box(texts.GREETING_TITLE, texts.greeting("Dario"))
    window = page.window(texts.GAME_TITLE)
    factors = page.question()
    page.tap_answer()
    check(keyboard_asked(browser), "a tap on the answer box asks for no on-screen keyboard")
    browser.commit(str(scenario.product(factors)))
    browser.key("Enter")
    # The menu bar's entry, then the one entry of its submenu.
    page.tap_menu("contributori")
    menu = browser.wait_for("the submenu", lambda windows: next(
        (w for w in windows if w["title"] not in (texts.GAME_TITLE, "")
         or (w["title"] == "" and w["width"] < window["width"])), None), 10)
    browser.tap(menu["x"] + menu["width"] / 2, menu["y"] + menu["height"] / 2)
    page.tap_box(texts.BOX_TITLE, texts.CREDITS)
    page.window(texts.GAME_TITLE)
    page.exit()
    page.tap_box(texts.goodbye_title(), texts.goodbye("Dario"))
    page.tap_box(texts.BOX_TITLE, texts.SAVED)
    browser.tap(*page.closing())
    page.window(texts.PROMPT_TITLE)
    report.ok("a game by touch: the name field and OK, the greeting's OK, the answer box, "
              "the menu and %r, Exit, the goodbye's and the record's OK, the closing page's "
              "button" % texts.CREDITS)


def time_up_in_a_box(page, report):
    browser = page.browser
    scenario.start(page, report, "Carla")
    # NUOVO GIOCO from the keyboard: Alt, then the third entry of the bar.
    for key in ("Alt", "ArrowRight", "ArrowRight", "Enter"):
        browser.key(key)
    page.reads(texts.NEW_GAME_TITLE, texts.NEW_GAME)
    # The one-minute clock runs out behind the question: it closes, and the
    # goodbye comes in front of the window.
    page.window(texts.goodbye_title(), 90)
    check(not any(w["title"] == texts.NEW_GAME_TITLE for w in browser.windows()),
          "the new-game question stayed open under the goodbye")
    page.enter()
    page.end()
    # Another game from the end's button, which has the keyboard.
    page.enter()
    page.window(texts.PROMPT_TITLE)
    report.ok("the time ran out behind the new-game question: it closed for the goodbye")


def class_record(pages, report, server):
    pupils = (("Anna", 1), ("Bruno", 2))
    exits = []
    for page, (name, right) in zip(pages, pupils):
        load(page, server.url, TABLET)
        scenario.start(page, report, name)
        for question in range(right):
            if question:
                # The next question; the first right answer beat no
                # record, which this question announces.
                scenario.record_announced(page, report)
            scenario.answer_right(page, report)
        exits.append(page.exit_place())
    # Both games end at the same moment, the higher score's a hair first.
    for page, place in reversed(list(zip(pages, exits))):
        page.browser.tap(*place)
    for page, (name, right) in zip(pages, pupils):
        page.reads(texts.goodbye_title(), texts.goodbye(name))
        page.enter()
        # Anna's save may come first, or find Bruno's record there.
        try:
            page.reads(texts.BOX_TITLE, texts.SAVED, seconds=10 if name == "Bruno" else 2)
            report.note("%s: told the record is saved" % name)
        except Failure:
            if name == "Bruno":
                raise
            page.reads(texts.BOX_TITLE, texts.beaten_meanwhile("Bruno", 2))
            report.note("%s: told Bruno beat it meanwhile" % name)
        check(page.browser.evaluate("localStorage.getItem('segni/record')") is None,
              "%s's browser kept a record of its own" % name)
    with open(server.record, "rb") as f:
        kept = f.read()
    check(kept == b"2\r\nBruno\r\n", "the school's server keeps %r" % kept)
    report.ok("the class's record: the server keeps 2 by Bruno; each pupil told what "
              "became of their record; no browser kept one of its own")


def server_gone(page, report, server):
    """Junk where the record should be reads as no record; the server gone
    before the end, the save says so."""
    with open(server.record, "wb") as f:
        f.write(bytes(range(256)))
    load(page, server.url, TABLET)
    scenario.start(page, report, "Carla")
    scenario.answer_right(page, report)
    server.close()
    scenario.goodbye(page, report, "Carla", told=texts.SERVER_FAILED)
    report.ok("junk on the school's server read as no record; with the server gone the "
              "pupil is told the save failed")


def main(report):
    if len(sys.argv) not in (3, 4):
        print(__doc__)
        sys.exit(2)
    page_folder, test_folder = sys.argv[1:3]
    rounds = int(sys.argv[3] if len(sys.argv) == 4 else os.environ.get("WEB_GAME_ROUNDS", "1"))
    for folder in (page_folder, test_folder):
        if not os.path.isfile(os.path.join(folder, "index.html")):
            skip("no web page in %s (./scripts/web builds it)" % folder)
    need((CHROMIUM, FIREFOX), "%s is not installed (./scripts/web installs it)")
    if importlib.util.find_spec("websocket") is None:
        skip("python3-websocket is not installed (./scripts/web installs it)")

    for round_ in range(1, rounds + 1):
        work = tempfile.mkdtemp(prefix="web_game.")
        report.cleanups.append(lambda work=work: shutil.rmtree(work, ignore_errors=True))
        log = open(os.path.join(work, "browsers.log"), "w")
        report.cleanups.append(log.close)
        served = {"page": Folder(page_folder), "test": Folder(test_folder)}
        report.cleanups.append(lambda: [folder.close() for folder in served.values()])
        profile = os.path.join(work, "profile")
        # Each step in a fresh profile but the restart, which reopens the
        # last one with the page's server gone.
        for step, kind, run, folder, view in (
                ("a game", Browser, play_a_game, "page", TABLET),
                ("the record after a restart, offline", Browser, record_after_restart,
                 "page", TABLET),
                ("a game by touch", Browser, play_by_touch, "again", TABLET),
                ("a game heard through a screen reader", Browser, listened, "again", TABLET),
                ("a game in Firefox", Firefox, play_a_game, "again", CHROMEBOOK),
                ("time up with a box open", Browser, time_up_in_a_box, "test", TABLET)):
            if run is record_after_restart:
                url = served["page"].url
                served["page"].close()
            else:
                shutil.rmtree(profile, ignore_errors=True)
                if folder == "again":
                    served[folder] = served.get(folder) or Folder(page_folder)
                url = served[folder].url
            report.note("round %d: %s" % (round_, step))
            with browsing([kind(profile, log)]) as browsers:
                page = (listener.Listener if run is listened else Page)(browsers[0])
                if run is play_by_touch:
                    page.browser.start_touch()
                load(page, url, view)
                run(page, report)
        for step, run, pupils in (
                ("the class's record on the school's server", class_record, ("anna", "bruno")),
                ("junk on the school's server, then the server gone", server_gone,
                 ("carla",))):
            try:
                server = SchoolServer(os.path.join(work, "school-" + pupils[0]), page_folder)
            except Unavailable as why:
                report.note("round %d: %s: SKIP: %s" % (round_, step, why))
                continue
            report.cleanups.append(server.close)
            report.note("round %d: %s" % (round_, step))
            with browsing([Browser(os.path.join(work, pupil), log)
                                   for pupil in pupils], pupils) as browsers:
                pages = [Page(each) for each in browsers]
                run(pages if len(pages) > 1 else pages[0], report, server)
            server.close()


@contextlib.contextmanager
def browsing(browsers, names=("page",)):
    """Browsers for a step, closed after it; on a failure their pages' last
    console lines are shown."""
    try:
        yield browsers
    except BaseException:
        for name, each in zip(names, browsers):
            for line in each.console[-20:]:
                print("  %s's page: %s" % (name, line))
        raise
    finally:
        for each in browsers:
            each.close()


if __name__ == "__main__":
    Report().run(main)
