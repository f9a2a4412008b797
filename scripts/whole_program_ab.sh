#!/usr/bin/env bash
# Whole-program A/B benchmark: two builds of pairtrack (a baseline and a
# candidate) on the same maximal frame (30000 orbits x 333 bodies = 9990000
# pairs), run alternately, so that the machine's load touches both alike.
# Prints every wall time, the medians, their ratio, and whether the two
# reports are byte-identical.
#
# Usage: scripts/whole_program_ab.sh <baseline build> <candidate build> [runs]
# Both builds must hold bin pairtrack; the candidate also make_max_frame.
# OMP_NUM_THREADS from the environment applies to both.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 <baseline build> <candidate build> [runs]" >&2
  exit 2
fi
base="$(cd "$1" && pwd)"
cand="$(cd "$2" && pwd)"
runs="${3:-3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$cand/bench/make_max_frame" "$work"

wall() {  # build, label: one timed run, wall seconds on stdout
  local exe="$1/pairtrack" out="$work/report_$2.txt"
  local t0 t1
  t0=$(date +%s.%N)
  (cd "$work" && "$exe" < max_frame.in > "$out")
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

base_times=()
cand_times=()
for ((i = 1; i <= runs; ++i)); do
  base_times+=("$(wall "$base" base)")
  cand_times+=("$(wall "$cand" cand)")
  echo "run $i: baseline ${base_times[-1]} s, candidate ${cand_times[-1]} s"
done
mb=$(printf '%s\n' "${base_times[@]}" | median)
mc=$(printf '%s\n' "${cand_times[@]}" | median)
echo "maximal frame, 9990000 pairs, OMP_NUM_THREADS=${OMP_NUM_THREADS:-unset}, $(nproc) cores"
awk -v b="$mb" -v c="$mc" 'BEGIN { printf "median wall time: baseline %.2f s, candidate %.2f s: %.1f %% less time, %.2fx the speed\n", b, c, 100 * (1 - c / b), b / c }'
if cmp -s "$work/report_base.txt" "$work/report_cand.txt"; then
  echo "reports byte-identical"
else
  echo "reports DIFFER" >&2
  exit 1
fi
