// Collision-weighted speed distributions of a frame: every swept body's distributions of impact
// and encounter speed over its pairs with the catalogue, the exact moments of its impact speed,
// and the frame's sums of them. Probabilities in 1e-18 km^-2 yr^-1, speeds in km/s.
//
// A body's row is cut into parts of consecutive pairs (256 for the classic rule, 16 for the
// accurate integrator), evaluated on all threads; its sums run over each part's pairs, then
// over the parts, in catalogue order: a part's distributions as plain sums, the parts' as
// compensated sums (every addition's rounding error carried along), the moments in extended
// precision, each rounded once when stored. The frame's run over the bodies in position order, in
// extended precision. The parts and their order are fixed, so files do not depend on the number of
// threads or of MPI ranks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kernel/fast/fast_kernel.h"
#include "kernel/speed_binning.h"

namespace pairtrack::detail {

// One swept body's distributions (stored indices lo .. hi of the binning; every other value 0;
// lo > hi when all are) and the sums behind its impact-speed moments.
struct BodySpeeds {
  std::int32_t lo = 0;
  std::int32_t hi = -1;
  std::vector<double> impact;     // hi - lo + 1 values, from stored index lo
  std::vector<double> encounter;  // likewise
  double p_sum = 0.0;             // sum of p_coll
  double pv_sum = 0.0;            // sum of p_coll * v_imp_mean, (1e-18 km^-2 yr^-1) km/s
  // Sum of p_coll * <v_imp^2>, where a pair's collision-weighted mean square impact speed is
  // v_rel_rms^2 + v_esc^2 (the same weights give both), (1e-18 km^-2 yr^-1) km^2/s^2.
  double pv2_sum = 0.0;

  double impact_at(int i) const { return i >= lo && i <= hi ? impact[i - lo] : 0.0; }
  double encounter_at(int i) const { return i >= lo && i <= hi ? encounter[i - lo] : 0.0; }
};

// The bodies [body_begin, body_end) of a frame (whole rows of population 1, catalogue order)
// evaluated with the bins of mode.speed_bins: p_coll and v_imp_mean of pair (j, k) at
// proba[(j - body_begin) * n1 + k] and impvel[...] (and in the accurate mode its error estimate
// at error[...] when not null) as evaluate_pair_range stores them (a disjoint pair stores 0 and
// 0, a divergent one NaN), and body j's distributions and sums in speeds[j - body_begin].
// The classic rule bins its terms in the fast kernel's lanes; the accurate integrator hands
// the terms of its accepted estimate over (AccurateOptions::node_sink), already in p_coll's
// unit. A divergent pair adds nothing. Spread over `threads` threads a part of a row at a time
// (0: all cores). Returns the number of pairs that fit no overlap case (0 in the accurate mode).
struct PairMode;
std::int64_t evaluate_bodies_with_speeds(std::span<const PreparedOrbit> population1,
                                         std::span<const PreparedOrbit> bodies, double v_esc,
                                         const PairMode& mode, std::int64_t body_begin,
                                         std::int64_t body_end, double* proba, double* impvel,
                                         double* error, BodySpeeds* speeds, int threads);

// The frame's impact-speed moments from its bodies' sums: collision-weighted mean, rms and
// standard deviation (NaN without bodies or with a total below 1e-300).
struct SpeedMoments {
  double mean = 0.0, rms = 0.0, sd = 0.0;
};
SpeedMoments frame_speed_moments(std::span<const BodySpeeds> bodies);

// The frame's distributions: sums over the bodies, in position order, in extended precision,
// into impact[] and encounter[] (bins.values() entries each).
void frame_speed_sums(std::span<const BodySpeeds> bodies, int values, double* impact,
                      double* encounter);

// The bodies' distributions as bytes and back (the MPI layer's messages).
void pack_body_speeds(std::span<const BodySpeeds> bodies, std::vector<char>& out);
// Reads what pack_body_speeds wrote from `in` (advanced past it) into `bodies`, which must
// have the packed count.
void unpack_body_speeds(const char*& in, std::span<BodySpeeds> bodies);

}  // namespace pairtrack::detail
