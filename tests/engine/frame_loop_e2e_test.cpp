// The frame walk: end of data, truncated frames, header counts, the pair
// capacity, file errors and the refusals of frames the arrays cannot hold.
#include <gtest/gtest.h>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override { write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}}); }
  RunResult run() { return run_pairtrack(dir, p.text()); }
  ScratchDir dir;
  Params p;
};

const Body kBody{1, 2.6, 0.12, 0.1396263};

TEST_F(FrameLoop, EmptyHistoryReportsNoFrameAndTimeZero) {
  write_text(dir / "hist.bin", "");
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines().size(), 9u);
  EXPECT_EQ(r.lines().back(), " # pairtrack: t_max =  0.0000000000000000  Myr");
}

TEST_F(FrameLoop, EveryCompleteFrameIsReportedAndTheLastTimeCloses) {
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}, {2e6, {kBody}}, {3.5e6, {kBody}}});
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[8].substr(0, 16), "    1.0000000000");
  EXPECT_EQ(lines[9].substr(0, 16), "    2.0000000000");
  EXPECT_EQ(lines[10].substr(0, 16), "    3.5000000000");
  EXPECT_EQ(lines[11], " # pairtrack: t_max =  3.5000000000000000  Myr");
}

// Writes one complete frame at time 1e6, then a frame at 2e6 whose records
// stop after `bodies_written` of its five bodies (or right after its header).
void write_truncated(const fs::path& path, int bodies_written) {
  HistoryWriter w;
  ASSERT_TRUE(w.open(path.string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 1e6, 1, 1));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1, 2.6, 0.12, 0.1396263, 0, 0, 0));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 2e6, 1, 5));
  for (int i = 0; i < bodies_written; ++i) {
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 2 + i, 2.6, 0.12, 0.1396263, 0, 0, 0));
  }
  ASSERT_TRUE(w.close());
}

TEST_F(FrameLoop, FrameCutShortIsDroppedButItsTimeCounts) {
  write_truncated(dir / "hist.bin", 3);
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[8].substr(0, 16), "    1.0000000000");
  EXPECT_EQ(lines[9], " # pairtrack: t_max =  2.0000000000000000  Myr");
}

TEST_F(FrameLoop, HistoryEndingAfterAHeaderClosesWithThePreviousTime) {
  write_truncated(dir / "hist.bin", 0);
  const RunResult r = run();
  EXPECT_EQ(r.lines().back(), " # pairtrack: t_max =  1.0000000000000000  Myr");
  EXPECT_EQ(r.lines().size(), 10u);
}

TEST_F(FrameLoop, RecordCutInsideItsPayloadEndsTheData) {
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}, {2e6, {kBody, kBody}}});
  const auto size = fs::file_size(dir / "hist.bin");
  fs::resize_file(dir / "hist.bin", size - 20);  // inside the last body record
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines().size(), 10u);
  EXPECT_EQ(r.lines().back(), " # pairtrack: t_max =  2.0000000000000000  Myr");
}

TEST_F(FrameLoop, HeaderCountsSelectTheRecords) {
  // nrec1 = 1, nrec2 = 3: three records; nrec1 = 5, nrec2 = 0: four
  // records; nrec1 = 0, nrec2 = 0 ends the run even though a frame follows.
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "hist.bin").string()));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 1e6, 1, 3));
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1 + i, 2.6, 0.12, 0.14, 0, 0, 0));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 2e6, 5, 0));
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1 + i, 2.6, 0.12, 0.14, 0, 0, 0));
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 2.5e6, -4,
                       -7));  // negative counts: no records, end of data
  ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 3e6, 1, 1));
  ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1, 2.6, 0.12, 0.14, 0, 0, 0));
  ASSERT_TRUE(w.close());
  p.n2_range = "1 100";
  const RunResult r = run();
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[8].substr(108), "        1        3        3        3");
  EXPECT_EQ(lines[9].substr(108), "        1        4        4        4");
  EXPECT_EQ(lines[10], " # pairtrack: t_max =  2.0000000000000000  Myr");
}

TEST_F(FrameLoop, TimeDivisorScalesTheReportedTime) {
  write_history(dir / "hist.bin", 2, {{2.5e6, {kBody}}});
  p.time_divisor = "1e6";
  EXPECT_EQ(run().lines()[8].substr(0, 16), "    2.5000000000");
  p.time_divisor = "-2";
  const RunResult r = run();
  EXPECT_EQ(r.lines()[8].substr(0, 16), std::string(16, '*'));  // -1250000 does not fit f16.10
  EXPECT_EQ(r.lines().back(), " # pairtrack: t_max =  -1250000.0000000000  Myr");
}

TEST_F(FrameLoop, MissingHistoryFileIsAnErrorAfterTheHeaderLines) {
  p.history = "no_such_file.bin";
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[6], " # Binary input filename: " + name80("no_such_file.bin"));
  EXPECT_EQ(lines[7].substr(0, 10), " # t [Myr]");
  EXPECT_EQ(lines[8], " pairtrack: Error opening file " + name80("no_such_file.bin"));
}

TEST_F(FrameLoop, HistoryNameThatIsADirectoryCannotBeOpened) {
  fs::create_directory(dir / "adir");
  p.history = "adir";
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines().back(), " pairtrack: Error opening file " + name80("adir"));
}

TEST_F(FrameLoop, MissingCatalogueEndsTheRunWithTwoLines) {
  p.catalog = "nothing.cat";
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4], " # Input filename: " + name80("nothing.cat"));
  EXPECT_EQ(lines[5], " Error reading file " + name80("nothing.cat"));
}

TEST_F(FrameLoop, PairFileIsNotCreatedWhenNotAsked) {
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}});
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.pair_file);
}

TEST_F(FrameLoop, PairFileIsOverwritten) {
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}});
  write_text(dir / "hitrate_pairtrack_q.tmp", "old content that must go\n");
  p.write_pairs = "T";
  const RunResult r = run();
  EXPECT_EQ(r.pairs, "        1     1.0000000000     2.60000000 0.12000000    0.13963\n");
}

TEST_F(FrameLoop, PairFileThatCannotBeOpenedIsAnError) {
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}});
  fs::create_directory(dir / "hitrate_pairtrack_q.tmp");
  p.write_pairs = "T";
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines().back(),
            " pairtrack: Error opening file " + name80("hitrate_pairtrack_q.tmp"));
  EXPECT_EQ(r.lines().size(), 9u);
}

TEST_F(FrameLoop, FrameOfMoreThanThirtyThousandBodiesIsRefused) {
  std::vector<Body> bodies(30001, Body{1, 9.0, 0.01, 0.1});
  write_history(dir / "hist.bin", 2, {{1e6, {kBody}}, {2e6, bodies}});
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[8].substr(0, 16), "    1.0000000000");
  EXPECT_EQ(lines[9], " pairtrack: frame holds more than       30000 bodies");
}

TEST_F(FrameLoop, FrameOfExactlyThirtyThousandBodiesIsFine) {
  std::vector<Body> bodies(30000, Body{1, 9.0, 0.01, 0.1});
  write_history(dir / "hist.bin", 2, {{1e6, bodies}});
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[8].substr(108), "        1    30000        1        0");
}

TEST_F(FrameLoop, IdentifierOutsideTheFlagsIsRefusedWhereTheSweepVisits) {
  write_history(dir / "hist.bin", 2,
                {{1e6, {kBody}}, {2e6, {{-3, 9.0, 0.01, 0.1}, {2, 2.6, 0.1, 0.1}}}});
  p.n2_range = "1 2";
  const RunResult r = run();
  EXPECT_EQ(r.status, 1);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[9], " pairtrack: body identifier          -3 outside 1 to       30000");
}

TEST_F(FrameLoop, IdentifiersOutsideTheSweptRangeAreFine) {
  write_history(dir / "hist.bin", 2,
                {{1e6, {{-3, 9.0, 0.01, 0.1}, {30001, 9.0, 0.01, 0.1}, kBody, {0, 1, 0.1, 0.1}}}});
  p.n2_range = "3 3";
  const RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[8].substr(108), "        1        4        1        1");
  p.n2_range = "2 3";
  const RunResult s = run();
  EXPECT_EQ(s.status, 1);
  EXPECT_EQ(s.lines().back(), " pairtrack: body identifier       30001 outside 1 to       30000");
}

// Capacity: 30000 catalogue orbits. Bodies far outside every catalogue orbit
// keep the accepted case cheap (every pair is disjoint).
class Capacity : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<CatalogOrbit> catalog(30000, CatalogOrbit{10.0, 0.1, 2.5});
    write_catalog(dir / "cat.txt", catalog);
    std::vector<Body> bodies;
    for (int i = 1; i <= 500; ++i) bodies.push_back({i, 50.0, 0.01, 0.1});
    write_history(dir / "hist.bin", 2, {{1e6, bodies}});
  }
  ScratchDir dir;
  Params p;
};

TEST_F(Capacity, NineMillionNineHundredNinetyThousandPairsFit) {
  p.n2_range = "1 333";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.lines().size(), 10u);
  EXPECT_EQ(r.lines()[8].substr(108), "    30000      500  9990000        0");
}

TEST_F(Capacity, TenMillionTwentyThousandPairsAreRefused) {
  p.n2_range = "1 334";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.lines().size(), 9u);
  EXPECT_EQ(r.lines()[8],
            " Error: number of orbit pairs     10020000  larger than proba_max =     10000000");
}

TEST_F(Capacity, EmptyRangePassesTheCheck) {
  p.n2_range = "600 1000";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[8].substr(108), "    30000      500        0        0");
}

}  // namespace
}  // namespace pairtrack::detail
