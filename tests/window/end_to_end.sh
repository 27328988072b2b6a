#!/usr/bin/env bash
# Runs end_to_end.py against the shipped binary in a D-Bus session of its own,
# on a private X display. Skips (77) where that cannot run: a real probe
# needs root for its raw socket, and the display needs Xvfb.
set -euo pipefail
binary=$1
here=$(dirname "$0")
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the end-to-end test probes 127.0.0.1 through a raw socket and needs root"
command -v Xvfb >/dev/null || skip "Xvfb is missing (package xvfb)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is missing (package dbus)"
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null \
    || skip "AT-SPI for Python is missing (packages python3-gi, gir1.2-atspi-2.0)"

# timeout signals its whole process group, so nothing outlives a hang.
timeout --kill-after=10 120 \
    dbus-run-session -- /usr/bin/python3 "$here/end_to_end.py" "$binary"
