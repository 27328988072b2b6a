#!/usr/bin/env bash
# Three vantage points watch the same two lab hosts with --headless, and one
# real Prometheus scrapes the three (vantage_lab.py drives it): namespaces of
# its own, joined by a router, nothing in the machine's own namespace.
#
#   vp1 192.0.2.18/28, vp2 192.0.2.34/28, vp3 192.0.2.50/28 -- router
#   router -- 198.51.100.2 host1, 198.51.100.18 host2
#   router -- 203.0.113.2 prometheus
#
# vp1 and vp2 probe through ping sockets, vp3 through the probe helper (its
# ping sockets stay closed). Skips (77) without root or without Prometheus.
set -euo pipefail
binary=$1
rules=$2
dashboard=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../support/shell_test.sh
source "$here/../support/shell_test.sh"
[ "$(id -u)" -eq 0 ] || skip "the vantage lab makes network namespaces, which needs root"
need_tools ip nft prometheus promtool

lab="ewvp-$$"
roles=(router host1 host2 vp1 vp2 vp3 prom)
scratch=$(mktemp -d /tmp/echowatch-vantage-lab.XXXXXX)
teardown() {
    local role pids
    for role in "${roles[@]}"; do
        [ -e "/run/netns/$lab-$role" ] || continue
        mapfile -t pids < <(ip netns pids "$lab-$role" 2>/dev/null)
        [ ${#pids[@]} -eq 0 ] || kill -KILL "${pids[@]}" 2>/dev/null || true
        ip netns delete "$lab-$role" || true
    done
    rm -rf "$scratch"
}
on_exit teardown

for role in "${roles[@]}"; do
    ip netns add "$lab-$role"
    ip -n "$lab-$role" link set lo up
    ip netns exec "$lab-$role" sysctl -q -w net.ipv4.icmp_ratelimit=0
done
ip netns exec "$lab-router" sysctl -q -w net.ipv4.ip_forward=1
for role in vp1 vp2; do
    ip netns exec "$lab-$role" sysctl -q -w net.ipv4.ping_group_range="0 2147483647"
done

# link ROLE_A DEVICE_A ADDRESS_A ROLE_B DEVICE_B ADDRESS_B
link() {
    ip -n "$lab-$1" link add "$2" type veth peer name "$5" netns "$lab-$4"
    ip -n "$lab-$1" address add "$3" dev "$2"
    ip -n "$lab-$4" address add "$6" dev "$5"
    ip -n "$lab-$1" link set "$2" up
    ip -n "$lab-$4" link set "$5" up
}
link router r1 198.51.100.1/28 host1 h0 198.51.100.2/28
link router r2 198.51.100.17/28 host2 h0 198.51.100.18/28
link router v1 192.0.2.17/28 vp1 v0 192.0.2.18/28
link router v2 192.0.2.33/28 vp2 v0 192.0.2.34/28
link router v3 192.0.2.49/28 vp3 v0 192.0.2.50/28
link router p0 203.0.113.1/28 prom p0 203.0.113.2/28
for gateway in vp1:192.0.2.17 vp2:192.0.2.33 vp3:192.0.2.49; do
    ip -n "$lab-${gateway%%:*}" route add 198.51.100.0/24 via "${gateway#*:}"
    ip -n "$lab-${gateway%%:*}" route add 203.0.113.0/24 via "${gateway#*:}"
done
ip -n "$lab-host1" route add 192.0.2.0/24 via 198.51.100.1
ip -n "$lab-host2" route add 192.0.2.0/24 via 198.51.100.17
ip -n "$lab-prom" route add 192.0.2.0/24 via 203.0.113.1

ip netns exec "$lab-prom" timeout --kill-after=10 400 \
    /usr/bin/python3 "$here/vantage_lab.py" "$binary" "$rules" "$dashboard" "$lab" "$scratch"
