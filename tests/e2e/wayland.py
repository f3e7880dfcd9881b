"""The game natively under Wayland, as on Debian's GNOME: mutter nested in
a private Xvfb, the game talking Wayland to it, keys typed into mutter's
X window with xdotool. Which window has the keyboard, and which box sits
on which window, is read from the game's own protocol log
(WAYLAND_DEBUG=client); pictures are of mutter's output."""

import os
import re

from display import wait_until
from report import Skip, check, need
from x11 import X11

_TOKEN = re.compile(r"[a-z_0-9]+@[0-9]+")
_CALL = re.compile(r"@[0-9]+\.([a-z_]+)\(")


def windows(log):
    """The game's windows in the order they were made, as (title, parent
    title, has the keyboard). Object numbers are used again once freed,
    so the log is read in order. Newer libwayland writes iface#id, older
    iface@id."""
    surfaces, toplevels, made = {}, {}, []
    focus = None
    for line in log.splitlines():
        line = line.replace("#", "@")
        call = _CALL.search(line)
        if not call:
            continue
        call = call.group(1)
        tokens = _TOKEN.findall(line)
        if call == "get_xdg_surface" and len(tokens) > 2:
            surfaces[tokens[1]] = tokens[2]
        elif call == "get_toplevel" and len(tokens) > 1:
            toplevels[tokens[1]] = len(made)
            made.append({"title": "", "parent": None, "surface": surfaces.get(tokens[0]),
                         "alive": True})
        elif tokens and tokens[0] in toplevels and call in ("set_title", "set_parent",
                                                             "destroy"):
            window = made[toplevels[tokens[0]]]
            if call == "set_title":
                title = re.search(r'\("(.*)"\)', line)
                window["title"] = title.group(1) if title else ""
            elif call == "set_parent":
                window["parent"] = toplevels.get(tokens[1]) if len(tokens) > 1 else None
            else:
                window["alive"] = False
        elif call == "enter" and tokens and tokens[0].startswith("wl_keyboard@"):
            focus = tokens[1] if len(tokens) > 1 else None
        elif call == "leave" and tokens and tokens[0].startswith("wl_keyboard@"):
            focus = None
    focused = next((i for i in range(len(made) - 1, -1, -1) if made[i]["alive"]
                    and focus and made[i]["surface"] == focus), None)
    return [(w["title"], made[w["parent"]]["title"] if w["parent"] is not None else "",
             i == focused) for i, w in enumerate(made)]


SETTINGS = """[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/peripherals/keyboard]
repeat=false
"""


class Wayland(X11):
    def __init__(self, display, work, report, env):
        super().__init__(display, work, report, env)
        need(("mutter", "dbus-daemon"),
             "no game under Wayland: %s is not installed (./scripts/test installs it)")
        # mutter wants a D-Bus session (it fails without one) and settings:
        # its own, in a file, with animations off so that a window shows at
        # once, and no key repeat. Under Wayland the game repeats a held key
        # itself, timed from the press, so on a loaded machine a key whose
        # release came late would be typed twice.
        display.dbus_session(fail=lambda why: Skip("no game under Wayland: " + why))
        settings = os.path.join(env["XDG_CONFIG_HOME"], "glib-2.0", "settings")
        os.makedirs(settings, exist_ok=True)
        with open(os.path.join(settings, "keyfile"), "w") as f:
            f.write(SETTINGS)
        mutter_env = dict(env, DBUS_SESSION_BUS_ADDRESS=display.env["DBUS_SESSION_BUS_ADDRESS"],
                          GSETTINGS_BACKEND="keyfile", MUTTER_DEBUG_DUMMY_MODE_SPECS="1024x768")
        self.mutter = display.spawn("mutter", ["mutter", "--nested", "--wayland", "--no-x11",
                                               "--wayland-display=segni"], env=mutter_env)
        socket = os.path.join(env["XDG_RUNTIME_DIR"], "segni")

        def mutter_window():
            found = os.path.exists(socket) and self.xdotool("search", "--pid",
                                                            str(self.mutter.pid)).split()
            return found and found[0]
        self.output = wait_until("mutter", mutter_window, self.mutter, 30,
                                 fail=lambda why: Skip("no game under Wayland: " + why))
        # mutter's output is smaller than the X screen, so the pointer can
        # rest outside it, where the compositor neither draws it nor sends
        # its moves.
        self.xdotool("mousemove", "1279", "1023")
        self.xdotool("windowfocus", "--sync", self.output)

    def start(self, command, env=None):
        game_env = dict(env or self.env, QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY="segni",
                        WAYLAND_DEBUG="client")
        for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            game_env.pop(key, None)
        super().start(command, game_env)

        def opened():
            log = self.display.log("game") if self.game.poll() is not None else ""
            check('platform plugin "wayland"' not in log, "Qt has no Wayland plugin (Debian "
                  "package qt6-wayland; ./scripts/test installs it)")
            return self.windows()
        wait_until("the game's first window", opened, self.game, 30)

    def windows(self):
        return windows(self.display.log("game"))

    def focused(self):
        return next((title for title, _, keyboard in self.windows() if keyboard), "")
    focus_id = focused

    def geometry(self, window):
        return super().geometry(self.output)  # a picture is of mutter's output

    def show(self):
        for title, parent, keyboard in self.windows():
            print("  window: %r%s%s" % (title, " on %r" % parent if parent else "",
                                        " (keyboard)" if keyboard else ""))
        super().show()
