# Shared by the play and test commands: make sure the Debian packages are
# there, then configure and build incrementally.

# Whether one dependency, in the syntax of a Debian package's Depends field
# without blanks ("name", "name(>=1:2)", "a|b(>=1)"), is met by a package
# installed on this system.
installed() {
    for alternative in $(printf '%s' "$1" | tr -d ' ()' | tr '|' ' '); do
        name=${alternative%%[<>=]*}
        relation=${alternative#"$name"}
        version=$(dpkg-query -W -f='${db:Status-Abbrev}${Version}' "$name" 2>/dev/null) || continue
        case $version in
        "ii "*) version=${version#"ii "} ;;
        *) continue ;;
        esac
        [ -z "$relation" ] && return 0
        operator=${relation%%[!<>=]*}
        dpkg --compare-versions "$version" "$operator" "${relation#"$operator"}" && return 0
    done
    return 1
}

# Installs what the given dependencies (one argument each, in the syntax
# above) need when any is not met: with apt-get when run as root, otherwise
# it prints the exact commands (which work on a fresh system too: package
# lists first, then only what is needed, without questions) and stops.
# apt-get satisfy lets this release's apt choose among alternatives, as it
# does for the Depends of the game's own package.
ensure_packages() {
    missing=""
    for dependency in "$@"; do
        installed "$dependency" || missing="$missing $dependency"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q || return 1
        # shellcheck disable=SC2086
        apt-get satisfy -y -q --no-install-recommends $missing || return 1
    else
        # Quoted for the shell where a dependency has a version or choices.
        quoted=$(for dependency in $missing; do
            case $dependency in
            *[!a-z0-9.+-]*) printf " '%s'" "$dependency" ;;
            *) printf ' %s' "$dependency" ;;
            esac
        done)
        echo "Some Debian packages are missing:$missing"
        if command -v sudo >/dev/null 2>&1; then
            echo "Install them with these two commands, then run this one again:"
            echo "  sudo apt-get update"
            echo "  sudo apt-get satisfy -y --no-install-recommends$quoted"
        else
            # A login shell: root's PATH, with the sbin folders dpkg needs.
            # Inside su's single-quoted command the quotes become double.
            echo "Install them with this command (it asks for the root password),"
            echo "then run this one again:"
            echo "  su - -c 'apt-get update && apt-get satisfy -y --no-install-recommends$(echo "$quoted" | tr "'" '"')'"
        fi
        exit 1
    fi
}

# The faces the game draws in are Liberation 2: fonts-liberation from
# Debian 13 on, fonts-liberation2 in Debian 12 (where fonts-liberation is
# still version 1). The game's package depends on the same.
BUILD_PACKAGES="cmake make g++ qt6-base-dev qt6-translations-l10n fonts-liberation(>=1:2)|fonts-liberation2"
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
