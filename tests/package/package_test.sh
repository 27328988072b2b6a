#!/usr/bin/env bash
# Builds the Debian package, has lintian check it, installs it, probes
# 127.0.0.1 through the installed window as an unprivileged user in a
# network namespace whose ping sockets are closed (so only the helper's
# capability can answer), then purges it and checks that nothing of it is
# left. Everything it adds is removed again, also when a step fails.
#
#   tests/package/package_test.sh [--upgrade-from OLDER.deb]
#
# With --upgrade-from, the older package (another release's) is installed
# first and its window probes the same way, then this build's package
# replaces it.
set -euo pipefail
source_dir=$(realpath "$(dirname "$0")/../..")
helper=/usr/libexec/echowatch/echowatch-probe
# shellcheck source=../support/shell_test.sh
source "$source_dir/tests/support/shell_test.sh"
known_to_dpkg() {
    case $(dpkg-query -W -f='${db:Status-Status}' echowatch 2>/dev/null) in
        "" | not-installed) return 1 ;;
    esac
}
older=
if [ "${1:-}" = --upgrade-from ]; then
    older=$(realpath "$2")
fi

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
! known_to_dpkg || skip "echowatch is installed (or its configuration is left)"
need_tools lintian dpkg-shlibdeps desktop-file-validate appstreamcli Xvfb weston dbus-run-session
reason=$("$source_dir/scripts/lab.sh" check) || skip "$reason"

make_scratch echowatch-package
pulled_in=()
uninstall() {
    ! known_to_dpkg || apt-get purge -y -q echowatch || dpkg --purge echowatch || true
    [ ${#pulled_in[@]} -eq 0 ] || apt-get purge -y -q "${pulled_in[@]}" || true
}
on_exit uninstall

# The project has no homepage yet: AppStream 1.0 warns of that (0.16 does
# not), and lintian passes the warning on. That one warning is accepted,
# nothing else.
appstream_validate() {
    local report
    report=$(appstreamcli validate --no-net "$1") && return 0
    echo "$report"
    ! grep -E '^[EW]: ' <<<"$report" | grep -v ': url-homepage-missing$' >/dev/null ||
        fail "appstreamcli validate found more than the missing homepage"
}

"$source_dir/scripts/package.sh" "$scratch" >&2
deb=$(echo "$scratch"/echowatch_*_*.deb)
version=$(dpkg-deb -f "$deb" Version)
# shellcheck source=/dev/null
release=$(. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}")
if [[ $release =~ ^[0-9]+$ ]]; then
    [[ $version == *"~deb${release}u1" ]] || fail "version $version does not name Debian $release"
    [ "$(basename "$deb")" = "echowatch_${version}_$(dpkg --print-architecture).deb" ] ||
        fail "$(basename "$deb") does not carry the version $version"
fi
dpkg-deb -f "$deb" Recommends | grep -w qt6-wayland >/dev/null || fail "the package does not recommend qt6-wayland"
# Tied to no one Qt build: a private Qt interface would pin it to one.
! dpkg-deb -f "$deb" Depends | grep -E -- '-private-abi|libqt6waylandclient' ||
    fail "the package depends on Qt's private interface or its Wayland client library"
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's/^\.//' >"$scratch/contents"
grep -qx "$helper" "$scratch/contents" || fail "the package holds no $helper"
lintian_status=0
lintian --info "$deb" >"$scratch/lintian" || lintian_status=$?
cat "$scratch/lintian"
[ "$lintian_status" -ne 1 ] || fail "lintian could not check the package"
grep -E '^[EW]: ' "$scratch/lintian" >"$scratch/complaints" || true
if [ -s "$scratch/complaints" ]; then
    # The one exception above, as lintian reports it.
    ! grep -Ev ': appstream-metadata-validation-failed( |$)' "$scratch/complaints" ||
        fail "lintian found errors or warnings"
    metainfo=usr/share/metainfo/org.echowatch.EchoWatch.metainfo.xml
    dpkg-deb -x "$deb" "$scratch/unpacked"
    appstream_validate "$scratch/unpacked/$metainfo"
fi

# Directories the package may create, to see after the purge that they went.
while read -r path; do [ -e "$path" ] || echo "$path"; done <"$scratch/contents" >"$scratch/new"
chmod 755 "$scratch"
make_namespace "echowatch-package-$$" "1 0"
home=$scratch/home
mkdir -p "$home/runtime"
cp "$source_dir"/tests/window/{end_to_end.py,window_session.py} "$home/"
cp "$source_dir"/tests/wayland/wayland_end_to_end.py "$home/"
mkdir "$home/wayland"
chown -R "$NOBODY:$NOBODY" "$home"
chmod 700 "$home/runtime"

# install_package PACKAGE: installs it, remembering what it pulled in.
install_package() {
    mapfile -t -O "${#pulled_in[@]}" pulled_in < <(apt-get install -s "$1" |
        awk '/^Inst / && $2 != "echowatch" {print $2}')
    apt-get install -y -q --allow-downgrades "$1"
}

# The helper alone holds a capability, and the installed window, run by
# nobody, has 127.0.0.1 answered through it.
check_installed() {
    [ "$(getcap "$helper")" = "$helper cap_net_raw=ep" ] || fail "$helper: '$(getcap "$helper")'"
    local path
    while read -r path; do
        if [ -f "$path" ] && [ "$path" != "$helper" ] &&
            { [ -n "$(getcap "$path")" ] || [ -u "$path" ] || [ -g "$path" ]; }; then
            fail "$path is privileged"
        fi
    done < <(dpkg -L echowatch)
    as_python end_to_end.py /usr/bin/echowatch
}

# as_python SCRIPT ARGUMENT...: runs a test script from $home as nobody, in
# the namespace, with a D-Bus session of its own and no display but its own.
as_python() {
    as_nobody env -i HOME="$home" XDG_RUNTIME_DIR="$home/runtime" PATH=/usr/bin:/bin \
        timeout --kill-after=10 120 dbus-run-session -- python3 "$home/$1" "${@:2}"
}

if [ -n "$older" ]; then
    install_package "$older"
    check_installed
    echo "the older package $(dpkg-deb -f "$older" Version) installed and probed 127.0.0.1"
fi
install_package "$deb"
[ "$(dpkg-query -W -f='${Version}' echowatch)" = "$version" ] || fail "echowatch $version is not installed"
check_installed
# The installed window on Wayland, in the frame Qt draws there.
as_python wayland_end_to_end.py /usr/bin/echowatch "$home/wayland"
desktop-file-validate /usr/share/applications/org.echowatch.EchoWatch.desktop
appstream_validate /usr/share/metainfo/org.echowatch.EchoWatch.metainfo.xml
for png in /usr/share/icons/hicolor/*/apps/org.echowatch.EchoWatch.png; do
    size=${png#*hicolor/}
    size=${size%%x*}
    file "$png" | grep ", $size x $size," >/dev/null || fail "$png is not $size pixels square"
done

# The options are documented where a user of the package looks, and help
# needs no display. grep reads to the end (no -q): under pipefail a reader
# that leaves early fails a writer still writing, once the text outgrows
# the pipe's buffer.
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb /usr/bin/echowatch --help |
    grep -- '--down-after' >/dev/null || fail "echowatch --help does not list --down-after"
zcat /usr/share/man/man1/echowatch.1.gz | grep -- 'down\\-after' >/dev/null ||
    fail "the manual page does not describe --down-after"

apt-get purge -y -q echowatch
! known_to_dpkg || fail "dpkg still knows echowatch after the purge"
while read -r path; do
    [ ! -e "$path" ] || fail "$path is left after the purge"
done <"$scratch/new"
echo "the package $version installed, probed 127.0.0.1 through its helper, and purged clean"
