// Free-form output: the real item's digits and the layout of whole lines (leading blank, text
// items, separator blanks, integer width). Expected texts are those a Fortran compiler writes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

TEST(FreeFormReal, UsesFixedFormFromOneTenthBelowTenToTheSeventeenth) {
  EXPECT_EQ(free_form_real(1.0), "1.0000000000000000");
  EXPECT_EQ(free_form_real(0.1), "0.10000000000000001");
  EXPECT_EQ(free_form_real(0.5), "0.50000000000000000");
  EXPECT_EQ(free_form_real(123.456), "123.45600000000000");
  EXPECT_EQ(free_form_real(1e15), "1000000000000000.0");
  EXPECT_EQ(free_form_real(1e16), "10000000000000000.");
  EXPECT_EQ(free_form_real(99999999999999984.0), "99999999999999984.");
  EXPECT_EQ(free_form_real(-2.5), "-2.5000000000000000");
}

TEST(FreeFormReal, WritesZeroInFixedFormKeepingTheSignOfNegativeZero) {
  EXPECT_EQ(free_form_real(0.0), "0.0000000000000000");
  EXPECT_EQ(free_form_real(-0.0), "-0.0000000000000000");
}

TEST(FreeFormReal, UsesExponentFormWithThreeDigitsOutsideThatRange) {
  EXPECT_EQ(free_form_real(1e-2), "1.0000000000000000E-002");
  EXPECT_EQ(free_form_real(0.09999999999999999), "9.9999999999999992E-002");
  EXPECT_EQ(free_form_real(-1e-5), "-1.0000000000000001E-005");
  EXPECT_EQ(free_form_real(1e17), "1.0000000000000000E+017");
  EXPECT_EQ(free_form_real(1e100), "1.0000000000000000E+100");
  EXPECT_EQ(free_form_real(1.7976931348623157e308), "1.7976931348623157E+308");
  EXPECT_EQ(free_form_real(4.9406564584124654e-324), "4.9406564584124654E-324");
}

TEST(FreeFormReal, NamesNonFiniteValues) {
  EXPECT_EQ(free_form_real(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(free_form_real(std::numeric_limits<double>::infinity()), "Infinity");
  EXPECT_EQ(free_form_real(-std::numeric_limits<double>::infinity()), "-Infinity");
}

TEST(FreeFormReal, ReadsBackToTheSameDouble) {
  // Seventeen significant digits identify every double; walk a wide spread of magnitudes.
  for (double v = 5e-324; std::isfinite(v); v = v * 3.7 + 1e-300) {
    for (double x : {v, -v}) {
      double back[1] = {0.0};
      ASSERT_TRUE(read_reals_from_text(free_form_real(x), back)) << free_form_real(x);
      EXPECT_EQ(back[0], x) << free_form_real(x);
    }
  }
}

TEST(FreeFormLine, StartsWithOneBlankAndRightAlignsIntegersInEleven) {
  EXPECT_EQ(FreeFormLine().integer(5).str(), "           5");
  EXPECT_EQ(FreeFormLine().text("x").integer(5).str(), " x           5");
  EXPECT_EQ(FreeFormLine().integer(std::numeric_limits<std::int32_t>::min()).str(), " -2147483648");
  // A text ending in a blank keeps it: its blank, the separator, then the 11-character field.
  EXPECT_EQ(FreeFormLine().text("# n2_min = ").integer(-7).str(), " # n2_min =           -7");
}

TEST(FreeFormLine, SeparatesTextFromAPrecedingNumberButNotFromAPrecedingText) {
  EXPECT_EQ(FreeFormLine().text("a").text("b").integer(5).text("c").str(), " ab           5 c");
  EXPECT_EQ(FreeFormLine().text("# pairtrack: t_max = ").real(1.0).text(" Myr").str(),
            " # pairtrack: t_max =  1.0000000000000000  Myr");
  EXPECT_EQ(FreeFormLine()
                .text("Error: number of orbit pairs ")
                .integer(10020000)
                .text(" larger than proba_max = ")
                .integer(10000000)
                .str(),
            " Error: number of orbit pairs     10020000  larger than proba_max =     10000000");
}

TEST(FreeFormLine, WritesRealsWithOneSeparatorAndNoPadding) {
  EXPECT_EQ(FreeFormLine().real(1.0).str(), " 1.0000000000000000");
  EXPECT_EQ(FreeFormLine().text("# q_crit = ").real(1.5).text(" AU").str(),
            " # q_crit =  1.5000000000000000  AU");
  EXPECT_EQ(FreeFormLine().real(0.01).real(-0.0).integer(3).str(),
            " 1.0000000000000000E-002 -0.0000000000000000           3");
}

TEST(FreeFormLine, KeepsEveryCharacterOfATextItem) {
  const std::string name = "orbits.cat" + std::string(70, ' ');
  const std::string line = FreeFormLine().text("# Input filename: ").text(name).str();
  EXPECT_EQ(line, " # Input filename: " + name);
  EXPECT_EQ(line.size(), 1u + 18u + 80u);
  EXPECT_EQ(FreeFormLine().str(), " ");
}

TEST(WriteLine, EndsTheLineWithANewline) {
  std::ostringstream out;
  write_line(out, FreeFormLine().text("Error reading standard input."));
  write_line(out, FreeFormLine().integer(1));
  EXPECT_EQ(out.str(), " Error reading standard input.\n           1\n");
}

}  // namespace
}  // namespace pairtrack::detail::fortran
