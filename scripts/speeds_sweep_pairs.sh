#!/usr/bin/env bash
# Cost of the speed histograms in the pair sweep on one thread (kernel_bench, BM_SweepSpeeds:
# 3000 x 100 main-belt pairs, the default bins), measured in pairs of runs: without histograms
# on one core and with them on the other at the same time, the cores swapped every round. On a
# shared virtual machine the speed of both cores drifts by tens of per cent from minute to
# minute; two runs side by side see the same drift, so the ratio within a round is steady where
# runs one after the other are not. Prints the median of the rounds' ratios and their range.
#
# Usage: scripts/speeds_sweep_pairs.sh [build directory] [v_esc km/s: 0 or 5] [rounds, default 10]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
vesc="${2:-0}"
rounds="${3:-10}"
bench="$build/bench/kernel_bench"
[ -x "$bench" ] || { echo "no $bench: build the release preset first" >&2; exit 1; }
[ "$(nproc)" -ge 2 ] || { echo "needs two cores" >&2; exit 1; }
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

fastest() {  # core, histograms (0 or 1): the fastest of the benchmark's repetitions, ms
  taskset -c "$1" "$bench" --benchmark_filter="BM_SweepSpeeds/vesc:$vesc/histograms:$2/" \
    2>/dev/null | awk '/^BM_SweepSpeeds/ && $1 !~ /_(mean|median|stddev|cv)$/ {print $2}' |
    sort -g | head -n 1
}
for ((i = 0; i < rounds; ++i)); do
  off_core=$((i % 2)) on_core=$((1 - i % 2))
  fastest "$off_core" 0 > "$out/off" &
  fastest "$on_core" 1 > "$out/on"
  wait
  awk -v off="$(cat "$out/off")" -v on="$(cat "$out/on")" 'BEGIN { print on / off }'
done | sort -g | awk -v vesc="$vesc" '
  { r[NR] = $1 }
  END {
    printf "pair sweep, v_esc = %s km/s, %d rounds: cost of the speed histograms %+.1f %% " \
           "(median; range %+.1f %% to %+.1f %%)\n",
           vesc, NR, (r[int((NR + 1) / 2)] - 1) * 100, (r[1] - 1) * 100, (r[NR] - 1) * 100
  }'
