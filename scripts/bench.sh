#!/usr/bin/env bash
# Builds in Release and prints one table: each figure beside its peer where
# there is one, measured in the same run, with the goal beside it.
# Benchmarks never fail on slowness; they print what they measured.
#
#   scripts/bench.sh            every row, the 100,000-probe soak included
#   SOAK_PROBES=0 scripts/bench.sh   without the soak
#   LATENCY_SECONDS=3 scripts/bench.sh   shorter event-latency rows (10 s each)
#   SIDE_RUNS=20 scripts/bench.sh        more runs per fault point (5 each)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/on_exit.sh
install_missing "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

# Tests are built too: the lab rows use the lab's responder.
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_BENCH=ON \
    -DECHOWATCH_BUILD_TESTS=ON >/dev/null
cmake --build "$build" >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"

row() { printf '| %s | %s | %s | %s |\n' "$@"; }

# The window started for the idle row is ended however this run ends.
window_pid=
on_exit '[ -z "$window_pid" ] || kill "$window_pid" 2>/dev/null || true'

# CPU time of the open window with the timer off, over 10 s after start-up.
idle_row() {
    "$build/app/echowatch" &
    window_pid=$!
    local ticks_per_second before after
    ticks_per_second=$(getconf CLK_TCK)
    sleep 2
    before=$(awk '{print $14 + $15}' "/proc/$window_pid/stat")
    sleep 10
    after=$(awk '{print $14 + $15}' "/proc/$window_pid/stat")
    kill "$window_pid"
    wait "$window_pid" 2>/dev/null || true
    window_pid=
    row "idle, CPU of the open window with the timer off over 10 s" \
        "$(((after - before) * 1000 / ticks_per_second)) ms" "-" "0 ms"
}

# Timing against hosts in the network lab, in a lab that run_lab.sh removes
# however the rows end.
# The probe's cost on loopback runs there too, where both kinds of socket
# can be opened.
lab_rows() {
    if [ "$(id -u)" -ne 0 ]; then
        "$build/bench/probe_bench" 5000
        row "lab rows (RTT under load, timeout precision, flood)" \
            "skipped: the network lab needs root" "-" "-"
        return
    fi
    tests/lab/run_lab.sh scripts/bench_lab.sh "$build"
    # The window's thread while it probes, beside the same with the probes
    # on that thread, as they once were.
    tests/lab/run_lab.sh scripts/bench_latency.sh "$build" "${LATENCY_SECONDS:-10}" inline
}

# Tracing the chained lab's path of three routers: the first round's time and
# pace on each way of sending (the routers answering, then silent), the
# trace at the down, and a hop probe's cost beside a plain one's.
path_rows() {
    if [ "$(id -u)" -ne 0 ]; then
        row "path rows (trace and hop probe cost)" "skipped: the network lab needs root" "-" "-"
        return
    fi
    tests/lab/run_lab.sh --chain scripts/bench_path.sh "$build"
    # The window's thread while the Path window's rounds and a trace run.
    tests/lab/run_lab.sh --chain scripts/bench_path_latency.sh "$build" "${LATENCY_SECONDS:-10}"
    # From the down to the filed class, through the whole program, at each
    # fault point; behind five silent routers in the long lab. A run classed
    # wrong is counted in its row, and the other rows still run.
    tests/lab/run_lab.sh --chain "$build/tests/lab/lab_side" --runs "${SIDE_RUNS:-5}" --bench ||
        echo "lab_side: not every run was classed right" >&2
    tests/lab/run_lab.sh --long "$build/tests/lab/lab_side" --fault five-silent-routers \
        --runs "${SIDE_RUNS:-5}" --bench || echo "lab_side: not every run was classed right" >&2
}

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
     "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo
row "Figure" "EchoWatch" "Peer" "Goal"
row "---" "---" "---" "---"
"$build/bench/window_bench" log 2>/dev/null
"$build/bench/window_bench" startup "$(date +%s%N)" 2>/dev/null
"$build/bench/history_bench" 2>/dev/null
"$build/bench/store_bench"
"$build/bench/records_bench" 2>/dev/null
# The window's thread while the history file takes a probe a millisecond,
# beside the same without the file, and the History window on a day of
# 1,000,000 probes and on 30 days at 1 s, and on a year at 1 s (all of it,
# the last 90 and 365 days, at its own width and 1,920 px wide).
"$build/bench/window_bench" latency 127.0.0.1 1 "${LATENCY_SECONDS:-10}" \
    "127.0.0.1, no history file" 2>/dev/null
"$build/bench/window_bench" latency-history "${LATENCY_SECONDS:-10}" 2>/dev/null
"$build/bench/window_bench" open-history 1000000 86 2>/dev/null
"$build/bench/window_bench" open-history 2592000 1000 2>/dev/null
"$build/bench/window_bench" year-spans 2>/dev/null
idle_row
lab_rows
path_rows
# 1,000 loopback hosts in one --headless process, beside fping.
scripts/bench_fleet.sh "$build"
scripts/bench_fleet.sh "$build" 20 20
if [ "${SOAK_PROBES:-100000}" -gt 0 ]; then
    "$build/bench/window_bench" soak "${SOAK_PROBES:-100000}" 2>/dev/null
    "$build/bench/window_bench" soak-history "${SOAK_PROBES:-100000}" 2>/dev/null
    "$build/bench/store_bench" soak "${SOAK_PROBES:-100000}"
    "$build/bench/window_bench" soak-records "${SOAK_PROBES:-100000}" 2>/dev/null
fi
