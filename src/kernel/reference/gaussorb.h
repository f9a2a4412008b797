// Pair evaluation: the intrinsic collision probability and the encounter and
// impact speeds of two fixed Keplerian orbits averaged over all orientations
// of their nodes and perihelia.
#pragma once

#include <cstdint>

#include "kernel/overlap_geometry.h"      // OverlapBounds, match_apsides
#include "kernel/reference/g_integral.h"  // IntegralTermVisitor

namespace pairtrack::detail {

// Orbit 1 (a1 cm, e1, inc1 rad) and orbit 2 (a2 cm, e2, inc2 rad):
//   p_coll      intrinsic collision probability, 1e-18 km^-2 yr^-1 (the
//               collision rate of two bodies whose radii add up to R km is
//               p_coll * 1e-18 * R^2 per year);
//   v_rel_mean  probability-weighted mean encounter speed, km/s;
//   v_rel_rms   probability-weighted rms encounter speed, km/s;
//   v_imp_mean  probability-weighted mean impact speed with gravitational
//               focusing by v_esc (km/s), km/s.
// n_cap and n_theta are the Gauss-Legendre node counts over the node
// difference and over the arc's true anomaly (the program uses 10 and 10).
//
// Disjoint distance ranges: p_coll = 0 and the three speeds are left as the
// caller set them. Every other pair writes all four outputs. A pair whose
// range classification fails (linecheck's message is written) or whose
// probability sum is not a finite positive number (touching ranges, coplanar
// orbits, node counts below 1 or above the tables) gets p_coll = 0 and
// speeds 0.
void gaussorb(const double& a1, const double& e1, const double& inc1, const double& a2,
              const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
              double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
              const std::int32_t& n_theta, const double& v_esc);

// gaussorb, showing every term it adds: those of the first (or only) arc to `first_arc`,
// those of a split pair's second arc to `second_arc`, in the order they are added. Returns
// true when the pair was integrated and its probability sum is finite and positive (the
// outputs were scaled from the sums), false when it got p_coll = 0.
bool gaussorb_visit(const double& a1, const double& e1, const double& inc1, const double& a2,
                    const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
                    double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
                    const std::int32_t& n_theta, const double& v_esc,
                    IntegralTermVisitor& first_arc, IntegralTermVisitor& second_arc);

}  // namespace pairtrack::detail
