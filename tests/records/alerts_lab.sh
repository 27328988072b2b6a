#!/usr/bin/env bash
# Runs alerts_lab.py against the shipped binary in a network namespace of
# its own with loopback only, where nftables drops a share of the echo
# replies at random. Skips (77) without root, which the namespace and the
# probe's raw socket need, or without nft.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../support/shell_test.sh
source "$here/../support/shell_test.sh"
[ "$(id -u)" -eq 0 ] || skip "the alerts lab makes a network namespace, which needs root"
need_tools unshare ip nft
scratch=$(mktemp -d /tmp/echowatch-alerts-lab.XXXXXX)
on_exit 'rm -rf "$scratch"'
# The table ends with the namespace, and the namespace with its last
# process. 30 of every 100 replies are dropped, never the requests.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
timeout --kill-after=10 170 unshare --net -- sh -c '
    ip link set lo up &&
    nft add table inet echowatch_lab &&
    nft add chain inet echowatch_lab out "{ type filter hook output priority 0; }" &&
    nft add rule inet echowatch_lab out icmp type echo-reply numgen random mod 100 lt 30 counter drop &&
    exec /usr/bin/python3 "$2" "$3" "$1"' sh "$scratch" "$here/alerts_lab.py" "$binary"
