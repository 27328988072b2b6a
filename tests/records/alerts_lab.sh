#!/usr/bin/env bash
# Runs alerts_lab.py against the shipped binary in a network namespace of
# its own with loopback only, where nftables drops a share of the echo
# replies at random. Skips (77) without root, which the namespace and the
# probe's raw socket need, or without nft.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the alerts lab makes a network namespace, which needs root"
for tool in unshare ip nft; do
    command -v "$tool" >/dev/null || skip "$tool is missing (packages util-linux, iproute2, nftables)"
done
scratch=$(mktemp -d /tmp/echowatch-alerts-lab.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
# The table ends with the namespace, and the namespace with its last
# process. 30 of every 100 replies are dropped, never the requests.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
timeout --kill-after=10 170 unshare --net -- sh -c '
    ip link set lo up &&
    nft add table inet echowatch_lab &&
    nft add chain inet echowatch_lab out "{ type filter hook output priority 0; }" &&
    nft add rule inet echowatch_lab out icmp type echo-reply numgen random mod 100 lt 30 counter drop &&
    exec /usr/bin/python3 "$2" "$3" "$1"' sh "$scratch" "$here/alerts_lab.py" "$binary"
