#!/usr/bin/env bash
# Builds everything into build/ and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/deps.sh"
tessary_need_packages "${TESSARY_BUILD_PACKAGES[@]}" "${TESSARY_TEST_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
ctest --test-dir "$root/build" --output-on-failure
