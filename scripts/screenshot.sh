#!/usr/bin/env bash
# Builds the window and takes docs/screenshot.png of it, running on a private
# X display at 96 DPI and driven through AT-SPI. As root the probe of
# 127.0.0.1 is answered; otherwise it shows what an unprivileged user sees.
# As root it also takes docs/history.png: the History window after a run
# with an outage in the network lab, and docs/wayland.png: the window on
# weston, in the frame Qt draws there.
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
    "$build/app/echowatch" docs/screenshot.png
# The History window after a run with an outage, which needs the network lab.
if [ "$(id -u)" -eq 0 ]; then
    tests/window/history_lab.sh "$build/app/echowatch" docs/history.png
    tests/wayland/wayland_test.sh "$build/app/echowatch" docs/wayland.png
else
    echo "docs/history.png and docs/wayland.png not taken: the network lab they are taken in needs root"
fi
