#!/usr/bin/env bash
# Builds every executable (pairtrack, pairtrack-history, and pairtrack-mpi
# where MPI was found) and the Python package (build/python: put it on PYTHONPATH for
# /usr/bin/python3; where pybind11 was found) and runs pairtrack on the bundled example
# (examples/example.in): 300 main-belt orbits against six frames of 40 evolving
# bodies. The report goes to standard output; the run's files are left in
# build/example/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/setup.sh"
if grep -qs '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles' "$root/build/CMakeCache.txt"; then
  rm -rf "$root/build/CMakeCache.txt" "$root/build/CMakeFiles"  # Make's folder, now Ninja's
fi
(cd "$root" && cmake --preset release >/dev/null)
# The executables and the Python module only: the default target would build every test and
# benchmark too.
targets=(pairtrack pairtrack-history)
available="$(cmake --build "$root/build" --target help 2>/dev/null || true)"
for optional in pairtrack-mpi pairtrack_python; do
  if grep -w -- "$optional" <<<"$available" >/dev/null; then targets+=("$optional"); fi
done
cmake --build "$root/build" --target "${targets[@]}" -j"$(nproc)" >/dev/null
run="$root/build/example"
mkdir -p "$run"
cp "$root"/examples/mainbelt.cat "$root"/examples/history_*.bin "$root"/examples/example.in "$run/"
cd "$run"
status=0
"$root/build/pairtrack" < example.in || status=$?
echo "# exit status $status; pair file: $run/hitrate_pairtrack_q.tmp ($(wc -l < hitrate_pairtrack_q.tmp) lines)"
exit $status
