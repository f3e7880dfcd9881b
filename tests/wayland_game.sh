#!/bin/sh
# Plays a short game of the real program natively under Wayland, as on
# Debian's GNOME: the game talks Wayland to mutter, nested in a private
# Xvfb, and the keys go into mutter's X window. The name, the greeting, one
# right answer read off the screen, the record announcement, the exit
# button, the goodbye and the record confirmation; then the bytes of both
# record files, and that every box opened after the game window names it as
# its parent, from the game's own protocol log. Skips (status 77) only when
# the compositor cannot run here.
#
# Usage: wayland_game.sh GAME SCREENPROBE
set -u
GAME=$1
PROBE=$2
WORK=$(mktemp -d)
DATA="$WORK/data"
GAME_TITLE="Ziverur adi v edizor arizadev"

fail() {
    echo "FAIL: $*"
    show_game
    [ -s "$WORK/game.log" ] && windows | sed 's/^/  window: /'
    [ -s "$WORK/game.log" ] && grep -v '^\[' "$WORK/game.log" | sed 's/^/  game: /'
    for log in xvfb bus mutter; do
        [ -s "$WORK/$log.log" ] && sed "s/^/  $log: /" "$WORK/$log.log"
    done
    echo "0 passed, 1 failed"
    exit 1
}

skip() {
    echo "SKIP: no game under Wayland: $*"
    for log in bus mutter game; do
        [ -s "$WORK/$log.log" ] && grep -v '^\[' "$WORK/$log.log" | sed "s/^/  $log: /"
    done
    exit 77
}

. "$(dirname "$0")/xvfb_lib.sh"

command -v mutter >/dev/null || skip "mutter is not installed (./scripts/test installs it)"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed, and mutter needs a D-Bus session"

# The game's windows as the compositor knows them, read from the requests
# and events the game logs (WAYLAND_DEBUG=client), in the order they were
# made: "title|parent title|k" for each window, k marking the one that has
# the keyboard. Object numbers are used again once freed, so the log is read
# in order. Newer libwayland writes iface#id, older iface@id.
windows() {
    awk '
    {
        line = $0
        gsub(/#/, "@", line)
        n = 0
        rest = line
        while (match(rest, /[a-z_0-9]+@[0-9]+/)) {
            tok[++n] = substr(rest, RSTART, RLENGTH)
            rest = substr(rest, RSTART + RLENGTH)
        }
        if (!match(line, /@[0-9]+\.[a-z_]+\(/))
            next
        call = substr(line, RSTART, RLENGTH - 1)
        sub(/^@[0-9]+\./, "", call)
    }
    call == "get_xdg_surface" { surface[tok[2]] = tok[3] }
    call == "get_toplevel" { top[tok[2]] = ++count; wl[count] = surface[tok[1]]; alive[count] = 1 }
    call == "set_title" && match(line, /\(".*"\)/) { title[top[tok[1]]] = substr(line, RSTART + 2, RLENGTH - 4) }
    call == "set_parent" { parent[top[tok[1]]] = (n > 1 ? top[tok[2]] : 0) }
    call == "destroy" && tok[1] ~ /^xdg_toplevel@/ { alive[top[tok[1]]] = 0 }
    call == "enter" && tok[1] ~ /^wl_keyboard@/ { focus = tok[2] }
    call == "leave" && tok[1] ~ /^wl_keyboard@/ { focus = "" }
    END {
        for (k = count; k > 0 && focused == 0; --k)
            if (alive[k] && focus != "" && wl[k] == focus)
                focused = k
        for (k = 1; k <= count; ++k)
            print title[k] "|" title[parent[k]] "|" (k == focused ? "k" : "")
    }' "$WORK/game.log"
}

# Waits until the game's window with the given title has the keyboard.
wayland_focused() {
    i=0
    until windows | awk -F'|' -v t="$1" '$1 == t && $3 == "k" { found = 1 } END { exit !found }'; do
        kill -0 "$GPID" 2>/dev/null || fail "the game ended, waiting for '$1' to have the keyboard"
        i=$((i + 1))
        [ $i -gt 300 ] && fail "no window titled '$1' got the keyboard"
        sleep 0.1
    done
}

# mutter's output is smaller than the X screen, so the pointer can rest
# outside it, where the compositor neither draws it nor sends its moves.
start_xvfb 1280x1024
export HOME="$WORK/home" XDG_DATA_HOME="$DATA" XDG_RUNTIME_DIR="$WORK/run"
export XDG_CONFIG_HOME="$WORK/config" XDG_CACHE_HOME="$WORK/cache"
export LC_ALL=C.UTF-8 LANG=C.UTF-8
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/glib-2.0/settings" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS WAYLAND_DISPLAY XDG_CURRENT_DESKTOP

# mutter wants a D-Bus session (it fails without one) and settings: its
# own, in a file, with animations off so that a window shows at once, and
# no key repeat. Under Wayland the game repeats a held key itself, timed
# from the press, so on a loaded machine a key whose release came late
# would be typed twice.
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$WORK/bus" >"$WORK/bus.log" 2>&1 &
BUSPID=$!
i=0
until grep -q . "$WORK/bus" 2>/dev/null; do
    kill -0 "$BUSPID" 2>/dev/null || skip "the D-Bus session for mutter did not start"
    i=$((i + 1)); [ $i -gt 100 ] && skip "the D-Bus session for mutter did not start in time"
    sleep 0.1
done
cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<'SETTINGS'
[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/peripherals/keyboard]
repeat=false
SETTINGS
DBUS_SESSION_BUS_ADDRESS=$(cat "$WORK/bus") GSETTINGS_BACKEND=keyfile \
    MUTTER_DEBUG_DUMMY_MODE_SPECS=1024x768 \
    mutter --nested --wayland --no-x11 --wayland-display=segni >"$WORK/mutter.log" 2>&1 &
WMPID=$!
i=0
until [ -S "$XDG_RUNTIME_DIR/segni" ] && MWID=$(xdotool search --pid "$WMPID" 2>/dev/null | head -n 1) \
    && [ -n "$MWID" ]; do
    kill -0 "$WMPID" 2>/dev/null || skip "mutter did not start"
    i=$((i + 1)); [ $i -gt 300 ] && skip "mutter did not start in time"
    sleep 0.1
done
xdotool mousemove 1279 1023
xdotool windowfocus --sync "$MWID"

# Qt's Wayland plugin leaves its protocol objects, and Mesa's driver (which
# it loads for the window frames) its start-up state, at exit; the driver is
# unloaded before LeakSanitizer looks, so no suppression can name it. The
# game's own code is leak-checked by every other test.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=segni \
    WAYLAND_DEBUG=client ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    "$GAME" >"$WORK/game.log" 2>&1 &
GPID=$!
i=0
until windows | grep -q .; do
    if ! kill -0 "$GPID" 2>/dev/null; then
        grep -q 'platform plugin "wayland"' "$WORK/game.log" \
            && fail "Qt has no Wayland plugin (Debian package qt6-wayland; ./scripts/test installs it)"
        fail "the game ended before it opened a window"
    fi
    i=$((i + 1)); [ $i -gt 300 ] && fail "the game opened no window"
    sleep 0.1
done

wayland_focused "Rovid edi do rerudiru da razuzo razozezo"
xdotool type --delay 30 "Anna"
xdotool key Return
wayland_focused "Sei pronto per il record? Buona fortuna"
xdotool key Return
wayland_focused "$GAME_TITLE"

# The same question twice in a row: the window is fully drawn.
previous=""
i=0
while :; do
    factors=$(env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$PROBE" --within "$MWID" 2>>"$WORK/probe.log")
    [ -n "$factors" ] && [ "$factors" = "$previous" ] && break
    previous=$factors
    i=$((i + 1)); [ $i -gt 30 ] && fail "the question could not be read off the screen ($(cat "$WORK/probe.log"))"
    sleep 0.2
done
answer "$factors"
# The next question announces the record just beaten.
xdotool key Return
wayland_focused "segni"
xdotool key Return
wayland_focused "$GAME_TITLE"
xdotool key alt+x
wayland_focused "Data $(date +%d/%m/%Y)"
xdotool key Return
wayland_focused "segni"
xdotool key Return

ended_with_record

# Every window after the game window is a box on top of it.
boxes=$(windows | awk -F'|' -v t="$GAME_TITLE" 'after { print $1 "|" $2 } $1 == t { after = 1 }')
expected="segni|$GAME_TITLE
Data $(date +%d/%m/%Y)|$GAME_TITLE
segni|$GAME_TITLE"
[ "$boxes" = "$expected" ] || fail "the boxes after the game window, with their parents: $boxes"
echo "boxes, each with the game window as parent: $(echo "$boxes" | cut -d'|' -f1 | paste -sd, -)"
echo "1 passed, 0 failed"
