// Pair evaluation of a frame: every slot holds the reference kernel's bits
// for its pair, disjoint pairs store zeros, the no-case count matches the
// reference's messages, and nothing depends on the number of threads.
#include "engine/pair_evaluation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "kernel/overlap_geometry.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail {
namespace {

constexpr double kAu = 1.4959787e13;
constexpr double kGarbage = -123.25;

struct Orbit {
  double a_cm, e, inc;
};

bool same_bits(double x, double y) {
  if (std::isnan(x) && std::isnan(y)) return true;
  return std::memcmp(&x, &y, sizeof x) == 0;
}

// True when the ranges meet but no overlap case holds.
bool no_overlap_case(const Orbit& o1, const Orbit& o2) {
  const OverlapBounds b = match_apsides(o1.a_cm, o1.e, o2.a_cm, o2.e);
  IntegrationSet s1, s2;
  int split = 0;
  return !b.disjoint() && linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, o1.a_cm,
                                         o2.a_cm, o1.e, o2.e, o1.inc, o2.inc, s1, s2, split) == 0;
}

// A frame of main-belt-like orbits, with some bodies just touching a
// population orbit (the pairs for which no overlap case holds) and some far
// outside the belt (disjoint from everything).
struct Frame {
  std::vector<Orbit> population, bodies;
  std::vector<PreparedOrbit> prepared_population, prepared_bodies;
};

Frame make_frame(std::size_t n1, std::size_t n_bodies, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto uniform = [&rng](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  Frame f;
  for (std::size_t k = 0; k < n1; ++k) {
    f.population.push_back(Orbit{uniform(1.5, 4.5) * kAu, uniform(0.0, 0.4), uniform(0.0, 0.6)});
  }
  for (std::size_t j = 0; j < n_bodies; ++j) {
    const double e = uniform(0.0, 0.4);
    if (j % 5 == 3) {
      // Aphelion at a population orbit's perihelion, to the last bits: the
      // first nudge for which only one apsis solve lands in [-1, 1].
      const Orbit& o = f.population[j % n1];
      const double inc = uniform(0.0, 0.6);
      Orbit body{o.a_cm * (1.0 - o.e) / (1.0 + e), e, inc};
      for (int ulps = -8; ulps <= 8 && !no_overlap_case(o, body); ++ulps) {
        body.a_cm = o.a_cm * (1.0 - o.e) / (1.0 + e) * (1.0 + ulps * 2.220446049250313e-16);
      }
      f.bodies.push_back(body);
    } else if (j % 7 == 6) {
      f.bodies.push_back(Orbit{uniform(20.0, 30.0) * kAu, uniform(0.0, 0.2), uniform(0.0, 0.6)});
    } else {
      f.bodies.push_back(Orbit{uniform(1.5, 4.5) * kAu, e, uniform(0.0, 0.6)});
    }
  }
  for (const Orbit& o : f.population)
    f.prepared_population.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  for (const Orbit& o : f.bodies) f.prepared_bodies.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  return f;
}

struct Result {
  std::vector<double> proba, impvel;
  std::int64_t no_case = -1;
};

// Slots sized with two spare entries that must stay untouched.
Result evaluate(const Frame& f, double v_esc, int threads) {
  const std::size_t n = f.population.size() * f.bodies.size();
  Result r;
  r.proba.assign(n + 2, kGarbage);
  r.impvel.assign(n + 2, kGarbage);
  r.no_case = evaluate_pairs(f.prepared_population, f.prepared_bodies, v_esc,
                             PairSlots{r.proba.data(), r.impvel.data()}, threads);
  return r;
}

std::size_t count_lines(const std::string& text, const std::string& line) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(line); pos != std::string::npos;
       pos = text.find(line, pos + 1)) {
    ++n;
  }
  return n;
}

TEST(PairEvaluation, EverySlotHoldsTheReferenceKernelsBitsForItsPair) {
  const Frame f = make_frame(150, 40, 17);
  for (double v_esc : {0.0, 3.5}) {
    const Result got = evaluate(f, v_esc, 2);
    const std::size_t n1 = f.population.size();
    ::testing::internal::CaptureStdout();
    int mismatches = 0;
    for (std::size_t j = 0; j < f.bodies.size(); ++j) {
      for (std::size_t k = 0; k < n1; ++k) {
        const Orbit& o = f.population[k];
        const Orbit& b = f.bodies[j];
        double p = kGarbage, v = 0.0, v2 = 0.0, vi = 0.0;  // speeds preset to 0
        gaussorb(o.a_cm, o.e, o.inc, b.a_cm, b.e, b.inc, p, v, v2, vi, 10, 10, v_esc);
        const std::size_t slot = j * n1 + k;
        if (!same_bits(got.proba[slot], p) || !same_bits(got.impvel[slot], vi)) ++mismatches;
      }
    }
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(mismatches, 0) << "v_esc " << v_esc;
    // The caller prints the no-case line once per counted pair, as the
    // reference kernel would have.
    EXPECT_EQ(static_cast<std::size_t>(got.no_case),
              count_lines(printed, std::string(" ") + kNoCaseMessage + "\n"));
    EXPECT_GT(got.no_case, 0) << "the frame should hold touching pairs";
    // Nothing written past the frame's pairs.
    EXPECT_EQ(got.proba[f.population.size() * f.bodies.size()], kGarbage);
    EXPECT_EQ(got.impvel.back(), kGarbage);
  }
}

TEST(PairEvaluation, ResultsDoNotDependOnTheNumberOfThreads) {
  const Frame f = make_frame(211, 37, 5);  // counts that do not divide evenly into chunks
  const Result one = evaluate(f, 2.0, 1);
  for (int threads : {2, 3, 0}) {
    const Result r = evaluate(f, 2.0, threads);
    EXPECT_EQ(r.no_case, one.no_case) << threads << " threads";
    EXPECT_EQ(0, std::memcmp(r.proba.data(), one.proba.data(), one.proba.size() * sizeof(double)))
        << threads << " threads";
    EXPECT_EQ(0,
              std::memcmp(r.impvel.data(), one.impvel.data(), one.impvel.size() * sizeof(double)))
        << threads << " threads";
  }
}

TEST(PairEvaluation, DisjointPairsStoreZeroProbabilityAndZeroSpeed) {
  Frame f;
  f.population = {Orbit{1.0 * kAu, 0.1, 0.1}, Orbit{2.7 * kAu, 0.15, 0.17}};
  f.bodies = {Orbit{3.0 * kAu, 0.1, 0.2}};
  for (const Orbit& o : f.population)
    f.prepared_population.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  for (const Orbit& o : f.bodies) f.prepared_bodies.push_back(prepare_orbit(o.a_cm, o.e, o.inc));
  const Result r = evaluate(f, 0.0, 0);
  EXPECT_EQ(r.no_case, 0);
  // Pair 0 is disjoint; pair 1 crosses and has a positive probability.
  EXPECT_TRUE(same_bits(r.proba[0], 0.0));
  EXPECT_TRUE(same_bits(r.impvel[0], 0.0));
  EXPECT_GT(r.proba[1], 0.0);
  EXPECT_GT(r.impvel[1], 0.0);
}

TEST(PairEvaluation, NoBodiesOrNoOrbitsEvaluateNothing) {
  Frame f = make_frame(10, 3, 1);
  std::vector<double> proba(4, kGarbage), impvel(4, kGarbage);
  EXPECT_EQ(evaluate_pairs(f.prepared_population, {}, 1.0, PairSlots{proba.data(), impvel.data()}),
            0);
  EXPECT_EQ(evaluate_pairs({}, f.prepared_bodies, 1.0, PairSlots{proba.data(), impvel.data()}), 0);
  EXPECT_EQ(proba[0], kGarbage);
  EXPECT_EQ(impvel[0], kGarbage);
}

}  // namespace
}  // namespace pairtrack::detail
