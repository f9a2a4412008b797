#!/usr/bin/env bash
# Regenerates the whole validation: builds the tools, runs the kernel on the validation pairs
# at 10, 20, 40, 80 and 640 nodes per axis, the independent Monte Carlo estimate of every pair,
# the literal 3-D check of the Monte Carlo's node averaging, and the main-belt averages; then
# writes the tables (validation/results/), the figures (docs/validation_*.png) and the
# generated blocks of docs/method.md.
# Environment: PAIRTRACK_BUILD (build directory, default build/); VALIDATION_EFFORT scales the
# Monte Carlo effort (default 1: a few minutes on two cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PAIRTRACK_BUILD:-$root/build}"
effort="${VALIDATION_EFFORT:-1}"
out="$build/validation-out"
mkdir -p "$out"
start=$SECONDS

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target mc_pairs kernel_pairs kernel_mainbelt accurate_calibration \
  accurate_ladder speed_pairs mainbelt_speeds >/dev/null
bin="$build/validation"
pairs="$root/validation/pairs.txt"
target=$(/usr/bin/python3 -c "print(int(150000 * $effort))")

"$bin/kernel_pairs" "$pairs" > "$out/kernel.csv"
t0=$SECONDS
"$bin/mc_pairs" "$pairs" --program-constants --batches 32 --target-pairs "$target" --seed 1 \
  > "$out/mc.csv"
mc_seconds=$((SECONDS - t0))
# The node difference drawn like every other angle and pairs counted in 3-D, at the largest
# window of the main run (4 rho), for two pairs.
"$bin/mc_pairs" "$pairs" --program-constants --batches 16 --samples 150000 --seed 2 \
  --draw-nodes --rho-scale 4 --only mb1,nest1 > "$out/direct.csv"
# The main belt: the kernel's message for self-pairs it cannot classify goes to standard
# output among the figures; it is counted, not shown.
"$bin/kernel_mainbelt" "$root/validation/data/mainbelt_d50.cat" 10 "$out/mainbelt_pairs.csv" \
  > "$out/mainbelt_raw.txt"
grep ' = ' "$out/mainbelt_raw.txt" > "$out/mainbelt.txt"
echo "unclassified_self_pairs = $(grep -c 'did not make' "$out/mainbelt_raw.txt" || true)" \
  >> "$out/mainbelt.txt"
"$bin/kernel_mainbelt" "$root/validation/data/mainbelt_d50.cat" 20 | grep ' = ' \
  > "$out/mainbelt20.txt"
# The accurate mode: the regime map and the criterion's calibration table, and the inclination
# ladder against the resolving Monte Carlo (tables in validation/results/, quoted on the method page).
"$bin/accurate_calibration" 30000 11 > "$out/calibration.csv"
/usr/bin/python3 "$root/validation/regime_map.py" "$out/calibration.csv" \
  "$root/docs/accuracy_regime_map.png" > "$root/validation/results/criterion.md"
"$bin/accurate_ladder" 60000 16 > "$out/ladder.csv"
# The speed distributions: the kernel's against the Monte Carlo's, bin by bin, on the validation
# pairs (the identical pair, which the 10 x 10 rule misses, left out), and the main belt's.
"$bin/speed_pairs" "$pairs" --target-pairs "$target" --batches 32 --seed 1 --nodes 10,0,320 \
  --only mb1,mb2,mb3,nest1,nest2,circ1,circ2,ncirc,ecc09,inc0,inc90,retro,hiinc,neo,outer,touch \
  --bins "$out/speed_bins.csv" > "$out/speeds.csv"
"$bin/mainbelt_speeds" "$root/validation/data/mainbelt_d50.cat" > "$out/mainbelt_speeds.csv" \
  2> "$out/mainbelt_speeds.txt"
echo "validation/run.sh: $((SECONDS - start)) s in all, Monte Carlo of the pairs $mc_seconds s (effort $effort, $(nproc) cores)" \
  > "$out/timing.txt"
/usr/bin/python3 "$root/validation/make_report.py" "$out" "$root"
/usr/bin/python3 "$root/validation/speed_report.py" "$out" "$root"
cat "$out/timing.txt"
