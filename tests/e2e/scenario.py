"""The pupil's game, the one place that knows its steps, the same on every
surface. A surface's driver has: window(title) (waits until the window of
that title has the keyboard), reads(title, text), question() (the
factors shown), type(text), enter(), exit() (the Exit button as the
pupil presses it there), ended() (the game ended well) and record() (the
record files' bytes, by name). Driver reads texts and the question off
pictures (picture(title)) with Tesseract; a screen reader's driver hears
them instead."""

import itertools
import time

import ocr
import texts
from report import check


class Driver:
    # How many of the picture's pixels make one of the window's.
    scale = 1.0

    def window(self, title):
        raise NotImplementedError

    def picture(self, title):
        """A picture of the window with that title, which has the keyboard."""
        raise NotImplementedError

    def reads(self, title, text, seconds=10):
        """Waits until the window titled so has the keyboard and shows the text."""
        self.window(title)
        deadline = time.monotonic() + seconds
        for attempt in itertools.count():
            shown, seen = ocr.shows(self.picture(title), text,
                                    ocr.ENLARGEMENTS[attempt % len(ocr.ENLARGEMENTS)])
            if shown:
                return seen
            check(time.monotonic() < deadline, "%r shows %r, not %r" % (title, seen, text))
            time.sleep(0.3)

    def question(self, seconds=15):
        """The factors read off the game window, the same twice in a row."""
        self.window(texts.GAME_TITLE)
        deadline = time.monotonic() + seconds
        last = None
        while True:
            factors, seen = ocr.read_question(self.picture(texts.GAME_TITLE), self.scale)
            if factors and factors == last:
                return factors
            last = factors
            check(time.monotonic() < deadline, "the question could not be read off the "
                  "screen (read %s)" % seen)
            time.sleep(0.2)


def product(factors):
    return factors[0] * factors[1] * factors[2]


def named(driver, report, name):
    """The name prompt read, the name typed into it."""
    driver.reads(texts.PROMPT_TITLE, texts.PROMPT)
    driver.type(name)
    report.ok("the name prompt read %r; %s typed" % (texts.PROMPT, name))


def greeted(driver, report, name):
    """The name given, the greeting read, and the game window with the
    keyboard."""
    driver.enter()
    driver.reads(texts.GREETING_TITLE, texts.greeting(name))
    driver.enter()
    driver.window(texts.GAME_TITLE)
    report.ok("the greeting read %r; the game window has the keyboard" % texts.greeting(name))


def start(driver, report, name):
    named(driver, report, name)
    greeted(driver, report, name)


def answer_right(driver, report):
    factors = driver.question()
    driver.type(str(product(factors)))
    driver.enter()
    report.ok("question %d x (%d) x (%d) read, %d answered"
              % (*factors, product(factors)))
    return factors


def record_announced(driver, report):
    """The next question first announces the record just beaten."""
    driver.enter()
    driver.reads(texts.BOX_TITLE, texts.RECORD_BEATEN)
    driver.enter()
    driver.window(texts.GAME_TITLE)
    report.ok("the next question announced the record: %r" % texts.RECORD_BEATEN)


def goodbye(driver, report, name, saved=True):
    """Exit, the goodbye, and the record's confirmation when it was beaten."""
    driver.exit()
    driver.reads(texts.goodbye_title(), texts.goodbye(name))
    driver.enter()
    if saved:
        driver.reads(texts.BOX_TITLE, texts.SAVED)
        driver.enter()
    report.ok("Exit: %r under %r%s" % (texts.goodbye(name), texts.goodbye_title(),
                                       ", then %r" % texts.SAVED if saved else ""))


def stored(driver, report, score, holder):
    expected = texts.record_bytes(score, holder)
    kept = driver.record()
    check(kept == expected, "the record files hold %r, not %r" % (kept, expected))
    report.ok("the record kept: %s" % ", ".join("%s %r" % item for item in sorted(kept.items())))


def game(driver, report, name="Anna", announced=False, ending="exit"):
    """A short game: the name, one right answer, the record announced when
    asked for, then Exit (or the game told to end, "sigterm"), and one
    right answer kept as the record by this name."""
    start(driver, report, name)
    answer_right(driver, report)
    if announced:
        record_announced(driver, report)
    if ending == "exit":
        goodbye(driver, report, name)
    else:
        driver.terminate()
        report.ok("the game told to end after the right answer")
    driver.ended()
    report.ok("the game ended well")
    stored(driver, report, 1, name)
