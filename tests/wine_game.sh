#!/bin/sh
# The Windows build under Wine, in a private Wine prefix on a private Xvfb:
# segni.exe needs no DLL of its own; the Qt Test suites pass as .exe files;
# segni-setup.exe /S installs the game under Program Files with a Start-menu
# entry; the installed game, started from that entry, is played from the
# keyboard as a pupil would (a name with accents, one right answer read off
# the screen, Exit); the record files in C:\windows hold the score and the
# name in Windows-1252 with CR LF; the uninstaller leaves nothing behind.
#
# Usage: wine_game.sh BUILD-WINDOWS-DIR [FONTCONFIG-FILE]
# With a fontconfig file, Wine sees only the fonts it lists (the tests' own
# set: those of the packages the game depends on).
# Exits 77 (skipped) when there is no Windows build or no Wine.
set -u
W=$1
[ -n "${2:-}" ] && export FONTCONFIG_FILE="$2"
NAME="Mosè"
NAME_BYTES='Mos\350\r\n'

skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ -f "$W/segni-setup.exe" ] && [ -f "$W/segni.exe" ] ||
    skip "no Windows build in $W (./scripts/windows makes one)"
for tool in wine wineserver Xvfb xdotool setxkbmap x86_64-w64-mingw32-objdump x86_64-w64-mingw32-windres; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (./scripts/windows installs it)"
done

WORK=$(mktemp -d)
XPID=""
GPID=""
PASSED=0

export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko to offer, no Linux menu entries for Windows shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/data" XDG_CONFIG_HOME="$WORK/home/config"
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME"
C="$WINEPREFIX/drive_c"

cleanup() {
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    printf 'FAIL: %s\n' "$*"
    for f in marvo.txt nmarvo.txt; do
        [ -f "$C/windows/$f" ] && printf '  C:\\windows\\%s: %s\n' "$f" "$(od -An -c "$C/windows/$f")"
    done
    [ -f "$WORK/game.log" ] && sed 's/^/  game: /' "$WORK/game.log"
    echo "$PASSED passed, 1 failed"
    exit 1
}

pass() {
    PASSED=$((PASSED + 1))
    printf 'ok: %s\n' "$*"
}

# Xvfb picks a free display itself.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
exec 3>&-
i=0
until [ -s "$WORK/display" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start"; sleep 0.1
done
export DISPLAY=":$(cat "$WORK/display")"
# An Italian keyboard, as in the classroom: "è" and "ò" have keys of their own.
setxkbmap it || fail "cannot set an Italian keyboard layout"

echo "Making a Wine prefix..."
wine wineboot --init >"$WORK/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -5 "$WORK/wineboot.log")"
wineserver -w

# One static program: every DLL it imports is part of Windows itself (a
# system DLL, or an API set that the system's loader resolves).
dlls=$(x86_64-w64-mingw32-objdump -p "$W/segni.exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$dlls" ] || fail "cannot read the imports of segni.exe"
for dll in $dlls; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    case "$lower" in
    api-ms-win-*) ;;
    *) [ -f "$C/windows/system32/$lower" ] || fail "segni.exe needs $dll, which is not part of Windows" ;;
    esac
done
pass "segni.exe imports only system DLLs: $(echo $dlls)"
x86_64-w64-mingw32-windres -J coff -O rc -i "$W/segni.exe" >"$WORK/resources.rc" 2>&1 ||
    fail "cannot read the resources of segni.exe"
for what in RT_GROUP_ICON VERSIONINFO '"OriginalFilename", "segni.exe"' RT_MANIFEST; do
    grep -q "$what" "$WORK/resources.rc" || fail "segni.exe has no $what"
done
pass "segni.exe carries its icon, version and manifest"

# The Qt Test suites, on the Windows platform of Qt (the high-DPI one at
# the two scale factors it is made for; Wine keeps QT_ variables from the
# Linux side, so cmd sets them). They run before the game so that
# C:\windows holds no record files yet. Their report goes to a file: Qt
# Test writes nothing to a Wine console.
suite() {
    name=$1
    exe=$(winepath -w "$W/tests/$name.exe")
    if wine cmd /c "$2$exe -o C:\\$name.txt,txt" >/dev/null 2>&1; then
        pass "$name.exe $2: $(grep '^Totals' "$C/$name.txt")"
    else
        grep -v '^PASS' "$C/$name.txt" 2>/dev/null | sed 's/^/  /' | tail -40
        fail "$name.exe failed under Wine"
    fi
    rm -f "$C/$name.txt"
}
ls "$W"/tests/tst_*.exe >/dev/null 2>&1 || fail "no Qt Test suites in $W/tests"
for exe in "$W"/tests/tst_*.exe; do
    name=$(basename "$exe" .exe)
    if [ "$name" = tst_hidpi ]; then
        suite "$name" "set QT_SCALE_FACTOR=2&& "
        suite "$name" "set QT_SCALE_FACTOR=1.37&& "
    else
        suite "$name" ""
    fi
done
[ ! -e "$C/windows/marvo.txt" ] && [ ! -e "$C/windows/nmarvo.txt" ] ||
    fail "the suites left record files in C:\\windows"

# Silent installation.
wine "$W/segni-setup.exe" /S >"$WORK/setup.log" 2>&1 || fail "segni-setup.exe /S failed"
wineserver -w
INSTDIR="$C/Program Files/segni"
LINK="$C/ProgramData/Microsoft/Windows/Start Menu/Programs/segni.lnk"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\segni'
cmp -s "$W/segni.exe" "$INSTDIR/segni.exe" || fail "segni.exe is not in C:\\Program Files\\segni"
[ -f "$INSTDIR/uninstall.exe" ] || fail "no uninstaller in C:\\Program Files\\segni"
[ -f "$LINK" ] || fail "no Start-menu entry"
wine reg query "$KEY" /v UninstallString >"$WORK/reg.log" 2>&1 ||
    fail "no entry among the installed programs"
pass "installed: C:\\Program Files\\segni\\segni.exe, uninstall.exe, Start-menu entry, uninstall entry"

# Waits for a shown window whose title matches the pattern and gives it
# the keyboard, as a window manager would (Wine leaves that to one).
focused() {
    i=0
    while :; do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
        if [ -n "$w" ]; then
            xdotool windowfocus --sync "$w" 2>/dev/null
            [ "$(xdotool getwindowfocus 2>/dev/null)" = "$w" ] && return 0
        fi
        i=$((i + 1))
        [ $i -gt 600 ] && fail "no window titled '$1' took the keyboard"
        sleep 0.1
    done
}

# The pupil starts the game from the Start menu.
wine start /unix "$LINK" >"$WORK/game.log" 2>&1 &
GPID=$!

focused "^Rovid edi do rerudiru da razuzo razozezo$"
xdotool type --delay 60 "$NAME"
xdotool key Return
focused "^Sei pronto per il record\? Buona fortuna$"
xdotool key Return
focused "^Ziverur adi v edizor arizadev$"
sleep 1

factors=$(wine "$W/screenprobe.exe" "Ziverur adi v edizor arizadev" 2>>"$WORK/game.log" | tr -d '\r') ||
    fail "the question could not be read off the screen"
# shellcheck disable=SC2086
set -- $factors
[ $# -eq 3 ] || fail "expected three factors, read '$factors'"
echo "question: $1 x ($2) x ($3)"
xdotool type --delay 60 -- "$(($1 * $2 * $3))"
xdotool key Return
sleep 0.5
xdotool key alt+x
focused "^Data "
xdotool key Return
focused "^segni$"
xdotool key Return

# The game's process ends (start returns at once for a shortcut, so the
# process is watched itself), and no window is left: no crash box either.
i=0
while kill -0 "$GPID" 2>/dev/null || pgrep -f 'segni\\segni.exe' >/dev/null; do
    i=$((i + 1)); [ $i -gt 300 ] && fail "the game did not end"; sleep 0.1
done
GPID=""
left=$(xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do xdotool getwindowname "$w"; done)
[ -z "$left" ] || fail "windows left on the screen after the game: $left"
pass "played from the Start menu: name, greeting, one right answer, Exit"

printf '1\r\n' | cmp -s - "$C/windows/marvo.txt" ||
    fail "C:\\windows\\marvo.txt holds: $(od -An -c "$C/windows/marvo.txt" 2>&1)"
printf "$NAME_BYTES" | cmp -s - "$C/windows/nmarvo.txt" ||
    fail "C:\\windows\\nmarvo.txt holds: $(od -An -c "$C/windows/nmarvo.txt" 2>&1)"
pass "C:\\windows\\marvo.txt is 1 CR LF, nmarvo.txt is the name in Windows-1252, CR LF"

# Silent uninstallation: nothing of the program is left; the record stays.
wine "$INSTDIR/uninstall.exe" /S >"$WORK/uninstall.log" 2>&1 || fail "uninstall.exe /S failed"
wineserver -w
[ ! -e "$INSTDIR" ] || fail "C:\\Program Files\\segni is still there: $(ls "$INSTDIR")"
[ ! -e "$LINK" ] || fail "the Start-menu entry is still there"
! wine reg query "$KEY" >/dev/null 2>&1 || fail "the uninstall entry is still there"
[ -f "$C/windows/marvo.txt" ] || fail "uninstalling removed the record"
pass "uninstalled: no program files, no Start-menu entry, no uninstall entry; the record kept"

echo "$PASSED passed, 0 failed"
