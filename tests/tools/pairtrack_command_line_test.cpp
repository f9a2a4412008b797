// The pairtrack executable's command line and its progress line: --help and --version, the
// refusal of any other argument, no output on standard error unless it is a terminal, and the
// same report with the progress line shown under a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "history_tool_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const fs::path kExamples = fs::path(PAIRTRACK_SOURCE_DIR) / "examples";

struct Command {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs pairtrack with `args` (already quoted as needed) and an empty standard input.
Command run_with_args(const ScratchDir& dir, const std::string& args) {
  const std::string cmd = "cd '" + dir.path().string() + "' && '" PAIRTRACK_EXE "' " + args +
                          " < /dev/null > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  Command c;
  c.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
  c.out = read_file(dir / "stdout.txt");
  c.err = read_file(dir / "stderr.txt");
  return c;
}

TEST(PairtrackCommandLine, HelpDescribesTheRecordsFilesAndOutputs) {
  ScratchDir dir;
  for (const char* flag : {"--help", "-h"}) {
    const Command c = run_with_args(dir, flag);
    EXPECT_EQ(c.status, 0) << flag;
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out.rfind("Usage: pairtrack [OPTIONS] < run.in > report.txt\n", 0), 0u) << c.out;
    for (const char* item :
         {"  1  catalogue file name", "  3  encoding of the history file", "  10  v_esc",
          "hitrate_pairtrack_q.tmp", "standard output", "Exit status 0", "every seed of -1 or more",
          "--bodies FILE", "--frames FILE", "--pair-file NAME", "--strict", "--quiet"}) {
      EXPECT_NE(c.out.find(item), std::string::npos) << item;
    }
  }
}

TEST(PairtrackCommandLine, VersionIsTheProjectVersion) {
  ScratchDir dir;
  const Command c = run_with_args(dir, "--version");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.out, "pairtrack " PAIRTRACK_VERSION "\n");
  EXPECT_EQ(c.err, "");
}

TEST(PairtrackCommandLine, AnyOtherArgumentPointsToStandardInput) {
  ScratchDir dir;
  for (const char* args : {"run.in", "-v", "--help extra", "--strict run.in", "''"}) {
    const Command c = run_with_args(dir, args);
    EXPECT_EQ(c.status, 1) << args;
    EXPECT_EQ(c.err.rfind("pairtrack: error: unexpected argument '", 0), 0u) << c.err;
    EXPECT_EQ(lines_of(c.err).size(), 1u) << c.err;
    ASSERT_EQ(lines_of(c.out).size(), 1u) << c.out;
    EXPECT_EQ(c.out.rfind(" pairtrack: unexpected argument '", 0), 0u) << c.out;
    EXPECT_NE(c.out.find("the parameters come from standard input (pairtrack < run.in)"),
              std::string::npos)
        << c.out;
  }
}

class ExampleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"mainbelt.cat", "history_f8.bin"}) fs::copy_file(kExamples / f, dir / f);
    write_text(dir / "stdin.txt", read_file(kExamples / "example.in"));
  }
  ScratchDir dir;
};

// The example's catalogue holds pairs of nearly equal inclinations (delta down to 2e-4), whose
// 10 x 10 values are off by far more than 1 %: the closing notice is all there is.
TEST_F(ExampleRun, WithoutArgumentsAndWithoutATerminalStandardErrorHoldsOnlyTheNotice) {
  const RunResult r = run_pairtrack(dir, read_file(kExamples / "example.in"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, read_file(kExamples / "expected_report.txt"));
  EXPECT_EQ(r.err.rfind(kClassicNoticeStart, 0), 0u) << r.err;
  EXPECT_EQ(without_classic_notice(r.err), "");
}

// Runs the example with standard error on a pseudo-terminal (standard input and output are
// files) and returns what the terminal received.
std::string run_on_terminal(const ScratchDir& dir, int& status) {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return "forkpty failed";
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(120);
    const int in = ::open("stdin.txt", O_RDONLY);
    const int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0) ::_exit(121);
    ::execl(PAIRTRACK_EXE, PAIRTRACK_EXE, static_cast<char*>(nullptr));
    ::_exit(122);
  }
  std::string seen;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n > 0) {
      seen.append(buf, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  ::close(master);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
  return seen;
}

TEST_F(ExampleRun, OnATerminalAProgressLineIsShownAndTheReportIsUnchanged) {
  int status = -1;
  const std::string terminal = run_on_terminal(dir, status);
  EXPECT_EQ(status, 0) << terminal;
  EXPECT_EQ(read_file(dir / "stdout.txt"), read_file(kExamples / "expected_report.txt"));
  EXPECT_EQ(read_file(dir / "hitrate_pairtrack_q.tmp"),
            read_file(kExamples / "expected_pairs.txt"));
  EXPECT_NE(terminal.find("\rpairtrack: frame 1  t = 0 Myr  "), std::string::npos) << terminal;
  EXPECT_NE(terminal.find(" pairs/s  frame left "), std::string::npos) << terminal;
  // The six frames of the example hold 67500 pairs; the line ends with a newline (the
  // terminal turns it into CR LF).
  EXPECT_NE(terminal.find("\r\033[Kpairtrack: 6 frames, 67500 pairs in "), std::string::npos)
      << terminal;
  ASSERT_GE(terminal.size(), 2u);
  EXPECT_EQ(terminal.substr(terminal.size() - 2), "\r\n");
}

}  // namespace
}  // namespace pairtrack::detail
