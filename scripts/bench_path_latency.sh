#!/usr/bin/env bash
# How long the window's thread takes to run a posted event while the Path
# window's rounds run on the chained lab's host, with the trace at the
# down checked: the host answering, and the host silent, when the window
# calls it down and the trace runs beside the rounds. bench.sh runs this
# through tests/lab/run_lab.sh --chain, inside the client namespace.
#
#   tests/lab/run_lab.sh --chain scripts/bench_path_latency.sh BUILD_DIRECTORY [SECONDS]
set -euo pipefail
source "$(dirname "$0")/on_exit.sh"
build=$1
seconds=${2:-10}
client=$(ip netns identify)
lab=${client%-client}
[ "$lab" != "$client" ] || { echo "not in a lab's client namespace: run through run_lab.sh --chain" >&2; exit 2; }
host=203.0.113.10

"$build/bench/window_bench" latency "$host" 100 "$seconds" \
    "chained lab host answering, datagram socket as root" path 2>/dev/null
ip netns exec "$lab-host" nft "add table ip ewbenchpath; add chain ip ewbenchpath c { type filter hook input priority 0; }; add rule ip ewbenchpath c icmp type echo-request drop"
on_exit 'ip netns exec "$lab-host" nft delete table ip ewbenchpath'
"$build/bench/window_bench" latency "$host" 100 "$seconds" \
    "chained lab host silent (called down, traced), datagram socket as root" path 2>/dev/null
