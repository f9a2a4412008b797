// Turns a frame's per-pair values into its result: the frame statistics (mean and sample
// deviation of the probabilities, probability-weighted mean and deviation of the impact
// speeds), the count of pairs that can collide, and each swept body's summary. One pass per
// statistic over the stored values; nothing is evaluated again.
#pragma once

#include <span>

#include "engine/frame_job.h"
#include "engine/pair_evaluation.h"
#include "kernel/fast/fast_kernel.h"

namespace pairtrack::detail {

// Impact speeds at or below this (km/s) do not count as an impact.
inline constexpr double kImpactThreshold = 1e-8;

// `proba` and `impvel` hold the job's pairs, body by body, each body's n1 pairs in catalogue
// order. `no_case` is carried into the result. `result.bodies` is resized to the job's bodies
// (its capacity is kept from frame to frame).
//
// `checks` (optional) adds the mode's counts: with mode.classic_check the criterion of
// kernel/accurate/classic_criterion.h on every pair (population1 against the job's bodies,
// v_esc in km/s); in the accurate mode, `error` holds the pairs' error estimates and a NaN
// p_coll marks a divergent pair, which enters no sum, no mean and not n_proba.
struct FrameChecks {
  std::span<const PreparedOrbit> population1;
  double v_esc = 0.0;
  PairMode mode;
  const double* error = nullptr;
  int threads = 0;  // for the classic check, spread over the bodies (0: OpenMP's default team)
};
void summarise_frame(const FrameJob& job, const double* proba, const double* impvel,
                     std::int64_t no_case, FrameResult& result,
                     const FrameChecks* checks = nullptr);

}  // namespace pairtrack::detail
