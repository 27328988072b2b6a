#!/usr/bin/env bash
# The 1,000-host rows: bench_fleet.py in a network namespace of its own
# with loopback alone (ping sockets open to every group there, so that
# echowatch probes through them as a server that opens them would), ended
# with its last process. Root only; prints a skipped row otherwise.
#
#   scripts/bench_fleet.sh BUILD_DIRECTORY [SECONDS [REPLY_MS]]
#
# With REPLY_MS the hosts answer that late (bench_fleet.py says how).
set -euo pipefail
build=$1
seconds=${2:-20}
late=(${3:+"$3"})
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" -ne 0 ] || ! command -v fping >/dev/null; then
    printf '| %s | %s | %s | %s |\n' "1,000 hosts at 1 s (--headless beside fping)" \
        "skipped: needs root for the namespace, and fping" "-" "-"
    exit 0
fi
# shellcheck disable=SC2016 # the inner sh expands its own arguments
timeout --kill-after=10 $((seconds * 2 + 120)) unshare --net -- sh -c '
    ip link set lo up &&
    sysctl -q -w net.ipv4.ping_group_range="0 2147483647" &&
    exec python3 "$@"' sh "$here/bench_fleet.py" "$build/app/echowatch" "$seconds" "${late[@]}"
