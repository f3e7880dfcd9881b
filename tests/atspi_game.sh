#!/bin/sh
# Plays a whole game of the real program with a screen reader's ears: on a
# private Xvfb, in a private D-Bus session with its own accessibility bus
# (at-spi2-core), read over AT-SPI by tests/atspi_reader.py. Skips (status
# 77) when that bus cannot be had.
#
# Usage: atspi_game.sh GAME
set -u
GAME=$1
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)

fail() {
    echo "FAIL: $*"
    [ -s "$WORK/xvfb.log" ] && sed 's/^/  xvfb: /' "$WORK/xvfb.log"
    exit 1
}

. "$HERE/xvfb_lib.sh"


skip() {
    echo "SKIP: no screen reader test: $*"
    exit 77
}

for tool in dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher Xvfb xdotool; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is missing"

start_xvfb
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/run"
export XDG_CONFIG_HOME="$WORK/config" LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_QPA_PLATFORM

dbus-run-session -- true 2>"$WORK/session.log" || skip "no D-Bus session could be started"

# Inside the session: start the accessibility bus first (the game looks
# for it when it starts), then play.
dbus-run-session -- sh -c '
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1 || exit 77
    exec /usr/bin/python3 "$0" "$1"' "$HERE/atspi_reader.py" "$GAME" 2>"$WORK/session.log"
status=$?
if [ $status -eq 77 ]; then
    grep -v 'Failed to set fd limit' "$WORK/session.log" | sed 's/^/  /'
    skip "the accessibility bus did not start"
fi
if [ $status -ne 0 ]; then
    grep -v 'Failed to set fd limit' "$WORK/session.log" | sed 's/^/  session: /'
    [ -f "$HOME/game.log" ] && sed 's/^/  game: /' "$HOME/game.log"
fi
exit $status
