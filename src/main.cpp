// pairtrack: intrinsic collision probabilities and impact speeds of a fixed
// orbit catalogue against every frame of an orbital integration's history.
// The whole configuration comes from ten records on standard input; the only
// arguments are --help and --version. On a terminal, standard error shows a
// progress line; otherwise nothing is written there.
#include <iostream>
#include <optional>
#include <string_view>

#include <unistd.h>

#include "run/program.h"
#include "run/progress.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: pairtrack < run.in > report.txt\n"
    "       pairtrack --help | --version\n"
    "\n"
    "The run is configured by ten records on standard input, one per line:\n"
    "   1  catalogue file name (population 1), first 80 characters of the line\n"
    "   2  history file name (population 2), first 80 characters of the line\n"
    "   3  encoding of the history file: 0 = 16-bit scaled, 1 = float32, 2 = float64\n"
    "   4  n2_min n2_max: first and last position within a frame that is paired\n"
    "   5  time_divisor: frame times are divided by it (years -> Myr with 1e6)\n"
    "   6  write_pairs: T writes the pair file hitrate_pairtrack_q.tmp\n"
    "   7  q_crit: perihelion threshold, AU\n"
    "   8  p_crit: probability of removing a body below q_crit, per frame\n"
    "   9  iseed: seed of the random generator\n"
    "  10  v_esc: escape velocity for gravitational focusing, km/s\n"
    "\n"
    "Files: the orbit catalogue (text, inclination, eccentricity and semimajor axis in\n"
    "columns 148-182) and the binary history file are read; hitrate_pairtrack_q.tmp is\n"
    "written in the working directory when write_pairs is T.\n"
    "Output: the report on standard output (echo lines, one line per frame with the mean\n"
    "and sigma of the intrinsic collision probability in 1e-18 km^-2 yr^-1 and of the\n"
    "impact speed in km/s, the pair counts, a closing line); every message goes there too.\n"
    "Exit status 0 after the last frame, 1 on every error. A progress line is shown on\n"
    "standard error when it is a terminal.\n";

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      std::cout << kUsage;
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::cout << "pairtrack " PAIRTRACK_VERSION "\n";
      return 0;
    }
    // A stray argument would otherwise leave the program waiting on a terminal for records.
    std::cout << " pairtrack: unexpected argument '" << arg
              << "': the parameters come from standard input (pairtrack < run.in);"
                 " see pairtrack --help\n";
    return 1;
  }

  std::optional<pairtrack::ProgressReporter> progress;
  if (pairtrack::progress_wanted()) progress.emplace(STDERR_FILENO);
  pairtrack::ProgramOptions options;
  options.progress = progress ? &*progress : nullptr;
  const int status = pairtrack::run_program(std::cin, std::cout, options);
  std::cout.flush();
  if (progress) progress->finish();
  return status;
}
