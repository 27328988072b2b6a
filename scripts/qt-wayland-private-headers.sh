#!/usr/bin/env bash
# Usage: qt-wayland-private-headers.sh DEST
#
# Puts the two private QtWaylandClient headers a window decoration plugin is
# built against (the decoration and its plugin interface) into
# DEST/QtWaylandClient/private/. Debian 13 ships them (qt6-wayland-private-dev);
# Debian 12 ships none, so they are taken from Debian's source package of
# exactly the installed libqt6waylandclient6, fetched and checked by apt from
# the machine's own Debian mirror. Nothing on the system is changed.
set -euo pipefail
dest=$(realpath -m "$1")
headers=(qwaylandabstractdecoration_p.h qwaylanddecorationplugin_p.h)
have_all() {
    local header
    for header in "${headers[@]}"; do
        [ -f "$dest/QtWaylandClient/private/$header" ] || return 1
    done
}
have_all && exit 0

library=libqt6waylandclient6
source_package=$(dpkg-query -W -f '${source:Package}' "$library")
source_version=$(dpkg-query -W -f '${source:Version}' "$library")
binary_version=$(dpkg-query -W -f '${Version}' "$library")
# The Debian mirror that holds the installed version, as apt-cache shows it:
# "     500 http://deb.debian.org/debian bookworm/main amd64 Packages".
read -r uri suite_component < <(apt-cache policy "$library" |
    awk -v version="$binary_version" '
        { listed = $1 == "***" ? $2 : $1 } # "***" marks the installed version
        listed == version { found = 1; next }
        found && $2 ~ /^https?:/ { print $2, $3; exit }') || true
[ -n "${uri:-}" ] || {
    echo "qt-wayland-private-headers: no Debian mirror offers $library $binary_version" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed_by=
[ -f "$keyring" ] && signed_by="[signed-by=$keyring] "
echo "deb-src $signed_by$uri ${suite_component%%/*} ${suite_component#*/}" >"$work/sources.list"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
apt_options=(-q -o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
    -o Dir::State::Status=/var/lib/dpkg/status)
# apt drops root to _apt for downloads, which cannot enter a private
# directory; it needs no sandbox for files it checks against a signed index.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)
echo "Fetching $source_package $source_version's private headers from $uri"
apt-get "${apt_options[@]}" update >"$work/update.log" 2>&1 || {
    cat "$work/update.log" >&2
    exit 1
}
(cd "$work" && apt-get "${apt_options[@]}" source --download-only \
    "$source_package=$source_version" >/dev/null)
# Unpacked with Debian's patches applied, as the library was built.
dpkg-source --no-check -x "$work/${source_package}_${source_version#*:}.dsc" "$work/tree" >/dev/null

mkdir -p "$dest/QtWaylandClient/private"
for header in "${headers[@]}"; do
    cp "$work/tree/src/client/$header" "$dest/QtWaylandClient/private/$header"
done
