#!/usr/bin/env bash
# Builds the Debian package from a clean build folder of its own
# (build-package/) and prints the .deb's path as its last line.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/deps.sh"
tessary_need_packages "${TESSARY_BUILD_PACKAGES[@]}" "${TESSARY_PACKAGE_PACKAGES[@]}"
build="$root/build-package"
rm -rf "$build"
# Debian's build flags, hardening included, as a Debian build would set them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
(cd "$build" && cpack -G DEB >&2)
deb=("$build"/tessary_*.deb)
[ -f "${deb[0]}" ] || { echo "error: cpack made no .deb in $build" >&2; exit 1; }
echo "${deb[0]}"
