// Pair evaluation of one frame over all cores: the kernel's chunked pair evaluation (the
// classic 10 x 10 rule) or the accurate integrator, with each pair's probability and impact
// speed (and, in the accurate mode, its error estimate) stored in its own slots.
#include "engine/pair_evaluation.h"

#include <omp.h>

#include <algorithm>

#include "kernel/accurate/accurate_pair.h"
#include "kernel/pair_range.h"

namespace pairtrack::detail {

namespace {

// The accurate mode: pair i (of the flattened index) goes to slot i - origin. One pair, one
// thread, a fixed order: the bits do not depend on the chunking or the thread count.
void evaluate_chunk_accurate(std::span<const PreparedOrbit> population1,
                             std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                             std::int64_t origin, std::int64_t begin, std::int64_t end,
                             const kernel::AccurateOptions& options) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  for (std::int64_t i = begin; i < end; ++i) {
    const PreparedOrbit& o1 = population1[static_cast<std::size_t>(i % n1)];
    const PreparedOrbit& o2 = bodies[static_cast<std::size_t>(i / n1)];
    const kernel::AccurateResult r =
        kernel::accurate_pair(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc, v_esc, options);
    slots.proba[i - origin] = r.p_coll;  // NaN when divergent
    slots.impvel[i - origin] = r.v_imp_mean;
    if (slots.error != nullptr) slots.error[i - origin] = r.p_coll_error;
  }
}

}  // namespace

std::int64_t evaluate_pair_range(std::span<const PreparedOrbit> population1,
                                 std::span<const PreparedOrbit> bodies, double v_esc,
                                 PairSlots slots, std::int64_t begin, std::int64_t end, int threads,
                                 const PairMode& mode) {
  if (end <= begin || population1.empty()) return 0;
  const auto n1 = static_cast<std::int64_t>(population1.size());
  if (mode.speeds() && slots.speeds != nullptr && begin % n1 == 0 && end % n1 == 0) {
    return evaluate_bodies_with_speeds(population1, bodies, v_esc, mode, begin / n1, end / n1,
                                       slots.proba, slots.impvel, slots.error, slots.speeds,
                                       threads);
  }
  if (mode.accurate()) {
    kernel::AccurateOptions options;
    options.rel = mode.accuracy;
    options.min_mutual_inclination = mode.min_mutual_inclination;
    const int team = threads > 0 ? threads : omp_get_max_threads();
    // Pairs cost from a few hundred to many thousand points: small chunks balance them.
    constexpr std::int64_t kAccurateChunk = 16;
    const std::int64_t n = (end - begin + kAccurateChunk - 1) / kAccurateChunk;
#pragma omp parallel for schedule(dynamic, 1) num_threads(team)
    for (std::int64_t c = 0; c < n; ++c) {
      const std::int64_t first = begin + c * kAccurateChunk;
      evaluate_chunk_accurate(population1, bodies, v_esc, slots, begin, first,
                              std::min(end, first + kAccurateChunk), options);
    }
    return 0;
  }
  return evaluate_pair_chunks(population1, bodies, v_esc, begin, end, threads,
                              [&](std::int64_t first, std::int64_t, std::int64_t,
                                  std::int64_t count, const PairResult* out) {
                                for (std::int64_t q = 0; q < count; ++q) {
                                  slots.proba[first - begin + q] = out[q].p_coll;
                                  slots.impvel[first - begin + q] = out[q].v_imp_mean;
                                }
                              });
}

std::int64_t evaluate_pairs(std::span<const PreparedOrbit> population1,
                            std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                            int threads, const PairMode& mode) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  return evaluate_pair_range(population1, bodies, v_esc, slots, 0,
                             n1 * static_cast<std::int64_t>(bodies.size()), threads, mode);
}

}  // namespace pairtrack::detail
