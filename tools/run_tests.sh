#!/usr/bin/env bash
# Builds pairtrack and every test and runs the whole test suite with CTest, once per CMake
# preset named (CMakePresets.json), by default
#   release  the plain Release build in build/, then
#   asan     the library and the suite again with AddressSanitizer and UndefinedBehaviorSanitizer
#            in build-asan/ (any report stops the test that caused it).
# Usage: tools/run_tests.sh [preset ...]   (tools/run_tests.sh release: the plain stage only)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(release asan)
"$root/tools/setup.sh"

cd "$root"
for preset in "${presets[@]}"; do
  start=$SECONDS
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset" -j"$(nproc)"
  echo "run_tests: $preset build and suite took $((SECONDS - start)) s"
done
