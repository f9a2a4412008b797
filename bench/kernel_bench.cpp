// Kernel and sweep benchmarks: nanoseconds per pair of the reference and the
// fast kernel on one thread, and pairs per second of the whole-frame pair
// evaluation on one thread and on all threads, with the ratios in a summary.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kernel/fast_kernel.h"
#include "kernel/gaussorb.h"
#include "run/pair_evaluation.h"
#include "workload.h"

namespace pairtrack::bench {
namespace {

constexpr int kNodes = 10;  // the program's node counts

struct Workload {
  std::vector<Orbit> population, bodies;
  std::vector<PreparedOrbit> prepared_population, prepared_bodies;
  std::int64_t pairs() const {
    return static_cast<std::int64_t>(population.size() * bodies.size());
  }
};

Workload make_workload(std::size_t n_population, std::size_t n_bodies, std::uint64_t seed) {
  Workload w;
  w.population = main_belt_orbits(n_population, seed);
  w.bodies = main_belt_orbits(n_bodies, seed + 1);
  for (const Orbit& o : w.population) w.prepared_population.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  for (const Orbit& o : w.bodies) w.prepared_bodies.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  return w;
}

// 20000 pairs for the single-pair kernels, 300000 for the frame sweep.
const Workload& kernel_workload() {
  static const Workload w = make_workload(1000, 20, 1001);
  return w;
}
const Workload& sweep_workload() {
  static const Workload w = make_workload(3000, 100, 2002);
  return w;
}

void set_pair_counters(benchmark::State& state, std::int64_t pairs) {
  const double n = static_cast<double>(pairs);
  state.counters["ns_per_pair"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["pairs_per_s"] =
      benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReferenceKernel(benchmark::State& state) {
  const Workload& w = kernel_workload();
  for (auto _ : state) {
    for (const Orbit& b : w.bodies) {
      for (const Orbit& o : w.population) {
        double p = 0.0, v = 0.0, v2 = 0.0, vi = 0.0;
        gaussorb(o.a_cm, o.e, o.inc, b.a_cm, b.e, b.inc, p, v, v2, vi, kNodes, kNodes, 0.0);
        benchmark::DoNotOptimize(p);
        benchmark::DoNotOptimize(vi);
      }
    }
  }
  set_pair_counters(state, w.pairs());
}

void fast_kernel(benchmark::State& state, SimdPath path) {
  const Workload& w = kernel_workload();
  const FastRules rules(kNodes, kNodes);
  std::vector<PairOutputs> out(w.population.size());
  for (auto _ : state) {
    for (const PreparedOrbit& b : w.prepared_bodies) {
      fast_gaussorb_row(rules, w.prepared_population, b, 0.0, out.data(), nullptr, path);
      benchmark::DoNotOptimize(out.data());
    }
  }
  set_pair_counters(state, w.pairs());
}
void BM_FastKernel(benchmark::State& state) { fast_kernel(state, SimdPath::kAuto); }
void BM_FastKernelScalar(benchmark::State& state) { fast_kernel(state, SimdPath::kScalar); }

// Arg: the thread count handed to evaluate_pairs (0 = all cores).
void BM_EvaluatePairs(benchmark::State& state) {
  const Workload& w = sweep_workload();
  std::vector<double> proba(static_cast<std::size_t>(w.pairs()));
  std::vector<double> impvel(proba.size());
  for (auto _ : state) {
    const std::int64_t no_case =
        evaluate_pairs(w.prepared_population, w.prepared_bodies, 0.0,
                       PairSlots{proba.data(), impvel.data()}, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(no_case);
    benchmark::DoNotOptimize(proba.data());
  }
  set_pair_counters(state, w.pairs());
}

BENCHMARK(BM_ReferenceKernel)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FastKernel)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FastKernelScalar)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_EvaluatePairs)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

// The console output, plus each run's counters kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto counter = [&run](const char* name) {
        const auto it = run.counters.find(name);
        return it == run.counters.end() ? 0.0 : it->second.value;
      };
      // Keyed by function and arguments, without the timing options.
      std::string key = run.run_name.function_name;
      if (!run.run_name.args.empty()) key += "/" + run.run_name.args;
      ns_per_pair[key] = counter("ns_per_pair");
      pairs_per_s[key] = counter("pairs_per_s");
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ns_per_pair, pairs_per_s;
};

double ratio(double num, double den) { return den > 0.0 ? num / den : 0.0; }

void print_summary(SummaryReporter& r) {
  const PairMix kmix = classify_pairs(kernel_workload().population, kernel_workload().bodies);
  const PairMix smix = classify_pairs(sweep_workload().population, sweep_workload().bodies);
  std::printf("\nWorkload: main-belt-like orbits, a 1.5-4.5 AU, e 0-0.4, i 0-35 deg, v_esc 0, "
              "10 x 10 nodes\n");
  std::printf("  kernel: %lld pairs (%lld crossing, %lld nested, %lld disjoint, %lld no case)\n",
              static_cast<long long>(kernel_workload().pairs()),
              static_cast<long long>(kmix.crossing), static_cast<long long>(kmix.nested),
              static_cast<long long>(kmix.disjoint), static_cast<long long>(kmix.no_case));
  std::printf("  sweep:  %lld pairs (%lld crossing, %lld nested, %lld disjoint, %lld no case)\n",
              static_cast<long long>(sweep_workload().pairs()),
              static_cast<long long>(smix.crossing), static_cast<long long>(smix.nested),
              static_cast<long long>(smix.disjoint), static_cast<long long>(smix.no_case));
  const double ref = r.ns_per_pair["BM_ReferenceKernel"];
  const double fast = r.ns_per_pair["BM_FastKernel"];
  const double scalar = r.ns_per_pair["BM_FastKernelScalar"];
  std::printf("Single thread, ns per pair:\n");
  std::printf("  reference kernel          %10.1f\n", ref);
  std::printf("  fast kernel (%s)       %10.1f   %.2fx the reference\n",
              avx2_supported() ? "AVX2" : "auto", fast, ratio(ref, fast));
  std::printf("  fast kernel (scalar)      %10.1f   %.2fx the reference\n", scalar,
              ratio(ref, scalar));
  const double one = r.pairs_per_s["BM_EvaluatePairs/threads:1"];
  const double all = r.pairs_per_s["BM_EvaluatePairs/threads:0"];
  std::printf("Frame pair evaluation, pairs per second:\n");
  std::printf("  1 thread                  %10.0f\n", one);
  std::printf("  all threads (%u cores)     %10.0f   %.2fx one thread\n",
              std::thread::hardware_concurrency(), all, ratio(all, one));
}

}  // namespace
}  // namespace pairtrack::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  pairtrack::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  pairtrack::bench::print_summary(reporter);
  benchmark::Shutdown();
  return 0;
}
