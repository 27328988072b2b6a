#!/usr/bin/env bash
# Shows that a lab never outlives its run:
#   failure     the command in the lab fails, the lab cannot be built
#               completely, or a process listed in it has ended before it
#               is signalled: the lab is gone afterwards
#   interrupt   the run is hung up on, interrupted or terminated while its
#               command ignores SIGTERM: the run ends within 5 s, the lab and
#               the command are gone, and the status says which signal it was
#   killed      the run is killed outright: the next run sweeps its lab away
#   leftovers   after all lab tests: no namespace of a finished run remains
# Exits 77 (skipped) when not run as root.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
run_lab="$here/run_lab.sh"
lab_script="$here/../../scripts/lab.sh"
# shellcheck source=../support/shell_test.sh
source "$here/../support/shell_test.sh"

reason=$("$lab_script" check) || skip "$reason."

namespaces_of() {
    ip netns list | awk '{print $1}' | grep "^$1-" || true
}

# Waits (at most 10 s) until the run writing to $1 has printed its client
# namespace, and prints that lab's name.
lab_of_run() {
    local output=$1 namespace
    for _ in $(seq 100); do
        namespace=$(grep -m1 -- '-client$' "$output" || true)
        [ -n "$namespace" ] && echo "${namespace%-client}" && return 0
        sleep 0.1
    done
    return 1
}

# start_run SHELL_COMMAND: starts a run in the background with every signal
# at its default, as in a terminal (a script's background job would ignore
# INT); sets run and output. The command prints its namespace (ip netns
# identify), which lab_of_run waits for.
start_run() {
    output=$(mktemp)
    env --default-signal "$run_lab" sh -c "$1" >"$output" &
    run=$!
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

    local taken="ewlab-$$-taken"
    ip netns add "$taken-loop"
    "$lab_script" up "$taken" 2>/dev/null && fail "a lab was built over a name already taken"
    [ -z "$(namespaces_of "$taken")" ] || fail "the half-built lab left: $(namespaces_of "$taken")"
    echo "The half-built lab $taken is gone."
    removal_when_a_listed_process_is_gone
}

# A process listed in a lab namespace may end before it is signalled, as a
# probe that is just ending does; kill then fails for it, and the removal
# must go on. An `ip` that lists, once, beside the namespace's real process,
# one that cannot exist (a PID over the kernel's largest) makes that happen.
runs_in() { [ -n "$(ip netns pids "$1")" ]; }

removal_when_a_listed_process_is_gone() {
    local name="ewlab-$$-listed" stayer
    make_scratch ewteardown
    on_exit '[ ! -e /run/netns/ewlab-$$-listed-client ] || ip netns del "ewlab-$$-listed-client"'
    mkdir "$scratch/bin"
    cat >"$scratch/bin/ip" <<EOF
#!/bin/sh
if [ "\$1 \$2" = "netns pids" ] && [ ! -e "$scratch/listed" ]; then
    : >"$scratch/listed"
    echo $(($(cat /proc/sys/kernel/pid_max) + 1))
fi
exec $(command -v ip) "\$@"
EOF
    chmod 755 "$scratch/bin/ip"
    ip netns add "$name-client"
    ip netns exec "$name-client" sleep 30 &
    stayer=$!
    wait_until 10 "process in $name-client" runs_in "$name-client"
    PATH="$scratch/bin:$PATH" "$lab_script" down "$name" || fail "the removal stopped at the gone process"
    [ -e "$scratch/listed" ] || fail "the gone process was never listed; the check proves nothing"
    ends_within_5_seconds "$stayer" || { kill -KILL "$stayer"; fail "the lab's own process survived"; }
    [ -z "$(namespaces_of "$name")" ] || fail "left behind: $(namespaces_of "$name")"
    echo "The lab whose listed process had already ended is gone, with the one still running."
}

ends_within_5_seconds() {
    local _
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

on_interrupt() {
    local signal output run lab status command
    for signal in HUP INT TERM; do
        start_run 'trap "" TERM; echo "command $$"; ip netns identify; sleep 30'
        lab=$(lab_of_run "$output") || { kill "$run"; fail "the run did not start"; }
        kill -s "$signal" "$run"
        ends_within_5_seconds "$run" || { kill -KILL "$run"; fail "SIG$signal: the run goes on"; }
        wait "$run"
        status=$?
        command=$(sed -n 's/^command //p' "$output")
        rm -f "$output"
        [ -z "$(namespaces_of "$lab")" ] || fail "SIG$signal left behind: $(namespaces_of "$lab")"
        if [ -z "$command" ] || kill -0 "$command" 2>/dev/null; then
            fail "SIG$signal: the command ${command:-that never started} still runs"
        fi
        [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: the run exited $status"
        echo "The lab $lab of the run stopped by SIG$signal is gone, its command too."
    done
}

on_kill() {
    local output run lab
    start_run 'ip netns identify; sleep 30'
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
