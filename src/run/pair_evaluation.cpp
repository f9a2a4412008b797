// Pair evaluation of one frame over all cores. The pairs are cut into fixed
// chunks of the flattened (body, orbit) index; threads take chunks as they
// become free, and each pair writes only its own two slots, so neither the
// chunking nor the thread count can change a stored bit.
#include "run/pair_evaluation.h"

#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "kernel/accurate/accurate_pair.h"

namespace pairtrack {

namespace {

// Pairs per chunk: large enough to amortise the scheduling, small enough to
// balance bodies with many and few overlapping orbits.
constexpr std::int64_t kChunkPairs = 256;

// Pairs [begin, end) of the flattened index j * n1 + k; pair i goes to slot i - origin.
std::int64_t evaluate_chunk(const FastRules& rules, std::span<const PreparedOrbit> population1,
                            std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                            std::int64_t origin, std::int64_t begin, std::int64_t end) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  PairOutputs out[kChunkPairs];
  std::int64_t no_case = 0;
  std::int64_t i = begin;
  while (i < end) {
    const std::int64_t j = i / n1;
    const std::int64_t k0 = i % n1;
    const std::int64_t count = std::min(end - i, n1 - k0);
    for (std::int64_t q = 0; q < count; ++q) out[q] = PairOutputs{};  // speeds preset to 0
    no_case += fast_gaussorb_row(
        rules, population1.subspan(static_cast<std::size_t>(k0), static_cast<std::size_t>(count)),
        bodies[static_cast<std::size_t>(j)], v_esc, out);
    for (std::int64_t q = 0; q < count; ++q) {
      slots.proba[i - origin + q] = out[q].p_coll;
      slots.impvel[i - origin + q] = out[q].v_imp_mean;
    }
    i += count;
  }
  return no_case;
}

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

const FastRules& program_rules() {
  static const FastRules rules(10, 10);
  return rules;
}

std::int64_t evaluate_pair_range(std::span<const PreparedOrbit> population1,
                                 std::span<const PreparedOrbit> bodies, double v_esc,
                                 PairSlots slots, std::int64_t begin, std::int64_t end,
                                 int threads, const PairMode& mode) {
  if (end <= begin || population1.empty()) return 0;
  const int team_size = threads > 0 ? threads : omp_get_max_threads();
  if (mode.accurate()) {
    kernel::AccurateOptions options;
    options.rel = mode.accuracy;
    options.min_mutual_inclination = mode.min_mutual_inclination;
    // Pairs cost from a few hundred to many thousand points: small chunks balance them.
    constexpr std::int64_t kAccurateChunk = 16;
    const std::int64_t n = (end - begin + kAccurateChunk - 1) / kAccurateChunk;
#pragma omp parallel for schedule(dynamic, 1) num_threads(team_size)
    for (std::int64_t c = 0; c < n; ++c) {
      const std::int64_t first = begin + c * kAccurateChunk;
      evaluate_chunk_accurate(population1, bodies, v_esc, slots, begin, first,
                              std::min(end, first + kAccurateChunk), options);
    }
    return 0;
  }
  const FastRules& rules = program_rules();
  const std::int64_t n_chunks = (end - begin + kChunkPairs - 1) / kChunkPairs;
  const int team = threads > 0 ? threads : omp_get_max_threads();
  std::int64_t no_case = 0;
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) reduction(+ : no_case)
  for (std::int64_t c = 0; c < n_chunks; ++c) {
    const std::int64_t first = begin + c * kChunkPairs;
    const std::int64_t last = std::min(end, first + kChunkPairs);
    no_case += evaluate_chunk(rules, population1, bodies, v_esc, slots, begin, first, last);
  }
  return no_case;
}

std::int64_t evaluate_pairs(std::span<const PreparedOrbit> population1,
                            std::span<const PreparedOrbit> bodies, double v_esc, PairSlots slots,
                            int threads, const PairMode& mode) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  return evaluate_pair_range(population1, bodies, v_esc, slots, 0,
                             n1 * static_cast<std::int64_t>(bodies.size()), threads, mode);
}

}  // namespace pairtrack
