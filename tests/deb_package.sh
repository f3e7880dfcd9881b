#!/bin/sh
# The Debian package as a user gets it: builds it (scripts/package), checks
# it with lintian, installs it with dpkg into a fresh root of its own, starts
# the game from the installed desktop entry's Exec line on a private Xvfb
# until the name prompt has the keyboard, then purges the package and checks
# that nothing of it is left.
#
# Usage: deb_package.sh SOURCE-DIR BUILD-DIR FONTCONFIG-FILE FONT-DEPENDENCY
set -u
SOURCE=$1
BUILD=$2
FONTS_CONF=$3
FONT_DEPENDS=$4
WORK=$(mktemp -d)
TARGET="$WORK/root"
E2E="$(cd "$(dirname "$0")" && pwd)/e2e"
passed=0
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $*"
    for log in package lintian dpkg started game; do
        [ -s "$WORK/$log.log" ] && sed "s/^/  $log: /" "$WORK/$log.log"
    done
    echo "$passed passed, 1 failed"
    exit 1
}
ok() {
    echo "ok: $*"
    passed=$((passed + 1))
}

# installed: whether a dependency is met on this system.
. "$SOURCE/scripts/common.sh"


# dpkg looks for ldconfig and friends on the PATH.
PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
export PATH

"$SOURCE/scripts/package" "$BUILD" >"$WORK/package.log" 2>&1 || fail "the package did not build"
DEB=$(tail -n 1 "$WORK/package.log")
[ -f "$DEB" ] || fail "no package at '$DEB'"
ok "built $(basename "$DEB")"

# The control fields a user sees in a package manager. This system has
# what the game needs (the tests run with it), so it meets every
# dependency of a package that installs on this release.
depends=$(dpkg-deb -f "$DEB" Depends)
echo ", $depends," | grep -qF ", $FONT_DEPENDS," || fail "Depends lacks $FONT_DEPENDS: $depends"
unmet=$(echo "$depends" | tr ',' '\n' | while read -r dependency; do
    installed "$dependency" || printf ' %s;' "$dependency"
done)
[ -z "$unmet" ] || fail "this system does not meet these dependencies:$unmet"
ok "Depends names the fonts ($FONT_DEPENDS), and this system meets all of it"
[ "$(dpkg-deb -f "$DEB" Description | wc -l)" -gt 3 ] || fail "no extended description"
ok "the description has an extended part"

# lintian: no errors and no warnings (its informational notes are shown).
if command -v lintian >/dev/null; then
    lintian --info --display-info --fail-on error,warning "$DEB" >"$WORK/lintian.log" 2>&1 \
        || fail "lintian found errors or warnings"
    sed 's/^/  lintian: /' "$WORK/lintian.log"
    ok "lintian reports no errors or warnings"
else
    fail "lintian is not installed (./scripts/test installs it)"
fi

# A fresh root with an empty package database of its own. Whatever is in
# it apart from that database after the purge was left by the package.
mkdir -p "$TARGET/var/lib/dpkg/info" "$TARGET/var/lib/dpkg/updates"
: >"$TARGET/var/lib/dpkg/status"
: >"$TARGET/var/lib/dpkg/available"
(cd "$TARGET" && find . ! -path './var/lib/dpkg/*' | sort) >"$WORK/before"
# The dependencies are the host's own (the tests run with them installed);
# dpkg's log goes to the scratch folder too, not to the host's.
dpkg_root() {
    if [ "$(id -u)" -eq 0 ]; then
        dpkg --root="$TARGET" --log="$WORK/dpkg-actions.log" --force-depends "$@"
    else
        dpkg --root="$TARGET" --log="$WORK/dpkg-actions.log" --force-depends --force-not-root "$@"
    fi
}
dpkg_root --install "$DEB" >"$WORK/dpkg.log" 2>&1 || fail "dpkg could not install the package"
dpkg_root --status segni 2>/dev/null | grep -q '^Status: install ok installed' \
    || fail "dpkg does not list the package as installed"
ok "installed into a fresh root with dpkg"

ID=invalid.segni.Segni
SHARE="$TARGET/usr/share"
for f in "usr/bin/segni" "usr/share/applications/$ID.desktop" "usr/share/man/man6/segni.6.gz" \
    "usr/share/doc/segni/copyright" "usr/share/doc/segni/changelog.Debian.gz"; do
    [ -f "$TARGET/$f" ] || fail "the package does not install /$f"
done
ok "the program, desktop entry, manual page, copyright and changelog are installed"

# Started as a desktop starts it: the Exec line of the installed entry,
# looked up on a PATH that has the installed programs first, in a session
# with nothing else of this machine's environment, and only the faces the
# package depends on.
exec_line=$(sed -n 's/^Exec=//p' "$SHARE/applications/$ID.desktop" | sed 's/ *%[fFuUdDnNickvm]//g')
[ -n "$exec_line" ] || fail "the desktop entry has no Exec line"
mkdir -p "$WORK/home" "$WORK/run" && chmod 700 "$WORK/run"
# shellcheck disable=SC2016
/usr/bin/python3 "$E2E/x11.py" started "$TARGET/usr/bin/segni" "$WORK/game.log" sh -c '
    exec env -i PATH="$1" HOME="$2" XDG_RUNTIME_DIR="$3" XDG_DATA_DIRS="$4" DISPLAY="$DISPLAY" \
        LANG=C.UTF-8 FONTCONFIG_FILE="$5" sh -c "exec $6"' sh \
    "$TARGET/usr/bin:/usr/local/bin:/usr/bin:/bin" "$WORK/home" "$WORK/run" "$SHARE:/usr/share" \
    "$FONTS_CONF" "$exec_line" >"$WORK/started.log" 2>&1 || fail "the installed game did not start as it should"
ok "Exec=$exec_line starts the installed game; its name prompt has the keyboard"

dpkg_root --purge segni >>"$WORK/dpkg.log" 2>&1 || fail "dpkg could not purge the package"
(cd "$TARGET" && find . ! -path './var/lib/dpkg/*' | sort) >"$WORK/after"
left=$(diff "$WORK/before" "$WORK/after")
[ -z "$left" ] || fail "the purge left: $left"
ls "$TARGET/var/lib/dpkg/info" | grep -q '^segni\.' && fail "dpkg still holds records of the package"
dpkg_root --status segni >/dev/null 2>&1 && fail "dpkg still knows the package"
ok "purged, leaving nothing behind"
echo "$passed passed, 0 failed"
