#!/usr/bin/env bash
# The benchmark rows timed against hosts in the network lab, and the probe's
# cost on loopback where both kinds of socket can be opened. bench.sh runs
# this through tests/lab/run_lab.sh, inside the client namespace of a lab of
# its own, which is removed with everything started in it however this ends.
#
#   tests/lab/run_lab.sh scripts/bench_lab.sh BUILD_DIRECTORY
set -euo pipefail
source "$(dirname "$0")/on_exit.sh"
build=$1
client=$(ip netns identify)
lab=${client%-client}
[ "$lab" != "$client" ] || { echo "not in a lab's client namespace: run through run_lab.sh" >&2; exit 2; }
responder=198.51.100.18
responder_pid=
busy_pids=()
on_exit '[ ${#busy_pids[@]} -eq 0 ] || kill "${busy_pids[@]}" 2>/dev/null'

start_responder() {
    ip netns exec "$lab-responder" "$build/tests/lab/lab_responder" "$@" >/dev/null &
    responder_pid=$!
    sleep 0.5
}
stop_responder() { kill "$responder_pid" 2>/dev/null; wait "$responder_pid" 2>/dev/null || true; }

# Twice as many busy loops as there are cores.
start_load() {
    for _ in $(seq $(($(nproc) * 2))); do
        bash -c 'while :; do :; done' &
        busy_pids+=($!)
    done
    sleep 1
}
stop_load() {
    kill "${busy_pids[@]}" 2>/dev/null
    wait "${busy_pids[@]}" 2>/dev/null || true
    busy_pids=()
}

"$build/bench/probe_bench" 5000

start_responder answer 40
start_load
ping_times=$(ping -n -c 50 -i 0.1 -s 32 -W 1 "$responder" |
    sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | sort -n)
ping_min=$(head -n 1 <<<"$ping_times")
ping_max=$(tail -n 1 <<<"$ping_times")
ping_median=$(awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}' <<<"$ping_times")
for kind in raw datagram; do
    "$build/bench/lab_bench" rtt "$kind" "$responder" 50 "$ping_min" "$ping_median" "$ping_max" \
        "RTT under CPU load ($(($(nproc) * 2)) busy loops on $(nproc) cores), lab host answering 40 ms late, $kind"
done
stop_load
stop_responder

# Nothing answers: the responder's kernel has echo replies off.
for kind in raw datagram; do
    "$build/bench/lab_bench" timeout "$kind" "$responder" 20 "timeout precision, silent lab host, $kind"
done
start_responder flood-foreign 100000
for kind in raw datagram; do
    "$build/bench/lab_bench" cpu "$kind" "$responder" 20 \
        "CPU per 500 ms probe of a silent host during a flood of foreign replies and errors (100,000 packets/s), $kind"
    "$build/bench/lab_bench" timeout "$kind" "$responder" 20 "timeout under that flood, $kind"
done
stop_responder
