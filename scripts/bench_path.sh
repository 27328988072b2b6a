#!/usr/bin/env bash
# The hop prober in the chained lab: the first round with every TTL in
# flight (the routers answering, then silent), the trace at the down with
# the host silent, and a hop probe's cost beside a plain one's, on each way
# of sending. bench.sh runs this through tests/lab/run_lab.sh --chain,
# inside the client namespace.
#
#   tests/lab/run_lab.sh --chain scripts/bench_path.sh BUILD_DIRECTORY
set -euo pipefail
source "$(dirname "$0")/on_exit.sh"
build=$1
client=$(ip netns identify)
lab=${client%-client}
[ "$lab" != "$client" ] || { echo "not in a lab's client namespace: run through run_lab.sh --chain" >&2; exit 2; }
host=203.0.113.10

"$build/bench/path_bench" trace "$host"
"$build/bench/path_bench" cpu "$host" 2 300

silence_routers() { # on|off: every router keeps its time-exceeded to itself
    local router
    for router in r1 r2 r3; do
        if [ "$1" = on ]; then
            ip netns exec "$lab-$router" nft "add table ip ewbenchsilent; add chain ip ewbenchsilent c { type filter hook output priority 0; }; add rule ip ewbenchsilent c icmp type time-exceeded drop"
        else
            ip netns exec "$lab-$router" nft delete table ip ewbenchsilent 2>/dev/null || true
        fi
    done
}
on_exit 'silence_routers off'
silence_routers on
"$build/bench/path_bench" trace "$host" "three silent routers"
silence_routers off

ip netns exec "$lab-host" nft "add table ip ewbenchdown; add chain ip ewbenchdown c { type filter hook input priority 0; }; add rule ip ewbenchdown c icmp type echo-request drop"
on_exit 'ip netns exec "$lab-host" nft delete table ip ewbenchdown'
"$build/bench/path_bench" down "$host" 4 "the routers answering"
silence_routers on
"$build/bench/path_bench" down "$host" 4 "three silent routers"
