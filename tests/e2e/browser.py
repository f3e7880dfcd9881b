"""Shared by the browser test and the start-up benchmark: a folder served
over http on 127.0.0.1, and a browser, headless, driven with its own input
events over a websocket (python3-websocket): Debian's Chromium over the
DevTools protocol, Debian's Firefox ESR over WebDriver BiDi, the two with
the same methods; each protocol supplies only its own commands and how
its answers and events look. The page's windows are read off the DOM Qt
for WebAssembly builds: one element per window, with its title bar and
canvas."""

import base64
import contextlib
import functools
import http.server
import json
import os
import re
import subprocess
import threading
import urllib.request

from display import wait_until
from report import Failure

CHROMIUM = "/usr/bin/chromium"
FIREFOX = "/usr/bin/firefox-esr"


class Folder:
    """A folder served over http on 127.0.0.1, on a port of its own (so
    each folder is a site of its own, with its own local storage)."""

    def __init__(self, path):
        handler = functools.partial(QuietHandler, directory=path)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        """Stops serving (the page's server gone); once is enough."""
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript",
                      ".webmanifest": "application/manifest+json"}

    def log_message(self, *args):
        pass


class Page:
    """What the test and the benchmark do with a page, in either browser;
    each driver below supplies the protocol's own commands, how its
    answers tell an error (error_of) and what of its events it keeps
    (event: what the page wrote to its console), and evaluate(): the value
    of a JavaScript expression, awaited when a promise, as JSON gives it."""

    name = ""

    def connect(self, url):
        """The connection to the browser's page, over a websocket."""
        import websocket
        self.socket = websocket.create_connection(url, suppress_origin=True, timeout=60)
        self.next_id, self.console, self.touching = 0, [], False

    def start_touch(self):
        """A touch screen from now on: taps are touches."""
        self.touching = True

    def call(self, method, **params):
        """Sends a command and waits for its answer; events that come
        first go to event()."""
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                error = self.error_of(message)
                if error:
                    raise Failure("%s: %s" % (method, error))
                return message["result"]
            self.event(message)

    def type(self, text):
        for c in text:
            self.key(c)

    def scale(self):
        """The scale the page draws the game at."""
        return float(self.evaluate("document.documentElement.dataset.scale || '1'"))

    def view(self):
        return self.evaluate("[window.innerWidth, window.innerHeight]")

    # ---- The page's windows ----

    WINDOWS = """(() => {
        const host = document.querySelector('#qt-shadow-container');
        if (!host || !host.shadowRoot)
            return [];
        return [...host.shadowRoot.querySelectorAll('.qt-window')]
            .filter(w => w.style.display === 'block')
            .map(w => {
                const name = w.querySelector('.window-name');
                const r = w.querySelector('canvas.qt-window-content').getBoundingClientRect();
                const o = w.getBoundingClientRect();
                return {title: name ? name.innerText : '', blocked: w.classList.contains('blocked'),
                        x: r.x, y: r.y, width: r.width, height: r.height,
                        outer: [o.left, o.top, o.right, o.bottom]};
            });
    })()"""

    def windows(self):
        return self.evaluate(self.WINDOWS) or []

    def wait_for(self, what, test, seconds=30):
        """What test() gives for the page's windows, once it gives something."""
        return wait_until(lambda: "%s; the page shows %s" % (what, json.dumps(self.windows())),
                          lambda: test(self.windows()), seconds=seconds)

    def end_process(self):
        """Drops the connection and waits for the browser, asked to close, to end (or ends it)."""
        with contextlib.suppress(Exception):
            self.socket.close()
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def shot(self, window):
        """A PNG picture of the window's canvas."""
        return base64.b64decode(self.capture(window["x"], window["y"], window["width"],
                                             window["height"]))


class Browser(Page):
    """Chromium with a DevTools connection to its page."""

    name = "Chromium"

    def __init__(self, profile, log):
        # Written anew by this browser; one left by the last is stale.
        active = os.path.join(profile, "DevToolsActivePort")
        with contextlib.suppress(FileNotFoundError):
            os.remove(active)
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--remote-debugging-port=0",
             "--window-size=1024,768", "--force-device-scale-factor=1", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=log, stdin=subprocess.DEVNULL)

        def read():
            lines = open(active).read().split() if os.path.exists(active) else []
            return len(lines) == 2 and lines
        lines = wait_until("Chromium's remote port", read, self.process, 30)
        self.port = int(lines[0])
        self.browser_path = lines[1]
        with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % self.port) as answer:
            pages = [t for t in json.load(answer) if t["type"] == "page"]
        self.connect(pages[0]["webSocketDebuggerUrl"])
        self.call("Runtime.enable")
        self.call("Page.enable")
        # The page has the keyboard, as in a browser window in front; a
        # headless one is otherwise never focused.
        self.call("Emulation.setFocusEmulationEnabled", enabled=True)

    def error_of(self, answer):
        return answer.get("error")

    def event(self, message):
        if message.get("method") == "Runtime.consoleAPICalled":
            self.console.append(" ".join(str(a.get("value", a.get("description", "")))
                                         for a in message["params"]["args"]))
        elif message.get("method") == "Runtime.exceptionThrown":
            self.console.append("exception: " + json.dumps(
                message["params"]["exceptionDetails"])[:3000])

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        return result["result"].get("value")

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def resize(self, width, height):
        """The page's view at this size, as a screen or window of it."""
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height,
                  deviceScaleFactor=1, mobile=False)

    def start_touch(self):
        self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        super().start_touch()

    def add_script(self, source):
        """Runs in every page of this browser before the page's own scripts."""
        self.call("Page.addScriptToEvaluateOnNewDocument", source=source)

    def close(self):
        """Closes the browser as a person would, so it keeps what the page
        stored, and waits for it to end."""
        import websocket
        with contextlib.suppress(Exception):
            browser = websocket.create_connection(
                "ws://127.0.0.1:%d%s" % (self.port, self.browser_path), suppress_origin=True,
                timeout=10)
            browser.send(json.dumps({"id": 1, "method": "Browser.close"}))
            browser.close()
        self.end_process()

    # ---- Input, as the browser's own events ----

    KEYS = {"Enter": ("Enter", 13, "\r"), "Backspace": ("Backspace", 8, ""),
            "Alt": ("AltLeft", 18, ""), "ArrowRight": ("ArrowRight", 39, "")}

    def key(self, name):
        code, vk, text = self.KEYS.get(name) or (
            "Digit" + name if name.isdigit() else "Minus" if name == "-" else "Key" + name.upper(),
            ord(name.upper()) if name.isalnum() else 189, name)
        event = {"key": name, "code": code, "windowsVirtualKeyCode": vk,
                 "nativeVirtualKeyCode": vk}
        if text:
            event["text"] = text
        self.call("Input.dispatchKeyEvent", type="keyDown", **event)
        event.pop("text", None)
        self.call("Input.dispatchKeyEvent", type="keyUp", **event)

    def commit(self, text):
        """What an input method or an on-screen keyboard sends: text, with
        no key behind it."""
        self.call("Input.insertText", text=text)

    def tap(self, x, y):
        """A click, or on a touch screen a finger's tap."""
        if self.touching:
            self.call("Input.dispatchTouchEvent", type="touchStart",
                      touchPoints=[{"x": x, "y": y, "id": 1}])
            self.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])
            return
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                      clickCount=1)

    def capture(self, x, y, width, height):
        return self.call("Page.captureScreenshot", format="png", clip={
            "x": x, "y": y, "width": width, "height": height, "scale": 1})["data"]


class Firefox(Page):
    """Debian's Firefox ESR with a WebDriver BiDi session on its page (the
    browser's own remote agent: no driver program between)."""

    name = "Firefox"

    # Special keys as WebDriver names them.
    KEYS = {"Enter": "\ue007", "Backspace": "\ue003", "Alt": "\ue00a", "ArrowRight": "\ue014"}

    def __init__(self, profile, log):
        os.makedirs(profile, exist_ok=True)
        # A quiet browser: no first-run pages, no update or telemetry calls.
        with open(os.path.join(profile, "user.js"), "w") as f:
            for pref, value in (("browser.shell.checkDefaultBrowser", "false"),
                                ("browser.startup.homepage_override.mstone", '"ignore"'),
                                ("datareporting.policy.dataSubmissionEnabled", "false"),
                                ("toolkit.telemetry.reportingpolicy.firstRun", "false"),
                                ("app.update.disabledForTesting", "true"),
                                ("browser.aboutwelcome.enabled", "false")):
                f.write("user_pref(%s, %s);\n" % (json.dumps(pref), value))
        self.log_path = os.path.join(profile, "firefox.err")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [FIREFOX, "--headless", "--no-remote", "--profile", profile,
             "--remote-debugging-port=0", "--width=1024", "--height=768", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=self.log, stdin=subprocess.DEVNULL,
            env={**os.environ, "MOZ_CRASHREPORTER_DISABLE": "1"})
        self.other_log = log
        url = wait_until("Firefox's remote port", lambda: re.findall(
            r"WebDriver BiDi listening on (\S+)", open(self.log_path).read()), self.process, 30)[0]
        self.connect(url + "/session")
        self.call("session.new", capabilities={})
        self.call("session.subscribe", events=["log.entryAdded"])
        self.context = self.call("browsingContext.getTree")["contexts"][0]["context"]

    def error_of(self, answer):
        return "%s: %s" % (answer.get("error"), answer.get("message")) \
            if answer.get("type") == "error" else None

    def event(self, message):
        if message.get("method") == "log.entryAdded":
            self.console.append(str(message["params"].get("text")))

    def evaluate(self, expression):
        # The value crosses as JSON text, as DevTools gives it.
        result = self.call("script.evaluate", expression="(async () => JSON.stringify(await (%s)))()"
                           % expression, target={"context": self.context}, awaitPromise=True)
        if result.get("type") == "exception":
            raise Failure("script: %s" % result["exceptionDetails"].get("text"))
        value = result["result"].get("value")
        return json.loads(value) if value is not None else None

    def navigate(self, url):
        self.call("browsingContext.navigate", context=self.context, url=url, wait="none")

    def resize(self, width, height):
        self.call("browsingContext.setViewport", context=self.context,
                  viewport={"width": width, "height": height})

    def add_script(self, source):
        self.call("script.addPreloadScript", functionDeclaration="() => { %s; }" % source)

    def close(self):
        with contextlib.suppress(Exception):
            self.call("browser.close")
        self.end_process()
        self.log.close()
        with open(self.log_path) as f:
            self.other_log.write(f.read())

    def actions(self, *sources):
        self.call("input.performActions", context=self.context, actions=list(sources))

    def key(self, name):
        value = self.KEYS.get(name, name)
        self.actions({"type": "key", "id": "keyboard", "actions": [
            {"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]})

    def commit(self, text):
        # WebDriver has no input method: the on-screen keyboard's text comes
        # as keys.
        self.type(text)

    def tap(self, x, y):
        self.actions({"type": "pointer", "id": "touch" if self.touching else "mouse",
                      "parameters": {"pointerType": "touch" if self.touching else "mouse"},
                      "actions": [{"type": "pointerMove", "x": int(x), "y": int(y)},
                                  {"type": "pointerDown", "button": 0},
                                  {"type": "pointerUp", "button": 0}]})

    def capture(self, x, y, width, height):
        return self.call("browsingContext.captureScreenshot", context=self.context, clip={
            "type": "box", "x": x, "y": y, "width": width, "height": height})["data"]
