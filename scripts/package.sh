#!/usr/bin/env bash
# Builds the Debian package echowatch_<version>_<arch>.deb in Release with
# Debian's hardening flags, in build/package, and copies it into the folder
# given (default: build/package). Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file

build=build/package
output=$(realpath -m "${1:-$build}")
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DECHOWATCH_BUILD_TESTS=OFF -DECHOWATCH_SANITIZE=OFF \
    -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"
cmake --build "$build"
rm -f "$build"/echowatch_*.deb
(cd "$build" && cpack -G DEB)
mkdir -p "$output"
debs=("$build"/echowatch_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "cpack made ${debs[*]}, not one package" >&2
    exit 1
fi
deb=${debs[0]}
[ "$(realpath "$(dirname "$deb")")" = "$output" ] || cp "$deb" "$output/"
echo "$output/$(basename "$deb")"
