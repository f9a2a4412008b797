// Apsis matching and overlap classification: the worked cases of the
// distance-matching relation and every branch of the classification.
#include "kernel/overlap_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail {
namespace {

constexpr double kAu = 1.4959787e13;

double solve(double a_x, double a_y, double e_x, double e_y, double c_y) {
  double c_x = 12345.0;
  c_equation(a_x, a_y, e_x, e_y, c_x, c_y);
  return c_x;
}

TEST(CEquation, FindsThePointAtTheOtherOrbitsApsisDistance) {
  // The orbit with e = 0.5 at the other orbit's aphelion distance 3.3.
  EXPECT_NEAR(solve(3.0, 3.0, 0.5, 0.1, -1.0), -7.0 / 11.0, 1e-15);
}

TEST(CEquation, ReturnsUnclampedValuesOutsideTheRange) {
  EXPECT_NEAR(solve(3.0, 3.0, 0.1, 0.5, -1.0), -3.4, 1e-14);
  EXPECT_NEAR(solve(3.0, 3.0, 0.1, 0.5, 1.0), 9.8, 1e-14);
}

TEST(CEquation, CircularOrbitSolvedForIsNotFinite) {
  EXPECT_FALSE(std::isfinite(solve(3.0, 2.0, 0.0, 0.1, 1.0)));
  EXPECT_TRUE(std::isnan(solve(3.0, 3.0, 0.0, 0.0, 1.0)));  // 0/0
}

TEST(CEquation, IdenticalOrbitsMapApsesOntoApses) {
  const double a = 2.7 * kAu;
  EXPECT_NEAR(solve(a, a, 0.15, 0.15, -1.0), -1.0, 1e-14);
  EXPECT_NEAR(solve(a, a, 0.15, 0.15, 1.0), 1.0, 1e-14);
}

TEST(CEquation, OnlyTheRatioOfAxesMatters) {
  EXPECT_NEAR(solve(2.0, 3.0, 0.3, 0.4, 1.0), solve(2.0 * kAu, 3.0 * kAu, 0.3, 0.4, 1.0), 1e-15);
}

struct Classified {
  int which = 0;
  IntegrationSet set1;
  IntegrationSet set2;
  int split_flag = -7;
};

Classified classify(double c1_rmax, double c1_rmin, double c2_rmax, double c2_rmin, double a1,
                    double a2, double e1, double e2) {
  Classified r;
  r.which = linecheck_case(c1_rmax, c1_rmin, c2_rmax, c2_rmin, a1, a2, e1, e2, 0.1, 0.2, r.set1,
                           r.set2, r.split_flag);
  return r;
}

TEST(Linecheck, IdenticalRangesTakeCaseTwoWithOrbitOneSwept) {
  const Classified r = classify(-1.0, 1.0, -1.0, 1.0, 5.0, 6.0, 0.1, 0.2);
  EXPECT_EQ(r.which, 2);
  EXPECT_EQ(r.split_flag, 0);
  // A = orbit 2, B = orbit 1.
  EXPECT_EQ(r.set1.a_a, 6.0);
  EXPECT_EQ(r.set1.a_b, 5.0);
  EXPECT_EQ(r.set1.e_a, 0.2);
  EXPECT_EQ(r.set1.e_b, 0.1);
  EXPECT_EQ(r.set1.inc_a, 0.2);
  EXPECT_EQ(r.set1.inc_b, 0.1);
  EXPECT_EQ(r.set1.c_first, -1.0);
  EXPECT_EQ(r.set1.c_second, 0.0);
  EXPECT_EQ(r.set2.a_a, 6.0);
  EXPECT_EQ(r.set2.c_first, 0.0);
  EXPECT_EQ(r.set2.c_second, 1.0);
}

TEST(Linecheck, CaseThreeSweepsOrbitTwo) {
  const Classified r = classify(-0.5, 0.5, -1.0, 1.0, 5.0, 6.0, 0.1, 0.2);
  EXPECT_EQ(r.which, 3);
  EXPECT_EQ(r.split_flag, 0);
  EXPECT_EQ(r.set1.a_a, 5.0);  // A = orbit 1
  EXPECT_EQ(r.set1.a_b, 6.0);  // B = orbit 2
  EXPECT_EQ(r.set1.c_first, -1.0);
  EXPECT_EQ(r.set1.c_second, 0.0);
  EXPECT_EQ(r.set2.c_first, 0.0);
  EXPECT_EQ(r.set2.c_second, 1.0);
}

TEST(Linecheck, CrossingOrbitsTakeCaseOneAndTheirExchangeCaseFour) {
  // Orbit 1 (a 2, e 0.3) and orbit 2 (a 3, e 0.4).
  const double a1 = 2.0 * kAu;
  const double a2 = 3.0 * kAu;
  const OverlapBounds b = match_apsides(a1, 0.3, a2, 0.4);
  EXPECT_EQ(b.c1_rmax, -1.0);
  EXPECT_NEAR(b.c1_rmin, 1.0 / 27.0, 1e-15);
  EXPECT_NEAR(b.c2_rmax, -1.0 / 13.0, 1e-15);
  EXPECT_EQ(b.c2_rmin, 1.0);
  const Classified r = classify(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, a1, a2, 0.3, 0.4);
  EXPECT_EQ(r.which, 1);
  EXPECT_EQ(r.split_flag, 1);
  EXPECT_NEAR(r.set1.c_second, -13.0 / 27.0, 1e-15);
  EXPECT_EQ(r.set1.a_b, a1);  // set 1 sweeps orbit 1
  EXPECT_EQ(r.set2.a_b, a2);  // set 2 sweeps orbit 2
  EXPECT_NEAR(r.set2.c_first, 6.0 / 13.0, 1e-15);
  EXPECT_EQ(r.set2.c_second, 1.0);

  const OverlapBounds m = match_apsides(a2, 0.4, a1, 0.3);
  const Classified x = classify(m.c1_rmax, m.c1_rmin, m.c2_rmax, m.c2_rmin, a2, a1, 0.4, 0.3);
  EXPECT_EQ(x.which, 4);
  EXPECT_EQ(x.split_flag, 1);
  EXPECT_NEAR(x.set1.c_second, -13.0 / 27.0, 1e-15);
  EXPECT_NEAR(x.set2.c_first, 6.0 / 13.0, 1e-15);
  EXPECT_EQ(x.set1.a_b, a1);
  EXPECT_EQ(x.set2.a_b, a2);
}

TEST(Linecheck, TouchingRangesTakeCaseFourWithZeroWidthArcs) {
  // Orbit 1 (a 2, e 0.2) has q1 = 1.6; orbit 2 (a 1, e 0.6) has Q2 = 1.6.
  const Classified r = classify(1.0, 1.0, -1.0, -1.0, 2.0, 1.0, 0.2, 0.6);
  EXPECT_EQ(r.which, 4);
  EXPECT_EQ(r.set1.c_first, -1.0);
  EXPECT_EQ(r.set1.c_second, -1.0);
  EXPECT_NEAR(r.set2.c_first, 1.0, 1e-15);
  EXPECT_EQ(r.set2.c_second, 1.0);
}

TEST(Linecheck, BoundsInNoCaseWriteTheMessageAndNoOutput) {
  double out[16];
  for (double& v : out) v = 42.0;
  int split_flag = 9;
  testing::internal::CaptureStdout();
  linecheck(0.0, 0.0, 0.0, 1.0, 2.0, 3.0, 0.1, 0.2, 0.0, 0.0, out[0], out[1], out[2], out[3],
            out[4], out[5], out[6], out[7], out[8], out[9], out[10], out[11], out[12], out[13],
            out[14], out[15], split_flag);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " The line did not make any of the checks\n");
  EXPECT_EQ(split_flag, 9);
  for (double v : out) EXPECT_EQ(v, 42.0);
}

TEST(Linecheck, WritesAllTwentySevenArgumentsWhenACaseHolds) {
  double out[16];
  int split_flag = 9;
  testing::internal::CaptureStdout();
  linecheck(-1.0, 1.0, -1.0, 1.0, 2.0, 3.0, 0.1, 0.2, 0.3, 0.4, out[0], out[1], out[2], out[3],
            out[4], out[5], out[6], out[7], out[8], out[9], out[10], out[11], out[12], out[13],
            out[14], out[15], split_flag);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const double want[16] = {3.0, 2.0, 0.2, 0.1, 0.4, 0.3, -1.0, 0.0,
                           3.0, 2.0, 0.2, 0.1, 0.4, 0.3, 0.0,  1.0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(split_flag, 0);
}

TEST(Linecheck, ComparisonsWithTheApsisMarkersAreExact) {
  const double just_above = std::nextafter(-1.0, 0.0);
  const double just_below = std::nextafter(1.0, 0.0);
  // One unit in the last place away from -1 is not an apsis: case 2 fails
  // and nothing else holds either.
  EXPECT_EQ(classify(just_above, 1.0, 0.0, 0.0, 1, 1, 0.1, 0.1).which, 0);
  EXPECT_EQ(classify(-1.0, just_below, 0.0, 0.0, 1, 1, 0.1, 0.1).which, 0);
  // Case 1 needs c2_rmax strictly above -1.
  EXPECT_EQ(classify(-1.0, 0.5, just_above, 1.0, 1, 1, 0.1, 0.1).which, 1);
  EXPECT_EQ(classify(-1.0, 0.5, -1.0, 1.0, 1, 1, 0.1, 0.1).which, 3);
}

TEST(MatchApsides, DisjointAndCircularPairsAcceptNoSolve) {
  EXPECT_TRUE(match_apsides(1.0 * kAu, 0.1, 3.0 * kAu, 0.1).disjoint());
  EXPECT_TRUE(match_apsides(2.0 * kAu, 0.0, 2.0 * kAu, 0.0).disjoint());
  EXPECT_TRUE(match_apsides(2.0 * kAu, 0.0, 3.0 * kAu, 0.0).disjoint());
}

TEST(MatchApsides, CircularOrbitInsideTheOthersRangeGivesEqualSolves) {
  const OverlapBounds b = match_apsides(2.7 * kAu, 0.0, 2.6 * kAu, 0.12);
  EXPECT_EQ(b.c1_rmax, -1.0);
  EXPECT_EQ(b.c1_rmin, 1.0);
  EXPECT_EQ(b.c2_rmax, b.c2_rmin);
  EXPECT_GT(b.c2_rmax, -1.0);
  EXPECT_LT(b.c2_rmax, 1.0);
  const OverlapBounds m = match_apsides(2.6 * kAu, 0.12, 2.7 * kAu, 0.0);
  EXPECT_EQ(m.c2_rmax, -1.0);
  EXPECT_EQ(m.c2_rmin, 1.0);
  EXPECT_EQ(m.c1_rmax, m.c1_rmin);
}

TEST(MatchApsides, IdenticalOrbitsSolveApsesOntoApses) {
  // Up to rounding the four solves give -1, +1, -1, +1; when steps c and d
  // are accepted they set orbit 1's bounds to exactly -1 and +1 (case 2).
  const OverlapBounds b = match_apsides(2.0 * kAu, 0.5, 2.0 * kAu, 0.5);
  EXPECT_EQ(b.c1_rmax, -1.0);
  EXPECT_EQ(b.c1_rmin, 1.0);
  EXPECT_NEAR(b.c2_rmax, -1.0, 1e-14);
  EXPECT_NEAR(b.c2_rmin, 1.0, 1e-14);
}

TEST(MatchApsides, EqualAphelionsLetTheLaterSolveStand) {
  // Q1 = Q2 = 3 AU, q1 = 1 < q2 = 2: steps a and c accepted, c stands.
  const double a1 = 2.0 * kAu, e1 = 0.5;
  const double a2 = 2.5 * kAu, e2 = 0.2;
  const OverlapBounds b = match_apsides(a1, e1, a2, e2);
  EXPECT_EQ(b.c1_rmax, -1.0);
  EXPECT_NEAR(b.c2_rmax, -1.0, 1e-15);
  EXPECT_EQ(b.c2_rmin, 1.0);
  double c_step_c = 0.0;
  c_equation(a2, a1, e2, e1, c_step_c, -1.0);
  EXPECT_EQ(b.c2_rmax, c_step_c);
}

}  // namespace
}  // namespace pairtrack::detail
