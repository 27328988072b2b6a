#!/usr/bin/env bash
# Runs slow_lab.py against the shipped binary in a network namespace of its
# own with loopback only, where the kernel leaves echo requests to
# late_responder.py, which answers them as late as the lab asks. Skips (77)
# without root, which the namespace and the raw sockets need.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../support/shell_test.sh
source "$here/../support/shell_test.sh"
[ "$(id -u)" -eq 0 ] || skip "the slow lab makes a network namespace, which needs root"
need_tools unshare ip sysctl
scratch=$(mktemp -d /tmp/echowatch-slow-lab.XXXXXX)
on_exit 'rm -rf "$scratch"'
# The namespace ends with its last process.
timeout --kill-after=10 400 unshare --net -- sh -c '
    ip link set lo up &&
    sysctl -q -w net.ipv4.icmp_echo_ignore_all=1 &&
    exec /usr/bin/python3 "$2" "$1" "$3" "$4"' sh "$binary" "$here/slow_lab.py" \
    "$here/late_responder.py" "$scratch"
