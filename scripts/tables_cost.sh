#!/usr/bin/env bash
# Cost of the per-body and per-frame tables on the maximal frame (30000 orbits x 333 bodies =
# 9990000 pairs): pairtrack with and without --bodies/--frames, run alternately, each timed
# with /usr/bin/time; prints the median wall times and their ratio. The per-body sums are
# formed from the pair values the frame already holds, so the ratio is the whole cost.
#
# Usage: scripts/tables_cost.sh [build directory] [repetitions, default 3]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
reps="${2:-3}"
source "$root/scripts/max_frame_cost.sh"
max_frame_setup

wall() {  # wall seconds of one run with the given options
  (cd "$work" && /usr/bin/time -f '%e' "$build/pairtrack" "$@" < max_frame.in > report.txt \
     2> time.txt)
  tail -n 1 "$work/time.txt"
}
plain=() tables=()
for ((i = 0; i < reps; ++i)); do
  plain+=("$(wall)")
  tables+=("$(wall --bodies bodies.csv --frames frames.csv)")
done
p="$(median "${plain[@]}")"
t="$(median "${tables[@]}")"
echo "maximal frame, $(nproc) cores, $reps runs each: without tables ${p} s, with --bodies and" \
     "--frames ${t} s ($(wc -l < "$work/bodies.csv") body rows)"
awk -v p="$p" -v t="$t" 'BEGIN { printf "cost of the tables: %+.1f %%\n", (t / p - 1) * 100 }'
