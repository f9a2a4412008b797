// The fast collision kernel: the same intrinsic collision probability and
// encounter-speed moments as gaussorb, bit for bit, with everything that
// repeats formed once. Units as gaussorb: semimajor axes in cm, inclinations in
// radians, v_esc and the output speeds in km/s, p_coll in 1e-18 km^-2 yr^-1.
#pragma once

#include <cstdint>
#include <span>

#include "kernel/fast/fast_rules.h"
#include "kernel/speed_binning.h"
#include "pairtrack/kernel.h"

namespace pairtrack::detail {

// One orbit with the constants the kernel needs of it, formed once per orbit
// with the arithmetic the reference kernel uses inside every call:
//   p_cm = a_cm (1 - e e), period_s = a_cm^1.5 2 pi / sqrt(GM) (a general power
//   function), v_scale = sqrt(GM / p_cm) (cm/s), e_p = e p_cm, and the cosine
//   and sine of the inclination. Default-constructed orbits hold zeros.
struct PreparedOrbit {
  double a_cm = 0.0;
  double e = 0.0;
  double inc = 0.0;       // radians
  double p_cm = 0.0;      // semi-latus rectum
  double period_s = 0.0;  // orbital period
  double v_scale = 0.0;   // sqrt(GM / p), the speed scale of the orbit, cm/s
  double e_p = 0.0;       // e p, cm
  double cos_inc = 0.0;
  double sin_inc = 0.0;
};

// Prepares an orbit (a in cm, inclination in radians). Elements are not
// checked: whatever the reference kernel would compute from them, the fast
// kernel computes too.
PreparedOrbit prepare_orbit(double a_cm, double e, double inc);

// Which vector unit runs the quadrature. kAuto takes AVX-512 when the
// processor has it, else AVX2, else the portable scalar code; kAvx512 and
// kAvx2 fall back the same way on a processor without them. All paths give
// identical bits.
enum class SimdPath { kAuto, kScalar, kAvx2, kAvx512 };

// True when this processor can run the AVX2 path (checked at run time).
bool avx2_supported();
// True when this processor (and its operating system) can run the AVX-512
// path (checked at run time).
bool avx512_supported();

// The path that `path` resolves to on this processor (never kAuto).
SimdPath resolved_path(SimdPath path);

// How a pair ended.
enum class PairStatus : std::uint8_t {
  kIntegrated,  // the distance ranges meet and an overlap case held
  kDisjoint,    // the distance ranges do not meet: p_coll = 0, speeds untouched
  kNoCase,      // the ranges meet but no overlap case held: all four outputs 0
                // (the reference kernel prints its no-case line for such a pair)
};

// The four outputs of a pair, as gaussorb writes them, are the public PairResult
// (pairtrack/kernel.h).

// Receives the speed distributions of a row's pairs (pairtrack/speeds.h), pair by pair in row
// order: stored values [lo, hi] of impact[] and encounter[] (indices into the n + 2 values of
// the binning; every other value is 0, and lo > hi when all are), in 1e-18 km^-2 yr^-1 per bin,
// scaled from the summed weights exactly as p_coll is scaled from their total
// (scale_speed_weights). A pair with p_coll = 0 (disjoint, no case, no finite positive sum) has
// no nonzero value. The arrays are valid during the call only; encounter == impact where the
// two distributions are the same (every impact speed its encounter speed: no focusing).
class PairSpeedSink {
 public:
  virtual ~PairSpeedSink() = default;
  virtual void pair(std::size_t k, int lo, int hi, const double* impact,
                    const double* encounter) = 0;
};

// Receives a row's distributions summed over all its pairs, as sums of quadrature weights per
// bin (to be scaled by scale_speed_weights once the caller has added them up: saves a division
// per bin and pair), in pieces: each piece holds the summed terms of some of the row's
// integrals, and the pieces add up to the row's distributions, the pairs with p_coll = 0
// contributing nothing. The pieces and their order depend on the row only (not on the vector
// path, the threads or the caller), so the same row always gives the same bits.
class RowWeightSink {
 public:
  virtual ~RowWeightSink() = default;
  // One piece: bin b's sums are terms[b] and terms[term_stride + b], b in [lo, hi] (the terms 1
  // and 2 of the quadrature's points, kept apart by it; see LaneBins), for impact and encounter
  // (encounter == impact where the piece's two distributions are the same). The sink adds each
  // bin's two sums (term 1 + term 2) and sets both to zero.
  virtual void take_sums(int lo, int hi, double* impact, double* encounter, int term_stride) = 0;
};

// Speed distributions wanted from a row: `bins` (n >= 1) and where they go, pair by pair to
// `sink` or summed over the row to `weights` (one of the two).
struct SpeedRequest {
  const SpeedBinning* bins = nullptr;
  PairSpeedSink* sink = nullptr;
  RowWeightSink* weights = nullptr;
};

// A sum of the quadrature's binned weights in p_coll's unit, 1e-18 km^-2 yr^-1, formed as
// gaussorb forms p_coll from its total. The bins hold each of a point's distinct terms once,
// the terms with body B inbound; those with B outbound mirror them (the same weights and
// speeds), so the sum counts twice: w + w, exact.
double scale_speed_weights(double w);

// One pair (orbit 1, orbit 2) with the node counts of `rules`: the outputs of
// gaussorb(orbit1, orbit2, ..., rules.n_cap(), rules.n_theta(), v_esc), bit
// for bit. A disjoint pair writes only out.p_coll, like gaussorb; a pair with
// no overlap case or with a probability sum that is not finite and positive
// gets zeros. Nothing is printed.
PairStatus fast_gaussorb(const FastRules& rules, const PreparedOrbit& orbit1,
                         const PreparedOrbit& orbit2, double v_esc, PairResult& out,
                         SimdPath path = SimdPath::kAuto);

// Every pair (orbits1[k], orbit2) of a row, results in out[k] (and, when
// `status` is not null, status[k]). Independent integrals of neighbouring
// pairs share the vector lanes (eight integrals at a time); each keeps its own order of summation,
// so every pair's outputs are those of fast_gaussorb. out[k] of a disjoint pair keeps its speeds.
// Allocates nothing for node counts up to kFastInlineNodes. Returns the number of pairs with status
// kNoCase. Safe to call from many threads at once.
std::int64_t fast_gaussorb_row(const FastRules& rules, std::span<const PreparedOrbit> orbits1,
                               const PreparedOrbit& orbit2, double v_esc, PairResult* out,
                               PairStatus* status = nullptr, SimdPath path = SimdPath::kAuto);

// fast_gaussorb_row, and each term of the quadrature also binned by its impact and encounter
// speed into the pair's distributions, which go to speeds.sink. The outputs in `out` and
// `status` are those of fast_gaussorb_row to the bit, and each pair's distributions those of a
// straightforward binning of the reference quadrature's terms (the terms of each arc binned in
// the order they are summed, the arcs' bins added, then scaled). With speeds.weights instead,
// the row's terms are summed in the bins of the lanes they were integrated in, integral after
// integral, and go to the sink as a lane's bins each at the end (a row with a pair whose sum is
// not finite is integrated again with each integral's bins handed over on their own, that
// pair's left out). Working storage of the bins is kept per thread and reused.
std::int64_t fast_gaussorb_row_speeds(const FastRules& rules,
                                      std::span<const PreparedOrbit> orbits1,
                                      const PreparedOrbit& orbit2, double v_esc, PairResult* out,
                                      const SpeedRequest& speeds, PairStatus* status = nullptr,
                                      SimdPath path = SimdPath::kAuto);

}  // namespace pairtrack::detail
