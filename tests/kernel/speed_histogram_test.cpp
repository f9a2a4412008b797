// The fast kernel's speed bins against a straightforward binning of the reference quadrature's
// terms, bit for bit, on random pairs of every overlap configuration, every vector path and
// several bin layouts; and the bins' own properties (their sum is p_coll, their edges).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "kernel/fast/fast_kernel.h"
#include "kernel/fast/fast_lanes.h"
#include "kernel/reference/speed_histogram.h"
#include "kernel/speed_binning.h"

namespace pairtrack::detail {
namespace {

constexpr double kAu = 1.4959787e13;
constexpr double kPi = 3.141592653589793;

struct Orbit {
  double a_cm, e, inc;
};

// Main-belt-like bodies and partners: crossing, nested, disjoint, circular, near-coplanar,
// identical (no finite sum), touching ranges.
class Pairs {
 public:
  explicit Pairs(std::uint64_t seed) : rng_(seed) {}
  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  Orbit orbit() {
    const double e = pick(6) == 0 ? 0.0 : uniform(0.0, 0.6);
    const double inc = pick(8) == 0 ? 0.0 : uniform(0.0, 40.0) * kPi / 180.0;
    return Orbit{uniform(1.5, 4.5) * kAu, e, inc};
  }
  Orbit partner(const Orbit& b) {
    switch (pick(8)) {
      case 0: return b;                                                         // identical
      case 1: return Orbit{uniform(1.5, 4.5) * kAu, uniform(0.0, 0.5), b.inc};  // same plane
      case 2: return Orbit{b.a_cm * (1.0 - b.e) / 1.3, 0.3, 0.2};               // touching inside
      case 3: return Orbit{uniform(8.0, 30.0) * kAu, 0.1, 0.1};                 // disjoint
      default: return orbit();
    }
  }

 private:
  std::mt19937_64 rng_;
};

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

// Collects a row's distributions as full arrays.
struct Collect : PairSpeedSink {
  int values = 0;
  std::vector<double> impact, encounter;
  std::vector<std::size_t> order;
  void pair(std::size_t k, int lo, int hi, const double* imp, const double* enc) override {
    order.push_back(k);
    for (int b = 0; b < values; ++b) {
      const bool in = b >= lo && b <= hi;
      impact[k * values + b] = in ? imp[b] : 0.0;
      encounter[k * values + b] = in ? enc[b] : 0.0;
    }
  }
};

// Adds up the pieces a weights request hands over: the row's summed weights.
struct SumRow : RowWeightSink {
  std::vector<double> impact, encounter;
  explicit SumRow(int values) : impact(values, 0.0), encounter(values, 0.0) {}
  void take_sums(int lo, int hi, double* imp, double* enc, int term_stride) override {
    for (int b = lo; b <= hi; ++b) {
      impact[b] += imp[b] + imp[term_stride + b];
      encounter[b] += enc[b] + enc[term_stride + b];
    }
    for (double* t : {imp, enc}) {
      for (int b = lo; b <= hi; ++b) t[b] = t[term_stride + b] = 0.0;
    }
  }
};

SpeedBinning binning(double min, double max, double step) {
  return speed_binning(SpeedBins{min, max, step});
}

TEST(SpeedHistogram, FastBinsMatchTheReferenceBinningBitForBitOnEveryPath) {
  // The default; a checked guess; a fine one; an integer layout that many speeds overflow; the
  // same steps with a last bin narrower than the step (not an integer layout).
  const SpeedBinning layouts[] = {binning(0.0, 40.0, 0.25), binning(3.0, 12.0, 0.7),
                                  binning(0.0, 30.0, 0.01), binning(0.0, 8.0, 0.5),
                                  binning(0.0, 7.9, 0.5)};
  constexpr int kLayouts = sizeof layouts / sizeof layouts[0];
  const SimdPath paths[] = {SimdPath::kScalar, SimdPath::kAvx2, SimdPath::kAvx512};
  const FastRules& rules = program_rules();
  Pairs gen(20261208);
  int nonzero_pairs = 0;
  int rows_left_out = 0;
  for (int row = 0; row < 30; ++row) {
    const SpeedBinning& bins = layouts[row % kLayouts];
    const int values = bins.values();
    const Orbit body = gen.orbit();
    const double v_esc = row % 2 == 0 ? 0.0 : gen.uniform(0.0, 8.0);
    std::vector<Orbit> pop;
    for (int k = 0; k < 37; ++k) pop.push_back(gen.partner(body));
    // The reference, pair by pair.
    std::vector<double> want_imp(pop.size() * values), want_enc(pop.size() * values);
    ::testing::internal::CaptureStdout();  // the reference's no-case lines
    for (std::size_t k = 0; k < pop.size(); ++k) {
      reference_speed_histograms(pop[k].a_cm, pop[k].e, pop[k].inc, body.a_cm, body.e, body.inc, 10,
                                 10, v_esc, bins, &want_imp[k * values], &want_enc[k * values]);
    }
    ::testing::internal::GetCapturedStdout();
    std::vector<PreparedOrbit> prepared;
    for (const Orbit& o : pop) prepared.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
    const PreparedOrbit b = prepare_orbit(body.a_cm, body.e, body.inc);
    std::vector<double> scalar_all, scalar_left;  // the row's sums on the scalar path
    for (SimdPath path : paths) {
      Collect got;
      got.values = values;
      got.impact.assign(pop.size() * values, -1.0);
      got.encounter.assign(pop.size() * values, -1.0);
      std::vector<PairResult> out(pop.size()), plain(pop.size());
      std::vector<PairStatus> status(pop.size());
      fast_gaussorb_row_speeds(rules, prepared, b, v_esc, out.data(), SpeedRequest{&bins, &got},
                               nullptr, path);
      fast_gaussorb_row(rules, prepared, b, v_esc, plain.data(), status.data(), path);
      for (std::size_t k = 0; k < pop.size(); ++k) {
        ASSERT_EQ(got.order[k], k);
        ASSERT_TRUE(same_bits(out[k].p_coll, plain[k].p_coll) &&
                    same_bits(out[k].v_imp_mean, plain[k].v_imp_mean) &&
                    same_bits(out[k].v_rel_rms, plain[k].v_rel_rms))
            << "binning changed the sums of pair " << k;
        for (int v = 0; v < values; ++v) {
          const std::size_t i = k * values + v;
          ASSERT_TRUE(same_bits(want_imp[i], got.impact[i]) &&
                      same_bits(want_enc[i], got.encounter[i]))
              << "row " << row << " pair " << k << " bin " << v << " path "
              << static_cast<int>(path) << ": impact " << want_imp[i] << " vs " << got.impact[i]
              << ", encounter " << want_enc[i] << " vs " << got.encounter[i];
        }
        if (path == SimdPath::kScalar && out[k].p_coll > 0.0) ++nonzero_pairs;
      }
      // The row summed as weights, lane by lane: the pairs' distributions added, within
      // rounding, and the same bits on every path. The row as it is, and without its
      // integrated pairs of p_coll = 0 (identical orbits have no finite sum: with them the
      // row is integrated again, arc by arc, and they must add nothing either way).
      for (const bool all : {true, false}) {
        std::vector<PreparedOrbit> row_pairs;
        std::vector<long double> want_i(values, 0.0L), want_e(values, 0.0L);
        for (std::size_t k = 0; k < pop.size(); ++k) {
          if (!all && status[k] == PairStatus::kIntegrated && plain[k].p_coll == 0.0) continue;
          row_pairs.push_back(prepared[k]);
          for (int v = 0; v < values; ++v) {
            want_i[v] += want_imp[k * values + v];
            want_e[v] += want_enc[k * values + v];
          }
        }
        if (!all && row_pairs.size() < pop.size()) ++rows_left_out;
        SumRow sums(values);
        std::vector<PairResult> unused(row_pairs.size());
        fast_gaussorb_row_speeds(rules, row_pairs, b, v_esc, unused.data(),
                                 SpeedRequest{&bins, nullptr, &sums}, nullptr, path);
        std::vector<double>& scalar = all ? scalar_all : scalar_left;
        std::vector<double> both = sums.impact;
        both.insert(both.end(), sums.encounter.begin(), sums.encounter.end());
        if (path == SimdPath::kScalar) scalar = both;
        ASSERT_EQ(std::memcmp(both.data(), scalar.data(), both.size() * sizeof(double)), 0)
            << "row " << row << " summed on path " << static_cast<int>(path);
        for (int v = 0; v < values; ++v) {
          for (const auto& [sum, want] :
               {std::pair{sums.impact[v], want_i[v]}, std::pair{sums.encounter[v], want_e[v]}}) {
            const double x = scale_speed_weights(sum);
            ASSERT_LE(std::fabs(x - static_cast<double>(want)), 1e-12 * static_cast<double>(want))
                << "row " << row << " bin " << v << ": " << x << " vs " << want;
          }
        }
      }
    }
  }
  EXPECT_GT(nonzero_pairs, 300);  // most rows really integrate
  EXPECT_GT(rows_left_out, 10);   // and many hold a pair without a finite sum
}

// Each distribution sums to the pair's p_coll, and the impact bins' mean lies within a bin of
// the kernel's v_imp_mean (the bins here are all inside [min, max)).
TEST(SpeedHistogram, BinsSumToTheProbabilityAndCentreOnTheMeanImpactSpeed) {
  const SpeedBinning bins = binning(0.0, 100.0, 0.05);
  const FastRules& rules = program_rules();
  Pairs gen(7);
  int checked = 0;
  for (int row = 0; row < 8; ++row) {
    const Orbit body = gen.orbit();
    const double v_esc = row * 1.5;
    std::vector<PreparedOrbit> prepared;
    for (int k = 0; k < 20; ++k) {
      const Orbit o = gen.orbit();
      prepared.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
    }
    Collect got;
    got.values = bins.values();
    got.impact.assign(prepared.size() * got.values, 0.0);
    got.encounter.assign(prepared.size() * got.values, 0.0);
    std::vector<PairResult> out(prepared.size());
    fast_gaussorb_row_speeds(rules, prepared, prepare_orbit(body.a_cm, body.e, body.inc), v_esc,
                             out.data(), SpeedRequest{&bins, &got});
    for (std::size_t k = 0; k < prepared.size(); ++k) {
      long double s_imp = 0, s_enc = 0, m_imp = 0;
      for (int v = 0; v < got.values; ++v) {
        const double w = got.impact[k * got.values + v];
        s_imp += w;
        s_enc += got.encounter[k * got.values + v];
        if (v > 0 && v <= bins.n) m_imp += w * (bins.edge(v - 1) + 0.5 * bins.step);
      }
      const double p = out[k].p_coll;
      EXPECT_NEAR(static_cast<double>(s_imp), p, 1e-12 * p) << k;
      EXPECT_NEAR(static_cast<double>(s_enc), p, 1e-12 * p) << k;
      if (p > 0.0) {
        EXPECT_NEAR(static_cast<double>(m_imp / s_imp), out[k].v_imp_mean, bins.step) << k;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 40);
}

// A speed's bin: the edges min + k step decide; below min, at or above max and NaN go to the
// ends; the last bin ends at max.
TEST(SpeedHistogram, EdgesDecideTheBinOfASpeed) {
  const SpeedBinning b = binning(1.0, 2.0, 0.3);  // [1,1.3) [1.3,1.6) [1.6,1.9) [1.9,2)
  ASSERT_EQ(b.n, 4);
  const struct {
    double v;
    int index;
  } cases[] = {{0.999, 0},    {1.0, 1},    {1.2999999, 1}, {b.edge(1), 2},
               {1.9, 4},      {1.9999, 4}, {2.0, 5},       {1e300, 5},
               {-1.0, 0},     {NAN, 5},    {INFINITY, 5},  {std::nextafter(b.edge(2), 0.0), 2},
               {b.edge(2), 3}};
  for (const auto& c : cases) EXPECT_EQ(b.index(c.v), c.index) << c.v;
  // Every edge of a fine layout starts its own bin, and the speed just below it the previous.
  const SpeedBinning fine = binning(0.0, 40.0, 0.1);
  for (int k = 1; k < fine.n; ++k) {
    ASSERT_EQ(fine.index(fine.edge(k)), k + 1);
    ASSERT_EQ(fine.index(std::nextafter(fine.edge(k), 0.0)), k);
  }
}

// The registers' bin index (a guess from the reciprocal of the step, checked only near an
// edge; exact ints for the default kind of layout) against the edges' own index: at every
// edge and either side of it, between them, off both ends and on the odd values, for layouts
// up to ones whose edges lie a few units of rounding apart in bins (where every guess is
// checked). The speeds are magnitudes, as the quadrature's are: +0 or more, infinite or NaN.
TEST(SpeedHistogram, VectorBinIndexIsTheIndexOfTheEdges) {
  const SpeedBinning layouts[] = {binning(0.0, 40.0, 0.25),        binning(3.0, 12.0, 0.7),
                                  binning(0.0, 30.0, 0.01),        binning(2.5, 7.5, 0.1),
                                  binning(1000.0, 1001.0, 1e-3),   binning(1e10, 1e10 + 1.0, 1e-4),
                                  binning(1e12, 1e12 + 1.0, 1e-3), binning(0.0, 100.0, 4.0),
                                  binning(0.0, 40.1, 0.25)};
  std::mt19937_64 rng(11);
  for (const SpeedBinning& b : layouts) {
    ASSERT_GT(b.n, 0);
    std::vector<double> v = {NAN, INFINITY, 0.0, DBL_TRUE_MIN, b.max, 1e300, 2147483647.5 * b.step};
    for (int k = 0; k <= b.n; ++k) {
      const double e = k == b.n ? b.max : b.edge(k);
      v.insert(v.end(), {e, std::nextafter(e, -INFINITY), std::nextafter(e, INFINITY),
                         std::nextafter(std::nextafter(e, INFINITY), INFINITY)});
    }
    std::uniform_real_distribution<double> any(b.min - 2 * b.step, b.max + 2 * b.step);
    for (int i = 0; i < 20000; ++i) v.push_back(any(rng));
    std::erase_if(v, [](double x) { return x < 0.0; });
    const int n = static_cast<int>(v.size());
    std::vector<int> want(v.size());
    for (int i = 0; i < n; ++i) want[i] = b.index(v[i]);
    for (const SimdPath path : {SimdPath::kAvx2, SimdPath::kAvx512}) {
      if (resolved_path(path) != path) continue;  // not on this processor
      std::vector<int> got(v.size(), -1);
      (path == SimdPath::kAvx2 ? fast::bin_indices_avx2 : fast::bin_indices_avx512)(b, v.data(), n,
                                                                                    got.data());
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(got[i], want[i]) << "speed " << v[i] << " in " << b.min << ":" << b.max << ":"
                                   << b.step << ", path " << static_cast<int>(path);
      }
    }
  }
}

}  // namespace
}  // namespace pairtrack::detail
