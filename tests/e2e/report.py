"""One way for every end-to-end test to say how it went: "PASS: what" for
each check made, "FAIL: why" and "SKIP: why", then the closing line
"N passed, N failed" that CTest's log and CI read. A skip exits with 77,
CTest's SKIP_RETURN_CODE for these tests."""

import shutil
import sys
import traceback

SKIPPED = 77


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def skip(why):
    raise Skip(why)


def need(tools, why):
    """Skips, why naming the tool (%s), unless each tool is installed."""
    for tool in tools:
        if not shutil.which(tool):
            skip(why % tool)


class Report:
    def __init__(self):
        self.passed = 0
        # Each line as it comes, so a test ended by CTest's timeout shows how far it got.
        sys.stdout.reconfigure(line_buffering=True)
        # Called on a failure, to show what the surface logged.
        self.on_failure = []
        # Called at the end, however it went (after on_failure).
        self.cleanups = []

    def ok(self, what):
        self.passed += 1
        print("PASS: " + what)

    def note(self, what):
        print("  " + what)

    def run(self, test):
        """Runs test(report), then the cleanups, and exits as it went."""
        status = 0
        try:
            test(self)
            print("%d passed, 0 failed" % self.passed)
        except Skip as why:
            print("SKIP: %s" % why)
            status = SKIPPED
        except Exception as why:
            print("FAIL: %s" % (why if isinstance(why, Failure) else repr(why)))
            if not isinstance(why, Failure):
                traceback.print_exc(file=sys.stdout)
            self.call(self.on_failure)
            print("%d passed, 1 failed" % self.passed)
            status = 1
        finally:
            self.call(reversed(self.cleanups))
        sys.exit(status)

    @staticmethod
    def call(functions):
        for function in functions:
            try:
                function()
            except Exception as why:
                print("  (%r)" % why)
