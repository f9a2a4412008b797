// Pair evaluation of one frame: every swept body against every population-1
// orbit, spread over threads, each pair writing its own slot. Probabilities
// in 1e-18 km^-2 yr^-1, impact speeds in km/s.
#pragma once

#include <cstdint>
#include <span>

#include "engine/speed_histograms.h"
#include "kernel/fast/fast_kernel.h"
#include "kernel/speed_binning.h"

namespace pairtrack::detail {

// The frame's per-pair result arrays, allocated by the caller (kPairCapacity
// entries each).
struct PairSlots {
  double* proba;   // p_coll of each pair
  double* impvel;  // v_imp_mean of each pair
  // The accurate mode's estimated absolute error of p_coll per pair (null: not kept; the
  // classic mode leaves it untouched).
  double* error = nullptr;
  // With speed bins in the mode: the distributions of the range's bodies, body j of the frame
  // at speeds[j - first body of the range] (null: not kept).
  BodySpeeds* speeds = nullptr;
};

// How a run integrates its pairs: the classic 10 x 10 rule (accuracy 0, the default) or the
// accurate integrator (kernel/accurate/accurate_pair.h) to a requested relative accuracy. In
// the accurate mode a divergent pair stores NaN as its p_coll and impact speed: it has no
// finite value, and the frame summary leaves it out of every sum.
struct PairMode {
  double accuracy = 0.0;                // relative accuracy of P_i, (0, 0.1]; 0: classic
  double min_mutual_inclination = 0.0;  // radians, [0, pi/2] (accurate mode only; 0: off)
  // Classic mode: count the pairs whose 10 x 10 value the criterion flags (the run's notice,
  // the tables). Costs one cheap test per pair; off where nothing reads the counts.
  bool classic_check = false;
  // Every term also binned by speed into the bodies' distributions (n = 0: off).
  SpeedBinning speed_bins;
  bool accurate() const { return accuracy > 0.0; }
  bool speeds() const { return speed_bins.n > 0; }
};

// Evaluates every pair (swept body j, population-1 orbit k) for j in `bodies`
// (the prepared orbits of the bodies the frame's plan sweeps, in plan order)
// and k in `population1`, with 10 nodes over the node difference and 10 over
// the true anomaly, and stores p_coll at proba[j * n1 + k] and v_imp_mean at
// impvel[j * n1 + k] (n1 = population1.size()). The speeds are preset to 0
// before each pair, so a disjoint pair stores 0 and 0. Returns the number of
// pairs for which no overlap case held; the caller writes the no-case message
// that many times, before the frame line.
//
// threads <= 0: all cores (OpenMP's default team, which honours
// OMP_NUM_THREADS). The stored values and the count never depend on the number
// of threads: every pair is evaluated alone and writes only its own slots.
// Allocates nothing.
std::int64_t evaluate_pairs(std::span<const PreparedOrbit> population1,
                            std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                            int threads = 0, const PairMode& mode = {});

// As evaluate_pairs, for the pairs [begin, end) of the flattened index j * n1 + k only; pair i
// is stored at slots.proba[i - begin] and slots.impvel[i - begin]. Lets a frame's pairs be
// shared out in pieces (to other processes) with the same values as one evaluation. This is
// the one pair evaluation of the program: the serial evaluator and every MPI rank call it.
// With mode.accurate(), every pair is integrated by accurate_pair instead of the 10 x 10 rule
// (its error estimate in slots.error when not null, NaN values for a divergent pair), and no
// pair counts as a no-case pair (ranges that only touch give P_i = 0 there).
// With mode.speeds() and slots.speeds, [begin, end) must hold whole bodies (multiples of n1):
// each body's row is evaluated by one thread with the speed-binning kernel
// (evaluate_bodies_with_speeds), the same p_coll and impact speeds to the bit.
std::int64_t evaluate_pair_range(std::span<const PreparedOrbit> population1,
                                 std::span<const PreparedOrbit> bodies, double v_esc,
                                 PairSlots slots, std::int64_t begin, std::int64_t end,
                                 int threads = 0, const PairMode& mode = {});

}  // namespace pairtrack::detail
