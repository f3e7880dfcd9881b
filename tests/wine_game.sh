#!/bin/sh
# The Windows build under Wine, in a private Wine prefix on a private Xvfb:
# segni.exe needs no DLL of its own; the Qt Test suites pass as .exe files;
# segni-setup.exe /S installs the game under Program Files with a Start-menu
# entry; the installed game, started from that entry, is played from the
# keyboard as a pupil would (a name with accents, one right answer read off
# the screen, Exit); the record files in C:\windows hold the score and the
# name in Windows-1252 with CR LF; the uninstaller leaves nothing behind.
#
# Usage: wine_game.sh BUILD-WINDOWS-DIR
# Exits 77 (skipped) when there is no Windows build or no Wine.
set -u
W=$1
NAME="Niccolò è"
NAME_BYTES='Niccol\362 \350\r\n'

skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ -f "$W/segni-setup.exe" ] && [ -f "$W/segni.exe" ] ||
    skip "no Windows build in $W (./scripts/windows makes one)"
for tool in wine wineserver Xvfb xdotool x86_64-w64-mingw32-objdump; do
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
unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
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
    echo "FAIL: $*"
    for f in marvo.txt nmarvo.txt; do
        [ -f "$C/windows/$f" ] && echo "  C:\\windows\\$f: $(od -An -c "$C/windows/$f")"
    done
    [ -f "$WORK/game.log" ] && sed 's/^/  game: /' "$WORK/game.log"
    echo "$PASSED passed, 1 failed"
    exit 1
}

pass() {
    PASSED=$((PASSED + 1))
    echo "ok: $*"
}

# Xvfb picks a free display itself.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
exec 3>&-
i=0
until [ -s "$WORK/display" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start"; sleep 0.1
done
export DISPLAY=":$(cat "$WORK/display")"

echo "Making a Wine prefix..."
wine wineboot --init >"$WORK/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -5 "$WORK/wineboot.log")"
wineserver -w

# One static program: every DLL it imports is part of Windows itself.
dlls=$(x86_64-w64-mingw32-objdump -p "$W/segni.exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$dlls" ] || fail "cannot read the imports of segni.exe"
for dll in $dlls; do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    [ -f "$C/windows/system32/$lower" ] || fail "segni.exe needs $dll, which is not part of Windows"
done
pass "segni.exe imports only system DLLs: $(echo $dlls)"
resources=$(x86_64-w64-mingw32-objdump -x "$W/segni.exe" | grep -c 'Resource')
[ "$resources" -gt 0 ] || fail "segni.exe has no resources"

# The Qt Test suites, on Qt's offscreen platform. They run before the game
# so that C:\windows holds no record files yet.
for suite in "$W"/tests/tst_*.exe; do
    [ -f "$suite" ] || fail "no Qt Test suites in $W/tests"
    name=$(basename "$suite" .exe)
    if QT_QPA_PLATFORM=offscreen wine "$suite" >"$WORK/$name.log" 2>&1; then
        pass "$name.exe: $(grep '^Totals' "$WORK/$name.log")"
    else
        sed 's/^/  /' "$WORK/$name.log" | grep -v '^  PASS' | tail -40
        fail "$name.exe failed under Wine"
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

# Waits until the window with the keyboard focus has the given title (or,
# with a trailing *, a title beginning so).
focused() {
    i=0
    while :; do
        title=$(xdotool getwindowfocus getwindowname 2>/dev/null)
        case "$title" in
        $1) return 0 ;;
        esac
        i=$((i + 1))
        [ $i -gt 600 ] && fail "no focused window titled '$1' (focus: '$title')"
        sleep 0.1
    done
}

# The pupil starts the game from the Start menu.
wine start /wait /unix "$LINK" >"$WORK/game.log" 2>&1 &
GPID=$!

focused "Rovid edi do rerudiru da razuzo razozezo"
xdotool type --delay 60 "$NAME"
xdotool key Return
focused "Sei pronto per il record? Buona fortuna"
xdotool key Return
focused "Ziverur adi v edizor arizadev"
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
focused "Data *"
xdotool key Return
focused "segni"
xdotool key Return

i=0
while kill -0 "$GPID" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 200 ] && fail "the game did not end"; sleep 0.1
done
wait "$GPID"
rc=$?
GPID=""
[ $rc -eq 0 ] || fail "the game ended with status $rc"
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
