// The sequential share of a split frame on rank 0 of pairtrack-mpi: the frame statistics
// formed from the per-pair arrays. Times, on one thread, median of 5:
//   avg_dev and avg_dev_pw over 10^7 values (the two extended-precision passes), and
//   summarise_frame on a maximal frame (333 bodies x 30000 orbits: both passes plus the
//   per-body sums), in ns per pair.
// Usage: frame_stats_bench
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/frame_summary.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"
#include "workload.h"

namespace {

template <class F>
double median_seconds(F f) {
  std::vector<double> times;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[2];
}

}  // namespace

int main() {
  constexpr std::int32_t n1 = pairtrack::kPopulationCapacity, bodies = 333;
  constexpr std::int64_t pairs = std::int64_t{n1} * bodies;
  pairtrack::detail::bench::SplitMix64 random(7);
  std::vector<double> proba(pairs), impvel(pairs);
  for (std::int64_t k = 0; k < pairs; ++k) {
    const bool hit = random.uniform(0.0, 1.0) < 0.6;  // about the main belt's share of hits
    proba[k] = hit ? random.uniform(0.0, 20.0) : 0.0;
    impvel[k] = hit ? random.uniform(1.0, 12.0) : 0.0;
  }
  double mean = 0, sigma = 0, sink = 0;
  const auto n = static_cast<std::int32_t>(pairtrack::kPairCapacity);
  std::vector<double> x(proba.begin(), proba.begin() + std::min<std::int64_t>(n, pairs));
  x.resize(n, 1.0);
  std::vector<double> w(impvel.begin(), impvel.begin() + std::min<std::int64_t>(n, pairs));
  w.resize(n, 1.0);
  const double t_dev = median_seconds([&] {
    pairtrack::detail::avg_dev(x.data(), n, mean, sigma);
    sink += mean + sigma;
  });
  const double t_dev_pw = median_seconds([&] {
    pairtrack::detail::avg_dev_pw(w.data(), x.data(), n, mean, sigma);
    sink += mean + sigma;
  });

  pairtrack::detail::FrameJob job;
  job.n1 = n1;
  job.n2 = bodies;
  job.bodies.resize(bodies);
  for (std::int32_t b = 0; b < bodies; ++b) job.bodies[b].position = job.bodies[b].id = b + 1;
  pairtrack::detail::FrameResult result;
  const double t_summary = median_seconds([&] {
    pairtrack::detail::summarise_frame(job, proba.data(), impvel.data(), 0, result);
    sink += result.figures.proba_mean;
  });

  std::printf("frame statistics on one thread (median of 5)\n");
  std::printf("  avg_dev over 10^7 values:    %.3f s = %.2f ns per value\n", t_dev,
              t_dev / n * 1e9);
  std::printf("  avg_dev_pw over 10^7 values: %.3f s = %.2f ns per value\n", t_dev_pw,
              t_dev_pw / n * 1e9);
  std::printf("  summarise_frame, %lld pairs: %.3f s = %.2f ns per pair\n",
              static_cast<long long>(pairs), t_summary,
              t_summary / static_cast<double>(pairs) * 1e9);
  return sink == 12345.0 ? 1 : 0;  // keeps the results alive
}
