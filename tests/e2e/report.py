"""One way for every end-to-end test to say how it went: "PASS: what" for
each check made, "FAIL: why" and "SKIP: why", then the closing line
"N passed, N failed" that CTest's log and CI read. A skip exits with 77,
CTest's SKIP_RETURN_CODE for these tests."""

import sys

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


class Report:
    def __init__(self):
        self.passed = 0
        # Called on a failure, to show what the surface logged.
        self.on_failure = []
        # Called at the end, however it went (after on_failure).
        self.cleanups = []

    def ok(self, what):
        self.passed += 1
        print("PASS: " + what, flush=True)

    def note(self, what):
        print("  " + what, flush=True)

    def run(self, test):
        """Runs test(report) and exits as it went."""
        try:
            self._run(test)
        finally:
            for cleanup in reversed(self.cleanups):
                cleanup()

    def _run(self, test):
        try:
            test(self)
        except Skip as why:
            print("SKIP: %s" % why, flush=True)
            sys.exit(SKIPPED)
        except (Failure, Exception) as why:
            print("FAIL: %s" % (why if isinstance(why, Failure) else repr(why)), flush=True)
            if not isinstance(why, Failure):
                import traceback
                traceback.print_exc(file=sys.stdout)
            for show in self.on_failure:
                try:
                    show()
                except Exception as also:
                    print("  (while showing the logs: %r)" % also)
            print("%d passed, 1 failed" % self.passed, flush=True)
            sys.exit(1)
        print("%d passed, 0 failed" % self.passed, flush=True)
        sys.exit(0)
