// Writing one frame to each output.
#include "engine/frame_sinks.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/run_storage.h"
#include "io/fortran_text.h"

namespace pairtrack::detail {

bool FileOutput::flush(std::string& reason) {
  errno = 0;
  if (stream_.flush()) return true;
  check();
  reason = std::strerror(error_);
  return false;
}

OutputLength FileOutput::output() const {
  const std::streamoff at = stream_.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::out);
  return {role_, path_, at < 0 ? 0 : static_cast<std::uint64_t>(at)};
}

bool FileOutput::resume(std::uint64_t bytes, std::string& reason) {
  if (path_ == "-") {
    // Standard output cannot be cut back: the run goes on where the user's redirection puts
    // it, and only the count of the report's bytes starts at the checkpoint's length.
    stream_.rdbuf()->pubseekoff(static_cast<std::streamoff>(bytes), std::ios::beg, std::ios::out);
    return true;
  }
  if (!truncate_output(path_, bytes, reason)) return false;
  stream_.seekp(std::streampos(static_cast<std::streamoff>(bytes)));
  if (!stream_) {
    reason = "cannot be positioned at byte " + std::to_string(bytes);
    return false;
  }
  return true;
}

void ReportSink::frame(const FrameJob&, const FrameResult& result) {
  for (std::int64_t i = 0; i < result.no_case; ++i) {
    fortran::write_line(out_,
                        fortran::FreeFormLine().text("The line did not make any of the checks"));
  }
  line_.clear();
  append_frame_line(line_, result.figures);
  errno = 0;
  out_ << line_;
  output_.check();
}

void append_pair_lines(std::string& out, const FrameJob& job, const FrameResult& result) {
  for (std::size_t b = 0; b < job.bodies.size(); ++b) {
    if (result.bodies[b].hits == 0) continue;
    const SweptBody& body = job.bodies[b];
    append_pair_line(out, body.id, job.t_myr, body.a_cm / kCentimetresPerAu, body.e, body.inc);
  }
}

void PairFileSink::frame(const FrameJob& job, const FrameResult& result) {
  const std::string* text = &result.pair_lines;
  if (!result.pair_lines_formed) {
    text_.clear();
    append_pair_lines(text_, job, result);
    text = &text_;
  }
  errno = 0;
  file_.write(text->data(), static_cast<std::streamsize>(text->size()));
  output_.check();
}

void append_csv_real(std::string& out, double value) {
  char buffer[40];
  const int n = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  out.append(buffer, static_cast<std::size_t>(n));
}

namespace {

void append_csv_int(std::string& out, std::int64_t value) { out += std::to_string(value); }

}  // namespace

FrameRow frame_row(const FrameJob& job, const FrameResult& result) {
  const FrameFigures& f = result.figures;
  FrameRow row;
  row.frame = job.frame;
  row.t_myr = f.t_myr;
  row.proba_mean = f.proba_mean;
  row.proba_sigma = f.proba_sigma;
  row.impvel_mean = f.impvel_mean;
  row.impvel_sigma = f.impvel_sigma;
  row.n1 = f.n1;
  row.n2 = f.n2;
  row.n_proba = f.n_proba;
  row.n_impvel = f.n_impvel;
  row.n_active = static_cast<std::int64_t>(job.bodies.size());
  for (const SweptBody& body : job.bodies) row.n_removed += body.removed ? 1 : 0;
  row.n_removed_total = job.removed_total;
  row.n_classic_off = result.n_classic_off;
  row.n_singular = result.n_singular;
  row.n_divergent = result.n_divergent;
  row.proba_mean_error = result.proba_mean_error;
  if (!result.speeds.empty()) {
    const SpeedMoments m = frame_speed_moments(result.speeds);
    row.v_imp_cw_mean = m.mean;
    row.v_imp_cw_rms = m.rms;
    row.v_imp_cw_sd = m.sd;
  }
  return row;
}

void append_body_rows(const FrameJob& job, const FrameResult& result, std::vector<BodyRow>& rows) {
  for (std::size_t b = 0; b < job.bodies.size(); ++b) {
    const SweptBody& body = job.bodies[b];
    const BodySummary& s = result.bodies[b];
    BodyRow row;
    row.frame = job.frame;
    row.t_myr = job.t_myr;
    row.position = body.position;
    row.id = body.id;
    row.a_au = body.a_cm / kCentimetresPerAu;
    row.e = body.e;
    row.inc_deg = body.inc * kDegPerRad;
    row.q_au = row.a_au * (1.0 - body.e);  // the perihelion the removal test uses
    row.p_mean = s.p_mean;
    row.p_sum = s.p_sum;
    row.v_imp_mean = s.v_imp_mean;
    row.n_hit = s.hits;
    row.removed = body.removed;
    row.drawn = body.drawn;
    row.draw = body.draw;
    row.n_classic_off = s.n_classic_off;
    row.n_singular = s.n_singular;
    row.n_divergent = s.n_divergent;
    row.p_sum_error = s.p_sum_error;
    rows.push_back(row);
  }
}

BodiesCsvSink::BodiesCsvSink(std::ostream& file, std::string path, bool header)
    : FileSink(file, "bodies", std::move(path)), file_(file) {
  if (header) file_ << kBodiesCsvHeader << '\n';
}

void BodiesCsvSink::frame(const FrameJob& job, const FrameResult& result) {
  rows_.clear();
  append_body_rows(job, result, rows_);
  text_.clear();
  for (const BodyRow& row : rows_) {
    append_csv_int(text_, row.frame);
    for (const double v : {row.t_myr}) {
      text_ += ',';
      append_csv_real(text_, v);
    }
    for (const std::int64_t v : {row.position, row.id}) {
      text_ += ',';
      append_csv_int(text_, v);
    }
    for (const double v :
         {row.a_au, row.e, row.inc_deg, row.q_au, row.p_mean, row.p_sum, row.v_imp_mean}) {
      text_ += ',';
      append_csv_real(text_, v);
    }
    text_ += ',';
    append_csv_int(text_, row.n_hit);
    text_ += row.removed ? ",1," : ",0,";
    if (row.drawn) append_csv_real(text_, row.draw);
    for (const std::int64_t v : {row.n_classic_off, row.n_singular, row.n_divergent}) {
      text_ += ',';
      append_csv_int(text_, v);
    }
    text_ += ',';
    append_csv_real(text_, row.p_sum_error);
    text_ += '\n';
  }
  errno = 0;
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
  output_.check();
}

FramesCsvSink::FramesCsvSink(std::ostream& file, std::string path, bool header)
    : FileSink(file, "frames", std::move(path)), file_(file) {
  if (header) file_ << kFramesCsvHeader << '\n';
}

void FramesCsvSink::frame(const FrameJob& job, const FrameResult& result) {
  const FrameRow row = frame_row(job, result);
  text_.clear();
  append_csv_int(text_, row.frame);
  for (const double v :
       {row.t_myr, row.proba_mean, row.proba_sigma, row.impvel_mean, row.impvel_sigma}) {
    text_ += ',';
    append_csv_real(text_, v);
  }
  for (const std::int64_t v :
       {row.n1, row.n2, row.n_proba, row.n_impvel, row.n_active, row.n_removed, row.n_removed_total,
        row.n_classic_off, row.n_singular, row.n_divergent}) {
    text_ += ',';
    append_csv_int(text_, v);
  }
  text_ += ',';
  append_csv_real(text_, row.proba_mean_error);
  // The speed moments: empty fields when the run does not form them.
  for (const double v : {row.v_imp_cw_mean, row.v_imp_cw_rms, row.v_imp_cw_sd}) {
    text_ += ',';
    if (!std::isnan(v)) append_csv_real(text_, v);
  }
  text_ += '\n';
  errno = 0;
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
  output_.check();
}

SpeedHistogramSink::SpeedHistogramSink(std::ostream& file, std::string path, const SpeedBins& bins,
                                       bool bodies, bool header)
    : FileSink(file, "speeds", std::move(path)),
      file_(file),
      bins_(speed_binning(bins)),
      bodies_(bodies) {
  if (header) file_ << kSpeedsCsvHeader << '\n';
}

void append_speed_rows(const FrameJob& job, const FrameResult& result, const SpeedBinning& bins,
                       bool bodies, std::vector<SpeedHistogramRow>& rows,
                       std::vector<double>& impact, std::vector<double>& encounter) {
  // Stored value i: underflow (below min), bins 0 .. n - 1, overflow (max and above).
  const int n = bins.n;
  const auto add = [&](std::int64_t position, std::int64_t id, int i, double imp, double enc) {
    SpeedHistogramRow row;
    row.frame = job.frame;
    row.t_myr = job.t_myr;
    row.position = position;
    row.id = id;
    row.speed_min_km_s = i == 0 ? -std::numeric_limits<double>::infinity() : bins.edge(i - 1);
    row.speed_max_km_s = i == n + 1 ? std::numeric_limits<double>::infinity()
                         : i == n   ? bins.max
                                    : bins.edge(i);
    row.p_impact = imp;
    row.p_encounter = enc;
    rows.push_back(row);
  };
  const int values = bins.values();
  impact.assign(static_cast<std::size_t>(values), 0.0);
  encounter.assign(static_cast<std::size_t>(values), 0.0);
  if (result.speeds.size() == job.bodies.size()) {
    frame_speed_sums(result.speeds, values, impact.data(), encounter.data());
  }
  for (int i = 0; i < values; ++i) {
    add(0, 0, i, impact[static_cast<std::size_t>(i)], encounter[static_cast<std::size_t>(i)]);
  }
  if (bodies && result.speeds.size() == job.bodies.size()) {
    for (std::size_t b = 0; b < job.bodies.size(); ++b) {
      const BodySpeeds& s = result.speeds[b];
      for (int i = s.lo; i <= s.hi; ++i) {
        const double imp = s.impact_at(i);
        const double enc = s.encounter_at(i);
        if (imp == 0.0 && enc == 0.0) continue;
        add(job.bodies[b].position, job.bodies[b].id, i, imp, enc);
      }
    }
  }
}

void SpeedHistogramSink::frame(const FrameJob& job, const FrameResult& result) {
  rows_.clear();
  append_speed_rows(job, result, bins_, bodies_, rows_, impact_, encounter_);
  text_.clear();
  for (const SpeedHistogramRow& row : rows_) {
    append_csv_int(text_, row.frame);
    text_ += ',';
    append_csv_real(text_, row.t_myr);
    for (const std::int64_t v : {row.position, row.id}) {
      text_ += ',';
      append_csv_int(text_, v);
    }
    for (const double v : {row.speed_min_km_s, row.speed_max_km_s, row.p_impact, row.p_encounter}) {
      text_ += ',';
      append_csv_real(text_, v);
    }
    text_ += '\n';
  }
  errno = 0;
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
  output_.check();
}

}  // namespace pairtrack::detail
