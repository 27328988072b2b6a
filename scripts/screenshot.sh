#!/usr/bin/env bash
# Builds the window and takes docs/screenshot.png of it, running on a private
# X display at 96 DPI and driven through AT-SPI. As root the probe of
# 127.0.0.1 is answered; otherwise it shows what an unprivileged user sees.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_TESTS=OFF
cmake --build "$build"
mkdir -p docs
timeout --kill-after=10 120 \
    dbus-run-session -- /usr/bin/python3 scripts/screenshot.py \
    "$build/monitor/echowatch" docs/screenshot.png
