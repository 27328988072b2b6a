#!/usr/bin/env bash
# Builds a lab of its own, runs the given command inside the lab's client
# namespace, and tears the lab down however the command ends: success,
# failure, or this script being interrupted, hung up on or terminated. Labs
# left behind by runs that were killed outright are swept away first.
#
#   tests/lab/run_lab.sh [--chain | --long] COMMAND [ARGUMENTS...]
#
# --chain builds the chained lab of three routers in a row instead, --long
# the long one of five.
#
# Exits with the command's status, or 77 (skipped) when not run as root. Only
# the command writes to stdout; what this script says goes to stderr.
set -uo pipefail
scripts="$(cd "$(dirname "$0")/../../scripts" && pwd)"
# shellcheck source=../../scripts/on_exit.sh
source "$scripts/on_exit.sh"

if ! reason=$("$scripts/lab.sh" check); then
    echo "SKIPPED: $reason."
    [ "$(id -u)" -eq 0 ] || echo "Run scripts/test.sh as root to include it."
    exit 77
fi

kind=up
case ${1:-} in
--chain | --long)
    kind=${1#--}
    shift
    ;;
esac

"$scripts/lab.sh" sweep >&2
lab="ewlab-$$-$RANDOM"
# Removing the lab also ends the command and whatever it started there.
on_exit '"$scripts/lab.sh" down "$lab"'

if ! "$scripts/lab.sh" "$kind" "$lab"; then
    echo "The lab $lab could not be built." >&2
    exit 1
fi
echo "Lab $lab is up." >&2
# In the background, so that a signal to this script is handled at once
# rather than after the command has finished.
ip netns exec "$lab-client" "$@" &
wait "$!"
