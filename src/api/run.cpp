// The public run: the ten records written from a RunConfig, the program's engine run on them
// with the report, the tables and the diagnostics collected in memory.
#include <omp.h>

#include <cstdio>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "engine/diagnostics.h"
#include "engine/frame_sinks.h"
#include "engine/manifest.h"
#include "engine/program.h"
#include "pairtrack/kernel.h"
#include "pairtrack/run.h"

namespace pairtrack {

// The library's internals, which these calls put behind the documented interface.
using namespace detail;

namespace {

std::string real_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

// One run at a time: the per-pair arrays and the random generator belong to the process.
std::mutex& run_mutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::string run_records(const RunConfig& c) {
  return c.catalogue + "\n" + c.history + "\n" + std::to_string(c.format) + "\n" +
         std::to_string(c.n2_min) + " " + std::to_string(c.n2_max) + "\n" +
         real_text(c.time_divisor) + "\n" + (c.write_pairs ? "T" : "F") + "\n" +
         real_text(c.q_crit) + "\n" + real_text(c.p_crit) + "\n" + std::to_string(c.iseed) + "\n" +
         real_text(c.v_esc) + "\n";
}

RunOutcome run(const RunConfig& config) {
  if (!(config.accuracy >= 0.0 && config.accuracy <= 0.1)) {
    throw std::invalid_argument(
        "accuracy must be 0 (the classic rule) or a relative accuracy "
        "above 0 and at most 0.1");
  }
  if (!(config.min_mutual_inclination_deg >= 0.0 && config.min_mutual_inclination_deg <= 90.0)) {
    throw std::invalid_argument("min_mutual_inclination must be an angle from 0 to 90 degrees");
  }
  if (config.speed_histogram) {
    const std::string problem = speed_bins_problem(config.speed_bins);
    if (!problem.empty()) throw std::invalid_argument(problem);
  }
  RunOutcome outcome;
  for (const auto& [what, name] :
       {std::pair{"catalogue", &config.catalogue}, std::pair{"history file", &config.history}}) {
    if (name->size() > 80 || name->find('\n') != std::string::npos) {
      outcome.status = 1;
      outcome.diagnostics.push_back(
          {true, std::string("the ") + what + " name '" + *name +
                     "' cannot be passed in a record: records hold at most 80 characters and"
                     " no line end (use a shorter, e.g. relative, path)"});
      return outcome;
    }
  }
  CollectingDiagnosticSink diagnostics;
  TableSink tables = config.speed_histogram ? TableSink(config.speed_bins) : TableSink();
  ProgramOptions options;
  options.threads = config.threads;
  options.diagnostics = &diagnostics;
  options.policy.strict = config.strict;
  options.pair_file_name = config.pair_file;
  options.sinks.push_back(&tables);
  options.cancel = config.cancel;
  options.accuracy = config.accuracy;
  options.min_mutual_inclination_deg = config.min_mutual_inclination_deg;
  options.classic_check = true;  // the tables' counts
  options.speed_histograms = config.speed_histogram;
  if (config.speed_histogram) options.speed_bins = config.speed_bins;
  RunSummary summary;
  options.summary = &summary;
  const std::string started = utc_now();

  std::istringstream in(run_records(config));
  std::ostringstream out;
  {
    const std::lock_guard<std::mutex> lock(run_mutex());
    try {
      outcome.status = run_program(in, out, options);
    } catch (const Cancelled&) {
      // A cancelled run leaves no half-written pair file behind.
      if (config.write_pairs) std::remove(config.pair_file.c_str());
      throw;
    }
  }
  outcome.report = out.str();
  outcome.frames = std::move(tables.frames);
  outcome.bodies = std::move(tables.bodies);
  outcome.speed_histogram = std::move(tables.speeds);
  for (const auto& entry : diagnostics.entries) {
    if (entry.level == DiagnosticLevel::notice) continue;  // only stops by signal, not here
    outcome.diagnostics.push_back({entry.level == DiagnosticLevel::error, entry.text});
  }
  ManifestInput m;
  m.program = "pairtrack.run (library)";
  m.threads = config.threads > 0 ? config.threads : omp_get_max_threads();
  m.started_utc = started;
  m.ended_utc = utc_now();
  m.exit_status = outcome.status;
  m.summary = summary;
  if (summary.records_read) {
    m.files.push_back({"catalogue", config.catalogue});
    m.files.push_back({"history", config.history});
  }
  m.files.push_back({"report", "-", summary.report_bytes});
  if (config.write_pairs) m.files.push_back({"pairs", config.pair_file});
  outcome.manifest = manifest_json(m);
  return outcome;
}

}  // namespace pairtrack
