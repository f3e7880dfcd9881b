#!/usr/bin/python3
"""A private X server for every test and script that needs one: Xvfb on a
display it picks itself (-displayfd: no lock file shows a display held in
another container), optionally openbox and a D-Bus session on it; all
ended on close. As a command, runs COMMAND on a fresh one:
    display.py [--size WIDTHxHEIGHT] COMMAND [ARGUMENT...]
"""

import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

from report import Failure, check


def wait_until(what, ready, process=None, seconds=10, fail=Failure, every=0.1):
    """Calls ready() until it gives something, and returns that; fails once
    the seconds are up or the process (if any) has ended. what: what is
    awaited, or a function telling, at the failure, what shows instead."""
    deadline = time.monotonic() + seconds
    while True:
        found = ready()
        if found:
            return found
        ended = process is not None and process.poll() is not None
        if ended or time.monotonic() > deadline:
            why = ("the process ended (status %s) first" % process.returncode if ended
                   else "not within %g s" % seconds)
            raise fail("%s: %s" % (why, what() if callable(what) else what))
        time.sleep(every)


class Display:
    """Xvfb, and what runs on it, in a scratch folder of its own."""

    def __init__(self, size="1024x768", work=None):
        self.own_work = work is None
        self.work = work or tempfile.mkdtemp(prefix="display.")
        self.processes = []
        self.logs = {}
        # A display given up by a server that is still going away, as a test
        # run beside this one ends, can lose its socket to that server's
        # last steps: a display no client reaches is left for another.
        for _ in range(3):
            number = self.told("xvfb", ["Xvfb", "-displayfd", "{fd}", "-screen", "0",
                                        size + "x24", "-nolisten", "tcp"])
            check(number, "Xvfb ended before it gave a display: %s" % self.log("xvfb"))
            self.name = ":" + number
            self.env = dict(os.environ, DISPLAY=self.name)
            if subprocess.run(["xwininfo", "-root"], env=self.env,
                              capture_output=True).returncode == 0:
                return
            self.close(keep_work=True)
        raise Failure("no client reaches the displays Xvfb gave: %s" % self.log("xvfb"))

    def told(self, log, command, seconds=10):
        """Starts a process that writes one line, once it is ready, to the
        descriptor put in place of {fd}; the line, or "" if it ended first
        or wrote nothing in time."""
        read, write = os.pipe()
        self.spawn(log, [arg.replace("{fd}", str(write)) for arg in command], pass_fds=(write,))
        os.close(write)
        line = b""
        deadline = time.monotonic() + seconds
        with os.fdopen(read, "rb", buffering=0) as told:
            while not line.endswith(b"\n") and select.select([told], [], [], max(
                    0, deadline - time.monotonic()))[0]:
                chunk = told.read(64)
                if not chunk:
                    break
                line += chunk
        return line.decode().strip() if line.endswith(b"\n") else ""

    def spawn(self, log, command, **options):
        """Starts a process whose output goes to WORK/LOG.log."""
        path = os.path.join(self.work, log + ".log")
        self.logs[log] = path
        with open(path, "ab") as out:
            process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL,
                                       env=options.pop("env", getattr(self, "env", None)),
                                       **options)
        self.processes.append(process)
        return process

    def log(self, name):
        path = self.logs.get(name, "")
        return open(path, errors="replace").read() if os.path.isfile(path) else ""

    def show_logs(self):
        for name in self.logs:
            for line in self.log(name).splitlines()[-40:]:
                print("  %s: %s" % (name, line))

    def openbox(self):
        """Starts openbox and waits until it manages windows."""
        check(shutil.which("openbox"), "openbox is not installed")
        ready = os.path.join(self.work, "wm-ready")
        wm = self.spawn("wm", ["openbox", "--sm-disable", "--startup", "touch " + ready])
        wait_until("openbox", lambda: os.path.exists(ready), wm)
        return wm

    def dbus_session(self, fail=Failure):
        """A D-Bus session of its own; its address goes into env."""
        address = self.told("bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                    "--print-address={fd}"])
        if not address:
            raise fail("the D-Bus session did not start: %s" % self.log("bus"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def close(self, keep_work=False):
        """Ends what was started, last first, then the server."""
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []
        if self.own_work and not keep_work:
            shutil.rmtree(self.work, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def scratch(report, prefix, size="1024x768"):
    """A scratch folder and a private display in it, both gone at the end."""
    work = tempfile.mkdtemp(prefix=prefix)
    report.cleanups.append(lambda: shutil.rmtree(work, ignore_errors=True))
    display = Display(size, work=work)
    report.cleanups.append(display.close)
    return display, work


def main(args):
    size = "1024x768"
    if args[:1] == ["--size"]:
        size, args = args[1], args[2:]
    if not args:
        print(__doc__)
        return 2
    with Display(size) as display:
        return subprocess.call(args, env=display.env)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
