// The run driver: parameters and their echo, population 1, the frame loop
// over the history file, the sweep of each frame and its report line.
//
// Every end of the run goes through one place: an error end writes its
// message line and returns exit status 1; the end of the history data writes
// the closing line and returns 0. Nothing is written to standard error.
#include "run/program.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "io/fortran_text.h"
#include "io/history_file.h"
#include "io/history_readers.h"
#include "io/load_catalog.h"
#include "run/frame_report.h"
#include "run/pair_evaluation.h"
#include "run/progress.h"
#include "run/run_parameters.h"
#include "run/run_storage.h"
#include "run/sweep_plan.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"
#include "stats/ran1.h"

namespace pairtrack {

RunStorage::RunStorage()
    : a1(new double[kPopulationCapacity]()),
      e1(new double[kPopulationCapacity]()),
      inc1(new double[kPopulationCapacity]()),
      a2(new double[kPopulationCapacity]()),
      e2(new double[kPopulationCapacity]()),
      inc2(new double[kPopulationCapacity]()),
      ids(new std::int32_t[kPopulationCapacity]()),
      istat(new std::int32_t[kPopulationCapacity]()),
      // Left uninitialised: pages are only touched as far as a frame fills them.
      proba_arr(new double[kProbaMax]),
      impvel_arr(new double[kProbaMax]),
      prepared1(new PreparedOrbit[kPopulationCapacity]),
      prepared2(new PreparedOrbit[kPopulationCapacity]),
      swept(new std::int32_t[kPopulationCapacity]()) {}

namespace {

using fortran::FreeFormLine;

// Impact speeds at or below this (km/s) do not count as an impact.
constexpr double kImpactThreshold = 1e-8;

void write(std::ostream& out, const FreeFormLine& line) { fortran::write_line(out, line); }

// An error end: the message line, flushed, exit status 1.
int fail(std::ostream& out, const FreeFormLine& line) {
  write(out, line);
  out.flush();
  return 1;
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string fixed_name(const std::string& name) {
  std::string s = name.substr(0, kFileNameLength);
  s.resize(kFileNameLength, ' ');
  return s;
}

class Run {
 public:
  Run(RunParameters& p, RunStorage& s, std::ostream& out, const ProgramOptions& options)
      : p_(p), s_(s), out_(out), options_(options) {}

  int execute();

 private:
  int frame_loop(HistoryFile& history, std::ofstream* pairs);
  // Sweeps the frame held in the population-2 arrays and writes its lines.
  // Returns 0, or 1 after an error message.
  int sweep_frame(double t, std::ofstream* pairs);
  // Evaluates the frame's pairs in batches of bodies, telling the progress reporter after each.
  std::int64_t evaluate_with_progress(std::int32_t n_swept);

  RunParameters& p_;
  RunStorage& s_;
  std::ostream& out_;
  const ProgramOptions& options_;
  std::string pair_text_;  // pair-file lines of the current frame
  std::string line_;       // the frame line
  std::int64_t frame_number_ = 0;  // complete frames read so far, for the progress line
  double t_frame_ = 0.0;           // time of the frame being swept, Myr
};

int Run::execute() {
  // Population 1, prepared once: centimetres and radians.
  std::fill_n(s_.istat.get(), kPopulationCapacity, 0);
  s_.n1 = kPopulationCapacity;
  if (load_catalog(p_.catalog_name, s_.a1.get(), s_.e1.get(), s_.inc1.get(), s_.n1, out_) !=
      CatalogStatus::ok) {
    out_.flush();
    return 1;
  }
  for (std::int32_t k = 0; k < s_.n1; ++k) {
    s_.a1[k] = s_.a1[k] * kCmPerAu;
    s_.inc1[k] = s_.inc1[k] * kRadPerDeg;
    s_.prepared1[k] = prepare_orbit(s_.a1[k], s_.e1[k], s_.inc1[k]);
  }

  write(out_, FreeFormLine().text("# Binary input filename: ").text(p_.history_name));
  out_ << kColumnHeader << '\n';

  HistoryFile history;
  const std::string history_path = trimmed_file_name(p_.history_name);
  if (!history.open(history_path)) {
    return fail(out_, FreeFormLine().text("pairtrack: Error opening file ").text(p_.history_name));
  }

  std::ofstream pair_file;
  if (p_.write_pairs != 0) {
    const std::string name80 = fixed_name(kPairFileName);
    const std::string path = trimmed_file_name(name80);
    if (!is_directory(path)) pair_file.open(path, std::ios::out | std::ios::trunc);
    if (!pair_file.is_open()) {
      return fail(out_, FreeFormLine().text("pairtrack: Error opening file ").text(name80));
    }
  }

  const int status = frame_loop(history, p_.write_pairs != 0 ? &pair_file : nullptr);
  if (status != 0) return status;
  if (pair_file.is_open()) {
    pair_file.close();
    if (pair_file.fail()) {
      // Losing pair-file lines silently would look like a complete run.
      return fail(out_, FreeFormLine()
                            .text("pairtrack: Error writing file ")
                            .text(fixed_name(kPairFileName)));
    }
  }
  return 0;
}

int Run::frame_loop(HistoryFile& history, std::ofstream* pairs) {
  const HistoryReaderPair read = history_readers(p_.format_code);
  double t_max = 0.0;
  for (;;) {
    double time = 0.0;
    std::int32_t nrec1 = 0;
    std::int32_t nrec2 = 0;
    if (read.epoch(history, time, nrec1, nrec2) != 0) break;
    const double t = time / p_.time_divisor;

    // nrec1 - 1 records, then nrec2 records, all stored alike.
    const std::int64_t records =
        std::int64_t{std::max(nrec1 - 1, 0)} + std::int64_t{std::max(nrec2, 0)};
    s_.n2 = 0;
    bool complete = true;
    for (std::int64_t r = 0; r < records; ++r) {
      std::int32_t id = 0;
      double a = 0.0, e = 0.0, inc = 0.0, angle5 = 0.0, angle6 = 0.0, angle7 = 0.0;
      if (read.orbit(history, id, a, e, inc, angle5, angle6, angle7) != 0) {
        complete = false;
        break;
      }
      t_max = t;
      if (s_.n2 == kPopulationCapacity) {
        return fail(out_, FreeFormLine()
                              .text("pairtrack: frame holds more than")
                              .integer(kPopulationCapacity)
                              .text("bodies"));
      }
      s_.ids[s_.n2] = id;
      s_.a2[s_.n2] = a;
      s_.e2[s_.n2] = e;
      s_.inc2[s_.n2] = inc;
      ++s_.n2;
    }
    if (!complete || s_.n2 == 0) break;  // end of the data
    ++frame_number_;

    // The pairs this frame can evaluate must fit the per-pair arrays.
    const std::int64_t n_pairs =
        (std::int64_t{sweep_upper_end(s_.n2, p_.n2_max)} - p_.n2_min + 1) * s_.n1;
    if (n_pairs > kProbaMax) {
      return fail(out_, FreeFormLine()
                            .text("Error: number of orbit pairs ")
                            .integer(static_cast<std::int32_t>(n_pairs))
                            .text(" larger than proba_max = ")
                            .integer(static_cast<std::int32_t>(kProbaMax)));
    }
    for (std::int32_t j = 0; j < s_.n2; ++j) s_.a2[j] = s_.a2[j] * kCmPerAu;

    if (const int status = sweep_frame(t, pairs); status != 0) return status;
  }

  history.close();
  write(out_, FreeFormLine().text("# pairtrack: t_max = ").real(t_max).text(" Myr"));
  out_.flush();
  return 0;
}

int Run::sweep_frame(double t, std::ofstream* pairs) {
  t_frame_ = t;
  const std::int32_t upper = sweep_upper_end(s_.n2, p_.n2_max);
  // Identifiers index the removal flags: every visited position needs a valid one.
  for (std::int32_t j = p_.n2_min; j <= upper; ++j) {
    const std::int32_t id = s_.ids[j - 1];
    if (id < 1 || id > kPopulationCapacity) {
      return fail(out_, FreeFormLine()
                            .text("pairtrack: body identifier")
                            .integer(id)
                            .text("outside 1 to")
                            .integer(kPopulationCapacity));
    }
  }

  // The plan: swept positions, draws and removals, in position order.
  const std::int32_t n_swept =
      plan_sweep(p_, s_.a2.get(), s_.e2.get(), s_.ids.get(), s_.n2, s_.istat.get(), s_.swept.get());
  for (std::int32_t b = 0; b < n_swept; ++b) {
    const std::int32_t j = s_.swept[b] - 1;
    s_.prepared2[b] = prepare_orbit(s_.a2[j], s_.e2[j], s_.inc2[j]);
  }

  // Every pair writes its own slot: body b, orbit k at b * n1 + k.
  const std::int64_t no_case =
      options_.progress != nullptr
          ? evaluate_with_progress(n_swept)
          : evaluate_pairs(
                std::span<const PreparedOrbit>(s_.prepared1.get(), static_cast<std::size_t>(s_.n1)),
                std::span<const PreparedOrbit>(s_.prepared2.get(), static_cast<std::size_t>(n_swept)),
                p_.v_esc, PairSlots{s_.proba_arr.get(), s_.impvel_arr.get()}, options_.threads);
  if (options_.progress != nullptr) options_.progress->clear();  // report lines follow
  for (std::int64_t i = 0; i < no_case; ++i) {
    write(out_, FreeFormLine().text("The line did not make any of the checks"));
  }

  // Counts and pair-file lines, body by body in position order.
  const std::int32_t n_proba = n_swept * s_.n1;
  std::int32_t n_impvel = 0;
  pair_text_.clear();
  for (std::int32_t b = 0; b < n_swept; ++b) {
    const double* impvel = s_.impvel_arr.get() + static_cast<std::int64_t>(b) * s_.n1;
    std::int32_t hits = 0;
    for (std::int32_t k = 0; k < s_.n1; ++k) hits += impvel[k] > kImpactThreshold ? 1 : 0;
    n_impvel += hits;
    if (pairs != nullptr && hits > 0) {
      const std::int32_t j = s_.swept[b] - 1;
      append_pair_line(pair_text_, s_.ids[j], t, s_.a2[j] / kCmPerAu, s_.e2[j], s_.inc2[j]);
    }
  }
  if (pairs != nullptr) pairs->write(pair_text_.data(), static_cast<std::streamsize>(pair_text_.size()));

  FrameFigures f{};
  f.t_myr = t;
  avg_dev(s_.proba_arr.get(), n_proba, f.proba_mean, f.proba_sigma);
  avg_dev_pw(s_.impvel_arr.get(), s_.proba_arr.get(), n_proba, f.impvel_mean, f.impvel_sigma);
  f.n1 = s_.n1;
  f.n2 = s_.n2;
  f.n_proba = n_proba;
  f.n_impvel = n_impvel;
  line_.clear();
  append_frame_line(line_, f);
  out_ << line_;
  if (options_.progress != nullptr) out_.flush();  // before the progress line is redrawn
  return 0;
}

std::int64_t Run::evaluate_with_progress(std::int32_t n_swept) {
  // Batches of bodies: each pair still writes its own slot, so the stored values and the
  // no-case count are those of one evaluation over all bodies. A batch holds at least
  // kMinBatchPairs pairs so that the threads stay busy, and a frame has at most about
  // kBatches of them.
  constexpr std::int64_t kBatches = 16;
  constexpr std::int64_t kMinBatchPairs = 4096;
  const std::int64_t n1 = s_.n1;
  const std::int64_t frame_pairs = n1 * n_swept;
  std::int64_t batch = (n_swept + kBatches - 1) / kBatches;
  if (n1 > 0) batch = std::max(batch, (kMinBatchPairs + n1 - 1) / n1);
  batch = std::max<std::int64_t>(batch, 1);

  options_.progress->frame_started(frame_number_, t_frame_, frame_pairs);
  const std::span<const PreparedOrbit> population1(s_.prepared1.get(),
                                                   static_cast<std::size_t>(n1));
  std::int64_t no_case = 0;
  for (std::int64_t b0 = 0; b0 < n_swept; b0 += batch) {
    const std::int64_t count = std::min<std::int64_t>(batch, n_swept - b0);
    const std::span<const PreparedOrbit> bodies(s_.prepared2.get() + b0,
                                                static_cast<std::size_t>(count));
    no_case += evaluate_pairs(
        population1, bodies, p_.v_esc,
        PairSlots{s_.proba_arr.get() + b0 * n1, s_.impvel_arr.get() + b0 * n1},
        options_.threads);
    options_.progress->pairs_done((b0 + count) * n1);
  }
  return no_case;
}

}  // namespace

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
  RunParameters p;
  if (!read_run_parameters(in, p)) {
    return fail(out, FreeFormLine().text("Error reading standard input."));
  }
  write(out, FreeFormLine().text("# n2_min = ").integer(p.n2_min));
  write(out, FreeFormLine().text("# n2_max = ").integer(p.n2_max));
  write(out, FreeFormLine().text("# q_crit = ").real(p.q_crit).text(" AU"));
  write(out, FreeFormLine().text("# p_crit = ").real(p.p_crit));
  if (p.format_code < 0 || p.format_code > 2) {
    return fail(out, FreeFormLine().text("pairtrack: Unknown binary file format specified."));
  }
  if (p.n2_min < 1) {
    return fail(out, FreeFormLine().text("pairtrack: n2_min must be at least 1."));
  }
  if (p.time_divisor == 0.0) {
    return fail(out, FreeFormLine().text("pairtrack: time_divisor must not be zero."));
  }
  ran1_reset();
  // Storage at full capacity, once for the whole run.
  static RunStorage storage;
  Run run(p, storage, out, options);
  const int status = run.execute();
  // A report that could not be written completely (a full disk, a closed pipe) must not pass
  // for a successful run; no message can reach the broken stream.
  return out.flush() ? status : 1;
}

}  // namespace pairtrack
