// The outputs a run feeds, frame by frame, in frame order: the report on standard output, the
// pair file, and the optional machine-readable tables (one CSV row per swept body, one per
// frame). Each sink sees the frame's job (what was swept, drawn and removed) and its result.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "pairtrack/tables.h"
#include "engine/frame_job.h"

namespace pairtrack::detail {

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void frame(const FrameJob& job, const FrameResult& result) = 0;
};

// The report: one "The line did not make any of the checks" line per such pair, then the frame
// line "(f16.10,4(1x,f22.16),4(1x,i8))".
class ReportSink : public FrameSink {
 public:
  explicit ReportSink(std::ostream& out) : out_(out) {}
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& out_;
  std::string line_;
};

// The pair file: one line per swept body that can collide with at least one catalogue orbit
// (impact speed above 1e-8 km/s), "(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))".
class PairFileSink : public FrameSink {
 public:
  explicit PairFileSink(std::ostream& file) : file_(file) {}
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  std::string text_;
};

// --bodies: one CSV row per swept body per frame, reals with 17 significant digits. The header
// row names every column with its unit (see kBodiesCsvHeader).
inline constexpr const char* kBodiesCsvHeader =
    "frame,t_myr,position,id,a_au,e,inc_deg,q_au,p_mean_1e-18_km-2_yr-1,p_sum_1e-18_km-2_yr-1,"
    "v_imp_mean_km_s,n_hit,removed,draw";

class BodiesCsvSink : public FrameSink {
 public:
  // Writes the header row.
  explicit BodiesCsvSink(std::ostream& file);
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
    "impvel_sigma_km_s,n1,n2,n_proba,n_impvel,n_active,n_removed,n_removed_total";

class FramesCsvSink : public FrameSink {
 public:
  explicit FramesCsvSink(std::ostream& file);
  void frame(const FrameJob& job, const FrameResult& result) override;

 private:
  std::ostream& file_;
  std::string text_;
};

// The table rows of a frame: its FrameRow, and one BodyRow per swept body appended to `rows`.
FrameRow frame_row(const FrameJob& job, const FrameResult& result);
void append_body_rows(const FrameJob& job, const FrameResult& result, std::vector<BodyRow>& rows);

// Keeps every frame's table rows in memory (the library's run()).
class TableSink : public FrameSink {
 public:
  void frame(const FrameJob& job, const FrameResult& result) override {
    frames.push_back(frame_row(job, result));
    append_body_rows(job, result, bodies);
  }
  std::vector<FrameRow> frames;
  std::vector<BodyRow> bodies;
};

// A real as the tables write it: 17 significant digits, shortest exponent form ("%.17g").
void append_csv_real(std::string& out, double value);

// Degrees per radian for the tables' inclinations (180 / pi).
inline constexpr double kDegPerRad = 57.295779513082323;

}  // namespace pairtrack::detail
