// The pair sweep of a frame: the swept range, removals by perihelion with
// the random generator, bodies that meet nothing, and frames with no pairs.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

// The counts columns of a frame line: n1, n2, n_proba, n_impvel.
std::string counts(const std::string& frame_line) { return frame_line.substr(108); }

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override { write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {3.0, 0.1, 2.5}}); }
  RunResult run() { return run_pairtrack(dir, p.text()); }
  ScratchDir dir;
  Params p;
};

// Bodies with perihelia 2.6 * (1 - 0.3) = 1.82 AU (below a q_crit of 2).
std::vector<Body> low_perihelion_bodies(int n) {
  std::vector<Body> v;
  for (int i = 1; i <= n; ++i) v.push_back({i, 2.6, 0.3, 0.1 * i});
  return v;
}

TEST_F(Sweep, CertainRemovalTakesBodiesOutFromTheNextFrame) {
  write_history(dir / "hist.bin", 2,
                {{1e6, low_perihelion_bodies(3)}, {2e6, low_perihelion_bodies(3)}});
  p.n2_range = "1 3";
  p.q_crit = "2";
  p.p_crit = "1";
  const std::vector<std::string> lines = run().lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(counts(lines[8]), "        2        3        6        6");
  // All removed: the frame line is still written, with statistics of no values.
  EXPECT_EQ(lines[9],
            "    2.0000000000     0.0000000000000000     0.0000000000000000     0.0000000000000000"
            "     0.0000000000000000        2        3        0        0");
}

TEST_F(Sweep, ZeroRemovalProbabilityDrawsButRemovesNothing) {
  write_history(dir / "hist.bin", 2,
                {{1e6, low_perihelion_bodies(3)}, {2e6, low_perihelion_bodies(3)}});
  p.n2_range = "1 3";
  p.q_crit = "2";
  p.p_crit = "0";
  const std::vector<std::string> lines = run().lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(counts(lines[9]), "        2        3        6        6");
}

TEST_F(Sweep, DrawsFollowTheGeneratorInPositionOrder) {
  // Seed -1 draws 0.4159993566572666, 0.09196489071473479, 0.75641048559919:
  // with p_crit 0.5 bodies 1 and 2 are removed and body 3 stays. In the
  // second frame bodies 1 and 2 are skipped without a draw, and body 3 gets
  // the fourth number.
  write_history(dir / "hist.bin", 2,
                {{1e6, low_perihelion_bodies(3)}, {2e6, low_perihelion_bodies(3)}});
  p.n2_range = "1 3";
  p.q_crit = "2";
  p.p_crit = "0.5";
  const std::vector<std::string> lines = run().lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(counts(lines[8]), "        2        3        6        6");
  EXPECT_EQ(counts(lines[9]), "        2        3        2        2");
  // Same run with p_crit just below the first draw: body 1 stays.
  p.p_crit = "0.41";
  const std::vector<std::string> second = run().lines();
  EXPECT_EQ(counts(second[9]), "        2        3        4        4");
}

TEST_F(Sweep, RemovalHoldsForALaterPositionWithTheSameIdentifierInTheSameFrame) {
  write_history(dir / "hist.bin", 2,
                {{1e6, {{4, 2.6, 0.3, 0.1}, {5, 2.6, 0.1, 0.1}, {4, 2.6, 0.3, 0.2}}}});
  p.n2_range = "1 3";
  p.q_crit = "2";
  p.p_crit = "1";
  EXPECT_EQ(counts(run().lines()[8]), "        2        3        4        4");
}

TEST_F(Sweep, PerihelionExactlyAtTheThresholdIsNotTested) {
  // q = 2.5 * (1 - 0.2) = 2.0 exactly (after the round trip through cm).
  write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.5, 0.2, 0.1}}}, {2e6, {{1, 2.5, 0.2, 0.1}}}});
  const double q = (2.5 * 1.4959787e13 / 1.4959787e13) * (1.0 - 0.2);
  p.q_crit = std::to_string(q);
  ASSERT_EQ(std::stod(p.q_crit), q);
  p.p_crit = "1";
  EXPECT_EQ(counts(run().lines()[9]), "        2        1        2        2");
}

TEST_F(Sweep, ZeroThresholdNeverDraws) {
  // With q_crit = 0 no bound orbit is tested: the generator is never used,
  // so p_crit = 1 removes nothing.
  write_history(dir / "hist.bin", 2,
                {{1e6, low_perihelion_bodies(2)}, {2e6, low_perihelion_bodies(2)}});
  p.n2_range = "1 2";
  p.q_crit = "0";
  p.p_crit = "1";
  EXPECT_EQ(counts(run().lines()[9]), "        2        2        4        4");
}

TEST_F(Sweep, RangeBeyondTheFrameStopsAtItsLastBody) {
  write_history(dir / "hist.bin", 2, {{1e6, low_perihelion_bodies(3)}});
  p.n2_range = "2 1000";
  EXPECT_EQ(counts(run().lines()[8]), "        2        3        4        4");
}

TEST_F(Sweep, RangeStartingPastTheFrameEvaluatesNothingAndDrawsNothing) {
  write_history(dir / "hist.bin", 2,
                {{1e6, low_perihelion_bodies(3)}, {2e6, low_perihelion_bodies(3)}});
  p.n2_range = "4 10";
  p.q_crit = "2";
  p.p_crit = "1";
  const std::vector<std::string> lines = run().lines();
  EXPECT_EQ(counts(lines[8]), "        2        3        0        0");
  // No draw and no removal in frame 1: frame 2 with range 1..3 would show it.
  EXPECT_EQ(counts(lines[9]), "        2        3        0        0");
}

TEST_F(Sweep, BodyMeetingNothingHasNoPairLineButCountsItsPairs) {
  write_history(dir / "hist.bin", 2, {{1e6, {{1, 40.0, 0.05, 0.1}, {2, 2.6, 0.12, 0.1}}}});
  p.n2_range = "1 2";
  p.write_pairs = "T";
  const RunResult r = run();
  EXPECT_EQ(counts(r.lines()[8]), "        2        2        4        2");
  EXPECT_EQ(r.pairs, "        2     1.0000000000     2.60000000 0.12000000    0.10000\n");
}

TEST_F(Sweep, PairFileLinesFollowPositionOrderFrameByFrame) {
  write_history(dir / "hist.bin", 2,
                {{1e6, {{9, 2.6, 0.12, 0.1}, {3, 2.7, 0.25, 0.2}}}, {2e6, {{3, 2.7, 0.25, 0.2}}}});
  p.n2_range = "1 2";
  p.write_pairs = "T";
  EXPECT_EQ(run().pairs,
            "        9     1.0000000000     2.60000000 0.12000000    0.10000\n"
            "        3     1.0000000000     2.70000000 0.25000000    0.20000\n"
            "        3     2.0000000000     2.70000000 0.25000000    0.20000\n");
}

TEST_F(Sweep, StatisticsAreTheMeanAndDeviationOfAllStoredPairs) {
  // Two pairs per body; one orbit pair disjoint (probability 0 and speed 0)
  // enters the mean and the deviation too.
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {1.0, 0.01, 40.0}});
  write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 0.12, 0.1396263}}}});
  const std::vector<std::string> lines = run().lines();
  const double mean = std::stod(lines[8].substr(17, 22));
  const double sigma = std::stod(lines[8].substr(40, 22));
  const double p1 = 6.9084699662030298;
  EXPECT_NEAR(mean, p1 / 2, 1e-12);
  EXPECT_NEAR(sigma, std::sqrt(p1 * p1 / 2), 1e-12);
  // The weighted impact speed ignores the zero-probability pair.
  EXPECT_NEAR(std::stod(lines[8].substr(63, 22)), 4.5403689144948647, 1e-12);
  EXPECT_EQ(counts(lines[8]), "        2        1        2        1");
}

}  // namespace
}  // namespace pairtrack::detail
