// pairtrack public API: the collision kernel over arrays of orbits.
//
// For two Keplerian orbits (a, e, i) the kernel integrates, by Gauss-Legendre quadrature with
// 10 nodes over the node difference and 10 over the true anomaly of the shared distance range,
// over all orientations of the nodes and perihelia:
//   p_coll      the intrinsic collision probability, 1e-18 km^-2 yr^-1: two bodies on these
//               orbits whose radii add up to R km collide p_coll * 1e-18 * R^2 times per year
//               (the rate divided by R^2, not by pi R^2); with v_esc > 0 it includes
//               gravitational focusing (each encounter weighted by 1 + v_esc^2 / U^2);
//   v_rel_mean  probability-weighted mean encounter speed U, km/s;
//   v_rel_rms   probability-weighted root-mean-square encounter speed, km/s;
//   v_imp_mean  probability-weighted mean impact speed sqrt(U^2 + v_esc^2), km/s.
//
// The results are bit for bit those of the program pairtrack for the same elements: semimajor
// axes are converted as a_cm = a_au * kCentimetresPerAu, inclinations given in degrees as
// inc_rad = inc_deg * kRadiansPerDegree, and the pair is evaluated by the fast kernel, which
// gives the reference quadrature's bits.
//
// Pairs whose distance ranges (perihelion to aphelion) do not meet cannot collide: all four
// outputs are 0. A pair whose ranges meet but fit none of the overlap cases (they coincide
// only up to rounding; the program prints "The line did not make any of the checks" for it),
// and a pair whose probability sum is not a finite positive number (touching ranges, coplanar
// orbits) also gets zeros; the functions return the number of pairs of the first kind.
//
// Elements are not checked: e >= 1, a <= 0 or NaN give whatever the arithmetic gives (NaN or
// 0), never a crash.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "pairtrack/units.h"

namespace pairtrack {

// Unit of the inclinations handed to the kernel.
enum class AngleUnit { degrees, radians };

// A population of `count` orbits as three parallel arrays (read only). Orbit k is
// (semimajor_axis_au[k], eccentricity[k], inclination[k]); the inclination's unit is the
// options' angle_unit.
struct OrbitArrays {
  const double* semimajor_axis_au = nullptr;  // AU
  const double* eccentricity = nullptr;
  const double* inclination = nullptr;  // degrees or radians, see KernelOptions
  std::size_t count = 0;
};

// Where the four outputs of the pairs go. A null pointer skips that output; the others are
// written for every pair.
struct PairResultArrays {
  double* p_coll = nullptr;      // 1e-18 km^-2 yr^-1
  double* v_rel_mean = nullptr;  // km/s
  double* v_rel_rms = nullptr;   // km/s
  double* v_imp_mean = nullptr;  // km/s
  // Accurate mode: the estimated absolute error of p_coll (0 in the classic mode).
  double* p_coll_error = nullptr;  // 1e-18 km^-2 yr^-1
  // PairFlags bits per pair.
  std::uint8_t* flags = nullptr;
};

// What is known about a pair's value beyond the numbers (bits of PairResultArrays::flags).
enum PairFlags : std::uint8_t {
  kPairDivergent = 1,     // accurate mode: no finite P_i (the four values are NaN)
  kPairNotConverged = 2,  // accurate mode: the point budget was spent before the accuracy
  kPairClassicOff = 4,    // classic mode: the 10 x 10 value is likely off by more than 1 %
  kPairSingular = 8,      // coplanar, coincident circles, identical orbits or equal
                          // inclinations with meeting distance ranges: no finite P_i
};

struct KernelOptions {
  double v_esc_km_s = 0.0;  // escape velocity for gravitational focusing, km/s
  AngleUnit angle_unit = AngleUnit::degrees;
  // Threads evaluating the pairs: <= 0 takes all cores (OpenMP's default team, which honours
  // OMP_NUM_THREADS). The results never depend on it: every pair writes only its own slots.
  int threads = 0;
  // When not null, checked between chunks of pairs: once it reads true, the call stops within
  // about a chunk per thread and throws Cancelled (an interactive front end's Ctrl-C).
  const std::atomic<bool>* cancel = nullptr;
  // The accurate mode: every pair integrated to this relative accuracy of P_i, (0, 0.1], with
  // an error estimate (0: the classic 10 x 10 rule), and the minimum mutual inclination in
  // degrees, [0, 90], that regularises pairs without a finite value (0: off). Outside these
  // ranges the calls throw std::invalid_argument. No pair counts as a no-case pair there.
  double accuracy = 0.0;
  double min_mutual_inclination_deg = 0.0;
};

// Thrown by a call whose cancel flag was set while it ran; its outputs are then incomplete.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("pairtrack: the computation was cancelled") {}
};

// The four outputs of one pair.
struct PairResult {
  double p_coll = 0.0;        // 1e-18 km^-2 yr^-1
  double v_rel_mean = 0.0;    // km/s
  double v_rel_rms = 0.0;     // km/s
  double v_imp_mean = 0.0;    // km/s
  double p_coll_error = 0.0;  // accurate mode: estimated absolute error of p_coll
  std::uint8_t flags = 0;     // PairFlags
};

// Every pair (orbits1[i], orbits2[j]), i < n1 = orbits1.count, j < n2 = orbits2.count: the
// results of the pair go to index i * n2 + j of each output array (row-major n1 x n2; each
// array must hold n1 * n2 doubles). Returns the number of pairs that fit no overlap case.
// Throws std::invalid_argument when an input array is null while its count is not 0.
// Safe to call from several threads at once.
std::int64_t collision_pair_matrix(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                   const PairResultArrays& out, const KernelOptions& options = {});

// The pairs (orbits1[k], orbits2[k]) element by element: results at index k (each output
// array must hold n = orbits1.count doubles). Throws std::invalid_argument when the counts
// differ or an input array is null while the count is not 0. Returns the number of pairs
// that fit no overlap case. Safe to call from several threads at once.
std::int64_t collision_pairs(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                             const PairResultArrays& out, const KernelOptions& options = {});

// One pair: semimajor axes in AU, inclinations in options.angle_unit. `no_case`, when not
// null, is set to whether the pair fit no overlap case.
PairResult collision_pair(double a1_au, double e1, double inc1, double a2_au, double e2,
                          double inc2, const KernelOptions& options = {}, bool* no_case = nullptr);

}  // namespace pairtrack
