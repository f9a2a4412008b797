// The ten parameter records as the program reads, echoes and refuses them.
#include <gtest/gtest.h>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const std::string kReadError = " Error reading standard input.\n";

class Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
    write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 0.12, 0.1396263}}}});
  }
  RunResult run(const std::string& input) { return run_pairtrack(dir, input); }
  ScratchDir dir;
  Params p;
};

TEST_F(Parameters, EmptyInputWritesOnlyTheReadError) {
  const RunResult r = run("");
  EXPECT_EQ(r.out, kReadError);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "pairtrack: error: standard input ended before record 1 (catalogue file name) was "
            "complete: ten records are expected, one per line\n");
}

TEST_F(Parameters, NineRecordsAreNotEnough) {
  std::string text = p.text();
  text = text.substr(0, text.size() - 2);  // drop the tenth record "0\n"
  const RunResult r = run(text);
  EXPECT_EQ(r.out, kReadError);
  EXPECT_EQ(r.status, 1);
}

TEST_F(Parameters, UnreadableValuesEndTheRunBeforeAnyEcho) {
  for (auto [field, value] : std::vector<std::pair<std::string Params::*, std::string>>{
           {&Params::format_code, "two"},
           {&Params::format_code, "2.0"},  // a real where an integer is due
           {&Params::n2_range, "1 x"},
           {&Params::time_divisor, "1e999"},
           {&Params::time_divisor, "nan"},
           {&Params::write_pairs, "yes"},
           {&Params::iseed, "-1.5"},
           {&Params::iseed, "99999999999"},
           {&Params::v_esc, "5km/s"}}) {
    Params q = p;
    q.*field = value;
    const RunResult r = run(q.text());
    EXPECT_EQ(r.out, kReadError) << value;
    EXPECT_EQ(r.status, 1) << value;
  }
}

TEST_F(Parameters, EchoesTheRangeAndThresholds) {
  p.n2_range = "5, 40";
  p.q_crit = "1.5";
  p.p_crit = "0.1";
  const std::vector<std::string> lines = run(p.text()).lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], " # n2_min =            5");
  EXPECT_EQ(lines[1], " # n2_max =           40");
  EXPECT_EQ(lines[2], " # q_crit =  1.5000000000000000  AU");
  EXPECT_EQ(lines[3], " # p_crit =  0.10000000000000001");
}

TEST_F(Parameters, RangeMayContinueOnTheNextLine) {
  p.n2_range = "5\n\n40";
  const std::vector<std::string> lines = run(p.text()).lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], " # n2_min =            5");
  EXPECT_EQ(lines[1], " # n2_max =           40");
}

TEST_F(Parameters, ExtraValuesOnARecordLineAreIgnored) {
  p.format_code = "0 7";  // 7 is not read as n2_min
  p.n2_range = "3 4 99";
  const std::vector<std::string> lines = run(p.text()).lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], " # n2_min =            3");
  EXPECT_EQ(lines[1], " # n2_max =            4");
}

TEST_F(Parameters, LogicalFormsSwitchThePairFile) {
  for (const char* on : {"T", ".true.", "t", ".T"}) {
    p.write_pairs = on;
    std::filesystem::remove(dir / "hitrate_pairtrack_q.tmp");
    const RunResult r = run(p.text());
    EXPECT_EQ(r.status, 0) << on;
    EXPECT_TRUE(r.pair_file) << on;
  }
  for (const char* off : {"F", ".false.", "f"}) {
    p.write_pairs = off;
    std::filesystem::remove(dir / "hitrate_pairtrack_q.tmp");
    const RunResult r = run(p.text());
    EXPECT_EQ(r.status, 0) << off;
    EXPECT_FALSE(r.pair_file) << off;
  }
}

TEST_F(Parameters, RealFormsAreAccepted) {
  for (const char* divisor : {"1e6", "1.d6", "1000000", "1000000.", "1D+6", "+1e6", "1E6"}) {
    p.time_divisor = divisor;
    const RunResult r = run(p.text());
    ASSERT_EQ(r.status, 0) << divisor;
    EXPECT_EQ(r.lines()[8].substr(0, 16), "    1.0000000000") << divisor;
  }
}

TEST_F(Parameters, UnknownFormatCodeStopsAfterTheEcho) {
  p.format_code = "3";
  p.catalog = "missing_catalog.txt";  // never opened
  const RunResult r = run(p.text());
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], " pairtrack: Unknown binary file format specified.");
}

TEST_F(Parameters, LongHistoryNameIsCutToEightyCharacters) {
  const std::string name80chars = std::string(72, 'h') + "hist.bin";  // 80 characters
  std::filesystem::rename(dir / "hist.bin", dir / name80chars);
  p.history = name80chars + "XXXXX";  // 85 characters
  const RunResult r = run(p.text());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[6], " # Binary input filename: " + name80chars);
  EXPECT_EQ(r.lines().size(), 10u);
}

TEST_F(Parameters, NamesKeepLeadingBlanksAndDropTrailingOnes) {
  p.catalog = "cat.txt      ";
  const RunResult r = run(p.text());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[4], " # Input filename: " + name80("cat.txt"));
  p.catalog = " cat.txt";
  const RunResult s = run(p.text());
  EXPECT_EQ(s.status, 1);
  EXPECT_EQ(s.lines()[5], " Error reading file " + name80(" cat.txt"));
}

TEST_F(Parameters, CrlfLineEndsReadLikePlainOnes) {
  std::string text = p.text();
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const RunResult r = run(crlf);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines().size(), 10u);
}

TEST_F(Parameters, NMinBelowOneIsRefused) {
  for (const char* range : {"0 5", "-3 5"}) {
    p.n2_range = range;
    const RunResult r = run(p.text());
    EXPECT_EQ(r.status, 1) << range;
    const std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], " pairtrack: n2_min must be at least 1.");
  }
}

TEST_F(Parameters, ZeroTimeDivisorIsRefused) {
  for (const char* divisor : {"0", "0.0", "-0"}) {
    p.time_divisor = divisor;
    const RunResult r = run(p.text());
    EXPECT_EQ(r.status, 1) << divisor;
    ASSERT_EQ(r.lines().size(), 5u);
    EXPECT_EQ(r.lines()[4], " pairtrack: time_divisor must not be zero.");
  }
}

TEST_F(Parameters, FormatCodeIsCheckedBeforeTheOtherRefusals) {
  p.format_code = "-1";
  p.n2_range = "0 0";
  p.time_divisor = "0";
  const RunResult r = run(p.text());
  EXPECT_EQ(r.lines().back(), " pairtrack: Unknown binary file format specified.");
  p.format_code = "1";
  EXPECT_EQ(run(p.text()).lines().back(), " pairtrack: n2_min must be at least 1.");
}

}  // namespace
}  // namespace pairtrack::detail
