#!/usr/bin/env bash
# Runs keyboard_lab.py inside a lab's client namespace (it builds one
# through run_lab.sh), with the window, its bus and the driver as user
# nobody, for whom ping sockets are closed there: every probe goes through a
# copy of the helper that alone holds CAP_NET_RAW. Skips (77) where that
# cannot run.
#
#   keyboard_lab.sh ECHOWATCH HELPER
set -euo pipefail
window=$1 helper=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/session_checks.sh"
skip_unless_session "needs root to give the helper its capability"
command -v xdotool >/dev/null || skip "xdotool is missing (package xdotool)"
lab=$(ip netns identify)
[[ "$lab" == ewlab-*-client ]] || exec "$here/../lab/run_lab.sh" "$0" "$@"

scratch=$(mktemp -d /tmp/ewkeys.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# Copies, so the build tree never carries a capability, and what nobody
# runs is readable by nobody.
install -m 755 "$window" "$scratch/echowatch"
install -m 755 "$helper" "$scratch/echowatch-probe"
setcap cap_net_raw+ep "$scratch/echowatch-probe"
mkdir -p "$scratch/home" "$scratch/run" "$scratch/driver"
install -m 644 "$here/keyboard_lab.py" "$here/window_session.py" "$scratch/driver/"
chmod 755 "$scratch"
chown 65534:65534 "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
sysctl -q -w net.ipv4.ping_group_range="1 0"

setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all \
    env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" \
    ASAN_OPTIONS=verify_asan_link_order=0 \
    timeout --kill-after=10 150 dbus-run-session -- \
    /usr/bin/python3 "$scratch/driver/keyboard_lab.py" "$scratch/echowatch" 198.51.100.2 198.51.100.18
