// Fuzz target: the ten parameter records on standard input. The input is read with
// read_run_parameters and then given to a whole run in an empty private directory, where the
// run must stop at a parameter refusal or at the missing catalogue, with its message.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "engine/program.h"
#include "engine/run_parameters.h"
#include "fuzz_support.h"
#include "io/fortran_text.h"

namespace {

using pairtrack::detail::fuzz::split_lines;

// A name that cannot leave the private directory: a path could name a device or a pipe that
// never ends, which is the user's business, not the reader's.
bool stays_here(const std::string& name80) {
  return name80.find('/') == std::string::npos && name80.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pairtrack::detail::fuzz::enter_private_dir();
  const std::string input(reinterpret_cast<const char*>(data), size);

  pairtrack::detail::RunParameters p;
  std::istringstream in(input);
  const bool ok = pairtrack::detail::read_run_parameters(in, p);
  if (ok) {
    PAIRTRACK_FUZZ_CHECK(p.catalog_name.size() == 80 && p.history_name.size() == 80,
                         "name lengths %zu %zu", p.catalog_name.size(), p.history_name.size());
    // Every real read is a finite number (no NaN, Inf or overflow gets through).
    for (double v : {p.time_divisor, p.q_crit, p.p_crit, p.v_esc}) {
      PAIRTRACK_FUZZ_CHECK(std::isfinite(v), "non-finite value %g", v);
      // The free-form writer's 17 digits read back as the same double.
      const std::string text = pairtrack::detail::fortran::free_form_real(v);
      PAIRTRACK_FUZZ_CHECK(std::strtod(text.c_str(), nullptr) == v, "free-form real %s for %.17g",
                           text.c_str(), v);
    }
    PAIRTRACK_FUZZ_CHECK(p.write_pairs == 0 || p.write_pairs == 1, "logical %d", p.write_pairs);
    if (!stays_here(p.catalog_name) || !stays_here(p.history_name)) return 0;
  }

  std::istringstream run_in(input);
  std::ostringstream out;
  pairtrack::detail::ProgramOptions options;
  options.threads = 1;
  const int status = pairtrack::detail::run_program(run_in, out, options);
  PAIRTRACK_FUZZ_CHECK(status == 1, "exit status %d", status);
  const std::vector<std::string> lines = split_lines(out.str());
  PAIRTRACK_FUZZ_CHECK(!lines.empty(), "no output");
  if (!ok) {
    PAIRTRACK_FUZZ_CHECK(lines.size() == 1 && lines[0] == " Error reading standard input.",
                         "unread input gave: %s", out.str().c_str());
    return 0;
  }
  PAIRTRACK_FUZZ_CHECK(lines.size() >= 5, "short output: %s", out.str().c_str());
  PAIRTRACK_FUZZ_CHECK(
      lines[0] ==
          pairtrack::detail::fortran::FreeFormLine().text("# n2_min = ").integer(p.n2_min).str(),
      "echo: %s", lines[0].c_str());
  PAIRTRACK_FUZZ_CHECK(
      lines[1] ==
          pairtrack::detail::fortran::FreeFormLine().text("# n2_max = ").integer(p.n2_max).str(),
      "echo: %s", lines[1].c_str());
  const std::string& last = lines.back();
  if (p.format_code < 0 || p.format_code > 2) {
    PAIRTRACK_FUZZ_CHECK(last == " pairtrack: Unknown binary file format specified.", "%s",
                         last.c_str());
  } else if (p.n2_min < 1) {
    PAIRTRACK_FUZZ_CHECK(last == " pairtrack: n2_min must be at least 1.", "%s", last.c_str());
  } else if (p.time_divisor == 0.0) {
    PAIRTRACK_FUZZ_CHECK(last == " pairtrack: time_divisor must not be zero.", "%s", last.c_str());
  } else {
    // The private directory holds no catalogue: the name is missing or a directory.
    PAIRTRACK_FUZZ_CHECK(lines.size() == 6 && lines[4] == " # Input filename: " + p.catalog_name &&
                             last == " Error reading file " + p.catalog_name,
                         "catalogue lines: %s", out.str().c_str());
  }
  return 0;
}
