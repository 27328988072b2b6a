# shellcheck shell=bash disable=SC2034
# Sourced by the set-up scripts: the Debian packages each one needs, and a
# way to install only those that are missing.

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev fonts-dejavu-core libcap2-bin librsvg2-bin
                libsqlite3-dev libmicrohttpd-dev pkgconf)
TEST_PACKAGES=(libgtest-dev iproute2 nftables xvfb xauth dbus dunst at-spi2-core python3-gi
               gir1.2-atspi-2.0 xdotool imagemagick util-linux procps clang libclang-rt-dev
               dpkg-dev file lintian desktop-file-utils appstream weston qt6-wayland debootstrap
               shellcheck sqlite3 prometheus iputils-ping)
# What scripts/bench.sh needs beyond the build: the peers it measures beside.
BENCH_PACKAGES=(libgtest-dev iputils-ping iproute2 nftables procps fping)
SCREENSHOT_PACKAGES=(xvfb dbus at-spi2-core python3-gi gir1.2-atspi-2.0 imagemagick xdotool iproute2 nftables
                     weston qt6-wayland)

# As root it installs what is missing. Anyone else gets the one command to
# run as root, and the script stops: sudo is not there on every Debian.
install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local install=(apt-get install -y --no-install-recommends "${missing[@]}")
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root (su - or sudo), then run this again:" >&2
        echo "    apt-get update && ${install[*]}" >&2
        exit 1
    fi
    echo "Installing missing packages: ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${install[@]}" -q
}
