// Properties across the text forms: fixed fields agree with the free-form digits of the same
// value, and whole records of the run parameters read as the program expects.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

// A simple deterministic sequence of doubles over many magnitudes and both signs.
double sample(int i) {
  const double mantissa = std::fmod(i * 0.6180339887498949, 1.0) * 10.0;
  const int exponent = (i * 7) % 24 - 12;
  return (i % 2 ? -1.0 : 1.0) * mantissa * std::pow(10.0, exponent);
}

TEST(FortranText, FixedFieldsMatchTheCLibraryRoundingOfTheExactValue) {
  // The C library's "%.*f" rounds the exact binary value with ties to even; a field that fits
  // must hold exactly those digits, with the sign of the value.
  for (int i = 0; i < 5000; ++i) {
    const double v = sample(i);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.10f", std::fabs(v));
    const std::string field = format_f(v, 40, 10);
    const std::string digits = field.substr(field.find_first_not_of(" -"));
    EXPECT_EQ(digits, expected) << v;
    EXPECT_EQ(field.find('-') != std::string::npos, std::signbit(v)) << v;
  }
}

TEST(FortranText, FixedFieldsReadBackWithinHalfAUnitOfTheLastDecimal) {
  for (int i = 0; i < 5000; ++i) {
    const double v = sample(i);
    const std::string field = format_f(v, 22, 16);
    if (field[0] == '*') {
      // Only a value whose digits, sign included, need more than the 22 characters.
      char digits[64];
      std::snprintf(digits, sizeof digits, "%.16f", v);
      EXPECT_GT(std::string(digits).size(), 22u) << v;
      continue;
    }
    std::array<double, 1> back{};
    ASSERT_TRUE(read_reals_from_text(field, back)) << field;
    EXPECT_LE(std::fabs(back[0] - v), 0.5e-16 + std::fabs(v) * 1e-15) << field;
  }
}

TEST(FortranText, RunParameterRecordsReadInOrder) {
  // Records 3-10 of a run, written the way users write them.
  std::istringstream in(
      "catalogue.txt\n"
      "history.bin   trailing words are part of the name\n"
      "  2   ! format code\n"
      "5\n"
      "40\n"
      "1.d6\n"
      ".true.\n"
      "0.1, 0.2\n"
      "0.5\n"
      "-1\n"
      "2E+0\n");
  FreeFormReader reader(in);
  std::string catalogue, history;
  ASSERT_TRUE(reader.read_text_record(catalogue));
  ASSERT_TRUE(reader.read_text_record(history));
  EXPECT_EQ(history.substr(0, 14), "history.bin   ");
  EXPECT_EQ(history.size(), 80u);
  std::array<std::int32_t, 1> code{};
  std::array<std::int32_t, 2> range{};
  std::array<double, 1> divisor{}, q_crit{}, p_crit{}, v_esc{};
  std::array<std::int32_t, 1> seed{};
  std::int32_t write_pairs = 0;
  ASSERT_TRUE(reader.read_integers(code));
  ASSERT_TRUE(reader.read_integers(range));
  ASSERT_TRUE(reader.read_reals(divisor));
  ASSERT_TRUE(reader.read_logical(write_pairs));
  ASSERT_TRUE(reader.read_reals(q_crit));
  ASSERT_TRUE(reader.read_reals(p_crit));
  ASSERT_TRUE(reader.read_integers(seed));
  ASSERT_TRUE(reader.read_reals(v_esc));
  EXPECT_EQ(code[0], 2);
  EXPECT_EQ(range[0], 5);
  EXPECT_EQ(range[1], 40);
  EXPECT_EQ(divisor[0], 1e6);
  EXPECT_EQ(write_pairs, 1);
  EXPECT_EQ(q_crit[0], 0.1);  // the extra 0.2 on its line is skipped
  EXPECT_EQ(p_crit[0], 0.5);
  EXPECT_EQ(seed[0], -1);
  EXPECT_EQ(v_esc[0], 2.0);
}

}  // namespace
}  // namespace pairtrack::detail::fortran
