#!/usr/bin/env bash
# Runs the window as an unprivileged user in a network namespace of its own
# with ping sockets closed, so every probe goes through the helper, which
# alone is given CAP_NET_RAW. Checks the capability sets of both processes,
# and that code injected through the environment (a Qt plugin for the window,
# LD_PRELOAD for the helper) gains no capability.
#
#   least_privilege_test.sh WINDOW HELPER CAP_REPORT_PLUGIN
set -euo pipefail
window=$1 helper=$2 plugin=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../window/session_checks.sh
source "$here/../window/session_checks.sh"
skip_unless_session "needs root to give the helper its capability and make a namespace"

make_scratch ewpriv

# Copies, so the build tree never carries a capability; the helper beside
# the window is where the window looks for it.
install -m 755 "$window" "$scratch/echowatch"
install -m 755 "$helper" "$scratch/echowatch-probe"
install -m 755 "$helper" "$scratch/echowatch-probe-plain"
setcap cap_net_raw+ep "$scratch/echowatch-probe"
mkdir -p "$scratch/plugins/generic" "$scratch/home" "$scratch/run" "$scratch/driver"
# What nobody runs is copied too: the checkout may be closed to other users
# (a 0700 home directory, a mktemp -d folder).
install -m 644 "$here/least_privilege.py" "$here/../window/window_session.py" "$scratch/driver/"
install -m 644 "$plugin" "$scratch/plugins/generic/"
plugin="$scratch/plugins/generic/$(basename "$plugin")"
chmod 755 "$scratch"
chown "$NOBODY:$NOBODY" "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
report="$scratch/home/capabilities"

make_namespace "ewpriv-$$" "1 0"

as_nobody_here() {
    as_nobody env -i PATH=/usr/bin:/bin HOME="$scratch/home" \
        XDG_RUNTIME_DIR="$scratch/run" ECHOWATCH_CAP_REPORT="$report" \
        ASAN_OPTIONS=verify_asan_link_order=0 "$@"
}

as_nobody_here QT_PLUGIN_PATH="$scratch/plugins" QT_QPA_GENERIC_PLUGINS=capreport \
    timeout --kill-after=10 120 dbus-run-session -- \
    /usr/bin/python3 "$scratch/driver/least_privilege.py" "$scratch/echowatch"

# The plugin ran inside the window, and held nothing there.
grep -A5 -P '^Name:\techowatch$' "$report" | grep -P '^CapEff:\t0{16}$' >/dev/null \
    || { echo "the plugin did not report from inside the window:"; cat "$report"; exit 1; }
if grep -P '^Cap(Eff|Prm|Amb):\t(?!0{16})' "$report"; then
    echo "code loaded through the environment held a capability"
    exit 1
fi

# LD_PRELOAD reaches a plain copy of the helper, but not the one that holds
# the capability: the loader ignores it there.
: >"$report"
as_nobody_here LD_PRELOAD="$plugin" "$scratch/echowatch-probe-plain" </dev/null || true
grep -qP '^Name:\techowatch-probe' "$report" \
    || fail "LD_PRELOAD did not reach even the plain helper"
: >"$report"
as_nobody_here LD_PRELOAD="$plugin" "$scratch/echowatch-probe" </dev/null || true
if [ -s "$report" ]; then
    echo "LD_PRELOAD reached the helper that holds CAP_NET_RAW:"
    cat "$report"
    exit 1
fi
echo "least privilege holds: window and helper without capabilities while they serve"
