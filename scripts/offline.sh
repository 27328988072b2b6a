#!/usr/bin/env bash
# Runs a command in a network namespace of its own that holds loopback alone:
# whatever in it reaches for the network (a download at configure time, a
# name lookup, a test that strays off 127.0.0.1) finds no route and fails
# there, so the command's status says whether it needs no network. Its
# processes may still make network namespaces of their own (the lab).
#
#   scripts/offline.sh COMMAND [ARGUMENTS...]
#
# Ping sockets are open to the same groups as in the machine's namespace, so
# that tests see the machine's own setting. Root only; exits with COMMAND's
# status, or 1 if the namespace could be made but is not shut off.
set -euo pipefail

say() { echo "offline: $*" >&2; }

# In the namespace: loopback up, and nothing else to send through.
inside() {
    local ping_groups=$1 devices
    shift
    ip link set lo up
    sysctl -q -w net.ipv4.ping_group_range="$ping_groups"
    devices=$(ip -o link show | awk -F': ' '{print $2}' | tr '\n' ' ')
    [ "$devices" = "lo " ] || { say "the namespace holds more than loopback: $devices"; exit 1; }
    # Asking for a route sends nothing; a documentation address has none here.
    if ip route get 192.0.2.1 >/dev/null 2>&1 || ip -6 route get 2001:db8::1 >/dev/null 2>&1; then
        say "the namespace has a route off loopback"
        exit 1
    fi
    say "$* runs with loopback alone"
    exec "$@"
}

if [ "${1:-}" = --inside ]; then
    shift
    inside "$@"
fi
if [ $# -eq 0 ] || [[ $1 == -* ]]; then
    echo "usage: $0 COMMAND [ARGUMENTS...]" >&2
    exit 2
fi
[ "$(id -u)" -eq 0 ] || { say "a network namespace needs root"; exit 1; }
exec unshare --net -- "$0" --inside "$(sysctl -n net.ipv4.ping_group_range)" "$@"
