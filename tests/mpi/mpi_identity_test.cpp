// pairtrack-mpi against pairtrack: standard output, standard error, the exit status, the pair
// file and the --bodies, --frames and --speed-histogram tables byte for byte, for 1 to 4 ranks, on
// the bundled example, many small frames, frames split across ranks and every kind of error end;
// and a killed rank ending the run with a failure, not a hang.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <random>
#include <thread>

#include "engine/pair_evaluation.h"
#include "engine/run_fixture.h"
#include "engine/run_storage.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";
// Open MPI refuses root unless told (CI runs as root); -q keeps mpirun's own notices off
// standard error, which must hold only the program's diagnostics. When a rank ends with a
// failure, mpirun waits a second or two before it kills what is left of the job; every rank
// here ends by itself, and without that grace the failure cases run six times faster. The
// ranks' threads outnumber the cores here: waiting threads sleep instead of spinning.
const std::string kMpiEnv =
    "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
    "OMPI_MCA_odls_base_sigkill_timeout=0 OMP_WAIT_POLICY=passive";
const std::string kMpirun = "'" PAIRTRACK_MPIRUN "' -q --oversubscribe";
const std::string kMpi = kMpiEnv + " " + kMpirun;

struct Outputs {
  RunResult run;
  std::string bodies, frames, speeds;
};

// One run in `dir`: the serial program (ranks 0) or pairtrack-mpi on `ranks` ranks.
Outputs run_in(const ScratchDir& dir, const std::string& input, int ranks, const std::string& env,
               const std::string& args) {
  for (const char* f : {"hitrate_pairtrack_q.tmp", "bodies.csv", "frames.csv", "speeds.csv"}) {
    fs::remove(dir / f);
  }
  write_text(dir / "stdin.txt", input);
  const std::string program =
      ranks == 0 ? "'" PAIRTRACK_EXE "'"
                 : kMpi + " -n " + std::to_string(ranks) + " '" PAIRTRACK_MPI_EXE "'";
  const std::string cmd = "cd '" + dir.path().string() + "' && " + env + " " + program + " " +
                          args + " < stdin.txt > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  Outputs o;
  o.run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  o.run.out = read_file(dir / "stdout.txt");
  o.run.err = read_file(dir / "stderr.txt");
  o.run.pairs = read_file(dir / "hitrate_pairtrack_q.tmp");
  o.bodies = read_file(dir / "bodies.csv");
  o.frames = read_file(dir / "frames.csv");
  o.speeds = read_file(dir / "speeds.csv");
  return o;
}

struct Scenario {
  const char* name;
  std::function<void(const ScratchDir&, Params&)> setup;
  std::string env = "";                           // for pairtrack-mpi only
  const char* last_line = " # pairtrack: t_max";  // the start of the report's last line
  const char* args = "";                          // further options of both programs
  std::vector<int> ranks = {1, 2, 3, 4};          // the rank counts of pairtrack-mpi
};

// `frames` frames of `bodies` main-belt bodies drifting inwards (some fall below q_crit).
std::vector<Frame> drifting_frames(int frames, int bodies, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<Body> start;
  for (int j = 0; j < bodies; ++j) {
    start.push_back({j + 1, 2.1 + 1.3 * u(rng), 0.3 * u(rng), 0.5 * u(rng)});
  }
  std::vector<Frame> out;
  for (int f = 0; f < frames; ++f) {
    Frame frame{1e5 * f, {}};
    for (Body b : start) {
      b.e = std::min(0.9, b.e + 0.01 * f * u(rng));
      frame.bodies.push_back(b);
    }
    out.push_back(frame);
  }
  return out;
}

void example_files(const ScratchDir& dir) {
  for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
}

void small_frames(const ScratchDir& dir, Params& p) {
  example_files(dir);
  write_history(dir / "hist.bin", 2, drifting_frames(60, 12, 7));
  p.catalog = "mainbelt.cat";
  p.n2_range = "1 12";
  p.time_divisor = "1e6";
  p.write_pairs = "T";
  p.q_crit = "2.0";
  p.p_crit = "0.3";
  p.iseed = "-99";
}

// As small_frames, with 60 bodies per frame (18000 pairs: 9 blocks of the smallest size).
void wide_frames(const ScratchDir& dir, Params& p) {
  small_frames(dir, p);
  write_history(dir / "hist.bin", 2, drifting_frames(8, 60, 9));
  p.n2_range = "1 60";
}

// Three frames of 1000 bodies, then 500 of one body: rank 0 evaluates the small frames itself
// while the other ranks hold the large ones, and runs ahead until every slot is taken.
void uneven_frames(const ScratchDir& dir, Params& p) {
  small_frames(dir, p);
  std::vector<Frame> frames = drifting_frames(3, 1000, 21);
  for (const Frame& f : drifting_frames(500, 1, 22)) frames.push_back(f);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i].time = 1e5 * static_cast<double>(i);
  write_history(dir / "hist.bin", 2, frames);
  p.n2_range = "1 1000";
}

// A catalogue orbit and a body whose distance ranges touch to the last bits, so that no overlap
// case holds for the pair and the run writes "The line did not make any of the checks".
void touching_pair(const ScratchDir& dir, Params& p) {
  const double a1 = 2.3;
  for (int k = 1; k < 4000; ++k) {
    char e_text[40];
    std::snprintf(e_text, sizeof e_text, "%.17g", 0.05 + 1e-4 * k);
    const double e = std::strtod(e_text, nullptr);
    for (int u = 0; u < 8; ++u) {
      const double a2 = a1 * (1.0 + 2.220446049250313e-16 * u);
      const PreparedOrbit o1 =
          prepare_orbit(a1 * pairtrack::kCentimetresPerAu, e, 0.1 * pairtrack::kRadiansPerDegree);
      const PreparedOrbit o2 = prepare_orbit(a2 * pairtrack::kCentimetresPerAu, e, 0.2);
      double proba = 0, impvel = 0;
      if (evaluate_pairs({&o1, 1}, {&o2, 1}, 0.0, PairSlots{&proba, &impvel}, 1) == 1) {
        write_text(dir / "cat.txt", std::string(147, ' ') + " 0.1 " + e_text + " 2.3\n");
        write_history(dir / "hist.bin", 2,
                      {{1e6, {{1, a2, e, 0.2}}}, {2e6, {{1, a2, e, 0.2}, {2, 2.5, 0.2, 0.1}}}});
        p.n2_range = "1 2";
        return;
      }
    }
  }
  FAIL() << "no touching pair found";
}

// The accurate mode on a small catalogue with a divergent pair (body 1 is catalogue orbit 1) and
// an equal-inclination one, over frames of drifting bodies.
void accurate_frames(const ScratchDir& dir, Params& p) {
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {5.0, 0.1, 2.5}, {12.0, 0.2, 2.9}});
  std::vector<Frame> frames = drifting_frames(6, 5, 11);
  for (Frame& f : frames) f.bodies[0] = {1, 2.7, 0.15, 10.0 * kRadiansPerDegree};
  frames[2].bodies[3].inc_rad = 5.0 * kRadiansPerDegree;
  write_history(dir / "hist.bin", 2, frames);
  p.n2_range = "1 5";
  p.v_esc = "1";
}

const Scenario kScenarios[] = {
    {"BundledExample",
     [](const ScratchDir& dir, Params& p) {
       example_files(dir);
       p = Params{};
       p.catalog = "mainbelt.cat";
       p.history = "history_f8.bin";
       p.n2_range = "1 40";
       p.write_pairs = "T";
       p.q_crit = "1.8";
       p.p_crit = "0.5";
       p.iseed = "-12345";
     }},
    {"ManySmallFrames", small_frames},
    {"FramesSplitAcrossRanks", small_frames,
     "PAIRTRACK_MPI_SPLIT_PAIRS=1000 PAIRTRACK_MPI_BLOCK_PAIRS=97"},
    {"NoCaseLinesInPlace", touching_pair},
    {"NoCaseLinesInASplitFrame", touching_pair,
     "PAIRTRACK_MPI_SPLIT_PAIRS=1 PAIRTRACK_MPI_BLOCK_PAIRS=1"},
    {"RefusalInFrameSeven",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       std::vector<Frame> frames = drifting_frames(9, 12, 3);
       frames[6].bodies[4].id = 31000;
       write_history(dir / "hist.bin", 2, frames);
     },
     "", " pairtrack: body identifier"},
    {"StrictWarningInFrameSeven",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       std::vector<Frame> frames = drifting_frames(9, 12, 3);
       frames[6].bodies[4].e = 1.5;
       write_history(dir / "hist.bin", 2, frames);
     },
     "", " pairtrack: stopped by --strict"},
    {"TruncatedHistory",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       const std::string whole = read_file(dir / "hist.bin");
       write_text(dir / "hist.bin", whole.substr(0, whole.size() / 2 + 13));
     }},
    {"DamagedHistory",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       std::string whole = read_file(dir / "hist.bin");
       whole[20 + 58 * 12 + 20 + 58 * 3] = '\xff';  // a negative marker in frame 2
       whole[20 + 58 * 12 + 20 + 58 * 3 + 3] = '\xff';
       write_text(dir / "hist.bin", whole);
     }},
    {"MissingCatalogue",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       p.catalog = "missing.cat";
     },
     "", " Error reading file missing.cat"},
    {"UnreadableHistory",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       p.history = "/proc/self/mem";
     },
     "", " pairtrack: Error reading file /proc/self/mem"},
    {"SpeedHistograms", small_frames, "", " # pairtrack: t_max",
     "--speed-histogram speeds.csv --speed-bins 0:30:0.5"},
    // Blocks of 97 pairs become blocks of whole bodies.
    {"SpeedHistogramsSplitAcrossRanks",
     [](const ScratchDir& dir, Params& p) {
       small_frames(dir, p);
       p.v_esc = "2.5";
     },
     "PAIRTRACK_MPI_SPLIT_PAIRS=1000 PAIRTRACK_MPI_BLOCK_PAIRS=797", " # pairtrack: t_max",
     "--speed-histogram speeds.csv"},
    {"SpeedHistogramsAccurateSplit", accurate_frames,
     "PAIRTRACK_MPI_SPLIT_PAIRS=1 PAIRTRACK_MPI_BLOCK_PAIRS=4", " # pairtrack: t_max",
     "--accuracy 1e-5 --speed-histogram speeds.csv"},
    {"AccurateMode", accurate_frames, "", " # pairtrack: t_max", "--accuracy 1e-5"},
    {"AccurateModeSplitAcrossRanks", accurate_frames,
     "PAIRTRACK_MPI_SPLIT_PAIRS=1 PAIRTRACK_MPI_BLOCK_PAIRS=4", " # pairtrack: t_max",
     "--accuracy 1e-5"},
    // More ranks than rank 0 answers while evaluating blocks itself, blocks sized from the
    // frame's pairs and the ranks (most ranks get none of a frame's few blocks).
    {"SplitFramesOnManyRanks",
     wide_frames,
     "PAIRTRACK_MPI_SPLIT_PAIRS=1000",
     " # pairtrack: t_max",
     "",
     {2, 18}},
    // More frames in flight than 256, as on more than 85 ranks.
    {"ManyFramesInFlight",
     uneven_frames,
     "PAIRTRACK_MPI_FRAMES_IN_FLIGHT=300",
     " # pairtrack: t_max",
     "",
     {2, 3}},
    {"PairCapacityInFrameSeven",
     [](const ScratchDir& dir, Params& p) {
       std::string catalog;
       for (int k = 0; k < 30000; ++k)
         catalog += catalog_line({5.0 + k % 20, 0.1, 2.2 + 1e-5 * k}) + "\n";
       write_text(dir / "cat.txt", catalog);
       std::vector<Frame> frames = drifting_frames(7, 1, 5);
       frames[6] = drifting_frames(1, 334, 6)[0];
       write_history(dir / "hist.bin", 2, frames);
       p.n2_range = "1 334";
     },
     "", " Error: number of orbit pairs"},
};

class MpiIdentity : public ::testing::TestWithParam<Scenario> {};

TEST_P(MpiIdentity, EveryRankCountGivesThePairtrackOutputsByteForByte) {
  const Scenario& s = GetParam();
  ScratchDir dir;
  Params p;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
  s.setup(dir, p);
  const std::string args = std::string("--bodies bodies.csv --frames frames.csv ") + s.args +
                           (std::string(s.name).starts_with("Strict") ? " --strict" : "");
  const Outputs serial = run_in(dir, p.text(), 0, "", args);
  ASSERT_EQ(serial.run.lines().back().rfind(s.last_line, 0), 0u) << serial.run.out;
  ASSERT_EQ(serial.speeds.empty(),
            std::string(s.args).find("--speed-histogram") == std::string::npos);
  for (const int ranks : s.ranks) {
    const Outputs mpi = run_in(dir, p.text(), ranks, s.env, args);
    EXPECT_EQ(mpi.run.status, serial.run.status) << ranks << " ranks\n" << mpi.run.err;
    EXPECT_EQ(mpi.run.out, serial.run.out) << ranks << " ranks";
    EXPECT_EQ(mpi.run.err, serial.run.err) << ranks << " ranks";
    EXPECT_EQ(mpi.run.pairs, serial.run.pairs) << ranks << " ranks";
    EXPECT_EQ(mpi.bodies, serial.bodies) << ranks << " ranks";
    EXPECT_EQ(mpi.frames, serial.frames) << ranks << " ranks";
    EXPECT_EQ(mpi.speeds, serial.speeds) << ranks << " ranks";
  }
}

INSTANTIATE_TEST_SUITE_P(Mpi, MpiIdentity, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

// A run stopped (SIGTERM at a frame boundary on rank 0, or rank 0 killed outright) and resumed
// from its checkpoint, on any rank counts, gives every output of the serial run byte for byte.
struct MpiStop {
  int ranks_before, ranks_after, signal, frame;
};

class MpiKillAndResume : public ::testing::TestWithParam<MpiStop> {};

TEST_P(MpiKillAndResume, TheResumedRunGivesThePairtrackOutputs) {
  const MpiStop stop = GetParam();
  ScratchDir dir;
  Params p;
  small_frames(dir, p);
  const std::string args =
      "--report report.txt --bodies bodies.csv --frames frames.csv --speed-histogram speeds.csv";
  const Outputs serial = run_in(dir, p.text(), 0, "", args);
  ASSERT_EQ(serial.run.status, 0) << serial.run.err;
  const std::string report = read_file(dir / "report.txt");
  const Outputs first = run_in(
      dir, p.text(), stop.ranks_before,
      "PAIRTRACK_TEST_RAISE=" + std::to_string(stop.frame) + ":" + std::to_string(stop.signal),
      args + " --checkpoint run.ckpt");
  EXPECT_NE(first.run.status, 0);
  if (stop.signal == SIGTERM) {
    EXPECT_EQ(first.run.status, 128 + SIGTERM) << first.run.err;
    EXPECT_NE(first.run.err.find("pairtrack: stopped by signal 15 after frame "), std::string::npos)
        << first.run.err;
  }
  ASSERT_TRUE(fs::exists(dir / "run.ckpt"));
  // run_in removes the tables before a run: the resumed run needs the interrupted ones.
  fs::copy_file(dir / "bodies.csv", dir / "bodies.keep");
  fs::copy_file(dir / "frames.csv", dir / "frames.keep");
  fs::copy_file(dir / "speeds.csv", dir / "speeds.keep");
  fs::copy_file(dir / "hitrate_pairtrack_q.tmp", dir / "pairs.keep");
  const std::string resume =
      "mv bodies.keep bodies.csv && mv frames.keep frames.csv && mv speeds.keep speeds.csv && "
      "mv pairs.keep hitrate_pairtrack_q.tmp && ";
  const Outputs resumed = run_in(dir, p.text(), stop.ranks_after, resume,
                                 args + " --checkpoint run.ckpt --resume run.ckpt");
  EXPECT_EQ(resumed.run.status, 0) << resumed.run.err;
  EXPECT_EQ(read_file(dir / "report.txt"), report);
  EXPECT_EQ(resumed.run.pairs, serial.run.pairs);
  EXPECT_EQ(resumed.bodies, serial.bodies);
  EXPECT_EQ(resumed.frames, serial.frames);
  EXPECT_EQ(resumed.speeds, serial.speeds);
}

INSTANTIATE_TEST_SUITE_P(Ranks, MpiKillAndResume,
                         ::testing::Values(MpiStop{2, 2, SIGTERM, 7}, MpiStop{3, 2, SIGTERM, 30},
                                           MpiStop{2, 3, SIGKILL, 12}, MpiStop{3, 3, SIGKILL, 41}));

// The pid of the pairtrack-mpi process of MPI rank `rank` that runs in the folder `cwd` (other
// tests may run MPI jobs at the same time: their ranks must never be taken), or 0.
pid_t find_rank(int rank, const fs::path& cwd) {
  const std::string wanted = "OMPI_COMM_WORLD_RANK=" + std::to_string(rank);
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (read_file(entry.path() / "cmdline").find("pairtrack-mpi") == std::string::npos) continue;
    std::error_code ec;
    if (fs::read_symlink(entry.path() / "cwd", ec) != fs::canonical(cwd, ec)) continue;
    std::string env = read_file(entry.path() / "environ");
    for (char& c : env) c = c == '\0' ? '\n' : c;
    if (("\n" + env).find("\n" + wanted + "\n") != std::string::npos) return std::stoi(name);
  }
  return 0;
}

TEST(MpiFaults, AKilledRankEndsTheRunWithAFailureAndNoClosingLine) {
  ScratchDir dir;
  Params p;
  small_frames(dir, p);
  write_history(dir / "hist.bin", 2, drifting_frames(3000, 40, 11));
  p.n2_range = "1 40";
  write_text(dir / "stdin.txt", p.text());
  const std::string cmd = "cd '" + dir.path().string() + "' && (" + kMpiEnv + " timeout 120 " +
                          kMpirun +
                          " -n 3 '" PAIRTRACK_MPI_EXE
                          "' < stdin.txt > stdout.txt 2> stderr.txt; echo $? > status.tmp;"
                          " mv status.tmp status.txt) &";  // whole or absent, never half-written
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t victim = 0;
  while (victim == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    victim = find_rank(1, dir.path());
  }
  ASSERT_NE(victim, 0) << "rank 1 never started: " << read_file(dir / "stderr.txt")
                       << read_file(dir / "status.txt");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let frames flow
  ASSERT_EQ(::kill(victim, SIGKILL), 0);
  while (!fs::exists(dir / "status.txt") &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(150)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::string status = read_file(dir / "status.txt");
  ASSERT_FALSE(status.empty()) << "the run did not end";
  EXPECT_NE(std::stoi(status), 0);
  EXPECT_NE(std::stoi(status), 124) << "ended by the timeout, not by the failure";
  EXPECT_EQ(read_file(dir / "stdout.txt").find("t_max"), std::string::npos);
}

}  // namespace
}  // namespace pairtrack::detail
