#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan, and
# runs each for a bounded time (seconds, default 60; 0 fuzzes nothing). New
# inputs that widen coverage are kept in a scratch corpus; a crash stops the
# run with the input saved in build/fuzz/, to be added to tests/fuzz/corpus/
# as a regression.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [SECONDS]   (a whole number; 0 fuzzes nothing)" >&2
    exit 2
fi
# libFuzzer reads -max_total_time=0 as "no limit", so 0 must never reach it.
if [ "$seconds" -eq 0 ]; then
    echo "Fuzzing skipped (0 s); ctest still replays tests/fuzz/corpus/."
    exit 0
fi
source scripts/packages.sh
install_missing clang libclang-rt-dev libgtest-dev cmake ninja-build g++ libsqlite3-dev

build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DECHOWATCH_SANITIZE=ON -DECHOWATCH_FUZZ=ON -DECHOWATCH_BUILD_WINDOW=OFF
cmake --build "$build" --target packet_fuzzer address_fuzzer helper_request_fuzzer
for target in packet address helper_request; do
    scratch="$build/corpus-$target"
    mkdir -p "$scratch"
    echo "Fuzzing $target for $seconds s"
    (cd "$build" && "./tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        "corpus-$target" "$PWD/../../tests/fuzz/corpus/$target" 2>&1 | tail -n 12)
done
