// The inclination ladder of the accurate mode's validation: four geometries
// (main-belt crossing, high e, high i, nested distance ranges), each against
// the same orbit with the inclination raised by 1, 0.1, 0.01 and 0.001 degree,
// and the Monte Carlo configuration that resolves them (importance sampling
// near the turning latitudes, latitude windows shrinking towards the peak).
#pragma once

#include "kernel/accurate/accurate_pair.h"
#include "mc_collision.h"
#include "pairtrack/units.h"

namespace mcval {

struct LadderGeometry {
  const char* name;
  Orbit orbit_1;
  Orbit orbit_2;  // inclination: orbit_1's plus the rung
};

inline constexpr LadderGeometry kLadderGeometries[] = {
    {"mainbelt", {2.7, 0.15, 10.0}, {2.6, 0.12, 10.0}},
    {"high_e", {2.0, 0.5, 20.0}, {2.5, 0.3, 20.0}},
    {"high_i", {2.7, 0.15, 40.0}, {2.6, 0.12, 40.0}},
    {"nested", {2.7, 0.05, 10.0}, {2.75, 0.2, 10.0}},
};

inline constexpr double kLadderRungsDeg[] = {1.0, 0.1, 0.01, 0.001};

// The program's constants, escape speeds 0 and 5 km/s, the resolving
// estimator; samples_per_batch and batches set the effort.
inline McConfig ladder_config(int samples_per_batch, int batches, std::uint64_t seed) {
  McConfig c;
  c.gm_km3_s2 = kGmSunProgramKm3PerS2;
  c.au_km = kAuProgramKm;
  c.rho_au = 5e-4;
  c.batches = batches;
  c.samples_per_batch = samples_per_batch;
  c.seed = seed;
  c.v_esc_kms = {0.0, 5.0};
  c.resolve_near_coplanar = true;
  return c;
}

// The deterministic side of one ladder pair (orbit_2 with the rung's
// inclination): the accurate value at 1e-4 and the converged value (the same
// integrator at 1e-10), in the program's units (AU -> cm, degrees -> radians).
struct LadderValues {
  pairtrack::detail::kernel::AccurateResult accurate, converged;
};
inline LadderValues ladder_values(const Orbit& o1, const Orbit& o2, double v_esc) {
  auto run = [&](double rel) {
    pairtrack::detail::kernel::AccurateOptions options;
    options.rel = rel;
    options.max_points = 10000000;
    return pairtrack::detail::kernel::accurate_pair(
        o1.a_au * pairtrack::kCentimetresPerAu, o1.e, o1.inc_deg * pairtrack::kRadiansPerDegree,
        o2.a_au * pairtrack::kCentimetresPerAu, o2.e, o2.inc_deg * pairtrack::kRadiansPerDegree,
        v_esc, options);
  };
  return LadderValues{run(1e-4), run(1e-10)};
}

}  // namespace mcval
