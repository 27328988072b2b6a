#!/usr/bin/env bash
# Installs what is missing, builds, and opens the EchoWatch window.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_TESTS=OFF
cmake --build "$build"
binary="$build/monitor/echowatch"
if [ ! -x "$binary" ]; then
    echo "The probe is built; the window is not part of this build yet."
    exit 0
fi
exec "$binary"
