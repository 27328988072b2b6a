#!/usr/bin/env bash
# The benchmark rows timed against hosts in the network lab. bench.sh runs
# this through tests/lab/run_lab.sh, inside the client namespace of a lab of
# its own, which is removed with everything started in it however this ends.
#
#   tests/lab/run_lab.sh scripts/bench_lab.sh BUILD_DIRECTORY
set -euo pipefail
build=$1
client=$(ip netns identify)
lab=${client%-client}
[ "$lab" != "$client" ] || { echo "not in a lab's client namespace: run through run_lab.sh" >&2; exit 2; }
responder=198.51.100.18
responder_pid=

start_responder() {
    ip netns exec "$lab-responder" "$build/tests/lab/lab_responder" "$@" >/dev/null &
    responder_pid=$!
    sleep 0.5
}
stop_responder() { kill "$responder_pid" 2>/dev/null; wait "$responder_pid" 2>/dev/null || true; }

start_responder answer 40
ping_times=$(ping -n -c 50 -i 0.1 -s 32 -W 1 "$responder" |
    sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | sort -n)
ping_min=$(head -n 1 <<<"$ping_times")
ping_max=$(tail -n 1 <<<"$ping_times")
ping_median=$(awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}' <<<"$ping_times")
"$build/bench/lab_bench" rtt "$responder" 50 "$ping_min" "$ping_median" "$ping_max"
stop_responder

# Nothing answers: the responder's kernel has echo replies off.
"$build/bench/lab_bench" timeout "$responder" 20 "timeout precision, silent lab host"
start_responder flood silent
"$build/bench/lab_bench" timeout "$responder" 20 "timeout under flood"
stop_responder
