// The command line of pairtrack and pairtrack-mpi: the options (--bodies, --frames,
// --speed-histogram, --speed-bins, --pair-file, --strict, --quiet, --help, --version), the output
// files they name, opened before anything is read, the diagnostics on standard error and the
// progress line on a terminal; then the run on standard input and output. Both programs are this
// one function; they differ only in where the pairs are evaluated.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <omp.h>
#include <signal.h>
#include <unistd.h>

#include "command_line.h"
#include "engine/checkpoint.h"
#include "engine/frame_evaluator.h"
#include "engine/frame_sinks.h"
#include "engine/input_checks.h"
#include "engine/manifest.h"
#include "engine/program.h"
#include "progress.h"

namespace pairtrack::detail {

namespace {

// The head of --help: the usage lines and the ten records. The records come from standard input,
// so no option describes them; the options' lines are formed by CLI11 from their descriptions
// below, between this head and kHelpFooter. Record 6 names the pair file (kPairFileName) between
// the two parts.
constexpr std::string_view kUsage =
    "Usage: pairtrack [OPTIONS] < run.in > report.txt\n"
    "       pairtrack --help | --version\n"
    "       mpirun -n N pairtrack-mpi [OPTIONS] < run.in > report.txt  (the same run over MPI)\n"
    "\n"
    "The run is configured by ten records on standard input, one per line:\n"
    "   1  catalogue file name (population 1), first 80 characters of the line\n"
    "   2  history file name (population 2), first 80 characters of the line\n"
    "   3  encoding of the history file: 0 = 16-bit scaled, 1 = float32, 2 = float64\n"
    "   4  n2_min n2_max: first and last position within a frame that is paired\n"
    "   5  time_divisor: frame times are divided by it (years -> Myr with 1e6)\n"
    "   6  write_pairs: T writes the pair file ";
constexpr std::string_view kUsageAfterPairFile =
    "\n"
    "   7  q_crit: perihelion threshold, AU\n"
    "   8  p_crit: probability of removing a body below q_crit, per frame\n"
    "   9  iseed: seed of the random generator; a negative seed chooses the sequence,\n"
    "      every seed of -1 or more (0, 1, 12345, ...) gives the sequence of -1\n"
    "  10  v_esc: escape velocity for gravitational focusing, km/s\n";

constexpr const char* kHelpFooter =
    "Files: the orbit catalogue (text, inclination, eccentricity and semimajor axis in\n"
    "columns 148-182) and the binary history file are read; the pair file is written in\n"
    "the working directory when write_pairs is T.\n"
    "Output: the report on standard output (echo lines, one line per frame with the mean\n"
    "and sigma of the intrinsic collision probability in 1e-18 km^-2 yr^-1 and of the\n"
    "impact speed in km/s, the pair counts, a closing line); every message goes there too.\n"
    "Standard error: warnings about input that is probably a mistake and the reason of an\n"
    "error, one line each, and a progress line when it is a terminal.\n"
    "Exit status 0 after the last frame, 1 on every error, 128 + N when signal N (SIGTERM,\n"
    "SIGINT, SIGUSR1) stopped the run at a frame boundary (--resume continues it).";

// CLI11's help layout with the usage lines and the records in place of its one-line usage.
class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter() { column_width(20); }
  std::string make_description(const CLI::App*) const override { return {}; }
  std::string make_usage(const CLI::App*, std::string) const override {
    return std::string(kUsage) + kPairFileName + std::string(kUsageAfterPairFile);
  }
};

// A refusal of the command line: the line on standard output (as for every refusal), the
// reason on standard error, exit status 1.
int refuse(const std::string& stdout_text, const std::string& reason) {
  std::cout << ' ' << stdout_text << '\n';
  std::cout.flush();
  std::cerr << "pairtrack: error: " << reason << '\n';
  return 1;
}

// An output file named by an option, opened before any computation.
struct OptionFile {
  std::string path;
  std::ofstream stream;
};

// The signal that asked the run to stop (0: none). A handler may only store it; the run looks
// at it between frames and between batches of pairs.
std::atomic<int> stop_signal{0};

extern "C" void ask_to_stop(int signal) { stop_signal.store(signal); }

// SIGTERM (a batch scheduler's time limit, mpirun passing it on), SIGINT (Ctrl-C) and SIGUSR1
// (schedulers can send it ahead of the limit) end the run cleanly at a frame boundary. A
// closed pipe on an output is reported as a write error, not a silent death by SIGPIPE.
void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = ask_to_stop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int command_line_main(int argc, char** argv, FrameEvaluator* evaluator) {
  CLI::App app("pairtrack", "pairtrack");
  app.set_help_flag();  // --help is handled below, after stray arguments are refused
  app.allow_extras();
  app.formatter(std::make_shared<HelpFormatter>());
  app.footer(kHelpFooter);
  bool help = false;
  bool version = false;
  ProgramOptions options;
  options.evaluator = evaluator;
  OptionFile bodies, frames;
  app.add_option("--bodies", bodies.path,
                 "one CSV row per swept body per frame (17 significant digits)")
      ->option_text("FILE");
  app.add_option("--frames", frames.path, "the frame lines as CSV, with active and removed bodies")
      ->option_text("FILE");
  OptionFile speeds;
  std::string speed_bins_text;
  app.add_option("--speed-histogram", speeds.path,
                 "the collision-weighted distributions of impact and encounter speed as CSV, per "
                 "frame (and per body with --bodies)")
      ->option_text("FILE");
  app.add_option("--speed-bins", speed_bins_text,
                 "with --speed-histogram: the bins in km/s (default 0:40:0.25)")
      ->option_text("MIN:MAX:STEP");
  app.add_option("--pair-file", options.pair_file_name,
                 std::string("the pair file's name (default ") + kPairFileName + ")")
      ->option_text("NAME");
  OptionFile report_file;
  std::string resume_path;
  double progress_every = 0.0;
  app.add_option("--report", report_file.path,
                 "write the report to FILE instead of standard output (a resumed run cuts it "
                 "back and continues it)")
      ->option_text("FILE");
  app.add_option("--checkpoint", options.checkpoint_path,
                 "after every frame, write what the run needs to continue to FILE (atomically)")
      ->option_text("FILE");
  app.add_option("--resume", resume_path,
                 "continue the run of this checkpoint (the same records on standard input): the "
                 "outputs are cut back to the checkpoint and continued")
      ->option_text("FILE");
  app.add_option("--progress-every", progress_every,
                 "a progress line on standard error every SECONDS when it is not a terminal")
      ->option_text("SECONDS");
  std::string manifest_path;
  app.add_option("--manifest", manifest_path,
                 "at every end of the run, write its provenance to FILE (JSON: version, build, "
                 "records, files with SHA-256, times, exit status, warnings)")
      ->option_text("FILE");
  app.add_option("--accuracy", options.accuracy,
                 "integrate every pair to this relative accuracy of P_i, (0, 0.1], with an error "
                 "estimate, instead of the classic 10 x 10 rule (default: off)")
      ->option_text("REL");
  app.add_option("--min-mutual-inclination", options.min_mutual_inclination_deg,
                 "with --accuracy: the 1/sin I of the mutual inclination is capped at "
                 "1/sin DEG, which gives equal-inclination and coplanar pairs finite values "
                 "(0 to 90, default 0: such pairs are divergent)")
      ->option_text("DEG");
  bool rank_summary = false;
  if (evaluator != nullptr) {
    app.add_flag("--rank-summary", rank_summary,
                 "at the end, one line per MPI rank on standard error: frames, pairs, busy time");
  }
  app.add_flag("--strict", options.policy.strict,
               "end the run with exit status 1 at the first warning");
  app.add_flag("--quiet", options.policy.quiet,
               "do not report warnings (errors are still reported)");
  app.add_flag("-h,--help", help, "this text");
  app.add_flag("--version", version, "the version");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return refuse(std::string("pairtrack: ") + e.what() + " (see pairtrack --help)", e.what());
  }
  if (!app.remaining().empty()) {
    // A stray argument would otherwise leave the program waiting on a terminal for records.
    const std::string arg = app.remaining().front();
    return refuse("pairtrack: unexpected argument '" + arg +
                      "': the parameters come from standard input (pairtrack < run.in);"
                      " see pairtrack --help",
                  "unexpected argument '" + arg + "': the parameters come from standard input");
  }
  if (help) {
    std::cout << app.help();
    return 0;
  }
  if (version) {
    std::cout << "pairtrack " PAIRTRACK_VERSION "\n";
    return 0;
  }

  // Bad option values end the run before anything is read or computed.
  // (The default pair file is checked when the run opens it, as it always was.)
  if (std::string reason;
      app.count("--pair-file") > 0 && !check_output_path(options.pair_file_name, reason)) {
    return refuse("pairtrack: Error opening file " + options.pair_file_name,
                  "--pair-file '" + options.pair_file_name + "': " + reason);
  }
  if (!(progress_every >= 0.0 && progress_every <= 1e9)) {
    return refuse(
        "pairtrack: --progress-every must be a number of seconds, 0 or more",
        "--progress-every " + std::to_string(progress_every) + " is not a number of seconds");
  }
  if (app.count("--accuracy") > 0 && !(options.accuracy > 0.0 && options.accuracy <= 0.1)) {
    return refuse("pairtrack: --accuracy must be a relative accuracy above 0 and at most 0.1",
                  "--accuracy " + app["--accuracy"]->as<std::string>() +
                      " is not a relative accuracy in (0, 0.1]");
  }
  if (!(options.min_mutual_inclination_deg >= 0.0 && options.min_mutual_inclination_deg <= 90.0)) {
    return refuse("pairtrack: --min-mutual-inclination must be an angle from 0 to 90 degrees",
                  "--min-mutual-inclination " + app["--min-mutual-inclination"]->as<std::string>() +
                      " is not an angle from 0 to 90 degrees");
  }
  if (app.count("--speed-bins") > 0) {
    if (app.count("--speed-histogram") == 0) {
      return refuse("pairtrack: --speed-bins needs --speed-histogram",
                    "--speed-bins '" + speed_bins_text +
                        "' without --speed-histogram: there is no file for the bins");
    }
    try {
      options.speed_bins = parse_speed_bins(speed_bins_text);
    } catch (const std::invalid_argument& e) {
      return refuse(std::string("pairtrack: --speed-bins: ") + e.what(),
                    "--speed-bins '" + speed_bins_text + "': " + e.what());
    }
  }
  Checkpoint checkpoint;
  if (app.count("--resume") > 0) {
    std::string reason;
    if (!read_checkpoint(resume_path, checkpoint, reason)) {
      return refuse("pairtrack: Error reading file " + resume_path,
                    "--resume '" + resume_path + "' " + reason);
    }
    options.resume = &checkpoint;
    options.resume_path = resume_path;
  }
  const bool keep = options.resume != nullptr;  // cut back later, once the inputs are checked
  for (OptionFile* file : {&bodies, &frames, &speeds, &report_file}) {
    const char* option = file == &bodies   ? "--bodies"
                         : file == &frames ? "--frames"
                         : file == &speeds ? "--speed-histogram"
                                           : "--report";
    if (file->path.empty() && app.count(option) == 0) continue;
    std::string reason;
    if (!open_output_file(file->path, file->stream, reason, keep)) {
      return refuse("pairtrack: Error opening file " + file->path,
                    std::string(option) + " '" + file->path + "': " + reason);
    }
  }
  std::optional<BodiesCsvSink> bodies_sink;
  std::optional<FramesCsvSink> frames_sink;
  if (bodies.stream.is_open()) {
    options.sinks.push_back(&bodies_sink.emplace(bodies.stream, bodies.path, !keep));
  }
  if (frames.stream.is_open()) {
    options.sinks.push_back(&frames_sink.emplace(frames.stream, frames.path, !keep));
  }
  std::optional<SpeedHistogramSink> speeds_sink;
  if (speeds.stream.is_open()) {
    options.speed_histograms = true;
    options.sinks.push_back(&speeds_sink.emplace(speeds.stream, speeds.path, options.speed_bins,
                                                 bodies.stream.is_open(), !keep));
  }
  // The classic mode's accuracy check costs a little per pair: only where its notice or the
  // tables' counts are read.
  options.classic_check = !options.policy.quiet || !options.sinks.empty();
  std::ostream& report = report_file.stream.is_open() ? report_file.stream : std::cout;
  if (report_file.stream.is_open()) options.report_path = report_file.path;
  if (keep && !report_file.stream.is_open()) {
    // The report's first part is wherever the interrupted run's standard output went.
    std::cerr << "pairtrack: progress: resuming after frame " << checkpoint.position.frame
              << ": standard output carries the report from frame " << checkpoint.position.frame + 1
              << " on; append it to the interrupted run's report\n";
  }
  install_stop_handlers();
  options.stop_signal = &stop_signal;
  if (progress_every > 0.0 && !isatty(STDERR_FILENO)) {
    options.progress_every = progress_every;
    options.progress_stream = &std::cerr;
  }

  std::optional<ProgressReporter> progress;
  if (progress_wanted()) progress.emplace(STDERR_FILENO);
  options.progress = progress ? &*progress : nullptr;
  StreamDiagnosticSink diagnostics(std::cerr);
  options.diagnostics = &diagnostics;
  RunSummary summary;
  options.summary = &summary;
  const std::string started = utc_now();
  int status = run_program(std::cin, report, options);
  report.flush();
  if (rank_summary) evaluator->summarise(std::cerr);
  if (progress) progress->finish();
  for (OptionFile* file : {&bodies, &frames, &speeds, &report_file}) {
    if (!file->stream.is_open()) continue;
    file->stream.close();
    if (file->stream.fail() && status == 0) {
      status = refuse("pairtrack: Error writing file " + file->path,
                      "'" + file->path + "' could not be written completely");
    }
  }
  if (!manifest_path.empty()) {
    ManifestInput m;
    m.program = evaluator != nullptr ? "pairtrack-mpi" : "pairtrack";
    m.arguments.assign(argv, argv + argc);
    m.threads = options.threads > 0 ? options.threads : omp_get_max_threads();
    m.ranks = evaluator != nullptr ? evaluator->processes() : 1;
    m.started_utc = started;
    m.ended_utc = utc_now();
    m.exit_status = status;
    m.summary = summary;
    if (summary.records_read) {
      m.files.push_back({"catalogue", trimmed_file_name(summary.records.catalog_name)});
      m.files.push_back({"history", trimmed_file_name(summary.records.history_name)});
    }
    if (!resume_path.empty()) m.files.push_back({"resumed_checkpoint", resume_path});
    m.files.push_back({"report", options.report_path, summary.report_bytes});
    if (summary.records_read && summary.records.write_pairs != 0) {
      m.files.push_back({"pairs", options.pair_file_name});
    }
    if (!bodies.path.empty()) m.files.push_back({"bodies", bodies.path});
    if (!frames.path.empty()) m.files.push_back({"frames", frames.path});
    if (!speeds.path.empty()) m.files.push_back({"speeds", speeds.path});
    if (!options.checkpoint_path.empty())
      m.files.push_back({"checkpoint", options.checkpoint_path});
    std::string reason;
    if (!write_manifest(manifest_path, manifest_json(m), reason)) {
      std::cerr << "pairtrack: error: --manifest '" << manifest_path
                << "' could not be written: " << reason << '\n';
      if (status == 0) status = 1;
    }
  }
  return status;
}

}  // namespace pairtrack::detail
