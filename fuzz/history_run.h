// A whole run on a history file made of the fuzz input, in one encoding: a fixed catalogue of
// three main-belt orbits, positions 1 to 3 swept, the pair file written, one thread. The output
// must be a well-formed report that ends with the closing line (exit status 0) or with one of
// the program's error messages (exit status 1).
#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "engine/program.h"
#include "fuzz_support.h"
#include "pairtrack/units.h"

namespace pairtrack::detail::fuzz {

inline bool starts_with(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The error lines a run on a damaged history file may end with.
inline bool is_history_error_line(const std::string& line) {
  return starts_with(line, " pairtrack: frame holds more than") ||
         starts_with(line, " pairtrack: body identifier") ||
         starts_with(line, " Error: number of orbit pairs");
}

inline int run_history(int code, const std::uint8_t* data, std::size_t size) {
  enter_private_dir();
  static const bool catalog_written = [] {
    const std::string pad(147, ' ');
    write_file("cat.txt", pad + "   5.12345  0.0812300    2.76543000\n" + pad +
                              "  12.00000  0.2000000    2.20000000\n" + pad +
                              "   0.50000  0.0100000    3.10000000\n");
    return true;
  }();
  (void)catalog_written;
  write_file("hist.bin", std::string(reinterpret_cast<const char*>(data), size));

  const std::string params =
      "cat.txt\nhist.bin\n" + std::to_string(code) + "\n1 3\n1e6\nT\n1.8\n0.5\n-12345\n0\n";
  std::istringstream in(params);
  std::ostringstream out;
  ProgramOptions options;
  options.threads = 1;
  const int status = run_program(in, out, options);

  const std::vector<std::string> lines = split_lines(out.str());
  PAIRTRACK_FUZZ_CHECK(lines.size() >= 9, "short report: %s", out.str().c_str());
  PAIRTRACK_FUZZ_CHECK(starts_with(lines[5], " # n = ") && lines[5].ends_with(" 3"),
                       "catalogue line: %s", lines[5].c_str());
  const std::string& last = lines.back();
  if (status == 0) {
    PAIRTRACK_FUZZ_CHECK(starts_with(last, " # pairtrack: t_max = ") && last.ends_with(" Myr"),
                         "closing line: %s", last.c_str());
  } else {
    PAIRTRACK_FUZZ_CHECK(status == 1, "exit status %d", status);
    PAIRTRACK_FUZZ_CHECK(is_history_error_line(last), "error line: %s", last.c_str());
  }
  // Between the column header and the last line: frame lines of 144 characters whose counts
  // fit this catalogue and sweep, and the kernel's no-case line.
  for (std::size_t i = 8; i + 1 < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l == " The line did not make any of the checks") continue;
    PAIRTRACK_FUZZ_CHECK(l.size() == 144, "frame line width %zu: %s", l.size(), l.c_str());
    int n1 = 0, n2 = 0, n_proba = 0, n_impvel = 0;
    PAIRTRACK_FUZZ_CHECK(
        std::sscanf(l.c_str() + 108, "%d %d %d %d", &n1, &n2, &n_proba, &n_impvel) == 4,
        "frame counts: %s", l.c_str());
    PAIRTRACK_FUZZ_CHECK(n1 == 3 && n2 >= 1 && n2 <= kPopulationCapacity && n_proba >= 0 &&
                             n_proba <= 9 && n_proba % 3 == 0 && n_impvel >= 0 &&
                             n_impvel <= n_proba,
                         "frame counts: %s", l.c_str());
  }
  // The pair file: one 63-character line per body that can collide.
  for (const std::string& l : split_lines(read_file(kPairFileName))) {
    PAIRTRACK_FUZZ_CHECK(l.size() == 63, "pair line width %zu: %s", l.size(), l.c_str());
  }
  return 0;
}

}  // namespace pairtrack::detail::fuzz
