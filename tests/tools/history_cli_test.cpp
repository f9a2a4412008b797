// The command line of pairtrack-history and the parsers behind it: usage, every refusal of
// bad arguments, selections and the text form's line syntax.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "history_text.h"
#include "history_tool_fixture.h"
#include "selection.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;
using history_tool::parse_id_list;
using history_tool::parse_range;

TEST(HistoryCli, HelpAndVersionGoToStandardOutput) {
  for (const char* flag : {"--help", "-h"}) {
    const ToolResult r = run_tool({"dump", flag});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: pairtrack-history dump", 0), 0u);
    EXPECT_EQ(r.err, "");
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--version"}, {"info", "--version"}}) {
    const ToolResult v = run_tool(args);
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "pairtrack-history " PAIRTRACK_VERSION "\n");
  }
}

TEST(HistoryCli, BadArgumentsGetOneErrorLineAndStatusOne) {
  const std::string examples = std::string(PAIRTRACK_SOURCE_DIR) + "/examples/history_f8.bin";
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "no command given"},
      {{"show", examples}, "unknown command 'show'"},
      {{"info", "--frames", "1", examples}, "unknown option '--frames' for info"},
      {{"dump", "--colour", examples}, "unknown option '--colour' for dump"},
      {{"dump", "-x", examples}, "unknown option '-x' for dump"},
      {{"--colour"}, "unknown option '--colour': give a command first"},
      {{"dump", examples, "--format"}, "option --format needs a value"},
      {{"dump", "--format", "3", examples}, "--format must be 0, 1 or 2, not '3'"},
      {{"dump", "--frames", "5:2", examples}, "--frames takes A:B"},
      {{"dump", "--frames", "0", examples}, "--frames takes A:B"},
      {{"dump", "--positions", "x", examples}, "--positions takes A:B"},
      {{"dump", "--ids", "1,,2", examples}, "--ids takes identifiers separated by commas"},
      {{"dump", "--ids", "1", "--positions", "1:2", examples},
       "--ids and --positions exclude each other"},
      {{"dump"}, "dump takes one history file, 0 given"},
      {{"info", examples, examples}, "info takes one history file, 2 given"},
      {{"convert", "a.txt", "b.bin"}, "convert needs --format 0, 1 or 2"},
      {{"convert", "--format", "1", "a.txt"},
       "convert takes a text file and an output file, 1 given"},
  };
  for (const auto& c : cases) {
    const ToolResult r = run_tool(c.args);
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_EQ(r.out, "") << c.message;
    EXPECT_EQ(r.err.rfind("pairtrack-history: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
  }
}

TEST(HistoryCli, TheExecutableExitsWithTheCommandsStatus) {
  const std::string exe = PAIRTRACK_HISTORY_EXE;
  ScratchDir dir;
  const std::string ok = "'" + exe +
                         "' info '" PAIRTRACK_SOURCE_DIR "/examples/history_i2.bin' > '" +
                         (dir / "out.txt").string() + "'";
  EXPECT_EQ(WEXITSTATUS(std::system(ok.c_str())), 0);
  EXPECT_NE(read_file(dir / "out.txt").find("frames: 6 complete"), std::string::npos);
  const std::string bad = "'" + exe + "' info '" + (dir / "none.bin").string() + "' 2> '" +
                          (dir / "err.txt").string() + "'";
  EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 1);
  EXPECT_NE(read_file(dir / "err.txt").find("cannot open"), std::string::npos);
}

TEST(HistorySelection, RangesAreOneBasedAndInclusive) {
  const auto r = parse_range("2:5");
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->contains(1));
  EXPECT_TRUE(r->contains(2));
  EXPECT_TRUE(r->contains(5));
  EXPECT_FALSE(r->contains(6));
  EXPECT_TRUE(parse_range("3")->contains(3));
  EXPECT_FALSE(parse_range("3")->contains(4));
  EXPECT_TRUE(parse_range("4:")->contains(1000000));
  EXPECT_TRUE(parse_range(":4")->contains(1));
  for (const char* bad : {"", ":", "0:3", "5:2", "a", "1:b", "1:2:3", "-1", " 1"}) {
    EXPECT_FALSE(parse_range(bad)) << bad;
  }
}

TEST(HistorySelection, IdListsAreSixteenBitIntegers) {
  EXPECT_EQ(*parse_id_list("9,1,-7"), (std::vector<std::int32_t>{-7, 1, 9}));
  EXPECT_EQ(*parse_id_list("+3"), (std::vector<std::int32_t>{3}));
  for (const char* bad : {"", "1,", ",1", "1,,2", "1.5", "x", "32768", "-32769"}) {
    EXPECT_FALSE(parse_id_list(bad)) << bad;
  }
}

TEST(HistoryText, RealsCarrySeventeenSignificantDigits) {
  EXPECT_EQ(history_tool::format_real(0.1), "0.10000000000000001");
  EXPECT_EQ(history_tool::format_real(1250000.0), "1250000");
  EXPECT_EQ(history_tool::format_real(1e-7), "9.9999999999999995e-08");
  EXPECT_EQ(history_tool::header_line({1.5, 1, 40}), "frame 1.5 1 40\n");
  EXPECT_EQ(history_tool::body_line({-3, 2.5, 0.25, 0, 0.5, 1, 2}), "body -3 2.5 0.25 0 0.5 1 2\n");
}

TEST(HistoryText, LinesParseBackToTheSameValues) {
  history_tool::TextLine t;
  std::string error;
  ASSERT_TRUE(
      history_tool::parse_text_line("body 7 0.10000000000000001 1e-300 -0 inf -inf 2", t, error));
  EXPECT_EQ(t.kind, history_tool::TextLine::Kind::body);
  EXPECT_EQ(t.body.id, 7);
  EXPECT_EQ(t.body.a, 0.1);
  EXPECT_EQ(t.body.e, 1e-300);
  EXPECT_TRUE(std::signbit(t.body.inc));
  EXPECT_TRUE(std::isinf(t.body.angle5));
  ASSERT_TRUE(history_tool::parse_text_line("\tframe  -2.5\t1 -1\r", t, error));
  EXPECT_EQ(t.kind, history_tool::TextLine::Kind::header);
  EXPECT_EQ(t.header.time, -2.5);
  EXPECT_EQ(t.header.nrec2, -1);
  ASSERT_TRUE(history_tool::parse_text_line("   # body 1 2 3", t, error));
  EXPECT_EQ(t.kind, history_tool::TextLine::Kind::comment);
  EXPECT_FALSE(history_tool::parse_text_line("frame 1 2 3 4", t, error));
  EXPECT_FALSE(history_tool::parse_text_line("frame 1x 2 3", t, error));
  EXPECT_FALSE(history_tool::parse_text_line("frame 1 2 99999999999", t, error));
}

}  // namespace
}  // namespace pairtrack::detail
