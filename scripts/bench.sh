#!/usr/bin/env bash
# Builds in Release and prints one table: each figure beside its peer where
# there is one, measured in the same run, with the goal beside it.
# Benchmarks never fail on slowness; they print what they measured.
#
#   scripts/bench.sh            every row, the 100,000-probe soak included
#   SOAK_PROBES=0 scripts/bench.sh   without the soak
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev iputils-ping iproute2 nftables procps

# Tests are built too: the lab rows use the lab's responder.
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_BENCH=ON \
    -DECHOWATCH_BUILD_TESTS=ON >/dev/null
cmake --build "$build" >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

row() { printf '| %s | %s | %s | %s |\n' "$@"; }

# CPU time of the open window with the timer off, over 10 s after start-up.
idle_row() {
    "$build/monitor/echowatch" &
    local pid=$! ticks_per_second before after
    ticks_per_second=$(getconf CLK_TCK)
    sleep 2
    before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep 10
    after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    row "idle, CPU of the open window with the timer off over 10 s" \
        "$(((after - before) * 1000 / ticks_per_second)) ms" "-" "0 ms"
}

# Timing against hosts in the network lab, measured from its client
# namespace; the lab is torn down however this ends.
lab_rows() {
    if [ "$(id -u)" -ne 0 ]; then
        row "lab rows (RTT accuracy, timeout precision, timeout under flood)" \
            "skipped: the network lab needs root" "-" "-"
        return
    fi
    local lab="ewlab-$$-bench" responder_pid
    scripts/lab.sh sweep >/dev/null
    trap 'scripts/lab.sh down "$lab"' EXIT
    scripts/lab.sh up "$lab"
    local in_client=(ip netns exec "$lab-client") responder=198.51.100.18
    start_responder() {
        ip netns exec "$lab-responder" "$build/tests/lab/lab_responder" "$@" >/dev/null &
        responder_pid=$!
        sleep 0.5
    }
    stop_responder() { kill "$responder_pid" 2>/dev/null; wait "$responder_pid" 2>/dev/null || true; }

    start_responder answer 40
    local ping_times
    ping_times=$("${in_client[@]}" ping -n -c 50 -i 0.1 -s 32 -W 1 "$responder" |
        sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | sort -n)
    local ping_min ping_median ping_max
    ping_min=$(head -n 1 <<<"$ping_times")
    ping_max=$(tail -n 1 <<<"$ping_times")
    ping_median=$(awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}' <<<"$ping_times")
    "${in_client[@]}" "$build/bench/lab_bench" rtt "$responder" 50 "$ping_min" "$ping_median" "$ping_max"
    stop_responder

    # Nothing answers: the responder's kernel has echo replies off.
    "${in_client[@]}" "$build/bench/lab_bench" timeout "$responder" 20 "timeout precision, silent lab host"
    start_responder flood silent
    "${in_client[@]}" "$build/bench/lab_bench" timeout "$responder" 20 "timeout under flood"
    stop_responder
    scripts/lab.sh down "$lab"
    trap - EXIT
}

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
     "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo
row "Figure" "EchoWatch" "Peer" "Goal"
row "---" "---" "---" "---"
"$build/bench/probe_bench" 5000
"$build/bench/window_bench" log 2>/dev/null
"$build/bench/window_bench" startup "$(date +%s%N)" 2>/dev/null
idle_row
lab_rows
if [ "${SOAK_PROBES:-100000}" -gt 0 ]; then
    "$build/bench/window_bench" soak "${SOAK_PROBES:-100000}" 2>/dev/null
fi
