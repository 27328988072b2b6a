#!/usr/bin/env bash
# Shows that the release check's root never outlives its run
# (scripts/release-root.sh, with a root of the host's /usr standing in for a
# Debian one):
#   failure     the command in the root fails, or the root cannot be made
#               (an unknown release): its folder is gone, nothing of it is
#               mounted in any namespace, the status says it failed
#   interrupt   the run is hung up on, interrupted or terminated while the
#               command in the root ignores SIGTERM: the run ends within 5 s,
#               the folder, its mounts and the command are gone, and the
#               status says which signal it was
#   killed      the run is killed outright: the next run sweeps its root,
#               and what still ran in it, away
#   leftovers   after all of these: no root of a finished run remains
# Exits 77 (skipped) when not run as root.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
release_root="$here/../../scripts/release-root.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: a release root needs root (mount and PID namespaces, mounts)."
    exit 77
fi

fail() {
    echo "FAILED: $*"
    exit 1
}

# Nothing of the run's folder $1 may be left: not the folder, not a mount
# under it in any process's view, not a process of the command named $2.
gone() {
    local work=$1 marker=${2:-}
    [ ! -e "$work" ] || fail "$work is left"
    ! grep -s -F -l " $work/" /proc/[0-9]*/mountinfo || fail "still mounted under $work"
    [ -z "$marker" ] || ! pgrep -f -- "$marker" || fail "the command $marker still runs"
}

# Waits (at most 10 s) until the run writing to $1 has printed its root, and
# prints the run's folder.
work_of_run() {
    local root
    for _ in $(seq 100); do
        root=$(grep -m1 '^/' "$1" || true)
        [ -n "$root" ] && echo "${root%/root}" && return 0
        sleep 0.1
    done
    return 1
}

# start_run MARKER: a run in the background with every signal at its
# default, as in a terminal, whose command prints the root and waits in it
# ignoring SIGTERM, its shell named MARKER; sets run and output.
start_run() {
    output=$(mktemp)
    env --default-signal "$release_root" host sh -c \
        'echo "$ROOT"; exec chroot "$ROOT" sh -c "trap \"\" TERM; sleep 30" "$0"' "$1" >"$output" &
    run=$!
}

on_failure() {
    local output status work
    output=$("$release_root" host sh -c \
        'mountpoint -q "$ROOT" && chroot "$ROOT" mountpoint -q /proc && echo "$ROOT"; exit 3')
    status=$?
    [ "$status" -eq 3 ] || fail "the run exited $status, not the command's 3"
    [ -n "$output" ] || fail "the root was no mount point, or had no /proc of its own"
    gone "${output%/root}"
    echo "The failed run's root ${output%/root} is gone, with its mounts."

    command -v debootstrap >/dev/null || fail "debootstrap is missing (scripts/test.sh installs it)"
    output=$("$release_root" no-such-release-$$ sh -c 'echo "$ROOT"' 2>&1)
    status=$?
    [ "$status" -ne 0 ] || fail "a root of an unknown release was made: $output"
    work=$(sed -n 's/^release-root: a root of .* in \(.*\)\/root$/\1/p' <<<"$output")
    [ -n "$work" ] || fail "the run never said where it made the root: $output"
    gone "$work"
    echo "A root that could not be made (an unknown release, exit $status) left nothing."
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
    local signal marker work status
    for signal in HUP INT TERM; do
        marker="echowatch-release-test-$$-$signal"
        start_run "$marker"
        work=$(work_of_run "$output") || { kill "$run"; fail "the run did not start"; }
        for _ in $(seq 50); do pgrep -f -- "$marker" >/dev/null && break; sleep 0.1; done
        kill -s "$signal" "$run"
        ends_within_5_seconds "$run" || { kill -KILL "$run"; fail "SIG$signal: the run goes on"; }
        wait "$run"
        status=$?
        rm -f "$output"
        gone "$work" "$marker"
        [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal: the run exited $status"
        echo "The root $work of the run stopped by SIG$signal is gone, its command too."
    done
}

on_kill() {
    local marker="echowatch-release-test-$$-killed" work
    start_run "$marker"
    work=$(work_of_run "$output") || { kill "$run"; fail "the run did not start"; }
    kill -KILL "$run"
    wait "$run" 2>/dev/null
    rm -f "$output"
    if ! [ -d "$work" ] || ! pgrep -f -- "$marker" >/dev/null; then
        fail "nothing was left to sweep; the check proves nothing"
    fi
    "$release_root" sweep
    gone "$work" "$marker"
    echo "The killed run's root $work was swept away, with what still ran in it."
}

leftovers() {
    local stale
    stale=$("$release_root" stale)
    [ -z "$stale" ] && echo "No release root was left behind." && return 0
    "$release_root" sweep
    fail "release roots were left behind: $stale"
}

case ${1:-} in
failure) on_failure ;;
interrupt) on_interrupt ;;
killed) on_kill ;;
leftovers) leftovers ;;
*) fail "usage: $0 failure|interrupt|killed|leftovers" ;;
esac
