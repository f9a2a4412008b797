// --speed-histogram end to end on the bundled example: each frame's weights add up to its total
// P_i and centre on its collision-weighted mean impact speed, the bodies' rows add up to the
// frame's, the file does not depend on the thread count and leaves the other outputs as they
// were, and bad bin layouts are refused before anything is read.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

class Speeds : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
    input = read_file(kExamples / "example.in");
  }
  RunResult run(const std::string& args, const std::string& env = "") {
    return run_pairtrack(dir, input, env, "--bodies bodies.csv --frames frames.csv " + args);
  }
  ScratchDir dir;
  std::string input;
};

// The unfocused and the focused classic rule, and the accurate integration.
struct WeightsCase {
  const char* name;
  const char* v_esc;
  const char* args;
};

class SpeedWeights : public Speeds, public ::testing::WithParamInterface<WeightsCase> {};

TEST_P(SpeedWeights, AddUpToTheFrameTotalAndCentreOnTheCollisionWeightedMean) {
  const WeightsCase& run_case = GetParam();
  input.replace(input.rfind('\n', input.size() - 2) + 1, std::string::npos,
                std::string(run_case.v_esc) + "\n");
  const RunResult r =
      run(std::string("--speed-histogram speeds.csv --speed-bins 0:30:0.1 ") + run_case.args);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Row> frames = read_csv(dir / "frames.csv");
  const std::vector<Row> bodies = read_csv(dir / "bodies.csv");
  const std::vector<Row> speeds = read_csv(dir / "speeds.csv");
  ASSERT_EQ(frames.size(), 6u);
  // Per frame: the bodies' P_i total, the frame rows' weights and the bodies' rows' weights.
  struct Sums {
    long double p_bodies = 0, imp = 0, enc = 0, imp_v = 0, body_imp = 0;
    int frame_rows = 0;
  };
  std::map<std::string, Sums> by_frame;
  for (const Row& b : bodies) by_frame[b.at("frame")].p_bodies += num(b, "p_sum_1e-18_km-2_yr-1");
  for (const Row& s : speeds) {
    Sums& f = by_frame[s.at("frame")];
    const double imp = num(s, "p_impact_1e-18_km-2_yr-1");
    if (s.at("id") != "0") {
      f.body_imp += imp;
      EXPECT_TRUE(imp != 0.0 || num(s, "p_encounter_1e-18_km-2_yr-1") != 0.0);
      continue;
    }
    ++f.frame_rows;
    f.imp += imp;
    f.enc += num(s, "p_encounter_1e-18_km-2_yr-1");
    const double lo = num(s, "speed_min_km_s"), hi = num(s, "speed_max_km_s");
    if (std::isfinite(lo) && std::isfinite(hi)) {
      f.imp_v += imp * 0.5 * (lo + hi);
    } else {
      EXPECT_EQ(imp, 0.0) << "impact speed outside 0-30 km/s in the example";
    }
  }
  for (const Row& fr : frames) {
    const Sums& f = by_frame[fr.at("frame")];
    const long double total = f.p_bodies;
    EXPECT_EQ(f.frame_rows, 302);  // 300 bins, underflow and overflow
    EXPECT_NEAR(static_cast<double>(f.imp / total), 1.0, 1e-12) << fr.at("frame");
    EXPECT_NEAR(static_cast<double>(f.enc / total), 1.0, 1e-12) << fr.at("frame");
    EXPECT_NEAR(static_cast<double>(f.body_imp / total), 1.0, 1e-12) << fr.at("frame");
    const double mean = num(fr, "v_imp_cw_mean_km_s");
    EXPECT_NEAR(static_cast<double>(f.imp_v / f.imp), mean, 0.1) << fr.at("frame");
    EXPECT_NEAR(mean, num(fr, "impvel_mean_km_s"), 1e-12 * mean);  // one mean, two sums
    const double rms = num(fr, "v_imp_cw_rms_km_s"), sd = num(fr, "v_imp_cw_sd_km_s");
    EXPECT_NEAR(sd * sd, rms * rms - mean * mean, 1e-9 * rms * rms);
    // The pairs' own spreads add to the spread of their means.
    EXPECT_GT(sd, num(fr, "impvel_sigma_km_s"));
  }
}

INSTANTIATE_TEST_SUITE_P(Speeds, SpeedWeights,
                         ::testing::Values(WeightsCase{"Unfocused", "0", ""},
                                           WeightsCase{"Focused", "3.5", ""},
                                           WeightsCase{"Accurate", "3.5", "--accuracy 1e-4"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Speeds, FileIsTheSameForOneTwoAndThreeThreadsAndOtherOutputsAreUnchanged) {
  const RunResult plain = run("");
  ASSERT_EQ(plain.status, 0);
  const std::string bodies = read_file(dir / "bodies.csv");
  std::string frames_plain = read_file(dir / "frames.csv");
  std::string first;
  for (const char* threads : {"1", "2", "3"}) {
    const RunResult r =
        run("--speed-histogram speeds.csv", std::string("OMP_NUM_THREADS=") + threads);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.err, plain.err);
    EXPECT_EQ(r.pairs, plain.pairs);
    EXPECT_EQ(read_file(dir / "bodies.csv"), bodies);
    if (first.empty()) first = read_file(dir / "speeds.csv");
    EXPECT_EQ(read_file(dir / "speeds.csv"), first) << threads;
  }
  // The frame table differs only in the three moments, empty without the histograms.
  std::string frames = read_file(dir / "frames.csv");
  const std::vector<Row> with = read_csv(dir / "frames.csv");
  EXPECT_NE(with[0].at("v_imp_cw_sd_km_s"), "");
  EXPECT_NE(frames_plain.find(",,,\n"), std::string::npos);
  EXPECT_EQ(first.substr(0, first.find('\n')),
            "frame,t_myr,position,id,speed_min_km_s,speed_max_km_s,p_impact_1e-18_km-2_yr-1,"
            "p_encounter_1e-18_km-2_yr-1");
  EXPECT_NE(first.find("\n1,0,0,0,-inf,0,0,0\n"), std::string::npos);
  EXPECT_NE(first.find(",40,inf,0,0\n"), std::string::npos);
}

TEST_F(Speeds, BadSpeedOptionsAreRefusedBeforeAnythingIsRead) {
  const struct {
    const char* args;
    const char* out;
    const char* err;
  } cases[] = {
      {"--speed-bins 0:40:1", " pairtrack: --speed-bins needs --speed-histogram\n",
       "pairtrack: error: --speed-bins '0:40:1' without --speed-histogram: there is no file for "
       "the bins\n"},
      {"--speed-histogram s.csv --speed-bins 0:40",
       " pairtrack: --speed-bins: speed bins must be MIN:MAX:STEP (three numbers separated by "
       "colons), not '0:40'\n",
       "pairtrack: error: --speed-bins '0:40': speed bins must be MIN:MAX:STEP (three numbers "
       "separated by colons), not '0:40'\n"},
      {"--speed-histogram s.csv --speed-bins 0:40:-1",
       " pairtrack: --speed-bins: the speed bins' step must be above 0\n",
       "pairtrack: error: --speed-bins '0:40:-1': the speed bins' step must be above 0\n"},
      {"--speed-histogram s.csv --speed-bins 10:5:1",
       " pairtrack: --speed-bins: the speed bins' maximum must be above the minimum\n",
       "pairtrack: error: --speed-bins '10:5:1': the speed bins' maximum must be above the "
       "minimum\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run_pairtrack(dir, input, "", c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
    EXPECT_EQ(r.err, c.err) << c.args;
    EXPECT_FALSE(fs::exists(dir / "s.csv")) << c.args;
  }
}

}  // namespace
}  // namespace pairtrack::detail
