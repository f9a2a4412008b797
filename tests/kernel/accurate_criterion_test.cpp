// The classic-mode criterion: worked pairs of the ladder and the degenerate
// geometries, and its calibration on random pairs (false negatives, 10 x 10
// errors above 1 % that it does not flag, below 1 % of the pairs).
#include "kernel/accurate/classic_criterion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "io/load_catalog.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/kernel_constants.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail::kernel {
namespace {

constexpr double kAu = 1.4959787e13;
constexpr double kDeg = 0.017453292519444445;

TEST(ClassicCriterion, FlagsTheLadderWhereTheClassicRuleIsOffByMoreThanOnePercent) {
  struct Row {
    double a1, e1, i1, a2, e2, i2, v_esc;
    bool flagged;
  };
  const Row rows[] = {
      {2.7, 0.15, 10.0, 2.6, 0.12, 11.0, 0.0, false},   // +0.1 %
      {2.7, 0.15, 10.0, 2.6, 0.12, 10.1, 0.0, true},    // -6.2 %
      {2.7, 0.15, 10.0, 2.6, 0.12, 10.001, 0.0, true},  // -34 %
      {2.7, 0.15, 10.0, 2.6, 0.12, 10.1, 5.0, true},    // -14.5 %
      {2.0, 0.5, 20.0, 2.5, 0.3, 20.1, 0.0, true},      // -15 %
      {2.7, 0.15, 10.0, 2.6, 0.12, 10.0, 0.0, true},    // equal inclinations: no finite value
      {2.7, 0.0, 3.0, 2.7, 0.0, 9.0, 0.0, true},        // coincident circles
      {2.7, 0.15, 10.0, 2.7, 0.15, 10.0, 0.0, true},    // identical orbits
      {1.0, 0.1, 10.0, 3.0, 0.1, 10.0, 0.0, false},     // disjoint: P_i = 0 exactly
      {4.0, 0.75, 10.0, 2.0, 0.5, 12.0, 0.0, true},     // equal perihelia: apsidal peak
  };
  for (const Row& r : rows) {
    const ClassicAccuracy c =
        classic_accuracy(r.a1 * kAu, r.e1, r.i1 * kDeg, r.a2 * kAu, r.e2, r.i2 * kDeg, r.v_esc);
    EXPECT_EQ(c.likely_off, r.flagged) << r.i1 << " " << r.i2 << " v_esc " << r.v_esc;
  }
  // Focusing raises the threshold: delta = 0.08 passes without it.
  const double i1 = 10.0 * kDeg;
  const double i2 = i1 + 0.08 * std::sin(i1);
  EXPECT_FALSE(classic_accuracy(2.7 * kAu, 0.15, i1, 2.6 * kAu, 0.12, i2, 0.0).likely_off);
  EXPECT_TRUE(classic_accuracy(2.7 * kAu, 0.15, i1, 2.6 * kAu, 0.12, i2, 2.0).likely_off);
}

TEST(ClassicCriterion, MissesFewerThanOnePercentOfRandomPairs) {
  // Main-belt-like pairs and family pairs (|i1 - i2| log-uniform in
  // [1e-4, 1] degree, close a and e), v_esc in [0, 5] km/s; the truth is the
  // accurate integrator at 1e-6.
  std::mt19937_64 gen(404);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int pairs = 0, missed = 0, off = 0;
  AccurateOptions options;
  options.rel = 1e-6;
  while (pairs < 1500) {
    const double a1 = (2.1 + 1.2 * u(gen)) * kAu, e1 = 0.3 * u(gen), i1 = 30.0 * kDeg * u(gen);
    double a2 = (2.1 + 1.2 * u(gen)) * kAu, e2 = 0.3 * u(gen), i2 = 30.0 * kDeg * u(gen);
    if (pairs % 2 == 0) {
      a2 = a1 * (1.0 + 0.015 * (u(gen) - 0.5));
      e2 = std::fabs(e1 + 0.04 * (u(gen) - 0.5));
      i2 = std::fabs(i1 + std::pow(10.0, -4.0 + 4.0 * u(gen)) * kDeg);
    }
    const double v_esc = 5.0 * u(gen) * u(gen);
    if (match_apsides(a1, e1, a2, e2).disjoint()) continue;
    const AccurateResult truth = accurate_pair(a1, e1, i1, a2, e2, i2, v_esc, options);
    if (truth.status != AccurateStatus::kOk) continue;
    ++pairs;
    double p = 0.0, v1 = 0.0, v2 = 0.0, v3 = 0.0;
    gaussorb(a1, e1, i1, a2, e2, i2, p, v1, v2, v3, 10, 10, v_esc);
    const bool is_off = std::fabs(p / truth.p_coll - 1.0) > 0.01;
    off += is_off;
    if (is_off && !classic_accuracy(a1, e1, i1, a2, e2, i2, v_esc).likely_off) ++missed;
  }
  EXPECT_GT(off, 300);  // the sample does reach the regime
  EXPECT_LT(missed, 15) << "of " << pairs << " pairs, " << off << " off by more than 1 %";
}

TEST(ClassicCriterion, ShortcutGivesTheSameFlagsAsTheFullCriterion) {
  struct Orbit {
    double a, e, inc;
  };
  std::vector<Orbit> orbits;
  {
    // The main belt (D > 50 km), every ordered pair.
    std::vector<double> a(1000), e(1000), inc(1000);
    std::int32_t n = 1000;
    const std::string path =
        std::string(PAIRTRACK_SOURCE_DIR) + "/validation/data/mainbelt_d50.cat";
    ASSERT_EQ(read_catalog_file(path, a.data(), e.data(), inc.data(), n), CatalogStatus::ok);
    for (std::int32_t k = 0; k < n; ++k) {
      const auto i = static_cast<std::size_t>(k);
      orbits.push_back({a[i] * kAu, e[i], inc[i] * kDeg});
    }
  }
  struct Pair {
    Orbit o1, o2;
  };
  std::vector<Pair> pairs;
  for (const Orbit& o1 : orbits) {
    for (const Orbit& o2 : orbits) pairs.push_back({o1, o2});
  }
  // Random pairs drawn at the edges of the shortcut: planes and apsides near
  // their thresholds, eccentricities near 0 and 1, flat and equal
  // inclinations, equal semimajor axes.
  std::mt19937_64 gen(8);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int k = 0; k < 200000; ++k) {
    Orbit o1{(0.5 + 5.0 * u(gen)) * kAu, 0.95 * u(gen), 3.14159 * u(gen) * u(gen)};
    Orbit o2{(0.5 + 5.0 * u(gen)) * kAu, 0.95 * u(gen), 3.14159 * u(gen) * u(gen)};
    const double t = 0.06 * (1.0 + std::pow(10.0, -6.0 * u(gen)) * (u(gen) < 0.5 ? -1.0 : 1.0));
    switch (k % 8) {
      case 0: break;
      case 1:  // delta near its threshold
        o2.inc = o1.inc + t * std::sin(o1.inc) * (u(gen) < 0.5 ? 1.0 : 2.0);
        break;
      case 2:  // perihelia close: q2 = q1 (1 + x)
        o2.a = o1.a * (1.0 - o1.e) * (1.0 + 0.01 * t * (u(gen) - 0.3)) / (1.0 - o2.e);
        break;
      case 3:  // aphelia close
        o2.a = o1.a * (1.0 + o1.e) * (1.0 + 0.1 * t * (u(gen) - 0.3)) / (1.0 + o2.e);
        break;
      case 4:  // eccentricities at the edges
        o1.e = u(gen) < 0.5 ? 1e-3 * u(gen) : 1.0 - 1e-3 * u(gen);
        o2.e = u(gen) < 0.5 ? 0.0 : 1e-3;
        break;
      case 5:  // flat, equal and supplementary inclinations
        o1.inc = u(gen) < 0.5 ? 0.0 : kPi;
        o2.inc = u(gen) < 0.3 ? o1.inc : (u(gen) < 0.5 ? kPi - o1.inc : o2.inc);
        break;
      case 6:  // equal semimajor axes (circles among them)
        o2.a = o1.a;
        if (u(gen) < 0.3) o1.e = o2.e = 0.0;
        break;
      case 7:  // retrograde pairs near i1 + i2 = pi
        o1.inc = kPi - o1.inc * 0.3;
        o2.inc = kPi - o1.inc + t * std::sin(o1.inc);
        break;
    }
    pairs.push_back({o1, o2});
  }
  // Pairs within a few bits of the plane threshold without focusing: the
  // second inclination bisected to where the full criterion's flag turns.
  for (int k = 0; k < 4000; ++k) {
    const Orbit o1{(2.1 + 1.2 * u(gen)) * kAu, 0.01 + 0.3 * u(gen), (1.0 + 30.0 * u(gen)) * kDeg};
    Orbit o2{(2.1 + 1.2 * u(gen)) * kAu, 0.01 + 0.3 * u(gen), 0.0};
    double flagged_inc = o1.inc, fine_inc = o1.inc + 0.2 * std::sin(o1.inc);
    for (int step = 0; step < 80; ++step) {
      o2.inc = 0.5 * (flagged_inc + fine_inc);
      const ClassicAccuracy c = classic_accuracy(o1.a, o1.e, o1.inc, o2.a, o2.e, o2.inc, 0.0);
      (c.delta < c.delta_threshold ? flagged_inc : fine_inc) = o2.inc;
    }
    o2.inc = std::nextafter(fine_inc, k % 2 == 0 ? 0.0 : 4.0);
    pairs.push_back({o1, o2});
  }
  for (double v_esc : {0.0, 2.0}) {
    const ClassicCriterion criterion(v_esc);
    long flagged = 0, shortcut = 0, differ = 0;
    for (const Pair& p : pairs) {
      const Orbit& x = p.o1;
      const Orbit& y = p.o2;
      const double s1 = std::sin(x.inc), s2 = std::sin(y.inc);
      const bool full = classic_accuracy(x.a, x.e, x.inc, y.a, y.e, y.inc, v_esc).likely_off;
      flagged += full;
      shortcut += criterion.surely_fine(x.a, x.e, x.inc, s1, y.a, y.e, y.inc, s2);
      if (criterion.likely_off(x.a, x.e, x.inc, s1, y.a, y.e, y.inc, s2) != full && ++differ < 5) {
        ADD_FAILURE() << "a " << x.a / kAu << " " << y.a / kAu << " e " << x.e << " " << y.e
                      << " i " << x.inc << " " << y.inc << " v_esc " << v_esc;
      }
    }
    EXPECT_EQ(differ, 0);
    // Both kinds of pair are well represented, and the shortcut decides most.
    EXPECT_GT(flagged, 40000) << v_esc;
    EXPECT_GT(shortcut, static_cast<long>(pairs.size()) / 2) << v_esc;
  }
}

}  // namespace
}  // namespace pairtrack::detail::kernel
