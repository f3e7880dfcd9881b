#!/usr/bin/python3
"""The school's web server for the tests: Debian's lighttpd, or Apache
with mod_dav_fs, as a school sets it up (docs/segni-record.*.conf), on
127.0.0.1 and a free port, in FOLDER: FOLDER/www served at / (a copy of
PAGE-FOLDER, if given), FOLDER/record at /segni-record/, errors in
FOLDER/error.log. Another kind of server is a class like Lighttpd, named
in KINDS.

As a command (the C++ tests' SchoolServer) it prints the port once the
server listens and ends it when its input closes or on SIGTERM; it prints
why and exits with 77 when the server is not installed, with 1 when it is
but does not serve (a broken configuration fails the tests using it).
    schoolserver.py [--kind lighttpd|apache] FOLDER [PAGE-FOLDER]
"""

import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from report import Failure

DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")
RECORD_PATH = "/segni-record/"


class Unavailable(Exception):
    """The server is not installed."""


class Broken(Failure):
    """The server is installed but does not serve."""


def ends_with_its_parent():
    """Run in the server's process before it starts: the server is told to
    end (SIGTERM) when the helper that started it goes, however it goes."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Lighttpd:
    program = "/usr/sbin/lighttpd"
    package = "lighttpd lighttpd-mod-webdav"

    def command(self, folder, port):
        config = os.path.join(folder, "lighttpd.conf")
        with open(config, "w") as f:
            f.write('server.document-root = "%(folder)s/www"\n'
                    'server.bind = "127.0.0.1"\n'
                    'server.port = %(port)d\n'
                    'server.errorlog = "%(folder)s/error.log"\n'
                    'server.modules += ( "mod_staticfile" )\n'
                    'index-file.names = ( "index.html" )\n'
                    'mimetype.assign = ( ".html" => "text/html", ".js" => "text/javascript",\n'
                    '  ".wasm" => "application/wasm", ".png" => "image/png",\n'
                    '  ".conf" => "text/plain; charset=utf-8" )\n'
                    'include "%(docs)s/segni-record.lighttpd.conf"\n'
                    'alias.url := ( "%(path)s" => "%(folder)s/record/" )\n'
                    % {"folder": folder, "port": port, "docs": os.path.abspath(DOCS),
                       "path": RECORD_PATH})
        return [self.program, "-D", "-f", config]


class Apache:
    """Debian's Apache 2.4 with its event MPM and default FileETag: one
    process group of the test's own (apache2-bin, no service)."""
    program = "/usr/sbin/apache2"
    package = "apache2-bin"
    modules = ["mpm_event", "authz_core", "alias", "dav", "dav_fs", "headers", "mime", "dir"]

    def command(self, folder, port):
        # Run by root, Apache serves as www-data, which must reach the record.
        if os.geteuid() == 0:
            os.chmod(folder, 0o755)
            os.chmod(os.path.join(folder, "record"), 0o777)
        locks = os.path.join(folder, "dav")
        os.makedirs(locks, mode=0o777, exist_ok=True)
        os.chmod(locks, 0o777)
        config = os.path.join(folder, "apache2.conf")
        with open(config, "w") as f:
            for module in self.modules:
                f.write("LoadModule %s_module /usr/lib/apache2/modules/mod_%s.so\n"
                        % (module, module))
            f.write('ServerName 127.0.0.1\n'
                    'Listen 127.0.0.1:%(port)d\n'
                    'User www-data\nGroup www-data\n'
                    'DefaultRuntimeDir "%(folder)s"\n'
                    'PidFile "%(folder)s/apache2.pid"\n'
                    'ErrorLog "%(folder)s/error.log"\n'
                    'DocumentRoot "%(folder)s/www"\n'
                    '<Directory "%(folder)s/www">\n  Require all granted\n</Directory>\n'
                    'DirectoryIndex index.html\n'
                    'TypesConfig /etc/mime.types\n'
                    'AddType application/wasm .wasm\n'
                    'DavLockDB "%(folder)s/dav/lock"\n'
                    # The school's record at its own folder here: the first
                    # Alias that matches is taken.
                    'Alias %(path)s "%(folder)s/record/"\n'
                    'Include "%(docs)s/segni-record.apache.conf"\n'
                    % {"folder": folder, "port": port, "docs": os.path.abspath(DOCS),
                       "path": RECORD_PATH})
        return [self.program, "-f", config, "-DFOREGROUND"]


KINDS = {"lighttpd": Lighttpd, "apache": Apache}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class SchoolServer:
    """A server of that kind serving FOLDER (see above)."""

    def __init__(self, folder, page=None, kind="lighttpd"):
        self.kind = KINDS[kind]()
        if not os.access(self.kind.program, os.X_OK):
            raise Unavailable("%s is not installed (Debian: %s)" % (kind, self.kind.package))
        self.folder = os.path.abspath(folder)
        www = os.path.join(self.folder, "www")
        if page and not os.path.exists(www):
            shutil.copytree(page, www)
        os.makedirs(www, exist_ok=True)
        os.makedirs(os.path.join(self.folder, "record"), exist_ok=True)
        self.record = os.path.join(self.folder, "record", "record.txt")
        self.process = None
        # A port free a moment ago may be taken by another test before the
        # server binds it: the server then ends, and another port is tried.
        for _ in range(5):
            why = self._start(free_port())
            if not why:
                break
        else:
            raise Broken(why)
        self.url = "http://127.0.0.1:%d/" % self.port
        if page:
            # The page's setting, beside it, names the class's record.
            with open(os.path.join(www, "segni.conf"), "w") as f:
                f.write("[records]\nurl=%s%srecord.txt\n" % (self.url, RECORD_PATH[1:]))

    def _start(self, port):
        self.port = port
        self.process = subprocess.Popen(self.kind.command(self.folder, port),
                                        stdin=subprocess.DEVNULL,
                                        preexec_fn=ends_with_its_parent)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", port), 0.2).close()
                connected = True
            except OSError:
                connected = False
            # Only a server still running after the connection is the one
            # that listens there.
            try:
                self.process.wait(0.2 if connected else 0.05)
                return "%s ended: %s" % (self.kind.program, self.error_log())
            except subprocess.TimeoutExpired:
                pass
            if connected:
                return ""
        self.close()
        return "%s does not listen on port %d" % (self.kind.program, port)

    def error_log(self):
        path = os.path.join(self.folder, "error.log")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def close(self):
        """Stops the server; once is enough."""
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait()


def main(args):
    kind = "lighttpd"
    if args[:1] == ["--kind"]:
        kind, args = args[1], args[2:]
    if not 1 <= len(args) <= 2 or kind not in KINDS:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        server = SchoolServer(args[0], args[1] if len(args) > 1 else None, kind)
    except (Unavailable, Broken) as why:
        print(why, file=sys.stderr)
        return 77 if isinstance(why, Unavailable) else 1
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    print(server.port, flush=True)
    try:
        done.wait()
    finally:
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
