#!/bin/sh
# Plays a short game of the real program on a private Xvfb, from the
# keyboard alone, as a pupil would: the name, the greeting, one right
# answer read off the screen, the exit button, the goodbye and the record
# confirmation; then checks the bytes of both record files. With a window
# manager named, the game runs under it: each box and the game window must
# still get the keyboard. Ended by sigterm, the game is ended after the
# right answer by SIGTERM, as at a logout or a shutdown, and must have
# saved the record all the same.
#
# Usage: xvfb_game.sh GAME SCREENPROBE [none|openbox] [exit|sigterm]
set -u
GAME=$1
PROBE=$2
WM=${3:-none}
ENDING=${4:-exit}
WORK=$(mktemp -d)
DATA="$WORK/data"
GPID=""

fail() {
    echo "FAIL: $*"
    show_game
    for log in game xvfb wm; do
        [ -s "$WORK/$log.log" ] && sed "s/^/  $log: /" "$WORK/$log.log"
    done
    echo "0 passed, 1 failed"
    exit 1
}

. "$(dirname "$0")/xvfb_lib.sh"


start_xvfb
start_window_manager "$WM"

export HOME="$WORK/home" XDG_DATA_HOME="$DATA" XDG_RUNTIME_DIR="$WORK/run"
export QT_QPA_PLATFORM=xcb
# The goodbye's date: with no regional settings the game uses dd/MM/yyyy.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
# No icon themes to be found: the game must not need one.
export XDG_DATA_DIRS="$WORK/no-shared-data"

"$GAME" >"$WORK/game.log" 2>&1 &
GPID=$!

focused "Rovid edi do rerudiru da razuzo razozezo"
xdotool type --delay 30 "Anna"
xdotool key Return
focused "Sei pronto per il record? Buona fortuna"
xdotool key Return
focused "Ziverur adi v edizor arizadev"
WID=$(xdotool getwindowfocus)

# The window may have the keyboard a moment before its first question is
# drawn: read until the factor boxes show one.
i=0
until factors=$("$PROBE" "$WID" 2>"$WORK/probe.log"); do
    i=$((i + 1))
    [ $i -gt 20 ] && fail "the question could not be read off the screen: $(cat "$WORK/probe.log")"
    sleep 0.5
done
answer "$factors"
if [ "$ENDING" = sigterm ]; then
    kill -TERM "$GPID"
    ended_with_record
    echo "1 passed, 0 failed"
    exit 0
fi
xdotool key alt+x
focused "Data $(date +%d/%m/%Y)"
xdotool key Return
focused "segni"
xdotool key Return

ended_with_record
echo "1 passed, 0 failed"
