// Runs that outlive their job, end to end on the bundled example (six frames, bodies removed at
// random): a run stopped by a signal at any frame, or killed, and resumed from its checkpoint
// gives every output byte for byte as a run that was never stopped; a checkpoint that does not
// fit the run is refused and changes nothing; an output that cannot take a frame ends the run at
// that frame; progress lines come only when asked for.
#include <gtest/gtest.h>

#include <csignal>
#include <map>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";
const char* const kOutputs[] = {"report.txt", "hitrate_pairtrack_q.tmp", "bodies.csv", "frames.csv",
                                "speeds.csv"};
const std::string kArgs =
    "--report report.txt --bodies bodies.csv --frames frames.csv --speed-histogram speeds.csv ";

class LongRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
    input = read_file(kExamples / "example.in");  // q_crit 1.8, p_crit 0.5: removals
  }
  RunResult run(const std::string& args, const std::string& env = "") {
    return run_pairtrack(dir, input, env, args);
  }
  std::map<std::string, std::string> outputs() const {
    std::map<std::string, std::string> files;
    for (const char* name : kOutputs) files[name] = read_file(dir / name);
    return files;
  }
  // The outputs of the run that is never stopped.
  std::map<std::string, std::string> uninterrupted() {
    const RunResult r = run(kArgs);
    EXPECT_EQ(r.status, 0) << r.err;
    auto files = outputs();
    for (const char* name : kOutputs) fs::remove(dir / name);
    return files;
  }
  ScratchDir dir;
  std::string input;
};

struct Stop {
  int signal;
  int frame;
  const char* threads_before;
  const char* threads_after;
};

class KillAndResume : public LongRun, public ::testing::WithParamInterface<Stop> {};

TEST_P(KillAndResume, TheResumedRunGivesEveryOutputOfAnUninterruptedOne) {
  const Stop stop = GetParam();
  const auto expected = uninterrupted();
  const RunResult first =
      run(kArgs + "--checkpoint run.ckpt", "PAIRTRACK_TEST_RAISE=" + std::to_string(stop.frame) +
                                               ":" + std::to_string(stop.signal) +
                                               " OMP_NUM_THREADS=" + stop.threads_before);
  EXPECT_EQ(first.status, 128 + stop.signal) << first.err;
  EXPECT_EQ(first.out, "");
  EXPECT_EQ(read_file(dir / "report.txt").find("t_max"), std::string::npos);
  if (stop.signal != SIGKILL) {
    // A stop at the frame boundary: the checkpoint is that of the frame the signal came in.
    EXPECT_EQ(first.err, "pairtrack: stopped by signal " + std::to_string(stop.signal) +
                             " after frame " + std::to_string(stop.frame) + "\n");
  }
  const RunResult resumed = run(kArgs + "--checkpoint run.ckpt --resume run.ckpt",
                                std::string("OMP_NUM_THREADS=") + stop.threads_after);
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(resumed.err, "");
  const auto got = outputs();
  for (const char* name : kOutputs) EXPECT_EQ(got.at(name), expected.at(name)) << name;
}

// SIGKILL comes after the frame's outputs and before its checkpoint: the outputs then hold a
// frame that the checkpoint does not, which the resumed run must cut away.
INSTANTIATE_TEST_SUITE_P(Signals, KillAndResume,
                         ::testing::Values(Stop{SIGTERM, 1, "1", "2"}, Stop{SIGTERM, 3, "2", "1"},
                                           Stop{SIGINT, 5, "2", "2"}, Stop{SIGUSR1, 6, "1", "1"},
                                           Stop{SIGKILL, 2, "2", "1"}, Stop{SIGKILL, 4, "1", "2"},
                                           Stop{SIGKILL, 6, "2", "2"}));

TEST_F(LongRun, AReportOnStandardOutputIsContinuedThereAndTheResumeSaysSo) {
  const RunResult whole = run("");
  const RunResult first = run("--checkpoint run.ckpt", "PAIRTRACK_TEST_RAISE=3:15");
  ASSERT_EQ(first.status, 143);
  const RunResult resumed = run("--checkpoint run.ckpt --resume run.ckpt");
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(first.out + resumed.out, whole.out);
  EXPECT_EQ(resumed.err,
            "pairtrack: progress: resuming after frame 3: standard output carries the report from "
            "frame 4 on; append it to the interrupted run's report\n");
}

struct Mismatch {
  const char* name;
  void (*change)(const ScratchDir& dir, std::string& input, std::string& args);
  const char* reason;
};

const Mismatch kMismatches[] = {
    {"OtherRecords",
     [](const ScratchDir&, std::string& input, std::string&) {
       input.replace(input.find("-12345"), 6, "-54321");
     },
     "it was written for other records on standard input"},
    {"LongerCatalogue",
     [](const ScratchDir& dir, std::string&, std::string&) {
       std::ofstream(dir / "mainbelt.cat", std::ios::app) << "\n";
     },
     "the catalogue holds 54901 bytes, the checkpoint's 54900"},
    {"OtherHistoryContents",
     [](const ScratchDir& dir, std::string&, std::string&) {
       std::fstream f(dir / "history_f8.bin", std::ios::in | std::ios::out | std::ios::binary);
       f.seekp(20);
       f.put('\x7f');
     },
     "the history file's contents differ"},
    {"AnOutputFewer",
     [](const ScratchDir&, std::string&, std::string& args) {
       args.erase(args.find("--bodies bodies.csv "), 20);
     },
     "it knows outputs that this run does not write"},
    {"AnOutputRenamed",
     [](const ScratchDir& dir, std::string&, std::string& args) {
       args.replace(args.find("frames.csv"), 10, "other.csv");
       write_text(dir / "other.csv", "");
     },
     "its frames output was 'frames.csv', not 'other.csv'"},
};

class MismatchedCheckpoint : public LongRun, public ::testing::WithParamInterface<Mismatch> {};

TEST_P(MismatchedCheckpoint, IsRefusedAndChangesNothing) {
  const RunResult first = run(kArgs + "--checkpoint run.ckpt", "PAIRTRACK_TEST_RAISE=2:15");
  ASSERT_EQ(first.status, 143) << first.err;
  std::string args = kArgs + "--resume run.ckpt";
  GetParam().change(dir, input, args);
  const auto before = outputs();
  const RunResult resumed = run(args);
  EXPECT_EQ(resumed.status, 1);
  EXPECT_NE(resumed.err.find("pairtrack: error: checkpoint 'run.ckpt' does not fit this run: " +
                             std::string(GetParam().reason)),
            std::string::npos)
      << resumed.err;
  EXPECT_EQ(resumed.out, "");
  EXPECT_EQ(outputs(), before);
}

INSTANTIATE_TEST_SUITE_P(Checkpoints, MismatchedCheckpoint, ::testing::ValuesIn(kMismatches),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LongRun, AFileThatIsNotACheckpointIsRefused) {
  write_text(dir / "run.ckpt", "frame 3\n");
  const RunResult r = run(kArgs + "--resume run.ckpt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " pairtrack: Error reading file run.ckpt\n");
  EXPECT_NE(r.err.find("is not a pairtrack checkpoint"), std::string::npos) << r.err;
}

TEST_F(LongRun, AnOutputThatCannotTakeAFrameEndsTheRunAtThatFrame) {
  // With a file size limit (ulimit -f, 512-byte blocks in a POSIX shell; SIGXFSZ ignored so that
  // the write fails instead of the process dying) the body table overflows at a known frame: the
  // first whose last row ends beyond the limit.
  const auto expected = uninterrupted();
  const std::string& table = expected.at("bodies.csv");
  const std::size_t limit = 16 * 1024;
  int frame = 0;
  for (std::size_t start = table.find('\n') + 1; start < table.size();) {
    const std::size_t end = table.find('\n', start);
    const int row_frame = std::stoi(table.substr(start, table.find(',', start) - start));
    if (end >= limit) {
      frame = row_frame;
      break;
    }
    start = end + 1;
  }
  ASSERT_GT(frame, 1);
  ASSERT_LT(frame, 6);
  const RunResult r = run("--bodies bodies.csv", "trap '' XFSZ; ulimit -f 32;");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pairtrack: error: 'bodies.csv' could not be written at frame " +
                       std::to_string(frame) + ": File too large\n");
  EXPECT_EQ(r.lines().back(), " pairtrack: Error writing file bodies.csv");
  EXPECT_EQ(r.out.find("t_max"), std::string::npos);
  // The eight lines before the frames, the frames up to the failing one, the message.
  EXPECT_EQ(r.lines().size(), 8u + static_cast<std::size_t>(frame) + 1u) << r.out;
}

TEST_F(LongRun, EveryOutputOnAFullDeviceEndsTheRunAtTheFirstFrame) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const std::string option : {"--frames", "--bodies", "--report"}) {
    const RunResult r = run(option + " /dev/full");
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_EQ(r.err.rfind("pairtrack: error: '/dev/full' could not be written at frame 1: ", 0), 0u)
        << option << ": " << r.err;
  }
}

TEST_F(LongRun, ProgressLinesComeOnlyWhenAskedFor) {
  const RunResult quiet = run("");
  EXPECT_EQ(without_classic_notice(quiet.err), "");
  const RunResult asked = run("--progress-every 0.000001");
  std::istringstream lines(without_classic_notice(asked.err));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_EQ(line.rfind("pairtrack: progress: frame " + std::to_string(count + 1) + ", t = ", 0),
              0u)
        << line;
  }
  EXPECT_EQ(count, 6);
  EXPECT_EQ(asked.out, quiet.out);
}

}  // namespace
}  // namespace pairtrack::detail
