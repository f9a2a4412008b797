# Shared by the scripts that time pairtrack with and without an option on the maximal frame
# (sourced, not run): needs `root` (the repository) and `build` (the build folder) set.

# Configures and builds pairtrack and make_max_frame in $build (Release), makes $build absolute
# (the runs change folder) and writes the frame into a new folder $work, removed on exit; the
# arguments go to make_max_frame after the folder.
max_frame_setup() {
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target pairtrack make_max_frame -j"$(nproc)" >/dev/null
  build="$(cd "$build" && pwd)"
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  "$build/bench/make_max_frame" "$work" "$@"
}

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
