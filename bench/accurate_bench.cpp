// The accurate mode's cost on the main belt: the 643 catalogued main-belt
// orbits with D > 50 km (validation/data/mainbelt_d50.cat) against
// themselves, every ordered pair, with the classic fast 10 x 10 kernel (its
// automatic vector path and its scalar path) and with the accurate integrator
// at relative accuracies 1e-4 and 1e-6, all on one thread, v_esc = 0. The
// summary after the table gives the ratios of the medians from this one
// process, the integrand points per pair, the statuses, and the classic-mode
// criterion's cost per pair (as the engine calls it, and classic_accuracy on
// every pair) against the classic kernel's, with how many pairs it flags.
//   <build>/bench/accurate_bench [--benchmark_repetitions=N]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "io/load_catalog.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/classic_criterion.h"
#include "kernel/fast/fast_kernel.h"
#include "pairtrack/units.h"

namespace pairtrack::detail::bench {
namespace {

const std::vector<PreparedOrbit>& main_belt() {
  static const std::vector<PreparedOrbit> orbits = [] {
    constexpr std::int32_t kCapacity = 1000;
    std::vector<double> a(kCapacity), e(kCapacity), inc(kCapacity);
    std::int32_t n = kCapacity;
    const std::string path =
        std::string(PAIRTRACK_SOURCE_DIR) + "/validation/data/mainbelt_d50.cat";
    if (read_catalog_file(path, a.data(), e.data(), inc.data(), n) != CatalogStatus::ok) {
      std::fprintf(stderr, "accurate_bench: cannot read %s\n", path.c_str());
      std::exit(1);
    }
    std::vector<PreparedOrbit> out;
    for (std::int32_t k = 0; k < n; ++k) {
      out.push_back(prepare_orbit(a[static_cast<std::size_t>(k)] * pairtrack::kCentimetresPerAu,
                                  e[static_cast<std::size_t>(k)],
                                  inc[static_cast<std::size_t>(k)] * pairtrack::kRadiansPerDegree));
    }
    return out;
  }();
  return orbits;
}

std::int64_t pair_count() {
  const auto n = static_cast<std::int64_t>(main_belt().size());
  return n * n;
}

void set_counters(benchmark::State& state) {
  state.counters["us_per_pair"] = benchmark::Counter(
      static_cast<double>(pair_count()) * 1e-6,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Classic(benchmark::State& state) {
  const auto& orbits = main_belt();
  const FastRules rules(10, 10);
  const SimdPath path = state.range(0) == 0 ? SimdPath::kAuto : SimdPath::kScalar;
  std::vector<PairResult> out(orbits.size());
  for (auto _ : state) {
    for (const PreparedOrbit& body : orbits) {
      fast_gaussorb_row(rules, orbits, body, 0.0, out.data(), nullptr, path);
      benchmark::DoNotOptimize(out.data());
    }
  }
  set_counters(state);
}
BENCHMARK(BM_Classic)->Arg(0)->Arg(1)->ArgName("scalar")->Unit(benchmark::kMillisecond);

// The classic-mode criterion over the same pairs: arg 0 the shortcut the
// engine takes (ClassicCriterion, sines formed once per orbit), arg 1
// classic_accuracy on every pair.
std::map<int, std::int64_t> criterion_flags;

void BM_Criterion(benchmark::State& state) {
  const auto& orbits = main_belt();
  const kernel::ClassicCriterion criterion(0.0);
  std::int64_t flagged = 0;
  for (auto _ : state) {
    flagged = 0;
    for (const PreparedOrbit& b : orbits) {
      for (const PreparedOrbit& o : orbits) {
        const bool off =
            state.range(0) == 0
                ? criterion.likely_off(o.a_cm, o.e, o.inc, o.sin_inc, b.a_cm, b.e, b.inc, b.sin_inc)
                : kernel::classic_accuracy(o.a_cm, o.e, o.inc, b.a_cm, b.e, b.inc, 0.0).likely_off;
        flagged += off;
      }
    }
    benchmark::DoNotOptimize(flagged);
  }
  criterion_flags[static_cast<int>(state.range(0))] = flagged;
  set_counters(state);
}
BENCHMARK(BM_Criterion)->Arg(0)->Arg(1)->ArgName("full")->Unit(benchmark::kMillisecond);

struct AccurateTally {
  std::int64_t points = 0, ok = 0, not_converged = 0, divergent = 0;
};
std::map<int, AccurateTally> tallies;

void BM_Accurate(benchmark::State& state) {
  const auto& orbits = main_belt();
  kernel::AccurateOptions options;
  options.rel = state.range(0) == 4 ? 1e-4 : 1e-6;
  AccurateTally t;
  for (auto _ : state) {
    t = AccurateTally{};
    for (const PreparedOrbit& body : orbits) {
      for (const PreparedOrbit& o : orbits) {
        const kernel::AccurateResult r =
            kernel::accurate_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc, 0.0, options);
        benchmark::DoNotOptimize(r.p_coll);
        t.points += r.points;
        t.ok += r.status == kernel::AccurateStatus::kOk;
        t.not_converged += r.status == kernel::AccurateStatus::kNotConverged;
        t.divergent += r.status == kernel::AccurateStatus::kDivergent;
      }
    }
  }
  tallies[static_cast<int>(state.range(0))] = t;
  set_counters(state);
}
BENCHMARK(BM_Accurate)
    ->Arg(4)
    ->Arg(6)
    ->ArgName("minus_log10_rel")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Keeps every repetition's microseconds per pair, keyed by benchmark name.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto it = run.counters.find("us_per_pair");
      if (it != run.counters.end()) us[run.benchmark_name()].push_back(it->second.value);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double median_us(const std::string& name) {
    std::vector<double> v = us[name];
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> us;
};

void print_summary(RatioReporter& r) {
  const double fast = r.median_us("BM_Classic/scalar:0");
  const double scalar = r.median_us("BM_Classic/scalar:1");
  std::printf("\nmain belt, %lld ordered pairs, one thread, v_esc 0 (medians, us per pair)\n",
              static_cast<long long>(pair_count()));
  std::printf("classic 10 x 10, fast kernel (vector path): %.3f\n", fast);
  std::printf("classic 10 x 10, fast kernel (scalar path): %.3f\n", scalar);
  for (int digits : {4, 6}) {
    const std::string name =
        "BM_Accurate/minus_log10_rel:" + std::to_string(digits) + "/iterations:1";
    const double acc = r.median_us(name);
    if (acc <= 0.0) continue;
    const AccurateTally& t = tallies[digits];
    std::printf(
        "accurate 1e-%d: %.3f  = %.1f x the vector classic, %.1f x the scalar classic; "
        "%.0f points per pair; ok %lld, not converged %lld, divergent %lld\n",
        digits, acc, acc / fast, acc / scalar,
        static_cast<double>(t.points) / static_cast<double>(pair_count()),
        static_cast<long long>(t.ok), static_cast<long long>(t.not_converged),
        static_cast<long long>(t.divergent));
  }
  const double shortcut = r.median_us("BM_Criterion/full:0");
  const double full = r.median_us("BM_Criterion/full:1");
  if (shortcut > 0.0 && full > 0.0) {
    std::printf(
        "classic-mode criterion: %.1f ns per pair = %.1f %% of the vector classic kernel "
        "(classic_accuracy on every pair: %.1f ns = %.1f %%); %lld of the ordered pairs flagged "
        "(the %zu self-pairs included)%s\n",
        1e3 * shortcut, 100.0 * shortcut / fast, 1e3 * full, 100.0 * full / fast,
        static_cast<long long>(criterion_flags[0]), main_belt().size(),
        criterion_flags[0] == criterion_flags[1] ? "" : "; THE TWO FORMS DISAGREE");
  }
}

}  // namespace
}  // namespace pairtrack::detail::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  pairtrack::detail::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  pairtrack::detail::bench::print_summary(reporter);
  benchmark::Shutdown();
  return 0;
}
