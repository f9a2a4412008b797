// The bundled example as a golden run: its report and pair file must not
// change by a single byte, and the three encodings of its history must all
// be readable.
#include <gtest/gtest.h>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

class Example : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin", "history_f4.bin", "history_i2.bin"}) {
      fs::copy_file(kExamples / f, dir / f);
    }
  }
  ScratchDir dir;
};

TEST_F(Example, ReportAndPairFileMatchTheGoldenRun) {
  const RunResult r = run_pairtrack(dir, read_file(kExamples / "example.in"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, read_file(kExamples / "expected_report.txt"));
  EXPECT_EQ(r.pairs, read_file(kExamples / "expected_pairs.txt"));
}

TEST_F(Example, EveryEncodingGivesSixFrames) {
  std::string input = read_file(kExamples / "example.in");
  for (auto [code, file] : {std::pair{"1", "history_f4.bin"}, {"0", "history_i2.bin"}}) {
    std::string in = input;
    in.replace(in.find("history_f8.bin\n2\n"), 17, std::string(file) + "\n" + code + "\n");
    const RunResult r = run_pairtrack(dir, in);
    EXPECT_EQ(r.status, 0) << file;
    const std::vector<std::string> lines = r.lines();
    ASSERT_EQ(lines.size(), 15u) << file;
    EXPECT_EQ(lines[14], " # pairtrack: t_max =  1.2500000000000000  Myr") << file;
    EXPECT_EQ(lines[9].substr(0, 16), "    0.2500000000") << file;
  }
}

TEST_F(Example, ReportAndPairFileDoNotDependOnTheThreadCount) {
  const std::string input = read_file(kExamples / "example.in");
  std::string out[3];
  std::string pairs[3];
  for (int threads = 1; threads <= 3; ++threads) {
    const RunResult r = run_pairtrack(dir, input, "OMP_NUM_THREADS=" + std::to_string(threads));
    ASSERT_EQ(r.status, 0) << threads;
    out[threads - 1] = r.out;
    pairs[threads - 1] = r.pairs;
  }
  EXPECT_EQ(out[0], out[1]);
  EXPECT_EQ(out[0], out[2]);
  EXPECT_EQ(pairs[0], pairs[1]);
  EXPECT_EQ(pairs[0], pairs[2]);
  EXPECT_EQ(out[0], read_file(kExamples / "expected_report.txt"));
}

}  // namespace
}  // namespace pairtrack::detail
