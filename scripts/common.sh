# Shared by the play and test commands: make sure the Debian packages are
# there, then configure and build incrementally.

# Installs the given Debian packages when any is missing: with apt-get when
# run as root, otherwise it prints the exact commands (which work on a fresh
# system too: package lists first, then only what is needed, without
# questions) and stops.
ensure_packages() {
    missing=""
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
            missing="$missing $package"
        fi
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q || return 1
        # shellcheck disable=SC2086
        apt-get install -y -q --no-install-recommends $missing || return 1
    else
        echo "Some Debian packages are missing:$missing"
        if command -v sudo >/dev/null 2>&1; then
            echo "Install them with these two commands, then run this one again:"
            echo "  sudo apt-get update"
            echo "  sudo apt-get install -y --no-install-recommends$missing"
        else
            # A login shell: root's PATH, with the sbin folders dpkg needs.
            echo "Install them with this command (it asks for the root password),"
            echo "then run this one again:"
            echo "  su - -c 'apt-get update && apt-get install -y --no-install-recommends$missing'"
        fi
        exit 1
    fi
}

BUILD_PACKAGES="cmake make g++ qt6-base-dev qt6-translations-l10n fonts-liberation2"
# What the Debian package is built with: dpkg-dev for the shared library
# dependencies and the build flags; CPack finds programs with file;
# appstream tells whether the release's validator wants a home page.
PACKAGE_PACKAGES="dpkg-dev file appstream"

# configure_and_build DIR [cmake options...]
configure_and_build() {
    dir="$1"
    shift
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$dir" "$@" || return 1
    fi
    cmake --build "$dir" -j"$(nproc)"
}
