#!/usr/bin/env bash
# Builds the program into build/ and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/deps.sh"
tessary_need_packages "${TESSARY_BUILD_PACKAGES[@]}"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target tessary tessary-print
exec "$root/build/tessary"
