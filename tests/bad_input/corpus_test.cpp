// The bad-input corpus: parameter records and catalogues in tests/bad_input/corpus/, each run
// end to end by the pairtrack executable next to a small valid catalogue and history file. The
// file EXPECTED gives, per input, the exit status, a line the report must hold (for exit
// status 1, its last line: the message the run ends with) and the start of the diagnostics on
// standard error (a warning or the reason of the error; none for a clean run).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "bad_input/bad_input_fixture.h"

namespace pairtrack::detail::bad_input {
namespace {

struct CorpusCase {
  std::string file;
  int status;
  std::string line;
  std::string err;  // start of standard error; empty: standard error stays empty
};

std::vector<CorpusCase> load_expected() {
  std::vector<CorpusCase> cases;
  std::ifstream in(PAIRTRACK_SOURCE_DIR "/tests/bad_input/corpus/EXPECTED");
  for (std::string l; std::getline(in, l);) {
    if (l.empty() || l[0] == '#') continue;
    std::istringstream fields(l);
    CorpusCase c;
    std::string status;
    std::getline(fields, c.file, '\t');
    std::getline(fields, status, '\t');
    std::getline(fields, c.line, '\t');
    std::getline(fields, c.err);
    c.status = std::stoi(status);
    cases.push_back(c);
  }
  return cases;
}

// Shown by GoogleTest when a case fails.
void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.file; }

std::string case_name(const ::testing::TestParamInfo<CorpusCase>& info) {
  std::string name;
  for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class Corpus : public ::testing::TestWithParam<CorpusCase> {};

TEST(CorpusManifest, ListsEveryCorpusFile) {
  const std::vector<CorpusCase> cases = load_expected();
  std::size_t files = 0;
  for (const char* dir : {"parameters", "catalogs"}) {
    for (const auto& entry :
         fs::directory_iterator(fs::path(PAIRTRACK_SOURCE_DIR "/tests/bad_input/corpus") / dir)) {
      ++files;
      const std::string rel = std::string(dir) + "/" + entry.path().filename().string();
      EXPECT_TRUE(std::any_of(cases.begin(), cases.end(),
                              [&](const CorpusCase& c) { return c.file == rel; }))
          << rel << " has no expected result";
    }
  }
  EXPECT_EQ(files, cases.size());
  EXPECT_GE(cases.size(), 40u);
}

TEST_P(Corpus, EndsWithTheExpectedMessageAndStatus) {
  const CorpusCase& c = GetParam();
  const std::string input = read_file(PAIRTRACK_SOURCE_DIR "/tests/bad_input/corpus/" + c.file);
  ScratchDir dir;
  write_history(dir / "hist.bin", 2, {{0.5e6, {{1, 2.5, 0.2, 0.1}, {2, 2.4, 0.15, 0.2}}}});
  std::string stdin_text = params_for(2).text();
  if (c.file.starts_with("parameters/")) {
    write_catalog(dir / "cat.txt", two_orbits());
    stdin_text = input;
  } else {
    write_text(dir / "cat.txt", input);
  }
  const RunResult r = run_pairtrack(dir, stdin_text);
  EXPECT_EQ(r.status, c.status) << r.out;
  if (c.err.empty()) {
    // Body 2 against catalogue orbit 2 is a close-inclination pair (delta 0.046): a finished
    // run ends with the classic rule's notice.
    EXPECT_EQ(without_classic_notice(r.err), "");
  } else {
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
  }
  const std::vector<std::string> lines = r.lines();
  ASSERT_FALSE(lines.empty());
  if (c.status == 1) {
    EXPECT_EQ(lines.back(), " " + c.line) << r.out;
  } else {
    EXPECT_NE(std::find(lines.begin(), lines.end(), " " + c.line), lines.end()) << r.out;
    EXPECT_TRUE(lines.back().starts_with(" # pairtrack: t_max = ")) << r.out;
  }
}

INSTANTIATE_TEST_SUITE_P(BadInput, Corpus, ::testing::ValuesIn(load_expected()), case_name);

}  // namespace
}  // namespace pairtrack::detail::bad_input
