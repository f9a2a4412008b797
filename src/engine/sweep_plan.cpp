// Planning a frame's sweep: alive bodies in position order, perihelion draws and removals in
// the same order as the pair loop would make them.
#include "engine/sweep_plan.h"

#include <algorithm>

#include "engine/run_storage.h"
#include "stats/ran1.h"

namespace pairtrack::detail {

std::int32_t sweep_upper_end(std::int32_t n2, std::int32_t n2_max) { return std::min(n2, n2_max); }

void plan_sweep(RunParameters& params, const double a2[], const double e2[], const double inc2[],
                const std::int32_t ids[], std::int32_t n2, std::int32_t istat[], FrameJob& job) {
  job.bodies.clear();
  const std::int32_t upper = sweep_upper_end(n2, params.n2_max);
  for (std::int32_t j = params.n2_min; j <= upper; ++j) {
    std::int32_t& flag = istat[ids[j - 1] - 1];
    if (flag != 0) continue;  // removed earlier: skipped entirely
    SweptBody body;
    body.position = j;
    body.id = ids[j - 1];
    body.a_cm = a2[j - 1];
    body.e = e2[j - 1];
    body.inc = inc2[j - 1];
    // Perihelion in AU; the removal takes effect from the next position on.
    const double q = (a2[j - 1] / kCentimetresPerAu) * (1.0 - e2[j - 1]);
    if (params.q_crit > q) {
      body.drawn = true;
      body.draw = ran1(params.iseed);
      if (body.draw <= params.p_crit) {
        flag = 1;
        body.removed = true;
        ++job.removed_total;
      }
    }
    job.bodies.push_back(body);
  }
}

}  // namespace pairtrack::detail
