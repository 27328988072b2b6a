#!/usr/bin/env bash
# The headless prober's units as the package installs them, checked in a
# scratch root of their own (the built programs where the units name them,
# the system's targets beside them): systemd-analyze verify says nothing,
# and systemd-analyze security rates each unit "OK" or better. Nothing is
# installed on this machine. Skips (77) without systemd-analyze.
#
#   service_units_test.sh ECHOWATCH ECHOWATCH_PROBE PACKAGING_DIRECTORY
set -euo pipefail
program=$1
helper=$2
packaging=$3
command -v systemd-analyze >/dev/null || { echo "SKIPPED: no systemd-analyze"; exit 77; }
root=$(mktemp -d /tmp/echowatch-units.XXXXXX)
trap 'rm -rf "$root"' EXIT
units=$root/usr/lib/systemd/system
mkdir -p "$root/usr/bin" "$root/usr/libexec/echowatch" "$root/bin" "$units"
cp "$program" "$root/usr/bin/echowatch"
cp "$helper" "$root/usr/libexec/echowatch/echowatch-probe"
cp /bin/kill "$root/bin/kill"
cp /usr/lib/systemd/system/*.target /usr/lib/systemd/system/*.slice "$units/"
cp "$packaging"/systemd/*.service "$packaging"/systemd/*.socket "$units/"

# The manual is looked up on this machine, not in the root: --man=no.
said=$(systemd-analyze verify --man=no --root="$root" echowatch-headless.service \
    echowatch-probe.socket echowatch-probe@1.service 2>&1) || true
if [ -n "$said" ]; then
    echo "FAILED: systemd-analyze verify:"
    echo "$said"
    exit 1
fi
echo "systemd-analyze verify: clean"

for unit in echowatch-headless.service echowatch-probe@.service; do
    rating=$(systemd-analyze security --offline=true --root="$root" "$units/$unit" 2>&1 |
        sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) \([A-Z]*\).*/\1 \2/p')
    case "$rating" in
    *" SAFE" | *" OK") echo "$unit: exposure $rating" ;;
    *)
        echo "FAILED: $unit rated '$rating', not OK or better"
        exit 1
        ;;
    esac
done
