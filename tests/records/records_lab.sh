#!/usr/bin/env bash
# Runs records_lab.py (or the lab script given second, as headless_lab.sh
# does) against the shipped binary in a namespace of its own:
# a network with loopback only, and a hosts file and resolver configuration
# of the test's (no name server answers, so no query can leave). Skips (77)
# without root, which the namespaces and the probe's raw socket need, or
# without Prometheus.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
script=${2:-$here/records_lab.py}
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the lab mounts a hosts file in a private namespace, which needs root"
for tool in unshare ip prometheus promtool; do
    command -v "$tool" >/dev/null || skip "$tool is missing (packages util-linux, iproute2, prometheus)"
done
scratch=$(mktemp -d /tmp/echowatch-records-lab.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
printf '127.0.0.1 localhost\n127.0.0.2 router.test\n' >"$scratch/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$scratch/resolv.conf"
# The mounts and the network end with the namespace's last process.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
timeout --kill-after=10 170 unshare --mount --net --propagation private -- sh -c '
    ip link set lo up &&
    mount --bind "$1/hosts" /etc/hosts &&
    mount --bind "$1/resolv.conf" /etc/resolv.conf &&
    exec /usr/bin/python3 "$2" "$3" "$1"' sh "$scratch" "$script" "$binary"
