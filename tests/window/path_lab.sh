#!/usr/bin/env bash
# Runs path_lab.py against the shipped binary inside the chained lab, in a
# D-Bus session of its own, on a private X display. Skips (77) where that
# cannot run: the lab needs root, the display Xvfb.
#
#   path_lab.sh BINARY [PICTURE_FOLDER]
set -euo pipefail
: "${1:?usage: path_lab.sh BINARY [PICTURE_FOLDER]}"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session_checks.sh"
skip_unless_session "the Path lab test breaks the chained lab's path with nftables and needs root"
command -v xdotool >/dev/null || skip "xdotool is missing (package xdotool)"
[ -z "${2:-}" ] || command -v import >/dev/null || skip "import is missing (package imagemagick)"

# The lab runs the command in its client namespace and removes itself
# however it ends; timeout signals its whole process group on a hang.
exec "$here/../lab/run_lab.sh" --chain timeout --kill-after=10 270 \
    dbus-run-session -- /usr/bin/python3 "$here/path_lab.py" "$@"
