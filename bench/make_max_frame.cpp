// Writes the input of the whole-program benchmark: a maximal frame of
// 30000 main-belt-like catalogue orbits against 333 bodies (9990000 pairs, the
// most that fits 10000000). Files, in the given directory:
//   max_frame.cat  the catalogue (inclination deg, e, a AU in columns 148-182)
//   max_frame.bin  the history file, 8-byte encoding (code 2), one frame
//   max_frame.in   the ten parameter records (no pair file, no removals)
//
// Usage: make_max_frame <output directory> [population size] [bodies]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "workload.h"

namespace {

using pairtrack::detail::bench::Elements;
using pairtrack::detail::bench::main_belt_elements;
using pairtrack::detail::bench::write_main_belt_history;

constexpr double kFrameTime = 1e6;  // years; the parameters divide by 1e6

bool write_catalogue(const std::string& path, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::size_t k = 0;
  for (const Elements& el : main_belt_elements(n, 30000)) {
    // Columns 1-147: a name and blanks; 148-182: i, e, a in 10 + 11 + 14 characters.
    std::fprintf(f, "%-147s%10.5f%11.7f%14.8f\n", ("synthetic " + std::to_string(++k)).c_str(),
                 el.inc_deg, el.e, el.a_au);
  }
  return std::fclose(f) == 0;
}

bool write_parameters(const std::string& path, std::size_t n_bodies) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, "max_frame.cat\nmax_frame.bin\n2\n1 %zu\n1e6\nF\n0\n0\n-1\n0\n", n_bodies);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: %s <output directory> [population size] [bodies]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const std::size_t n1 =
      argc > 2 ? std::strtoul(argv[2], nullptr, 10) : pairtrack::kPopulationCapacity;
  const std::size_t n2 = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 333;
  if (!write_catalogue(dir + "/max_frame.cat", n1) ||
      !write_main_belt_history(dir + "/max_frame.bin", 1, n2, kFrameTime, 0.0, 333) ||
      !write_parameters(dir + "/max_frame.in", n2)) {
    std::fprintf(stderr, "cannot write the benchmark input in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
