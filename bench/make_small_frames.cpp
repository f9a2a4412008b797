// Writes the input of the "many small frames" benchmark: a history of N frames of 40 bodies
// each, paired with the 300 orbits of the bundled main-belt catalogue (12000 pairs per frame,
// the shape of a long integration sampled often). Files, in the given directory:
//   small_frames.bin  the history file, 8-byte encoding (code 2), N frames
//   small_frames.in   the ten parameter records (catalogue mainbelt.cat, which the caller
//                     copies next to them; pair file on, no removals)
// The 40 bodies keep their identifiers 1..40 in every frame; their elements are drawn afresh
// for each frame so that every frame has its own mix of crossing, nested and disjoint pairs.
//
// Usage: make_small_frames <output directory> [frames] [bodies]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "workload.h"

namespace {

using pairtrack::detail::bench::write_main_belt_history;

constexpr double kFrameStep = 1e4;  // years between frames; the parameters divide by 1e6

bool write_parameters(const std::string& path, std::size_t n_bodies) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, "mainbelt.cat\nsmall_frames.bin\n2\n1 %zu\n1e6\nT\n0\n0\n-1\n0\n", n_bodies);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s <output directory> [frames] [bodies]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const std::size_t frames = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 2000;
  const std::size_t n2 = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 40;
  if (frames == 0 || n2 == 0 || n2 > static_cast<std::size_t>(pairtrack::kPopulationCapacity)) {
    std::fprintf(stderr, "frames must be at least 1, bodies 1 to %d\n",
                 pairtrack::kPopulationCapacity);
    return 2;
  }
  if (!write_main_belt_history(dir + "/small_frames.bin", frames, n2, 0.0, kFrameStep, 1000) ||
      !write_parameters(dir + "/small_frames.in", n2)) {
    std::fprintf(stderr, "cannot write the benchmark input in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
