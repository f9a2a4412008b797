// The sequential plan of one frame's pair sweep: which positions are swept and which bodies the
// perihelion test removes. Removal depends only on the perihelion, q_crit, p_crit and the random
// generator, never on a kernel result, so the whole plan is known before the first pair is
// evaluated.
#pragma once

#include <cstdint>

#include "engine/frame_job.h"
#include "engine/run_parameters.h"

namespace pairtrack::detail {

// Last position the sweep visits: min(n2, n2_max).
std::int32_t sweep_upper_end(std::int32_t n2, std::int32_t n2_max);

// Walks positions n2_min .. min(n2, n2_max) in ascending order, exactly as a single sweep loop
// would:
//  - a body whose identifier is flagged in istat is skipped (no pairs, no draw);
//  - otherwise it is appended to job.bodies (position, identifier, elements), and when its
//    perihelion q = (a2 / cm per AU) (1 - e2) lies strictly below q_crit one number is drawn
//    from ran1(iseed); a draw <= p_crit removes the body from the next position on
//    (istat = 1, and the body's `removed` flag).
// a2 is in centimetres, inc2 in radians. Identifiers of the visited positions must lie in
// 1 .. 30000 (checked by the caller). job.bodies is cleared first; job.removed_total grows by
// the removals.
void plan_sweep(RunParameters& params, const double a2[], const double e2[], const double inc2[],
                const std::int32_t ids[], std::int32_t n2, std::int32_t istat[], FrameJob& job);

}  // namespace pairtrack::detail
