#!/usr/bin/env bash
# Shows that a lab never outlives its run:
#   failure     the command in the lab fails: the lab is gone afterwards
#   interrupt   the run is terminated mid-command: the lab is gone
#   killed      the run is killed outright: the next run sweeps its lab away
#   leftovers   after all lab tests: no namespace of a finished run remains
# Exits 77 (skipped) when not run as root.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
run_lab="$here/run_lab.sh"
lab_script="$here/../../scripts/lab.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the network lab needs root."
    exit 77
fi

fail() {
    echo "FAILED: $*"
    exit 1
}

namespaces_of() {
    ip netns list | awk '{print $1}' | grep "^$1-" || true
}

# Waits (at most 10 s) until the run writing to $1 has printed its client
# namespace, and prints that lab's name.
lab_of_run() {
    local output=$1 attempt namespace
    for attempt in $(seq 100); do
        namespace=$(grep -m1 -- '-client$' "$output" || true)
        [ -n "$namespace" ] && echo "${namespace%-client}" && return 0
        sleep 0.1
    done
    return 1
}

on_failure() {
    local output
    output=$("$run_lab" sh -c 'ip netns identify; exit 3')
    local status=$?
    [ "$status" -eq 3 ] || fail "the run exited $status, not the command's 3"
    local lab
    lab=$(echo "$output" | grep -- '-client$' | sed 's/-client$//')
    [ -n "$lab" ] || fail "the command did not run in a lab: $output"
    [ -z "$(namespaces_of "$lab")" ] || fail "left behind: $(namespaces_of "$lab")"
    echo "The failed run's lab $lab is gone."
}

on_interrupt() {
    local output run lab
    output=$(mktemp)
    "$run_lab" sh -c 'ip netns identify; sleep 30' >"$output" &
    run=$!
    lab=$(lab_of_run "$output") || { kill "$run"; fail "the run did not start"; }
    kill -TERM "$run"
    wait "$run"
    rm -f "$output"
    [ -z "$(namespaces_of "$lab")" ] || fail "left behind: $(namespaces_of "$lab")"
    echo "The terminated run's lab $lab is gone."
}

on_kill() {
    local output run lab
    output=$(mktemp)
    "$run_lab" sh -c 'ip netns identify; sleep 30' >"$output" &
    run=$!
    lab=$(lab_of_run "$output") || { kill "$run"; fail "the run did not start"; }
    kill -KILL "$run"
    wait "$run" 2>/dev/null
    rm -f "$output"
    [ -n "$(namespaces_of "$lab")" ] || fail "nothing was left to sweep; the check proves nothing"
    "$lab_script" sweep
    [ -z "$(namespaces_of "$lab")" ] || fail "the sweep left: $(namespaces_of "$lab")"
    echo "The killed run's lab $lab was swept away."
}

leftovers() {
    local stale
    stale=$("$lab_script" stale)
    [ -z "$stale" ] && echo "No lab namespace was left behind." && return 0
    "$lab_script" sweep
    fail "lab namespaces were left behind: $stale"
}

case ${1:-} in
failure) on_failure ;;
interrupt) on_interrupt ;;
killed) on_kill ;;
leftovers) leftovers ;;
*) fail "usage: $0 failure|interrupt|killed|leftovers" ;;
esac
