#!/usr/bin/env bash
# Builds a lab of its own, runs the given command inside the lab's client
# namespace, and tears the lab down however the command ends: success,
# failure, or this script being interrupted or terminated. Labs left behind
# by runs that were killed outright are swept away first.
#
#   tests/lab/run_lab.sh COMMAND [ARGUMENTS...]
#
# Exits with the command's status, or 77 (skipped) when not run as root.
set -uo pipefail
lab_script="$(cd "$(dirname "$0")/../../scripts" && pwd)/lab.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the network lab needs root (network namespaces, raw sockets)."
    echo "Run scripts/test.sh as root to include it."
    exit 77
fi

"$lab_script" sweep
lab="ewlab-$$-$RANDOM"
command_pid=
tear_down() {
    [ -n "$command_pid" ] && kill "$command_pid" 2>/dev/null && wait "$command_pid"
    "$lab_script" down "$lab"
}
trap tear_down EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! "$lab_script" up "$lab"; then
    echo "The lab $lab could not be built." >&2
    exit 1
fi
echo "Lab $lab is up."
# In the background, so that a signal to this script is handled at once
# rather than after the command has finished.
ip netns exec "$lab-client" "$@" &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=
exit "$status"
