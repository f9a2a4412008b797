// The two ways of integrating a pair, end to end. Classic mode: the report is the golden one, a
// finished run closes with one notice about the pairs whose 10 x 10 value is likely off, and the
// tables count them per body and per frame as the criterion does on the pairs directly.
// Accurate mode (--accuracy): the report keeps its lines plus one echo line, every value is
// that of the accurate integrator called directly, divergent pairs are counted and left out of
// the means; bad option values are refused before anything is read.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "engine/frame_sinks.h"
#include "engine/run_fixture.h"
#include "engine/run_storage.h"
#include "io/load_catalog.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/classic_criterion.h"
#include "kernel/accurate/pair_class.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

class ClassicMode : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
    input = read_file(kExamples / "example.in");
  }
  ScratchDir dir;
  std::string input;
};

TEST_F(ClassicMode, TheNoticeAndTheTablesCountWhatTheCriterionFlagsOnEveryPair) {
  const RunResult r = run_pairtrack(dir, input, "", "--bodies bodies.csv --frames frames.csv");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, read_file(kExamples / "expected_report.txt"));

  // The catalogue as the run prepares it: centimetres and radians.
  std::vector<double> a(kPopulationCapacity), e(kPopulationCapacity), inc(kPopulationCapacity);
  std::int32_t n1 = kPopulationCapacity;
  ASSERT_EQ(read_catalog_file((dir / "mainbelt.cat").string(), a.data(), e.data(), inc.data(), n1),
            CatalogStatus::ok);
  std::map<std::string, std::int64_t> per_frame_off, per_frame_singular;
  std::int64_t total = 0, bodies_flagged = 0;
  for (const Row& body : read_csv(dir / "bodies.csv")) {
    const double a2 = num(body, "a_au") * kCentimetresPerAu;
    const double inc2 = num(body, "inc_deg") / kDegPerRad;
    std::int64_t off = 0, singular = 0;
    for (std::int32_t k = 0; k < n1; ++k) {
      const kernel::ClassicAccuracy c =
          kernel::classic_accuracy(a[k] * kCentimetresPerAu, e[k], inc[k] * kRadiansPerDegree, a2,
                                   num(body, "e"), inc2, 0.0);
      off += c.likely_off;
      singular += c.likely_off &&
                  kernel::classify_pair(a[k] * kCentimetresPerAu, e[k], inc[k] * kRadiansPerDegree,
                                        a2, num(body, "e"), inc2) != kernel::PairClass::kOrdinary;
    }
    EXPECT_EQ(num(body, "n_classic_off"), off) << "body " << body.at("id");
    EXPECT_EQ(num(body, "n_singular"), singular) << "body " << body.at("id");
    EXPECT_EQ(num(body, "n_divergent"), 0);
    EXPECT_EQ(num(body, "p_sum_error_1e-18_km-2_yr-1"), 0.0);
    per_frame_off[body.at("frame")] += off;
    per_frame_singular[body.at("frame")] += singular;
    total += off;
    bodies_flagged += off > 0;
  }
  EXPECT_GT(bodies_flagged, 0);
  for (const Row& frame : read_csv(dir / "frames.csv")) {
    EXPECT_EQ(num(frame, "n_classic_off"), per_frame_off[frame.at("frame")]);
    EXPECT_EQ(num(frame, "n_singular"), per_frame_singular[frame.at("frame")]);
  }
  // One line, with the count over the run and the worst pair (the closest planes).
  EXPECT_EQ(r.err, std::string(kClassicNoticeStart) + std::to_string(total) +
                       " of 67500 pairs (0 of them singular); the worst is frame 1, body 30 "
                       "against catalogue line 170 (delta = 0.000186, apsidal width 0.4); "
                       "--accuracy REL integrates every pair to a requested accuracy\n");
}

TEST_F(ClassicMode, QuietSilencesTheNoticeAndStrictDoesNotStopOnIt) {
  const RunResult quiet = run_pairtrack(dir, input, "", "--quiet");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.out, read_file(kExamples / "expected_report.txt"));
  const RunResult strict = run_pairtrack(dir, input, "", "--strict");
  EXPECT_EQ(strict.status, 0);
  EXPECT_EQ(strict.err.rfind(kClassicNoticeStart, 0), 0u) << strict.err;
  EXPECT_EQ(strict.out, read_file(kExamples / "expected_report.txt"));
}

// A catalogue of two orbits and two bodies: body 1 is catalogue orbit 1 itself (no finite P_i),
// body 2 crosses both orbits at an inclination 0.1 degrees from orbit 1's.
class AccurateMode : public ::testing::Test {
 protected:
  void SetUp() override {
    write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {5.0, 0.1, 2.5}});
    write_history(
        dir / "hist.bin", 2,
        {{1e6,
          {{1, 2.7, 0.15, 10.0 * kRadiansPerDegree}, {2, 2.6, 0.12, 10.1 * kRadiansPerDegree}}}});
    p.n2_range = "1 2";
    p.v_esc = "1.5";
  }
  ScratchDir dir;
  Params p;
};

TEST_F(AccurateMode, ValuesAreTheIntegratorsAndDivergentPairsAreCountedAndLeftOut) {
  const RunResult classic = run_pairtrack(dir, p.text(), "", "--quiet");
  const RunResult r =
      run_pairtrack(dir, p.text(), "", "--accuracy 1e-6 --bodies bodies.csv --frames frames.csv");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // the classic notice belongs to the classic mode
  // The classic report's lines with one echo line after the four parameter lines. The
  // identical pair is a no-case pair of the classic rule (its message line); the accurate mode
  // reports it as divergent instead.
  std::vector<std::string> lines = r.lines();
  std::vector<std::string> classic_lines = classic.lines();
  ASSERT_EQ(classic_lines.at(8), " The line did not make any of the checks");
  classic_lines.erase(classic_lines.begin() + 8);
  ASSERT_EQ(lines.size(), classic_lines.size() + 1) << r.out << classic.out;
  EXPECT_EQ(lines[4], " # accuracy =  9.9999999999999995E-007  (adaptive Gauss-Kronrod)");
  lines.erase(lines.begin() + 4);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), classic_lines[i].size()) << lines[i];
    if (i < 8) {
      EXPECT_EQ(lines[i], classic_lines[i]);
    }
  }

  // The pairs as the run forms them, integrated directly.
  kernel::AccurateOptions options;
  options.rel = 1e-6;
  const double cat[2][3] = {{2.7, 0.15, 10.0}, {2.5, 0.1, 5.0}};
  const double body[2][3] = {{2.7, 0.15, 10.0 * kRadiansPerDegree},
                             {2.6, 0.12, 10.1 * kRadiansPerDegree}};
  kernel::AccurateResult pair[2][2];
  for (int b = 0; b < 2; ++b) {
    for (int k = 0; k < 2; ++k) {
      pair[b][k] = kernel::accurate_pair(
          cat[k][0] * kCentimetresPerAu, cat[k][1], cat[k][2] * kRadiansPerDegree,
          body[b][0] * kCentimetresPerAu, body[b][1], body[b][2], 1.5, options);
    }
  }
  ASSERT_EQ(pair[0][0].status, kernel::AccurateStatus::kDivergent);
  const std::vector<Row> bodies = read_csv(dir / "bodies.csv");
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(num(bodies[0], "n_divergent"), 1);
  EXPECT_EQ(num(bodies[1], "n_divergent"), 0);
  EXPECT_EQ(num(bodies[0], "p_sum_1e-18_km-2_yr-1"), pair[0][1].p_coll);
  EXPECT_EQ(num(bodies[0], "p_mean_1e-18_km-2_yr-1"), pair[0][1].p_coll);  // one finite pair
  EXPECT_EQ(num(bodies[0], "p_sum_error_1e-18_km-2_yr-1"), pair[0][1].p_coll_error);
  const double sum1 = pair[1][0].p_coll + pair[1][1].p_coll;
  EXPECT_NEAR(num(bodies[1], "p_sum_1e-18_km-2_yr-1"), sum1, 1e-14 * sum1);
  EXPECT_NEAR(num(bodies[1], "p_sum_error_1e-18_km-2_yr-1"),
              pair[1][0].p_coll_error + pair[1][1].p_coll_error, 1e-14 * sum1);

  const std::vector<Row> frames = read_csv(dir / "frames.csv");
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(num(frames[0], "n_proba"), 3);  // the divergent pair is not a pair of the mean
  EXPECT_EQ(num(frames[0], "n_divergent"), 1);
  const double mean = (pair[0][1].p_coll + sum1) / 3.0;
  const double error =
      (pair[0][1].p_coll_error + pair[1][0].p_coll_error + pair[1][1].p_coll_error) / 3.0;
  EXPECT_NEAR(num(frames[0], "proba_mean_1e-18_km-2_yr-1"), mean, 1e-14 * mean);
  EXPECT_NEAR(num(frames[0], "proba_mean_error_1e-18_km-2_yr-1"), error, 1e-14 * mean);
  EXPECT_GT(error, 0.0);
  EXPECT_LT(error, 1e-6 * mean);
  // The classic rule misses the close-inclination peak of body 2 against orbit 1 by far more
  // than the accurate mode's error.
  EXPECT_GT(std::fabs(num(frames[0], "proba_mean_1e-18_km-2_yr-1") -
                      std::stod(classic_lines[8].substr(17, 22))),
            100 * error);

  // A body at exactly orbit 2's inclination, crossing it: divergent, unless the minimum mutual
  // inclination regularises the pair (identical orbits stay divergent).
  write_history(dir / "hist.bin", 2, {{1e6, {{3, 2.45, 0.12, 5.0 * kRadiansPerDegree}}}});
  p.n2_range = "1 1";
  for (const char* min_inc : {"0", "1"}) {
    const RunResult equal = run_pairtrack(
        dir, p.text(), "",
        std::string("--accuracy 1e-4 --frames frames.csv --min-mutual-inclination ") + min_inc);
    ASSERT_EQ(equal.status, 0) << equal.err;
    const Row frame = read_csv(dir / "frames.csv").at(0);
    EXPECT_EQ(num(frame, "n_divergent"), min_inc[0] == '0' ? 1 : 0) << min_inc;
    EXPECT_EQ(num(frame, "n_proba"), min_inc[0] == '0' ? 1 : 2) << min_inc;
    if (min_inc[0] == '1') {
      EXPECT_EQ(equal.lines()[4],
                " # accuracy =  1.0000000000000000E-004  (adaptive Gauss-Kronrod)"
                " min_mutual_inclination =  1.0000000000000000  deg");
    }
  }
}

TEST_F(AccurateMode, ACheckpointIsContinuedOnlyInItsOwnMode) {
  const RunResult first = run_pairtrack(dir, p.text(), "", "--accuracy 1e-4 --checkpoint run.ckpt");
  ASSERT_EQ(first.status, 0) << first.err;
  for (const char* args : {"--resume run.ckpt", "--accuracy 1e-3 --resume run.ckpt"}) {
    const RunResult resumed = run_pairtrack(dir, p.text(), "", args);
    EXPECT_EQ(resumed.status, 1) << args;
    EXPECT_NE(resumed.err.find("other records"), std::string::npos) << resumed.err;
  }
}

TEST_F(AccurateMode, BadOptionValuesAreRefusedWithOneLineAndStatusOne) {
  for (const char* args : {"--accuracy 0", "--accuracy -1", "--accuracy nan", "--accuracy 0.2",
                           "--accuracy x", "--accuracy 1e-3 --min-mutual-inclination -1",
                           "--accuracy 1e-3 --min-mutual-inclination nan",
                           "--accuracy 1e-3 --min-mutual-inclination 91"}) {
    const RunResult r = run_pairtrack(dir, p.text(), "", args);
    EXPECT_EQ(r.status, 1) << args;
    ASSERT_EQ(r.lines().size(), 1u) << args << r.out;
    EXPECT_EQ(r.err.rfind("pairtrack: error: ", 0), 0u) << args << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

}  // namespace
}  // namespace pairtrack::detail
