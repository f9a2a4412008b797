// Deterministic benchmark workloads: main-belt-like orbits (a 1.5-4.5 AU,
// e 0-0.4, i 0-35 degrees) whose pairs mix crossing, nested and disjoint
// distance ranges. Orbits come out in cm and radians, as the kernel takes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pairtrack/units.h"

namespace pairtrack::detail::bench {

struct Orbit {
  double a_cm;
  double e;
  double inc;  // radians
};

// A 64-bit generator whose sequence is the same on every platform and
// standard library (the standard distributions are not).
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [lo, hi).
  double uniform(double lo, double hi);

 private:
  std::uint64_t state_;
};

// Elements as catalogues and history files hold them.
struct Elements {
  double a_au;
  double e;
  double inc_deg;
};

// n main-belt-like element sets from `seed`: a, e and i uniform in their ranges.
std::vector<Elements> main_belt_elements(std::size_t n, std::uint64_t seed);

// Writes a float64 history file of `frames` frames of `n_bodies` main-belt bodies (identifiers
// 1..n_bodies, nrec1 = 1): frame f at time first_time + time_step * f (the integration's unit,
// years here) with the elements main_belt_elements(n_bodies, first_seed + f). False when the
// file cannot be written.
bool write_main_belt_history(const std::string& path, std::size_t frames, std::size_t n_bodies,
                             double first_time, double time_step, std::uint64_t first_seed);

// The same orbits converted to cm and radians as the program converts them.
std::vector<Orbit> main_belt_orbits(std::size_t n, std::uint64_t seed);

// How the pairs (population[k], body) fall: disjoint ranges, two arcs
// (crossing: one orbit reaches farther out), one arc (nested ranges), or no
// overlap case.
struct PairMix {
  std::int64_t disjoint = 0;
  std::int64_t crossing = 0;
  std::int64_t nested = 0;
  std::int64_t no_case = 0;
};
PairMix classify_pairs(const std::vector<Orbit>& population, const std::vector<Orbit>& bodies);

}  // namespace pairtrack::detail::bench
