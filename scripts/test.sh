#!/usr/bin/env bash
# Builds everything into build/ and runs every test.
# With CI set, also checks the formatting, builds the Debian package
# (build-package/) and has lintian and the AppStream and desktop-entry
# validators review it, runs the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer (build-asan/), and fuzzes the paging and the
# page layout for 60 s each (build-fuzz/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/deps.sh"
tessary_need_packages "${TESSARY_BUILD_PACKAGES[@]}" "${TESSARY_TEST_PACKAGES[@]}"
if [ -n "${CI:-}" ]; then
    tessary_need_packages "${TESSARY_CI_PACKAGES[@]}"
fi
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc 2>/dev/null || echo 2)"
ran=()
trap 'echo "== stages that ran: ${ran[*]:-none}"' EXIT

if [ -n "${CI:-}" ]; then
    echo "== formatting"
    mapfile -t sources < <(cd "$root" && git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests tools bench fuzz -name '*.cpp' -o -name '*.h')
    (cd "$root" && clang-format --dry-run --Werror "${sources[@]}")
    ran+=("formatting")
fi

echo "== build and test"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j "$jobs"
ran+=("tests")

if [ -n "${CI:-}" ]; then
    echo "== package"
    deb="$("$root/scripts/package.sh" | tail -n 1)"
    # No error and no warning; lintian's full report shows either way.
    lintian --fail-on error,warning "$deb"
    contents="$root/build-package/contents"
    rm -rf "$contents" && dpkg-deb -x "$deb" "$contents"
    appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
    # Hints count as failures too.
    hints="$(desktop-file-validate "$contents"/usr/share/applications/*.desktop)"
    [ -z "$hints" ] || { echo "$hints" >&2; exit 1; }
    ran+=("package")

    echo "== sanitizers"
    cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=ON >/dev/null
    cmake --build "$root/build-asan" -j "$jobs"
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        ctest --test-dir "$root/build-asan" --output-on-failure --no-tests=error -j "$jobs"
    ran+=("sanitizers")

    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTESSARY_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
    for target in fuzz_pagination fuzz_pagelayout; do
        echo "== fuzzing $target for 60 s"
        cmake --build "$root/build-fuzz" --target "$target" -j "$jobs"
        corpus="$root/build-fuzz/corpus-$target"
        rm -rf "$corpus" && cp -r "$root/fuzz/corpus" "$corpus"
        # A crash input goes beside the corpus, never into the checkout.
        "$root/build-fuzz/fuzz/$target" -max_total_time=60 -max_len=65536 -print_final_stats=1 \
            -artifact_prefix="$root/build-fuzz/$target-" "$corpus"
        ran+=("$target")
    done
fi
