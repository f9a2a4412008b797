// Writing one frame to each output.
#include "run/frame_sinks.h"

#include <cstdio>

#include "io/fortran_text.h"
#include "run/run_storage.h"

namespace pairtrack {

void ReportSink::frame(const FrameJob&, const FrameResult& result) {
  for (std::int64_t i = 0; i < result.no_case; ++i) {
    fortran::write_line(out_, fortran::FreeFormLine().text("The line did not make any of the checks"));
  }
  line_.clear();
  append_frame_line(line_, result.figures);
  out_ << line_;
}

void PairFileSink::frame(const FrameJob& job, const FrameResult& result) {
  text_.clear();
  for (std::size_t b = 0; b < job.bodies.size(); ++b) {
    if (result.bodies[b].hits == 0) continue;
    const SweptBody& body = job.bodies[b];
    append_pair_line(text_, body.id, job.t_myr, body.a_cm / kCmPerAu, body.e, body.inc);
  }
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
}

void append_csv_real(std::string& out, double value) {
  char buffer[40];
  const int n = std::snprintf(buffer, sizeof buffer, "%.17g", value);
  out.append(buffer, static_cast<std::size_t>(n));
}

namespace {

void append_csv_int(std::string& out, std::int64_t value) { out += std::to_string(value); }

}  // namespace

BodiesCsvSink::BodiesCsvSink(std::ostream& file) : file_(file) {
  file_ << kBodiesCsvHeader << '\n';
}

void BodiesCsvSink::frame(const FrameJob& job, const FrameResult& result) {
  text_.clear();
  for (std::size_t b = 0; b < job.bodies.size(); ++b) {
    const SweptBody& body = job.bodies[b];
    const BodySummary& s = result.bodies[b];
    const double a_au = body.a_cm / kCmPerAu;
    append_csv_int(text_, job.frame);
    text_ += ',';
    append_csv_real(text_, job.t_myr);
    text_ += ',';
    append_csv_int(text_, body.position);
    text_ += ',';
    append_csv_int(text_, body.id);
    text_ += ',';
    append_csv_real(text_, a_au);
    text_ += ',';
    append_csv_real(text_, body.e);
    text_ += ',';
    append_csv_real(text_, body.inc * kDegPerRad);
    text_ += ',';
    append_csv_real(text_, a_au * (1.0 - body.e));  // the perihelion the removal test uses
    text_ += ',';
    append_csv_real(text_, s.p_mean);
    text_ += ',';
    append_csv_real(text_, s.p_sum);
    text_ += ',';
    append_csv_real(text_, s.v_imp_mean);
    text_ += ',';
    append_csv_int(text_, s.hits);
    text_ += ',';
    text_ += body.removed ? '1' : '0';
    text_ += ',';
    if (body.drawn) append_csv_real(text_, body.draw);
    text_ += '\n';
  }
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
}

FramesCsvSink::FramesCsvSink(std::ostream& file) : file_(file) {
  file_ << kFramesCsvHeader << '\n';
}

void FramesCsvSink::frame(const FrameJob& job, const FrameResult& result) {
  const FrameFigures& f = result.figures;
  std::int64_t removed = 0;
  for (const SweptBody& body : job.bodies) removed += body.removed ? 1 : 0;
  text_.clear();
  append_csv_int(text_, job.frame);
  for (const double v : {f.t_myr, f.proba_mean, f.proba_sigma, f.impvel_mean, f.impvel_sigma}) {
    text_ += ',';
    append_csv_real(text_, v);
  }
  for (const std::int64_t v :
       {std::int64_t{f.n1}, std::int64_t{f.n2}, std::int64_t{f.n_proba}, std::int64_t{f.n_impvel},
        static_cast<std::int64_t>(job.bodies.size()), removed, job.removed_total}) {
    text_ += ',';
    append_csv_int(text_, v);
  }
  text_ += '\n';
  file_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
}

}  // namespace pairtrack
