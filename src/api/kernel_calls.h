// The pieces every public kernel call shares: the checks of its arguments, the orbits converted
// to centimetres and radians exactly as the program converts them and prepared once per orbit,
// the classic outputs of a pair stored where the caller asked for them, and the cancel flag.
#pragma once

#include <omp.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/fast/fast_kernel.h"
#include "pairtrack/kernel.h"
#include "pairtrack/units.h"

namespace pairtrack::detail {

// invalid_argument naming `which` when a non-empty population has a null element array.
inline void check_orbits(const OrbitArrays& orbits, const char* which) {
  if (orbits.count != 0 && (orbits.semimajor_axis_au == nullptr || orbits.eccentricity == nullptr ||
                            orbits.inclination == nullptr)) {
    throw std::invalid_argument(std::string(which) + ": an element array is null");
  }
}

// invalid_argument unless the accuracy (0: classic) and the minimum mutual inclination
// (degrees) are in their ranges.
inline void check_mode(const KernelOptions& options) {
  if (!(options.accuracy >= 0.0 && options.accuracy <= 0.1)) {
    throw std::invalid_argument(
        "accuracy must be 0 (the classic rule) or a relative accuracy above 0 and at most 0.1");
  }
  if (!(options.min_mutual_inclination_deg >= 0.0 && options.min_mutual_inclination_deg <= 90.0)) {
    throw std::invalid_argument("min_mutual_inclination must be an angle from 0 to 90 degrees");
  }
}

// One orbit given in AU and `unit`, prepared for the kernel.
inline PreparedOrbit prepare(double a_au, double e, double inc, AngleUnit unit) {
  const double a_cm = a_au * kCentimetresPerAu;
  const double inc_rad = unit == AngleUnit::degrees ? inc * kRadiansPerDegree : inc;
  return prepare_orbit(a_cm, e, inc_rad);
}

// Every orbit of `orbits` prepared, by up to `team` threads for large populations (each orbit
// on its own, so the team cannot change a bit).
inline std::vector<PreparedOrbit> prepare_all(const OrbitArrays& orbits, AngleUnit unit, int team) {
  std::vector<PreparedOrbit> prepared(orbits.count);
  const auto n = static_cast<std::int64_t>(orbits.count);
#pragma omp parallel for schedule(static) num_threads(team) if (n > 4096)
  for (std::int64_t k = 0; k < n; ++k) {
    prepared[k] =
        prepare(orbits.semimajor_axis_au[k], orbits.eccentricity[k], orbits.inclination[k], unit);
  }
  return prepared;
}

// The pair's p_coll and speeds into those of the caller's arrays that are not null.
inline void store(const PairResultArrays& out, std::int64_t index, const PairResult& r) {
  if (out.p_coll != nullptr) out.p_coll[index] = r.p_coll;
  if (out.v_rel_mean != nullptr) out.v_rel_mean[index] = r.v_rel_mean;
  if (out.v_rel_rms != nullptr) out.v_rel_rms[index] = r.v_rel_rms;
  if (out.v_imp_mean != nullptr) out.v_imp_mean[index] = r.v_imp_mean;
}

// Whether the caller has asked the running call to stop.
inline bool cancelled(const KernelOptions& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

}  // namespace pairtrack::detail
