#!/bin/sh
# Plays a short game of the real program on a private Xvfb, from the
# keyboard alone, as a pupil would: the name, the greeting, one right
# answer read off the screen, the exit button, the goodbye and the record
# confirmation; then checks the bytes of both record files.
#
# Usage: xvfb_game.sh GAME SCREENPROBE
set -u
GAME=$1
PROBE=$2
WORK=$(mktemp -d)
XPID=""
GPID=""

cleanup() {
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    kill -0 "$GPID" 2>/dev/null && echo "  (the game is still running)" || echo "  (the game has ended)"
    for f in marvo.txt nmarvo.txt; do
        [ -f "$XDG_DATA_HOME/segni/$f" ] && echo "  $f: $(od -An -c "$XDG_DATA_HOME/segni/$f")"
    done
    [ -f "$WORK/game.log" ] && sed 's/^/  game: /' "$WORK/game.log"
    exit 1
}

# A display number nobody uses.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XPID=$!
i=0
until [ -e "/tmp/.X11-unix/X$n" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start"; sleep 0.1
done

export DISPLAY=":$n"
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/run"
export QT_QPA_PLATFORM=xcb
# The goodbye's date: with no regional settings the game uses dd/MM/yyyy.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
# No icon themes to be found: the game must not need one.
export XDG_DATA_DIRS="$WORK/no-shared-data"

# Waits until the window with the keyboard focus has the given title.
focused() {
    i=0
    while [ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" != "$1" ]; do
        i=$((i + 1))
        [ $i -gt 300 ] && fail "no focused window titled '$1' (focus: '$(xdotool getwindowfocus getwindowname 2>/dev/null)')"
        sleep 0.1
    done
}

"$GAME" >"$WORK/game.log" 2>&1 &
GPID=$!

focused "Rovid edi do rerudiru da razuzo razozezo"
xdotool type --delay 30 "Anna"
xdotool key Return
focused "Sei pronto per il record? Buona fortuna"
xdotool key Return
focused "Ziverur adi v edizor arizadev"
WID=$(xdotool getwindowfocus)
sleep 0.5

factors=$("$PROBE" "$WID") || fail "the question could not be read off the screen"
set -- $factors
[ $# -eq 3 ] || fail "expected three factors, read '$factors'"
echo "question: $1 x ($2) x ($3)"
product=$(($1 * $2 * $3))
xdotool type --delay 30 -- "$product"
xdotool key Return
sleep 0.3
xdotool key alt+x
focused "Data $(date +%d/%m/%Y)"
xdotool key Return
focused "segni"
xdotool key Return

i=0
while kill -0 "$GPID" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "the game did not end"; sleep 0.1
done
wait "$GPID"
rc=$?
GPID=""
[ $rc -eq 0 ] || fail "the game ended with status $rc"

printf '1\r\n' | cmp -s - "$XDG_DATA_HOME/segni/marvo.txt" \
    || fail "score file holds: $(od -c "$XDG_DATA_HOME/segni/marvo.txt" 2>&1)"
printf 'Anna\r\n' | cmp -s - "$XDG_DATA_HOME/segni/nmarvo.txt" \
    || fail "holder file holds: $(od -c "$XDG_DATA_HOME/segni/nmarvo.txt" 2>&1)"
echo "1 passed, 0 failed"
