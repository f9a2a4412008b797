// Gauss-Legendre rules: symmetry, sums and exactness on known integrals.
#include "kernel/gauleg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace pairtrack {
namespace {

TEST(Gauleg, NonPositiveCountWritesNothing) {
  for (int n : {0, -1, -7}) {
    double x[3] = {11.0, 12.0, 13.0};
    double w[3] = {21.0, 22.0, 23.0};
    gauleg(0.0, 1.0, x, w, n);
    EXPECT_EQ(x[0], 11.0);
    EXPECT_EQ(x[2], 13.0);
    EXPECT_EQ(w[0], 21.0);
    EXPECT_EQ(w[2], 23.0);
  }
}

TEST(Gauleg, OnePointRuleIsTheMidpointWithTheWholeLength) {
  double x[2] = {0.0, 99.0};
  double w[2] = {0.0, 99.0};
  gauleg(1.0, 4.0, x, w, 1);
  EXPECT_EQ(x[0], 2.5);
  EXPECT_EQ(w[0], 3.0);
  EXPECT_EQ(x[1], 99.0);  // entries past n untouched
  EXPECT_EQ(w[1], 99.0);
}

TEST(Gauleg, TwoPointRuleOnUnitInterval) {
  double x[2];
  double w[2];
  gauleg(-1.0, 1.0, x, w, 2);
  EXPECT_NEAR(x[0], -1.0 / std::sqrt(3.0), 4e-16);
  EXPECT_NEAR(x[1], 1.0 / std::sqrt(3.0), 4e-16);
  EXPECT_NEAR(w[0], 1.0, 1e-15);  // a few units of 1e-16
  EXPECT_NEAR(w[1], 1.0, 1e-15);
}

TEST(Gauleg, RulesAreSymmetricAndOrdered) {
  for (int n : {3, 4, 7, 10, 11, 40, 101}) {
    std::vector<double> x(n), w(n);
    gauleg(0.5, 2.0, x.data(), w.data(), n);
    const double twice_mid = 0.5 * (0.5 + 2.0) * 2.0;
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(w[i], w[n - 1 - i]) << "n=" << n << " i=" << i;
      EXPECT_NEAR(x[i] + x[n - 1 - i], twice_mid, 1e-14) << "n=" << n;
      EXPECT_GT(x[i], 0.5);
      EXPECT_LT(x[i], 2.0);
      EXPECT_GT(w[i], 0.0);
      if (i > 0) {
        EXPECT_GT(x[i], x[i - 1]);
      }
    }
    if (n % 2 == 1) {
      EXPECT_NEAR(x[n / 2], 1.25, 1e-14);
    }
  }
}

TEST(Gauleg, ReversedIntervalRunsDownWithNegativeWeights) {
  double x[6];
  double w[6];
  gauleg(2.0, -1.0, x, w, 6);
  double sum = 0.0;
  for (int i = 0; i < 6; ++i) {
    EXPECT_LT(w[i], 0.0);
    if (i > 0) {
      EXPECT_LT(x[i], x[i - 1]);
    }
    sum += w[i];
  }
  EXPECT_NEAR(sum / -3.0, 1.0, 1e-13);
}

TEST(Gauleg, DegenerateIntervalPutsAllPointsAtTheEndWithZeroWeight) {
  double x[4];
  double w[4];
  gauleg(0.7, 0.7, x, w, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(x[i], 0.7);
    EXPECT_EQ(w[i], 0.0);
  }
}

TEST(Gauleg, TenPointsOnZeroToPiIntegrateSine) {
  const double pi = 3.141592653589793;
  double x[10];
  double w[10];
  gauleg(0.0, pi, x, w, 10);
  double wsum = 0.0;
  double integral = 0.0;
  for (int i = 0; i < 10; ++i) {
    wsum += w[i];
    integral += w[i] * std::sin(x[i]);
  }
  EXPECT_NEAR(wsum / pi, 1.0, 1e-14);
  EXPECT_NEAR(integral / 2.0, 1.0, 1e-14);
}

TEST(Gauleg, HighOrderRuleIsExactForPolynomials) {
  // An n-point rule integrates polynomials of degree 2n-1 exactly.
  const int n = 20;
  double x[n];
  double w[n];
  gauleg(-1.0, 2.0, x, w, n);
  double integral = 0.0;
  for (int i = 0; i < n; ++i) integral += w[i] * std::pow(x[i], 39);
  const double exact = (std::pow(2.0, 40) - 1.0) / 40.0;
  EXPECT_NEAR(integral / exact, 1.0, 1e-12);
}

}  // namespace
}  // namespace pairtrack
