#!/usr/bin/env bash
# The tree's habits, checked: every tracked C++ file formatted as .clang-format says
# (clang-format 14, nothing rewritten), and clang-tidy (.clang-tidy) silent on the library, the
# programs and the public headers, run on the release preset's compile_commands.json.
# Usage: scripts/check_style.sh [build-dir]   (default build/, configured by the release preset)
# Exit status 1 when a file is unformatted or clang-tidy reports anything.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cd "$root"
jobs="$(nproc)"

start=$SECONDS
git ls-files -z '*.cpp' '*.h' '*.inc' | xargs -0 clang-format --dry-run -Werror
echo "check_style: formatting checked in $((SECONDS - start)) s"

[ -f "$build/compile_commands.json" ] || cmake --preset release >/dev/null
start=$SECONDS
tidy=run-clang-tidy-14
command -v "$tidy" >/dev/null || tidy=run-clang-tidy
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Translation units of src/ and apps/; their headers and include/ through the header filter.
"$tidy" -quiet -j "$jobs" -p "$build" "^$root/(src|apps)/" >"$log" 2>&1 || true
if grep -E "(warning|error): " "$log" | sort -u | grep .; then
  echo "check_style: clang-tidy findings above (.clang-tidy)" >&2
  exit 1
fi
if ! grep -q "clang-tidy" "$log" && [ -s "$log" ]; then
  cat "$log" >&2
fi
echo "check_style: clang-tidy clean in $((SECONDS - start)) s"
