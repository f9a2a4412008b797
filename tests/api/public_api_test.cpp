// The public C++ API where the Python tests do not reach it: contract refusals, the frame
// statistics against the program's routines, and the history reader's and writer's statuses.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "pairtrack/pairtrack.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

namespace pairtrack::detail {
namespace {

const std::string kExamples = std::string(PAIRTRACK_SOURCE_DIR) + "/examples";

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

TEST(PublicKernel, RefusesNullArraysAndUnequalCounts) {
  const double a[2] = {2.5, 2.6}, e[2] = {0.1, 0.2}, i[2] = {5.0, 6.0};
  double p[4];
  const OrbitArrays two{a, e, i, 2};
  const OrbitArrays one{a, e, i, 1};
  const OrbitArrays null_e{a, nullptr, i, 2};
  EXPECT_THROW(collision_pairs(two, one, {p}), std::invalid_argument);
  EXPECT_THROW(collision_pairs(two, null_e, {p}), std::invalid_argument);
  EXPECT_THROW(collision_pair_matrix(null_e, two, {p}), std::invalid_argument);
  EXPECT_EQ(collision_pair_matrix(OrbitArrays{}, two, {}), 0);  // no pairs, nothing touched
}

TEST(PublicKernel, DisjointPairGetsZerosInAllFourOutputs) {
  double out[4] = {-1.0, -1.0, -1.0, -1.0};
  const double a1 = 2.0, a2 = 30.0, e = 0.1, i = 3.0;
  collision_pairs({&a1, &e, &i, 1}, {&a2, &e, &i, 1}, {&out[0], &out[1], &out[2], &out[3]});
  for (const double x : out) EXPECT_EQ(x, 0.0);
}

// The accurate mode through the public calls: the three calls agree on a pair, the flags tell
// a divergent pair and a classic value likely off, and values outside the options' ranges are
// refused.
TEST(PublicKernel, AccuracyOptionGivesErrorsAndFlagsAndRefusesBadValues) {
  KernelOptions accurate;
  accurate.accuracy = 1e-6;
  const double a1[2] = {2.7, 2.7}, e1[2] = {0.15, 0.15}, i1[2] = {10.0, 10.0};
  const double a2[2] = {2.6, 2.7}, e2[2] = {0.12, 0.15}, i2[2] = {10.1, 10.0};  // pair 2: identical
  double p[2], err[2];
  std::uint8_t flags[2];
  PairResultArrays out;
  out.p_coll = p;
  out.p_coll_error = err;
  out.flags = flags;
  EXPECT_EQ(collision_pairs({a1, e1, i1, 2}, {a2, e2, i2, 2}, out, accurate), 0);
  EXPECT_NEAR(p[0], 9.2784, err[0] + 5e-5);  // the converged value at 0.1 degrees
  EXPECT_EQ(flags[0], 0);
  EXPECT_TRUE(std::isnan(p[1]));
  EXPECT_EQ(flags[1], kPairDivergent | kPairSingular);
  const PairResult one = collision_pair(2.7, 0.15, 10.0, 2.6, 0.12, 10.1, accurate);
  EXPECT_EQ(one.p_coll, p[0]);
  EXPECT_EQ(one.p_coll_error, err[0]);
  double m[1];
  EXPECT_EQ(collision_pair_matrix({a1, e1, i1, 1}, {a2, e2, i2, 1}, {m}, accurate), 0);
  EXPECT_EQ(m[0], p[0]);
  // The classic value of the same pair is 6 % low: flagged, without an error estimate.
  const PairResult classic = collision_pair(2.7, 0.15, 10.0, 2.6, 0.12, 10.1);
  EXPECT_EQ(classic.flags, kPairClassicOff);
  EXPECT_EQ(classic.p_coll_error, 0.0);
  EXPECT_LT(classic.p_coll, 0.95 * p[0]);
  for (const auto& [rel, min_inc] :
       {std::pair{-1.0, 0.0}, std::pair{0.2, 0.0}, std::pair{std::nan(""), 0.0},
        std::pair{1e-3, -1.0}, std::pair{1e-3, 91.0}, std::pair{1e-3, std::nan("")}}) {
    KernelOptions bad;
    bad.accuracy = rel;
    bad.min_mutual_inclination_deg = min_inc;
    EXPECT_THROW(collision_pair(2.7, 0.15, 10.0, 2.6, 0.12, 10.1, bad), std::invalid_argument)
        << rel << " " << min_inc;
    RunConfig config;
    config.accuracy = rel;
    config.min_mutual_inclination_deg = min_inc;
    EXPECT_THROW(run(config), std::invalid_argument) << rel << " " << min_inc;
  }
}

// run() refuses speed bins that the program's --speed-bins refuses, with the same reason, before
// it reads any file; bins it does not use (no speed histogram) are not looked at.
TEST(PublicRun, RefusesInvalidSpeedBinsOnlyWhenItMakesTheHistogram) {
  RunConfig config;
  config.speed_bins = SpeedBins{0.0, 40.0, 0.0};
  config.speed_histogram = true;
  try {
    run(config);
    ADD_FAILURE() << "accepted a step of 0";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "the speed bins' step must be above 0");
  }
  config.speed_histogram = false;
  EXPECT_EQ(run(config).status, 1);  // on to the (missing) catalogue
}

TEST(PublicStatistics, AreTheProgramsRoutinesBitForBit) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> value(0.0, 20.0);
  for (int n : {0, 1, 2, 17, 1000}) {
    std::vector<double> x(n), w(n);
    for (int k = 0; k < n; ++k) {
      x[k] = value(rng);
      w[k] = value(rng) * (k % 3 == 0 ? 0.0 : 1.0);
    }
    double mean = 0, sigma = 0;
    avg_dev(x.data(), n, mean, sigma);
    const MeanAndDeviation s = sample_mean_deviation(x.data(), x.size());
    EXPECT_TRUE(same_bits(s.mean, mean) && same_bits(s.sigma, sigma)) << n;
    avg_dev_pw(x.data(), w.data(), n, mean, sigma);
    const MeanAndDeviation ws = weighted_mean_deviation(x.data(), w.data(), x.size());
    EXPECT_TRUE(same_bits(ws.mean, mean) && same_bits(ws.sigma, sigma)) << n;
  }
  EXPECT_THROW(sample_mean_deviation(nullptr, 3), std::invalid_argument);
}

class PublicHistory : public ::testing::Test {
 protected:
  // One folder per test process: CTest runs the tests of this fixture in parallel.
  std::filesystem::path dir_ = std::filesystem::path(::testing::TempDir()) /
                               ("public_history_" + std::to_string(::getpid()));
  void SetUp() override { std::filesystem::create_directories(dir_); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string cut_copy(const std::string& name, std::size_t drop) {
    std::ifstream in(kExamples + "/" + name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string path = (dir_ / ("cut_" + name)).string();
    std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() - drop);
    return path;
  }
};

TEST_F(PublicHistory, TruncatedLastFrameEndsTheDataAfterTheCompleteFrames) {
  HistoryFrameReader r;
  ASSERT_TRUE(r.open(cut_copy("history_i2.bin", 5), HistoryFormat::scaled_int16));
  HistoryFrame f;
  while (r.next(f) == HistoryFrameReader::Status::frame) {
  }
  EXPECT_EQ(r.next(f), HistoryFrameReader::Status::truncated);  // and it stays so
  EXPECT_EQ(r.frames_read(), 5);
  EXPECT_EQ(r.message(), "ends inside frame 6 (39 of 40 body records complete)");
  EXPECT_EQ(f.bodies(), 0u);
}

TEST_F(PublicHistory, MissingFileIsRefusedAtOpen) {
  HistoryFrameReader r;
  EXPECT_FALSE(r.open((dir_ / "missing.bin").string(), HistoryFormat::float64));
  HistoryFrame f;
  EXPECT_EQ(r.next(f), HistoryFrameReader::Status::damaged);
  HistoryFormatDetection d;
  std::string error;
  EXPECT_FALSE(detect_history_format((dir_ / "missing.bin").string(), d, error));
  EXPECT_FALSE(error.empty());
}

// The value history_stored_value promises is the one a written frame reads back with, bit for
// bit; a value it refuses is one the writer refuses.
TEST_F(PublicHistory, StoredValueIsWhatTheReaderGivesBack) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    HistoryField field;
    double value;
  };
  const Row rows[] = {
      {HistoryField::time, 1234.567}, {HistoryField::time, 4e11}, {HistoryField::time, -1.0},
      {HistoryField::a, 2.7182818},   {HistoryField::a, 2e6},     {HistoryField::a, 1e39},
      {HistoryField::e, 0.1},         {HistoryField::e, 0.0},     {HistoryField::angle, 0.3},
      {HistoryField::angle, 7.0},     {HistoryField::angle, inf}};
  for (const HistoryFormat format :
       {HistoryFormat::scaled_int16, HistoryFormat::float32, HistoryFormat::float64}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(history_format_name(format) + " " + std::to_string(row.value));
      HistoryFrame f;
      f.time = 1.0;
      f.nrec1 = 1;
      f.nrec2 = 1;
      f.id = {1};
      f.a_au = {2.5};
      f.e = {0.1};
      f.inc_rad = f.angle5_rad = f.angle6_rad = f.angle7_rad = {0.1};
      double* slot = row.field == HistoryField::time ? &f.time
                     : row.field == HistoryField::a  ? &f.a_au[0]
                     : row.field == HistoryField::e  ? &f.e[0]
                                                     : &f.angle6_rad[0];
      *slot = row.value;
      const std::optional<double> stored = history_stored_value(format, row.field, row.value);
      const std::string path = (dir_ / "stored.bin").string();
      HistoryFrameWriter w;
      ASSERT_TRUE(w.open(path, format));
      ASSERT_EQ(w.write(f), stored.has_value()) << w.message();
      ASSERT_TRUE(w.close());
      if (!stored) continue;
      HistoryFrameReader r;
      ASSERT_TRUE(r.open(path, format));
      HistoryFrame back;
      ASSERT_EQ(r.next(back), HistoryFrameReader::Status::frame);
      const double got = row.field == HistoryField::time ? back.time
                         : row.field == HistoryField::a  ? back.a_au[0]
                         : row.field == HistoryField::e  ? back.e[0]
                                                         : back.angle6_rad[0];
      EXPECT_TRUE(same_bits(got, *stored)) << got << " " << *stored;
    }
  }
}

// The public summary is the walk that pairtrack-history info shows: on the bundled example it
// counts the frames the frame reader returns.
TEST_F(PublicHistory, SummaryCountsTheFramesTheReaderReturns) {
  const std::string path = cut_copy("history_f4.bin", 5);
  HistorySummary s;
  std::string error;
  ASSERT_TRUE(summarise_history(path, HistoryFormat::float32, s, error)) << error;
  HistoryFrameReader r;
  ASSERT_TRUE(r.open(path, HistoryFormat::float32));
  HistoryFrame f;
  std::int64_t bodies = 0;
  while (r.next(f) == HistoryFrameReader::Status::frame) bodies += f.bodies();
  EXPECT_EQ(s.frames, r.frames_read());
  EXPECT_EQ(s.body_records, bodies);
  EXPECT_EQ(s.end, HistoryReadStatus::truncated);
  HistoryStart start;
  ASSERT_TRUE(check_history_start(path, start, error));
  EXPECT_EQ(start.not_history, "");
  EXPECT_FALSE(
      summarise_history((dir_ / "missing.bin").string(), HistoryFormat::float32, s, error));
}

TEST_F(PublicHistory, RefusedFrameWritesNothing) {
  HistoryFrameWriter w;
  const std::string path = (dir_ / "out.bin").string();
  ASSERT_TRUE(w.open(path, HistoryFormat::scaled_int16));
  HistoryFrame good;
  good.nrec1 = 1;
  good.nrec2 = 1;
  good.id = {1};
  good.a_au = {2.5};
  good.e = {0.1};
  good.inc_rad = good.angle5_rad = good.angle6_rad = {0.1};
  good.angle7_rad = {0.2};
  ASSERT_TRUE(w.write(good));
  HistoryFrame bad = good;
  bad.nrec2 = 2;
  bad.id = {1, 2};
  bad.a_au = {2.5, 1e30};  // beyond the scaled grid of a
  bad.e = {0.1, 0.1};
  bad.inc_rad = bad.angle5_rad = bad.angle6_rad = bad.angle7_rad = {0.1, 0.1};
  EXPECT_FALSE(w.write(bad));
  EXPECT_NE(w.message().find("body 2 (id 2) cannot be stored"), std::string::npos) << w.message();
  ASSERT_TRUE(w.close());
  // One header (10 + 8 bytes) and one body (14 + 8 bytes): nothing of the refused frame.
  EXPECT_EQ(std::filesystem::file_size(path), 40u);
}

}  // namespace
}  // namespace pairtrack::detail
