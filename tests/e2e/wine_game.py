#!/usr/bin/python3
"""The Windows build under Wine, in a private prefix on a private Xvfb:
segni.exe imports only system DLLs and carries its resources; the Qt Test
suites pass as .exe files; segni-setup.exe /S installs the game, a Start
menu entry and the computer's record folder with its rights; a session
ended with the game open keeps the beaten record; the game started from
the Start menu is played as a pupil would (scenario.py, with "Mosè"
typed on an Italian keyboard) and its record lands in that folder in
Windows-1252 with CR LF; the uninstaller keeps the record and setting; a
pair in C:\\windows is carried over; as root, the bare segni.exe played by
an account that cannot write C:\\windows keeps its record in
%LOCALAPPDATA%\\segni across two games.

Usage: wine_game.py BUILD-WINDOWS-DIR [FONTCONFIG-FILE]   (Wine sees only
the fonts that file lists). Exits 77 (skipped) without a Windows build or
Wine.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import time

import scenario
import texts
from display import scratch
from report import Failure, Report, check, need, skip
from wine import Wine
from x11 import desktop_env

NAME = "Mosè"
RECORD = (texts.SCORE_FILE, texts.HOLDER_FILE)
TOOLS = ("wine", "wineserver", "Xvfb", "xdotool", "setxkbmap", "x86_64-w64-mingw32-objdump",
         "x86_64-w64-mingw32-windres")


def has(path, expected):
    """The file holds exactly those bytes."""
    kept = open(path, "rb").read() if os.path.exists(path) else None
    check(kept == expected, "%s holds %r, not %r" % (path, kept, expected))


def none_in(folder, what):
    check(not any(os.path.exists(os.path.join(folder, name)) for name in RECORD), what)


def clear(folder):
    for name in RECORD:
        os.remove(os.path.join(folder, name))


class Machine:
    """The Windows computer: a Wine prefix, its C: drive, run as one user."""

    def __init__(self, env, user=None):
        self.env, self.user = env, user
        self.c = os.path.join(env["WINEPREFIX"], "drive_c")

    def command(self, *args):
        """The command as that user (setpriv keeps the environment)."""
        return list(args) if self.user is None else [
            "setpriv", "--reuid=%d" % self.user, "--regid=%d" % self.user, "--clear-groups",
            *args]

    def run(self, *args, log=os.devnull):
        with open(log, "wb") as out:
            return subprocess.run(self.command(*args), env=self.env, stdout=out,
                                  stderr=subprocess.STDOUT).returncode

    def wait(self):
        self.run("wineserver", "-w")

    def stop(self):
        self.run("wineserver", "-k")


def suites(report, machine, build):
    """The Qt Test suites, on the Windows platform of Qt (the high-DPI one at
    the two scale factors it is made for; Wine keeps QT_ variables from the
    Linux side, so cmd sets them). They run before the game so that
    C:\\windows holds no record files yet. Their report goes to a file: Qt
    Test writes nothing to a Wine console."""
    found = sorted(glob.glob(os.path.join(build, "tests", "tst_*.exe")))
    check(found, "no Qt Test suites in %s/tests" % build)
    for exe in found:
        name = os.path.basename(exe)[:-4]
        for setting in (["set QT_SCALE_FACTOR=2&& ", "set QT_SCALE_FACTOR=1.37&& "]
                        if name == "tst_hidpi" else [""]):
            windows_path = subprocess.run(["winepath", "-w", exe], env=machine.env,
                                          capture_output=True, text=True).stdout.strip()
            out = os.path.join(machine.c, name + ".txt")
            # Qt Test gives up on a function after 5 minutes; under Wine, on
            # a busy machine, the crash test's first function can take that
            # long (the whole test is still bounded by CTest's limit).
            status = machine.run("wine", "cmd", "/c", "set QTEST_FUNCTION_TIMEOUT=900000&& "
                                 "%s%s -o C:\\%s.txt,txt" % (setting, windows_path, name))
            result = open(out, errors="replace").read() if os.path.exists(out) else ""
            if status:
                for line in [ln for ln in result.splitlines() if not ln.startswith("PASS")][-40:]:
                    print("  " + line)
                raise Failure("%s.exe failed under Wine" % name)
            totals = next((ln for ln in result.splitlines() if ln.startswith("Totals")), "")
            report.ok("%s.exe %s: %s" % (name, setting, totals))
            if os.path.exists(out):
                os.remove(out)
    none_in(os.path.join(machine.c, "windows"), "the suites left record files in C:\\windows")


def main(report):
    build = sys.argv[1]
    if len(sys.argv) > 2 and sys.argv[2]:
        os.environ["FONTCONFIG_FILE"] = sys.argv[2]
    if not (os.path.isfile(os.path.join(build, "segni-setup.exe"))
            and os.path.isfile(os.path.join(build, "segni.exe"))):
        skip("no Windows build in %s (./scripts/windows makes one)" % build)
    need(TOOLS, "%s is not installed (./scripts/windows installs it)")
    display, work = scratch(report, "wine_game.", "1920x1080")
    # No Mono or Gecko to offer, no Linux menu entries for Windows shortcuts.
    env = dict(desktop_env(work, display.env), WINEPREFIX=os.path.join(work, "prefix"),
               WINEARCH="win64", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    machine = Machine(env)
    report.cleanups.append(machine.stop)
    c = machine.c

    # os.walk, not a recursive glob: that follows the prefix's dosdevices
    # links into the whole file system.
    report.on_failure.append(lambda: [print("  %s: %r" % (os.path.join(top, name), open(
        os.path.join(top, name), "rb").read())) for top, _, names in os.walk(work)
        for name in names if "marvo." in name or name == "segni.conf"])

    # An Italian keyboard, as in the classroom: "è" and "ò" have keys of
    # their own.
    check(subprocess.run(["setxkbmap", "it"], env=env).returncode == 0,
          "cannot set an Italian keyboard layout")
    print("Making a Wine prefix...")
    check(machine.run("wine", "wineboot", "--init", log=os.path.join(work, "wineboot.log")) == 0,
          "wineboot failed")
    machine.wait()

    # One static program: every DLL it imports is part of Windows itself
    # (a system DLL, or an API set that the system's loader resolves).
    exe = os.path.join(build, "segni.exe")
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                          text=True).stdout
    dlls = re.findall(r"^\s*DLL Name: (\S+)", dump, re.M)
    check(dlls, "cannot read the imports of segni.exe")
    for dll in dlls:
        lower = dll.lower()
        check(lower.startswith("api-ms-win-")
              or os.path.isfile(os.path.join(c, "windows", "system32", lower)),
              "segni.exe needs %s, which is not part of Windows" % dll)
    report.ok("segni.exe imports only system DLLs: %s" % " ".join(dlls))
    resources = subprocess.run(["x86_64-w64-mingw32-windres", "-J", "coff", "-O", "rc", "-i",
                                exe], capture_output=True, text=True)
    check(resources.returncode == 0, "cannot read the resources of segni.exe")
    for what in ("RT_GROUP_ICON", "VERSIONINFO", '"OriginalFilename", "segni.exe"',
                 "RT_MANIFEST"):
        check(what in resources.stdout, "segni.exe has no %s" % what)
    report.ok("segni.exe carries its icon, version and manifest")

    suites(report, machine, build)

    instdir = os.path.join(c, "Program Files", "segni")
    link = os.path.join(c, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                        "segni.lnk")
    key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\segni"
    setup = os.path.join(c, "ProgramData", "segni")
    records = os.path.join(setup, "record")
    setup_log = os.path.join(work, "setup.log")

    def install(what):
        check(machine.run("wine", os.path.join(build, "segni-setup.exe"), "/S",
                          log=setup_log) == 0, "segni-setup.exe /S failed %s" % what)
        machine.wait()

    # Silent installation.
    install("")
    with open(exe, "rb") as a, open(os.path.join(instdir, "segni.exe"), "rb") as b:
        check(a.read() == b.read(), "segni.exe is not in C:\\Program Files\\segni")
    check(os.path.isfile(os.path.join(instdir, "uninstall.exe")),
          "no uninstaller in C:\\Program Files\\segni")
    check(os.path.isfile(link), "no Start-menu entry")
    check(machine.run("wine", "reg", "query", key, "/v", "UninstallString") == 0,
          "no entry among the installed programs")
    report.ok("installed: C:\\Program Files\\segni\\segni.exe, uninstall.exe, Start-menu "
              "entry, uninstall entry")
    check(os.path.isdir(records), "no record folder C:\\ProgramData\\segni\\record")
    has(os.path.join(setup, "segni.conf"), b"[records]\r\nfolder=C:/ProgramData/segni/record\r\n")
    steps = open(os.path.join(setup, "setup.log"), errors="replace").read()
    for step in (r'"C:\\ProgramData\\segni" /setowner \*S-1-5-32-544 /T /C /L: 0',
                 r'"C:\\ProgramData\\segni" /inheritance:r /grant:r '
                 r'.*\*S-1-5-32-545:\(OI\)\(CI\)RX: 0',
                 r'"C:\\ProgramData\\segni\\record" /grant \*S-1-5-32-545:\(OI\)\(CI\)M: 0'):
        check(re.search("^icacls " + step, steps, re.M),
              "the installer's log has no 'icacls %s': %s" % (step, steps))
    report.ok("the computer's record folder, its setting, and its rights (icacls ran each "
              "step, exit 0)")

    from_menu = ["wine", "start", "/unix", link]
    driver = Wine(display, work, report, records, env, r"Program Files.segni.segni\.exe")

    # The session ends (a logout, a shutdown) with a beaten record on the
    # screen: Wine tells the game as Windows does (WM_QUERYENDSESSION), and
    # the record is saved before the game goes.
    def end_session():
        time.sleep(0.5)
        machine.run("wine", "wineboot", "--end-session")
    driver.start(from_menu)
    scenario.game(driver, report, NAME, ending=end_session)
    clear(records)
    report.ok("the session ended with the game open: the beaten record was saved")

    # The pupil starts the game from the Start menu.
    driver.start(from_menu)
    scenario.game(driver, report, NAME)
    none_in(os.path.join(c, "windows"), "the installed game wrote its record into C:\\windows")
    report.ok("played from the Start menu; the record is in C:\\ProgramData\\segni\\record, "
              "the name in Windows-1252, CR LF")

    # Silent uninstallation: nothing of the program is left; the record and
    # its setting stay.
    def uninstall():
        check(machine.run("wine", os.path.join(instdir, "uninstall.exe"), "/S") == 0,
              "uninstall.exe /S failed")
        machine.wait()
        check(not os.path.exists(instdir), "C:\\Program Files\\segni is still there: %s"
              % (os.listdir(instdir) if os.path.isdir(instdir) else ""))
        check(not os.path.exists(link), "the Start-menu entry is still there")
        check(machine.run("wine", "reg", "query", key) != 0, "the uninstall entry is still there")
    uninstall()
    check(os.path.isfile(os.path.join(records, texts.SCORE_FILE))
          and os.path.isfile(os.path.join(setup, "segni.conf")),
          "uninstalling removed the record or its setting")
    report.ok("uninstalled: no program files, no Start-menu entry, no uninstall entry; the "
              "record and its setting kept")

    # A computer where the older program kept its record in C:\windows: the
    # installer carries the pair over to the computer's folder.
    shutil.rmtree(setup)
    for name, data in texts.record_bytes(7, "Bea").items():
        with open(os.path.join(c, "windows", name), "wb") as f:
            f.write(data)
    install("the second time")
    scenario.stored(driver, report, 7, "Bea")
    # An administrator's own setting stays as it is on the next installation.
    with open(os.path.join(setup, "segni.conf"), "wb") as f:
        f.write(b"[records]\r\nfolder=D:/Classe\r\n")
    install("the third time")
    has(os.path.join(setup, "segni.conf"), b"[records]\r\nfolder=D:/Classe\r\n")
    uninstall()
    clear(os.path.join(c, "windows"))
    report.ok("installed over a pair in C:\\windows: 7 by Bea carried over; an "
              "administrator's setting kept")

    # The bare segni.exe, as from a USB stick, run by an ordinary account
    # whose Windows directory takes no new file (Wine lets root write
    # anywhere, so the account is uid 65534 with a prefix of its own).
    if os.getuid() != 0:
        report.note("SKIP part: the bare program as an ordinary account needs root (CI runs "
                    "as root)")
        return
    machine.stop()
    own = os.path.join(work, "pupil")
    pupil_env = dict(desktop_env(own, env), WINEPREFIX=os.path.join(own, "prefix"))
    shutil.copy(exe, os.path.join(own, "home"))
    subprocess.run(["chown", "-R", "65534:65534", own], check=True)
    os.chmod(work, 0o755)
    pupil = Machine(pupil_env, user=65534)
    report.cleanups.append(pupil.stop)
    check(pupil.run("wine", "wineboot", "--init") == 0, "wineboot failed for the pupil")
    pupil.wait()
    os.chmod(os.path.join(pupil.c, "windows"), 0o555)
    check(pupil.run("touch", os.path.join(pupil.c, "windows", "probe")) != 0,
          "the pupil can still write C:\\windows")
    bare = pupil.command("wine", os.path.join(own, "home", "segni.exe"))
    local = os.path.join(pupil.c, "users", "*", "AppData", "Local", "segni")
    driver = Wine(display, work, report, local, pupil_env, r"pupil.home.segni\.exe")
    driver.start(bare)
    scenario.game(driver, report, NAME)
    # A second game that only equals the record saves nothing: the first
    # game's record was read back.
    driver.start(bare)
    scenario.game(driver, report, "Leo", told=None, holder=NAME)
    none_in(os.path.join(pupil.c, "windows"), "a record file appeared in the pupil's C:\\windows")
    pupil.stop()
    report.ok("the bare segni.exe as an ordinary account: no box, the record in "
              "%LOCALAPPDATA%\\segni across two games")


if __name__ == "__main__":
    Report().run(main)
