// The machine-readable outputs (--bodies, --frames) and --pair-file, end to end on the bundled
// example with removals: the per-body rows add up to the frame line, the removals agree with the
// next frame and the pair file, the files do not depend on the thread count, and the report and
// pair file are the same with and without the new options.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
    input = read_file(kExamples / "example.in");  // q_crit 1.8, p_crit 0.5: bodies are removed
  }
  RunResult run(const std::string& env = "") {
    return run_pairtrack(dir, input, env, "--bodies bodies.csv --frames frames.csv");
  }
  ScratchDir dir;
  std::string input;
};

TEST_F(Tables, BodyRowsAddUpToTheFrameLineAndRemovalsAgreeWithTheNextFrameAndThePairFile) {
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<Row> frames = read_csv(dir / "frames.csv");
  const std::vector<Row> bodies = read_csv(dir / "bodies.csv");
  ASSERT_EQ(frames.size(), 6u);

  std::map<std::string, std::vector<const Row*>> by_frame;
  for (const Row& b : bodies) by_frame[b.at("frame")].push_back(&b);
  std::set<std::string> removed_before;
  std::int64_t removed_total = 0;
  std::string pair_lines;
  std::set<std::string> expected_ids;  // the previous frame's bodies less its removals
  for (const Row& f : frames) {
    const std::vector<const Row*>& rows = by_frame[f.at("frame")];
    std::set<std::string> ids;
    for (const Row* b : rows) ids.insert(b->at("id"));
    if (f.at("frame") != "1") {
      EXPECT_EQ(ids, expected_ids) << f.at("frame");  // every frame holds the same 40 bodies
    }
    expected_ids = ids;
    for (const Row* b : rows) {
      if (b->at("removed") == "1") expected_ids.erase(b->at("id"));
    }
    long double p_sum = 0, pv_sum = 0;
    std::int64_t hits = 0, removed = 0;
    for (const Row* b : rows) {
      p_sum += num(*b, "p_sum_1e-18_km-2_yr-1");
      pv_sum +=
          static_cast<long double>(num(*b, "p_sum_1e-18_km-2_yr-1")) * num(*b, "v_imp_mean_km_s");
      hits += std::stoll(b->at("n_hit"));
      EXPECT_EQ(removed_before.count(b->at("id")), 0u) << "removed body swept again";
      if (b->at("removed") == "1") {
        removed_before.insert(b->at("id"));
        ++removed;
        EXPECT_LE(num(*b, "draw"), 0.5);
      }
      if (!b->at("draw").empty()) {
        EXPECT_LT(num(*b, "q_au"), 1.8);
      }
      if (std::stoll(b->at("n_hit")) > 0) {
        pair_lines += b->at("id") + ",";  // order of the pair file: position order
      }
    }
    removed_total += removed;
    const double n_proba = num(f, "n_proba");
    EXPECT_EQ(n_proba, static_cast<double>(rows.size()) * num(f, "n1"));
    const double mean = num(f, "proba_mean_1e-18_km-2_yr-1");
    EXPECT_NEAR(static_cast<double>(p_sum / n_proba), mean, 1e-15 * mean) << f.at("frame");
    const double v = num(f, "impvel_mean_km_s");
    EXPECT_NEAR(static_cast<double>(pv_sum / p_sum), v, 1e-13 * v) << f.at("frame");
    EXPECT_EQ(hits, std::stoll(f.at("n_impvel")));
    EXPECT_EQ(std::stoll(f.at("n_active")), static_cast<std::int64_t>(rows.size()));
    EXPECT_EQ(std::stoll(f.at("n_removed")), removed);
    EXPECT_EQ(std::stoll(f.at("n_removed_total")), removed_total);
  }
  EXPECT_GT(removed_total, 0);

  // The pair file lists, frame by frame, exactly the bodies with n_hit > 0.
  std::string from_pair_file;
  std::istringstream pairs(r.pairs);
  for (std::string line; std::getline(pairs, line);) {
    from_pair_file += std::to_string(std::stoi(line.substr(1, 8))) + ",";
  }
  EXPECT_EQ(from_pair_file, pair_lines);
}

TEST_F(Tables, FrameRowsCarryTheReportLineAtFullPrecision) {
  const RunResult r = run();
  const std::vector<Row> frames = read_csv(dir / "frames.csv");
  const std::vector<std::string> lines = r.lines();
  ASSERT_EQ(lines.size(), 15u);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::istringstream fields(lines[8 + i]);
    double t, pm, ps, vm, vs;
    long n1, n2, np, ni;
    fields >> t >> pm >> ps >> vm >> vs >> n1 >> n2 >> np >> ni;
    const Row& f = frames[i];
    EXPECT_EQ(std::stol(f.at("frame")), static_cast<long>(i + 1));
    EXPECT_NEAR(num(f, "proba_mean_1e-18_km-2_yr-1"), pm, 1e-15);
    EXPECT_NEAR(num(f, "impvel_sigma_km_s"), vs, 1e-15);
    EXPECT_EQ(std::stol(f.at("n2")), n2);
    EXPECT_EQ(std::stol(f.at("n_proba")), np);
    EXPECT_EQ(std::stol(f.at("n_impvel")), ni);
  }
}

TEST_F(Tables, FilesAreTheSameForOneTwoAndThreeThreadsAndTheReportIsUnchanged) {
  std::string bodies1, frames1;
  for (const char* threads : {"1", "2", "3"}) {
    const RunResult r = run(std::string("OMP_NUM_THREADS=") + threads);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, read_file(kExamples / "expected_report.txt")) << threads;
    EXPECT_EQ(r.pairs, read_file(kExamples / "expected_pairs.txt")) << threads;
    if (bodies1.empty()) {
      bodies1 = read_file(dir / "bodies.csv");
      frames1 = read_file(dir / "frames.csv");
    }
    EXPECT_EQ(read_file(dir / "bodies.csv"), bodies1) << threads;
    EXPECT_EQ(read_file(dir / "frames.csv"), frames1) << threads;
  }
  EXPECT_EQ(frames1.substr(0, frames1.find('\n')),
            "frame,t_myr,proba_mean_1e-18_km-2_yr-1,proba_sigma_1e-18_km-2_yr-1,impvel_mean_km_s,"
            "impvel_sigma_km_s,n1,n2,n_proba,n_impvel,n_active,n_removed,n_removed_total,"
            "n_classic_off,n_singular,n_divergent,proba_mean_error_1e-18_km-2_yr-1,"
            "v_imp_cw_mean_km_s,v_imp_cw_rms_km_s,v_imp_cw_sd_km_s");
}

TEST_F(Tables, PairFileNameOptionMovesThePairFile) {
  const RunResult r = run_pairtrack(dir, input, "", "--pair-file run1_pairs.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.pair_file);
  EXPECT_EQ(read_file(dir / "run1_pairs.txt"), read_file(kExamples / "expected_pairs.txt"));
}

TEST_F(Tables, BadOptionValuesAreRefusedBeforeAnythingIsRead) {
  fs::create_directory(dir / "folder");
  for (const char* args : {"--bodies folder", "--frames folder", "--frames missing/frames.csv",
                           "--pair-file folder", "--pair-file missing/pairs.txt", "--bodies"}) {
    const RunResult r = run_pairtrack(dir, input, "", args);
    EXPECT_EQ(r.status, 1) << args;
    ASSERT_EQ(r.lines().size(), 1u) << args << r.out;
    EXPECT_EQ(r.err.rfind("pairtrack: error: ", 0), 0u) << args << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

// In the example every body's identifier equals its position in the frame; here they differ,
// the order changes from frame to frame and the swept range starts at position 2, so the two
// columns can only come out right if each is taken from its own source.
TEST(BodiesTable, PositionIsTheRecordsPlaceInItsFrameAndIdItsIdentifier) {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
  write_history(
      dir / "hist.bin", 2,
      {{1e6, {{7, 2.1, 0.1, 0.1}, {3, 2.3, 0.1, 0.1}, {12, 2.5, 0.1, 0.1}, {5, 2.9, 0.1, 0.1}}},
       {2e6, {{12, 2.5, 0.1, 0.1}, {7, 2.1, 0.1, 0.1}, {3, 2.3, 0.1, 0.1}}}});
  Params p;
  p.n2_range = "2 4";
  const RunResult r = run_pairtrack(dir, p.text(), "", "--bodies bodies.csv");
  ASSERT_EQ(r.status, 0) << r.err;
  struct Expected {
    const char* frame;
    const char* position;
    const char* id;
    double a_au;
  };
  const Expected expected[] = {{"1", "2", "3", 2.3},
                               {"1", "3", "12", 2.5},
                               {"1", "4", "5", 2.9},
                               {"2", "2", "7", 2.1},
                               {"2", "3", "3", 2.3}};
  const std::vector<Row> rows = read_csv(dir / "bodies.csv");
  ASSERT_EQ(rows.size(), std::size(expected));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].at("frame"), expected[i].frame) << i;
    EXPECT_EQ(rows[i].at("position"), expected[i].position) << i;
    EXPECT_EQ(rows[i].at("id"), expected[i].id) << i;
    EXPECT_NEAR(num(rows[i], "a_au"), expected[i].a_au, 1e-14) << i;
  }
}

}  // namespace
}  // namespace pairtrack::detail
