// Whole runs of the pairtrack executable: the complete small run, each
// history encoding, the report lines and the pair file.
#include <gtest/gtest.h>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

constexpr const char* kHeader =
    " # t [Myr] & proba [10^-18 km^-2 yr^-1] mean & sigma & impvel [km/s] mean & sigma & n1 & "
    "n2 & n_proba & n_impvel";

// The complete small run: one catalogue orbit (a 2.7 AU, e 0.15, i 10 deg)
// and one frame with one body (a 2.6 AU, e 0.12, i 0.1396263 rad).
class SmallRun : public ::testing::Test {
 protected:
  void SetUp() override {
    write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
    write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 0.12, 0.1396263}}}});
  }
  ScratchDir dir;
  Params params;
};

TEST_F(SmallRun, WritesTheWholeReportInOrder) {
  const RunResult r = run_pairtrack(dir, params.text());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::string expected =
      " # n2_min =            1\n"
      " # n2_max =            1\n"
      " # q_crit =  0.0000000000000000  AU\n"
      " # p_crit =  0.0000000000000000\n"
      " # Input filename: " +
      name80("cat.txt") +
      "\n"
      " # n =            1\n"
      " # Binary input filename: " +
      name80("hist.bin") + "\n" + kHeader +
      "\n"
      "    1.0000000000     6.9084699662030298     0.0000000000000000     4.5403689144948647"
      "     0.0000000000000000        1        1        1        1\n"
      " # pairtrack: t_max =  1.0000000000000000  Myr\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_FALSE(r.pair_file);
}

TEST_F(SmallRun, FrameLineCarriesTheReferenceFigures) {
  const std::vector<std::string> lines = run_pairtrack(dir, params.text()).lines();
  ASSERT_EQ(lines.size(), 10u);
  const std::string& frame = lines[8];
  EXPECT_EQ(frame.size(), 144u);
  EXPECT_NEAR(std::stod(frame.substr(17, 22)), 6.90847, 5e-6);
  EXPECT_NEAR(std::stod(frame.substr(63, 22)), 4.54037, 5e-6);
  EXPECT_EQ(std::stod(frame.substr(40, 22)), 0.0);
  EXPECT_EQ(std::stod(frame.substr(86, 22)), 0.0);
}

TEST_F(SmallRun, EscapeVelocityFocusesTheImpacts) {
  params.v_esc = "5";
  const std::vector<std::string> lines = run_pairtrack(dir, params.text()).lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[8],
            "    1.0000000000    27.0034759477497062     0.0000000000000000     6.0238550883190269"
            "     0.0000000000000000        1        1        1        1");
  EXPECT_NEAR(std::stod(lines[8].substr(17, 22)), 27.0035, 5e-5);
  EXPECT_NEAR(std::stod(lines[8].substr(63, 22)), 6.02386, 5e-6);
}

TEST_F(SmallRun, PairFileListsTheBodyWithAnImpact) {
  params.write_pairs = "T";
  const RunResult r = run_pairtrack(dir, params.text());
  EXPECT_EQ(r.status, 0);
  ASSERT_TRUE(r.pair_file);
  EXPECT_EQ(r.pairs, "        1     1.0000000000     2.60000000 0.12000000    0.13963\n");
}

TEST(Encodings, TheThreeEncodingsReportTheSameFrames) {
  // Values exactly representable in float32 so codes 1 and 2 agree; code 0
  // quantises them, so only its counts and times are compared.
  const std::vector<Frame> frames = {
      {1.5e6, {{1, 2.5, 0.125, 0.25}, {2, 3.0, 0.25, 0.125}, {3, 2.25, 0.0625, 0.5}}},
      {2.5e6, {{1, 2.5, 0.125, 0.25}, {3, 2.75, 0.1875, 0.375}}},
  };
  std::vector<CatalogOrbit> catalog = {{10.0, 0.15, 2.7}, {5.0, 0.1, 2.4}, {20.0, 0.2, 3.1}};
  std::vector<std::vector<std::string>> reports;
  for (int code = 0; code <= 2; ++code) {
    ScratchDir dir;
    write_catalog(dir / "cat.txt", catalog);
    write_history(dir / "hist.bin", code, frames);
    Params p;
    p.format_code = std::to_string(code);
    p.n2_range = "1 10";
    const RunResult r = run_pairtrack(dir, p.text());
    EXPECT_EQ(r.status, 0) << code;
    reports.push_back(r.lines());
  }
  ASSERT_EQ(reports[1].size(), 11u);
  EXPECT_EQ(reports[1], reports[2]);
  ASSERT_EQ(reports[0].size(), 11u);
  for (int line : {8, 9}) {
    EXPECT_EQ(reports[0][line].substr(0, 16), reports[2][line].substr(0, 16));  // time
    EXPECT_EQ(reports[0][line].substr(108), reports[2][line].substr(108));      // counts
    // Quantised orbits give close but not identical probabilities.
    EXPECT_NEAR(std::stod(reports[0][line].substr(17, 22)),
                std::stod(reports[2][line].substr(17, 22)),
                0.05 * std::stod(reports[2][line].substr(17, 22)));
  }
  EXPECT_EQ(reports[0][10], reports[2][10]);
}

TEST(Report, CountsAndStatisticsOverSeveralBodies) {
  ScratchDir dir;
  // Catalogue: one orbit crossing the bodies, one far outside all of them.
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {1.0, 0.01, 40.0}});
  write_history(dir / "hist.bin", 2,
                {{3e6, {{5, 2.6, 0.12, 0.14}, {6, 2.8, 0.2, 0.3}, {7, 9.0, 0.01, 0.1}}}});
  Params p;
  p.n2_range = "1 3";
  p.write_pairs = "T";
  const RunResult r = run_pairtrack(dir, p.text());
  ASSERT_EQ(r.status, 0);
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 10u);
  // n1 = 2, n2 = 3, six pairs, two of them with an impact.
  EXPECT_EQ(lines[8].substr(108), "        2        3        6        2");
  // Bodies 5 and 6 meet the first orbit; body 7 meets nothing.
  EXPECT_EQ(r.pairs,
            "        5     3.0000000000     2.60000000 0.12000000    0.14000\n"
            "        6     3.0000000000     2.80000000 0.20000000    0.30000\n");
}

TEST(Report, TimesThatDoNotFitAreAsterisks) {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
  write_history(dir / "hist.bin", 2, {{123456.5, {{1, 2.6, 0.25, 0.1396263}}}});
  Params p;
  p.time_divisor = "1";
  p.write_pairs = "T";
  const RunResult r = run_pairtrack(dir, p.text());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.lines()[8].substr(0, 16), std::string(16, '*'));
  EXPECT_EQ(r.pairs, "        1 ****************     2.60000000 0.25000000    0.13963\n");
  EXPECT_EQ(r.lines()[9], " # pairtrack: t_max =  123456.50000000000  Myr");
}

}  // namespace
}  // namespace pairtrack::detail
