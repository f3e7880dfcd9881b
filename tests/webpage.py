"""Shared by the browser test and the start-up benchmark: a folder served
over http on 127.0.0.1, and Debian's Chromium, headless, driven over the
DevTools protocol (python3-websocket) with the browser's own input events.
The page's windows are read off the DOM Qt for WebAssembly builds: one
element per window, with its title bar and canvas."""

import base64
import functools
import http.server
import json
import os
import subprocess
import threading
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Folder:
    """A folder served over http on 127.0.0.1, on a port of its own (so
    each folder is a site of its own, with its own local storage)."""

    def __init__(self, path):
        handler = functools.partial(QuietHandler, directory=path)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


class Browser:
    """Chromium with a DevTools connection to its page."""

    def __init__(self, profile, log):
        import websocket
        # Written anew by this browser; one left by the last is stale.
        active = os.path.join(profile, "DevToolsActivePort")
        if os.path.exists(active):
            os.remove(active)
        self.process = subprocess.Popen(
            [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--remote-debugging-port=0",
             "--window-size=1024,768", "--force-device-scale-factor=1", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=log, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while True:
            check(self.process.poll() is None, "Chromium ended at start-up")
            check(time.monotonic() < deadline, "Chromium gave no DevTools port")
            try:
                with open(active) as f:
                    lines = f.read().split()
                if len(lines) == 2:
                    break
            except OSError:
                pass
            time.sleep(0.1)
        self.port = int(lines[0])
        self.browser_path = lines[1]
        with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % self.port) as answer:
            pages = [t for t in json.load(answer) if t["type"] == "page"]
        self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"],
                                                  suppress_origin=True, timeout=60)
        self.next_id = 0
        self.console = []
        self.call("Runtime.enable")
        self.call("Page.enable")
        # The page has the keyboard, as in a browser window in front; a
        # headless one is otherwise never focused.
        self.call("Emulation.setFocusEmulationEnabled", enabled=True)

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise Failure("%s: %s" % (method, message["error"]))
                return message["result"]
            if message.get("method") == "Runtime.consoleAPICalled":
                self.console.append(" ".join(str(a.get("value", a.get("description", "")))
                                             for a in message["params"]["args"]))
            elif message.get("method") == "Runtime.exceptionThrown":
                self.console.append("exception: " + json.dumps(
                    message["params"]["exceptionDetails"])[:500])

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        return result["result"].get("value")

    def close(self):
        """Closes the browser as a person would, so it keeps what the page
        stored, and waits for it to end."""
        import websocket
        try:
            browser = websocket.create_connection(
                "ws://127.0.0.1:%d%s" % (self.port, self.browser_path), suppress_origin=True,
                timeout=10)
            browser.send(json.dumps({"id": 1, "method": "Browser.close"}))
            browser.close()
        except Exception:
            pass
        try:
            self.socket.close()
        except Exception:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    # ---- Input, as the browser's own events ----

    KEYS = {"Enter": ("Enter", 13, "\r"), "Backspace": ("Backspace", 8, ""),
            "Space": ("Space", 32, " "), "Alt": ("AltLeft", 18, ""),
            "ArrowRight": ("ArrowRight", 39, "")}

    def key(self, name):
        if name in self.KEYS:
            code, vk, text = self.KEYS[name]
            key = " " if name == "Space" else name
        else:
            key, text = name, name
            code = ("Digit" + name) if name.isdigit() else (
                "Minus" if name == "-" else "Key" + name.upper())
            vk = ord(name.upper()) if name.isalnum() else 189
        event = {"key": key, "code": code, "windowsVirtualKeyCode": vk,
                 "nativeVirtualKeyCode": vk}
        if text:
            event["text"] = text
        self.call("Input.dispatchKeyEvent", type="keyDown", **event)
        event.pop("text", None)
        self.call("Input.dispatchKeyEvent", type="keyUp", **event)

    def type(self, text):
        for c in text:
            self.key(c)

    def commit(self, text):
        """What an input method or an on-screen keyboard sends: text, with
        no key behind it."""
        self.call("Input.insertText", text=text)

    def tap(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                      clickCount=1)

    # ---- The page's windows ----

    WINDOWS = """(() => {
        const host = document.querySelector('#qt-shadow-container');
        if (!host || !host.shadowRoot)
            return [];
        return [...host.shadowRoot.querySelectorAll('.qt-window')]
            .filter(w => w.style.display === 'block')
            .map(w => {
                const bar = w.querySelector('.title-bar');
                const name = w.querySelector('.window-name');
                const r = w.querySelector('canvas.qt-window-content').getBoundingClientRect();
                return {title: name ? name.innerText : '', framed: !!bar && bar.style.display !== 'none',
                        blocked: w.classList.contains('blocked'),
                        x: r.x, y: r.y, width: r.width, height: r.height};
            });
    })()"""

    def windows(self):
        return self.evaluate(self.WINDOWS) or []

    def wait_for(self, what, test, seconds=30):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            windows = self.windows()
            found = test(windows)
            if found:
                return found
            time.sleep(0.1)
        raise Failure("%s did not come within %d s; the page shows %s" % (
            what, seconds, json.dumps(self.windows())))

    def wait_for_box(self, title, seconds=30):
        """The box with this title, shown and in front (not blocked)."""
        def test(windows):
            for w in windows:
                if w["title"] == title and not w["blocked"]:
                    return w
            return None
        return self.wait_for('the box "%s"' % title, test, seconds)

    def wait_for_title_start(self, start, seconds=30):
        def test(windows):
            for w in windows:
                if w["title"].startswith(start) and not w["blocked"]:
                    return w
            return None
        return self.wait_for('a box titled "%s…"' % start, test, seconds)

    def screenshot(self, window, path):
        shot = self.call("Page.captureScreenshot", format="png", clip={
            "x": window["x"], "y": window["y"], "width": window["width"],
            "height": window["height"], "scale": 1})
        with open(path, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
