#!/usr/bin/env bash
# Builds in Release and prints one table: each figure beside its peer,
# measured in the same run, with the goal beside it. Benchmarks never fail on
# slowness; they print what they measured.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" iputils-ping

build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_BENCH=ON \
    -DECHOWATCH_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
     "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo
printf '| Figure | EchoWatch | Peer | Goal |\n|---|---|---|---|\n'
"$build/bench/probe_bench" 5000
