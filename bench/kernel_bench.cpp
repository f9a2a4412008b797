// Kernel and sweep benchmarks: nanoseconds per pair of the reference and the
// fast kernel on one thread, with v_esc = 0 and v_esc > 0; the throughput of
// this processor's divide and square-root instructions; the fast kernel's
// divisions and square roots per pair (in a counting build, configured with
// -DPAIRTRACK_COUNT_OPS=ON) and the resulting floor; pairs per second of the whole-frame
// pair evaluation on one thread and on all threads; and that evaluation on one thread without
// and with speed histograms. Every timing is repeated and the summary takes medians; ratios
// come from this one process.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kernel/fast/fast_kernel.h"
#include "kernel/reference/gaussorb.h"
#if defined(PAIRTRACK_COUNT_OPS)
#include "op_count.h"
#endif
#include "engine/pair_evaluation.h"
#include "engine/speed_histograms.h"
#include "workload.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PAIRTRACK_BENCH_X86 1
#endif

namespace pairtrack::detail::bench {
namespace {

constexpr int kNodes = 10;         // the program's node counts
constexpr double kVescHigh = 5.0;  // km/s, the v_esc > 0 runs
constexpr int kRepetitions = 5;

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
  for (const Orbit& o : w.population)
    w.prepared_population.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
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

// Arg: v_esc in km/s.
void BM_ReferenceKernel(benchmark::State& state) {
  const Workload& w = kernel_workload();
  const double v_esc = static_cast<double>(state.range(0));
  for (auto _ : state) {
    for (const Orbit& b : w.bodies) {
      for (const Orbit& o : w.population) {
        double p = 0.0, v = 0.0, v2 = 0.0, vi = 0.0;
        gaussorb(o.a_cm, o.e, o.inc, b.a_cm, b.e, b.inc, p, v, v2, vi, kNodes, kNodes, v_esc);
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
  const double v_esc = static_cast<double>(state.range(0));
  std::vector<PairResult> out(w.population.size());
  for (auto _ : state) {
    for (const PreparedOrbit& b : w.prepared_bodies) {
      fast_gaussorb_row(rules, w.prepared_population, b, v_esc, out.data(), nullptr, path);
      benchmark::DoNotOptimize(out.data());
    }
  }
  set_pair_counters(state, w.pairs());
}
void BM_FastKernel(benchmark::State& state) { fast_kernel(state, SimdPath::kAuto); }
void BM_FastKernelAvx2(benchmark::State& state) { fast_kernel(state, SimdPath::kAvx2); }
void BM_FastKernelScalar(benchmark::State& state) { fast_kernel(state, SimdPath::kScalar); }

// Throughput of one kind of instruction: 16 independent chains, so that the
// unit, not the latency of one chain, sets the pace. Reports ns per
// instruction. The chains stay on ordinary numbers (x -> 2 / x oscillates,
// x -> sqrt(x + 2) converges to 2), which take the divider's ordinary time.
constexpr int kChains = 16;
constexpr int kOpsPerIteration = 1 << 14;

void set_op_counter(benchmark::State& state) {
  state.counters["ns_per_op"] =
      benchmark::Counter(kOpsPerIteration * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

template <bool kSqrt>
__attribute__((noinline)) void chains1(benchmark::State& state) {
  double x[kChains];
  for (int i = 0; i < kChains; ++i) x[i] = 1.3 + 0.01 * i;
  benchmark::DoNotOptimize(x);
  for (auto _ : state) {
    for (int r = 0; r < kOpsPerIteration / kChains; ++r) {
      for (double& v : x) v = kSqrt ? __builtin_sqrt(v + 2.0) : 2.0 / v;
    }
    benchmark::DoNotOptimize(x);
  }
  set_op_counter(state);
}
void BM_Div1(benchmark::State& state) { chains1<false>(state); }
void BM_Sqrt1(benchmark::State& state) { chains1<true>(state); }

// The C library's elementary functions as the kernel's table fill calls
// them: per anomaly node cos and sin of the node (one sincos call in the
// compiled code, counted as two) and sin(acos(c)). Reports ns per counted
// call, so that the counted calls per pair give their time per pair.
__attribute__((noinline)) void BM_LibmCall(benchmark::State& state) {
  constexpr int kPoints = 1024;
  constexpr int kCallsPerPoint = 4;
  std::vector<double> theta(kPoints), c(kPoints);
  SplitMix64 gen(7);
  for (int i = 0; i < kPoints; ++i) {
    theta[static_cast<std::size_t>(i)] = gen.uniform(0.0, 3.141592653589793);
    c[static_cast<std::size_t>(i)] = gen.uniform(-1.0, 1.0);
  }
  for (auto _ : state) {
    double acc = 0.0;
    for (int i = 0; i < kPoints; ++i) {
      const double t = theta[static_cast<std::size_t>(i)];
      acc += std::cos(t) + std::sin(t) + std::sin(std::acos(c[static_cast<std::size_t>(i)]));
    }
    benchmark::DoNotOptimize(acc);
  }
  state.counters["ns_per_op"] = benchmark::Counter(
      kPoints * kCallsPerPoint * 1e-9,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

#if defined(PAIRTRACK_BENCH_X86)
template <bool kSqrt>
__attribute__((target("avx2"), noinline)) void chains4(benchmark::State& state) {
  __m256d x[kChains];
  for (int i = 0; i < kChains; ++i) x[i] = _mm256_set1_pd(1.3 + 0.01 * i);
  const __m256d two = _mm256_set1_pd(2.0);
  for (auto _ : state) {
    for (int r = 0; r < kOpsPerIteration / kChains; ++r) {
      for (__m256d& v : x)
        v = kSqrt ? _mm256_sqrt_pd(_mm256_add_pd(v, two)) : _mm256_div_pd(two, v);
    }
    benchmark::DoNotOptimize(x);
  }
  set_op_counter(state);
}
template <bool kSqrt>
__attribute__((target("avx512f"), noinline)) void chains8(benchmark::State& state) {
  __m512d x[kChains];
  for (int i = 0; i < kChains; ++i) x[i] = _mm512_set1_pd(1.3 + 0.01 * i);
  const __m512d two = _mm512_set1_pd(2.0);
  for (auto _ : state) {
    for (int r = 0; r < kOpsPerIteration / kChains; ++r) {
      for (__m512d& v : x) {
        v = kSqrt ? _mm512_maskz_sqrt_pd(0xFF, _mm512_add_pd(v, two)) : _mm512_div_pd(two, v);
      }
    }
    benchmark::DoNotOptimize(x);
  }
  set_op_counter(state);
}
void BM_Div4(benchmark::State& state) {
  if (!avx2_supported()) return state.SkipWithError("no AVX2");
  chains4<false>(state);
}
void BM_Sqrt4(benchmark::State& state) {
  if (!avx2_supported()) return state.SkipWithError("no AVX2");
  chains4<true>(state);
}
void BM_Div8(benchmark::State& state) {
  if (!avx512_supported()) return state.SkipWithError("no AVX-512");
  chains8<false>(state);
}
void BM_Sqrt8(benchmark::State& state) {
  if (!avx512_supported()) return state.SkipWithError("no AVX-512");
  chains8<true>(state);
}
#endif

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

// The sweep on one thread without and with speed histograms (the default bins, 0:40:0.25 km/s,
// binned per body): the ratio of the two at one v_esc is the histograms' cost. Args: v_esc in
// km/s, histograms off (0) or on (1).
void BM_SweepSpeeds(benchmark::State& state) {
  const Workload& w = sweep_workload();
  std::vector<double> proba(static_cast<std::size_t>(w.pairs()));
  std::vector<double> impvel(proba.size());
  std::vector<BodySpeeds> speeds(w.prepared_bodies.size());
  PairMode mode;
  if (state.range(1) != 0) mode.speed_bins = speed_binning(SpeedBins{});
  const double v_esc = static_cast<double>(state.range(0));
  for (auto _ : state) {
    const std::int64_t no_case =
        evaluate_pairs(w.prepared_population, w.prepared_bodies, v_esc,
                       PairSlots{proba.data(), impvel.data(), nullptr, speeds.data()}, 1, mode);
    benchmark::DoNotOptimize(no_case);
    benchmark::DoNotOptimize(speeds.data());
  }
  set_pair_counters(state, w.pairs());
}

BENCHMARK(BM_Div1)->Repetitions(kRepetitions)->MinTime(0.05);
BENCHMARK(BM_Sqrt1)->Repetitions(kRepetitions)->MinTime(0.05);
BENCHMARK(BM_LibmCall)->Repetitions(kRepetitions)->MinTime(0.05);
#if defined(PAIRTRACK_BENCH_X86)
BENCHMARK(BM_Div4)->Repetitions(kRepetitions)->MinTime(0.05);
BENCHMARK(BM_Sqrt4)->Repetitions(kRepetitions)->MinTime(0.05);
BENCHMARK(BM_Div8)->Repetitions(kRepetitions)->MinTime(0.05);
BENCHMARK(BM_Sqrt8)->Repetitions(kRepetitions)->MinTime(0.05);
#endif
// Reference and fast kernel alternate, so that a change in the machine's load
// touches both sides of a ratio alike.
BENCHMARK(BM_ReferenceKernel)
    ->ArgName("vesc")
    ->Arg(0)
    ->Arg(kVescHigh)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(BM_FastKernel)
    ->ArgName("vesc")
    ->Arg(0)
    ->Arg(kVescHigh)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(BM_FastKernelAvx2)
    ->ArgName("vesc")
    ->Arg(0)
    ->Arg(kVescHigh)
    ->Repetitions(kRepetitions)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(BM_FastKernelScalar)
    ->ArgName("vesc")
    ->Arg(0)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(BM_EvaluatePairs)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();
// Off and on alternate at each v_esc.
BENCHMARK(BM_SweepSpeeds)
    ->ArgNames({"vesc", "histograms"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({static_cast<std::int64_t>(kVescHigh), 0})
    ->Args({static_cast<std::int64_t>(kVescHigh), 1})
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// The console output, plus each repetition's counters kept for the summary.
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
      ns_per_pair[key].push_back(counter("ns_per_pair"));
      pairs_per_s[key].push_back(counter("pairs_per_s"));
      ns_per_op[key].push_back(counter("ns_per_op"));
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double pair_ns(const std::string& key) { return median(ns_per_pair[key]); }
  double pairs_s(const std::string& key) { return median(pairs_per_s[key]); }
  double op_ns(const std::string& key) { return median(ns_per_op[key]); }

 private:
  std::map<std::string, std::vector<double>> ns_per_pair, pairs_per_s, ns_per_op;
};

double ratio(double num, double den) { return den > 0.0 ? num / den : 0.0; }

#if defined(PAIRTRACK_COUNT_OPS)
kernel_op_count::PerPair counts(double v_esc, SimdPath path) {
  const Workload& w = kernel_workload();
  std::vector<double> pa, pe, pi, ba, be, bi;
  for (const Orbit& o : w.population) {
    pa.push_back(o.a_cm);
    pe.push_back(o.e);
    pi.push_back(o.inc);
  }
  for (const Orbit& o : w.bodies) {
    ba.push_back(o.a_cm);
    be.push_back(o.e);
    bi.push_back(o.inc);
  }
  return kernel_op_count::count_per_pair(pa.data(), pe.data(), pi.data(), pa.size(), ba.data(),
                                         be.data(), bi.data(), ba.size(), v_esc,
                                         static_cast<int>(path));
}
#endif

const char* path_name(SimdPath p) {
  switch (p) {
    case SimdPath::kAvx512: return "AVX-512";
    case SimdPath::kAvx2: return "AVX2";
    default: return "scalar";
  }
}

// One v_esc and path: the ratio to the reference, the counted divider work
// per pair, the floor it makes at the measured rates, and the kernel's share.
void print_floor_block(SummaryReporter& r, const char* label, const std::string& arg, double v_esc,
                       const std::string& fast_key, SimdPath path) {
  const SimdPath used = resolved_path(path);
  const double ref = r.pair_ns("BM_ReferenceKernel/" + arg);
  const double fast = r.pair_ns(fast_key + "/" + arg);
  std::printf("  %s, %s path:\n", label, path_name(used));
  std::printf("    reference %9.1f ns/pair, fast %8.1f ns/pair: %.2fx\n", ref, fast,
              ratio(ref, fast));
#if defined(PAIRTRACK_COUNT_OPS)
  const double t_div1 = r.op_ns("BM_Div1"), t_sqrt1 = r.op_ns("BM_Sqrt1");
  const double t_div4 = r.op_ns("BM_Div4"), t_sqrt4 = r.op_ns("BM_Sqrt4");
  const double t_div8 = r.op_ns("BM_Div8"), t_sqrt8 = r.op_ns("BM_Sqrt8");
  const kernel_op_count::PerPair c = counts(v_esc, used);
  const double vector_ns =
      c.div4 * t_div4 + c.sqrt4 * t_sqrt4 + c.div8 * t_div8 + c.sqrt8 * t_sqrt8;
  const double scalar_ns = c.div1 * t_div1 + c.sqrt1 * t_sqrt1;
  const double floor_ns = vector_ns + scalar_ns;
  std::printf(
      "    per pair: %.1f div + %.1f sqrt (4 lanes), %.1f div + %.1f sqrt (8 lanes),\n"
      "              %.1f div + %.1f sqrt (scalar), %.1f elementary-function calls\n",
      c.div4, c.sqrt4, c.div8, c.sqrt8, c.div1, c.sqrt1, c.libm);
  std::printf(
      "    floor %.1f ns/pair (vector %.1f + scalar %.1f): the kernel runs at %.0f %% of "
      "it\n",
      floor_ns, vector_ns, scalar_ns, 100.0 * ratio(floor_ns, fast));
  // The elementary functions are not divider work: added to the floor they
  // bound what any overlap of the two could reach.
  const double libm_ns = c.libm * r.op_ns("BM_LibmCall");
  std::printf(
      "    elementary functions %.1f ns/pair at the measured rate; floor + functions "
      "%.1f ns/pair: %.0f %% of it; the rest %.1f ns/pair\n",
      libm_ns, floor_ns + libm_ns, 100.0 * ratio(floor_ns + libm_ns, fast),
      fast - floor_ns - libm_ns);
#else
  (void)v_esc;
  std::printf(
      "    (divisions and square roots per pair: configure with -DPAIRTRACK_COUNT_OPS=ON)\n");
#endif
}

void print_summary(SummaryReporter& r) {
  const PairMix kmix = classify_pairs(kernel_workload().population, kernel_workload().bodies);
  const PairMix smix = classify_pairs(sweep_workload().population, sweep_workload().bodies);
  std::printf(
      "\nWorkload: main-belt-like orbits, a 1.5-4.5 AU, e 0-0.4, i 0-35 deg, 10 x 10 "
      "nodes; medians of %d repetitions\n",
      kRepetitions);
  std::printf("  kernel: %lld pairs (%lld crossing, %lld nested, %lld disjoint, %lld no case)\n",
              static_cast<long long>(kernel_workload().pairs()),
              static_cast<long long>(kmix.crossing), static_cast<long long>(kmix.nested),
              static_cast<long long>(kmix.disjoint), static_cast<long long>(kmix.no_case));
  std::printf(
      "  sweep:  %lld pairs (%lld crossing, %lld nested, %lld disjoint, %lld no case), "
      "v_esc 0\n",
      static_cast<long long>(sweep_workload().pairs()), static_cast<long long>(smix.crossing),
      static_cast<long long>(smix.nested), static_cast<long long>(smix.disjoint),
      static_cast<long long>(smix.no_case));
  std::printf(
      "Divider throughput, ns per instruction: div %.3f / sqrt %.3f (scalar), "
      "%.3f / %.3f (4 lanes), %.3f / %.3f (8 lanes); elementary function %.3f ns per "
      "call\n",
      r.op_ns("BM_Div1"), r.op_ns("BM_Sqrt1"), r.op_ns("BM_Div4"), r.op_ns("BM_Sqrt4"),
      r.op_ns("BM_Div8"), r.op_ns("BM_Sqrt8"), r.op_ns("BM_LibmCall"));
  std::printf(
      "Single thread, one run (floor: the fast kernel's counted divisions and square "
      "roots at those rates):\n");
  const std::string high = "vesc:" + std::to_string(static_cast<int>(kVescHigh));
  print_floor_block(r, "v_esc = 0", "vesc:0", 0.0, "BM_FastKernel", SimdPath::kAuto);
  print_floor_block(r, ("v_esc = " + std::to_string(static_cast<int>(kVescHigh)) + " km/s").c_str(),
                    high, kVescHigh, "BM_FastKernel", SimdPath::kAuto);
  print_floor_block(r, "v_esc = 0", "vesc:0", 0.0, "BM_FastKernelAvx2", SimdPath::kAvx2);
  print_floor_block(r, ("v_esc = " + std::to_string(static_cast<int>(kVescHigh)) + " km/s").c_str(),
                    high, kVescHigh, "BM_FastKernelAvx2", SimdPath::kAvx2);
  const double ref0 = r.pair_ns("BM_ReferenceKernel/vesc:0");
  const double scalar = r.pair_ns("BM_FastKernelScalar/vesc:0");
  std::printf("  v_esc = 0, scalar path: %.1f ns/pair, %.2fx the reference\n", scalar,
              ratio(ref0, scalar));
  const double one = r.pairs_s("BM_EvaluatePairs/threads:1");
  const double all = r.pairs_s("BM_EvaluatePairs/threads:0");
  std::printf("Frame pair evaluation, pairs per second:\n");
  std::printf("  1 thread                  %10.0f\n", one);
  std::printf("  all threads (%u cores)     %10.0f   %.2fx one thread\n",
              std::thread::hardware_concurrency(), all, ratio(all, one));
}

}  // namespace
}  // namespace pairtrack::detail::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  pairtrack::detail::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  pairtrack::detail::bench::print_summary(reporter);
  benchmark::Shutdown();
  return 0;
}
