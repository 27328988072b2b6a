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
on_exit '[ ${#busy_pids[@]} -eq 0 ] || kill "${busy_pids[@]}" 2>/dev/null || true'

start_responder() {
    ip netns exec "$lab-responder" "$build/tests/lab/lab_responder" "$@" >/dev/null &
    responder_pid=$!
    sleep 0.5
}
# Either may have ended by itself: that is no failure of the bench.
stop_responder() { kill "$responder_pid" 2>/dev/null || true; wait "$responder_pid" 2>/dev/null || true; }

# Twice as many busy loops as there are cores.
start_load() {
    for _ in $(seq $(($(nproc) * 2))); do
        bash -c 'while :; do :; done' &
        busy_pids+=($!)
    done
    sleep 1
}
stop_load() {
    kill "${busy_pids[@]}" 2>/dev/null || true
    wait "${busy_pids[@]}" 2>/dev/null || true
    busy_pids=()
}

"$build/bench/probe_bench" 5000

# The helper's top rate as an unprivileged user, beside ping -i 0.002 as the
# same user, both with the largest data a packet holds: to the lab's
# answering host, and to its silent one. Copies, so that the build tree is
# never given a capability and need not be open to other users.
host=198.51.100.2
scratch=$(mktemp -d /tmp/ewbench.XXXXXX)
on_exit 'rm -rf "$scratch"'
chmod 755 "$scratch"
install -m 755 "$build/app/echowatch-probe" "$build/bench/helper_rate_bench" "$scratch/"
setcap cap_net_raw+ep "$scratch/echowatch-probe"
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all "$@"; }
ping_rate() { # address count: requests/s and MB/s of ping -i 0.002 as the user, by its own clock
    as_user ping -n -q -i 0.002 -s 65507 -W 1 -c "$2" "$1" 2>/dev/null |
        sed -n 's/^\([0-9]*\) packets transmitted.* time \([0-9]*\)ms$/\1 \2/p' |
        awk '{printf "%.0f %.1f\n", $1 * 1000 / $2, $1 * 65507 / $2 / 1000}'
}
for target in "answering $host 500" "silent $responder 0"; do
    read -r name address timeout <<<"$target"
    read -r ours_rate ours_mb answered sent < <(as_user "$scratch/helper_rate_bench" \
        "$scratch/echowatch-probe" "$address" 2 "$timeout" 65507)
    read -r ping_rate_figure ping_mb < <(ping_rate "$address" 200)
    printf '| %s | %s | %s | %s |\n' \
        "the helper's top rate as user nobody, 65,507-byte requests, $name lab host (timeout $timeout ms)" \
        "$ours_rate requests/s, $ours_mb MB/s ($answered/$sent answered)" \
        "ping -i 0.002 as nobody: $ping_rate_figure requests/s, $ping_mb MB/s" "at most ping's"
done

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
