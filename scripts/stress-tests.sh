#!/usr/bin/env bash
# Runs the whole suite N times (default 5) with ctest -j2 while two busy
# loops keep both cores loaded, and prints each run's result. A test that
# passes only on an idle machine fails here.
#
#   scripts/stress-tests.sh [N]      (BUILD=dir to use another build folder)
#
# Builds into build/ first when it is missing. Exit status 0 when every run
# passed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
build="${BUILD:-$root/build}"
case "$runs" in
    '' | *[!0-9]* | 0)
        echo "usage: $0 [N]  (N runs, default 5)" >&2
        exit 2
        ;;
esac
export QT_QPA_PLATFORM=offscreen

if [ ! -f "$build/CTestTestfile.cmake" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 >/dev/null

loops=()
stop_loops() {
    local pid
    for pid in "${loops[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    loops=()
}
trap stop_loops EXIT
trap 'stop_loops; exit 130' INT
trap 'stop_loops; exit 143' TERM

for _ in 1 2; do
    (while :; do :; done) &
    loops+=("$!")
done
echo "== busy loops running: pids ${loops[*]}"

passed=0
log="$(mktemp)"
for run in $(seq 1 "$runs"); do
    start=$(date +%s)
    if ctest --test-dir "$build" -j 2 --no-tests=error --output-on-failure >"$log" 2>&1; then
        passed=$((passed + 1))
        result="passed"
    else
        result="FAILED: $(grep -E '^\s+[0-9]+ - ' "$log" | sed -E 's/^\s+[0-9]+ - //' | tr '\n' ' ')"
        cp "$log" "$build/stress-run-$run.log"
        result+="(log: $build/stress-run-$run.log)"
    fi
    summary="$(grep -E 'tests passed' "$log" || echo 'no summary')"
    echo "run $run of $runs: $result; $summary; $(($(date +%s) - start)) s"
done
rm -f "$log"
echo "== $passed of $runs runs passed"
[ "$passed" -eq "$runs" ]
