// Scaled 16-bit encoding (format code 0): worked decoding values, the exact rounding contract
// (extended-precision exponent and angle arithmetic), grid properties, and the quantisers that
// invert the decoding.
#include "io/history/history_scaled_i2.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace pairtrack::detail {
namespace {

constexpr int kMin = std::numeric_limits<std::int16_t>::min();
constexpr int kMax = std::numeric_limits<std::int16_t>::max();

std::int16_t k16(int k) { return static_cast<std::int16_t>(k); }

// ---- frame time ---------------------------------------------------------------------------

TEST(ScaledTimeDecoding, WorkedValues) {
  EXPECT_EQ(decode_scaled_time(0, 0, 1), 0.01);
  EXPECT_EQ(decode_scaled_time(1, 0, 0), 10736762.89);
  EXPECT_EQ(decode_scaled_time(0, -1, 100), -326.67);
  EXPECT_EQ(decode_scaled_time(0, 0, 0), 0.0);
}

TEST(ScaledTimeDecoding, DigitsAreBase32767NotBase32768) {
  // One unit of h2 is worth 32767 units of h3, one unit of h1 32767 units of h2.
  EXPECT_EQ(decode_scaled_time(0, 1, 0), decode_scaled_time(0, 0, 32767));
  EXPECT_EQ(decode_scaled_time(1, 0, 0), decode_scaled_time(0, 32767, 0));
  EXPECT_EQ(decode_scaled_time(0, 1, -32767), 0.0);
}

TEST(ScaledTimeDecoding, ExtremeDigitsUseExactSixtyFourBitSums) {
  // (32767^3 + 32767^2 + 32767) / 100: would overflow a 32-bit product.
  EXPECT_EQ(decode_scaled_time(k16(kMax), k16(kMax), k16(kMax)), 351822246707.19);
  // -32768 * (32767^2 + 32767 + 1) / 100
  EXPECT_EQ(decode_scaled_time(k16(kMin), k16(kMin), k16(kMin)), -351832983797.76);
}

// ---- semimajor axis and eccentricity ------------------------------------------------------

TEST(ScaledLogGridDecoding, WorkedValues) {
  EXPECT_EQ(decode_scaled_a(0), 1.0);
  EXPECT_EQ(decode_scaled_e(0), 1.0);
  EXPECT_EQ(decode_scaled_a(k16(kMax)), 1e6);
  EXPECT_EQ(decode_scaled_a(k16(-kMax)), 1e-6);
  EXPECT_EQ(decode_scaled_e(k16(-kMax)), 0.001);
  EXPECT_EQ(decode_scaled_e(k16(kMax)), 1000.0);
  EXPECT_LT(decode_scaled_a(k16(kMin)), 1e-6);
  EXPECT_GT(decode_scaled_e(k16(kMin)), 0.0);  // no code gives an eccentricity of 0
}

TEST(ScaledLogGridDecoding, ExponentIsRoundedToDoubleBeforeThePower) {
  // For these codes the exponent k*6/32767 (k*3/32767) formed in extended precision and then
  // rounded differs in its last bit from the same quotient formed in double, and a power taken
  // in extended precision differs again; the double power of the rounded exponent is the one
  // the integration's files were decoded with.
  struct Case {
    int k;
    double x6;
    double x3;
  };
  const Case cases[] = {
      {-31999, -0x1.76ffedffdbffcp+2, -0x1.76ffedffdbffcp+1},
      {-22954, -0x1.0d001a0034006p+2, -0x1.0d001a0034006p+1},
      {-21930, -0x1.0100020004p+2, -0x1.0100020004p+1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode_scaled_a(k16(c.k)), std::pow(10.0, c.x6)) << c.k;
    EXPECT_EQ(decode_scaled_e(k16(c.k)), std::pow(10.0, c.x3)) << c.k;
    // The contract is sensitive here: a double-only exponent gives another value.
    EXPECT_NE(decode_scaled_a(k16(c.k)), std::pow(10.0, static_cast<double>(c.k) * 6 / 32767.0));
  }
}

TEST(ScaledLogGridDecoding, GridIsStrictlyIncreasingOverAllCodes) {
  for (int k = kMin; k < kMax; ++k) {
    ASSERT_LT(decode_scaled_a(k16(k)), decode_scaled_a(k16(k + 1))) << k;
    ASSERT_LT(decode_scaled_e(k16(k)), decode_scaled_e(k16(k + 1))) << k;
  }
}

// ---- angles -------------------------------------------------------------------------------

TEST(ScaledAngleDecoding, FullScaleConstantIsTheTruncatedDecimal) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(kScaledAngleFullTurn), 0x401921FB54442D11u);
  EXPECT_NE(kScaledAngleFullTurn, 2 * 3.14159265358979323846);
}

TEST(ScaledAngleDecoding, WorkedValues) {
  EXPECT_EQ(decode_scaled_angle(k16(kMax)), 6.28318530717958);
  EXPECT_EQ(decode_scaled_angle(0), 0.0);
  const double most_negative = decode_scaled_angle(k16(kMin));
  EXPECT_NEAR(most_negative, -6.2833770606, 1e-10);
  EXPECT_EQ(most_negative, -0x1.9222d989f5e5p+2);
  EXPECT_LT(most_negative, -2 * 3.14159265358979323846);  // slightly beyond -2 pi
}

TEST(ScaledAngleDecoding, ProductThenQuotientInExtendedPrecisionRoundedOnce) {
  // Double arithmetic, and dividing before multiplying, each give another last bit here.
  EXPECT_EQ(decode_scaled_angle(k16(-32750)), -0x1.91ea4ca35e7e6p+2);
  EXPECT_EQ(decode_scaled_angle(k16(-32749)), -0x1.91e7285dab6a8p+2);
  EXPECT_EQ(decode_scaled_angle(k16(-25736)), -0x1.3bd67efaeab02p+2);
  EXPECT_EQ(decode_scaled_angle(k16(-12868)), -0x1.3bd67efaeab02p+1);
  EXPECT_EQ(decode_scaled_angle(k16(12345)), 0x1.2f004a31374acp+1);
}

TEST(ScaledAngleDecoding, OddAndIncreasing) {
  for (int k = 1; k <= kMax; ++k) {
    ASSERT_EQ(decode_scaled_angle(k16(-k)), -decode_scaled_angle(k16(k))) << k;
    ASSERT_LT(decode_scaled_angle(k16(k - 1)), decode_scaled_angle(k16(k))) << k;
  }
}

// ---- quantisers ---------------------------------------------------------------------------

TEST(ScaledQuantisers, EveryCodeQuantisesBackToItself) {
  for (int k = kMin; k <= kMax; ++k) {
    ASSERT_EQ(quantise_scaled_a(decode_scaled_a(k16(k))), k16(k)) << k;
    ASSERT_EQ(quantise_scaled_e(decode_scaled_e(k16(k))), k16(k)) << k;
    ASSERT_EQ(quantise_scaled_angle(decode_scaled_angle(k16(k))), k16(k)) << k;
  }
}

TEST(ScaledQuantisers, PickTheNearestGridValue) {
  // Just below and above the midpoint of two neighbouring decoded values.
  for (int k : {-20000, -1, 0, 1234, 32000}) {
    const double lo = decode_scaled_a(k16(k));
    const double hi = decode_scaled_a(k16(k + 1));
    const double mid = lo + (hi - lo) / 2;
    EXPECT_EQ(quantise_scaled_a(std::nextafter(mid, lo)), k16(k)) << k;
    EXPECT_EQ(quantise_scaled_a(std::nextafter(mid, hi)), k16(k + 1)) << k;

    const double alo = decode_scaled_angle(k16(k));
    const double ahi = decode_scaled_angle(k16(k + 1));
    const double amid = alo + (ahi - alo) / 2;
    EXPECT_EQ(quantise_scaled_angle(std::nextafter(amid, alo)), k16(k)) << k;
    EXPECT_EQ(quantise_scaled_angle(std::nextafter(amid, ahi)), k16(k + 1)) << k;
  }
  EXPECT_EQ(quantise_scaled_e(0.3),
            k16(static_cast<int>(std::lround(std::log10(0.3) * 32767 / 3))));
}

TEST(ScaledQuantisers, RefuseValuesOffTheGrid) {
  EXPECT_FALSE(quantise_scaled_a(0.0));
  EXPECT_FALSE(quantise_scaled_a(-1.0));
  EXPECT_FALSE(quantise_scaled_a(std::nan("")));
  EXPECT_FALSE(quantise_scaled_a(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(quantise_scaled_a(1e7));
  EXPECT_FALSE(quantise_scaled_e(0.0));  // an eccentricity of exactly 0 has no code
  EXPECT_FALSE(quantise_scaled_e(1e4));
  EXPECT_FALSE(quantise_scaled_angle(7.0));
  EXPECT_FALSE(quantise_scaled_angle(-7.0));
  EXPECT_FALSE(quantise_scaled_angle(std::nan("")));
  // Within half a step of the ends the end codes are the nearest.
  EXPECT_EQ(quantise_scaled_a(1e6 * (1 + 1e-6)), k16(kMax));
  EXPECT_EQ(quantise_scaled_angle(decode_scaled_angle(k16(kMin)) - 1e-5), k16(kMin));
}

TEST(ScaledQuantisers, TimeWorkedValues) {
  const auto t1 = quantise_scaled_time(0.01);
  ASSERT_TRUE(t1);
  EXPECT_EQ(decode_scaled_time(t1->h1, t1->h2, t1->h3), 0.01);
  EXPECT_EQ(t1->h1, 0);
  EXPECT_EQ(t1->h2, 0);
  EXPECT_EQ(t1->h3, 1);

  for (double t :
       {10736762.89, -326.67, 0.0, 1234567.5, -98765.43, 351822246707.19, -351832983797.76}) {
    const auto digits = quantise_scaled_time(t);
    ASSERT_TRUE(digits) << t;
    EXPECT_EQ(decode_scaled_time(digits->h1, digits->h2, digits->h3), t) << t;
  }
}

TEST(ScaledQuantisers, TimeRoundsToNearestHundredth) {
  const auto up = quantise_scaled_time(12.346);
  ASSERT_TRUE(up);
  EXPECT_EQ(decode_scaled_time(up->h1, up->h2, up->h3), 12.35);
  const auto down = quantise_scaled_time(-12.344);
  ASSERT_TRUE(down);
  EXPECT_EQ(decode_scaled_time(down->h1, down->h2, down->h3), -12.34);
}

TEST(ScaledQuantisers, TimeRefusesValuesBeyondThreeDigits) {
  EXPECT_FALSE(quantise_scaled_time(351822246707.19 + 1.0));
  EXPECT_FALSE(quantise_scaled_time(-351832983797.76 - 1.0));
  EXPECT_FALSE(quantise_scaled_time(std::nan("")));
  EXPECT_FALSE(quantise_scaled_time(-std::numeric_limits<double>::infinity()));
}

}  // namespace
}  // namespace pairtrack::detail
