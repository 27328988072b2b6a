#!/usr/bin/env bash
# Proves EchoWatch on another Debian release, from nothing: in a fresh root
# of RELEASE (scripts/release-root.sh: debootstrap from the machine's own
# package source, removed however this ends), it
#   1. runs the README's test command, fuzzing left out, as root: after the
#      packages, its build and tests run with loopback alone; every test
#      must pass and none may be skipped;
#   2. installs this machine's own package (an earlier release's), whose
#      window probes 127.0.0.1 as nobody, then upgrades it to the package
#      built there, whose helper alone holds cap_net_raw and whose window
#      probes the same way, and purges it, leaving nothing
#      (tests/package/package_test.sh --upgrade-from).
# Nothing is kept from one run to the next: no cached root, no downloads.
#
#   scripts/release-check.sh RELEASE      for example: trixie
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD
readonly SOURCE=/usr/src/echowatch

step() { echo "== release check of ${release}: $*"; }

in_root() {
    chroot "$ROOT" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

# Inside the root's namespace (ROOT names it), on the host's side of it.
in_release() {
    release=$1 older=$2
    local older_there
    older_there=/var/tmp/$(basename "$older")
    # shellcheck source=/dev/null
    step "$(. "$ROOT/etc/os-release" && echo "$PRETTY_NAME"), made in $ROOT"
    # The tree as checked out (tracked and new files, what .gitignore leaves
    # out left out), readable by everyone there whatever its mode here.
    mkdir -p "$ROOT$SOURCE"
    git ls-files -z --cached --others --exclude-standard |
        tar -c --null --ignore-failed-read -T - | tar -x --no-same-owner -C "$ROOT$SOURCE"
    chmod -R a+rX,go-w "$ROOT$SOURCE"
    cp "$older" "$ROOT$older_there"

    step "FUZZ_SECONDS=0 scripts/test.sh"
    in_root sh -c 'cd "$1" && FUZZ_SECONDS=0 scripts/test.sh' sh "$SOURCE" 2>&1 | tee "$ROOT/var/tmp/test.log"
    if grep -q '^The following tests did not run:' "$ROOT/var/tmp/test.log"; then
        echo "FAILED: tests were skipped in the $release root" >&2
        exit 1
    fi

    step "the older package, upgraded to this release's, installed, probed and purged"
    in_root "$SOURCE/tests/package/package_test.sh" --upgrade-from "$older_there"
    for deb in "$ROOT$older_there" "$ROOT$SOURCE"/build/package/echowatch_*.deb; do
        echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends);" \
            "Recommends: $(dpkg-deb -f "$deb" Recommends)"
    done
    step "passed"
}

if [ "${1:-}" = --in-release ]; then
    shift
    in_release "$@"
    exit
fi
if [ $# -ne 1 ] || [[ $1 == -* ]]; then
    echo "usage: $0 RELEASE   (a Debian release's code name, for example trixie)" >&2
    exit 2
fi
release=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "The release check makes a Debian root and installs packages in it: run it as root." >&2
    exit 1
fi
source scripts/packages.sh
install_missing debootstrap "${BUILD_PACKAGES[@]}" dpkg-dev file git

step "this machine's own package, to upgrade from"
older=$(scripts/package.sh build/release-check | tail -n 1)
scripts/release-root.sh "$release" "$here/scripts/release-check.sh" --in-release "$release" "$older"
