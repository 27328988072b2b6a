#!/usr/bin/env bash
# A fresh Debian root of one release for a command to work in, removed
# however the command ends.
#
#   scripts/release-root.sh RELEASE COMMAND [ARGUMENTS...]
#   scripts/release-root.sh sweep     remove the roots of runs that are gone
#   scripts/release-root.sh stale     list them
#
# The root is made with debootstrap from the package source the machine's
# own apt uses, in /var/tmp/echowatch-release-<pid of the run>-XXXXXX/root.
# It gets its own /proc, /sys, /dev (a few device nodes, its own pty and
# shared memory) and /run, and is bound onto itself, so that its / is a
# mount point as `ip netns exec` needs. All of that lives in a mount and PID
# namespace of the run's own: COMMAND runs there (outside the root, with
# ROOT naming it; `chroot "$ROOT" ...` enters it), and when the run ends,
# for whatever reason, the namespace's every process is killed and its
# mounts vanish with it; then the folder is removed. A run killed outright
# leaves the folder and, until the sweep, the namespace: every run sweeps
# those of runs that are gone first.
#
# RELEASE "host" makes no Debian root but one of the host's /usr bound
# read-only (seconds instead of minutes: the teardown tests use it).
# Exits with COMMAND's status; root only. What this says goes to stderr.
set -uo pipefail
scripts="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=on_exit.sh
source "$scripts/on_exit.sh"
readonly PREFIX=/var/tmp/echowatch-release

say() { echo "release-root: $*" >&2; }

# Whether anything is mounted under the folder, in any mount namespace.
mounted_under() {
    grep -qs -F " $1/" /proc/[0-9]*/mountinfo
}

# Ends a run's namespace (through its unshare, whose children die with it)
# and removes its folder. Nothing is removed while anything is still
# mounted under it: a bind mount would take rm into what it shows.
remove_work() {
    local work=$1 pid _
    pid=$(cat "$work/unshare.pid" 2>/dev/null)
    # Only a positive number that is still this run's unshare is signalled.
    if [[ $pid =~ ^[1-9][0-9]*$ ]] && grep -qsF -- "$work" "/proc/$pid/cmdline"; then
        kill -KILL "$pid" 2>/dev/null
        for _ in $(seq 100); do
            [ -e "/proc/$pid" ] || break
            wait "$pid" 2>/dev/null
            sleep 0.1
        done
    fi
    for _ in $(seq 100); do
        mounted_under "$work" || break
        sleep 0.1
    done
    if mounted_under "$work"; then
        say "still mounted under $work; left in place"
        return 1
    fi
    rm -rf --one-file-system "$work"
}

stale() {
    local work owner
    for work in "$PREFIX"-*; do
        [ -d "$work" ] || continue
        owner=${work#"$PREFIX"-}
        owner=${owner%%-*}
        [[ $owner =~ ^[0-9]+$ ]] && kill -0 "$owner" 2>/dev/null && continue
        echo "$work"
    done
}

sweep() {
    local work status=0
    while read -r work; do
        say "removing $work, left behind by a run that is gone"
        remove_work "$work" || status=1
    done < <(stale)
    return "$status"
}

# The Debian archive the machine's apt uses (not its security archive).
package_source() {
    apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 'Label: Debian' |
        head -n 1
}

make_debian_root() {
    local release=$1 root=$2 source
    source=$(package_source)
    [ -n "$source" ] || { say "apt has no Debian archive among its sources"; return 1; }
    say "debootstrap $release from $source"
    debootstrap --variant=minbase "$release" "$root" "$source" >"$root.debootstrap.log" 2>&1 ||
        { tail -n 20 "$root.debootstrap.log" >&2; return 1; }
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    # Packages installed in the root start no services.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}

make_host_root() {
    local root=$1 directory
    mkdir -p "$root"/{usr,etc,tmp,proc,sys,dev,run}
    chmod 1777 "$root/tmp"
    for directory in bin sbin lib lib64; do
        [ -e "/$directory" ] && ln -s "usr/$directory" "$root/$directory"
    done
    mount --bind /usr "$root/usr"
    mount -o remount,bind,ro "$root/usr"
}

# In the run's own namespaces: its mounts are private and end with it.
mount_root() {
    local root=$1 node
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount -t tmpfs -o mode=755,nosuid tmpfs "$root/dev"
    for node in null zero full random urandom tty; do
        touch "$root/dev/$node"
        mount --bind "/dev/$node" "$root/dev/$node"
    done
    mkdir "$root/dev/pts" "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$root/dev/pts"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    ln -s /proc/self/fd/0 "$root/dev/stdin"
    ln -s /proc/self/fd/1 "$root/dev/stdout"
    ln -s /proc/self/fd/2 "$root/dev/stderr"
    mount -t tmpfs -o mode=755,nosuid,nodev tmpfs "$root/run"
}

# PID 1 of the run's namespace.
inside() {
    set -e
    local work=$1 release=$2
    shift 2
    local root=$work/root
    say "a root of $release in $root"
    mkdir "$root"
    mount --bind "$root" "$root"
    if [ "$release" = host ]; then
        make_host_root "$root"
    else
        make_debian_root "$release" "$root"
    fi
    mount_root "$root"
    set +e
    ROOT=$root "$@"
}

run() {
    local release=$1
    shift
    sweep
    work=$(mktemp -d "$PREFIX-$$-XXXXXX") || exit 1
    chmod 755 "$work"
    on_exit 'remove_work "$work"'
    unshare --mount --propagation private --pid --fork --kill-child -- \
        "$0" --inside "$work" "$release" "$@" &
    echo "$!" >"$work/unshare.pid"
    # In the background, so that a signal to this script is handled at once.
    wait "$!"
}

[ "$(id -u)" -eq 0 ] || { say "a Debian root needs root"; exit 1; }
case ${1:-} in
--inside) shift && inside "$@" ;;
sweep) sweep ;;
stale) stale ;;
"" | -*)
    echo "usage: $0 RELEASE COMMAND [ARGUMENTS...] | sweep | stale" >&2
    exit 2
    ;;
*)
    [ $# -ge 2 ] || { echo "usage: $0 RELEASE COMMAND [ARGUMENTS...]" >&2; exit 2; }
    run "$@"
    ;;
esac
