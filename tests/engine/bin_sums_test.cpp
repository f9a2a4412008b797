// Bin sums: the vector routines give the one-bin-at-a-time results to the bit, on random values
// of many magnitudes and every length a vector loop can end at, and the hand-over of term sums
// leaves them zero; the compensated sums keep what a plain double sum loses.
#include "engine/bin_sums.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace pairtrack::detail {
namespace {

std::vector<double> random_values(std::mt19937_64& rng, int n) {
  std::uniform_real_distribution<double> mantissa(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-40, 40);
  std::vector<double> v(static_cast<std::size_t>(n));
  for (double& x : v) x = std::ldexp(mantissa(rng), exponent(rng));
  return v;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

TEST(BinSums, VectorRoutinesGiveTheScalarBitsAndLeaveTermSumsZero) {
  std::mt19937_64 rng(20261209);
  for (int n = 0; n <= 19; ++n) {
    for (int round = 0; round < 20; ++round) {
      const std::vector<double> hi0 = random_values(rng, n), lo0 = random_values(rng, n);
      const std::vector<double> x = random_values(rng, n);
      const std::vector<double> terms = random_values(rng, 2 * n + 3);
      std::vector<double> hi[2] = {hi0, hi0}, lo[2] = {lo0, lo0}, sum[2] = {hi0, hi0};
      std::vector<double> t[2] = {terms, terms};
      bin_sums::compensated_add_vector(hi[0].data(), lo[0].data(), x.data(), n);
      bin_sums::compensated_add_scalar(hi[1].data(), lo[1].data(), x.data(), n);
      bin_sums::take_term_sums_vector(sum[0].data(), t[0].data(), n + 3, n);
      bin_sums::take_term_sums_scalar(sum[1].data(), t[1].data(), n + 3, n);
      ASSERT_TRUE(same_bits(hi[0], hi[1]) && same_bits(lo[0], lo[1])) << "n = " << n;
      ASSERT_TRUE(same_bits(sum[0], sum[1])) << "n = " << n;
      for (int i = 0; i < 2 * n + 3; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const bool taken = i < n || (i >= n + 3 && i < 2 * n + 3);
        ASSERT_EQ(t[0][at], taken ? 0.0 : terms[at]) << "n = " << n << ", value " << i;
      }
    }
  }
}

TEST(BinSums, CompensatedSumsKeepTheAdditionsAPlainSumRoundsAway) {
  // 1 then 2^20 times 2^-60 (each below half an ulp of 1): a double sum stays 1; the
  // compensated bin holds 1 + 2^-40 exactly.
  CompensatedBins bins;
  bins.resize(3);
  const double one[3] = {0.0, 1.0, 0.0};
  bins.add(0, 3, one);
  const double tiny[3] = {0.0, std::ldexp(1.0, -60), 0.0};
  for (int i = 0; i < 1 << 20; ++i) bins.add(0, 3, tiny);
  EXPECT_EQ(bins.value(1), 1.0 + std::ldexp(1.0, -40));
  EXPECT_TRUE(bins.zero(0) && bins.zero(2));
}

}  // namespace
}  // namespace pairtrack::detail
