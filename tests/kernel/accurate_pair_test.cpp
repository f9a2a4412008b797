// The accurate pair integrator: the inclination ladder against
// converged values, the classic 10 x 10 values of the same pairs, divergent
// geometries, the honesty of the error estimate on random pairs, thread
// independence, and refused options.
#include "kernel/accurate/accurate_pair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kernel/accurate/accurate_rows.h"
#include "kernel/accurate/pair_class.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail::kernel {
namespace {

constexpr double kAu = 1.4959787e13;
constexpr double kDeg = 0.017453292519444445;

struct Orbits {
  double a1_au, e1, i1_deg, a2_au, e2, i2_deg;
};

AccurateResult accurate(const Orbits& o, double v_esc, double rel, double i_min = 0.0) {
  AccurateOptions options;
  options.rel = rel;
  options.min_mutual_inclination = i_min;
  return accurate_pair(o.a1_au * kAu, o.e1, o.i1_deg * kDeg, o.a2_au * kAu, o.e2, o.i2_deg * kDeg,
                       v_esc, options);
}

double classic(const Orbits& o, double v_esc) {
  double p = 0.0, v1 = 0.0, v2 = 0.0, v3 = 0.0;
  gaussorb(o.a1_au * kAu, o.e1, o.i1_deg * kDeg, o.a2_au * kAu, o.e2, o.i2_deg * kDeg, p, v1, v2,
           v3, 10, 10, v_esc);
  return p;
}

TEST(AccuratePair, InclinationLadderMatchesConvergedValuesWithinItsEstimate) {
  // P_i in 1e-18 km^-2 yr^-1: converged values stable to 7 digits between
  // 1000^2 and 2000^2 plain nodes, and the classic 10 x 10 values (stated to
  // the digits given; half_unit is half a unit of the last one).
  struct Row {
    Orbits orbits;
    double v_esc, converged, half_unit, classic_10x10, classic_half_unit;
  };
  const Row rows[] = {
      {{2.7, 0.15, 10.0, 2.6, 0.12, 11.0}, 0.0, 7.2117, 5e-5, 7.2198, 5e-5},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.1}, 0.0, 9.2784, 5e-5, 8.7012, 5e-5},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.01}, 0.0, 11.3194, 5e-5, 8.7842, 5e-5},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.001}, 0.0, 13.3471, 5e-5, 8.7868, 5e-5},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.1}, 5.0, 73.39, 5e-3, 62.71, 5e-3},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.01}, 5.0, 111.55, 5e-3, 64.29, 5e-3},
      {{2.0, 0.5, 20.0, 2.5, 0.3, 20.1}, 0.0, 6.496, 5e-4, 5.493, 5e-4},
  };
  for (const Row& r : rows) {
    const AccurateResult a = accurate(r.orbits, r.v_esc, 1e-6);
    SCOPED_TRACE("i2 " + std::to_string(r.orbits.i2_deg) + " v_esc " + std::to_string(r.v_esc));
    EXPECT_EQ(a.status, AccurateStatus::kOk);
    EXPECT_LE(a.p_coll_error, 1e-6 * a.p_coll);
    EXPECT_NEAR(a.p_coll, r.converged, a.p_coll_error + r.half_unit);
    EXPECT_NEAR(classic(r.orbits, r.v_esc), r.classic_10x10, r.classic_half_unit);
  }
  // Equal inclinations: the classic rule returns a number, the theory none.
  const Orbits equal{2.7, 0.15, 10.0, 2.6, 0.12, 10.0};
  EXPECT_NEAR(classic(equal, 0.0), 8.7871, 5e-5);
  EXPECT_EQ(accurate(equal, 0.0, 1e-6).status, AccurateStatus::kDivergent);
}

TEST(AccuratePair, CostIsNearlyIndependentOfTheInclinationDifference) {
  // The sinh substitution makes the 1/sin I peak smooth: 1e-6 rad costs no
  // more than twice what 1 degree costs at the same accuracy.
  const AccurateResult wide = accurate({2.7, 0.15, 10.0, 2.6, 0.12, 11.0}, 0.0, 1e-6);
  const AccurateResult narrow =
      accurate({2.7, 0.15, 10.0, 2.6, 0.12, 10.0 + 1e-6 / kDeg}, 0.0, 1e-6);
  EXPECT_EQ(narrow.status, AccurateStatus::kOk);
  EXPECT_LE(narrow.points, 2 * wide.points);
}

TEST(AccuratePair, DegenerateGeometriesAreDivergentOrRegularised) {
  struct Row {
    Orbits orbits;
    PairClass kind;
    bool finite_with_min_inclination;
  };
  const Row rows[] = {
      {{2.7, 0.15, 0.0, 2.6, 0.12, 0.0}, PairClass::kCoplanar, true},
      {{2.7, 0.0, 3.0, 2.7, 0.0, 9.0}, PairClass::kCoincidentCircles, false},
      {{2.7, 0.15, 10.0, 2.7, 0.15, 10.0}, PairClass::kIdenticalOrbits, false},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.0}, PairClass::kEqualInclinations, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(pair_class_name(r.kind));
    const Orbits& o = r.orbits;
    EXPECT_EQ(
        classify_pair(o.a1_au * kAu, o.e1, o.i1_deg * kDeg, o.a2_au * kAu, o.e2, o.i2_deg * kDeg),
        r.kind);
    const AccurateResult plain = accurate(o, 0.0, 1e-4);
    EXPECT_EQ(plain.status, AccurateStatus::kDivergent);
    EXPECT_TRUE(std::isnan(plain.p_coll));
    const AccurateResult regular = accurate(o, 0.0, 1e-4, 0.5 * kDeg);
    if (r.finite_with_min_inclination) {
      EXPECT_EQ(regular.status, AccurateStatus::kOk);
      EXPECT_GT(regular.p_coll, 0.0);
    } else {
      EXPECT_EQ(regular.status, AccurateStatus::kDivergent);
    }
  }
  // Equal perihelion distances (1 AU, exactly): both bodies at perihelion at
  // the inner end of the shared range, 1/|theta| there.
  EXPECT_EQ(accurate({4.0, 0.75, 10.0, 2.0, 0.5, 12.0}, 0.0, 1e-4).status,
            AccurateStatus::kDivergent);
  // Prograde against retrograde in one plane.
  EXPECT_EQ(classify_pair(2.7 * kAu, 0.15, 0.0, 2.6 * kAu, 0.12, 3.141592653589793),
            PairClass::kCoplanar);
  // i1 + i2 = pi exactly (I = pi at dOmega = pi); one bit off it is ordinary.
  const double i1 = 1.6, i2 = 3.141592653589793 - 1.6;
  ASSERT_EQ(i1 + i2, 3.141592653589793);
  EXPECT_EQ(classify_pair(2.0 * kAu, 0.3, i1, 2.5 * kAu, 0.3, i2), PairClass::kEqualInclinations);
  EXPECT_EQ(accurate_pair(2.0 * kAu, 0.3, i1, 2.5 * kAu, 0.3, i2, 0.0, AccurateOptions{}).status,
            AccurateStatus::kDivergent);
  EXPECT_EQ(classify_pair(2.0 * kAu, 0.3, i1, 2.5 * kAu, 0.3, i2 - 1e-15), PairClass::kOrdinary);
  // Ordinary pairs, and equal inclinations whose ranges do not meet.
  EXPECT_EQ(classify_pair(2.7 * kAu, 0.15, 0.2, 2.6 * kAu, 0.12, 0.1), PairClass::kOrdinary);
  EXPECT_EQ(classify_pair(1.0 * kAu, 0.1, 0.2, 3.0 * kAu, 0.1, 0.2), PairClass::kOrdinary);
  const AccurateResult disjoint = accurate({1.0, 0.1, 10.0, 3.0, 0.1, 10.0}, 0.0, 1e-4);
  EXPECT_EQ(disjoint.status, AccurateStatus::kOk);
  EXPECT_EQ(disjoint.p_coll, 0.0);
}

TEST(AccuratePair, MinimumInclinationLeavesPairsAboveItUnchangedAndCapsTheLadder) {
  const Orbits wide{2.7, 0.15, 10.0, 2.6, 0.12, 20.0};  // I >= 10 degrees everywhere
  EXPECT_EQ(accurate(wide, 0.0, 1e-6).p_coll, accurate(wide, 0.0, 1e-6, 1.0 * kDeg).p_coll);
  // Below I_min the ladder stops growing: 0.001 and 0 degrees apart agree.
  const double i_min = 0.1 * kDeg;
  const AccurateResult near = accurate({2.7, 0.15, 10.0, 2.6, 0.12, 10.001}, 0.0, 1e-6, i_min);
  const AccurateResult equal = accurate({2.7, 0.15, 10.0, 2.6, 0.12, 10.0}, 0.0, 1e-6, i_min);
  EXPECT_NEAR(near.p_coll / equal.p_coll, 1.0, 2e-3);
  EXPECT_LT(equal.p_coll, 10.0);  // the unregularised 0.001-degree value is 13.35
}

// Random pairs, half of them with |i1 - i2| log-uniform in [1e-6, 0.03] rad.
struct RandomPair {
  double a1, e1, i1, a2, e2, i2, v_esc;
};
std::vector<RandomPair> random_meeting_pairs(int count, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<RandomPair> pairs;
  while (static_cast<int>(pairs.size()) < count) {
    RandomPair p;
    p.a1 = (2.1 + 1.2 * u(gen)) * kAu;
    p.a2 = (2.1 + 1.2 * u(gen)) * kAu;
    p.e1 = 0.01 + 0.4 * u(gen);
    p.e2 = 0.01 + 0.4 * u(gen);
    p.i1 = (0.5 + 35.0 * u(gen)) * kDeg;
    if (pairs.size() % 2 == 0) {
      const double d = std::pow(10.0, -6.0 + 4.5 * u(gen));
      p.i2 = p.i1 + (u(gen) < 0.5 ? -d : d);
    } else {
      p.i2 = (0.5 + 35.0 * u(gen)) * kDeg;
    }
    p.v_esc = u(gen) < 0.5 ? 0.0 : 5.0 * u(gen);
    if (match_apsides(p.a1, p.e1, p.a2, p.e2).disjoint()) continue;
    pairs.push_back(p);
  }
  return pairs;
}

TEST(AccuratePair, ErrorEstimateIsHonestOnRandomPairs) {
  // Truth: the same integrator run to 1e-11. Within the estimate for at
  // least 99 % of the pairs, never above three times it.
  const std::vector<RandomPair> pairs = random_meeting_pairs(2000, 21);
  for (double rel : {1e-2, 1e-5}) {
    int outside = 0;
    double worst = 0.0;
    AccurateOptions options;
    options.rel = rel;
    AccurateOptions tight;
    tight.rel = 1e-11;
    tight.max_points = 4000000;
    for (const RandomPair& p : pairs) {
      const AccurateResult r = accurate_pair(p.a1, p.e1, p.i1, p.a2, p.e2, p.i2, p.v_esc, options);
      const AccurateResult t = accurate_pair(p.a1, p.e1, p.i1, p.a2, p.e2, p.i2, p.v_esc, tight);
      ASSERT_EQ(r.status, AccurateStatus::kOk);
      const double error = std::fabs(r.p_coll - t.p_coll);
      const double ratio = error / std::max(r.p_coll_error, 1e-300);
      if (error > t.p_coll_error && ratio > 1.0) ++outside;
      worst = std::max(worst, error > t.p_coll_error ? ratio : 0.0);
    }
    EXPECT_LE(outside, 20) << "rel " << rel;
    EXPECT_LE(worst, 3.0) << "rel " << rel;
  }
}

TEST(AccuratePair, RowEvaluationGivesThePointByPointBits) {
  // Random pairs with and without focusing, regularised or not, at a coarse
  // and a fine accuracy (deep adaptive trees): every output bit equal.
  const std::vector<RandomPair> pairs = random_meeting_pairs(1500, 77);
  int compared = 0;
  for (std::size_t n = 0; n < pairs.size(); ++n) {
    const RandomPair& p = pairs[n];
    AccurateOptions options;
    options.rel = n % 3 == 0 ? 1e-8 : 1e-3;
    options.min_mutual_inclination = n % 5 == 0 ? 0.002 : 0.0;
    const AccurateResult ref = accurate::accurate_pair_point_by_point(p.a1, p.e1, p.i1, p.a2, p.e2,
                                                                      p.i2, p.v_esc, options);
    for (accurate::RowPath path : {accurate::RowPath::kScalar, accurate::best_row_path()}) {
      const AccurateResult r = accurate::accurate_pair_on_rows(p.a1, p.e1, p.i1, p.a2, p.e2, p.i2,
                                                               p.v_esc, options, path);
      const double got[] = {r.p_coll, r.v_rel_mean, r.v_rel_rms, r.v_imp_mean, r.p_coll_error};
      const double want[] = {ref.p_coll, ref.v_rel_mean, ref.v_rel_rms, ref.v_imp_mean,
                             ref.p_coll_error};
      ASSERT_EQ(std::memcmp(got, want, sizeof got), 0) << "pair " << n;
      ASSERT_EQ(r.points, ref.points) << "pair " << n;
      ASSERT_EQ(r.status, ref.status) << "pair " << n;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 3000);
}

TEST(AccuratePair, ResultsDoNotDependOnTheThreadThatComputesThem) {
  const std::vector<RandomPair> pairs = random_meeting_pairs(40, 5);
  auto run = [&pairs](std::vector<double>& out) {
    AccurateOptions options;
    options.rel = 1e-6;
    for (const RandomPair& p : pairs) {
      const AccurateResult r = accurate_pair(p.a1, p.e1, p.i1, p.a2, p.e2, p.i2, p.v_esc, options);
      out.insert(out.end(), {r.p_coll, r.v_rel_mean, r.v_rel_rms, r.v_imp_mean, r.p_coll_error});
    }
  };
  std::vector<double> alone;
  run(alone);
  std::vector<std::vector<double>> concurrent(4);
  std::vector<std::thread> threads;
  for (auto& out : concurrent) threads.emplace_back(run, std::ref(out));
  for (auto& t : threads) t.join();
  for (const auto& out : concurrent) EXPECT_EQ(out, alone);
}

// Sums what the node sink receives.
struct SummingSink : AccurateNodeSink {
  long double weight = 0.0L, enc = 0.0L, imp = 0.0L;
  long calls = 0;
  void node(double w, double v_enc_km, double v_imp_km) override {
    weight += w;
    enc += static_cast<long double>(w) * v_enc_km;
    imp += static_cast<long double>(w) * v_imp_km;
    ++calls;
  }
};

TEST(AccuratePair, NodeSinkWeightsSumToTheProbabilityAndAverageToTheMeanSpeeds) {
  struct Row {
    Orbits orbits;
    double v_esc, i_min_deg;
  };
  const Row rows[] = {
      {{2.7, 0.15, 10.0, 2.6, 0.12, 11.0}, 0.0, 0.0},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.001}, 5.0, 0.0},  // sinh pieces on the node axis
      {{2.0, 0.5, 20.0, 2.5, 0.3, 20.1}, 2.0, 0.0},
      {{2.7, 0.15, 10.0, 2.6, 0.12, 10.0}, 1.0, 0.5},  // regularised equal inclinations
      {{3.0, 0.4, 5.0, 2.2, 0.05, 30.0}, 0.3, 0.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("i2 " + std::to_string(r.orbits.i2_deg) + " v_esc " + std::to_string(r.v_esc));
    const AccurateResult plain = accurate(r.orbits, r.v_esc, 1e-5, r.i_min_deg * kDeg);
    SummingSink sink;
    AccurateOptions options;
    options.rel = 1e-5;
    options.min_mutual_inclination = r.i_min_deg * kDeg;
    options.node_sink = &sink;
    const Orbits& o = r.orbits;
    const AccurateResult a = accurate_pair(o.a1_au * kAu, o.e1, o.i1_deg * kDeg, o.a2_au * kAu,
                                           o.e2, o.i2_deg * kDeg, r.v_esc, options);
    ASSERT_EQ(a.status, AccurateStatus::kOk);
    EXPECT_EQ(a.p_coll, plain.p_coll);  // the sink changes nothing
    EXPECT_EQ(a.v_imp_mean, plain.v_imp_mean);
    EXPECT_EQ(sink.calls % (2 * 225), 0);  // whole rectangles, two terms a node
    const double w = static_cast<double>(sink.weight);
    EXPECT_NEAR(w / a.p_coll, 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(sink.imp / sink.weight) / a.v_imp_mean, 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(sink.enc / sink.weight) / a.v_rel_mean, 1.0, 1e-12);
  }
  // Divergent and disjoint pairs: nothing to receive.
  for (const Orbits& o :
       {Orbits{2.7, 0.15, 10.0, 2.6, 0.12, 10.0}, Orbits{1.0, 0.1, 10.0, 3.0, 0.1, 10.0}}) {
    SummingSink sink;
    AccurateOptions options;
    options.node_sink = &sink;
    accurate_pair(o.a1_au * kAu, o.e1, o.i1_deg * kDeg, o.a2_au * kAu, o.e2, o.i2_deg * kDeg, 0.0,
                  options);
    EXPECT_EQ(sink.calls, 0);
  }
}

TEST(AccuratePair, RefusesAccuraciesOutsideTheUnitInterval) {
  const double nan = std::nan("");
  for (double rel : {nan, 0.0, -1e-4, 0.2, std::numeric_limits<double>::infinity()}) {
    AccurateOptions options;
    options.rel = rel;
    try {
      accurate_pair(2.7 * kAu, 0.15, 0.2, 2.6 * kAu, 0.12, 0.1, 0.0, options);
      ADD_FAILURE() << "accepted rel " << rel;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("accuracy must be"), std::string::npos);
    }
  }
  AccurateOptions bad_minimum;
  bad_minimum.min_mutual_inclination = -0.1;
  EXPECT_THROW(accurate_pair(2.7 * kAu, 0.15, 0.2, 2.6 * kAu, 0.12, 0.1, 0.0, bad_minimum),
               std::invalid_argument);
  AccurateOptions boundary;
  boundary.rel = 0.1;
  EXPECT_NO_THROW(accurate_pair(2.7 * kAu, 0.15, 0.2, 2.6 * kAu, 0.12, 0.1, 0.0, boundary));
}

}  // namespace
}  // namespace pairtrack::detail::kernel
