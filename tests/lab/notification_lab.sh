#!/usr/bin/env bash
# The window's notifications as a real notification daemon (dunst) receives
# them, on a D-Bus session and an X display of this test's own, while the
# lab's host answers, is silenced by an nftables drop, and answers again.
# Runs inside a lab's client namespace through run_lab.sh, as root; the
# window, the bus and the daemon run as nobody, the window without any
# capability, probing through a ping socket opened to it in this namespace.
#
#   notification_lab.sh ECHOWATCH
set -euo pipefail
readonly HOST=198.51.100.2
# shellcheck source=../support/shell_test.sh
source "$(dirname "$0")/../support/shell_test.sh"
need_tools Xvfb dbus-daemon dunst dunstctl nft setpriv stdbuf
lab=$(ip netns identify)
lab=${lab%-client}
[[ "$lab" == ewlab-* ]] || skip "not inside a lab's client namespace (run through run_lab.sh)"

make_scratch ewnotify
pids=()
stop_all() {
    local pid
    for pid in "${pids[@]}"; do
        if [ "$pid" -gt 0 ]; then kill "$pid" 2>/dev/null || true; fi
    done
    wait 2>/dev/null || true
}
on_exit stop_all
on_exit 'ip netns exec "$lab-host" nft delete table inet ewnotify 2>/dev/null || true'
install -m 755 "$1" "$scratch/echowatch"
chown "$NOBODY:$NOBODY" "$scratch"
sysctl -q -w net.ipv4.ping_group_range="$NOBODY $NOBODY"
# Only as a simple command does "$!" name the program itself, not a subshell.
nobody=()
set_nobody() {
    nobody=("${AS_NOBODY[@]}" env -i HOME="$scratch" XDG_RUNTIME_DIR="$scratch" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin
        DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus" QT_QPA_PLATFORM=xcb)
}

exec 5>"$scratch/display"
# -noreset: see tests/window/window_session.py.
Xvfb -displayfd 5 -nolisten tcp -noreset -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
wait_until 20 "display from Xvfb" test -s "$scratch/display"
DISPLAY=:$(cat "$scratch/display")
set_nobody

# No service directories: nothing is started on demand, so a bus without
# dunst really has no notification service.
cat >"$scratch/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=$scratch/bus</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*"/><allow receive_sender="*"/>
<allow own="*"/></policy></busconfig>
CONF
"${nobody[@]}" dbus-daemon --config-file="$scratch/bus.conf" --nofork 2>"$scratch/bus.log" &
pids+=($!)
wait_until 20 "socket from the session bus" test -S "$scratch/bus"

# Every echo request the host sees is counted; the silence drops them.
host_nft() { ip netns exec "$lab-host" nft "$@"; }
host_nft add table inet ewnotify
host_nft add chain inet ewnotify input '{ type filter hook input priority -10; }'
host_nft add rule inet ewnotify input icmp type echo-request counter
requests() { host_nft list chain inet ewnotify input | grep -o 'packets [0-9]*' | head -1 | cut -d' ' -f2; }
silence() { host_nft add rule inet ewnotify input icmp type echo-request drop; }
answer() {
    local handle
    handle=$(host_nft -a list chain inet ewnotify input | grep drop | grep -o 'handle [0-9]*' | cut -d' ' -f2)
    host_nft delete rule inet ewnotify input handle "$handle"
}

# Every check runs, so that one run tells all that is wrong.
failures=0
mismatch() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

requests_reach() { [ "$(requests)" -ge "$1" ]; }
# summaries_reach NAME COUNT: dunst has printed COUNT notifications.
summaries_reach() { [ "$(grep -c '^	summary: ' "$scratch/$1.received")" -ge "$2" ]; }
dunst_serves() { "${nobody[@]}" dunstctl is-paused >/dev/null 2>&1; }
history_holds_one() {
    "${nobody[@]}" dunstctl history >"$scratch/$1.history" && grep -q '"summary"' "$scratch/$1.history"
}

# watch NAME DOWN_AFTER SILENT_PROBES EXPECTED: one run of the window whose
# host drops SILENT_PROBES probes, with dunst printing what it receives into
# NAME.received, until it has printed EXPECTED notifications and the window
# has had five probes answered after the silence.
watch() {
    local name=$1 window dunst
    # Line by line, so that each notification can be waited for.
    "${nobody[@]}" stdbuf -oL dunst -print >"$scratch/$name.received" 2>"$scratch/$name.dunst" &
    dunst=$!
    pids+=("$dunst")
    # The window asks the bus once, at --notify: dunst must own its name by then.
    wait_until 20 "notification service from dunst" dunst_serves
    local start silenced answered
    start=$(requests)
    "${nobody[@]}" "$scratch/echowatch" "$HOST" -i 200 --start --notify --down-after "$2" \
        2>"$scratch/$name.stderr" &
    window=$!
    pids+=("$window")
    wait_until 30 "five probes answered" requests_reach $((start + 5))
    silence
    silenced=$(requests)
    wait_until 30 "$3 probes dropped" requests_reach $((silenced + $3))
    answer
    answered=$(requests)
    wait_until 30 "five probes answered after the silence" requests_reach $((answered + 5))
    wait_until 30 "$4 notifications printed by dunst" summaries_reach "$name" "$4"
    if [ "$4" -gt 0 ]; then
        "${nobody[@]}" dunstctl close-all
        wait_until 10 "closed bubble in dunst's history" history_holds_one "$name"
    fi
    kill "$window" "$dunst"
    wait "$window" "$dunst" 2>/dev/null || true
}

field() { grep -o "^	$2: .*" "$scratch/$1.received" | cut -d' ' -f2-; }

# Down after three failures, then back: one bubble, replaced, not stacked.
watch threshold 3 10 2
echo "dunst received, with --down-after 3 and 10 probes dropped:"
sed -n "/^	body:/,/'\$/p; /^	\(appname\|summary\|urgency\|desktop_entry\|id\):/p" \
    "$scratch/threshold.received"
[ "$(field threshold summary | tr '\n' '|')" = "'$HOST is down'|'$HOST is back'|" ] || 
    mismatch "expected exactly one down and then one up"
[ "$(field threshold urgency | tr '\n' ' ')" = "CRITICAL NORMAL " ] || mismatch "urgency: down critical, up normal"
[ "$(field threshold id | sort -u | wc -l)" -eq 1 ] || mismatch "the up did not replace the down"
[ "$(field threshold desktop_entry | sort -u)" = "'org.echowatch.EchoWatch'" ] || mismatch "desktop entry"
grep -q "3 probes in a row" "$scratch/threshold.received" || mismatch "down came not after 3 failures"
grep -q "11010   \[ ip req timed out \]" "$scratch/threshold.received" || mismatch "down lacks its cause"
grep -Eq "Down for [0-9]+ s, [0-9]+ probes lost" "$scratch/threshold.received" || 
    mismatch "up lacks the duration or the probes lost"
[ "$(grep -c '"summary"' "$scratch/threshold.history")" -eq 1 ] || 
    mismatch "dunst's history holds more than the one replaced bubble"

# A silence shorter than the threshold: nothing at all.
watch below 100 15 0
[ "$(field below summary | wc -l)" -eq 0 ] || mismatch "notified though the threshold was not reached"

# No notification service on the bus: one warning, and the probes go on.
warned() { grep -q 'no notification service' "$scratch/alone.stderr"; }
"${nobody[@]}" "$scratch/echowatch" "$HOST" -i 200 --start --notify 2>"$scratch/alone.stderr" &
window=$!
pids+=("$window")
wait_until 30 "warning that no service answers" warned
before=$(requests)
wait_until 30 "five probes after the warning" requests_reach $((before + 5))
kill -0 "$window" 2>/dev/null || mismatch "the window did not keep running without a service"
kill "$window"
wait "$window" 2>/dev/null || true
echo "without a service, the window said: $(cat "$scratch/alone.stderr")"
[ "$(grep -c 'no notification service' "$scratch/alone.stderr")" -eq 1 ] || 
    mismatch "expected one warning on standard error"

if [ "$failures" -gt 0 ]; then
    tail -n 5 "$scratch"/*.log "$scratch"/*.dunst "$scratch"/*.stderr
    exit 1
fi
echo "PASS: notifications as received by dunst"
