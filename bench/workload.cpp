// Deterministic main-belt-like workloads for the kernel benchmarks.
#include "workload.h"

#include "io/history/history_writer.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail::bench {

std::uint64_t SplitMix64::next() {
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

double SplitMix64::uniform(double lo, double hi) {
  const double unit = static_cast<double>(next() >> 11) * 0x1.0p-53;
  return lo + (hi - lo) * unit;
}

std::vector<Elements> main_belt_elements(std::size_t n, std::uint64_t seed) {
  SplitMix64 rng(seed);
  std::vector<Elements> elements;
  elements.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double a_au = rng.uniform(1.5, 4.5);
    const double e = rng.uniform(0.0, 0.4);
    const double inc_deg = rng.uniform(0.0, 35.0);
    elements.push_back(Elements{a_au, e, inc_deg});
  }
  return elements;
}

std::vector<Orbit> main_belt_orbits(std::size_t n, std::uint64_t seed) {
  std::vector<Orbit> orbits;
  orbits.reserve(n);
  for (const Elements& el : main_belt_elements(n, seed)) {
    orbits.push_back(Orbit{el.a_au * pairtrack::kCentimetresPerAu, el.e,
                           el.inc_deg * pairtrack::kRadiansPerDegree});
  }
  return orbits;
}

PairMix classify_pairs(const std::vector<Orbit>& population, const std::vector<Orbit>& bodies) {
  PairMix mix;
  for (const Orbit& b : bodies) {
    for (const Orbit& o : population) {
      const OverlapBounds bounds = match_apsides(o.a_cm, o.e, b.a_cm, b.e);
      if (bounds.disjoint()) {
        ++mix.disjoint;
        continue;
      }
      IntegrationSet s1, s2;
      int split = 0;
      const int which =
          linecheck_case(bounds.c1_rmax, bounds.c1_rmin, bounds.c2_rmax, bounds.c2_rmin, o.a_cm,
                         b.a_cm, o.e, b.e, o.inc, b.inc, s1, s2, split);
      if (which == 0) {
        ++mix.no_case;
      } else if (split != 0) {
        ++mix.crossing;
      } else {
        ++mix.nested;
      }
    }
  }
  return mix;
}

bool write_main_belt_history(const std::string& path, std::size_t frames, std::size_t n_bodies,
                             double first_time, double time_step, std::uint64_t first_seed) {
  HistoryWriter w;
  if (!w.open(path)) return false;
  bool ok = true;
  for (std::size_t f = 0; f < frames && ok; ++f) {
    ok = w.header(HistoryFormat::float64, first_time + time_step * static_cast<double>(f), 1,
                  static_cast<std::int32_t>(n_bodies));
    std::int32_t id = 0;
    for (const Elements& el : main_belt_elements(n_bodies, first_seed + f)) {
      ok = ok && w.body(HistoryFormat::float64, ++id, el.a_au, el.e, el.inc_deg * kRadiansPerDegree,
                        0.0, 0.0, 0.0);
    }
  }
  return w.close() && ok;
}

}  // namespace pairtrack::detail::bench
