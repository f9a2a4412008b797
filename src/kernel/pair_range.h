// Pairs of two prepared populations evaluated by the fast kernel over threads, in fixed
// chunks of the flattened index i = j * n1 + k (orbit k of population 1 against orbit j of
// population 2, n1 orbits in population 1). Threads take chunks as they become free and every
// pair is evaluated alone, so neither the chunking nor the thread count can change a bit. The
// frame evaluation of a run and the public kernel calls both go through here.
#pragma once

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kernel/fast/fast_kernel.h"
#include "kernel/fast/fast_rules.h"

namespace pairtrack::detail {

// Pairs per chunk: large enough to amortise the scheduling, small enough to balance bodies
// with many and few overlapping orbits.
inline constexpr std::int64_t kChunkPairs = 256;

// Threads of a pair evaluation: `threads`, or all cores (OpenMP's default team, which honours
// OMP_NUM_THREADS) when it is 0 or less.
inline int pair_team_size(int threads) { return threads > 0 ? threads : omp_get_max_threads(); }

// Hands the speed distributions of a row's pair k on to `to` as pair first + k of the
// flattened index.
template <class SpeedStore>
struct RowSpeedSink final : PairSpeedSink {
  const SpeedStore* to = nullptr;
  std::int64_t first = 0;
  void pair(std::size_t k, int lo, int hi, const double* impact, const double* encounter) override {
    (*to)(first + static_cast<std::int64_t>(k), lo, hi, impact, encounter);
  }
};

// The chunk loop of both calls below; with a speed request each row also bins its terms.
template <class Store, class SpeedStore>
std::int64_t evaluate_pair_chunks_with(std::span<const PreparedOrbit> population1,
                                       std::span<const PreparedOrbit> population2, double v_esc,
                                       std::int64_t begin, std::int64_t end, int threads,
                                       const Store& store, const SpeedBinning* bins,
                                       const SpeedStore& speed_store,
                                       const std::atomic<bool>* cancel) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  if (end <= begin || n1 == 0) return 0;
  const FastRules& rules = program_rules();
  const std::int64_t n_chunks = (end - begin + kChunkPairs - 1) / kChunkPairs;
  std::int64_t no_case = 0;
#pragma omp parallel for schedule(dynamic, 1) num_threads(pair_team_size(threads)) \
    reduction(+ : no_case)
  for (std::int64_t c = 0; c < n_chunks; ++c) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) continue;
    PairResult out[kChunkPairs];
    const std::int64_t last = std::min(end, begin + (c + 1) * kChunkPairs);
    for (std::int64_t i = begin + c * kChunkPairs; i < last;) {
      const std::int64_t j = i / n1;
      const std::int64_t k0 = i % n1;
      const std::int64_t count = std::min(last - i, n1 - k0);
      for (std::int64_t q = 0; q < count; ++q) out[q] = PairResult{};
      const std::span<const PreparedOrbit> row =
          population1.subspan(static_cast<std::size_t>(k0), static_cast<std::size_t>(count));
      const PreparedOrbit& body = population2[static_cast<std::size_t>(j)];
      if (bins != nullptr) {
        // Pair k of the row is pair i + k of the flattened index.
        RowSpeedSink<SpeedStore> sink;
        sink.to = &speed_store;
        sink.first = i;
        no_case +=
            fast_gaussorb_row_speeds(rules, row, body, v_esc, out, SpeedRequest{bins, &sink});
      } else {
        no_case += fast_gaussorb_row(rules, row, body, v_esc, out);
      }
      store(i, j, k0, count, static_cast<const PairResult*>(out));
      i += count;
    }
  }
  return no_case;
}

// Evaluates the pairs [begin, end) of the flattened index with the program's rules, in rows
// that share the orbit of population 2. Every row goes to
//   store(first, j, k0, count, out)
// with the outputs of pairs first .. first + count - 1 (orbits k0 .. k0 + count - 1 of
// population 1 against orbit j of population 2) in out[0 .. count - 1]; the speeds are preset
// to 0, so a disjoint pair gives 0 in every output. `store` is called from several threads at
// once, each time for different pairs. Once `cancel` (when not null) reads true, the chunks
// not yet begun are skipped (an OpenMP loop cannot be left). Returns the number of pairs that
// fit no overlap case among those evaluated.
template <class Store>
std::int64_t evaluate_pair_chunks(std::span<const PreparedOrbit> population1,
                                  std::span<const PreparedOrbit> population2, double v_esc,
                                  std::int64_t begin, std::int64_t end, int threads,
                                  const Store& store, const std::atomic<bool>* cancel = nullptr) {
  const auto no_speeds = [](std::int64_t, int, int, const double*, const double*) {};
  return evaluate_pair_chunks_with(population1, population2, v_esc, begin, end, threads, store,
                                   nullptr, no_speeds, cancel);
}

// evaluate_pair_chunks, and every pair's speed distributions (PairSpeedSink) also go to
//   speed_store(i, lo, hi, impact, encounter)
// (i the pair's flattened index), before the row's store; from several threads at once, each
// pair once, the pairs of a row in order.
template <class Store, class SpeedStore>
std::int64_t evaluate_pair_chunks_speeds(std::span<const PreparedOrbit> population1,
                                         std::span<const PreparedOrbit> population2, double v_esc,
                                         std::int64_t begin, std::int64_t end, int threads,
                                         const SpeedBinning& bins, const Store& store,
                                         const SpeedStore& speed_store,
                                         const std::atomic<bool>* cancel = nullptr) {
  return evaluate_pair_chunks_with(population1, population2, v_esc, begin, end, threads, store,
                                   &bins, speed_store, cancel);
}

}  // namespace pairtrack::detail
