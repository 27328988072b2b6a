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
readonly HOST=198.51.100.2 NOBODY=65534
skip() {
    echo "SKIPPED: $*"
    exit 77
}
for tool in Xvfb dbus-daemon dunst dunstctl nft setpriv; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/packages.sh lists its package)"
done
lab=$(ip netns identify)
lab=${lab%-client}
[[ "$lab" == ewlab-* ]] || skip "not inside a lab's client namespace (run through run_lab.sh)"

scratch=$(mktemp -d /tmp/ewnotify.XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        [ "$pid" -gt 0 ] && kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    ip netns exec "$lab-host" nft delete table inet ewnotify 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
install -m 755 "$1" "$scratch/echowatch"
chown "$NOBODY:$NOBODY" "$scratch"
sysctl -q -w net.ipv4.ping_group_range="$NOBODY $NOBODY"
# Only as a simple command does "$!" name the program itself, not a subshell.
nobody=()
set_nobody() {
    nobody=(setpriv --reuid=$NOBODY --regid=$NOBODY --clear-groups --inh-caps=-all
        env -i HOME="$scratch" XDG_RUNTIME_DIR="$scratch" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin
        DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus" QT_QPA_PLATFORM=xcb)
}

exec 5>"$scratch/display"
# -noreset: see tests/window/window_session.py.
Xvfb -displayfd 5 -nolisten tcp -noreset -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
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
for _ in $(seq 50); do [ -S "$scratch/bus" ] && break; sleep 0.1; done

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

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# watch NAME DOWN_AFTER SILENCE_SECONDS: one run of the window with dunst
# printing what it receives into NAME.received.
watch() {
    local name=$1 window dunst
    "${nobody[@]}" dunst -print >"$scratch/$name.received" 2>"$scratch/$name.dunst" &
    dunst=$!
    pids+=("$dunst")
    # The window asks the bus once, at --notify: dunst must own its name by then.
    local _
    for _ in $(seq 100); do
        "${nobody[@]}" dunstctl is-paused >/dev/null 2>&1 && break
        sleep 0.1
    done
    "${nobody[@]}" "$scratch/echowatch" "$HOST" -i 200 --start --notify --down-after "$2" \
        2>"$scratch/$name.stderr" &
    window=$!
    pids+=("$window")
    sleep 2
    silence
    sleep "$3"
    answer
    sleep 2
    "${nobody[@]}" dunstctl close-all
    sleep 0.5
    "${nobody[@]}" dunstctl history >"$scratch/$name.history"
    kill "$window" "$dunst"
    wait "$window" "$dunst" 2>/dev/null || true
}

field() { grep -o "^	$2: .*" "$scratch/$1.received" | cut -d' ' -f2-; }

# Down after three failures, then back: one bubble, replaced, not stacked.
watch threshold 3 3
echo "dunst received, with --down-after 3 and a 3 s silence:"
sed -n "/^	body:/,/'\$/p; /^	\(appname\|summary\|urgency\|desktop_entry\|id\):/p" \
    "$scratch/threshold.received"
[ "$(field threshold summary | tr '\n' '|')" = "'$HOST is down'|'$HOST is back'|" ] ||
    fail "expected exactly one down and then one up"
[ "$(field threshold urgency | tr '\n' ' ')" = "CRITICAL NORMAL " ] || fail "urgency: down critical, up normal"
[ "$(field threshold id | sort -u | wc -l)" -eq 1 ] || fail "the up did not replace the down"
[ "$(field threshold desktop_entry | sort -u)" = "'org.echowatch.EchoWatch'" ] || fail "desktop entry"
grep -q "3 probes in a row" "$scratch/threshold.received" || fail "down came not after 3 failures"
grep -q "11010   \[ ip req timed out \]" "$scratch/threshold.received" || fail "down lacks its cause"
# The duration as the outage table shows it: "3.5 s", "1 min 5 s".
grep -Eq "Down for [0-9]+(\.[0-9] s| (h|min|s)( [0-9]+ (min|s))*), [0-9]+ probes lost" \
    "$scratch/threshold.received" ||
    fail "up lacks the duration or the probes lost"
[ "$(grep -c '"summary"' "$scratch/threshold.history")" -eq 1 ] ||
    fail "dunst's history holds more than the one replaced bubble"

# A silence shorter than the threshold: nothing at all.
watch below 100 3
[ "$(field below summary | wc -l)" -eq 0 ] || fail "notified though the threshold was not reached"

# No notification service on the bus: one warning, and the probes go on.
"${nobody[@]}" "$scratch/echowatch" "$HOST" -i 200 --start --notify 2>"$scratch/alone.stderr" &
window=$!
pids+=("$window")
sleep 1
before=$(requests)
sleep 2
after=$(requests)
kill -0 "$window" 2>/dev/null || fail "the window did not keep running without a service"
kill "$window"
wait "$window" 2>/dev/null || true
echo "without a service, the window said: $(cat "$scratch/alone.stderr")"
[ "$(grep -c 'no notification service' "$scratch/alone.stderr")" -eq 1 ] ||
    fail "expected one warning on standard error"
[ "$after" -ge $((before + 5)) ] || fail "the window stopped probing ($before, then $after requests)"

[ "$failures" -eq 0 ] && echo "PASS: notifications as received by dunst" || tail -n 5 "$scratch"/*.log "$scratch"/*.dunst "$scratch"/*.stderr
exit $((failures > 0))
