# shellcheck shell=bash
# Sourced by the scripts that drive a window through AT-SPI on a private
# display: skip_unless_session ROOT_REASON exits 77 (skipped) with the reason
# when the run is not root or a tool the session needs is missing;
# skip_unless_accessible ROOT_REASON checks all but the X server, for
# sessions that bring a display of their own (weston).
# shellcheck source=../support/shell_test.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_test.sh"

skip_unless_session() {
    skip_unless_accessible "$1"
    command -v Xvfb >/dev/null || skip "Xvfb is missing (package xvfb)"
}

skip_unless_accessible() {
    [ "$(id -u)" -eq 0 ] || skip "$1"
    command -v dbus-run-session >/dev/null || skip "dbus-run-session is missing (package dbus)"
    /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null \
        || skip "AT-SPI for Python is missing (packages python3-gi, gir1.2-atspi-2.0)"
}
