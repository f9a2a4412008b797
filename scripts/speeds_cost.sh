#!/usr/bin/env bash
# Cost of the speed distributions on the maximal frame (30000 orbits x 333 bodies = 9990000
# pairs): pairtrack with and without --speed-histogram (with --bodies and --frames both times,
# so that the per-body rows are written too), run alternately, each timed with /usr/bin/time;
# prints the median wall times and their ratio, and checks that the report is the same.
#
# Usage: scripts/speeds_cost.sh [build directory] [repetitions, default 3] [orbits] [bodies]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
reps="${2:-3}"
orbits="${3:-30000}"
bodies="${4:-333}"
source "$root/scripts/max_frame_cost.sh"
max_frame_setup "$orbits" "$bodies" >/dev/null

wall() {  # wall seconds of one run with the given options; the report goes to $1
  local report="$1"
  shift
  (cd "$work" && /usr/bin/time -f '%e' "$build/pairtrack" --quiet "$@" < max_frame.in \
     > "$report" 2> time.txt)
  tail -n 1 "$work/time.txt"
}
plain=() speeds=()
for ((i = 0; i < reps; ++i)); do
  plain+=("$(wall plain.txt --bodies bodies.csv --frames frames.csv)")
  speeds+=("$(wall speeds.txt --bodies bodies.csv --frames frames.csv --speed-histogram speeds.csv)")
done
cmp -s "$work/plain.txt" "$work/speeds.txt" || { echo "the report differs" >&2; exit 1; }
p="$(median "${plain[@]}")"
s="$(median "${speeds[@]}")"
echo "frame of ${orbits} x ${bodies} pairs, $(nproc) cores, $reps runs each: without speed" \
     "histograms ${p} s, with ${s} s ($(wc -l < "$work/speeds.csv") rows)"
awk -v p="$p" -v s="$s" 'BEGIN { printf "cost of the speed histograms: %+.1f %%\n", (s / p - 1) * 100 }'
