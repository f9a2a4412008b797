#!/usr/bin/env bash
# Cost of the speed distributions on the maximal frame (30000 orbits x 333 bodies = 9990000
# pairs): pairtrack with and without --speed-histogram (with --bodies and --frames both times,
# so that the per-body rows are written too), in rounds of one run each, each timed with
# /usr/bin/time; prints the median wall times and the median and range of the rounds' ratios,
# and checks that the report is the same.
#
# By default the two runs of a round follow each other on all cores, in an order swapped every
# round. With --side-by-side they run at the same time on one thread each, on cores 0 and 1,
# swapped every round: on a shared virtual machine whose speed drifts by tens of per cent from
# minute to minute, both then see the same drift, and the rounds' ratios stay within a few
# per cent of one another where runs one after the other spread over tens.
#
# Usage: scripts/speeds_cost.sh [--side-by-side] [build directory] [rounds, default 3] [orbits]
#        [bodies]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
side=0
if [ "${1:-}" = "--side-by-side" ]; then
  side=1
  shift
  [ "$(nproc)" -ge 2 ] || { echo "--side-by-side needs two cores" >&2; exit 1; }
fi
build="${1:-$root/build}"
reps="${2:-3}"
orbits="${3:-30000}"
bodies="${4:-333}"
source "$root/scripts/max_frame_cost.sh"
max_frame_setup "$orbits" "$bodies" >/dev/null

# Wall seconds of one run into $work/$1.time, its report into $work/$1.txt; then the core to
# run on (or "all") and pairtrack's options.
run() {
  local name="$1" core="$2"
  shift 2
  local pin=() threads=()
  if [ "$core" != all ]; then pin=(taskset -c "$core") threads=(env OMP_NUM_THREADS=1); fi
  (cd "$work" && "${threads[@]}" "${pin[@]}" /usr/bin/time -f '%e' "$build/pairtrack" --quiet \
     "$@" < max_frame.in > "$name.txt" 2> "$name.err"; tail -n 1 "$name.err" > "$name.time")
}
plain_run() { run plain "$1" --bodies plain_bodies.csv --frames plain_frames.csv; }
speeds_run() {
  run speeds "$1" --bodies speeds_bodies.csv --frames speeds_frames.csv --speed-histogram speeds.csv
}
plain=() speeds=() ratios=()
for ((i = 0; i < reps; ++i)); do
  if ((side)); then
    plain_run $((i % 2)) &
    speeds_run $((1 - i % 2))
    wait
  elif ((i % 2 == 0)); then
    plain_run all
    speeds_run all
  else
    speeds_run all
    plain_run all
  fi
  p="$(cat "$work/plain.time")" s="$(cat "$work/speeds.time")"
  plain+=("$p") speeds+=("$s")
  ratios+=("$(awk -v p="$p" -v s="$s" 'BEGIN { printf "%.4f", s / p }')")
done
cmp -s "$work/plain.txt" "$work/speeds.txt" || { echo "the report differs" >&2; exit 1; }
p="$(median "${plain[@]}")"
s="$(median "${speeds[@]}")"
r="$(median "${ratios[@]}")"
lo="$(printf '%s\n' "${ratios[@]}" | sort -g | head -n 1)"
hi="$(printf '%s\n' "${ratios[@]}" | sort -g | tail -n 1)"
how="$(nproc) cores"
((side)) && how="one thread each, side by side"
echo "frame of ${orbits} x ${bodies} pairs, ${how}, $reps rounds: without speed histograms" \
     "${p} s, with ${s} s (medians; $(wc -l < "$work/speeds.csv") rows)"
awk -v r="$r" -v lo="$lo" -v hi="$hi" 'BEGIN {
  printf "cost of the speed histograms: %+.1f %% (median of the rounds; %+.1f %% to %+.1f %%)\n",
         (r - 1) * 100, (lo - 1) * 100, (hi - 1) * 100 }'
