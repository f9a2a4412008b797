// The cost of the speed histograms in the pair evaluation, measured in one process: the same
// main-belt pairs (3000 orbits x B bodies) evaluated on one thread without and with the
// default speed bins, alternately, in runs of a few tens of milliseconds, the order swapped
// every round. On a shared machine whose speed drifts from minute to minute, two runs that
// follow each other within a tenth of a second see nearly the same speed, so the rounds'
// ratios scatter by a few per cent where separate processes scatter by tens. Prints the median
// of the rounds' ratios and their range.
// Usage: speeds_cost_bench [rounds, default 30] [v_esc km/s, default 0] [bodies, default 20]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/pair_evaluation.h"
#include "engine/speed_histograms.h"
#include "kernel/fast/fast_kernel.h"
#include "workload.h"

namespace {

using namespace pairtrack::detail;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const double v_esc = argc > 2 ? std::atof(argv[2]) : 0.0;
  const int n_bodies = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
  std::vector<PreparedOrbit> population, bodies;
  for (const bench::Orbit& o : bench::main_belt_orbits(3000, 2002)) {
    population.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  }
  for (const bench::Orbit& o : bench::main_belt_orbits(static_cast<std::size_t>(n_bodies), 2003)) {
    bodies.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  }
  std::vector<double> proba(population.size() * bodies.size()), impvel(proba.size());
  std::vector<BodySpeeds> speeds(bodies.size());
  PairMode with;
  with.speed_bins = speed_binning(pairtrack::SpeedBins{});
  // Seconds of one evaluation of every pair, without or with the histograms.
  const auto run = [&](bool histograms) {
    const auto start = std::chrono::steady_clock::now();
    if (histograms) {
      evaluate_pairs(population, bodies, v_esc,
                     PairSlots{proba.data(), impvel.data(), nullptr, speeds.data()}, 1, with);
    } else {
      evaluate_pairs(population, bodies, v_esc, PairSlots{proba.data(), impvel.data()}, 1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  run(false);
  run(true);
  std::vector<double> plain, ratios;
  for (int r = 0; r < rounds; ++r) {
    double without = 0.0, with_bins = 0.0;
    if (r % 2 == 0) {
      without = run(false);
      with_bins = run(true);
    } else {
      with_bins = run(true);
      without = run(false);
    }
    plain.push_back(without);
    ratios.push_back(with_bins / without);
  }
  const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf(
      "%zu x %zu pairs, v_esc = %g km/s, one thread, %d rounds: without histograms %.1f ms "
      "(median); cost of the speed histograms %+.1f %% (median; range %+.1f %% to %+.1f %%)\n",
      population.size(), bodies.size(), v_esc, rounds, median(plain) * 1e3,
      (median(ratios) - 1.0) * 100.0, (*lo - 1.0) * 100.0, (*hi - 1.0) * 100.0);
  return 0;
}
