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

# Whether the kernel lets one of this user's groups open ping sockets.
ping_sockets_open() {
    local user=$1 low high group
    read -r low high </proc/sys/net/ipv4/ping_group_range
    for group in $(id -G "$user"); do
        [ "$group" -ge "$low" ] && [ "$group" -le "$high" ] && return 0
    done
    return 1
}

# Where ping sockets are closed, the probe needs a raw socket, so the binary
# gets CAP_NET_RAW (a rebuild drops it, so this runs every time).
user=${SUDO_USER:-$(id -un)}
if ! ping_sockets_open "$user" && ! getcap "$binary" | grep -q cap_net_raw; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Ping sockets are closed to $user's groups: giving $binary CAP_NET_RAW."
        setcap cap_net_raw+ep "$binary"
    else
        echo "Ping sockets are closed to your groups and $binary has no CAP_NET_RAW:"
        echo "every probe will fail. See Permissions in README.md."
    fi
fi
exec "$binary"
