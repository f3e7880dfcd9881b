# Shared by the tests on a real X server: a private Xvfb on a display the
# server picks itself, an optional window manager, and waiting for the
# keyboard focus. The script that sources this sets WORK (its scratch
# folder) and defines fail, which must work at any point.

XPID=""
WMPID=""
BUSPID=""
GPID=""

# On any exit: the game (GPID, when the script started one), the servers
# and the scratch folder go.
cleanup() {
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
    stop_x
    rm -rf "$WORK"
}
trap cleanup EXIT

# Starts Xvfb, with a screen of the given size (1024x768 by default), and
# exports DISPLAY. The server takes the first display nobody holds, whether
# by a lock file, a socket file or only an abstract socket (another
# container or chroot on the same machine), and writes its number once it
# accepts connections.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp \
        3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    XPID=$!
    i=0
    until grep -q '^[0-9][0-9]*$' "$WORK/display" 2>/dev/null; do
        kill -0 "$XPID" 2>/dev/null || fail "Xvfb did not start"
        i=$((i + 1)); [ $i -gt 100 ] && fail "Xvfb did not start in time"
        sleep 0.1
    done
    DISPLAY=":$(cat "$WORK/display")"
    export DISPLAY
}

# Starts the given window manager on the display, or none with "none", and
# waits until it manages windows.
start_window_manager() {
    case "$1" in
    none) return 0 ;;
    openbox) ;;
    *) fail "unknown window manager '$1'" ;;
    esac
    command -v openbox >/dev/null || fail "openbox is not installed"
    openbox --sm-disable --startup "touch $WORK/wm-ready" >"$WORK/wm.log" 2>&1 &
    WMPID=$!
    i=0
    until [ -e "$WORK/wm-ready" ]; do
        kill -0 "$WMPID" 2>/dev/null || fail "openbox did not start"
        i=$((i + 1)); [ $i -gt 100 ] && fail "openbox did not start in time"
        sleep 0.1
    done
}

# The window manager (or compositor), the D-Bus session one may have been
# given, then the X server.
stop_x() {
    [ -n "$WMPID" ] && kill "$WMPID" 2>/dev/null
    [ -n "$BUSPID" ] && kill "$BUSPID" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    WMPID=""
    BUSPID=""
    XPID=""
}

# Types the product of the three factors read off the screen, and Enter.
answer() {
    # shellcheck disable=SC2086
    set -- $1
    [ $# -eq 3 ] || fail "expected three factors, read '$*'"
    echo "question: $1 x ($2) x ($3)"
    xdotool type --delay 30 -- "$(($1 * $2 * $3))"
    xdotool key Return
    sleep 0.3
}

# The short game the tests play ends with one right answer by Anna: waits
# until the game has ended, and checks that it ended well and saved that
# record in DATA, byte for byte.
ended_with_record() {
    i=0
    while kill -0 "$GPID" 2>/dev/null; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "the game did not end"; sleep 0.1
    done
    wait "$GPID"
    rc=$?
    GPID=""
    [ $rc -eq 0 ] || fail "the game ended with status $rc"
    printf '1\r\n' | cmp -s - "$DATA/segni/marvo.txt" \
        || fail "score file holds: $(od -c "$DATA/segni/marvo.txt" 2>&1)"
    printf 'Anna\r\n' | cmp -s - "$DATA/segni/nmarvo.txt" \
        || fail "holder file holds: $(od -c "$DATA/segni/nmarvo.txt" 2>&1)"
}

# Whether the game still runs, and the record files in DATA, for a
# failure's report.
show_game() {
    if [ -n "$GPID" ]; then
        kill -0 "$GPID" 2>/dev/null && echo "  (the game is still running)" || echo "  (the game has ended)"
    fi
    for f in marvo.txt nmarvo.txt; do
        [ -f "$DATA/segni/$f" ] && echo "  $f: $(od -An -c "$DATA/segni/$f")"
    done
}

# Waits until the window with the keyboard focus has the given title.
focused() {
    i=0
    while [ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" != "$1" ]; do
        i=$((i + 1))
        [ $i -gt 300 ] && fail "no focused window titled '$1' (focus: '$(xdotool getwindowfocus getwindowname 2>/dev/null)')"
        sleep 0.1
    done
}
