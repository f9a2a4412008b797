#!/usr/bin/env bash
# Whole-program benchmark: pairtrack on one maximal frame, 30000 main-belt-like
# catalogue orbits against 333 bodies (9990000 pairs), timed with
# /usr/bin/time -v. Prints the frame line, the wall time, pairs per second and
# the peak resident memory, for all cores and, with --one-thread, also for one.
#
# Usage: scripts/whole_program.sh [build directory] [--one-thread]
# (default build directory: build/ at the repository root; the script
# configures and builds pairtrack and make_max_frame there, Release).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
one_thread=0
for arg in "$@"; do
  case "$arg" in
    --one-thread) one_thread=1 ;;
    *) build="$arg" ;;
  esac
done
pairs=9990000

if [ ! -x /usr/bin/time ]; then
  echo "whole_program.sh: /usr/bin/time is needed (Debian package 'time')" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pairtrack make_max_frame -j"$(nproc)" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bench/make_max_frame" "$work"

# One timed run; $1 labels it, OMP_NUM_THREADS comes from the environment.
timed_run() {
  local label="$1"
  (cd "$work" && /usr/bin/time -v "$build/pairtrack" < max_frame.in > report.txt 2> time.txt)
  local frame wall_s rss_kb
  frame="$(grep -E '^ +1\.0000000000 ' "$work/report.txt" || true)"
  if [ -z "$frame" ]; then
    echo "whole_program.sh: no frame line in the report:" >&2
    cat "$work/report.txt" >&2
    exit 1
  fi
  # Elapsed (wall clock) time as [h:]m:ss.ss, converted to seconds.
  wall_s="$(awk -F': ' '/Elapsed \(wall clock\)/ {
      n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s }' \
      "$work/time.txt")"
  rss_kb="$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
  echo "$label"
  echo "  frame line: $frame"
  awk -v w="$wall_s" -v n="$pairs" -v r="$rss_kb" 'BEGIN {
      printf "  wall time %.2f s, %.0f pairs/s, peak memory %.1f MB (%d kB)\n",
             w, n / w, r / 1024, r }'
}

echo "pairtrack on a maximal frame: 30000 orbits x 333 bodies = $pairs pairs ($(nproc) cores)"
timed_run "all cores (OMP_NUM_THREADS=${OMP_NUM_THREADS:-unset})"
if [ "$one_thread" = 1 ]; then
  OMP_NUM_THREADS=1 timed_run "one thread (OMP_NUM_THREADS=1)"
fi
