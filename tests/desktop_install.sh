#!/bin/sh
# Installs the build into a scratch folder and checks what a desktop needs:
# the program, a desktop entry and AppStream metainfo that pass their
# validators, and the icon at every size plus the scalable one.
#
# Usage: desktop_install.sh BUILD-DIR
set -u
BUILD=$1
ROOT=$(mktemp -d)
trap 'rm -rf "$ROOT"' EXIT
passed=0
failures=0
check() {
    if "$@" >"$ROOT/out" 2>&1; then
        echo "ok: $*"
        passed=$((passed + 1))
    else
        echo "FAIL: $*"
        sed 's/^/  /' "$ROOT/out"
        failures=$((failures + 1))
    fi
}

DESTDIR="$ROOT" cmake --install "$BUILD" --prefix /usr >"$ROOT/install.log" 2>&1 \
    || { cat "$ROOT/install.log"; echo "0 passed, 1 failed"; exit 1; }
ID=invalid.segni.Segni
SHARE="$ROOT/usr/share"
check test -x "$ROOT/usr/bin/segni"
check desktop-file-validate "$SHARE/applications/$ID.desktop"
# segni has no web site. AppStream 1.0 warns of a component without a home
# page (earlier versions do not ask for one); any other warning fails.
metainfo_valid() {
    appstreamcli validate --no-net "$1" >"$ROOT/appstream" 2>&1 && return 0
    cat "$ROOT/appstream"
    grep -q '^W: .*: url-homepage-missing$' "$ROOT/appstream" \
        && ! grep -E '^[EW]: ' "$ROOT/appstream" | grep -qv ': url-homepage-missing$'
}
check metainfo_valid "$SHARE/metainfo/$ID.metainfo.xml"
check grep -q "^Categories=Education;" "$SHARE/applications/$ID.desktop"
check grep -q "^Icon=$ID\$" "$SHARE/applications/$ID.desktop"
check grep -q "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$SHARE/metainfo/$ID.metainfo.xml"
# A PNG of the given width and height (read from its header).
png_size() {
    set -- "$1" "$2" $(od -An -tu1 -j16 -N8 "$3")
    [ $(( ($3 << 24) | ($4 << 16) | ($5 << 8) | $6 )) -eq "$1" ] \
        && [ $(( ($7 << 24) | ($8 << 16) | ($9 << 8) | ${10} )) -eq "$2" ]
}
for size in 16 22 24 32 48 64 128 256; do
    check png_size "$size" "$size" "$SHARE/icons/hicolor/${size}x${size}/apps/$ID.png"
done
check test -s "$SHARE/icons/hicolor/scalable/apps/$ID.svg"
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
