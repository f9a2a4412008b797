// --manifest end to end: written at every end of a run (the last frame, an error end, a stop by
// a signal) with the state reached, and its sizes and SHA-256 those of the files (checked with
// the system's sha256sum, not with the program's own hashing).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;
using Json = nlohmann::json;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

struct End {
  const char* name;
  const char* env;
  const char* records_change;  // replaces the catalogue's name in the records when not empty
  int status;
  int frames;
  bool stopped;
};

class Manifest : public ::testing::TestWithParam<End> {};

std::string sha256sum(const fs::path& file) {
  const std::string cmd = "sha256sum '" + file.string() + "' > '" + file.string() + ".sum'";
  if (std::system(cmd.c_str()) != 0) return {};
  return read_file(file.string() + ".sum").substr(0, 64);
}

TEST_P(Manifest, IsWrittenAtEveryEndWithTheStateReachedAndTheFilesHashes) {
  const End end = GetParam();
  ScratchDir dir;
  for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
  std::string input = read_file(kExamples / "example.in");
  if (*end.records_change != '\0') input.replace(0, input.find('\n'), end.records_change);
  const RunResult r = run_pairtrack(dir, input, end.env,
                                    "--manifest run.json --frames frames.csv --checkpoint c.ckpt "
                                    "--speed-histogram speeds.csv");
  ASSERT_EQ(r.status, end.status) << r.err;
  const Json m = Json::parse(read_file(dir / "run.json"));
  EXPECT_EQ(m["exit_status"], end.status);
  EXPECT_EQ(m["frames"], end.frames);
  EXPECT_EQ(m["stopped_by_signal"].is_null(), !end.stopped);
  EXPECT_EQ(m["records"]["v_esc_km_s"], 0.0);
  EXPECT_EQ(m["records"]["q_crit_au"], 1.8);
  EXPECT_EQ(m["program"], "pairtrack");
  EXPECT_EQ(m["errors"], end.status == 1 ? 1 : 0);
  int hashed = 0;
  bool speeds_listed = false;
  for (const Json& f : m["files"]) {
    const std::string path = f["path"];
    speeds_listed = speeds_listed || path == "speeds.csv";
    if (path == "-") {
      EXPECT_EQ(f["bytes"], r.out.size());
    } else if (fs::exists(dir / path)) {
      EXPECT_EQ(f["bytes"], fs::file_size(dir / path)) << path;
      EXPECT_EQ(f["sha256"], sha256sum(dir / path)) << path;
      ++hashed;
    } else {
      EXPECT_TRUE(f["sha256"].is_null()) << path;
    }
  }
  EXPECT_TRUE(speeds_listed);
  EXPECT_GE(hashed, end.status == 1 ? 2 : 5);  // history, frames (and catalogue, pairs, checkpoint)
}

INSTANTIATE_TEST_SUITE_P(Ends, Manifest,
                         ::testing::Values(End{"LastFrame", "", "", 0, 6, false},
                                           End{"ErrorEnd", "", "missing.cat", 1, 0, false},
                                           End{"StoppedBySignal", "PAIRTRACK_TEST_RAISE=4:15", "",
                                               143, 4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pairtrack::detail
