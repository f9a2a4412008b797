#!/usr/bin/env bash
# The tree's habits, checked: every tracked C++ file formatted as .clang-format says
# (clang-format 14, nothing rewritten), and clang-tidy (.clang-tidy) silent on the library, the
# programs and the public headers, run on the release preset's compile_commands.json.
# The path-sensitive static analyser (the clang-analyzer checks) follows every branch through
# every inlined call and takes nearly half of clang-tidy's time (two minutes on two cores); CI
# runs the other checks, and --analyzer adds it (before a release, after work on memory or
# lifetimes).
# Usage: scripts/check_style.sh [--analyzer] [build-dir]   (default build/, configured by the
# release preset; the programs' generated headers must have been built there)
# Exit status 1 when a file is unformatted or clang-tidy reports anything.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
checks="-clang-analyzer-*"
if [ "${1:-}" = "--analyzer" ]; then
  checks=""
  shift
fi
build="${1:-$root/build}"
cd "$root"
jobs="$(nproc)"

start=$SECONDS
format=clang-format-14
command -v "$format" >/dev/null || format=clang-format
git ls-files -z '*.cpp' '*.h' '*.inc' | xargs -0 "$format" --dry-run -Werror
echo "check_style: formatting checked in $((SECONDS - start)) s"

[ -f "$build/compile_commands.json" ] || cmake --preset release >/dev/null
start=$SECONDS
tidy=run-clang-tidy-14
command -v "$tidy" >/dev/null || tidy=run-clang-tidy
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Translation units of src/ and apps/; their headers and include/ through the header filter.
# PAIRTRACK_TIDY_FILES narrows the run to the translation units whose path matches it.
files="${PAIRTRACK_TIDY_FILES:-^$root/(src|apps)/}"
"$tidy" -quiet -j "$jobs" -p "$build" ${checks:+-checks="$checks"} "$files" >"$log" 2>&1 || true
findings="$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E "(warning|error): " | sort -u || true)"
if [ -n "$findings" ]; then
  echo "$findings"
  echo "check_style: clang-tidy findings above (.clang-tidy)" >&2
  exit 1
fi
echo "check_style: clang-tidy clean in $((SECONDS - start)) s${checks:+ (without the analyser)}"
