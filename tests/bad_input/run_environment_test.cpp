// Files that are not what their names promise, run end to end: a history file or catalogue that
// is a directory, missing or unreadable, a name holding a NUL byte, catalogues of 30000 and
// 30001 orbits, a pair file that cannot be created or written, and a report that cannot be
// written.
#include <gtest/gtest.h>
#include <unistd.h>

#include "bad_input/bad_input_fixture.h"

namespace pairtrack::detail::bad_input {
namespace {

// Positions 1 and 2 of one frame at t = 0.5 Myr, both crossing the catalogue.
void write_inputs(const ScratchDir& dir) {
  write_catalog(dir / "cat.txt", two_orbits());
  write_history(dir / "hist.bin", 2, {{0.5e6, {{1, 2.5, 0.2, 0.1}, {2, 2.4, 0.15, 0.2}}}});
}

std::string last_line(const RunResult& r) {
  const std::vector<std::string> lines = r.lines();
  return lines.empty() ? std::string() : lines.back();
}

TEST(HistoryFileName, DirectoryOrMissingFileCannotBeOpened) {
  ScratchDir dir;
  write_inputs(dir);
  fs::create_directory(dir / "adir");
  for (const std::string name : {"adir", "missing.bin", "."}) {
    Params p = params_for(2);
    p.history = name;
    const RunResult r = run_pairtrack(dir, p.text());
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(last_line(r), " pairtrack: Error opening file " + shown(name));
  }
}

TEST(HistoryFileName, UnreadableFileCannotBeOpened) {
  // Permission bits do not stop the superuser (CI runs as root): the case cannot be made there.
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: an unreadable file cannot be made";
  ScratchDir dir;
  write_inputs(dir);
  fs::permissions(dir / "hist.bin", fs::perms::none);
  const RunResult r = run_pairtrack(dir, params_for(2).text());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r), " pairtrack: Error opening file " + shown("hist.bin"));
}

TEST(HistoryFileName, NameWithNulByteOpensNoOtherFile) {
  // "hist.bin" exists; the name "hist.bin<NUL>x" is not that file.
  ScratchDir dir;
  write_inputs(dir);
  Params p = params_for(2);
  p.history = std::string("hist.bin\0x", 10);
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r), " pairtrack: Error opening file " + shown(p.history));
}

TEST(CatalogFileName, DirectoryOrMissingFileCannotBeRead) {
  ScratchDir dir;
  write_inputs(dir);
  fs::create_directory(dir / "adir");
  for (const std::string name : {"adir", "missing.cat", ".."}) {
    Params p = params_for(2);
    p.catalog = name;
    const RunResult r = run_pairtrack(dir, p.text());
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.lines().size(), 6u) << r.out;
    EXPECT_EQ(last_line(r), " Error reading file " + shown(name));
  }
}

TEST(CatalogFileName, UnreadableFileCannotBeRead) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: an unreadable file cannot be made";
  ScratchDir dir;
  write_inputs(dir);
  fs::permissions(dir / "cat.txt", fs::perms::none);
  const RunResult r = run_pairtrack(dir, params_for(2).text());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r), " Error reading file " + shown("cat.txt"));
}

TEST(CatalogFileName, NameWithNulByteOpensNoOtherFile) {
  ScratchDir dir;
  write_inputs(dir);
  Params p = params_for(2);
  p.catalog = std::string("cat.txt\0x", 9);
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(last_line(r), " Error reading file " + shown(p.catalog));
}

TEST(CatalogSize, ThirtyThousandOrbitsAreReadAndOneMoreIsRefused) {
  ScratchDir dir;
  write_text(dir / "hist.bin", "");  // no frames: the catalogue is all that is read
  const std::string line = catalog_line({5.0, 0.1, 2.5}) + "\n";
  std::string text;
  text.reserve(30001 * line.size());
  for (int i = 0; i < 30000; ++i) text += line;
  write_text(dir / "cat.txt", text);
  RunResult r = run_pairtrack(dir, params_for(2).text());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.lines().at(5), fortran::FreeFormLine().text("# n = ").integer(30000).str());

  write_text(dir / "cat.txt", text + line);
  r = run_pairtrack(dir, params_for(2).text());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.lines().size(), 6u) << r.out;
  EXPECT_EQ(last_line(r), " pairtrack: orbit catalogue holds more than       30000 orbits");
}

// The pair file is created in the working directory; a directory or a link into a missing
// directory in its place cannot be opened for writing, whoever runs the program.
TEST(PairFile, PlaceTakenByADirectoryOrADanglingLinkCannotBeOpened) {
  for (const bool as_link : {false, true}) {
    ScratchDir dir;
    write_inputs(dir);
    if (as_link) {
      fs::create_symlink(dir / "missing_dir" / "pairs.txt", dir / "hitrate_pairtrack_q.tmp");
    } else {
      fs::create_directory(dir / "hitrate_pairtrack_q.tmp");
    }
    Params p = params_for(2);
    p.write_pairs = "T";
    const RunResult r = run_pairtrack(dir, p.text());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.lines().size(), 9u) << r.out;  // no frame line before the message
    EXPECT_EQ(last_line(r), " pairtrack: Error opening file " + shown("hitrate_pairtrack_q.tmp"));
  }
}

TEST(PairFile, FullDeviceIsAWriteError) {
  // A link to /dev/full opens, and every write to it fails: the lost pair lines must not pass
  // for a complete run.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchDir dir;
  write_inputs(dir);
  fs::create_symlink("/dev/full", dir / "hitrate_pairtrack_q.tmp");
  Params p = params_for(2);
  p.write_pairs = "T";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(last_line(r), " pairtrack: Error writing file " + shown("hitrate_pairtrack_q.tmp"));
  // Found at the first frame, not after the whole run: the eight lines before the frames, one
  // frame line, the message; no closing line.
  EXPECT_EQ(r.lines().size(), 10u) << r.out;
  EXPECT_EQ(r.out.find("t_max"), std::string::npos);
}

TEST(Report, StandardOutputThatCannotBeWrittenIsAFailure) {
  // Every write to /dev/full fails: the report is lost, so the run must not end with status 0.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchDir dir;
  write_inputs(dir);
  write_text(dir / "stdin.txt", params_for(2).text());
  const std::string cmd = "cd '" + dir.path().string() +
                          "' && '" PAIRTRACK_EXE "' < stdin.txt > /dev/full 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_EQ(read_file(dir / "stderr.txt"),
            "pairtrack: error: standard output could not be written at frame 1: No space left on "
            "device\n");
  // The same run with a working standard output succeeds.
  EXPECT_EQ(run_pairtrack(dir, params_for(2).text()).status, 0);
}

}  // namespace
}  // namespace pairtrack::detail::bad_input
