#!/bin/sh
# The Windows build under Wine, in a private Wine prefix on a private Xvfb:
# segni.exe needs no DLL of its own; the Qt Test suites pass as .exe files
# (the record crash tests among them, against the Windows file layer);
# segni-setup.exe /S installs the game under Program Files with a Start-menu
# entry and one record folder for the computer under %ProgramData%\segni;
# a session that ends with the game open keeps its beaten record; the
# installed game, started from that entry, is played from the keyboard
# as a pupil would (a name with accents, one right answer read off the
# screen, Exit), and the record lands in that folder in Windows-1252 with
# CR LF; the uninstaller leaves the record and its setting. Installed again
# over a pair in C:\windows, the pair is carried over. As root, the bare
# segni.exe is also played by an unprivileged account whose C:\windows it
# cannot write: no box, and the record kept in %LOCALAPPDATA%\segni across
# two games.
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
    [ -d "$WORK/pupil/prefix" ] && setpriv --reuid=65534 --regid=65534 --clear-groups \
        env WINEPREFIX="$WORK/pupil/prefix" wineserver -k 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    printf 'FAIL: %s\n' "$*"
    find "$WORK" -name '*marvo.*' -o -name 'segni.conf' -o -name 'setup.log' 2>/dev/null |
        while read -r f; do printf '  %s: %s\n' "$f" "$(od -An -c "$f" | tr -s ' ')"; done
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

# Starts the copy of segni that "$@" starts and plays up to one right
# answer: the name, the greeting, then straight to the game window (no
# other box), the question read off the screen with $PROBE (a command).
# PLAYED holds the question it answered.
start_and_answer() {
    name=$1
    shift
    "$@" >"$WORK/game.log" 2>&1 &
    GPID=$!
    focused "^Rovid edi do rerudiru da razuzo razozezo$"
    xdotool type --delay 60 "$name"
    xdotool key Return
    focused "^Sei pronto per il record\? Buona fortuna$"
    xdotool key Return
    focused "^Ziverur adi v edizor arizadev$"
    sleep 1
    boxes=$(xdotool search --onlyvisible --name '^segni$' 2>/dev/null)
    [ -z "$boxes" ] || fail "a box came up at start-up: $(cat "$WORK/game.log")"
    # The window may have the keyboard a moment before its first question
    # is drawn: read until the factor boxes show one.
    i=0
    until factors=$($PROBE "Ziverur adi v edizor arizadev" 2>"$WORK/probe.log"); do
        i=$((i + 1))
        [ $i -gt 20 ] && fail "the question could not be read off the screen: $(cat "$WORK/probe.log")"
        sleep 0.5
    done
    factors=$(printf '%s' "$factors" | tr -d '\r')
    # shellcheck disable=SC2086
    set -- $factors
    [ $# -eq 3 ] || fail "expected three factors, read '$factors'"
    PLAYED="$1 x ($2) x ($3)"
    xdotool type --delay 60 -- "$(($1 * $2 * $3))"
    xdotool key Return
    sleep 0.5
}

# Waits for the game (the process whose command line matches $GAME) to end
# and leave no window behind.
ended() {
    # The game's process ends (start returns at once for a shortcut, so the
    # process is watched itself), and no window is left: no crash box either.
    i=0
    while kill -0 "$GPID" 2>/dev/null || pgrep -f "$GAME" >/dev/null; do
        i=$((i + 1)); [ $i -gt 300 ] && fail "the game did not end"; sleep 0.1
    done
    GPID=""
    left=$(xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do xdotool getwindowname "$w"; done)
    [ -z "$left" ] || fail "windows left on the screen after the game: $left"
}

# Plays one game: start_and_answer, then Exit, the goodbye, and the record
# confirmation when CONFIRM is "yes".
play() {
    name=$1
    confirm=$2
    shift 2
    start_and_answer "$name" "$@"
    xdotool key alt+x
    focused "^Data "
    xdotool key Return
    if [ "$confirm" = yes ]; then
        focused "^segni$"
        xdotool key Return
    fi
    ended
}

# has FILE PRINTF-FORMAT: the file holds exactly those bytes.
has() {
    printf "$2" | cmp -s - "$1" || fail "$1 holds: $(od -An -c "$1" 2>&1 | tr -s ' ')"
}

INSTDIR="$C/Program Files/segni"
LINK="$C/ProgramData/Microsoft/Windows/Start Menu/Programs/segni.lnk"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\segni'
SETUP="$C/ProgramData/segni"
RECORDS="$SETUP/record"
PROBE="wine $W/screenprobe.exe"
GAME='Program Files.segni.segni\.exe'

# Silent installation.
wine "$W/segni-setup.exe" /S >"$WORK/setup.log" 2>&1 || fail "segni-setup.exe /S failed: $(cat "$SETUP/setup.log")"
wineserver -w
cmp -s "$W/segni.exe" "$INSTDIR/segni.exe" || fail "segni.exe is not in C:\\Program Files\\segni"
[ -f "$INSTDIR/uninstall.exe" ] || fail "no uninstaller in C:\\Program Files\\segni"
[ -f "$LINK" ] || fail "no Start-menu entry"
wine reg query "$KEY" /v UninstallString >"$WORK/reg.log" 2>&1 ||
    fail "no entry among the installed programs"
pass "installed: C:\\Program Files\\segni\\segni.exe, uninstall.exe, Start-menu entry, uninstall entry"

[ -d "$RECORDS" ] || fail "no record folder C:\\ProgramData\\segni\\record"
has "$SETUP/segni.conf" '[records]\r\nfolder=C:/ProgramData/segni/record\r\n'
for step in '"C:\\ProgramData\\segni" /setowner \*S-1-5-32-544 /T /C /L: 0' \
    '"C:\\ProgramData\\segni" /inheritance:r /grant:r .*\*S-1-5-32-545:(OI)(CI)RX: 0' \
    '"C:\\ProgramData\\segni\\record" /grant \*S-1-5-32-545:(OI)(CI)M: 0'; do
    grep -q "^icacls $step" "$SETUP/setup.log" ||
        fail "the installer's log has no 'icacls $step': $(cat "$SETUP/setup.log")"
done
pass "the computer's record folder, its setting, and its rights (icacls ran each step, exit 0)"

# The session ends (a logout, a shutdown) with a beaten record on the
# screen: Wine tells the game as Windows does (WM_QUERYENDSESSION), and the
# record is saved before the game goes.
start_and_answer "$NAME" wine start /unix "$LINK"
wine wineboot --end-session >"$WORK/endsession.log" 2>&1
ended
has "$RECORDS/marvo.txt" '1\r\n'
has "$RECORDS/nmarvo.txt" "$NAME_BYTES"
rm -f "$RECORDS/marvo.txt" "$RECORDS/nmarvo.txt"
pass "the session ended with the game open: the beaten record was saved"

# The pupil starts the game from the Start menu.
play "$NAME" yes wine start /unix "$LINK"
echo "question: $PLAYED"
pass "played from the Start menu: name, greeting, one right answer, Exit"
has "$RECORDS/marvo.txt" '1\r\n'
has "$RECORDS/nmarvo.txt" "$NAME_BYTES"
[ ! -e "$C/windows/marvo.txt" ] && [ ! -e "$C/windows/nmarvo.txt" ] ||
    fail "the installed game wrote its record into C:\\windows"
pass "the record is in C:\\ProgramData\\segni\\record: marvo.txt 1 CR LF, nmarvo.txt the name in Windows-1252, CR LF"

# Silent uninstallation: nothing of the program is left; the record and
# its setting stay.
uninstall() {
    wine "$INSTDIR/uninstall.exe" /S >"$WORK/uninstall.log" 2>&1 || fail "uninstall.exe /S failed"
    wineserver -w
    [ ! -e "$INSTDIR" ] || fail "C:\\Program Files\\segni is still there: $(ls "$INSTDIR")"
    [ ! -e "$LINK" ] || fail "the Start-menu entry is still there"
    ! wine reg query "$KEY" >/dev/null 2>&1 || fail "the uninstall entry is still there"
}
uninstall
[ -f "$RECORDS/marvo.txt" ] && [ -f "$SETUP/segni.conf" ] || fail "uninstalling removed the record or its setting"
pass "uninstalled: no program files, no Start-menu entry, no uninstall entry; the record and its setting kept"

# A computer where the older program kept its record in C:\windows: the
# installer carries the pair over to the computer's folder.
rm -rf "$SETUP"
printf '7\r\n' >"$C/windows/marvo.txt"
printf 'Bea\r\n' >"$C/windows/nmarvo.txt"
wine "$W/segni-setup.exe" /S >"$WORK/setup.log" 2>&1 || fail "segni-setup.exe /S failed the second time"
wineserver -w
has "$RECORDS/marvo.txt" '7\r\n'
has "$RECORDS/nmarvo.txt" 'Bea\r\n'
# An administrator's own setting stays as it is on the next installation.
printf '[records]\r\nfolder=D:/Classe\r\n' >"$SETUP/segni.conf"
wine "$W/segni-setup.exe" /S >"$WORK/setup.log" 2>&1 || fail "segni-setup.exe /S failed the third time"
wineserver -w
has "$SETUP/segni.conf" '[records]\r\nfolder=D:/Classe\r\n'
uninstall
rm -f "$C/windows/marvo.txt" "$C/windows/nmarvo.txt"
pass "installed over a pair in C:\\windows: 7 by Bea carried over; an administrator's setting kept"

# The bare segni.exe, as from a USB stick, run by an ordinary account
# whose Windows directory takes no new file (Wine lets root write anywhere,
# so the account is uid 65534 with a prefix of its own).
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED part: the bare program as an ordinary account needs root (CI runs as root)"
    echo "$PASSED passed, 0 failed"
    exit 0
fi
wineserver -k
OWN="$WORK/pupil"
mkdir -p "$OWN/home"
cp "$W/segni.exe" "$W/screenprobe.exe" "$OWN/home/"
chown -R 65534:65534 "$OWN"
chmod 0755 "$WORK"
as_pupil() {
    setpriv --reuid=65534 --regid=65534 --clear-groups \
        env HOME="$OWN/home" WINEPREFIX="$OWN/prefix" XDG_DATA_HOME="$OWN/home/data" \
        XDG_CONFIG_HOME="$OWN/home/config" "$@"
}
as_pupil wine wineboot --init >"$WORK/wineboot-pupil.log" 2>&1 || fail "wineboot failed for the pupil"
as_pupil wineserver -w
PC="$OWN/prefix/drive_c"
chmod 0555 "$PC/windows"
as_pupil touch "$PC/windows/probe" 2>/dev/null && fail "the pupil can still write C:\\windows"
PROBE="as_pupil wine $OWN/home/screenprobe.exe"
GAME='pupil.home.segni\.exe'
play "$NAME" yes as_pupil wine "$OWN/home/segni.exe"
own=$(find "$PC/users" -path '*/AppData/Local/segni' -type d | head -1)
[ -n "$own" ] || fail "no %LOCALAPPDATA%\\segni after the first game"
has "$own/marvo.txt" '1\r\n'
has "$own/nmarvo.txt" "$NAME_BYTES"
# A second game that only equals the record saves nothing: the first
# game's record was read back.
play "Leo" no as_pupil wine "$OWN/home/segni.exe"
has "$own/marvo.txt" '1\r\n'
has "$own/nmarvo.txt" "$NAME_BYTES"
[ ! -e "$PC/windows/marvo.txt" ] || fail "a record file appeared in the pupil's C:\\windows"
as_pupil wineserver -k
pass "the bare segni.exe as an ordinary account: no box, the record in %LOCALAPPDATA%\\segni across two games"

echo "$PASSED passed, 0 failed"
