# shellcheck shell=bash
# Sourced by the shell tests: clean-up however a test ends (on_exit, which
# adds to what is to be undone), skipping and failing, a scratch folder and
# a network namespace of the test's own, running as nobody, and waiting for
# a condition rather than for a time.

# shellcheck source=../../scripts/on_exit.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/on_exit.sh"

readonly NOBODY=65534
# As nobody, in no group, with nothing to inherit. An array, not a function,
# so that "$!" after `"${AS_NOBODY[@]}" PROGRAM &` names the program itself.
readonly AS_NOBODY=(setpriv --reuid="$NOBODY" --regid="$NOBODY" --clear-groups --inh-caps=-all)

skip() {
    echo "SKIPPED: $*"
    exit 77
}

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# need_tools TOOL...: skips, naming the first missing one.
need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is missing (scripts/packages.sh lists its package)"
    done
}

# make_scratch NAME: sets scratch to a new folder /tmp/NAME.XXXXXX, removed
# at exit.
make_scratch() {
    # shellcheck disable=SC2034 # for the script that sources this
    scratch=$(mktemp -d "/tmp/$1.XXXXXX")
    on_exit 'rm -rf "$scratch"'
}

# make_namespace NAME PING_GROUPS: sets namespace to a new network namespace
# NAME with loopback alone and ping sockets open to PING_GROUPS ("1 0":
# none), removed at exit.
make_namespace() {
    namespace=$1
    ip netns add "$namespace"
    on_exit 'ip netns del "$namespace"'
    ip -n "$namespace" link set lo up
    ip netns exec "$namespace" sysctl -q -w net.ipv4.ping_group_range="$2"
}

# as_nobody COMMAND...: COMMAND as nobody, in $namespace where one is set.
as_nobody() {
    local enter=()
    [ -z "${namespace:-}" ] || enter=(ip netns exec "$namespace")
    "${enter[@]}" "${AS_NOBODY[@]}" "$@"
}

# wait_until SECONDS WHAT COMMAND...: polls COMMAND until it succeeds, and
# fails naming WHAT if it has not within SECONDS.
wait_until() {
    local deadline=$((SECONDS + $1)) seconds=$1 what=$2
    shift 2
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no $what within $seconds s"
        sleep 0.05
    done
}
