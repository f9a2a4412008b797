// End-to-end test support: a scratch directory, catalogue and history files
// written for a test, the ten parameter records, and a run of the pairtrack
// executable with its standard output, exit status and pair file.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/history/history_writer.h"

namespace pairtrack::detail::testing_support {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "pairtrack_e2e_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

struct CatalogOrbit {
  double inc_deg;
  double e;
  double a_au;
};

// One catalogue line: 147 columns of other data, then inclination (f10.5),
// eccentricity (f11.7) and semimajor axis (f14.8) in columns 148-182.
inline std::string catalog_line(const CatalogOrbit& o) {
  char field[64];
  std::snprintf(field, sizeof field, "%10.5f%11.7f%14.8f", o.inc_deg, o.e, o.a_au);
  return std::string(147, ' ') + field;
}

inline void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline void write_catalog(const fs::path& path, const std::vector<CatalogOrbit>& orbits) {
  std::string text;
  for (const CatalogOrbit& o : orbits) text += catalog_line(o) + "\n";
  write_text(path, text);
}

struct Body {
  std::int32_t id;
  double a_au;
  double e;
  double inc_rad;
};

struct Frame {
  double time;
  std::vector<Body> bodies;
};

// Writes frames in encoding `code` (header nrec1 = 1, nrec2 = number of bodies).
inline void write_history(const fs::path& path, int code, const std::vector<Frame>& frames) {
  HistoryWriter w;
  if (!w.open(path.string())) std::abort();
  for (const Frame& f : frames) {
    if (!w.header(static_cast<pairtrack::HistoryFormat>(code), f.time, 1,
                  static_cast<std::int32_t>(f.bodies.size())))
      std::abort();
    for (const Body& b : f.bodies) {
      if (!w.body(static_cast<pairtrack::HistoryFormat>(code), b.id, b.a_au, b.e, b.inc_rad, 0.0,
                  0.0, 0.0))
        std::abort();
    }
  }
  if (!w.close()) std::abort();
}

// The ten parameter records.
struct Params {
  std::string catalog = "cat.txt";
  std::string history = "hist.bin";
  std::string format_code = "2";
  std::string n2_range = "1 1";
  std::string time_divisor = "1e6";
  std::string write_pairs = "F";
  std::string q_crit = "0";
  std::string p_crit = "0";
  std::string iseed = "-1";
  std::string v_esc = "0";

  std::string text() const {
    return catalog + "\n" + history + "\n" + format_code + "\n" + n2_range + "\n" + time_divisor +
           "\n" + write_pairs + "\n" + q_crit + "\n" + p_crit + "\n" + iseed + "\n" + v_esc + "\n";
  }
};

struct RunResult {
  std::string out;
  int status = -1;
  bool pair_file = false;
  std::string pairs;
  std::string err;
  std::vector<std::string> lines() const {
    std::vector<std::string> v;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
  }
};

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The classic mode's closing notice on standard error (the pairs whose 10 x 10 value is likely
// off), which a finished run writes after everything else.
inline constexpr const char* kClassicNoticeStart =
    "pairtrack: note: the 10 x 10 rule is likely off by more than 1 % for ";

// Standard error without that notice, for tests about the other diagnostics.
inline std::string without_classic_notice(const std::string& err) {
  const std::size_t at = err.rfind(kClassicNoticeStart);
  if (at == std::string::npos || (at > 0 && err[at - 1] != '\n')) return err;
  const std::size_t end = err.find('\n', at);
  return end == err.size() - 1 ? err.substr(0, at) : err;
}

// Runs the pairtrack executable in `dir` with `input` on standard input and the command-line
// arguments `args` (as the shell reads them).
inline RunResult run_pairtrack(const ScratchDir& dir, const std::string& input,
                               const std::string& env = "", const std::string& args = "") {
  write_text(dir / "stdin.txt", input);
  const std::string cmd = "cd '" + dir.path().string() + "' && " + env + " '" PAIRTRACK_EXE "' " +
                          args + " < stdin.txt > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = read_file(dir / "stdout.txt");
  r.err = read_file(dir / "stderr.txt");
  r.pair_file = fs::exists(dir / "hitrate_pairtrack_q.tmp");
  if (r.pair_file && fs::is_regular_file(dir / "hitrate_pairtrack_q.tmp")) {
    r.pairs = read_file(dir / "hitrate_pairtrack_q.tmp");
  }
  return r;
}

// A CSV file (the --frames and --bodies tables) as rows keyed by the header's column names.
using Row = std::map<std::string, std::string>;

inline std::vector<Row> read_csv(const fs::path& path) {
  std::vector<Row> rows;
  std::istringstream in(read_file(path));
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::istringstream header(line);
  for (std::string name; std::getline(header, name, ',');) names.push_back(name);
  while (std::getline(in, line)) {
    Row row;
    std::istringstream fields(line + ",");
    for (const std::string& name : names) std::getline(fields, row[name], ',');
    rows.push_back(std::move(row));
  }
  return rows;
}

inline double num(const Row& row, const std::string& column) { return std::stod(row.at(column)); }

// The 80-character form of a file name.
inline std::string name80(const std::string& name) {
  std::string s = name.substr(0, 80);
  s.resize(80, ' ');
  return s;
}

}  // namespace pairtrack::detail::testing_support
