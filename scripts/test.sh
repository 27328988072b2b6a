#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Exits non-zero on any
# failure. Tests that need root (raw sockets, network namespaces) say that
# they were skipped when run without it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DECHOWATCH_SANITIZE=ON
cmake --build "$build"
cd "$build"
ctest --output-on-failure --timeout 900
