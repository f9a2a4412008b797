#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a bounded time against its corpus in fuzz/corpus/<target>/, then minimises the corpus
# back into the repository. Usage:
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Runs at most two fuzzers at once, at the lowest priority (nice 19). A finding stops its
# fuzzer and leaves the input as <build>/artifacts/<target>-crash-* (or leak-, timeout-, oom-);
# the script then exits with status 1. The build is the CMake preset fuzz (build-fuzz/).
# Environment: PAIRTRACK_FUZZ_JOBS (fuzzers at once, default 2).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_parameters fuzz_catalog fuzz_history_i2 fuzz_history_f4
                                     fuzz_history_f8 fuzz_fixed_format)
build="$root/build-fuzz"  # the fuzz preset's binaryDir
jobs="${PAIRTRACK_FUZZ_JOBS:-2}"

command -v clang++ >/dev/null 2>&1 || "$root/tools/setup.sh" clang
[ -f /usr/include/omp.h ] || [ -n "$(find /usr/lib/llvm-*/lib/clang -name omp.h 2>/dev/null)" ] ||
  "$root/tools/setup.sh" libomp-dev
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  "$root/tools/setup.sh" libclang-rt-dev
"$root/tools/setup.sh"

(cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j2 --target "${targets[@]}")

mkdir -p "$build/artifacts"
# The parameter and catalogue targets read text: a dictionary of its tokens helps them.
dict_for() {
  case "$1" in fuzz_parameters|fuzz_catalog) echo "-dict=$root/fuzz/text.dict" ;; esac
}

fuzz_one() {
  local t="$1" corpus="$root/fuzz/corpus/$1" work="$build/work/$1" log="$build/$1.log"
  mkdir -p "$corpus" "$work"
  cp -n "$corpus"/* "$work"/ 2>/dev/null || true
  local rc=0
  # The first directory receives new inputs; the repository corpus is only read.
  OMP_NUM_THREADS=1 nice -n 19 "$build/fuzz/$t" $(dict_for "$t") -max_total_time="$seconds" \
    -timeout=20 -rss_limit_mb=2560 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$t-" "$work" "$corpus" >"$log" 2>&1 || rc=$?
  # Minimise: the smallest set of inputs that keeps the coverage, back into the repository.
  local minimal="$build/minimal/$t"
  rm -rf "$minimal" && mkdir -p "$minimal"
  if OMP_NUM_THREADS=1 nice -n 19 "$build/fuzz/$t" -merge=1 -timeout=20 "$minimal" "$corpus" \
      "$work" >>"$log" 2>&1; then
    rm -f "$corpus"/* && cp "$minimal"/* "$corpus"/
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  echo "$t: ${seconds}s, ${runs:-?} runs, corpus $(ls "$corpus" | wc -l) files, exit $rc"
  return "$rc"
}

status=0
pids=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || status=1; done
  fuzz_one "$t" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || status=1; done
echo "corpus size: $(du -sk "$root/fuzz/corpus" | cut -f1) KiB"
ls "$build/artifacts" 2>/dev/null | sed 's/^/finding: /'
exit "$status"
