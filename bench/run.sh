#!/usr/bin/env bash
# Builds the program and the benchmarks (Release, into build-bench/) and
# prints a table of figures: printing, capture, latency, start-up, idle CPU
# and the port list following adapters. enscript, paps and ghostscript are
# compared against when installed
# (apt-get install enscript paps ghostscript).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/deps.sh"
tessary_need_packages "${TESSARY_BUILD_PACKAGES[@]}"
export QT_QPA_PLATFORM=offscreen
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARY_BENCH=ON >/dev/null
cmake --build "$build" --target tessary-print bench_print bench_capture bench_window bench_startup \
    tessary-capture bench_capture_tool

out="$(mktemp)"
work="$(mktemp -d)"
trap 'rm -rf "$out" "$work"' EXIT
"$build/bench/bench_print" "$build/tessary-print" "$work" >>"$out"
"$build/bench/bench_capture" >>"$out"
# The window watching the system's ports: idle CPU, adapters coming and going.
"$build/bench/bench_window" >>"$out"
# tessary-capture, run as a program
"$build/bench/bench_capture_tool" "$build/tessary-capture" "$work" >>"$out"
for _ in 1 2 3 4 5; do "$build/bench/bench_startup"; done | sort -t: -k2 -n | head -3 | tail -1 >>"$out"

target() {
    case "$1" in
        tessary_2000_seconds) echo "< 0.1" ;;
        enscript_*_ratio_to_ours) echo ">= 2" ;;
        tessary_*_peak_mb) echo "< 64" ;;
        capture_bytes_lost) echo "0" ;;
        capture_peak_over_baseline_per_input) echo "< 3" ;;
        # Print pressed on a quiet line / while the sender still sends.
        latency_quiet_press_ms_worst) echo "<= 20" ;;
        latency_last_byte_ms_worst) echo "<= 520" ;;
        port_appears_in_list_ms_worst | port_leaves_list_ms_worst) echo "<= 2000" ;;
        startup_ms) echo "< 150" ;;
        # tessary-capture
        capture_tool_bytes_lost) echo "0" ;;
        capture_tool_peak_over_baseline_per_input) echo "< 3" ;;
        capture_tool_latency_over_quiet_ms_worst) echo "<= 20" ;;
        idle_capture_tool_*_cpu_percent) echo "< 1" ;;
        idle_*_cpu_percent) echo "< 1" ;;
        *) echo "" ;;
    esac
}

printf '| %-42s | %14s | %8s |\n' figure value target
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..44})" "$(printf -- '-%.0s' {1..16})" "$(printf -- '-%.0s' {1..10})"
while IFS= read -r line; do
    name="${line%%:*}"
    value="${line#*: }"
    printf '| %-42s | %14s | %8s |\n' "$name" "$value" "$(target "$name")"
done <"$out"
