// Layout of the frame line and the pair-file line; the formats are parsed once.
#include "engine/frame_report.h"

#include "io/fortran_text.h"

namespace pairtrack::detail {

namespace {

const fortran::FixedFormat& frame_format() {
  static const fortran::FixedFormat format("(f16.10,4(1x,f22.16),4(1x,i8))");
  return format;
}

const fortran::FixedFormat& pair_format() {
  static const fortran::FixedFormat format("(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))");
  return format;
}

}  // namespace

void append_frame_line(std::string& out, const FrameFigures& f) {
  const fortran::FixedItem items[] = {f.t_myr,       f.proba_mean,   f.proba_sigma,
                                      f.impvel_mean, f.impvel_sigma, f.n1,
                                      f.n2,          f.n_proba,      f.n_impvel};
  frame_format().append(out, items);
  out += '\n';
}

void append_pair_line(std::string& out, std::int32_t id, double t_myr, double a_au, double e,
                      double inc) {
  const fortran::FixedItem items[] = {id, t_myr, a_au, e, inc};
  pair_format().append(out, items);
  out += '\n';
}

}  // namespace pairtrack::detail
