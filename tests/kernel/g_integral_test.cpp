// The probability integral: the worked case, arc-end symmetry, the equal
// terms of opposite sign pairs, and the behaviour at degenerate inputs.
#include "kernel/reference/g_integral.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kernel/reference/integrand.h"

namespace pairtrack::detail {
namespace {

constexpr double kPi = 3.141592653589793;

struct Sums {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
};

Sums integrate(double a_a, double a_b, double e_a, double e_b, double i_a, double i_b, double c_1,
               double c_2, int n_cap, int n_theta, double v_esc, double lo = 0.0, double hi = kPi) {
  Sums r;
  g_integral(a_a, a_b, e_a, e_b, i_a, i_b, lo, hi, c_1, c_2, r.s, n_cap, n_theta, v_esc);
  return r;
}

Sums worked(double c_1, double c_2, double v_esc, int n = 10) {
  return integrate(4e13, 3.5e13, 0.3, 0.15, 0.2, 0.1, c_1, c_2, n, n, v_esc);
}

// Seven significant digits, as the worked values are given.
void expect_7_digits(double got, double want, const char* what) {
  EXPECT_NEAR(got / want, 1.0, 5e-7) << what << ": got " << got << " want " << want;
}

TEST(GIntegral, WorkedCaseWithFocusing) {
  const Sums r = worked(0.9, -0.7, 5.0);
  expect_7_digits(r.s[kSumP], 4.065176e-34, "sum_p");
  expect_7_digits(r.s[kSumV], 2.808769e-28, "sum_v");
  expect_7_digits(r.s[kSumV2], 2.143330e-22, "sum_v2");
  expect_7_digits(r.s[kSumVimp], 3.512334e-33, "sum_vimp");
  // Mean encounter speed about 6.909 km/s, mean impact speed about 8.640 km/s.
  EXPECT_NEAR(r.s[kSumV] / r.s[kSumP] * 1e-5, 6.909, 5e-4);
  EXPECT_NEAR(r.s[kSumVimp] / r.s[kSumP], 8.640, 5e-4);
}

TEST(GIntegral, WorkedCaseWithoutFocusing) {
  const Sums r = worked(0.9, -0.7, 0.0);
  expect_7_digits(r.s[kSumP], 2.511023e-34, "sum_p");
  expect_7_digits(r.s[kSumV], 1.881429e-28, "sum_v");
  expect_7_digits(r.s[kSumV2], 1.515574e-22, "sum_v2");
  expect_7_digits(r.s[kSumVimp], 1.881429e-33, "sum_vimp");
  // Without focusing the impact speed is the encounter speed in km/s.
  EXPECT_NEAR(r.s[kSumVimp] / (1e-5 * r.s[kSumV]), 1.0, 1e-14);
}

TEST(GIntegral, ExchangedArcEndsGiveTheSameSums) {
  const Sums a = worked(0.9, -0.7, 5.0);
  const Sums b = worked(-0.7, 0.9, 5.0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.s[i], b.s[i]) << i;
}

TEST(GIntegral, AddsToTheSumsItIsGiven) {
  Sums r;
  for (double& v : r.s) v = 1.0;
  g_integral(4e13, 3.5e13, 0.3, 0.15, 0.2, 0.1, 0.0, kPi, 0.9, -0.7, r.s, 10, 10, 5.0);
  const Sums fresh = worked(0.9, -0.7, 5.0);
  EXPECT_EQ(r.s[kSumP], 1.0 + fresh.s[kSumP]);
  EXPECT_EQ(r.s[kSumV], 1.0 + fresh.s[kSumV]);
}

TEST(GIntegral, NodeCountsBelowOneOrAboveTheTablesLeaveTheSumsUnchanged) {
  for (auto [n_cap, n_theta] :
       {std::pair{0, 10}, {10, 0}, {-3, 10}, {10, -1}, {5001, 10}, {10, 5001}, {100000, 100000}}) {
    Sums r;
    r.s[0] = 3.0;
    r.s[3] = -2.0;
    g_integral(4e13, 3.5e13, 0.3, 0.15, 0.2, 0.1, 0.0, kPi, 0.9, -0.7, r.s, n_cap, n_theta, 5.0);
    EXPECT_EQ(r.s[0], 3.0) << n_cap << " " << n_theta;
    EXPECT_EQ(r.s[1], 0.0);
    EXPECT_EQ(r.s[2], 0.0);
    EXPECT_EQ(r.s[3], -2.0);
  }
}

TEST(GIntegral, FullTablesAreUsable) {
  const Sums r = integrate(4e13, 3.5e13, 0.3, 0.15, 0.2, 0.1, 0.9, -0.7, 5000, 2, 5.0);
  EXPECT_TRUE(std::isfinite(r.s[kSumP]));
  EXPECT_GT(r.s[kSumP], 0.0);
}

TEST(GIntegral, ZeroLengthArcInsideTheOverlapAddsNothing) {
  const Sums r = worked(0.3, 0.3, 5.0);
  for (double v : r.s) EXPECT_EQ(v, 0.0);
}

TEST(GIntegral, OppositeSignPairsGiveBitIdenticalTerms) {
  // Changing both signs flips the radial relative speed and u_B but leaves
  // U, xi and S as they are: the terms of (-,-) and (+,+) are equal, and so
  // are those of (-,+) and (+,-), at every quadrature point.
  using namespace kernel;
  const OrbitPairConstants o = orbit_pair_constants(4e13, 3.5e13, 0.3, 0.15);
  const double c_c = std::cos(0.2) * std::cos(0.1);
  const double s_s = std::sin(0.2) * std::sin(0.1);
  int compared = 0;
  for (double node : {0.1, 1.0, 2.0, 3.0}) {
    const NodeConstants n = node_constants(o, c_c, s_s, node, 0.3, 5.0);
    for (double theta : {0.5, 1.0, 1.5, 2.2}) {
      const IntegrandPoint p = integrand_point(o, n, std::cos(theta), std::sin(theta), 0.2);
      const IntegrandTerm mm = integrand_term(p, -1.0, -1.0);
      const IntegrandTerm pp = integrand_term(p, 1.0, 1.0);
      const IntegrandTerm mp = integrand_term(p, -1.0, 1.0);
      const IntegrandTerm pm = integrand_term(p, 1.0, -1.0);
      EXPECT_EQ(mm.w, pp.w);
      EXPECT_EQ(mm.u, pp.u);
      EXPECT_EQ(mp.w, pm.w);
      EXPECT_EQ(mp.u, pm.u);
      EXPECT_NE(mm.w, mp.w);  // the two pairs differ: the property is not vacuous
      compared += std::isfinite(mm.w) && std::isfinite(mp.w);
    }
  }
  EXPECT_EQ(compared, 16);
}

TEST(GIntegral, CircularOrbitBGivesEqualInboundAndOutboundTerms) {
  // e_B = 0: cos f_A is the same at every anomaly, and sigma_B = -1 and +1
  // add equal terms.
  using namespace kernel;
  const OrbitPairConstants o = orbit_pair_constants(4e13, 3.5e13, 0.3, 0.0);
  const NodeConstants n = node_constants(o, 0.9, 0.05, 1.0, 0.3, 0.0);
  const IntegrandPoint p1 = integrand_point(o, n, std::cos(0.4), std::sin(0.4), 0.2);
  const IntegrandPoint p2 = integrand_point(o, n, std::cos(2.4), std::sin(2.4), 0.2);
  EXPECT_EQ(p1.tau_a, p2.tau_a);
  EXPECT_EQ(p1.v_a, p2.v_a);
  for (double sigma_a : {-1.0, 1.0}) {
    EXPECT_EQ(integrand_term(p1, -1.0, sigma_a).w, integrand_term(p1, 1.0, sigma_a).w);
  }
}

TEST(GIntegral, ZeroRelativeSpeedTermAddsNothing) {
  using namespace kernel;
  IntegrandPoint p{};
  p.v_esc2 = 25.0;
  p.d_a = 1.0;
  p.d_b = 1.0;
  p.h_a = 1.0;
  p.h_b = 1.0;
  p.k_a = 1.0;
  p.pp_a = 1.0;
  p.w_theta = 1.0;
  p.w_node = 1.0;
  const IntegrandTerm t = integrand_term(p, 1.0, 1.0);  // every speed zero: U = 0
  EXPECT_EQ(t.u, 0.0);
  EXPECT_FALSE(t.adds);
  double sums[4] = {1.0, 2.0, 3.0, 4.0};
  add_term(sums, t, p.v_esc2);
  EXPECT_EQ(sums[0], 1.0);
  EXPECT_EQ(sums[1], 2.0);
  EXPECT_EQ(sums[2], 3.0);
  EXPECT_EQ(sums[3], 4.0);
}

TEST(GIntegral, CoplanarOrbitsGiveNonFiniteSums) {
  // Both inclinations zero: sin I = 0 and the Jacobian is infinite.
  const Sums r = integrate(4e13, 3.5e13, 0.3, 0.15, 0.0, 0.0, 0.9, -0.7, 10, 10, 0.0);
  EXPECT_FALSE(std::isfinite(r.s[kSumP]));
}

TEST(GIntegral, MoreNodesConvergeToTheSameIntegral) {
  const Sums ten = worked(0.9, -0.7, 5.0, 10);
  const Sums forty = worked(0.9, -0.7, 5.0, 40);
  EXPECT_NEAR(forty.s[kSumP] / ten.s[kSumP], 1.0, 1e-2);
}

}  // namespace
}  // namespace pairtrack::detail
