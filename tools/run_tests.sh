#!/usr/bin/env bash
# Builds the manual (docs/, mkdocs --strict), pairtrack and every test, and runs the whole test
# suite with CTest; then builds the library and the suite again with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report stops the test that caused it) and runs the suite once
# more.
# Environment: PAIRTRACK_BUILD, PAIRTRACK_ASAN_BUILD (build directories, default build/ and
# build-asan/); PAIRTRACK_SKIP_SANITIZE=1 runs the plain stage only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PAIRTRACK_BUILD:-$root/build}"
asan_build="${PAIRTRACK_ASAN_BUILD:-$root/build-asan}"
"$root/tools/setup.sh"

start=$SECONDS
# The manual: every page in the nav, every link between pages valid (strict), built under the
# build directory so that the source tree stays clean.
mkdocs build --strict --quiet -f "$root/mkdocs.yml" -d "$build/site"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
echo "run_tests: plain build and suite took $((SECONDS - start)) s"
[ "${PAIRTRACK_SKIP_SANITIZE:-0}" = 1 ] && exit 0

# Sanitizer stage: no benchmarks and no pairtrack-mpi (the MPI library's own allocations kept
# until exit read as leaks); the Python module is built instrumented and its tests run in an
# interpreter with the sanitizer runtimes preloaded (tests/CMakeLists.txt); one pair-evaluation
# thread keeps the reports readable and the run time predictable on small machines.
start=$SECONDS
cmake -S "$root" -B "$asan_build" -DCMAKE_BUILD_TYPE=Release -DPAIRTRACK_SANITIZE=ON \
  -DPAIRTRACK_BUILD_BENCH=OFF -DPAIRTRACK_MPI=OFF >/dev/null
cmake --build "$asan_build" -j"$(nproc)"
OMP_NUM_THREADS=1 \
ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$asan_build" --output-on-failure -j"$(nproc)" --timeout 1500
echo "run_tests: sanitizer build and suite took $((SECONDS - start)) s"
