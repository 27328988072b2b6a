#!/usr/bin/env bash
# Installs what is missing, builds, and opens the EchoWatch window.
#
# Run through sudo, root only installs packages and sets file capabilities:
# the build and the window run as the user who called sudo, so nothing in the
# tree ends up belonging to root. The window never holds a capability, not
# even when root runs it; the probe helper gets CAP_NET_RAW where ping
# sockets are closed to that user.
set -euo pipefail
cd "$(dirname "$0")/.."
# getcap, setcap and runuser live in sbin, which a user's PATH may lack.
PATH=$PATH:/usr/sbin:/sbin
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}"

build=build/release
window="$build/app/echowatch"
helper="$build/app/echowatch-probe"
user=$(id -un)
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ]; then
    user=$SUDO_USER
fi

as_user() {
    if [ "$user" = "$(id -un)" ]; then
        "$@"
    else
        runuser -u "$user" -- "$@"
    fi
}

capabilities_of() {
    [ -e "$1" ] && getcap "$1" | awk '{print $NF}'
}

# Whether the kernel lets one of this user's groups open ping sockets.
ping_sockets_open() {
    local low high group
    read -r low high </proc/sys/net/ipv4/ping_group_range
    local groups
    read -r -a groups < <(id -G "$user")
    for group in "${groups[@]}"; do
        [ "$group" -ge "$low" ] && [ "$group" -le "$high" ] && return 0
    done
    return 1
}

# Older runs under sudo built as root: the user gets back what is theirs.
give_build_back() {
    if ! runuser -u "$user" -- test -w .; then
        echo "$user cannot write to $PWD: run this in a clone of their own." >&2
        exit 1
    fi
    [ -d build ] || return 0
    find build -maxdepth 0 ! -user "$user" -execdir chown -h "$user": {} +
    [ ! -d "$build" ] || find "$build" ! -user "$user" -execdir chown -h "$user": {} +
}

# Older runs of this script gave the window CAP_NET_RAW. Root removes it;
# anyone else deletes the file, and the build links it afresh without one.
strip_window() {
    [ -n "$(capabilities_of "$window")" ] || return 0
    if [ "$(id -u)" -eq 0 ]; then
        setcap -r "$window"
    else
        rm -f "$window"
    fi
}

# Where ping sockets are closed, the window probes through the helper, which
# needs CAP_NET_RAW (a rebuild drops it, so this runs every time); where they
# are open, it needs nothing and keeps nothing.
set_helper_capability() {
    [ "$(id -u)" -eq 0 ] && [ -e "$helper" ] || return 0
    if ping_sockets_open; then
        [ -z "$(capabilities_of "$helper")" ] || setcap -r "$helper"
    elif [ "$(capabilities_of "$helper")" != cap_net_raw=ep ]; then
        echo "Ping sockets are closed to $user's groups: giving $helper CAP_NET_RAW."
        setcap cap_net_raw+ep "$helper" || true
    fi
}

# The window starts the helper without a capability of its own, even as
# root (see below), so the helper always needs the file capability.
helper_gets_raw_sockets() {
    [ -e "$helper" ] && [ "$(capabilities_of "$helper")" = cap_net_raw=ep ]
}

if [ "$user" != "$(id -un)" ]; then
    give_build_back
fi
strip_window
as_user cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DECHOWATCH_BUILD_TESTS=OFF
as_user cmake --build "$build"
set_helper_capability
if ! ping_sockets_open && ! helper_gets_raw_sockets; then
    echo "Ping sockets are closed to $user's groups and $helper has no CAP_NET_RAW:"
    echo "every probe will fail. See docs/security.md."
fi

# Root's processes get every capability at exec; the window must hold none.
# With root's privilege turned off for good, it runs as root with no
# capability, and the helper it starts gets CAP_NET_RAW from its file alone.
if [ "$(id -u)" -eq 0 ] && [ "$user" = root ]; then
    exec setpriv --securebits=+noroot,+noroot_locked --inh-caps=-all --ambient-caps=-all \
        "$window"
fi
if [ "$user" = "$(id -un)" ]; then
    exec "$window"
fi
# runuser keeps the display's variables but one: a runtime directory that
# came along from root is no use to the user's window.
runtime_directory="/run/user/$(id -u "$user")"
if [ -d "$runtime_directory" ]; then
    export XDG_RUNTIME_DIR=$runtime_directory
else
    unset XDG_RUNTIME_DIR
fi
exec runuser -u "$user" -- "$window"
