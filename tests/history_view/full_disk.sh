#!/usr/bin/env bash
# Runs the file-replacing test on a 64 KiB tmpfs that only a private mount
# namespace sees, so that nothing outside it notices the mount. Skips (77)
# without root, which both need.
set -euo pipefail
test_binary=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the full-disk test mounts a tmpfs in a private mount namespace, which needs root"
    exit 77
fi
command -v unshare >/dev/null || { echo "SKIPPED: unshare is missing (package util-linux)"; exit 77; }
mount_point=$(mktemp -d /tmp/echowatch-full-disk.XXXXXX)
trap 'rmdir "$mount_point"' EXIT
# The mount lives and dies with the namespace; the folder is removed here.
# shellcheck disable=SC2016 # the inner sh expands its own arguments
unshare --mount --propagation private -- sh -c \
    'mount -t tmpfs -o size=64k echowatch-full-disk "$1" && exec "$2" "$1"' \
    sh "$mount_point" "$test_binary"
