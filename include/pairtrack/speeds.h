// pairtrack public API: collision-weighted distributions of encounter and impact speeds.
//
// Every quadrature term of a pair's probability integral carries a probability weight W and an
// encounter speed U (km/s); the impact speed with gravitational focusing is sqrt(U^2 + v_esc^2).
// Adding the weights of the terms whose speed falls in a bin gives the pair's distribution of
// speeds: its bins sum to the pair's p_coll (up to rounding), in the same unit,
// 1e-18 km^-2 yr^-1. Disruption and cratering depend nonlinearly on the impact speed, so the
// distribution, not only its mean, is what a collisional evolution model needs.
//
// Bins (km/s): with n = SpeedBins::count(), bin k (k = 0 .. n - 1) holds the speeds v with
//   min + k * step <= v < min + (k + 1) * step   (edges formed in double arithmetic exactly as
//                                                  written, k converted to double),
// except that the last bin ends at max: n is the smallest count whose upper edge
// min + n * step reaches max (so the last bin, [min + (n - 1) * step, max), may be narrower
// than step). A distribution is stored as n + 2 doubles: the underflow bin (v < min) first,
// then bins 0 .. n - 1, then the overflow bin (v >= max, and a speed that is not a number) last.
// The default 0:40:0.25 gives 160 bins (162 values).
//
// The distributions come from the same terms, in the same order, as the pair's sums: in the
// classic mode (10 x 10 rule) a pair's bins are bit for bit those of a straightforward binning
// of the reference quadrature's terms, and do not depend on threads or vector paths; in the
// accurate mode they bin the terms of the integrator's accepted estimate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pairtrack/kernel.h"

namespace pairtrack {

// A bin layout, km/s. Valid when min >= 0, max > min, step > 0, all finite, at most
// kMaxSpeedBins bins, and consecutive edges distinct (see speed_bins_problem).
struct SpeedBins {
  double min_km_s = 0.0;
  double max_km_s = 40.0;
  double step_km_s = 0.25;

  // n, the bins between min and max (not counting underflow and overflow); 0 when invalid.
  int count() const;
  // n + 2: the doubles of one distribution.
  std::size_t values() const { return static_cast<std::size_t>(count()) + 2; }
  // The lower and upper speed of stored value i (0 .. n + 1): -infinity for the underflow
  // bin's lower end, +infinity for the overflow bin's upper end, max for the last bin's upper
  // end.
  double lower_km_s(std::size_t i) const;
  double upper_km_s(std::size_t i) const;
  // The stored index (0 .. n + 1) of speed v, as the kernel bins it.
  std::size_t index(double v_km_s) const;
};

// The most bins (n) a layout may have.
inline constexpr int kMaxSpeedBins = 100000;

// Empty when `bins` is valid, else why not, as one sentence without a trailing period, e.g.
// "the speed bins' step must be above 0". The messages are those of parse_speed_bins.
std::string speed_bins_problem(const SpeedBins& bins);

// Reads "MIN:MAX:STEP" (km/s; three numbers in C's decimal or exponent form, nothing else, no
// blanks) and checks it. Throws std::invalid_argument with a message saying what is wrong:
//   "speed bins must be MIN:MAX:STEP (three numbers separated by colons), not '<text>'"
//   "the speed bins' numbers must be finite"
//   "the speed bins' minimum must be 0 or more"
//   "the speed bins' maximum must be above the minimum"
//   "the speed bins' step must be above 0"
//   "the speed bins ask for more than 100000 bins"
//   "the speed bins' step is too small to separate the edges at these speeds"
SpeedBins parse_speed_bins(std::string_view text);

// Where the distributions of the pairs go: pair q's impact-speed distribution at
// impact[q * bins.values() .. (q + 1) * bins.values() - 1], likewise encounter (each array
// holds pairs * bins.values() doubles; a null pointer skips that distribution). `pairs`
// optionally receives the pairs' p_coll, v_rel_mean, v_rel_rms and v_imp_mean, as
// collision_pair_matrix / collision_pairs write them, and p_coll_error = 0; its flags are not
// written (collision_pair_matrix gives them).
struct SpeedDistributionArrays {
  double* impact = nullptr;     // 1e-18 km^-2 yr^-1 per bin
  double* encounter = nullptr;  // 1e-18 km^-2 yr^-1 per bin
  PairResultArrays pairs{};
};

// The distributions of every pair (orbits1[i], orbits2[j]) at pair index q = i * n2 + j (as
// collision_pair_matrix). A pair with p_coll = 0 (disjoint, no overlap case, no finite
// positive sum) has zeros in every bin. Options as for collision_pair_matrix; in the accurate
// mode (options.accuracy > 0) the terms of the integrator's accepted estimate are binned
// (weights already in p_coll's unit; a divergent pair has zeros, NaN in `pairs`), and
// pairs.p_coll_error gets the error estimates. Throws std::invalid_argument for invalid bins,
// options out of range or null element arrays, Cancelled when options.cancel is set. Returns
// the number of pairs that fit no overlap case (0 in the accurate mode).
std::int64_t speed_distribution_matrix(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                       const SpeedBins& bins, const SpeedDistributionArrays& out,
                                       const KernelOptions& options = {});

// The pairs (orbits1[k], orbits2[k]) element by element, pair index q = k (as collision_pairs).
std::int64_t speed_distribution_pairs(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                      const SpeedBins& bins, const SpeedDistributionArrays& out,
                                      const KernelOptions& options = {});

}  // namespace pairtrack
