// What kind of orbit pair the collision integral is given: ordinary, or one
// of the degenerate geometries for which the straight-line-encounter
// probability has no finite value (the 1/sin I of the mutual inclination or
// the 1/(e sin f) of the radial motion is not integrable). The classic rule
// returns a rule-dependent number or 0 for them; the accurate integrator
// reports them as divergent. Elements in cm and radians.
#pragma once

#include <cstdint>

namespace pairtrack::detail::kernel {

enum class PairClass : std::uint8_t {
  kOrdinary,           // finite P_i (also every pair whose distance ranges do not meet)
  kCoplanar,           // both planes the ecliptic (inclinations 0 or pi), ranges meeting:
                       // sin I = 0 at every node difference
  kCoincidentCircles,  // two circles of the same radius (any inclinations)
  kIdenticalOrbits,    // the same a, e and inclination
  kEqualInclinations,  // i1 = i2 (or i1 + i2 = pi), ranges meeting: I = 0 (or pi)
                       // at one node difference
};

// Classifies a pair. Exact comparisons: orbits that differ in the last bit
// are ordinary (and finite, however large).
PairClass classify_pair(double a1, double e1, double inc1, double a2, double e2, double inc2);

// Short lower-case name of a class ("ordinary", "coplanar", ...), for tables.
const char* pair_class_name(PairClass c);

}  // namespace pairtrack::detail::kernel
