#!/usr/bin/env bash
# Runs wayland_end_to_end.py against the shipped binary: a headless weston
# on a private runtime directory, the window with Qt's Wayland platform and
# no X display, all in a network namespace with loopback alone and a D-Bus
# session of its own. Skips (77), saying why, only where that cannot run.
set -euo pipefail
binary=$(realpath "$1")
# Given a second argument, also saves the window, in its frame, there.
screenshot=${2:+$(realpath -m "$2")}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../window/session_checks.sh
source "$here/../window/session_checks.sh"
skip_unless_accessible "the window probes 127.0.0.1 through a raw socket in a network namespace: that needs root"
command -v weston >/dev/null || skip "weston is missing (package weston)"
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null \
    || skip "Qt's Wayland platform is missing (package qt6-wayland)"
reason=$("$here/../../scripts/lab.sh" check) || skip "$reason"

make_scratch echowatch-wayland
mkdir -m 700 "$scratch/runtime"
make_namespace "echowatch-wayland-$$" "1 0"

# timeout signals its whole process group, so nothing outlives a hang.
ip netns exec "$namespace" env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$scratch/runtime" \
    timeout --kill-after=10 120 \
    dbus-run-session -- /usr/bin/python3 "$here/wayland_end_to_end.py" "$binary" "$scratch" \
    ${screenshot:+"$screenshot"}
