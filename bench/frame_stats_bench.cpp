// The frame statistics against the pair evaluation, for the scaling model of pairtrack-mpi: a
// rank that holds a whole frame evaluates its pairs on T threads and then forms the frame's
// statistics, whose two ordered long-double passes (avg_dev and avg_dev_pw, in pair order, run
// at the same time on two threads) cannot be shared out without changing the last bits; only
// the bodies' sums spread over the threads. Benchmarks, ns per pair:
//   BM_Kernel        the pairs of a main-belt frame evaluated on one thread (c)
//   BM_AvgDev        avg_dev over the probabilities of a maximal frame (333 x 30000 pairs)
//   BM_AvgDevPw      avg_dev_pw over the same values
//   BM_Summary/T     summarise_frame on that frame, T threads
// then the model: per pair, a rank of T threads spends c / T on the kernel and
// s(T) = max(avg_dev, avg_dev_pw) + (summary on one thread - both passes) / T on the
// statistics, so its efficiency is (c / T) / (c / T + s(T)); beside it the efficiency with the
// whole statistics on one thread (summary on one thread = s(1)).
// Usage: frame_stats_bench [Google Benchmark options]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/frame_summary.h"
#include "engine/pair_evaluation.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"
#include "workload.h"

namespace {

using namespace pairtrack::detail;

constexpr std::int32_t kOrbits = pairtrack::kPopulationCapacity, kBodies = 333;
constexpr std::int64_t kPairs = std::int64_t{kOrbits} * kBodies;

// A maximal frame's values: about the main belt's share of hits, probabilities and speeds in
// their usual ranges.
struct Frame {
  std::vector<double> proba, impvel;
  FrameJob job;
  Frame() : proba(kPairs), impvel(kPairs) {
    bench::SplitMix64 random(7);
    for (std::int64_t k = 0; k < kPairs; ++k) {
      const bool hit = random.uniform(0.0, 1.0) < 0.6;
      proba[k] = hit ? random.uniform(0.0, 20.0) : 0.0;
      impvel[k] = hit ? random.uniform(1.0, 12.0) : 0.0;
    }
    job.n1 = kOrbits;
    job.n2 = kBodies;
    job.bodies.resize(kBodies);
    for (std::int32_t b = 0; b < kBodies; ++b) job.bodies[b].position = job.bodies[b].id = b + 1;
  }
};

const Frame& frame() {
  static const Frame f;
  return f;
}

// Wall-clock ns per pair over the benchmark's iterations (its own timer: the threads count).
class PerPair {
 public:
  explicit PerPair(benchmark::State& state) : state_(state) {}
  ~PerPair() {
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    state_.counters["ns_per_pair"] =
        s * 1e9 / (static_cast<double>(pairs) * static_cast<double>(state_.iterations()));
  }
  std::int64_t pairs = kPairs;

 private:
  benchmark::State& state_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

void BM_Kernel(benchmark::State& state) {
  const std::vector<bench::Orbit> population = bench::main_belt_orbits(300, 11);
  const std::vector<bench::Orbit> bodies = bench::main_belt_orbits(40, 12);
  std::vector<PreparedOrbit> p1, p2;
  for (const bench::Orbit& o : population) p1.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  for (const bench::Orbit& o : bodies) p2.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  const std::int64_t pairs = std::int64_t{300} * 40;
  std::vector<double> proba(pairs), impvel(pairs);
  PerPair timer(state);
  timer.pairs = pairs;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        evaluate_pairs(p1, p2, 0.0, PairSlots{proba.data(), impvel.data()}, 1));
  }
}
BENCHMARK(BM_Kernel)->Repetitions(5)->ReportAggregatesOnly(false)->Unit(benchmark::kMillisecond);

// One of the frame's mean-and-deviation statistics, `stat(frame, n, mean, sigma)`, per pair.
template <class Stat>
void bench_mean_deviation(benchmark::State& state, Stat stat) {
  const Frame& f = frame();
  double mean = 0, sigma = 0;
  const auto n = static_cast<std::int32_t>(kPairs);
  PerPair timer(state);
  for (auto _ : state) {
    stat(f, n, mean, sigma);
    benchmark::DoNotOptimize(mean + sigma);
  }
}

void BM_AvgDev(benchmark::State& state) {
  bench_mean_deviation(state, [](const Frame& f, std::int32_t n, double& mean, double& sigma) {
    avg_dev(f.proba.data(), n, mean, sigma);
  });
}
BENCHMARK(BM_AvgDev)->Repetitions(5)->ReportAggregatesOnly(false)->Unit(benchmark::kMillisecond);

void BM_AvgDevPw(benchmark::State& state) {
  bench_mean_deviation(state, [](const Frame& f, std::int32_t n, double& mean, double& sigma) {
    avg_dev_pw(f.impvel.data(), f.proba.data(), n, mean, sigma);
  });
}
BENCHMARK(BM_AvgDevPw)->Repetitions(5)->ReportAggregatesOnly(false)->Unit(benchmark::kMillisecond);

void BM_Summary(benchmark::State& state) {
  const Frame& f = frame();
  const FrameChecks checks{{}, 0.0, PairMode{}, nullptr, static_cast<int>(state.range(0))};
  FrameResult result;
  PerPair timer(state);
  for (auto _ : state) {
    summarise_frame(f.job, f.proba.data(), f.impvel.data(), 0, result, &checks);
    benchmark::DoNotOptimize(result.figures.proba_mean);
  }
}
BENCHMARK(BM_Summary)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Keeps every repetition's ns per pair, keyed by benchmark name.
class ModelReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto it = run.counters.find("ns_per_pair");
      if (it != run.counters.end()) ns[run.benchmark_name()].push_back(it->second.value);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // The fastest repetition: other work on the machine only ever adds time.
  double fastest_ns(const std::string& name) const {
    const auto it = ns.find(name);
    if (it == ns.end() || it->second.empty()) return 0.0;
    return *std::min_element(it->second.begin(), it->second.end());
  }

 private:
  std::map<std::string, std::vector<double>> ns;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ModelReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double c = reporter.fastest_ns("BM_Kernel");
  const double dev = reporter.fastest_ns("BM_AvgDev");
  const double dev_pw = reporter.fastest_ns("BM_AvgDevPw");
  const double one = reporter.fastest_ns("BM_Summary/threads:1/real_time");
  const double two = reporter.fastest_ns("BM_Summary/threads:2/real_time");
  if (c <= 0.0 || dev <= 0.0 || dev_pw <= 0.0 || one <= 0.0) return 0;  // filtered out
  const double ordered = std::max(dev, dev_pw);
  const double spread = std::max(0.0, one - dev - dev_pw);
  std::printf(
      "\nmeasured per pair (fastest of 5): kernel c = %.0f ns on one thread; statistics %.2f ns on "
      "one thread (avg_dev %.2f, avg_dev_pw %.2f, bodies' sums %.2f)",
      c, one, dev, dev_pw, spread);
  if (two > 0.0) std::printf(", %.2f ns on two threads", two);
  std::printf("\nsequential share per pair: %.2f ns (the longer ordered pass)\n", ordered);
  std::printf(
      "modelled efficiency of a rank evaluating whole frames, kernel / (kernel + "
      "statistics):\n");
  for (const int t : {1, 2, 8, 16, 32, 64}) {
    const double kernel = c / t;
    const double now = ordered + spread / t;
    std::printf("  %2d threads: %.3f   (statistics on one thread: %.3f)\n", t,
                kernel / (kernel + now), kernel / (kernel + one));
  }
  return 0;
}
