// Turns a frame's per-pair values into its result: the frame statistics (mean and sample
// deviation of the probabilities, probability-weighted mean and deviation of the impact
// speeds), the count of pairs that can collide, and each swept body's summary. One pass per
// statistic over the stored values; nothing is evaluated again.
#pragma once

#include "engine/frame_job.h"

namespace pairtrack::detail {

// Impact speeds at or below this (km/s) do not count as an impact.
inline constexpr double kImpactThreshold = 1e-8;

// `proba` and `impvel` hold the job's pairs, body by body, each body's n1 pairs in catalogue
// order. `no_case` is carried into the result. `result.bodies` is resized to the job's bodies
// (its capacity is kept from frame to frame).
void summarise_frame(const FrameJob& job, const double* proba, const double* impvel,
                     std::int64_t no_case, FrameResult& result);

}  // namespace pairtrack::detail
