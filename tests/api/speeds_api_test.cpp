// The public speed-distribution calls: the bin layout's parsing and refusals, and the
// distributions of the matrix and element-wise calls against each other, against the pairs'
// p_coll, and across thread counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/reference/speed_histogram.h"
#include "kernel/speed_binning.h"
#include "pairtrack/pairtrack.h"

namespace pairtrack {
namespace {

TEST(PublicSpeeds, ParsesBinLayoutsAndRefusesBadOnesWithTheirMessage) {
  const SpeedBins d = parse_speed_bins("0:40:0.25");
  EXPECT_EQ(d.count(), 160);
  EXPECT_EQ(d.values(), 162u);
  const SpeedBins odd = parse_speed_bins("1:2e0:0.3");
  EXPECT_EQ(odd.count(), 4);  // the last bin, [1.9, 2), is narrower than the step
  EXPECT_EQ(odd.upper_km_s(4), 2.0);
  EXPECT_EQ(odd.lower_km_s(0), -INFINITY);
  EXPECT_EQ(odd.upper_km_s(5), INFINITY);
  // The finest layout: every bin's upper speed is the next one's lower speed, and a bin's
  // lower speed falls in that bin (each call costs a few operations, not a pass over the bins).
  const SpeedBins fine = parse_speed_bins("0:1:0.00001");
  ASSERT_EQ(fine.count(), 100000);
  for (std::size_t i = 1; i <= 100000; ++i) {
    ASSERT_EQ(fine.upper_km_s(i), fine.lower_km_s(i + 1)) << i;
    ASSERT_EQ(fine.index(fine.lower_km_s(i)), i) << i;
  }

  const std::string shape = "speed bins must be MIN:MAX:STEP (three numbers separated by colons)";
  const struct {
    const char* text;
    std::string message;
  } bad[] = {
      {"", shape + ", not ''"},
      {"0:40", shape + ", not '0:40'"},
      {"0:40:0.25:1", shape + ", not '0:40:0.25:1'"},
      {"0:40:x", shape + ", not '0:40:x'"},
      {"0: 40:1", shape + ", not '0: 40:1'"},
      {"0:0x10:1", shape + ", not '0:0x10:1'"},
      {"0::1", shape + ", not '0::1'"},
      {"0:inf:1", "the speed bins' numbers must be finite"},
      {"nan:4:1", "the speed bins' numbers must be finite"},
      {"-1:40:1", "the speed bins' minimum must be 0 or more"},
      {"5:5:1", "the speed bins' maximum must be above the minimum"},
      {"5:4:1", "the speed bins' maximum must be above the minimum"},
      {"0:40:0", "the speed bins' step must be above 0"},
      {"0:40:-1", "the speed bins' step must be above 0"},
      {"0:1:0.000009", "the speed bins ask for more than 100000 bins"},
      {"1e17:1.00000000000001e17:8",
       "the speed bins' step is too small to separate the edges at "
       "these speeds"},
  };
  for (const auto& c : bad) {
    try {
      parse_speed_bins(c.text);
      ADD_FAILURE() << "accepted '" << c.text << "'";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), c.message) << c.text;
    }
  }
}

// The matrix call and the element-wise call give every pair the same distributions, whatever
// the thread count; the distributions are the reference binning's; each sums to p_coll.
TEST(PublicSpeeds, MatrixAndPairCallsAgreeWithTheReferenceAndSumToTheProbability) {
  std::mt19937_64 rng(42);
  auto u = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  constexpr std::size_t n1 = 23, n2 = 5;
  std::vector<double> a1(n1), e1(n1), i1(n1), a2(n2), e2(n2), i2(n2);
  for (std::size_t k = 0; k < n1; ++k) a1[k] = u(1.8, 3.5), e1[k] = u(0, 0.4), i1[k] = u(0, 30);
  for (std::size_t k = 0; k < n2; ++k) a2[k] = u(1.8, 3.5), e2[k] = u(0, 0.4), i2[k] = u(0, 30);
  const OrbitArrays o1{a1.data(), e1.data(), i1.data(), n1};
  const OrbitArrays o2{a2.data(), e2.data(), i2.data(), n2};
  const SpeedBins bins{0.0, 25.0, 0.5};
  const std::size_t values = bins.values();
  KernelOptions options;
  options.v_esc_km_s = 2.0;

  std::vector<double> imp(n1 * n2 * values, -1.0), enc(n1 * n2 * values, -1.0), p(n1 * n2);
  SpeedDistributionArrays out{imp.data(), enc.data(), {p.data()}};
  options.threads = 1;
  speed_distribution_matrix(o1, o2, bins, out, options);

  std::vector<double> p_ref(n1 * n2);
  collision_pair_matrix(o1, o2, {p_ref.data()}, options);
  EXPECT_EQ(std::memcmp(p.data(), p_ref.data(), p.size() * sizeof(double)), 0);

  std::vector<double> imp3(imp.size()), enc3(enc.size());
  options.threads = 3;
  speed_distribution_matrix(o1, o2, bins, {imp3.data(), enc3.data()}, options);
  EXPECT_EQ(std::memcmp(imp.data(), imp3.data(), imp.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(enc.data(), enc3.data(), enc.size() * sizeof(double)), 0);

  // Element-wise: pair (i, j) of the matrix as pair q of two expanded populations.
  std::vector<double> ea1, ee1, ei1, ea2, ee2, ei2;
  for (std::size_t i = 0; i < n1; ++i) {
    for (std::size_t j = 0; j < n2; ++j) {
      ea1.push_back(a1[i]), ee1.push_back(e1[i]), ei1.push_back(i1[i]);
      ea2.push_back(a2[j]), ee2.push_back(e2[j]), ei2.push_back(i2[j]);
    }
  }
  std::vector<double> impq(imp.size()), encq(enc.size());
  speed_distribution_pairs({ea1.data(), ee1.data(), ei1.data(), ea1.size()},
                           {ea2.data(), ee2.data(), ei2.data(), ea2.size()}, bins,
                           {impq.data(), encq.data()}, options);
  EXPECT_EQ(std::memcmp(imp.data(), impq.data(), imp.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(enc.data(), encq.data(), enc.size() * sizeof(double)), 0);

  const detail::SpeedBinning binning = detail::speed_binning(bins);
  int nonzero = 0;
  std::vector<double> want_imp(values), want_enc(values);
  for (std::size_t q = 0; q < n1 * n2; ++q) {
    detail::reference_speed_histograms(
        ea1[q] * kCentimetresPerAu, ee1[q], ei1[q] * kRadiansPerDegree, ea2[q] * kCentimetresPerAu,
        ee2[q], ei2[q] * kRadiansPerDegree, 10, 10, options.v_esc_km_s, binning, want_imp.data(),
        want_enc.data());
    EXPECT_EQ(std::memcmp(want_imp.data(), &imp[q * values], values * sizeof(double)), 0) << q;
    EXPECT_EQ(std::memcmp(want_enc.data(), &enc[q * values], values * sizeof(double)), 0) << q;
    long double s_imp = 0, s_enc = 0;
    for (std::size_t b = 0; b < values; ++b)
      s_imp += imp[q * values + b], s_enc += enc[q * values + b];
    EXPECT_NEAR(static_cast<double>(s_imp), p[q], 1e-12 * p[q]);
    EXPECT_NEAR(static_cast<double>(s_enc), p[q], 1e-12 * p[q]);
    EXPECT_EQ(enc[q * values], 0.0);  // no encounter below 0 km/s
    if (p[q] > 0.0) ++nonzero;
  }
  EXPECT_GT(nonzero, 50);
}

TEST(PublicSpeeds, RefusesInvalidBinsAndOptions) {
  const double a = 2.5, e = 0.1, i = 5.0;
  const OrbitArrays one{&a, &e, &i, 1};
  double h[4];
  EXPECT_THROW(speed_distribution_pairs(one, one, SpeedBins{0.0, 1.0, 0.0}, {h}),
               std::invalid_argument);
  KernelOptions accurate;
  accurate.accuracy = 0.2;
  EXPECT_THROW(speed_distribution_matrix(one, one, SpeedBins{0.0, 1.0, 0.5}, {h}, accurate),
               std::invalid_argument);
}

// The accurate mode bins the terms of each pair's accepted estimate: the bins sum to its
// p_coll, the two calls agree, and the scalar outputs are those of collision_pair_matrix.
TEST(PublicSpeeds, AccurateModeBinsSumToTheAccurateProbability) {
  const double a1[3] = {2.2, 2.6, 3.1}, e1[3] = {0.15, 0.05, 0.25}, i1[3] = {4.0, 12.0, 8.0};
  const double a2[2] = {2.7, 2.4}, e2[2] = {0.2, 0.1}, i2[2] = {6.0, 9.5};
  const OrbitArrays o1{a1, e1, i1, 3}, o2{a2, e2, i2, 2};
  const SpeedBins bins{0.0, 20.0, 0.5};
  const std::size_t values = bins.values();
  KernelOptions options;
  options.accuracy = 1e-5;
  options.v_esc_km_s = 1.5;
  std::vector<double> imp(6 * values), enc(6 * values), p(6), want(6);
  speed_distribution_matrix(o1, o2, bins, {imp.data(), enc.data(), {p.data()}}, options);
  collision_pair_matrix(o1, o2, {want.data()}, options);
  EXPECT_EQ(std::memcmp(p.data(), want.data(), sizeof(double) * 6), 0);
  const double ea1[6] = {2.2, 2.2, 2.6, 2.6, 3.1, 3.1},
               ee1[6] = {0.15, 0.15, 0.05, 0.05, 0.25, 0.25},
               ei1[6] = {4.0, 4.0, 12.0, 12.0, 8.0, 8.0};
  const double ea2[6] = {2.7, 2.4, 2.7, 2.4, 2.7, 2.4}, ee2[6] = {0.2, 0.1, 0.2, 0.1, 0.2, 0.1},
               ei2[6] = {6.0, 9.5, 6.0, 9.5, 6.0, 9.5};
  std::vector<double> impq(imp.size());
  speed_distribution_pairs({ea1, ee1, ei1, 6}, {ea2, ee2, ei2, 6}, bins, {impq.data()}, options);
  EXPECT_EQ(std::memcmp(imp.data(), impq.data(), sizeof(double) * imp.size()), 0);
  int nonzero = 0;
  for (std::size_t q = 0; q < 6; ++q) {
    long double s_imp = 0, s_enc = 0;
    for (std::size_t b = 0; b < values; ++b)
      s_imp += imp[q * values + b], s_enc += enc[q * values + b];
    EXPECT_NEAR(static_cast<double>(s_imp), p[q], 1e-12 * p[q]) << q;
    EXPECT_NEAR(static_cast<double>(s_enc), p[q], 1e-12 * p[q]) << q;
    nonzero += p[q] > 0.0;
  }
  EXPECT_GE(nonzero, 4);
}

}  // namespace
}  // namespace pairtrack
