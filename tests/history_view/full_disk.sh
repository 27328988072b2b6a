#!/usr/bin/env bash
# Runs the file-replacing test on a 64 KiB tmpfs that only a private mount
# namespace sees, so that nothing outside it notices the mount, and on a
# second one made read-only over an older history.csv (root writes through
# file modes, not through a read-only mount). Skips (77) without root,
# which both need.
set -euo pipefail
test_binary=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the full-disk test mounts a tmpfs in a private mount namespace, which needs root"
    exit 77
fi
command -v unshare >/dev/null || { echo "SKIPPED: unshare is missing (package util-linux)"; exit 77; }
mount_point=$(mktemp -d /tmp/echowatch-full-disk.XXXXXX)
read_only=$(mktemp -d /tmp/echowatch-read-only.XXXXXX)
trap 'rmdir "$mount_point" "$read_only"' EXIT
# The mounts live and die with the namespace; the folders are removed here.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
unshare --mount --propagation private -- sh -c '
    mount -t tmpfs -o size=64k echowatch-full-disk "$1" &&
    mount -t tmpfs -o size=64k echowatch-read-only "$2" &&
    printf "older,history\r\n" >"$2/history.csv" &&
    mount -o remount,ro "$2" &&
    exec "$3" "$1" "$2"' \
    sh "$mount_point" "$read_only" "$test_binary"
