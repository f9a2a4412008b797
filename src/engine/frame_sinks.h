// The outputs a run feeds, frame by frame, in frame order: the report on standard output, the
// pair file, and the optional machine-readable tables (one CSV row per swept body, one per
// frame). Each sink sees the frame's job (what was swept, drawn and removed) and its result.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "engine/frame_job.h"
#include "kernel/speed_binning.h"
#include "pairtrack/speeds.h"
#include "pairtrack/tables.h"

namespace pairtrack::detail {

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void frame(const FrameJob& job, const FrameResult& result) = 0;
  // Called after every frame: pushes what frame() wrote out of the process, so that a
  // finished frame is whole on disk whatever happens next. False, with the system's reason,
  // when the output did not take it all (a full disk, a closed pipe).
  virtual bool flush(std::string& reason) {
    (void)reason;
    return true;
  }
  // The output this sink writes, for checkpoints: its role, its path and its length in bytes
  // now (after a flush). An empty role for sinks that write no file.
  virtual OutputLength output() const { return {}; }
  // A resumed run: the output is cut back to `bytes` (its length after the checkpoint's frame)
  // and continued from there. False, with a reason, when that cannot be done.
  virtual bool resume(std::uint64_t bytes, std::string& reason) {
    (void)bytes;
    (void)reason;
    return true;
  }
};

// What the file-writing sinks share: a stream on a named file, flushed after every frame, cut
// back to a checkpoint's length on resume.
class FileOutput {
 public:
  FileOutput(std::ostream& stream, std::string role, std::string path)
      : stream_(stream), role_(std::move(role)), path_(std::move(path)) {}
  // After each write: a stream that just failed keeps the system's reason (errno) for flush().
  void check() {
    if (!stream_ && error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  bool flush(std::string& reason);
  OutputLength output() const;
  bool resume(std::uint64_t bytes, std::string& reason);

 private:
  std::ostream& stream_;
  std::string role_, path_;
  int error_ = 0;
};

// A sink that writes one named file through a FileOutput: flushed, measured and resumed alike.
class FileSink : public FrameSink {
 public:
  FileSink(std::ostream& stream, std::string role, std::string path)
      : output_(stream, std::move(role), std::move(path)) {}
  bool flush(std::string& reason) override { return output_.flush(reason); }
  OutputLength output() const override { return output_.output(); }
  bool resume(std::uint64_t bytes, std::string& reason) override {
    return output_.resume(bytes, reason);
  }

 protected:
  FileOutput output_;
};

// The report: one "The line did not make any of the checks" line per such pair, then the frame
// line "(f16.10,4(1x,f22.16),4(1x,i8))".
class ReportSink : public FileSink {
 public:
  // `path`: the report file's name, or "-" for standard output.
  ReportSink(std::ostream& out, std::string path)
      : FileSink(out, "report", std::move(path)), out_(out) {}
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& out_;
  std::string line_;
};

// The pair file: one line per swept body that can collide with at least one catalogue orbit
// (impact speed above 1e-8 km/s), "(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))".
class PairFileSink : public FileSink {
 public:
  PairFileSink(std::ostream& file, std::string path)
      : FileSink(file, "pairs", std::move(path)), file_(file) {}
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  std::string text_;
};

// --bodies: one CSV row per swept body per frame, reals with 17 significant digits. The header
// row names every column with its unit (see kBodiesCsvHeader).
inline constexpr const char* kBodiesCsvHeader =
    "frame,t_myr,position,id,a_au,e,inc_deg,q_au,p_mean_1e-18_km-2_yr-1,p_sum_1e-18_km-2_yr-1,"
    "v_imp_mean_km_s,n_hit,removed,draw,n_classic_off,n_singular,n_divergent,"
    "p_sum_error_1e-18_km-2_yr-1";

class BodiesCsvSink : public FileSink {
 public:
  // Writes the header row, unless the run resumes a file that has it.
  explicit BodiesCsvSink(std::ostream& file, std::string path = {}, bool header = true);
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  std::string text_;
  std::vector<BodyRow> rows_;
};

// --frames: the frame line as CSV at 17 significant digits (never asterisks), with the bodies
// swept (active) and removed in the frame and in the run so far.
inline constexpr const char* kFramesCsvHeader =
    "frame,t_myr,proba_mean_1e-18_km-2_yr-1,proba_sigma_1e-18_km-2_yr-1,impvel_mean_km_s,"
    "impvel_sigma_km_s,n1,n2,n_proba,n_impvel,n_active,n_removed,n_removed_total,"
    "n_classic_off,n_singular,n_divergent,proba_mean_error_1e-18_km-2_yr-1,"
    "v_imp_cw_mean_km_s,v_imp_cw_rms_km_s,v_imp_cw_sd_km_s";

class FramesCsvSink : public FileSink {
 public:
  explicit FramesCsvSink(std::ostream& file, std::string path = {}, bool header = true);
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  std::string text_;
};

// --speed-histogram: the frame's collision-weighted distributions of impact and encounter speed,
// one row per bin (position = id = 0, every bin, underflow and overflow included), then with
// `bodies` each swept body's rows (its position and id; only the bins where either distribution
// is nonzero). The bins' lower and upper speeds bound each row's bin; the underflow bin's lower
// speed is -inf, the overflow bin's upper speed inf.
inline constexpr const char* kSpeedsCsvHeader =
    "frame,t_myr,position,id,speed_min_km_s,speed_max_km_s,p_impact_1e-18_km-2_yr-1,"
    "p_encounter_1e-18_km-2_yr-1";

class SpeedHistogramSink : public FileSink {
 public:
  SpeedHistogramSink(std::ostream& file, std::string path, const SpeedBins& bins, bool bodies,
                     bool header = true);
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  SpeedBinning bins_;
  bool bodies_;
  std::string text_;
  std::vector<SpeedHistogramRow> rows_;
  std::vector<double> impact_, encounter_;
};

// The speed-histogram rows of a frame, as SpeedHistogramSink writes them, appended to `rows`
// (`impact` and `encounter` are the frame sums' scratch space).
void append_speed_rows(const FrameJob& job, const FrameResult& result, const SpeedBinning& bins,
                       bool bodies, std::vector<SpeedHistogramRow>& rows,
                       std::vector<double>& impact, std::vector<double>& encounter);

// The table rows of a frame: its FrameRow, and one BodyRow per swept body appended to `rows`.
FrameRow frame_row(const FrameJob& job, const FrameResult& result);
// The frame's pair-file lines: one per swept body with at least one hit, in position order.
void append_pair_lines(std::string& out, const FrameJob& job, const FrameResult& result);
void append_body_rows(const FrameJob& job, const FrameResult& result, std::vector<BodyRow>& rows);

// Keeps every frame's table rows in memory (the library's run()); with `speeds`, the speed
// histogram's rows too (per-body rows included), binned with `bins`.
class TableSink : public FrameSink {
 public:
  TableSink() = default;
  explicit TableSink(const SpeedBins& bins) : speeds_(true), bins_(speed_binning(bins)) {}
  void frame(const FrameJob& job, const FrameResult& result) override {
    frames.push_back(frame_row(job, result));
    append_body_rows(job, result, bodies);
    if (speeds_) append_speed_rows(job, result, bins_, true, speeds, impact_, encounter_);
  }
  std::vector<FrameRow> frames;
  std::vector<BodyRow> bodies;
  std::vector<SpeedHistogramRow> speeds;

 private:
  bool speeds_ = false;
  SpeedBinning bins_{};
  std::vector<double> impact_, encounter_;
};

// A real as the tables write it: 17 significant digits, shortest exponent form ("%.17g").
void append_csv_real(std::string& out, double value);

// Degrees per radian for the tables' inclinations (180 / pi).
inline constexpr double kDegPerRad = 57.295779513082323;

}  // namespace pairtrack::detail
