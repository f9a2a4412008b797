// Free-form input: text records, integer, real and logical records read from a stream, and the
// internal read of reals from one text. Accepted forms, separators, line structure, and every
// way a record can fail.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

// One value of one record, read from a fresh stream holding `input`.
bool read_one_real(const std::string& input, double& value) {
  std::istringstream in(input);
  FreeFormReader reader(in);
  std::array<double, 1> values{};
  if (!reader.read_reals(values)) return false;
  value = values[0];
  return true;
}

bool read_one_integer(const std::string& input, std::int32_t& value) {
  std::istringstream in(input);
  FreeFormReader reader(in);
  std::array<std::int32_t, 1> values{};
  if (!reader.read_integers(values)) return false;
  value = values[0];
  return true;
}

bool read_one_logical(const std::string& input, std::int32_t& value) {
  std::istringstream in(input);
  return FreeFormReader(in).read_logical(value);
}

TEST(FreeFormReaderReals, AcceptsEveryDecimalForm) {
  const struct {
    const char* input;
    double expected;
  } cases[] = {
      {"1", 1.0},
      {"0.5", 0.5},
      {"2e6", 2e6},
      {"1.d6", 1e6},
      {"2E+6", 2e6},
      {".5", 0.5},
      {"5.", 5.0},
      {"-3.25", -3.25},
      {"+7", 7.0},
      {"1D-3", 1e-3},
      {"6.02e+23", 6.02e23},
      {"0.1", 0.1},
      {"2.7182818284590452353602874", 2.718281828459045},
      {"1e-400", 0.0},
      {"4.9e-324", 4.9406564584124654e-324},
      {"1.7976931348623157e308", 1.7976931348623157e308},
  };
  for (const auto& c : cases) {
    double value = -99.0;
    ASSERT_TRUE(read_one_real(c.input, value)) << c.input;
    EXPECT_EQ(value, c.expected) << c.input;
  }
  double negative_zero = 1.0;
  ASSERT_TRUE(read_one_real("-0.0", negative_zero));
  EXPECT_TRUE(std::signbit(negative_zero));
}

TEST(FreeFormReaderReals, RejectsWordsOverflowAndJunkStuckToANumber) {
  for (const char* input :
       {"nan", "NaN", "Inf", "infinity", "1e999", "-1d400", "abc", "5x", "1.5.2", "1.0+5", "e5",
        ".",   "-",   "1e",  "1e+",      "0x10",  ",1",     "2*0", "/",  "1/",    "\"1\"", "'1'"}) {
    double value = 0.0;
    EXPECT_FALSE(read_one_real(input, value)) << input;
  }
}

TEST(FreeFormReaderIntegers, AcceptsSignedDecimalsWithinThirtyTwoBits) {
  const struct {
    const char* input;
    std::int32_t expected;
  } cases[] = {{"5", 5},
               {"+12", 12},
               {"-7", -7},
               {"007", 7},
               {"2147483647", 2147483647},
               {"-2147483648", std::numeric_limits<std::int32_t>::min()}};
  for (const auto& c : cases) {
    std::int32_t value = -99;
    ASSERT_TRUE(read_one_integer(c.input, value)) << c.input;
    EXPECT_EQ(value, c.expected) << c.input;
  }
}

TEST(FreeFormReaderIntegers, RejectsARealWhereAnIntegerIsDue) {
  for (const char* input : {"5.", "1.5", "1e2", "2147483648", "-2147483649", "99999999999999999999",
                            "T", "x", "+", "5x", "2*3", ""}) {
    std::int32_t value = 0;
    EXPECT_FALSE(read_one_integer(input, value)) << input;
  }
}

TEST(FreeFormReaderLogical, TakesTheFirstLetterAfterAnOptionalPoint) {
  const struct {
    const char* input;
    std::int32_t expected;
  } cases[] = {{"T", 1}, {".true.", 1},  {"True", 1}, {"t", 1},    {".T", 1},
               {"F", 0}, {".false.", 0}, {"f", 0},    {"False", 0}};
  for (const auto& c : cases) {
    std::int32_t value = -1;
    ASSERT_TRUE(read_one_logical(c.input, value)) << c.input;
    EXPECT_EQ(value, c.expected) << c.input;
  }
  for (const char* input : {"x", "1", "0", ".", "..t", "yes", ",T", ""}) {
    std::int32_t value = -1;
    EXPECT_FALSE(read_one_logical(input, value)) << input;
  }
}

TEST(FreeFormReaderRecords, ValuesMayContinueOverFollowingLinesAndBlankLines) {
  std::istringstream in("\n  \n5\n\n40\n3\n");
  FreeFormReader reader(in);
  std::array<std::int32_t, 2> range{};
  ASSERT_TRUE(reader.read_integers(range));
  EXPECT_EQ(range[0], 5);
  EXPECT_EQ(range[1], 40);
  std::array<std::int32_t, 1> third{};
  ASSERT_TRUE(reader.read_integers(third));
  EXPECT_EQ(third[0], 3);
}

TEST(FreeFormReaderRecords, SeparatorsAreBlanksTabsCommasAndCarriageReturns) {
  for (const char* input : {"5, 40\n", "5,40\n", "5 ,40\n", "5\t40\n", "5 , \t 40\r\n",
                            "5\r\n40\r\n", "5,\n40\n", "5\n,40\n", "\t 5   40"}) {
    std::istringstream in(input);
    FreeFormReader reader(in);
    std::array<std::int32_t, 2> range{};
    ASSERT_TRUE(reader.read_integers(range)) << input;
    EXPECT_EQ(range[0], 5) << input;
    EXPECT_EQ(range[1], 40) << input;
  }
}

TEST(FreeFormReaderRecords, ExtraValuesOnALineAreSkippedWithTheRestOfTheLine) {
  std::istringstream in("0 7 garbage, ,, / here\n5 40 99\n1e6\nT x\n.false.\n");
  FreeFormReader reader(in);
  std::array<std::int32_t, 1> code{};
  ASSERT_TRUE(reader.read_integers(code));
  EXPECT_EQ(code[0], 0);
  std::array<std::int32_t, 2> range{};
  ASSERT_TRUE(reader.read_integers(range));
  EXPECT_EQ(range[0], 5);
  EXPECT_EQ(range[1], 40);
  std::array<double, 1> divisor{};
  ASSERT_TRUE(reader.read_reals(divisor));
  EXPECT_EQ(divisor[0], 1e6);
  std::int32_t flag = -1;
  ASSERT_TRUE(reader.read_logical(flag));
  EXPECT_EQ(flag, 1);
  ASSERT_TRUE(reader.read_logical(flag));
  EXPECT_EQ(flag, 0);
  EXPECT_FALSE(reader.read_logical(flag));  // end of input
}

TEST(FreeFormReaderRecords, NullValuesRepeatCountsAndSlashesAreUnreadable) {
  for (const char* input : {",5 40", "5,,40", "5, ,40", "5 , , 40", "2*7", "5 / 40", "5/"}) {
    std::istringstream in(input);
    FreeFormReader reader(in);
    std::array<std::int32_t, 2> range{};
    EXPECT_FALSE(reader.read_integers(range)) << input;
  }
}

TEST(FreeFormReaderRecords, EndOfInputBeforeAllValuesFails) {
  for (const char* input : {"", "\n\n", "   ", "5", "5\n", "5,"}) {
    std::istringstream in(input);
    FreeFormReader reader(in);
    std::array<std::int32_t, 2> range{};
    EXPECT_FALSE(reader.read_integers(range)) << '"' << input << '"';
  }
}

TEST(FreeFormReaderRecords, NineParameterRecordsThenEndOfInput) {
  // The ten run-parameter records with the last one missing: the first nine read, the tenth not.
  std::istringstream in("cat.txt\nhist.bin\n2\n5, 40\n1e6\nT\n0.5\n0.25\n-1\n");
  FreeFormReader reader(in);
  std::string name;
  ASSERT_TRUE(reader.read_text_record(name));
  ASSERT_TRUE(reader.read_text_record(name));
  std::array<std::int32_t, 1> one{};
  std::array<std::int32_t, 2> two{};
  std::array<double, 1> real{};
  std::int32_t flag = 0;
  ASSERT_TRUE(reader.read_integers(one));
  ASSERT_TRUE(reader.read_integers(two));
  ASSERT_TRUE(reader.read_reals(real));
  ASSERT_TRUE(reader.read_logical(flag));
  ASSERT_TRUE(reader.read_reals(real));
  ASSERT_TRUE(reader.read_reals(real));
  ASSERT_TRUE(reader.read_integers(one));
  EXPECT_EQ(one[0], -1);
  EXPECT_FALSE(reader.read_reals(real));
}

TEST(FreeFormReaderRecords, RejectsAValueTooLongToBeANumber) {
  double value = 0.0;
  EXPECT_TRUE(read_one_real("1." + std::string(1000, '0'), value));
  EXPECT_EQ(value, 1.0);
  EXPECT_FALSE(read_one_real("1." + std::string(5000, '0'), value));
}

TEST(FreeFormReaderText, TakesTheFirstCharactersOfALineBlankFilled) {
  const std::string long_line(85, 'n');
  std::istringstream in("  lead\n" + long_line + "\nshort\r\n" + std::string(80, 'c') + "\r\nlast");
  FreeFormReader reader(in);
  std::string text;
  ASSERT_TRUE(reader.read_text_record(text));
  EXPECT_EQ(text, "  lead" + std::string(74, ' '));
  ASSERT_TRUE(reader.read_text_record(text));
  EXPECT_EQ(text, std::string(80, 'n'));
  ASSERT_TRUE(reader.read_text_record(text));
  EXPECT_EQ(text, "short" + std::string(75, ' '));
  ASSERT_TRUE(reader.read_text_record(text));
  EXPECT_EQ(text, std::string(80, 'c'));
  ASSERT_TRUE(reader.read_text_record(text, 10));  // a last line without terminator
  EXPECT_EQ(text, "last      ");
  EXPECT_FALSE(reader.read_text_record(text));
}

TEST(FreeFormReaderText, KeepsACarriageReturnThatDoesNotEndTheLine) {
  std::istringstream in("a\rb\n\n");
  FreeFormReader reader(in);
  std::string text;
  ASSERT_TRUE(reader.read_text_record(text, 4));
  EXPECT_EQ(text, "a\rb ");
  ASSERT_TRUE(reader.read_text_record(text, 3));  // an empty line is a blank text
  EXPECT_EQ(text, "   ");
  EXPECT_FALSE(reader.read_text_record(text, 3));
}

TEST(FreeFormReaderText, ATextRecordThenValuesOnTheFollowingLines) {
  std::istringstream in("name with 1 2 3\n4\n");
  FreeFormReader reader(in);
  std::string text;
  ASSERT_TRUE(reader.read_text_record(text, 4));
  EXPECT_EQ(text, "name");
  std::array<std::int32_t, 1> value{};
  ASSERT_TRUE(reader.read_integers(value));
  EXPECT_EQ(value[0], 4);
}

TEST(ReadRealsFromText, ReadsAFieldOfThreeNumbers) {
  std::array<double, 3> values{};
  ASSERT_TRUE(read_reals_from_text("  5.12345  0.08123  2.76543        ", values));
  EXPECT_EQ(values[0], 5.12345);
  EXPECT_EQ(values[1], 0.08123);
  EXPECT_EQ(values[2], 2.76543);
  ASSERT_TRUE(read_reals_from_text("10,0.15 , 2.7D0 trailing words", values));
  EXPECT_EQ(values[0], 10.0);
  EXPECT_EQ(values[1], 0.15);
  EXPECT_EQ(values[2], 2.7);
}

TEST(ReadRealsFromText, TheEndOfTheTextEndsTheLastValue) {
  std::array<double, 2> values{};
  ASSERT_TRUE(read_reals_from_text("1 2.71", values));
  EXPECT_EQ(values[1], 2.71);
  EXPECT_FALSE(read_reals_from_text("1 2.7e", values));
}

TEST(ReadRealsFromText, FailsWithFewerValuesOrJunk) {
  std::array<double, 3> values{};
  for (const char* text : {"", "   ", "1 2", "1 2 x", "1 2 3x", "1,,2,3", ",1 2 3", "1 nan 3",
                           "1 2 1e999", "1\n2\n3"}) {
    EXPECT_FALSE(read_reals_from_text(text, values)) << text;
  }
  const std::string with_nul("1 2\0 3", 6);
  EXPECT_FALSE(read_reals_from_text(with_nul, values));
}

}  // namespace
}  // namespace pairtrack::detail::fortran
