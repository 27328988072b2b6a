#!/usr/bin/env bash
# Runs headless_lab.py against the shipped binary in the records lab's
# namespaces (loopback alone, so 192.0.2.1 has no route and fails at once;
# a hosts file and resolver configuration of the test's, so no query can
# leave), with no display, no Wayland and no session bus in its
# environment. Skips (77) as the records lab does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR \
    -u QT_QPA_PLATFORM "$here/../records/records_lab.sh" "$1" "$here/headless_lab.py"
