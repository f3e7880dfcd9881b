"""The pupil's game, the one place that knows its steps, the same on every
surface. A surface's driver has: window(title) (waits until the window of
that title has the keyboard), reads(title, text), question() (the
factors shown), type(text), enter(), exit() (the Exit button as the
pupil presses it there), ended() (the game ended well) and record() (the
record files' bytes, by name). Driver reads texts and the question off
pictures (picture(title)) with Tesseract; a screen reader's driver hears
them instead."""

import itertools

import ocr
import texts
from display import wait_until
from report import check


class Driver:
    # How many of the picture's pixels make one of the window's.
    scale = 1.0

    def reads(self, title, text, seconds=10):
        """Waits until the window titled so has the keyboard and shows the text."""
        self.window(title)
        sizes, seen = itertools.cycle(ocr.ENLARGEMENTS), [""]

        def shown():
            found, seen[0] = ocr.shows(self.picture(title), text, next(sizes))
            return found
        wait_until(lambda: "%r shows %r, not %r" % (title, seen[0], text), shown,
                   seconds=seconds, every=0.3)

    def question(self, seconds=15):
        """The factors read off the game window, the same twice in a row."""
        self.window(texts.GAME_TITLE)
        read = [None, ""]

        def twice():
            last = read[0]
            read[:] = ocr.read_question(self.picture(texts.GAME_TITLE), self.scale)
            return read[0] if read[0] and read[0] == last else None
        return wait_until(lambda: "the question could not be read off the screen (read %s)"
                          % read[1], twice, seconds=seconds, every=0.2)


def product(factors):
    return factors[0] * factors[1] * factors[2]


def named(driver, report, name):
    """The name prompt read, the name typed into it."""
    driver.reads(texts.PROMPT_TITLE, texts.PROMPT)
    driver.type(name)
    report.ok("the name prompt read %r; %s typed" % (texts.PROMPT, name))


def greeted(driver, report, name):
    """The name given, the greeting read, the game window with the keyboard."""
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


def goodbye(driver, report, name, told=texts.SAVED):
    """Exit, the goodbye, then what the save tells (by default the record's
    confirmation; None when no record was beaten)."""
    driver.exit()
    driver.reads(texts.goodbye_title(), texts.goodbye(name))
    driver.enter()
    if told:
        driver.reads(texts.BOX_TITLE, told)
        driver.enter()
    report.ok("Exit: %r under %r%s" % (texts.goodbye(name), texts.goodbye_title(),
                                       ", then %r" % told if told else ""))


def stored(driver, report, score, holder):
    expected = texts.record_bytes(score, holder)
    kept = driver.record()
    check(kept == expected, "the record files hold %r, not %r" % (kept, expected))
    report.ok("the record kept: %s" % ", ".join("%s %r" % item for item in sorted(kept.items())))


def finished(driver, report, name, ending=None, told=texts.SAVED, holder=None):
    """Exit and the goodbye (or ending(), the game told to end), the game's
    end, and one right answer kept as the record by holder (by default the
    name)."""
    if ending:
        ending()
        report.ok("the game told to end after the right answer")
    else:
        goodbye(driver, report, name, told)
    driver.ended()
    report.ok("the game ended well")
    stored(driver, report, 1, holder or name)


def game(driver, report, name="Anna", announced=False, **end):
    """A short game: the name, one right answer, the record announced when
    asked for, then finished() as end says."""
    start(driver, report, name)
    answer_right(driver, report)
    if announced:
        record_announced(driver, report)
    finished(driver, report, name, **end)
