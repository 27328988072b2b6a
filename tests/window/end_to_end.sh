#!/usr/bin/env bash
# Runs end_to_end.py against the shipped binary in a D-Bus session of its own,
# on a private X display. Skips (77) where that cannot run: a real probe
# needs root for its raw socket, and the display needs Xvfb.
set -euo pipefail
binary=$1
here=$(dirname "$0")
source "$here/session_checks.sh"
skip_unless_session "the end-to-end test probes 127.0.0.1 through a raw socket and needs root"

# timeout signals its whole process group, so nothing outlives a hang.
timeout --kill-after=10 120 \
    dbus-run-session -- /usr/bin/python3 "$here/end_to_end.py" "$binary"
