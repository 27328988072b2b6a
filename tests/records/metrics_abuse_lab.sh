#!/usr/bin/env bash
# Runs metrics_abuse_lab.py against the shipped binary in a network
# namespace of its own with loopback alone, where it may hold connections
# from any 127.0.0.0/8 address and drop the probes with nftables. Skips (77)
# without root, which the namespace needs.
#
#   metrics_abuse_lab.sh ECHOWATCH
set -euo pipefail
# shellcheck source=../support/shell_test.sh
source "$(dirname "$0")/../support/shell_test.sh"
[ "$(id -u)" -eq 0 ] || skip "the abuse lab makes a network namespace, which needs root"
need_tools unshare ip nft python3
make_scratch echowatch-abuse-lab
# The network ends with the namespace's last process.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
timeout --kill-after=10 300 unshare --net -- sh -c 'ip link set lo up && exec python3 "$1" "$2" "$3"' \
    sh "$(dirname "$0")/metrics_abuse_lab.py" "$1" "$scratch"
