// Tests of the two frame-report reductions: the worked cases, the count and
// weight thresholds, extended precision where double arithmetic would differ,
// NaN handling, and agreement with a plain long double model on random data.
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
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

// ---- worked cases ------------------------------------------------------------
// Each row gives the values (an empty list is passed as a null pointer, so a read would
// fault), the count passed (kAll: all of them) and the expected outputs (unset: not pinned).
// Outputs are compared with their sign, and NaN matches NaN.

constexpr std::int32_t kAll = -999;
constexpr std::int32_t kMinCount = std::numeric_limits<std::int32_t>::min();
using Expected = std::optional<double>;

void expect_same(Expected want, double got, const char* what) {
  if (!want) return;
  if (std::isnan(*want)) {
    EXPECT_TRUE(std::isnan(got)) << what << " = " << got;
  } else {
    EXPECT_EQ(got, *want) << what;
    EXPECT_EQ(std::signbit(got), std::signbit(*want)) << what << " = " << got;
  }
}

std::int32_t count(const std::vector<double>& x, std::int32_t n) {
  return n == kAll ? static_cast<std::int32_t>(x.size()) : n;
}

struct AvgDevCase {
  const char* behaviour;
  std::vector<double> x;
  std::int32_t n;
  Expected mean, sigma;
};

const AvgDevCase kAvgDevCases[] = {
    {"two values give the mean and the sample deviation",
     {1.0, 3.0},
     kAll,
     2.0,
     1.4142135623730951},
    {"reads only the first n entries", {1.0, 3.0, 1000.0, kNaN}, 2, 2.0, 1.4142135623730951},
    {"equal values give zero deviation", std::vector<double>(1000, 0.3), kAll, 0.3, 0.0},
    // A single value is returned exactly (its sign too), with zero deviation.
    {"single value", {0.1}, kAll, 0.1, 0.0},
    {"single tiny value", {-7.25e-300}, kAll, -7.25e-300, 0.0},
    {"single largest value", {1.7976931348623157e308}, kAll, 1.7976931348623157e308, 0.0},
    {"single negative zero", {-0.0}, kAll, -0.0, 0.0},
    {"single NaN", {kNaN}, kAll, kNaN, 0.0},
    // An empty or negative count gives zeros without reading the array.
    {"count 0", {}, 0, 0.0, 0.0},
    {"count -1", {}, -1, 0.0, 0.0},
    {"most negative count", {}, kMinCount, 0.0, 0.0},
    // Extended precision: 1e16 + 1 + 1 is exact in long double; in double each 1 would be
    // lost and the mean would come out as 3333333333333333.5.
    {"sum keeps small terms beside large ones", {1e16, 1.0, 1.0}, kAll, 3333333333333334.0, {}},
    // The exact deviation, correctly rounded: taken from the mean after rounding to double it
    // would end 2 ulp lower.
    {"deviations are taken from the unrounded mean",
     {0x1.f6db6db6db6dbp+4, 283.0, 0x1.d45d1745d1746p+5},
     kAll,
     {},
     138.08412411681675},
    // Rounding the quotient to double before the square root would end 1 ulp lower.
    {"square root is taken before rounding to double",
     {133.0, 0x1.0aaaaaaaaaaabp+3, 0x1.162e8ba2e8ba3p+6},
     kAll,
     {},
     62.336694517098266},
    {"NaN among several values propagates to both outputs", {1.0, kNaN, 3.0}, kAll, kNaN, kNaN},
};

TEST(AvgDev, WorkedCases) {
  for (const AvgDevCase& c : kAvgDevCases) {
    SCOPED_TRACE(c.behaviour);
    Result r;
    avg_dev(c.x.empty() ? nullptr : c.x.data(), count(c.x, c.n), r.mean, r.sigma);
    expect_same(c.mean, r.mean, "mean");
    expect_same(c.sigma, r.sigma, "sigma");
  }
}

struct AvgDevPwCase {
  const char* behaviour;
  std::vector<double> x, w;
  std::int32_t n;
  Expected mean, sigma;
};

const AvgDevPwCase kAvgDevPwCases[] = {
    {"equal weights give the deviation without count correction",
     {1.0, 3.0},
     {1.0, 1.0},
     kAll,
     2.0,
     1.0},
    {"reads only the first n entries", {1.0, 3.0, kNaN}, {1.0, 1.0, kNaN}, 2, 2.0, 1.0},
    {"all zero weights give zeros", {1.0, 2.0, 3.0}, {0.0, 0.0, 0.0}, kAll, 0.0, 0.0},
    {"total weight strictly below 1e-8 gives zeros", {1.0, 3.0}, {0.4e-8, 0.5e-8}, kAll, 0.0, 0.0},
    // 0.5e-8 + 0.5e-8 is exactly the double 1e-8: used.
    {"total weight at 1e-8 is used", {1.0, 3.0}, {0.5e-8, 0.5e-8}, kAll, 2.0, 1.0},
    {"negative total weight gives zeros", {1.0, 3.0}, {1.0, -2.0}, kAll, 0.0, 0.0},
    // SW = 2, SXW = 2 - 3 + 5 = 4, DW = 2 - 1 + 9 = 10.
    {"negative weights enter the sums unchanged",
     {1.0, 3.0, 5.0},
     {2.0, -1.0, 1.0},
     kAll,
     2.0,
     std::sqrt(5.0)},
    // SW = 1, SXW = -4, so the mean is -4; DW = 4 * 2 + 16 * (-1) + 36 * 0 = -8, whose square
    // root is not a number.
    {"negative weighted squares give a NaN deviation",
     {-2.0, 0.0, 2.0},
     {2.0, -1.0, 0.0},
     kAll,
     -4.0,
     kNaN},
    // A single value is returned whatever its weight; the weight is not even read.
    {"single value, zero weight", {4.5}, {0.0}, kAll, 4.5, 0.0},
    {"single value, negative weight", {4.5}, {-3.0}, kAll, 4.5, 0.0},
    {"single value, NaN weight", {4.5}, {kNaN}, kAll, 4.5, 0.0},
    {"single NaN, weights not read", {kNaN}, {}, 1, kNaN, 0.0},
    // An empty or negative count gives zeros without reading the arrays.
    {"count 0", {}, {}, 0, 0.0, 0.0},
    {"count -5", {}, {}, -5, 0.0, 0.0},
    {"most negative count", {}, {}, kMinCount, 0.0, 0.0},
    // Extended precision: (1 + 2^-30)^2 = 1 + 2^-29 + 2^-60 is exact in long double; the
    // second product cancels all but 2^-60. Products rounded to double would cancel completely
    // and give a mean of 0. SW = 1 + 2^-30.
    {"products are formed in extended precision",
     {1.0 + 0x1p-30, 1.0 + 0x1p-29, 0.0},
     {1.0 + 0x1p-30, -1.0, 1.0},
     kAll,
     0x1p-60 - 0x1p-90,
     {}},
    // Products rounded to double would move the mean by 1 ulp.
    {"mean is the correctly rounded weighted mean",
     {116.0, 0x1.d555555555555p+2, 0x1.b745d1745d174p+3},
     {0x1.bbb13b13b13b1p+5, 0x1.2aaaaaaaaaaabp+3, 23.0},
     kAll,
     77.6549932738601,
     {}},
    // Squared deviations times weights rounded to double would move the deviation by 1 ulp.
    {"deviation is the correctly rounded weighted deviation",
     {9.0, 0x1.aaaaaaaaaaaabp+7, 0x1.dd1745d1745d1p+2},
     {0x1.6762762762762p+5, 0x1.3e38e38e38e39p+6, 42.0},
     kAll,
     {},
     102.44109545829933},
    // A NaN value or weight propagates to both outputs.
    {"NaN value", {1.0, kNaN, 3.0}, {1.0, 1.0, 1.0}, kAll, kNaN, kNaN},
    {"NaN value with zero weight", {1.0, kNaN, 3.0}, {1.0, 0.0, 1.0}, kAll, kNaN, kNaN},
    {"NaN weight", {1.0, 2.0, 3.0}, {1.0, kNaN, 1.0}, kAll, kNaN, kNaN},
};

TEST(AvgDevPw, WorkedCases) {
  for (const AvgDevPwCase& c : kAvgDevPwCases) {
    SCOPED_TRACE(c.behaviour);
    Result r;
    avg_dev_pw(c.x.empty() ? nullptr : c.x.data(), c.w.empty() ? nullptr : c.w.data(),
               count(c.x, c.n), r.mean, r.sigma);
    expect_same(c.mean, r.mean, "mean");
    expect_same(c.sigma, r.sigma, "sigma");
  }
}

// ---- properties on random data -------------------------------------------------

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
