// Tests of the shuffled minimal-standard generator: the worked sequences,
// seeding and reseeding, the output range and cap, and agreement with an
// independent 64-bit reference over long runs.
#include "stats/ran1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace pairtrack::detail {
namespace {

constexpr double kCap = 0.99999988079071044921875;

// Straightforward model of the generator: 16807 s mod (2^31 - 1) in 64-bit
// arithmetic (no Schrage decomposition), table indexed 1 ... 32. It also
// exposes the raw table value behind each output.
class ReferenceGenerator {
 public:
  double next(std::int32_t& idum) {
    std::int64_t s = idum;
    if (s <= 0 || iy_ == 0) {
      s = (s < 0 && -s < kModulus) ? -s : 1;
      for (int j = 40; j >= 1; --j) {
        s = step(s);
        if (j <= 32) iv_[j] = s;
      }
      iy_ = iv_[1];
    }
    s = step(s);
    const std::int64_t j = 1 + iy_ / 67108864;
    iy_ = iv_[j];
    iv_[j] = s;
    idum = static_cast<std::int32_t>(s);
    const double r = static_cast<double>(iy_) / 2147483648.0;
    return r > kCap ? kCap : r;
  }
  std::int64_t last_table_value() const { return iy_; }

 private:
  static constexpr std::int64_t kModulus = 2147483647;
  static std::int64_t step(std::int64_t s) { return 16807 * s % kModulus; }
  std::int64_t iy_ = 0;
  std::int64_t iv_[33] = {};
};

class Ran1Test : public ::testing::Test {
 protected:
  void SetUp() override { ran1_reset(); }

  static std::vector<double> draw(std::int32_t& idum, int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(ran1(idum));
    return values;
  }
};

// ---- Worked sequences -----------------------------------------------------

TEST_F(Ran1Test, SeedMinusOneGivesTheKnownSequenceAndStateWord) {
  std::int32_t idum = -1;
  EXPECT_EQ(ran1(idum), 0.4159993566572666);
  EXPECT_EQ(ran1(idum), 0.09196489071473479);
  EXPECT_EQ(ran1(idum), 0.75641048559919);
  EXPECT_EQ(idum, 1551901393);
}

TEST_F(Ran1Test, SeedMinus12345GivesTheKnownSequence) {
  std::int32_t idum = -12345;
  EXPECT_EQ(ran1(idum), 0.9231205713003874);
  EXPECT_EQ(ran1(idum), 0.3331466121599078);
  EXPECT_EQ(ran1(idum), 0.19788841856643558);
}

TEST_F(Ran1Test, OutputIsExactlyTheTableValueTimesTwoToTheMinus31) {
  // 0.4159993566572666 is 893351816 / 2^31: no single-precision rounding.
  std::int32_t idum = -1;
  EXPECT_EQ(ran1(idum), 893351816.0 * 0x1p-31);
}

// ---- Seeding ----------------------------------------------------------------

TEST_F(Ran1Test, PositiveSeedOnFirstCallStartsTheSequenceOfMinusOne) {
  std::int32_t idum = 5;
  const std::vector<double> values = draw(idum, 3);
  EXPECT_EQ(values,
            (std::vector<double>{0.4159993566572666, 0.09196489071473479, 0.75641048559919}));
  EXPECT_EQ(idum, 1551901393);
}

TEST_F(Ran1Test, UnusableSeedsStartTheSequenceOfMinusOne) {
  // 0 and -2147483648 (whose negation overflows 32 bits) as the text says;
  // -2147483647 would make the modulus itself the state, which the
  // congruential step sends to the fixed point 0 (a run of zero outputs).
  std::int32_t reference_state = -1;
  const std::vector<double> expected = draw(reference_state, 50);
  for (const std::int32_t seed : {0, std::numeric_limits<std::int32_t>::min(), -2147483647,
                                  std::numeric_limits<std::int32_t>::max()}) {
    ran1_reset();
    std::int32_t idum = seed;
    EXPECT_EQ(draw(idum, 50), expected) << "seed " << seed;
    EXPECT_EQ(idum, reference_state) << "seed " << seed;
  }
}

TEST_F(Ran1Test, ExtremeUsableSeedsAreTakenAsGiven) {
  // -2147483646 gives the largest usable state, -2 the one next to 1.
  for (const std::int32_t seed : {-2, -2147483646}) {
    ReferenceGenerator reference;
    std::int32_t ref_state = seed;
    ran1_reset();
    std::int32_t idum = seed;
    for (int i = 0; i < 100; ++i) {
      ASSERT_EQ(ran1(idum), reference.next(ref_state)) << "seed " << seed << " draw " << i;
      ASSERT_EQ(idum, ref_state);
    }
  }
}

TEST_F(Ran1Test, NegativeStateWordMidRunRestartsTheTableFromThatSeed) {
  std::int32_t idum = -1;
  draw(idum, 7);
  idum = -12345;
  EXPECT_EQ(draw(idum, 3),
            (std::vector<double>{0.9231205713003874, 0.3331466121599078, 0.19788841856643558}));
}

TEST_F(Ran1Test, ZeroStateWordMidRunRestartsLikeMinusOne) {
  std::int32_t idum = -12345;
  draw(idum, 4);
  idum = 0;
  EXPECT_EQ(ran1(idum), 0.4159993566572666);
}

TEST_F(Ran1Test, PassingTheReturnedStateWordContinuesTheSequence) {
  std::int32_t idum = -1;
  const std::vector<double> in_one_go = draw(idum, 10);
  ran1_reset();
  std::int32_t first = -1;
  std::vector<double> in_two_parts = draw(first, 4);
  std::int32_t handed_back = first;  // as a caller keeping the state would
  for (double v : draw(handed_back, 6)) in_two_parts.push_back(v);
  EXPECT_EQ(in_two_parts, in_one_go);
}

TEST_F(Ran1Test, PositiveStateWordMidRunKeepsTheTable) {
  // After the first call a positive state word is a plain state: the table
  // stays, so the outputs differ from a fresh start from that state.
  ReferenceGenerator reference;
  std::int32_t ref_state = -1;
  std::int32_t idum = -1;
  for (int i = 0; i < 5; ++i) ASSERT_EQ(ran1(idum), reference.next(ref_state));
  idum = 42;
  ref_state = 42;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(ran1(idum), reference.next(ref_state)) << "draw " << i;
    ASSERT_EQ(idum, ref_state);
  }
}

TEST_F(Ran1Test, EqualSeedsGiveEqualSequencesInFreshRuns) {
  std::int32_t idum = -987654321;
  const std::vector<double> first_run = draw(idum, 100);
  ran1_reset();
  idum = -987654321;
  EXPECT_EQ(draw(idum, 100), first_run);
}

// ---- Range and cap ----------------------------------------------------------

TEST_F(Ran1Test, TableValuesAboveTheCapAreReturnedAsTheCap) {
  // Seed chosen (by inverting the congruential steps) so that the first
  // value handed out is the table value 2147483393, whose scaled value
  // 0.99999988125... lies above 1 - 2^-23.
  ReferenceGenerator reference;
  std::int32_t ref_state = -1545121907;
  reference.next(ref_state);
  ASSERT_EQ(reference.last_table_value(), 2147483393);

  std::int32_t idum = -1545121907;
  EXPECT_EQ(ran1(idum), kCap);
  EXPECT_LT(ran1(idum), kCap);
}

TEST_F(Ran1Test, ValuesStayStrictlyInsideTheUnitIntervalAndStateInRange) {
  std::int32_t idum = -7;
  for (int i = 0; i < 1000000; ++i) {
    const double r = ran1(idum);
    ASSERT_GT(r, 0.0);
    ASSERT_LT(r, 1.0);
    ASSERT_LE(r, kCap);
    ASSERT_GE(idum, 1);
    ASSERT_LE(idum, 2147483646);
  }
}

// ---- Agreement with the reference -------------------------------------------

TEST_F(Ran1Test, SchrageStepsAgreeWithSixtyFourBitReferenceOverLongRuns) {
  for (const std::int32_t seed : {-1, -12345, -123456789, -2147483646, -65536, 17}) {
    ran1_reset();
    ReferenceGenerator reference;
    std::int32_t idum = seed;
    std::int32_t ref_state = seed;
    for (int i = 0; i < 200000; ++i) {
      ASSERT_EQ(ran1(idum), reference.next(ref_state)) << "seed " << seed << " draw " << i;
      ASSERT_EQ(idum, ref_state) << "seed " << seed << " draw " << i;
    }
  }
}

}  // namespace
}  // namespace pairtrack::detail
