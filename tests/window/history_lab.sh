#!/usr/bin/env bash
# Runs history_lab.py against the shipped binary inside the network lab, in a
# D-Bus session of its own, on a private X display. Skips (77) where that
# cannot run: the lab needs root, the display Xvfb.
#
#   history_lab.sh BINARY [PICTURE]
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the History lab test silences a lab host with nftables and needs root"
command -v Xvfb >/dev/null || skip "Xvfb is missing (package xvfb)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is missing (package dbus)"
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null \
    || skip "AT-SPI for Python is missing (packages python3-gi, gir1.2-atspi-2.0)"
command -v xdotool >/dev/null || skip "xdotool is missing (package xdotool)"
[ -z "${2:-}" ] || command -v import >/dev/null || skip "import is missing (package imagemagick)"

# The lab runs the command in its client namespace and removes itself
# however it ends; timeout signals its whole process group on a hang.
exec "$here/../lab/run_lab.sh" timeout --kill-after=10 150 \
    dbus-run-session -- /usr/bin/python3 "$here/history_lab.py" "$@"
