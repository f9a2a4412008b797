// The run driver: parameters and their echo, population 1, the frame loop over the history
// file, the plan of each frame, and the outputs fed in frame order.
//
// Every end of the run goes through one place: an error end writes its message line, reports
// its reason as a diagnostic and returns exit status 1; the end of the history data writes the
// closing line and returns 0. Frames handed to the evaluator are always finished and reported
// before any later message, so the report reads the same whichever evaluator ran.
#include "engine/program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>
#include <tuple>

#include "engine/checkpoint.h"
#include "engine/classic_notice.h"
#include "engine/frame_evaluator.h"
#include "engine/frame_sinks.h"
#include "engine/input_checks.h"
#include "engine/run_parameters.h"
#include "engine/run_storage.h"
#include "engine/sweep_plan.h"
#include "io/fortran_text.h"
#include "io/history_file.h"
#include "io/history_layout.h"
#include "io/history_readers.h"
#include "io/load_catalog.h"
#include "kernel/speed_binning.h"
#include "pairtrack/kernel.h"
#include "stats/ran1.h"

namespace pairtrack::detail {

namespace {

// The report's stream: every byte goes on to `target`, and the position is counted, so that a
// checkpoint knows the report's length even on a pipe (standard output), where the stream
// itself cannot tell it. A resumed run starts counting at the checkpoint's length.
class CountingBuffer : public std::streambuf {
 public:
  explicit CountingBuffer(std::streambuf* target) : target_(target) {}
  void set_base(std::uint64_t bytes) {
    base_ = bytes;
    count_ = 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)),
                                 traits_type::eof())) {
      return traits_type::eof();
    }
    ++count_;
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::streamsize done = target_->sputn(s, n);
    count_ += static_cast<std::uint64_t>(std::max<std::streamsize>(done, 0));
    return done;
  }
  int sync() override { return target_->pubsync(); }
  // seekoff(0, cur) tells the position; seekoff(n, beg) sets it without moving the target
  // (standard output resumed: the report goes on where the user appends it).
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode) override {
    if (off == 0 && dir == std::ios::cur) return pos_type(off_type(base_ + count_));
    if (off >= 0 && dir == std::ios::beg) {
      set_base(static_cast<std::uint64_t>(off));
      return pos_type(off);
    }
    return pos_type(off_type(-1));
  }
  pos_type seekpos(pos_type pos, std::ios::openmode mode) override {
    if (target_->pubseekpos(pos, mode) == pos_type(off_type(-1))) return pos_type(off_type(-1));
    set_base(static_cast<std::uint64_t>(off_type(pos)));
    return pos;
  }

 private:
  std::streambuf* target_;
  std::uint64_t base_ = 0, count_ = 0;
};

}  // namespace

namespace {

using fortran::FreeFormLine;

void write(std::ostream& out, const FreeFormLine& line) { fortran::write_line(out, line); }

// The name as messages show it: blank-filled to 80 characters (a longer name stays whole).
std::string fixed_name(const std::string& name) {
  std::string s = name;
  if (s.size() < kFileNameLength) s.resize(kFileNameLength, ' ');
  return s;
}

std::string system_reason(int error_number) {
  return error_number != 0 ? std::strerror(error_number) : std::strerror(EIO);
}

class Run {
 public:
  // `out` is the report's stream; a resumed run's starts without a buffer (nothing may be
  // written before the outputs are cut back) and gets `report` once they are.
  Run(RunParameters& p, RunStorage& s, std::ostream& out, std::streambuf* report,
      const ProgramOptions& options, Diagnostics& diagnostics, FrameEvaluator& evaluator)
      : p_(p),
        s_(s),
        out_(out),
        report_(report),
        options_(options),
        diag_(diagnostics),
        evaluator_(evaluator) {}

  int execute();
  // The classic mode's flagged pairs over the frames delivered so far.
  const ClassicTally& classic_tally() const { return tally_; }
  // Frames whose outputs are finished and flushed (the counter itself, read at the end).
  const std::int64_t* frames_delivered_counter() const { return &delivered_; }

 private:
  int frame_loop(HistoryFile& history);
  // Reads one frame into the population-2 arrays. Returns true with a complete frame; false
  // when the data end here (`status` then holds the reader's status, and an io_error ends the
  // run as an error).
  bool read_frame(HistoryFile& history, double& t, std::int32_t& status, int& error_end);
  // Checks and plans the frame held in the population-2 arrays and hands it to the evaluator.
  // Returns 0, or 1 after an error message.
  int plan_frame(double t);
  // Takes finished frames in frame order and feeds them to the outputs: those ready, after
  // waiting for the oldest one (`oldest`) or for every frame in flight (`all`).
  enum class Wait { none, oldest, all };
  void deliver(Wait wait);
  // An error end: every frame in flight is reported first, then the message line; exit 1.
  int fail(const FreeFormLine& line, const std::string& reason);
  // A warning; returns true when --strict ends the run (its message then written).
  bool warn(const std::string& kind, const std::string& text, const std::string& summary = {});
  std::string history_label() const {
    return "history file '" + trimmed_file_name(p_.history_name) + "'";
  }
  // After a frame's outputs: flush every output and write the checkpoint; false (with
  // output_error_ set) when an output or the checkpoint could not be written.
  bool finish_frame(const FrameJob& job);
  // A resumed run: the inputs checked against the checkpoint, the state restored, the outputs
  // cut back. Returns 0, or 1 after the reason.
  int resume(HistoryFile& history);
  // Why the run must end now instead of reading another frame: 0 (go on), 1 (an output could
  // not be written), or 128 + N (signal N asked it to stop).
  int stop_status();
  // Ends the run before the history's end: every frame in flight finished, then the reason.
  int end_early(int stop);
  void report_progress(const FrameJob& job, bool last);

  RunParameters& p_;
  RunStorage& s_;
  std::ostream& out_;
  std::streambuf* report_;
  const ProgramOptions& options_;
  Diagnostics& diag_;
  FrameEvaluator& evaluator_;

  std::vector<FrameSink*> sinks_;
  std::vector<FrameJob> jobs_;  // ring of planned frames, one per frame in flight
  std::size_t in_flight_ = 0;
  std::size_t oldest_ = 0;
  FrameResult result_;
  std::int64_t frame_number_ = 0;  // complete frames read so far
  std::int64_t removed_total_ = 0;
  double t_max_ = 0.0;  // time of the last body record read
  bool strict_stop_ = false;
  std::int64_t delivered_ = 0;
  std::vector<std::int32_t> removed_ids_;  // in the order of removal
  HistoryFile* history_ = nullptr;
  std::string output_error_;       // an output that could not be written, and why
  std::string output_error_line_;  // its stdout message (empty: standard output itself)
  bool dropped_ = false;           // a stop signal dropped the frame in progress
  Checkpoint checkpoint_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_progress_ = started_;
  std::int64_t pairs_done_ = 0;
  std::uint64_t resumed_offset_ = 0;
  ClassicTally tally_;
};

int Run::stop_status() {
  if (!output_error_.empty()) return 1;
  const int signal = options_.stop_signal != nullptr ? options_.stop_signal->load() : 0;
  return signal != 0 || dropped_ ? 128 + signal : 0;
}

// Tests of stopping and resuming need a signal at a known frame: PAIRTRACK_TEST_RAISE=K:N
// raises signal N in this process once frame K's outputs are flushed and before its checkpoint
// is written (for SIGKILL, the worst moment: the outputs hold a frame the checkpoint does not).
void raise_for_tests(std::int64_t frame) {
  static const char* request = std::getenv("PAIRTRACK_TEST_RAISE");
  if (request == nullptr) return;
  long long at = 0;
  int signal = 0;
  if (std::sscanf(request, "%lld:%d", &at, &signal) == 2 && at == frame) std::raise(signal);
}

bool Run::finish_frame(const FrameJob& job) {
  ++delivered_;
  pairs_done_ += job.pairs();
  std::string reason;
  for (FrameSink* sink : sinks_) {
    if (sink->flush(reason)) continue;
    const OutputLength o = sink->output();
    output_error_ = (o.path == "-" ? std::string("standard output") : "'" + o.path + "'") +
                    " could not be written at frame " + std::to_string(job.frame) + ": " + reason;
    // The message line names the pair file as its other messages do (80 characters).
    output_error_line_ = o.path == "-"       ? std::string()
                         : o.role == "pairs" ? fixed_name(o.path)
                                             : o.path;
    return false;
  }
  raise_for_tests(job.frame);
  if (!options_.checkpoint_path.empty()) {
    checkpoint_.position = job.position;
    checkpoint_.removed_ids = removed_ids_;
    checkpoint_.outputs.clear();
    for (FrameSink* sink : sinks_) {
      OutputLength o = sink->output();
      if (!o.role.empty()) checkpoint_.outputs.push_back(std::move(o));
    }
    if (!write_checkpoint(options_.checkpoint_path, checkpoint_, reason)) {
      output_error_ = "checkpoint " + reason;
      output_error_line_ = options_.checkpoint_path;
      return false;
    }
  }
  report_progress(job, false);
  return true;
}

void Run::report_progress(const FrameJob& job, bool last) {
  if (options_.progress_every <= 0.0 || options_.progress_stream == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (!last &&
      std::chrono::duration<double>(now - last_progress_).count() < options_.progress_every) {
    return;
  }
  last_progress_ = now;
  const double elapsed = std::chrono::duration<double>(now - started_).count();
  // The history file's bytes tell how far the run is: frames differ in size, bytes do not lie.
  const std::uint64_t at = job.position.history_offset;
  const std::uint64_t done = at > resumed_offset_ ? at - resumed_offset_ : 0;
  const std::uint64_t left = history_ != nullptr ? history_->bytes_left() : 0;
  char text[256];
  if (done > 0) {
    std::snprintf(
        text, sizeof text,
        "pairtrack: progress: frame %lld, t = %.6g Myr, %lld pairs so far, elapsed %.0f s,"
        " estimated remaining %.0f s\n",
        static_cast<long long>(job.frame), job.t_myr, static_cast<long long>(pairs_done_), elapsed,
        elapsed * static_cast<double>(left) / static_cast<double>(done));
  } else {
    std::snprintf(
        text, sizeof text,
        "pairtrack: progress: frame %lld, t = %.6g Myr, %lld pairs so far, elapsed %.0f s\n",
        static_cast<long long>(job.frame), job.t_myr, static_cast<long long>(pairs_done_), elapsed);
  }
  *options_.progress_stream << text << std::flush;
}

bool Run::warn(const std::string& kind, const std::string& text, const std::string& summary) {
  if (!diag_.warn_counted(kind, text, summary)) return false;
  strict_stop_ = true;
  deliver(Wait::all);
  write(out_, FreeFormLine().text("pairtrack: stopped by --strict: ").text(text));
  out_.flush();
  return true;
}

int Run::fail(const FreeFormLine& line, const std::string& reason) {
  deliver(Wait::all);
  write(out_, line);
  out_.flush();
  if (!reason.empty()) diag_.error(reason);
  return 1;
}

void Run::deliver(Wait wait) {
  // After a stop signal or a failed write no further frame is delivered: frames still in
  // flight are dropped, and every output stays at the last finished frame.
  while (in_flight_ > 0 && stop_status() == 0 && evaluator_.take(result_, wait != Wait::none)) {
    if (wait == Wait::oldest) wait = Wait::none;
    const FrameJob& job = jobs_[oldest_];
    for (FrameSink* sink : sinks_) sink->frame(job, result_);
    tally_.add(job, result_);
    finish_frame(job);  // every finished frame whole on disk, then the checkpoint
    oldest_ = (oldest_ + 1) % jobs_.size();
    --in_flight_;
  }
}

int Run::execute() {
  // Population 1, prepared once: centimetres and radians.
  std::fill_n(s_.istat.get(), kPopulationCapacity, 0);
  s_.n1 = kPopulationCapacity;
  CatalogReport catalog;
  const CatalogStatus loaded =
      load_catalog(p_.catalog_name, s_.a1.get(), s_.e1.get(), s_.inc1.get(), s_.n1, out_, &catalog);
  const std::string catalog_label = "catalogue '" + trimmed_file_name(p_.catalog_name) + "'";
  switch (loaded) {
    case CatalogStatus::ok: break;
    case CatalogStatus::cannot_open:
      out_.flush();
      diag_.error(catalog_label + " cannot be read: " + catalog.system_error);
      return 1;
    case CatalogStatus::read_error:
      out_.flush();
      diag_.error(catalog_label + ": read failed after " + std::to_string(catalog.lines_total) +
                  " lines: " + catalog.system_error);
      return 1;
    case CatalogStatus::too_many_orbits:
      out_.flush();
      diag_.error(catalog_label + " holds more than " + std::to_string(kPopulationCapacity) +
                  " orbits: select the population of interest first (see the README)");
      return 1;
  }
  for (const CheckFinding& finding :
       check_catalog(catalog_label, catalog, s_.n1, s_.a1.get(), s_.e1.get(), s_.inc1.get())) {
    if (warn(finding.kind, finding.text, finding.summary)) return 1;
  }
  for (std::int32_t k = 0; k < s_.n1; ++k) {
    s_.a1[k] = s_.a1[k] * kCentimetresPerAu;
    s_.inc1[k] = s_.inc1[k] * kRadiansPerDegree;
    s_.prepared1[k] = prepare_orbit(s_.a1[k], s_.e1[k], s_.inc1[k]);
  }
  PairMode mode;
  mode.accuracy = options_.accuracy;
  mode.min_mutual_inclination = options_.min_mutual_inclination_deg * kRadPerDegExact;
  mode.classic_check = options_.classic_check && !mode.accurate();
  if (options_.speed_histograms) {
    mode.speed_bins = speed_binning(options_.speed_bins);
  }
  evaluator_.begin(
      std::span<const PreparedOrbit>(s_.prepared1.get(), static_cast<std::size_t>(s_.n1)), p_.v_esc,
      mode);

  write(out_, FreeFormLine().text("# Binary input filename: ").text(p_.history_name));
  out_ << kColumnHeader << '\n';

  HistoryFile history;
  const std::string history_path = trimmed_file_name(p_.history_name);
  std::string open_reason;
  if (!history.open(history_path, &open_reason)) {
    return fail(FreeFormLine().text("pairtrack: Error opening file ").text(p_.history_name),
                history_label() + " cannot be opened: " + open_reason);
  }

  std::ofstream pair_file;
  const std::string pair_name = fixed_name(options_.pair_file_name);
  if (p_.write_pairs != 0) {
    std::string reason;
    if (!open_output_file(options_.pair_file_name, pair_file, reason, options_.resume != nullptr)) {
      return fail(FreeFormLine().text("pairtrack: Error opening file ").text(pair_name),
                  "pair file '" + options_.pair_file_name + "' cannot be written: " + reason);
    }
  }

  ReportSink report(out_, options_.report_path);
  PairFileSink pairs(pair_file, options_.pair_file_name);
  sinks_.push_back(&report);
  if (p_.write_pairs != 0) sinks_.push_back(&pairs);
  for (FrameSink* sink : options_.sinks) sinks_.push_back(sink);
  jobs_.resize(std::max<std::size_t>(evaluator_.capacity(), 1));
  history_ = &history;
  if (!options_.checkpoint_path.empty() || options_.resume != nullptr) {
    checkpoint_.records = options_.records_identity;
    std::string reason;
    if (!identify_file(trimmed_file_name(p_.catalog_name), checkpoint_.catalogue, reason) ||
        !identify_file(history_path, checkpoint_.history, reason)) {
      out_.rdbuf(report_);
      out_.clear();
      diag_.error("the inputs cannot be identified for the checkpoint: " + reason);
      return 1;
    }
  }
  if (options_.resume != nullptr) {
    if (const int failed = resume(history); failed != 0) return failed;
  }

  const int status = frame_loop(history);
  if (status != 0) return status;
  if (pair_file.is_open()) {
    errno = 0;
    pair_file.close();
    if (pair_file.fail()) {
      // Losing pair-file lines silently would look like a complete run.
      return fail(FreeFormLine().text("pairtrack: Error writing file ").text(pair_name),
                  "pair file '" + options_.pair_file_name +
                      "' could not be written completely: " + system_reason(errno));
    }
  }
  return 0;
}

int Run::resume(HistoryFile& history) {
  const Checkpoint& c = *options_.resume;
  out_.rdbuf(report_);  // nothing has been written: the preamble went nowhere
  out_.clear();
  const auto refuse = [&](const std::string& why) {
    diag_.error("checkpoint '" + options_.resume_path + "' does not fit this run: " + why +
                "; nothing was changed");
    return 1;
  };
  if (c.records != checkpoint_.records) {
    return refuse("it was written for other records on standard input (" + c.records + ")");
  }
  for (const auto& [what, had, has] :
       {std::tuple{"catalogue", c.catalogue, checkpoint_.catalogue},
        std::tuple{"history file", c.history, checkpoint_.history}}) {
    if (had.size != has.size) {
      return refuse(std::string("the ") + what + " holds " + std::to_string(has.size) +
                    " bytes, the checkpoint's " + std::to_string(had.size));
    }
    if (had.hash != has.hash) return refuse(std::string("the ") + what + "'s contents differ");
  }
  // Every output of this run must be one the checkpoint knew, under the same name.
  std::vector<std::pair<FrameSink*, std::uint64_t>> cuts;
  for (FrameSink* sink : sinks_) {
    const OutputLength now = sink->output();
    if (now.role.empty()) continue;
    const auto known = std::find_if(c.outputs.begin(), c.outputs.end(),
                                    [&](const OutputLength& o) { return o.role == now.role; });
    if (known == c.outputs.end()) {
      return refuse("the checkpoint knows no " + now.role + " output (options differ?)");
    }
    if (known->path != now.path) {
      return refuse("its " + now.role + " output was '" + known->path + "', not '" + now.path +
                    "'");
    }
    cuts.emplace_back(sink, known->bytes);
  }
  if (cuts.size() != c.outputs.size()) {  // e.g. a checkpoint with a pair file, a run without
    return refuse("it knows outputs that this run does not write (options differ?)");
  }
  if (!history.seek(c.position.history_offset)) {
    return refuse("the history file cannot be positioned at byte " +
                  std::to_string(c.position.history_offset));
  }
  for (const auto& [sink, bytes] : cuts) {
    std::string reason;
    if (!sink->resume(bytes, reason)) {
      diag_.error("the " + sink->output().role + " output '" + sink->output().path +
                  "' cannot be resumed: " + reason);
      return 1;
    }
  }
  // The state after the checkpoint's frame: the generator, the removals, the counters.
  const RunPosition& at = c.position;
  p_.iseed = at.iseed;
  ran1_restore(at.table);
  removed_ids_ = c.removed_ids;
  for (const std::int32_t id : removed_ids_) {
    if (id >= 1 && id <= kPopulationCapacity) s_.istat[id - 1] = 1;
  }
  frame_number_ = delivered_ = at.frame;
  removed_total_ = at.removed_total;
  t_max_ = at.t_max;
  resumed_offset_ = at.history_offset;
  return 0;
}

bool Run::read_frame(HistoryFile& history, double& t, std::int32_t& status, int& error_end) {
  const HistoryReaderPair read = history_readers(p_.format_code);
  const auto encoding = static_cast<HistoryEncoding>(p_.format_code);
  double time = 0.0;
  std::int32_t nrec1 = 0;
  std::int32_t nrec2 = 0;
  status = read.epoch(history, time, nrec1, nrec2);
  if (frame_number_ == 0) {
    const std::string mismatch =
        record_length_mismatch(history.record_length(), encoding, /*header=*/true);
    if (!mismatch.empty() && warn("encoding", history_label() + ": " + mismatch)) {
      error_end = 1;
      return false;
    }
  }
  if (status != 0) return false;
  t = time / p_.time_divisor;

  // nrec1 - 1 records, then nrec2 records, all stored alike.
  const std::int64_t records =
      std::int64_t{std::max(nrec1 - 1, 0)} + std::int64_t{std::max(nrec2, 0)};
  s_.n2 = 0;
  for (std::int64_t r = 0; r < records; ++r) {
    std::int32_t id = 0;
    double a = 0.0, e = 0.0, inc = 0.0, angle5 = 0.0, angle6 = 0.0, angle7 = 0.0;
    status = read.orbit(history, id, a, e, inc, angle5, angle6, angle7);
    if (frame_number_ == 0 && r == 0) {
      const std::string mismatch =
          record_length_mismatch(history.record_length(), encoding, /*header=*/false);
      if (!mismatch.empty() && warn("encoding", history_label() + ": " + mismatch)) {
        error_end = 1;
        return false;
      }
    }
    if (status != 0) {
      // A frame cut short: the end of the data, not a status of its own.
      if (status == history_status::end_of_file) status = history_status::truncated;
      return false;
    }
    t_max_ = t;
    if (s_.n2 == kPopulationCapacity) {
      error_end = fail(FreeFormLine()
                           .text("pairtrack: frame holds more than")
                           .integer(kPopulationCapacity)
                           .text("bodies"),
                       history_label() + ": frame " + std::to_string(frame_number_ + 1) +
                           " holds more than " + std::to_string(kPopulationCapacity) + " bodies");
      return false;
    }
    s_.ids[s_.n2] = id;
    s_.a2[s_.n2] = a;
    s_.e2[s_.n2] = e;
    s_.inc2[s_.n2] = inc;
    ++s_.n2;
  }
  if (s_.n2 == 0) {
    status = kEmptyFrame;
    return false;
  }
  return true;
}

int Run::end_early(int stop) {
  deliver(Wait::all);
  if (!output_error_.empty()) {
    // An output that cannot take the frames (a full disk, a closed pipe) ends the run at the
    // frame it failed on, not after the whole run.
    if (!output_error_line_.empty()) {
      write(out_, FreeFormLine().text("pairtrack: Error writing file ").text(output_error_line_));
      out_.flush();
    }
    diag_.error(output_error_);
    return 1;
  }
  const int signal = stop - 128;
  diag_.notice("stopped by signal " + std::to_string(signal) + " after frame " +
               std::to_string(delivered_));
  out_.flush();
  return stop;
}

int Run::frame_loop(HistoryFile& history) {
  for (;;) {
    if (options_.cancel != nullptr && options_.cancel->load(std::memory_order_relaxed)) {
      throw Cancelled();
    }
    if (const int stop = stop_status(); stop != 0) return end_early(stop);
    double t = 0.0;
    std::int32_t status = 0;
    int error_end = 0;
    if (!read_frame(history, t, status, error_end)) {
      if (error_end != 0) return error_end;
      if (status == history_status::io_error) {
        return fail(FreeFormLine().text("pairtrack: Error reading file ").text(p_.history_name),
                    history_label() + ": read failed at byte offset " +
                        std::to_string(history.record_offset()) + ": " +
                        system_reason(history.error_number()));
      }
      const std::string ending = describe_data_end(status, history, frame_number_, p_.format_code);
      if (!ending.empty() && warn("data-end", history_label() + ": " + ending)) return 1;
      break;
    }
    ++frame_number_;
    if (const int failed = plan_frame(t); failed != 0) return failed;
    deliver(Wait::none);
  }

  deliver(Wait::all);
  if (const int stop = stop_status(); stop != 0) return end_early(stop);
  history.close();
  write(out_, FreeFormLine().text("# pairtrack: t_max = ").real(t_max_).text(" Myr"));
  out_.flush();
  return 0;
}

int Run::plan_frame(double t) {
  // The pairs this frame can evaluate must fit the per-pair arrays.
  const std::int32_t upper = sweep_upper_end(s_.n2, p_.n2_max);
  const std::int64_t n_pairs = (std::int64_t{upper} - p_.n2_min + 1) * s_.n1;
  if (n_pairs > kPairCapacity) {
    return fail(FreeFormLine()
                    .text("Error: number of orbit pairs ")
                    .integer(static_cast<std::int32_t>(n_pairs))
                    .text(" larger than proba_max = ")
                    .integer(static_cast<std::int32_t>(kPairCapacity)),
                "frame " + std::to_string(frame_number_) + " would evaluate " +
                    std::to_string(n_pairs) + " pairs, more than " + std::to_string(kPairCapacity) +
                    ": narrow n2_min .. n2_max or the catalogue");
  }
  for (std::int32_t j = 0; j < s_.n2; ++j) s_.a2[j] = s_.a2[j] * kCentimetresPerAu;

  // Identifiers index the removal flags: every visited position needs a valid one.
  for (std::int32_t j = p_.n2_min; j <= upper; ++j) {
    const std::int32_t id = s_.ids[j - 1];
    if (id < 1 || id > kPopulationCapacity) {
      return fail(FreeFormLine()
                      .text("pairtrack: body identifier")
                      .integer(id)
                      .text("outside 1 to")
                      .integer(kPopulationCapacity),
                  "frame " + std::to_string(frame_number_) + ", position " + std::to_string(j) +
                      ": body identifier " + std::to_string(id) + " is outside 1 to " +
                      std::to_string(kPopulationCapacity));
    }
  }

  if (time_field_overflows(t) &&
      warn("time-field",
           "frame " + std::to_string(frame_number_) + " has the time " +
               fortran::free_form_real(t) +
               " Myr, too wide for the report's time field (f16.10): it is written as asterisks;"
               " the history file's times are divided by time_divisor (" +
               fortran::free_form_real(p_.time_divisor) + ") to give Myr",
           "frames whose time is written as asterisks")) {
    return 1;
  }

  // The plan: swept positions, draws and removals, in position order.
  // A free slot for the next frame: only the oldest frame in flight is waited for.
  if (in_flight_ == jobs_.size()) deliver(Wait::oldest);
  FrameJob& job = jobs_[(oldest_ + in_flight_) % jobs_.size()];
  job.frame = frame_number_;
  job.t_myr = t;
  job.n1 = s_.n1;
  job.n2 = s_.n2;
  job.removed_total = removed_total_;
  plan_sweep(p_, s_.a2.get(), s_.e2.get(), s_.inc2.get(), s_.ids.get(), s_.n2, s_.istat.get(), job);
  removed_total_ = job.removed_total;
  for (const SweptBody& body : job.bodies) {
    if (body.removed) removed_ids_.push_back(body.id);
  }
  job.position = RunPosition{frame_number_, history_->position(), t_max_, removed_total_, p_.iseed,
                             ran1_table(),  removed_ids_.size()};

  for (const SweptBody& body : job.bodies) {
    for (const CheckFinding& finding : check_history_body(body, frame_number_)) {
      if (warn(finding.kind, finding.text, finding.summary)) return 1;
    }
  }
  try {
    evaluator_.submit(job);
  } catch (const FrameDropped&) {
    dropped_ = true;  // a stop signal came while a long frame was evaluated
    return 0;
  }
  ++in_flight_;
  return 0;
}

}  // namespace

int run_program(std::istream& in, std::ostream& report, const ProgramOptions& options) {
  Diagnostics diagnostics(options.diagnostics, options.policy);
  // Every byte of the report goes through one counted stream (its length goes into
  // checkpoints). A resumed run writes nothing until its outputs are cut back: the echo lines
  // and the catalogue's lines are already in the report it continues.
  CountingBuffer counted(report.rdbuf());
  std::ostream out(options.resume != nullptr ? nullptr : &counted);
  RunParameters p;
  ParameterReadFailure failure;
  int status = 0;
  const std::int64_t* frames_done = nullptr;
  const auto end_run = [&](int s) {
    diagnostics.finish();
    if (options.summary != nullptr) {
      options.summary->frames = frames_done != nullptr ? *frames_done : 0;
      options.summary->stop_signal = s > 128 ? s - 128 : 0;
      options.summary->warnings = diagnostics.warnings();
      options.summary->errors = diagnostics.errors();
      options.summary->resumed_from = options.resume != nullptr ? options.resume_path : "";
      const std::streamoff at = counted.pubseekoff(0, std::ios::cur, std::ios::out);
      options.summary->report_bytes = at > 0 ? static_cast<std::uint64_t>(at) : 0;
    }
    // A report that could not be written completely (a full disk, a closed pipe) must not pass
    // for a successful run; no message can reach the broken stream.
    if (out.rdbuf() == nullptr) return s;  // a resumed run refused before it wrote anything
    // (An error end has given its reason already, a failed write at a frame included.)
    if (!out.flush() && s == 0) {
      diagnostics.error((options.report_path == "-" ? std::string("standard output")
                                                    : "report '" + options.report_path + "'") +
                        " could not be written completely: the report is incomplete");
      return 1;
    }
    return s;
  };
  if (!read_run_parameters(in, p, &failure)) {
    write(out, FreeFormLine().text("Error reading standard input."));
    out.flush();
    diagnostics.error(failure.describe());
    return end_run(1);
  }
  if (options.summary != nullptr) {
    options.summary->records_read = true;
    options.summary->records = p;
  }
  write(out, FreeFormLine().text("# n2_min = ").integer(p.n2_min));
  write(out, FreeFormLine().text("# n2_max = ").integer(p.n2_max));
  write(out, FreeFormLine().text("# q_crit = ").real(p.q_crit).text(" AU"));
  write(out, FreeFormLine().text("# p_crit = ").real(p.p_crit));
  if (options.accuracy > 0.0)
    write(out, accuracy_echo(options.accuracy, options.min_mutual_inclination_deg));
  const auto refuse = [&](const char* message, const std::string& reason) {
    write(out, FreeFormLine().text(message));
    out.flush();
    diagnostics.error(reason);
    return end_run(1);
  };
  if (p.format_code < 0 || p.format_code > 2) {
    return refuse("pairtrack: Unknown binary file format specified.",
                  "record 3: format code " + std::to_string(p.format_code) +
                      " is not 0 (16-bit scaled), 1 (float32) or 2 (float64)");
  }
  if (p.n2_min < 1) {
    return refuse("pairtrack: n2_min must be at least 1.",
                  "record 4: n2_min is " + std::to_string(p.n2_min) +
                      "; positions within a frame start at 1");
  }
  if (p.time_divisor == 0.0) {
    return refuse("pairtrack: time_divisor must not be zero.",
                  "record 5: time_divisor is 0; frame times are divided by it");
  }
  for (const CheckFinding& finding : check_parameters(p)) {
    if (diagnostics.warn(finding.kind, finding.text)) {
      write(out, FreeFormLine().text("pairtrack: stopped by --strict: ").text(finding.text));
      out.flush();
      return end_run(1);
    }
  }
  ran1_reset();
  const std::string records = records_identity(p);  // before the run changes iseed
  // Storage at full capacity, once for the whole process.
  RunStorage& storage = run_storage();
  SerialEvaluator serial(storage, options.threads, options.progress, options.cancel,
                         options.stop_signal);
  FrameEvaluator& evaluator = options.evaluator != nullptr ? *options.evaluator : serial;
  ProgramOptions with_records = options;
  with_records.records_identity = records;
  if (options.accuracy > 0.0) {
    // A checkpoint of the accurate mode must not be continued in the other mode (or at another
    // accuracy): the mode is part of what the outputs were computed from.
    char mode[96];
    std::snprintf(mode, sizeof mode, " accuracy %a %a", options.accuracy,
                  options.min_mutual_inclination_deg);
    with_records.records_identity += mode;
  }
  if (options.speed_histograms) {
    // Likewise the speed bins: a file of one layout must not be continued in another.
    char bins[96];
    std::snprintf(bins, sizeof bins, " speeds %a %a %a", options.speed_bins.min_km_s,
                  options.speed_bins.max_km_s, options.speed_bins.step_km_s);
    with_records.records_identity += bins;
  }
  Run run(p, storage, out, &counted, with_records, diagnostics, evaluator);
  frames_done = run.frames_delivered_counter();
  status = run.execute();
  evaluator.end();
  // At the normal end only, and not for a resumed run, whose counts would cover only its part.
  if (status == 0 && !options.policy.quiet && options.resume == nullptr) {
    if (const std::string text = run.classic_tally().notice(); !text.empty())
      diagnostics.notice(text);
  }
  return end_run(status);
}

}  // namespace pairtrack::detail
