#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test. Exits
# non-zero on any failure. Tests that need root (raw sockets, network
# namespaces) say that they were skipped when run without it. Each fuzz
# target runs for FUZZ_SECONDS (default 60; 0 leaves fuzzing out) before the
# tests.
#
# Only the installation may use the network. As root, everything after it
# (configure, build, fuzzing, tests) runs in a network namespace with
# loopback alone (scripts/offline.sh), so a step that reaches for the
# network fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --offline ]; then
    source scripts/packages.sh
    install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    if [ "$(id -u)" -eq 0 ]; then
        exec scripts/offline.sh bash scripts/test.sh --offline
    fi
    echo "Not root: the build runs where the network is (only root can take it away)."
fi

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DECHOWATCH_SANITIZE=ON \
    -DECHOWATCH_WERROR=ON
cmake --build "$build"

# The fuzzers run first, so ctest's summary is the last word of the run.
scripts/fuzz.sh "${FUZZ_SECONDS:-60}"

cd "$build"
ctest --output-on-failure --timeout 900
