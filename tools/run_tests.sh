#!/usr/bin/env bash
# Builds the manual (docs/, mkdocs --strict), pairtrack and every test, and runs the whole test
# suite with CTest, once per CMake preset named (CMakePresets.json), by default
#   release  the plain Release build in build/, then
#   asan     the library, the Python module and the suite again with AddressSanitizer and
#            UndefinedBehaviorSanitizer in build-asan/ (any report stops the test that caused it),
# and then also the tree's habits (scripts/check_style.sh: formatting and clang-tidy). The style
# check needs only the release build's compile commands, so it runs beside the sanitizer stage,
# whose tests leave a core idle about a third of the time.
# Usage: tools/run_tests.sh [preset ...]   (tools/run_tests.sh release: the plain stage only,
# without the style check)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
presets=("$@")
style=false
if [ ${#presets[@]} -eq 0 ]; then
  presets=(release asan)
  style=true
fi
"$root/tools/setup.sh"
style_log="$(mktemp)"
style_pid=""
trap '[ -z "$style_pid" ] || kill "$style_pid" 2>/dev/null || true; rm -f "$style_log"' EXIT

cd "$root"
# The manual: every page in the nav, every link between pages valid (strict), built under the
# build directory so that the source tree stays clean.
mkdocs build --strict --quiet -f "$root/mkdocs.yml" -d "$root/build/site"
for preset in "${presets[@]}"; do
  start=$SECONDS
  # A build folder that Make built (older checkouts) is configured anew for Ninja.
  dir="$root/build"
  [ "$preset" = release ] || dir="$root/build-$preset"
  if grep -qs '^CMAKE_GENERATOR:INTERNAL=Unix Makefiles' "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset" -j"$(nproc)"
  echo "run_tests: $preset build and suite took $((SECONDS - start)) s"
  if $style && [ "$preset" = release ]; then
    "$root/scripts/check_style.sh" "$root/build" >"$style_log" 2>&1 &
    style_pid=$!
  fi
done
if [ -n "$style_pid" ]; then
  status=0
  wait "$style_pid" || status=$?
  style_pid=""
  cat "$style_log"
  exit "$status"
fi
