// Tests of the two frame-report reductions: the worked cases, the count and
// weight thresholds, extended precision where double arithmetic would differ,
// NaN handling, and agreement with a plain long double model on random data.
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace pairtrack::detail {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kUnset = -12345.678;  // outputs are preset to this to see them written

// Plain models of the two reductions, written directly from their definitions.
void model_avg_dev(const std::vector<double>& x, double& mean, double& sigma) {
  const long double n = static_cast<long double>(x.size());
  long double sum = 0.0L;
  for (double v : x) sum += v;
  const long double m = sum / n;
  long double squares = 0.0L;
  for (double v : x) squares += (v - m) * (v - m);
  mean = static_cast<double>(m);
  sigma = static_cast<double>(sqrtl(squares / (n - 1.0L)));
}

void model_avg_dev_pw(const std::vector<double>& x, const std::vector<double>& w, double& mean,
                      double& sigma) {
  long double total = 0.0L;
  long double weighted = 0.0L;
  for (std::size_t i = 0; i < x.size(); ++i) {
    total += w[i];
    weighted += static_cast<long double>(w[i]) * static_cast<long double>(x[i]);
  }
  const long double m = weighted / total;
  long double squares = 0.0L;
  for (std::size_t i = 0; i < x.size(); ++i) squares += (x[i] - m) * (x[i] - m) * w[i];
  mean = static_cast<double>(m);
  sigma = static_cast<double>(sqrtl(squares / total));
}

struct Result {
  double mean = kUnset;
  double sigma = kUnset;
};

Result run_avg_dev(const std::vector<double>& x) {
  Result r;
  const std::int32_t n = static_cast<std::int32_t>(x.size());
  avg_dev(x.data(), n, r.mean, r.sigma);
  return r;
}

Result run_avg_dev_pw(const std::vector<double>& x, const std::vector<double>& w) {
  Result r;
  const std::int32_t n = static_cast<std::int32_t>(x.size());
  avg_dev_pw(x.data(), w.data(), n, r.mean, r.sigma);
  return r;
}

// ---- avg_dev: worked cases and counts ---------------------------------------

TEST(AvgDev, TwoValuesGiveMeanAndSampleDeviation) {
  const Result r = run_avg_dev({1.0, 3.0});
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.sigma, 1.4142135623730951);
}

TEST(AvgDev, SingleValueIsReturnedExactlyWithZeroDeviation) {
  for (const double v : {0.1, -7.25e-300, 1.7976931348623157e308, -0.0}) {
    const Result r = run_avg_dev({v});
    EXPECT_EQ(r.mean, v);
    EXPECT_EQ(std::signbit(r.mean), std::signbit(v));
    EXPECT_EQ(r.sigma, 0.0);
  }
  const Result nan = run_avg_dev({kNaN});
  EXPECT_TRUE(std::isnan(nan.mean));
  EXPECT_EQ(nan.sigma, 0.0);
}

TEST(AvgDev, EmptyOrNegativeCountGivesZerosWithoutReadingTheArray) {
  for (const std::int32_t n : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    double mean = kUnset;
    double sigma = kUnset;
    avg_dev(nullptr, n, mean, sigma);  // any read would fault
    EXPECT_EQ(mean, 0.0) << "n = " << n;
    EXPECT_EQ(sigma, 0.0) << "n = " << n;
  }
}

TEST(AvgDev, ReadsOnlyTheFirstNEntries) {
  const std::vector<double> x = {1.0, 3.0, 1000.0, kNaN};
  Result r;
  avg_dev(x.data(), 2, r.mean, r.sigma);
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.sigma, 1.4142135623730951);
}

TEST(AvgDev, EqualValuesGiveZeroDeviation) {
  const Result r = run_avg_dev(std::vector<double>(1000, 0.3));
  EXPECT_EQ(r.mean, 0.3);
  EXPECT_EQ(r.sigma, 0.0);
}

// ---- avg_dev: extended precision --------------------------------------------

TEST(AvgDev, SumKeepsSmallTermsBesideLargeOnes) {
  // 1e16 + 1 + 1 is exact in long double; in double each 1 would be lost
  // and the mean would come out as 3333333333333333.5.
  const Result r = run_avg_dev({1e16, 1.0, 1.0});
  EXPECT_EQ(r.mean, 3333333333333334.0);
}

TEST(AvgDev, DeviationsAreTakenFromTheUnroundedMean) {
  // Exact deviation of these three doubles, correctly rounded: a deviation
  // taken from the mean after rounding to double ends 2 ulp lower.
  const Result r = run_avg_dev({0x1.f6db6db6db6dbp+4, 283.0, 0x1.d45d1745d1746p+5});
  EXPECT_EQ(r.sigma, 138.08412411681675);
}

TEST(AvgDev, SquareRootIsTakenBeforeRoundingToDouble) {
  // Exact deviation, correctly rounded; rounding the quotient to double
  // before the square root would end 1 ulp lower.
  const Result r = run_avg_dev({133.0, 0x1.0aaaaaaaaaaabp+3, 0x1.162e8ba2e8ba3p+6});
  EXPECT_EQ(r.sigma, 62.336694517098266);
}

TEST(AvgDev, NaNAmongSeveralValuesPropagatesToBothOutputs) {
  const Result r = run_avg_dev({1.0, kNaN, 3.0});
  EXPECT_TRUE(std::isnan(r.mean));
  EXPECT_TRUE(std::isnan(r.sigma));
}

TEST(AvgDev, MatchesPlainLongDoubleModelOnRandomData) {
  std::mt19937_64 rng(20240611);
  std::lognormal_distribution<double> spread(0.0, 6.0);  // many decades, like probabilities
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t n = 2 + rng() % 3000;
    std::vector<double> x(n);
    for (double& v : x) v = spread(rng) * ((rng() & 7) == 0 ? -1.0 : 1.0);
    double mean = 0.0;
    double sigma = 0.0;
    model_avg_dev(x, mean, sigma);
    const Result r = run_avg_dev(x);
    ASSERT_EQ(r.mean, mean) << "trial " << trial;
    ASSERT_EQ(r.sigma, sigma) << "trial " << trial;
  }
}

// ---- avg_dev_pw: worked cases and counts ------------------------------------

TEST(AvgDevPw, EqualWeightsGiveDeviationWithoutCountCorrection) {
  const Result r = run_avg_dev_pw({1.0, 3.0}, {1.0, 1.0});
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.sigma, 1.0);
}

TEST(AvgDevPw, AllZeroWeightsGiveZeros) {
  const Result r = run_avg_dev_pw({1.0, 2.0, 3.0}, {0.0, 0.0, 0.0});
  EXPECT_EQ(r.mean, 0.0);
  EXPECT_EQ(r.sigma, 0.0);
}

TEST(AvgDevPw, TotalWeightStrictlyBelowThresholdGivesZeros) {
  const Result below = run_avg_dev_pw({1.0, 3.0}, {0.4e-8, 0.5e-8});
  EXPECT_EQ(below.mean, 0.0);
  EXPECT_EQ(below.sigma, 0.0);

  // 0.5e-8 + 0.5e-8 is exactly the double 1e-8: used.
  const Result at = run_avg_dev_pw({1.0, 3.0}, {0.5e-8, 0.5e-8});
  EXPECT_EQ(at.mean, 2.0);
  EXPECT_EQ(at.sigma, 1.0);
}

TEST(AvgDevPw, NegativeTotalWeightGivesZeros) {
  const Result r = run_avg_dev_pw({1.0, 3.0}, {1.0, -2.0});
  EXPECT_EQ(r.mean, 0.0);
  EXPECT_EQ(r.sigma, 0.0);
}

TEST(AvgDevPw, NegativeWeightsEnterTheSumsUnchanged) {
  // SW = 2, SXW = 2 - 3 + 5 = 4, DW = 2 - 1 + 9 = 10.
  const Result r = run_avg_dev_pw({1.0, 3.0, 5.0}, {2.0, -1.0, 1.0});
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.sigma, std::sqrt(5.0));
}

TEST(AvgDevPw, NegativeWeightedSquaresGiveNaNDeviation) {
  // SW = 1, SXW = -4, so the mean is -4; DW = 4 * 2 + 16 * (-1) + 36 * 0 = -8,
  // whose square root is not a number.
  const Result r = run_avg_dev_pw({-2.0, 0.0, 2.0}, {2.0, -1.0, 0.0});
  EXPECT_EQ(r.mean, -4.0);
  EXPECT_TRUE(std::isnan(r.sigma));
}

TEST(AvgDevPw, SingleValueIsReturnedWhateverItsWeight) {
  for (const double weight : {0.0, -3.0, kNaN}) {
    const Result r = run_avg_dev_pw({4.5}, {weight});
    EXPECT_EQ(r.mean, 4.5);
    EXPECT_EQ(r.sigma, 0.0);
  }
  Result r;
  const double x = kNaN;
  avg_dev_pw(&x, nullptr, 1, r.mean, r.sigma);  // the weight is not read
  EXPECT_TRUE(std::isnan(r.mean));
  EXPECT_EQ(r.sigma, 0.0);
}

TEST(AvgDevPw, EmptyOrNegativeCountGivesZerosWithoutReadingTheArrays) {
  for (const std::int32_t n : {0, -5, std::numeric_limits<std::int32_t>::min()}) {
    double mean = kUnset;
    double sigma = kUnset;
    avg_dev_pw(nullptr, nullptr, n, mean, sigma);
    EXPECT_EQ(mean, 0.0) << "n = " << n;
    EXPECT_EQ(sigma, 0.0) << "n = " << n;
  }
}

TEST(AvgDevPw, ReadsOnlyTheFirstNEntries) {
  const std::vector<double> x = {1.0, 3.0, kNaN};
  const std::vector<double> w = {1.0, 1.0, kNaN};
  Result r;
  avg_dev_pw(x.data(), w.data(), 2, r.mean, r.sigma);
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.sigma, 1.0);
}

// ---- avg_dev_pw: extended precision -----------------------------------------

TEST(AvgDevPw, ProductsAreFormedInExtendedPrecision) {
  // (1 + 2^-30)^2 = 1 + 2^-29 + 2^-60 is exact in long double; the second
  // product cancels all but 2^-60. Products rounded to double would cancel
  // completely and give a mean of 0. SW = 1 + 2^-30.
  const Result r = run_avg_dev_pw({1.0 + 0x1p-30, 1.0 + 0x1p-29, 0.0}, {1.0 + 0x1p-30, -1.0, 1.0});
  EXPECT_EQ(r.mean, 0x1p-60 - 0x1p-90);
}

TEST(AvgDevPw, MeanIsTheCorrectlyRoundedWeightedMean) {
  // Here products rounded to double would move the mean by 1 ulp.
  const Result r = run_avg_dev_pw({116.0, 0x1.d555555555555p+2, 0x1.b745d1745d174p+3},
                                  {0x1.bbb13b13b13b1p+5, 0x1.2aaaaaaaaaaabp+3, 23.0});
  EXPECT_EQ(r.mean, 77.6549932738601);
}

TEST(AvgDevPw, DeviationIsTheCorrectlyRoundedWeightedDeviation) {
  // Here squared deviations times weights rounded to double would move the
  // deviation by 1 ulp.
  const Result r = run_avg_dev_pw({9.0, 0x1.aaaaaaaaaaaabp+7, 0x1.dd1745d1745d1p+2},
                                  {0x1.6762762762762p+5, 0x1.3e38e38e38e39p+6, 42.0});
  EXPECT_EQ(r.sigma, 102.44109545829933);
}

TEST(AvgDevPw, NaNValueOrWeightPropagatesToBothOutputs) {
  const std::vector<std::vector<double>> xs = {{1.0, kNaN, 3.0}, {1.0, kNaN, 3.0}, {1.0, 2.0, 3.0}};
  const std::vector<std::vector<double>> ws = {{1.0, 1.0, 1.0}, {1.0, 0.0, 1.0}, {1.0, kNaN, 1.0}};
  for (std::size_t c = 0; c < xs.size(); ++c) {
    const Result r = run_avg_dev_pw(xs[c], ws[c]);
    EXPECT_TRUE(std::isnan(r.mean)) << "case " << c;
    EXPECT_TRUE(std::isnan(r.sigma)) << "case " << c;
  }
}

TEST(AvgDevPw, ScalingAllWeightsByAPowerOfTwoChangesNothing) {
  // Multiplying every weight by 2^k is exact, so every sum scales exactly
  // and both quotients are unchanged to the last bit.
  std::mt19937_64 rng(7);
  std::lognormal_distribution<double> spread(0.0, 4.0);
  std::uniform_real_distribution<double> speed(0.5, 40.0);
  for (int trial = 0; trial < 50; ++trial) {
    const std::size_t n = 2 + rng() % 2000;
    std::vector<double> x(n);
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = speed(rng);
      w[i] = spread(rng);
    }
    const Result base = run_avg_dev_pw(x, w);
    for (const double scale : {0x1p-20, 0.5, 4.0, 0x1p40}) {
      std::vector<double> scaled = w;
      for (double& v : scaled) v *= scale;
      const Result r = run_avg_dev_pw(x, scaled);
      ASSERT_EQ(r.mean, base.mean) << "trial " << trial << " scale " << scale;
      ASSERT_EQ(r.sigma, base.sigma) << "trial " << trial << " scale " << scale;
    }
  }
}

TEST(AvgDevPw, EqualWeightsAgreeWithPopulationDeviation) {
  // With unit weights the weighted figures are the mean and the deviation
  // with divisor n: sigma_pw^2 * n = sigma^2 * (n - 1), up to rounding.
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> speed(0.5, 40.0);
  std::vector<double> x(1001);
  for (double& v : x) v = speed(rng);
  const Result weighted = run_avg_dev_pw(x, std::vector<double>(x.size(), 1.0));
  const Result plain = run_avg_dev(x);
  EXPECT_EQ(weighted.mean, plain.mean);
  EXPECT_NEAR(weighted.sigma, plain.sigma * std::sqrt(1000.0 / 1001.0), 1e-13 * plain.sigma);
}

TEST(AvgDevPw, MatchesPlainLongDoubleModelOnRandomData) {
  std::mt19937_64 rng(314159);
  std::lognormal_distribution<double> probability(-2.0, 6.0);
  std::uniform_real_distribution<double> speed(0.0, 40.0);
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t n = 2 + rng() % 3000;
    std::vector<double> x(n);
    std::vector<double> w(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = speed(rng);
      w[i] = (rng() % 5 == 0) ? 0.0 : probability(rng);  // many pairs never meet
    }
    double mean = 0.0;
    double sigma = 0.0;
    model_avg_dev_pw(x, w, mean, sigma);
    const Result r = run_avg_dev_pw(x, w);
    ASSERT_EQ(r.mean, mean) << "trial " << trial;
    ASSERT_EQ(r.sigma, sigma) << "trial " << trial;
  }
}

}  // namespace
}  // namespace pairtrack::detail
