#!/usr/bin/env bash
# How long the window's thread takes to run a posted event while the window
# probes a silent lab host and an answering one, at 1, 100 and 500 ms: by
# the datagram socket as root, and through the probe helper as user nobody,
# for whom ping sockets are closed here. bench.sh runs this through
# tests/lab/run_lab.sh, inside the client namespace of a lab of its own.
#
#   tests/lab/run_lab.sh scripts/bench_latency.sh BUILD_DIRECTORY [SECONDS] [inline]
#
# "inline" adds the rows of the window probing on its own thread, as the
# tick once did, for the figures before and after.
set -euo pipefail
source "$(dirname "$0")/on_exit.sh"
build=$1
seconds=${2:-10}
compare=${3:-}
client=$(ip netns identify)
[ "${client%-client}" != "$client" ] || { echo "not in a lab's client namespace: run through run_lab.sh" >&2; exit 2; }
silent=198.51.100.18
answering=198.51.100.2

# Copies nobody can run, the helper with its capability; the build tree is
# never given one.
scratch=$(mktemp -d /tmp/ewlatency.XXXXXX)
on_exit 'rm -rf "$scratch"'
chmod 755 "$scratch"
install -m 755 "$build/app/echowatch-probe" "$build/bench/window_bench" "$scratch/"
setcap cap_net_raw+ep "$scratch/echowatch-probe"
mkdir -m 700 "$scratch/runtime"
chown 65534:65534 "$scratch/runtime"
as_nobody() {
    XDG_RUNTIME_DIR="$scratch/runtime" setpriv --reuid=65534 --regid=65534 --clear-groups \
        --inh-caps=-all "$@"
}
# This namespace's own setting: only root's group may open ping sockets.
sysctl -q -w net.ipv4.ping_group_range="0 0"

modes=(threaded)
[ "$compare" != inline ] || modes=(inline threaded)
for mode in "${modes[@]}"; do
    extra=()
    [ "$mode" = threaded ] || extra=(inline)
    for target in "silent $silent" "answering $answering"; do
        read -r name address <<<"$target"
        for interval in 1 100 500; do
            "$scratch/window_bench" latency "$address" "$interval" "$seconds" \
                "$name lab host, datagram socket as root" "${extra[@]}" 2>/dev/null
            as_nobody "$scratch/window_bench" latency "$address" "$interval" "$seconds" \
                "$name lab host, probe helper as nobody" "${extra[@]}" "$scratch/echowatch-probe" \
                2>/dev/null
        done
    done
done
