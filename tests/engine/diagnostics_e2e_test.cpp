// Diagnostics end to end: every warning triggered by the input that causes it, with the report
// and the exit status the same as without diagnostics (--quiet), --strict turning it into an
// error end, and the reason given on standard error for the error ends.
#include <gtest/gtest.h>

#include <functional>

#include "engine/run_fixture.h"

namespace pairtrack::detail {
namespace {

using namespace testing_support;

const Body kBody{1, 2.6, 0.12, 0.1396263};
const Body kLowBody{2, 1.5, 0.4, 0.05};  // q = 0.9 AU

struct WarningCase {
  const char* name;
  // Writes the files and changes the parameters (the catalogue and a two-frame history of two
  // bodies are written before).
  std::function<void(const ScratchDir&, Params&)> setup;
  const char* warning;  // a piece of the warning's text
  // Lines on standard error: the one warning, unless the input causes others too (a repeat
  // in a single record must not add a count line).
  std::size_t err_lines = 1;
};

void two_frames(const ScratchDir& dir, int code = 2) {
  write_history(dir / "hist.bin", code, {{1e6, {kBody, kLowBody}}, {2e6, {kBody, kLowBody}}});
}

void raw_history(const ScratchDir& dir, const std::function<void(HistoryWriter&)>& write) {
  HistoryWriter w;
  ASSERT_TRUE(w.open((dir / "hist.bin").string()));
  write(w);
  ASSERT_TRUE(w.close());
}

const WarningCase kWarnings[] = {
    {"SeedNotNegativeWithDraws",
     [](const ScratchDir&, Params& p) {
       p.q_crit = "1.0";
       p.p_crit = "0.5";
       p.iseed = "12345";
     },
     "iseed = 12345 is not negative: every seed of -1 or more starts the generator's sequence"},
    // Zero is not negative either: it starts the same sequence as -1.
    {"SeedZeroWithDraws",
     [](const ScratchDir&, Params& p) {
       p.q_crit = "1.0";
       p.p_crit = "0.5";
       p.iseed = "0";
     },
     "iseed = 0 is not negative: every seed of -1 or more starts the generator's sequence"},
    {"NegativeQCrit", [](const ScratchDir&, Params& p) { p.q_crit = "-1"; },
     "q_crit = -1.0000000000000000 AU is negative"},
    {"PCritAboveOne", [](const ScratchDir&, Params& p) { p.p_crit = "2"; },
     "p_crit = 2.0000000000000000 is outside [0, 1]: it is compared with a uniform number in"
     " (0, 1), so it acts as 1"},
    {"NegativeEscapeVelocity", [](const ScratchDir&, Params& p) { p.v_esc = "-5"; },
     "v_esc = -5.0000000000000000 km/s is negative: the focusing uses its square"},
    {"RangeEmpty", [](const ScratchDir&, Params& p) { p.n2_range = "3 2"; },
     "n2_max = 2 is below n2_min = 3"},
    {"NegativeTimeDivisor", [](const ScratchDir&, Params& p) { p.time_divisor = "-1e6"; },
     "time_divisor = -1000000.0000000000 is negative"},
    {"WrongEncoding", [](const ScratchDir&, Params& p) { p.format_code = "0"; },
     "its first header record holds 12 bytes, but format code 0 (16-bit scaled) expects 10;"
     " that is the header length of format 2 (float64): check record 3",
     2},  // and the data end at the first body record
    {"FileCutInsideAFrame",
     [](const ScratchDir& dir, Params&) {
       const std::string whole = read_file(dir / "hist.bin");
       write_text(dir / "hist.bin", whole.substr(0, whole.size() - 30));
     },
     "the file ends inside the record at byte offset 214 (frame 2 is incomplete, a file still"
     " being written?)"},
    {"NegativeMarker",
     [](const ScratchDir& dir, Params&) {
       raw_history(dir, [](HistoryWriter& w) {
         ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 1e6, 1, 1));
         ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1, 2.6, 0.12, 0.1, 0, 0, 0));
         const unsigned char payload[12] = {};
         ASSERT_TRUE(w.record(-12, payload, -12));
       });
     },
     "the record at byte offset 78 has a negative length marker (-12): the data end there,"
     " after frame 1"},
    {"EmptyFrameWithDataAfterIt",
     [](const ScratchDir& dir, Params&) {
       raw_history(dir, [](HistoryWriter& w) {
         ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 1e6, 1, 0));
         ASSERT_TRUE(w.header(pairtrack::HistoryFormat::float64, 2e6, 1, 1));
         ASSERT_TRUE(w.body(pairtrack::HistoryFormat::float64, 1, 2.6, 0.12, 0.1, 0, 0, 0));
       });
     },
     "the header of frame 1 (byte offset 0) announces no bodies, but 78 bytes follow it"},
    {"CatalogueEmpty", [](const ScratchDir& dir, Params&) { write_text(dir / "cat.txt", ""); },
     "catalogue 'cat.txt' holds no orbit"},
    {"CatalogueBlankLineInTheMiddle",
     [](const ScratchDir& dir, Params&) {
       write_text(dir / "cat.txt",
                  catalog_line({10, 0.15, 2.7}) + "\n\n" + catalog_line({5, 0.1, 2.5}) + "\n");
     },
     "catalogue 'cat.txt': reading stopped at line 2, a blank line; 1 line after it is not read"},
    {"CatalogueHeaderLine",
     [](const ScratchDir& dir, Params&) {
       write_text(dir / "cat.txt", std::string("designation") + std::string(140, ' ') +
                                       "inc e a\n" + catalog_line({10, 0.15, 2.7}) + "\n");
     },
     "reading stopped at line 1: its columns 148-182 ('    inc e a') do not hold three numbers",
     2},  // and the catalogue holds no orbit
    {"CataloguePlainColumns",
     [](const ScratchDir& dir, Params&) { write_text(dir / "cat.txt", "10.0\t0.15\t2.7\n"); },
     "which ends before column 148 (it has 13 characters): the catalogue is a fixed-column"
     " layout",
     2},  // and the catalogue holds no orbit
    {"CatalogueEccentricity",
     [](const ScratchDir& dir, Params&) {
       write_catalog(dir / "cat.txt", {{10, 0.15, 2.7}, {10, 1.5, 2.7}});
     },
     "catalogue 'cat.txt' line 2: e = 1.5000000000000000 is outside [0, 1)"},
    // A parabola (e = 1 exactly) is not a bound ellipse either.
    {"CatalogueParabolic",
     [](const ScratchDir& dir, Params&) {
       write_catalog(dir / "cat.txt", {{10, 1.0, 2.7}});
     },
     "catalogue 'cat.txt' line 1: e = 1.0000000000000000 is outside [0, 1)"},
    {"CatalogueInclination",
     [](const ScratchDir& dir, Params&) {
       write_catalog(dir / "cat.txt", {{190, 0.15, 2.7}});
     },
     "catalogue 'cat.txt' line 1: inclination 190.00000000000000 degrees is outside [0, 180]"},
    {"CatalogueSemimajorAxis",
     [](const ScratchDir& dir, Params&) {
       write_catalog(dir / "cat.txt", {{10, 0.15, -2.7}});
     },
     "catalogue 'cat.txt' line 1: a = -2.7000000000000002 AU is not positive"},
    {"HistoryInclinationInDegrees",
     [](const ScratchDir& dir, Params&) {
       write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 0.12, 5.0}}}});
     },
     "frame 1, body 1 at position 1: inclination 5.0000000000000000 rad is outside [0, pi]"},
    {"HistoryHyperbolic",
     [](const ScratchDir& dir, Params&) {
       write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 1.2, 0.1}}}});
     },
     "frame 1, body 1 at position 1: e = 1.2000000000000000 is outside [0, 1)"},
    {"HistoryParabolic",
     [](const ScratchDir& dir, Params&) {
       write_history(dir / "hist.bin", 2, {{1e6, {{1, 2.6, 1.0, 0.1}}}});
     },
     "frame 1, body 1 at position 1: e = 1.0000000000000000 is outside [0, 1)"},
    {"HistoryNegativeAxis",
     [](const ScratchDir& dir, Params&) {
       write_history(dir / "hist.bin", 2, {{1e6, {{1, -2.6, 0.12, 0.1}}}});
     },
     "frame 1, body 1 at position 1: a = -2.6000000000000001 AU is not positive"},
    {"TimeTooWideForTheReport", [](const ScratchDir&, Params& p) { p.time_divisor = "1"; },
     "frame 1 has the time 1000000.0000000000 Myr, too wide for the report's time field"
     " (f16.10): it is written as asterisks",
     2},  // and the count of the two frames
};

class Warning : public ::testing::TestWithParam<WarningCase> {
 protected:
  void SetUp() override {
    write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
    two_frames(dir);
    p.n2_range = "1 2";
    GetParam().setup(dir, p);
  }
  ScratchDir dir;
  Params p;
};

// A warning met once is one line on standard error: no count of repeats follows it.
TEST_P(Warning, IsReportedOnceWithoutChangingTheReportQuietSilencesItStrictEndsTheRun) {
  const RunResult quiet = run_pairtrack(dir, p.text(), "", "--quiet");
  const RunResult normal = run_pairtrack(dir, p.text());
  EXPECT_EQ(normal.out, quiet.out);
  EXPECT_EQ(normal.status, quiet.status);
  EXPECT_EQ(quiet.err, "");
  const std::string expected = GetParam().warning;
  std::size_t err_lines = 0;
  std::size_t matching = 0;
  std::istringstream err(normal.err);
  for (std::string line; std::getline(err, line);) {
    ++err_lines;
    EXPECT_EQ(line.rfind("pairtrack: warning: ", 0), 0u) << line;
    matching += line.find(expected) != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(matching, 1u) << normal.err;
  EXPECT_EQ(err_lines, GetParam().err_lines) << normal.err;

  const RunResult strict = run_pairtrack(dir, p.text(), "", "--strict");
  EXPECT_EQ(strict.status, 1);
  const std::vector<std::string> lines = strict.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind(" pairtrack: stopped by --strict: ", 0), 0u) << strict.out;
  // Everything before the stop is what the run had written by then.
  const std::string before = strict.out.substr(0, strict.out.size() - lines.back().size() - 1);
  EXPECT_EQ(normal.out.rfind(before, 0), 0u);
  EXPECT_EQ(strict.err.rfind("pairtrack: error: ", 0), 0u) << strict.err;
}

INSTANTIATE_TEST_SUITE_P(Diagnostics, Warning, ::testing::ValuesIn(kWarnings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Diagnostics, CleanRunsAndTheBundledExampleKeepStandardErrorEmpty) {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}, {5, 0.1, 2.5}});
  two_frames(dir);
  Params p;
  p.n2_range = "1 2";
  p.q_crit = "1.0";
  p.p_crit = "0.5";
  p.iseed = "-7";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(Diagnostics, RepeatedWarningsAreCountedAtTheEnd) {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
  write_history(dir / "hist.bin", 2,
                {{1e6, {{1, 2.6, 1.2, 0.1}, {2, 2.6, 1.3, 0.1}}}, {2e6, {{1, 2.6, 1.2, 0.1}}}});
  Params p;
  p.n2_range = "1 2";
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 0);
  const std::string counted =
      "pairtrack: warning: history body records with e outside [0, 1): 3 in this run (the first "
      "is reported above)\n";
  EXPECT_NE(r.err.find(counted), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("body 2"), std::string::npos) << r.err;  // reported once
}

// Error ends: the report and status as always, the reason on standard error.
struct ErrorCase {
  const char* name;
  std::function<void(const ScratchDir&, Params&)> setup;
  const char* last_line;  // the report's last line, without the leading blank
  const char* reason;     // the line on standard error, without "pairtrack: error: "
};

const ErrorCase kErrors[] = {
    {"MissingCatalogue", [](const ScratchDir&, Params& p) { p.catalog = "none.cat"; },
     "Error reading file none.cat",
     "catalogue 'none.cat' cannot be read: No such file or directory"},
    {"MissingHistory", [](const ScratchDir&, Params& p) { p.history = "none.bin"; },
     "pairtrack: Error opening file none.bin",
     "history file 'none.bin' cannot be opened: No such file or directory"},
    {"PairFileIsADirectory",
     [](const ScratchDir& dir, Params& p) {
       fs::create_directory(dir / "hitrate_pairtrack_q.tmp");
       p.write_pairs = "T";
     },
     "pairtrack: Error opening file hitrate_pairtrack_q.tmp",
     "pair file 'hitrate_pairtrack_q.tmp' cannot be written: Is a directory"},
    {"FormatCode", [](const ScratchDir&, Params& p) { p.format_code = "7"; },
     "pairtrack: Unknown binary file format specified.",
     "record 3: format code 7 is not 0 (16-bit scaled), 1 (float32) or 2 (float64)"},
    {"UnreadableRecord", [](const ScratchDir&, Params& p) { p.v_esc = "fast"; },
     "Error reading standard input.",
     "standard input, record 10 (v_esc): found 'fast' where a real number is expected"},
    {"IdentifierOutOfRange",
     [](const ScratchDir& dir, Params&) {
       write_history(dir / "hist.bin", 2, {{1e6, {{0, 2.6, 0.12, 0.1}}}});
     },
     "pairtrack: body identifier           0 outside 1 to       30000",
     "frame 1, position 1: body identifier 0 is outside 1 to 30000"},
    // An operating-system read error ends the run as an error, never as the end of the data.
    {"CatalogueReadError", [](const ScratchDir&, Params& p) { p.catalog = "/proc/self/mem"; },
     "Error reading file /proc/self/mem",
     "catalogue '/proc/self/mem': read failed after 0 lines: Input/output error"},
    {"HistoryReadError", [](const ScratchDir&, Params& p) { p.history = "/proc/self/mem"; },
     "pairtrack: Error reading file /proc/self/mem",
     "history file '/proc/self/mem': read failed at byte offset 0: Input/output error"},
};

class ErrorEnd : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorEnd, KeepsItsMessageAndStatusAndGivesTheReason) {
  ScratchDir dir;
  write_catalog(dir / "cat.txt", {{10.0, 0.15, 2.7}});
  two_frames(dir);
  Params p;
  GetParam().setup(dir, p);
  const RunResult r = run_pairtrack(dir, p.text());
  EXPECT_EQ(r.status, 1);
  std::string last = r.lines().back();
  last.erase(last.find_last_not_of(' ') + 1);
  EXPECT_EQ(last, std::string(" ") + GetParam().last_line);
  EXPECT_EQ(r.err, std::string("pairtrack: error: ") + GetParam().reason + "\n");
  if (std::string(GetParam().name) == "CatalogueReadError") {
    EXPECT_EQ(r.out.find("# n ="), std::string::npos) << "a read error writes no count line";
  }
}

INSTANTIATE_TEST_SUITE_P(Diagnostics, ErrorEnd, ::testing::ValuesIn(kErrors),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pairtrack::detail
