// testchar and skip: trailing-blank length and the comment-skipping reader.
#include "io/line_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace pairtrack::detail {
namespace {

std::int32_t len_of(std::string_view s) {
  std::int32_t len = -1;
  testchar(len, s);
  return len;
}

TEST(Testchar, GivesThePositionOfTheLastNonBlank) {
  EXPECT_EQ(len_of("abc     "), 3);
  EXPECT_EQ(len_of("        "), 0);
  EXPECT_EQ(len_of(" x"), 2);
  EXPECT_EQ(len_of(""), 0);
  EXPECT_EQ(len_of("a\t"), 2);  // a tab is not a blank
}

std::string next_after_skip(const std::string& content) {
  std::stringstream in(content);
  skip(in);
  std::string line;
  if (!std::getline(in, line)) return "<eof>";
  return line;
}

TEST(Skip, SkipsBlankAndCommentLinesToTheNextDataLine) {
  EXPECT_EQ(next_after_skip("\n/* a comment\n2.5 0.1 3\nnext\n"), "2.5 0.1 3");
  EXPECT_EQ(next_after_skip("   \n/*\n/*x\ndata"), "data");
}

TEST(Skip, StopsAtTheEndWhenOnlyBlankAndCommentLinesRemain) {
  std::stringstream in("\n  \n/* c\n");
  skip(in);
  std::string line;
  EXPECT_FALSE(std::getline(in, line));
  std::stringstream empty("");
  skip(empty);
  EXPECT_FALSE(std::getline(empty, line));
}

TEST(Skip, TheMarkerCountsOnlyInColumnsOneAndTwo) {
  EXPECT_EQ(next_after_skip(" /* not a comment\n"), " /* not a comment");
  EXPECT_EQ(next_after_skip("x /* y\n"), "x /* y");
  EXPECT_EQ(next_after_skip("\tdata\n"), "\tdata");
}

TEST(Skip, ALineBlankInItsFirst80ColumnsIsSkipped) {
  const std::string long_blank = std::string(80, ' ') + "tail beyond column 80";
  EXPECT_EQ(next_after_skip(long_blank + "\nreal\n"), "real");
}

TEST(Skip, ReturnsTheDataLineWholeEvenBeyondColumn80) {
  const std::string long_line = std::string(100, 'x') + "END";
  EXPECT_EQ(next_after_skip("\n" + long_line + "\n"), long_line);
}

TEST(Skip, LeavesThePositionUnchangedAtADataLine) {
  std::stringstream in("first\nsecond\n");
  skip(in);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "first");
  skip(in);
  std::getline(in, line);
  EXPECT_EQ(line, "second");
}

TEST(Skip, DataLineWithoutTerminatorAtTheEndIsReturned) {
  EXPECT_EQ(next_after_skip("/* c\nlast"), "last");
}

}  // namespace
}  // namespace pairtrack::detail
