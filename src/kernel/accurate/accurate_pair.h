// The accurate pair integrator: the intrinsic collision probability of two
// fixed Keplerian orbits and its three speed moments, integrated to a
// requested relative accuracy with an error estimate, instead of the classic
// fixed 10 x 10 rule. Units as the classic pair evaluation: semimajor axes in
// cm, inclinations in radians, v_esc and speeds in km/s, P_i in
// 1e-18 km^-2 yr^-1.
//
// Same integrand (integrand.h) and the same true-anomaly arcs (overlap
// geometry) as the classic kernel; what changes is the quadrature:
//  - the node difference is integrated in the variable u of
//      sin(dOmega/2) = eps sinh u,  eps = sin(|i1 - i2|/2) / sqrt(sin i1 sin i2)
//    on [0, pi/2] (and its mirror sin((pi - dOmega)/2) = eps' sinh u,
//    eps' = |cos((i1 + i2)/2)| / sqrt(sin i1 sin i2) on [pi/2, pi]), in which the
//    1/sin I peak of the mutual inclination is smooth: dOmega / sin I =
//    du / (sqrt(sin i1 sin i2) cos(dOmega/2) cos(I/2));
//  - the anomaly axis gets the same substitution at an end of the arc where
//    the two orbits have nearly the same apsidal distance (the peak of orbit
//    A's 1/|sin f_A|; see axis_substitution.h);
//  - both axes use Gauss-Kronrod 7/15 product rules on rectangles that are
//    bisected adaptively (the axis whose Gauss-Kronrod difference is larger is
//    cut) until the summed error estimate of P_i meets the target or the node
//    budget is spent. The estimate is the summed Gauss-Kronrod differences, an
//    error bound of the 7-point rule: conservative for the 15-point result.
// Everything is deterministic: one pair is integrated by one thread in a fixed
// order, so the bits do not depend on how many threads run pairs.
#pragma once

#include <cstdint>

namespace pairtrack::detail::kernel {

// How an accurate pair integration ended.
enum class AccurateStatus : std::uint8_t {
  kOk,            // error estimate within rel * P_i (also P_i = 0 of disjoint ranges)
  kNotConverged,  // node budget spent first: the values and error estimate are the best found
  kDivergent,     // no finite P_i in the straight-line-encounter theory (see below);
                  // the four values are NaN, never a rule-dependent number or 0
};

// Receives the quadrature nodes of an accepted estimate one integrand term at
// a time (for histograms of the encounter and impact speeds): weight is the
// term's contribution to p_coll in p_coll's unit (the weights of one pair sum
// to p_coll up to rounding), v_enc_km the encounter speed and v_imp_km the
// impact speed with the v_esc focusing (km/s, as v_rel_mean and v_imp_mean
// average them).
struct AccurateNodeSink {
  virtual ~AccurateNodeSink() = default;
  virtual void node(double weight, double v_enc_km, double v_imp_km) = 0;
};

struct AccurateOptions {
  // Requested relative accuracy of P_i: 0 < rel <= 0.1 (1e-8 is about the
  // smallest that double arithmetic of the integrand supports).
  double rel = 1e-4;
  // Minimum mutual inclination I_min, radians (0 = off): the 1/sin I of the
  // integrand becomes 1/max(sin I, sin I_min). The straight-line encounter
  // behind the integrand breaks down when the relative velocity lies (nearly)
  // in a plane common to both orbits: the two bodies then stay close for a long
  // time and their mutual attraction and the curvature of the orbits decide the
  // outcome. I_min is the explicit, physical regularisation of that regime;
  // with it, equal inclinations and coplanar crossing orbits get finite values.
  double min_mutual_inclination = 0.0;
  // Upper bound on the integrand evaluations (each one point, four sign
  // terms); 225 per rectangle.
  std::int64_t max_points = 400000;
  // When set, receives every term of the returned estimate once: the final
  // rectangles in the order they were made, the 15 x 15 Kronrod nodes of each
  // row by row, and at each node the two distinct sign pairs (inbound B with
  // inbound, then outbound A), each with the weight of itself and its mirror
  // (both signs reversed, the same term bit for bit). Terms with zero
  // relative speed add nothing and are left out. Not called for a divergent
  // pair or p_coll = 0; the pass runs after the integration and costs one
  // more evaluation of the final rectangles, none when null.
  AccurateNodeSink* node_sink = nullptr;
};

struct AccurateResult {
  double p_coll = 0.0;        // 1e-18 km^-2 yr^-1
  double v_rel_mean = 0.0;    // km/s, P_i-weighted mean encounter speed
  double v_rel_rms = 0.0;     // km/s, P_i-weighted rms encounter speed
  double v_imp_mean = 0.0;    // km/s, P_i-weighted mean impact speed (focusing by v_esc)
  double p_coll_error = 0.0;  // estimated absolute error of p_coll, same unit
  AccurateStatus status = AccurateStatus::kOk;
  std::int64_t points = 0;  // integrand evaluations spent
};

// One pair: orbit 1 (a1 cm, e1, inc1 rad) against orbit 2 (a2 cm, e2, inc2 rad)
// with gravitational focusing by v_esc (km/s). The entry point that the
// engine and the public API call per pair in the accurate mode.
//
// Disjoint distance ranges (and ranges that only touch, where no overlap case
// holds): p_coll = 0, speeds 0, status kOk, error 0.
// Divergent (status kDivergent, values NaN): identical orbits; coincident
// circles (e1 = e2 = 0, a1 = a2); meeting distance ranges whose end is an
// apsis of both orbits at exactly the same distance (equal perihelia or
// aphelia: the density falls off like 1/|theta| there); and, unless
// options.min_mutual_inclination > 0, meeting distance ranges with equal
// inclinations (coplanar orbits i1 = i2 = 0 included) or with i1 + i2 = pi
// (I = pi at dOmega = pi). A sum that is not finite is reported as divergent
// too. Exact comparisons throughout: orbits one bit apart are integrated (to
// a large, finite value).
//
// Throws std::invalid_argument when options.rel is not in (0, 0.1] (NaN
// included), options.min_mutual_inclination is negative, not finite or above
// pi/2, or options.max_points < 225.
AccurateResult accurate_pair(double a1, double e1, double inc1, double a2, double e2, double inc2,
                             double v_esc, const AccurateOptions& options);

}  // namespace pairtrack::detail::kernel
