// Fixed-layout fields and lines: Fw.d, Iw, nX and repeat groups. Every expected field below was
// written by a Fortran compiler for the same value and descriptor.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FCase {
  double value;
  int width;
  int decimals;
  const char* expected;
};

void expect_fields(const std::vector<FCase>& cases) {
  for (const FCase& c : cases) {
    EXPECT_EQ(format_f(c.value, c.width, c.decimals), c.expected)
        << "value " << c.value << " in f" << c.width << "." << c.decimals;
  }
}

TEST(FormatF, RoundsTheExactBinaryValueWithTiesToEven) {
  expect_fields({
      {0.125, 5, 2, " 0.12"},  // exact tie, even digit kept
      {0.375, 5, 2, " 0.38"},  // exact tie, rounded up to even
      {2.5, 3, 0, " 2."},
      {3.5, 3, 0, " 4."},
      {0.00048828125, 16, 10, "    0.0004882812"},  // 2^-11: tie at the tenth decimal
      {0.25, 5, 1, "  0.2"},
      {0.05, 5, 1, "  0.1"},  // 0.05 is slightly above the tie in binary
      {0.35, 5, 1, "  0.3"},  // 0.35 is slightly below it
      {0.999999999, 10, 8, "1.00000000"},
      {0.99999999, 10, 8, "0.99999999"},
      {9.994, 4, 2, "9.99"},
      {0.1, 22, 16, "    0.1000000000000000"},
      {1.0, 16, 10, "    1.0000000000"},
      {12345.5, 16, 10, "12345.5000000000"},
      {2.6, 14, 8, "    2.60000000"},
      {0.1396263, 10, 5, "   0.13963"},
      {1e-320, 10, 5, "   0.00000"},
      {5e-324, 22, 16, "    0.0000000000000000"},
  });
}

TEST(FormatF, KeepsTheMinusSignOfNegativeValuesThatRoundToZero) {
  expect_fields({
      {-0.00001, 16, 10, "   -0.0000100000"},
      {-1e-11, 16, 10, "   -0.0000000000"},
      {-0.004, 4, 2, "-.00"},
      {-0.0, 5, 2, "-0.00"},
      {0.0, 5, 2, " 0.00"},
      {-0.4, 3, 0, "-0."},
  });
}

TEST(FormatF, WritesTheLeadingZeroOnlyWhenTheFieldHasRoomForIt) {
  expect_fields({
      {0.25, 10, 8, "0.25000000"},
      {-0.25, 10, 8, "-.25000000"},
      {0.5, 3, 2, ".50"},
      {0.4, 2, 0, "0."},  // with no decimals the zero is the only digit and must stay
      {0.4, 1, 0, "*"},
      {-0.0, 2, 0, "**"},
  });
}

TEST(FormatF, FillsTheFieldWithAsterisksWhenTheValueDoesNotFit) {
  expect_fields({
      {123456.5, 16, 10, "****************"},
      {9.999, 4, 2, "****"},  // rounds up to 10.00
      {1e300, 16, 10, "****************"},
      {-12345.678901234, 16, 10, "****************"},
      {99999.99999999995, 16, 10, "****************"},
      {-9999.99999999995, 16, 10, "****************"},
      {1.0, 3, 2, "***"},
      {-1.0, 4, 2, "****"},
      {1.7976931348623157e308, 10, 2, "**********"},
  });
}

// Fw.0 holds a power of ten of w - 1 digits and the point, and no larger one: the field's
// bound at every width whose power is an exact double.
TEST(FormatF, HoldsPowersOfTenUpToItsWidth) {
  double power = 1.0;  // 10^(width - 2)
  for (int width = 2; width <= 23; ++width, power *= 10.0) {
    EXPECT_EQ(format_f(power, width, 0), "1" + std::string(width - 2, '0') + ".") << width;
    EXPECT_EQ(format_f(power * 10.0, width, 0), std::string(width, '*')) << width;
  }
}

TEST(FormatF, WritesNonFiniteValuesByTheRoomInTheField) {
  expect_fields({
      {kNaN, 16, 10, "             NaN"},
      {kNaN, 3, 1, "NaN"},
      {kNaN, 2, 1, "**"},
      {kInf, 16, 10, "        Infinity"},
      {kInf, 8, 1, "Infinity"},
      {kInf, 7, 1, "    Inf"},
      {kInf, 3, 1, "Inf"},
      {kInf, 2, 1, "**"},
      {-kInf, 16, 10, "       -Infinity"},
      {-kInf, 9, 1, "-Infinity"},
      {-kInf, 8, 1, "    -Inf"},
      {-kInf, 4, 1, "-Inf"},
      {-kInf, 3, 1, "***"},
  });
}

TEST(FormatF, FieldAlwaysHasTheRequestedWidth) {
  const double values[] = {0.0, -0.0, 1e-300, -3.75, 42.125, 1e20, -1e20, kNaN, kInf, -kInf};
  for (double v : values) {
    for (int width = 1; width <= 30; ++width) {
      for (int decimals = 0; decimals < width; ++decimals) {
        EXPECT_EQ(format_f(v, width, decimals).size(), static_cast<std::size_t>(width));
      }
    }
  }
}

TEST(FormatI, RightAlignsWithSignAndOverflowsToAsterisks) {
  EXPECT_EQ(format_i(12345, 3), "***");
  EXPECT_EQ(format_i(-1234, 5), "-1234");
  EXPECT_EQ(format_i(-1234, 4), "****");
  EXPECT_EQ(format_i(-99, 3), "-99");
  EXPECT_EQ(format_i(-1, 2), "-1");
  EXPECT_EQ(format_i(0, 1), "0");
  EXPECT_EQ(format_i(17, 8), "      17");
  EXPECT_EQ(format_i(99999999, 8), "99999999");
  EXPECT_EQ(format_i(100000000, 8), "********");
  EXPECT_EQ(format_i(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
}

TEST(FormatFieldsRejectImpossibleDescriptors, WidthBelowOneOrNegativeDecimals) {
  EXPECT_THROW(format_f(1.0, 0, 0), std::invalid_argument);
  EXPECT_THROW(format_f(1.0, 5, -1), std::invalid_argument);
  EXPECT_THROW(format_i(1, 0), std::invalid_argument);
}

TEST(FixedFormat, LaysOutThePairFileLine) {
  const FixedFormat format("(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))");
  EXPECT_EQ(format.width(), 63u);
  const FixedItem items[] = {17, 1.5, 2.6, 0.25, 0.1396263};
  EXPECT_EQ(format.format(items),
            "       17     1.5000000000     2.60000000 0.25000000    0.13963");
}

TEST(FixedFormat, LaysOutTheFrameLineWithRepeatGroups) {
  const FixedFormat format("(f16.10,4(1x,f22.16),4(1x,i8))");
  EXPECT_EQ(format.width(), 144u);
  const FixedItem items[] = {1.0, 6.90847, 0.0, 4.54037, -0.0, 1, 1, 1, 1};
  const std::string line = format.format(items);
  EXPECT_EQ(line,
            "    1.0000000000     6.9084700000000003     0.0000000000000000     4.5403700000000002"
            "    -0.0000000000000000        1        1        1        1");
  EXPECT_EQ(line.size(), 144u);
}

TEST(FixedFormat, WritesAsterisksForATimeThatDoesNotFit) {
  const FixedFormat format("(f16.10,4(1x,f22.16),4(1x,i8))");
  const FixedItem items[] = {123456.5, 0.0, 0.0, 0.0, 0.0, 0, 0, 0, 0};
  EXPECT_EQ(format.format(items).substr(0, 16), "****************");
}

TEST(FixedFormat, AcceptsLiteralsCaseBlanksAndNestedGroups) {
  const FixedFormat format(" ( 'a''b' , 2 ( I3 , 2(\"|\",F4.1) ) , x , 2X ) ");
  EXPECT_EQ(format.width(), 3u + 2 * (3 + 2 * 5));
  const FixedItem items[] = {1, 0.5, -0.5, 22, 9.95, 10.0};
  // The blanks ending the format move the position only; they are not written.
  EXPECT_EQ(format.format(items), "a'b  1| 0.5|-0.5 22| 9.9|10.0");
}

TEST(FixedFormat, WritesBlanksThatComeBeforeMoreOutput) {
  const FixedFormat format("(i3,5x,']')");
  const FixedItem items[] = {1};
  EXPECT_EQ(format.format(items), "  1     ]");
}

TEST(FixedFormat, AppendsToAnExistingBuffer) {
  const FixedFormat format("(i3)");
  std::string buffer = "x";
  const FixedItem first[] = {1};
  const FixedItem second[] = {-2};
  format.append(buffer, first);
  format.append(buffer, second);
  EXPECT_EQ(buffer, "x  1 -2");
}

TEST(FixedFormat, RejectsMalformedFormats) {
  for (const char* bad :
       {"", "i8", "(i8", "(i8))", "(f8)", "(f8.)", "(q3)", "(0(i3))", "(i0)", "(f0.2)", "(i3,)",
        "(,i3)", "('abc)", "(2'ab')", "(i3.2)", "(i3) x", "(999999(999999(1x)))"}) {
    EXPECT_THROW(FixedFormat{bad}, std::invalid_argument) << bad;
  }
}

TEST(FixedFormat, RejectsItemsThatDoNotMatchTheDescriptors) {
  const FixedFormat format("(f5.1,1x,i3)");
  const FixedItem too_few[] = {1.0};
  const FixedItem too_many[] = {1.0, 2, 3};
  const FixedItem integer_for_f[] = {1, 2};
  const FixedItem real_for_i[] = {1.0, 2.0};
  EXPECT_THROW(format.format(too_few), std::invalid_argument);
  EXPECT_THROW(format.format(too_many), std::invalid_argument);
  EXPECT_THROW(format.format(integer_for_f), std::invalid_argument);
  EXPECT_THROW(format.format(real_for_i), std::invalid_argument);
  const FixedItem good[] = {1.0, 2};
  EXPECT_EQ(format.format(good), "  1.0   2");
}

}  // namespace
}  // namespace pairtrack::detail::fortran
