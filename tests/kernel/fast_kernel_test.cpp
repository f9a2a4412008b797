// The fast kernel against the reference kernel, bit for bit: random pairs of
// every overlap configuration and of the awkward families (circular, touching,
// identical, equal apsides, coplanar, high inclination), both vector paths,
// several node counts, and calls from many threads at once.
#include "kernel/fast/fast_kernel.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kernel/gauleg.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/gaussorb.h"
#include "kernel/reference/integrand.h"

namespace pairtrack::detail {
namespace {

constexpr double kAu = 1.4959787e13;
constexpr double kPi = 3.141592653589793;

struct Orbit {
  double a_cm, e, inc;
};

// Values the reference leaves in place for a disjoint pair; the fast kernel
// must leave them too.
constexpr PairResult kPreset{-1.0, 7.0, 8.0, 9.0};

bool same_bits(double x, double y) {
  if (std::isnan(x) && std::isnan(y)) return true;
  return std::memcmp(&x, &y, sizeof x) == 0;
}

::testing::AssertionResult same_outputs(const PairResult& want, const PairResult& got) {
  const std::array<double, 4> w = {want.p_coll, want.v_rel_mean, want.v_rel_rms, want.v_imp_mean};
  const std::array<double, 4> g = {got.p_coll, got.v_rel_mean, got.v_rel_rms, got.v_imp_mean};
  for (int i = 0; i < 4; ++i) {
    if (!same_bits(w[i], g[i])) {
      return ::testing::AssertionFailure()
             << "output " << i << ": reference " << w[i] << " fast " << g[i];
    }
  }
  return ::testing::AssertionSuccess();
}

PairResult reference(const Orbit& o1, const Orbit& o2, double v_esc, int n_cap, int n_theta) {
  PairResult r = kPreset;
  gaussorb(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc, r.p_coll, r.v_rel_mean, r.v_rel_rms,
           r.v_imp_mean, n_cap, n_theta, v_esc);
  return r;
}

// 0 disjoint, 1-4 the overlap case, 5 no case holds.
int configuration(const Orbit& o1, const Orbit& o2) {
  const OverlapBounds b = match_apsides(o1.a_cm, o1.e, o2.a_cm, o2.e);
  if (b.disjoint()) return 0;
  IntegrationSet s1, s2;
  int split = 0;
  const int which = linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, o1.a_cm, o2.a_cm,
                                   o1.e, o2.e, o1.inc, o2.inc, s1, s2, split);
  return which == 0 ? 5 : which;
}

// Random orbits, main-belt-like and beyond, and population-1 orbits placed
// in a chosen relation to a body.
class PairGenerator {
 public:
  explicit PairGenerator(std::uint64_t seed) : rng_(seed) {}

  double uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  double inclination() {
    switch (pick(6)) {
      case 0: return 0.0;
      case 1: return uniform(1.0, kPi);  // high, up to retrograde
      case 2: return kPi / 2;
      default: return uniform(0.0, 35.0) * kPi / 180.0;
    }
  }
  double eccentricity() {
    switch (pick(8)) {
      case 0: return 0.0;                                   // circular
      case 1: return std::pow(10.0, uniform(-15.0, -5.0));  // near-circular
      case 2: return uniform(0.4, 0.97);
      default: return uniform(0.0, 0.4);
    }
  }
  Orbit body() { return Orbit{uniform(1.5, 4.5) * kAu, eccentricity(), inclination()}; }
  // A relative change of a few units in the last place up to 1e-9.
  double nudge() {
    switch (pick(3)) {
      case 0: return 1.0;
      case 1: return 1.0 + uniform(-8.0, 8.0) * 2.220446049250313e-16;
      default: return 1.0 + uniform(-1e-9, 1e-9);
    }
  }

  // A population-1 orbit for `b` from one of the families.
  Orbit partner(const Orbit& b) {
    const double q = b.a_cm * (1.0 - b.e);
    const double big_q = b.a_cm * (1.0 + b.e);
    const double e = eccentricity();
    const double inc = inclination();
    switch (pick(10)) {
      case 0:  // its aphelion at the body's perihelion: touching from inside
        return Orbit{q / (1.0 + e) * nudge(), e, inc};
      case 1:  // its perihelion at the body's aphelion: touching from outside
        return Orbit{big_q / (1.0 - e) * nudge(), e, inc};
      case 2:  // equal aphelia
        return Orbit{big_q / (1.0 + e) * nudge(), e, inc};
      case 3:  // equal perihelia
        return Orbit{q / (1.0 - e) * nudge(), e, inc};
      case 4:  // the same distance range, nearly or exactly
        return Orbit{b.a_cm * nudge(), b.e * nudge(), inc};
      case 5:  // the same orbit, or the same plane
        return pick(2) == 0 ? b : Orbit{uniform(1.5, 4.5) * kAu, e, b.inc};
      case 6:  // far away: disjoint
        return Orbit{uniform(6.0, 40.0) * kAu, uniform(0.0, 0.3), inc};
      default:  // main-belt-like: crossing, nested or disjoint
        return Orbit{uniform(1.5, 4.5) * kAu, e, inc};
    }
  }
  double v_esc() { return pick(2) == 0 ? 0.0 : uniform(0.0, 10.0); }

 private:
  std::mt19937_64 rng_;
};

struct Row {
  Orbit body;
  std::vector<Orbit> population;
  double v_esc;
};

std::vector<Row> make_rows(std::uint64_t seed, int n_rows, int per_row) {
  PairGenerator gen(seed);
  std::vector<Row> rows;
  for (int r = 0; r < n_rows; ++r) {
    Row row{gen.body(), {}, gen.v_esc()};
    for (int k = 0; k < per_row; ++k) row.population.push_back(gen.partner(row.body));
    rows.push_back(row);
  }
  return rows;
}

std::vector<PreparedOrbit> prepare_all(const std::vector<Orbit>& orbits) {
  std::vector<PreparedOrbit> out;
  for (const Orbit& o : orbits) out.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  return out;
}

std::size_t count_lines(const std::string& text, const std::string& line) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(line); pos != std::string::npos;
       pos = text.find(line, pos + 1)) {
    ++n;
  }
  return n;
}

// Every pair of `rows` through the reference and through fast_gaussorb_row on
// `paths`; the reference's no-case lines must match the kNoCase statuses.
// Returns how many pairs fell into each configuration.
std::array<int, 6> expect_rows_match(const std::vector<Row>& rows, int n_cap, int n_theta,
                                     std::initializer_list<SimdPath> paths) {
  const FastRules rules(n_cap, n_theta);
  std::array<int, 6> seen{};
  std::vector<PairResult> want;
  ::testing::internal::CaptureStdout();
  for (const Row& row : rows) {
    for (const Orbit& o1 : row.population) {
      want.push_back(reference(o1, row.body, row.v_esc, n_cap, n_theta));
      ++seen[configuration(o1, row.body)];
    }
  }
  const std::string printed = ::testing::internal::GetCapturedStdout();
  const std::size_t no_case_lines = count_lines(printed, std::string(" ") + kNoCaseMessage + "\n");

  for (SimdPath path : paths) {
    std::size_t index = 0;
    std::int64_t no_case = 0;
    int mismatches = 0;
    for (const Row& row : rows) {
      const std::vector<PreparedOrbit> pop = prepare_all(row.population);
      const PreparedOrbit body = prepare_orbit(row.body.a_cm, row.body.e, row.body.inc);
      std::vector<PairResult> got(pop.size(), kPreset);
      std::vector<PairStatus> status(pop.size());
      no_case += fast_gaussorb_row(rules, pop, body, row.v_esc, got.data(), status.data(), path);
      for (std::size_t k = 0; k < pop.size(); ++k, ++index) {
        const int config = configuration(row.population[k], row.body);
        const PairStatus expected = config == 0   ? PairStatus::kDisjoint
                                    : config == 5 ? PairStatus::kNoCase
                                                  : PairStatus::kIntegrated;
        EXPECT_EQ(status[k], expected);
        const ::testing::AssertionResult same = same_outputs(want[index], got[k]);
        if (!same && ++mismatches <= 5) {
          ADD_FAILURE() << same.message() << " (path " << static_cast<int>(path) << ", pair "
                        << index << ", configuration " << config << ")";
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(static_cast<std::size_t>(no_case), no_case_lines);
  }
  return seen;
}

// What the encounter speeds of a pair's terms look like, from the reference
// integrand itself: how many terms have U_km^2 zero, subnormal, or not finite
// (where the v_esc = 0 shortcut must not be taken).
struct SpeedConditions {
  int zero = 0, subnormal = 0, nan = 0;  // infinite squares count as NaN
};

void add_integral_conditions(const IntegrationSet& set, double c_1, double c_2,
                             SpeedConditions& seen) {
  using namespace kernel;
  double xcap[10], wcap[10], xtheta[10], wtheta[10];
  double theta_lo = std::acos(c_1), theta_hi = std::acos(c_2);
  if (theta_lo > theta_hi) std::swap(theta_lo, theta_hi);
  gauleg(0.0, kPi, xcap, wcap, 10);
  gauleg(theta_lo, theta_hi, xtheta, wtheta, 10);
  const OrbitPairConstants o = orbit_pair_constants(set.a_a, set.a_b, set.e_a, set.e_b);
  const double c_c = std::cos(set.inc_a) * std::cos(set.inc_b);
  const double s_s = std::sin(set.inc_a) * std::sin(set.inc_b);
  for (int k = 0; k < 10; ++k) {
    const NodeConstants n = node_constants(o, c_c, s_s, xcap[k], wcap[k], 0.0);
    for (int m = 0; m < 10; ++m) {
      const IntegrandPoint p =
          integrand_point(o, n, std::cos(xtheta[m]), std::sin(xtheta[m]), wtheta[m]);
      for (double sb : {-1.0, 1.0}) {
        for (double sa : {-1.0, 1.0}) {
          const double sq = integrand_term(p, sb, sa).u_km * integrand_term(p, sb, sa).u_km;
          if (std::getenv("DBG")) std::fprintf(stderr, "%g %g %g\n", set.a_a, sq, p.v_a);
          seen.zero += sq == 0.0;
          seen.subnormal += sq > 0.0 && sq < DBL_MIN;
          seen.nan += !std::isfinite(sq);
        }
      }
    }
  }
}

void add_pair_conditions(const Orbit& o1, const Orbit& o2, SpeedConditions& seen) {
  const OverlapBounds b = match_apsides(o1.a_cm, o1.e, o2.a_cm, o2.e);
  if (b.disjoint()) return;
  IntegrationSet s1, s2;
  int split = 0;
  if (linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, o1.a_cm, o2.a_cm, o1.e, o2.e,
                     o1.inc, o2.inc, s1, s2, split) == 0) {
    return;
  }
  if (split != 0) {
    add_integral_conditions(s1, s1.c_first, s1.c_second, seen);
    add_integral_conditions(s2, s2.c_first, s2.c_second, seen);
  } else {
    add_integral_conditions(s1, s1.c_first, s2.c_second, seen);
  }
}

// Forced paths fall back to what the processor has (AVX-512 -> AVX2 -> scalar).
constexpr std::initializer_list<SimdPath> kBothPaths = {SimdPath::kScalar, SimdPath::kAvx2};
constexpr std::initializer_list<SimdPath> kVectorPaths = {SimdPath::kScalar, SimdPath::kAvx2,
                                                          SimdPath::kAvx512};
constexpr std::initializer_list<SimdPath> kAllPaths = {SimdPath::kScalar, SimdPath::kAvx2,
                                                       SimdPath::kAvx512, SimdPath::kAuto};

TEST(FastKernel, MatchesTheReferenceBitForBitOnRandomPairsOfEveryConfiguration) {
  // 2000 rows of 50 pairs: 100000 pairs, each through the scalar fallback and
  // (where the processor has them) the AVX2 and the AVX-512 path, all forced.
  // Half of the rows have v_esc = 0 (the unit-focus shortcut).
  const std::array<int, 6> seen =
      expect_rows_match(make_rows(20240601, 2000, 50), 10, 10, kVectorPaths);
  for (int config = 0; config < 6; ++config) {
    EXPECT_GT(seen[config], 100) << "too few pairs of configuration " << config;
  }
}

// Rows of 1 to 17 pairs (shorter than the lane count, or ending in a partly
// filled group of lanes) whose terms have encounter speeds that the v_esc = 0
// shortcut must refuse: zero (identical orbits), subnormal squares (huge,
// nearly identical orbits), NaN (tiny orbits, whose speeds overflow; an
// inclination NaN or infinite), mixed in one row with ordinary pairs so that
// refused and accepted lanes share registers. (A finite orbital speed is below
// 1e155 cm/s, so U_km^2 overflows only through infinite speeds, which give
// NaN or infinity; the identities test covers the infinite square.)
std::vector<Row> extreme_rows(std::uint64_t seed, SpeedConditions& seen) {
  PairGenerator gen(seed);
  const double v_escs[] = {0.0,
                           -0.0,
                           1e-200,
                           2.5,
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()};
  std::vector<Row> rows;
  for (int r = 0; r < 240; ++r) {
    const int family = r % 4;
    const double scale = family == 1 ? 1e293 : family == 2 ? 1e-307 : 1.0;
    Row row{Orbit{gen.uniform(1.5, 4.5) * kAu * scale, gen.uniform(0.05, 0.4),
                  family <= 1 ? 0.0 : gen.uniform(0.05, 0.5)},
            {},
            v_escs[(r / 4) % 6]};
    const int length = 1 + (r / 24 * 7 + r) % 17;
    for (int k = 0; k < length; ++k) {
      Orbit o{gen.uniform(1.5, 4.5) * kAu * scale, gen.uniform(0.05, 0.4),
              gen.uniform(0.05, 0.5)};  // ordinary at the row's scale
      if (gen.pick(2) == 0) {
        switch (family) {
          case 0:  // the body itself, in the reference plane: zero relative speeds
            o = row.body;
            break;
          case 1:  // a near twin of a huge orbit in the same plane: speeds of
                   // 1e-150 cm/s and below
          case 2:  // a near twin of a tiny orbit: infinite orbital speeds
            o = Orbit{row.body.a_cm * gen.nudge(), row.body.e * gen.nudge(),
                      row.body.inc * gen.nudge()};
            break;
          default:  // inclination NaN or infinite: a NaN lane
            o.inc = gen.pick(2) == 0 ? std::numeric_limits<double>::quiet_NaN()
                                     : std::numeric_limits<double>::infinity();
            break;
        }
      }
      row.population.push_back(o);
      add_pair_conditions(o, row.body, seen);
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(FastKernel, SpeedsTheZeroEscapeShortcutRefusesMatchTheReferenceOnEveryPath) {
  SpeedConditions seen;
  expect_rows_match(extreme_rows(31337, seen), 10, 10, kVectorPaths);
  EXPECT_GT(seen.zero, 0);
  EXPECT_GT(seen.subnormal, 0);
  EXPECT_GT(seen.nan, 0);
}

TEST(FastKernel, ZeroEscapeShortcutIdentitiesHoldExactlyForNormalSquares) {
  // For U_km^2 normal: 0 / U_km^2 + 1 == 1 and sqrt(U_km^2 + 0) == U_km, bit
  // for bit; the shortcut rests on these. Below and above they fail, which is
  // why such terms are computed literally.
  PairGenerator gen(8);
  for (int i = 0; i < 200000; ++i) {
    const double x = std::ldexp(gen.uniform(1.0, 2.0), gen.pick(1020) - 510);
    const double sq = x * x;
    ASSERT_TRUE(sq >= DBL_MIN && sq <= DBL_MAX);
    ASSERT_EQ(0.0 / sq + 1.0, 1.0) << x;
    ASSERT_TRUE(same_bits(std::sqrt(sq + 0.0), x)) << std::hexfloat << x;
  }
  const double tiny = 0x1.ccb0536608d61p-539;  // its square is subnormal
  EXPECT_FALSE(same_bits(std::sqrt(tiny * tiny + 0.0), tiny));
  EXPECT_TRUE(std::isnan(0.0 / (1e-170 * 1e-170) + 1.0));  // the square underflows to 0
  EXPECT_TRUE(std::isinf(std::sqrt(1e170 * 1e170 + 0.0)));
}

TEST(FastKernel, AvailableVectorPathIsTakenAndForcingAvx2WithoutItFallsBack) {
  // kAuto takes AVX2 where present; kAvx2 on a processor without it runs the
  // scalar code. Either way the bits are the reference's.
  expect_rows_match(make_rows(77, 300, 40), 10, 10, {SimdPath::kAuto, SimdPath::kAvx2});
}

TEST(FastKernel, OtherNodeCountsMatchTheReference) {
  const std::vector<std::array<int, 2>> counts = {{1, 1},  {2, 2},  {7, 7},   {40, 40}, {1, 10},
                                                  {10, 1}, {3, 11}, {16, 16}, {17, 5},  {5, 17}};
  std::uint64_t seed = 5;
  for (const auto& [n_cap, n_theta] : counts) {
    SCOPED_TRACE(std::to_string(n_cap) + " x " + std::to_string(n_theta) + " nodes");
    const int rows = n_cap * n_theta > 200 ? 8 : 40;
    expect_rows_match(make_rows(++seed, rows, 25), n_cap, n_theta, kVectorPaths);
  }
}

// The kernels' compiled code takes cos and sin of one angle with one sincos
// call, and the fast kernel keeps the cosines and sines of the whole-arc rule
// from separate cos and sin calls: both are one and the same only if the C
// library's sincos gives the bits of cos and sin. Called through pointers, so
// that the compiler cannot merge the calls here.
TEST(FastKernel, SincosGivesTheBitsOfCosAndSin) {
  double (*volatile cos_fn)(double) = std::cos;
  double (*volatile sin_fn)(double) = std::sin;
  void (*volatile sincos_fn)(double, double*, double*) = ::sincos;
  std::mt19937_64 gen(4242);
  std::uniform_real_distribution<double> half_orbit(0.0, kPi);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  int mismatches = 0;
  for (int i = 0; i < 400000; ++i) {
    const double x = i % 4 == 3 ? wide(gen) : half_orbit(gen);
    double s = 0.0, c = 0.0;
    sincos_fn(x, &s, &c);
    if (!same_bits(c, cos_fn(x)) || !same_bits(s, sin_fn(x))) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(FastKernel, WholeArcRuleIsTheAnomalyRuleOfAcosOneToAcosMinusOne) {
  double (*volatile cos_fn)(double) = std::cos;
  double (*volatile sin_fn)(double) = std::sin;
  for (int n : {1, 2, 7, 10, 17}) {
    const FastRules rules(n, n);
    const double lo = std::acos(1.0), hi = std::acos(-1.0);
    EXPECT_TRUE(same_bits(rules.acos_plus_one(), lo));
    EXPECT_TRUE(same_bits(rules.acos_minus_one(), hi));
    std::vector<double> x(static_cast<std::size_t>(n)), w(x.size());
    gauleg(lo, hi, x.data(), w.data(), n);
    for (int i = 0; i < n; ++i) {
      SCOPED_TRACE("n " + std::to_string(n) + " node " + std::to_string(i));
      EXPECT_TRUE(same_bits(rules.whole_x()[i], x[i]));
      EXPECT_TRUE(same_bits(rules.whole_w()[i], w[i]));
      EXPECT_TRUE(same_bits(rules.whole_cos()[i], cos_fn(x[i])));
      EXPECT_TRUE(same_bits(rules.whole_sin()[i], sin_fn(x[i])));
    }
  }
}

TEST(FastKernel, CountsOutsideTheNodeTablesGiveTheReferenceZeros) {
  for (const auto& [n_cap, n_theta] :
       std::vector<std::array<int, 2>>{{0, 10}, {10, 0}, {-3, 4}, {5001, 2}, {2, 5001}}) {
    const FastRules rules(n_cap, n_theta);
    EXPECT_FALSE(rules.valid());
    expect_rows_match(make_rows(99, 10, 20), n_cap, n_theta, kBothPaths);
  }
}

TEST(FastKernel, SinglePairEntryAgreesWithTheReferenceAndReportsHowThePairEnded) {
  const FastRules rules(10, 10);
  const Orbit crossing1{2.0 * kAu, 0.3, 5.0 * kPi / 180.0};
  const Orbit crossing2{3.0 * kAu, 0.4, 12.0 * kPi / 180.0};
  const Orbit far{30.0 * kAu, 0.1, 0.1};
  for (SimdPath path : {SimdPath::kScalar, SimdPath::kAvx2, SimdPath::kAuto}) {
    PairResult out = kPreset;
    EXPECT_EQ(
        fast_gaussorb(rules, prepare_orbit(crossing1.a_cm, crossing1.e, crossing1.inc),
                      prepare_orbit(crossing2.a_cm, crossing2.e, crossing2.inc), 5.0, out, path),
        PairStatus::kIntegrated);
    EXPECT_TRUE(same_outputs(reference(crossing1, crossing2, 5.0, 10, 10), out));

    out = kPreset;
    EXPECT_EQ(fast_gaussorb(rules, prepare_orbit(crossing1.a_cm, crossing1.e, crossing1.inc),
                            prepare_orbit(far.a_cm, far.e, far.inc), 0.0, out, path),
              PairStatus::kDisjoint);
    EXPECT_EQ(out.p_coll, 0.0);
    EXPECT_EQ(out.v_rel_mean, kPreset.v_rel_mean);  // untouched, as the reference leaves it
    EXPECT_EQ(out.v_imp_mean, kPreset.v_imp_mean);
  }
}

TEST(FastKernel, EqualPerihelionsAndAphelionsKeepTheirOverlapCaseInBothKernels) {
  // Apsides that coincide exactly (the products below are exact): the range
  // of one orbit lies inside the other's with a shared end, so the one-arc
  // case over the inner orbit holds, not the two-arc case with an empty inner
  // arc (which integrates the same function over other nodes and gives
  // 60.26 instead of 56.45 for the first pair). Worked figures to four digits;
  // both kernels, all paths, bit for bit.
  constexpr double kDeg = 0.017453292519444445;
  struct Case {
    const char* name;
    Orbit o1, o2;
    int overlap_case;
    double p_coll_v0, p_coll_v3;  // v_esc 0 and 3 km/s
  };
  const Orbit q_inner{1.0 * kAu, 0.5, 5.0 * kDeg};          // q 0.5 AU, Q 1.5 AU
  const Orbit q_outer{2.0 * kAu, 0.75, 10.0 * kDeg};        // q 0.5 AU, Q 3.5 AU
  const Orbit big_q_inner{2.5 * kAu, 0.25, 5.0 * kDeg};     // q 1.875 AU, Q 3.125 AU
  const Orbit big_q_outer{2.0 * kAu, 0.5625, 10.0 * kDeg};  // q 0.875 AU, Q 3.125 AU
  const std::vector<Case> cases = {
      {"equal perihelia", q_inner, q_outer, 2, 56.45, 59.41},
      {"equal perihelia, exchanged", q_outer, q_inner, 3, 56.45, 59.41},
      {"equal aphelia", big_q_inner, big_q_outer, 2, 9.149, 11.58},
      {"equal aphelia, exchanged", big_q_outer, big_q_inner, 3, 9.149, 11.58},
  };
  const FastRules rules(10, 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(configuration(c.o1, c.o2), c.overlap_case);
    for (const double v_esc : {0.0, 3.0}) {
      const PairResult want = reference(c.o1, c.o2, v_esc, 10, 10);
      const double p_coll = v_esc == 0.0 ? c.p_coll_v0 : c.p_coll_v3;
      EXPECT_NEAR(want.p_coll, p_coll, 0.0005 * p_coll);
      for (SimdPath path : kAllPaths) {
        PairResult got = kPreset;
        EXPECT_EQ(fast_gaussorb(rules, prepare_orbit(c.o1.a_cm, c.o1.e, c.o1.inc),
                                prepare_orbit(c.o2.a_cm, c.o2.e, c.o2.inc), v_esc, got, path),
                  PairStatus::kIntegrated);
        EXPECT_TRUE(same_outputs(want, got)) << "path " << static_cast<int>(path);
      }
    }
  }
}

TEST(FastKernel, TouchingRangesWithNoCaseGiveZerosAndTheNoCaseStatus) {
  // Orbit 2's aphelion a hair outside orbit 1's perihelion: only one of the
  // four apsis solves lands inside [-1, 1] and no overlap case holds.
  PairGenerator gen(3);
  const FastRules rules(10, 10);
  int found = 0;
  for (int tries = 0; tries < 20000 && found < 20; ++tries) {
    const Orbit o1{gen.uniform(2.0, 3.0) * kAu, gen.uniform(0.05, 0.3), 0.2};
    const double e2 = gen.uniform(0.05, 0.3);
    const Orbit o2{o1.a_cm * (1.0 - o1.e) / (1.0 + e2) * gen.nudge(), e2, 0.1};
    if (configuration(o1, o2) != 5) continue;
    ++found;
    PairResult out = kPreset;
    EXPECT_EQ(fast_gaussorb(rules, prepare_orbit(o1.a_cm, o1.e, o1.inc),
                            prepare_orbit(o2.a_cm, o2.e, o2.inc), 1.0, out),
              PairStatus::kNoCase);
    EXPECT_TRUE(same_outputs(PairResult{}, out));
  }
  EXPECT_GT(found, 0);
}

TEST(FastKernel, PreparedOrbitHoldsTheReferenceConstants) {
  PairGenerator gen(11);
  for (int i = 0; i < 1000; ++i) {
    const Orbit o = gen.body();
    const PreparedOrbit p = prepare_orbit(o.a_cm, o.e, o.inc);
    const kernel::OrbitPairConstants c = kernel::orbit_pair_constants(o.a_cm, o.a_cm, o.e, o.e);
    EXPECT_TRUE(same_bits(p.p_cm, c.p_a));
    EXPECT_TRUE(same_bits(p.period_s, c.period_a));
    EXPECT_TRUE(same_bits(p.v_scale, std::sqrt(kernel::kGM / c.p_a)));
    EXPECT_TRUE(same_bits(p.cos_inc, std::cos(o.inc)));
    EXPECT_TRUE(same_bits(p.sin_inc, std::sin(o.inc)));
  }
}

TEST(FastKernel, ManyThreadsAtOnceGiveTheSingleThreadBits) {
  const std::vector<Row> rows = make_rows(424242, 64, 40);
  const FastRules rules(10, 10);
  auto run = [&](std::size_t first, std::size_t step, std::vector<std::vector<PairResult>>& out) {
    for (std::size_t r = first; r < rows.size(); r += step) {
      const std::vector<PreparedOrbit> pop = prepare_all(rows[r].population);
      const PreparedOrbit body = prepare_orbit(rows[r].body.a_cm, rows[r].body.e, rows[r].body.inc);
      out[r].assign(pop.size(), kPreset);
      fast_gaussorb_row(rules, pop, body, rows[r].v_esc, out[r].data());
    }
  };
  std::vector<std::vector<PairResult>> alone(rows.size()), together(rows.size());
  run(0, 1, alone);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) threads.emplace_back(run, t, 4, std::ref(together));
  for (std::thread& t : threads) t.join();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t k = 0; k < alone[r].size(); ++k) {
      ASSERT_TRUE(same_outputs(alone[r][k], together[r][k])) << "row " << r << " pair " << k;
    }
  }
}

}  // namespace
}  // namespace pairtrack::detail
