// Pair evaluation of one frame over all cores: the kernel's chunked pair evaluation, with each
// pair's probability and impact speed stored in its own two slots.
#include "engine/pair_evaluation.h"

#include "kernel/pair_range.h"

namespace pairtrack::detail {

std::int64_t evaluate_pair_range(std::span<const PreparedOrbit> population1,
                                 std::span<const PreparedOrbit> bodies, double v_esc,
                                 PairSlots slots, std::int64_t begin, std::int64_t end,
                                 int threads) {
  return evaluate_pair_chunks(
      population1, bodies, v_esc, begin, end, threads,
      [&](std::int64_t first, std::int64_t, std::int64_t, std::int64_t count,
          const PairResult* out) {
        for (std::int64_t q = 0; q < count; ++q) {
          slots.proba[first - begin + q] = out[q].p_coll;
          slots.impvel[first - begin + q] = out[q].v_imp_mean;
        }
      });
}

std::int64_t evaluate_pairs(std::span<const PreparedOrbit> population1,
                            std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                            int threads) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  return evaluate_pair_range(population1, bodies, v_esc, slots, 0,
                             n1 * static_cast<std::int64_t>(bodies.size()), threads);
}

}  // namespace pairtrack::detail
