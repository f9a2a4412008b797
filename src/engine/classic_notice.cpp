// The classic mode's closing notice and the accurate mode's echo line.
#include "engine/classic_notice.h"

#include <cstdio>

#include "kernel/accurate/pair_class.h"

namespace pairtrack::detail {

void ClassicTally::add(const FrameJob& job, const FrameResult& result) {
  pairs_ += job.pairs();
  off_ += result.n_classic_off;
  singular_ += result.n_singular;
  const ClassicWorstPair& w = result.worst;
  if (w.body >= 0 && (worst_.body < 0 || w.severity < worst_.severity)) {
    worst_ = w;
    worst_frame_ = result.frame;
    worst_id_ = job.bodies[static_cast<std::size_t>(w.body)].id;
  }
}

std::string ClassicTally::notice() const {
  if (off_ == 0) return {};
  char text[512];
  const auto kind = static_cast<kernel::PairClass>(worst_.pair_class);
  char what[160];
  if (kind != kernel::PairClass::kOrdinary) {
    std::snprintf(what, sizeof what, "%s: no finite value", kernel::pair_class_name(kind));
  } else {
    std::snprintf(what, sizeof what, "delta = %.3g, apsidal width %.3g", worst_.delta,
                  worst_.apsis_eps);
  }
  std::snprintf(text, sizeof text,
                "note: the 10 x 10 rule is likely off by more than 1 %% for %lld of %lld pairs "
                "(%lld of them singular); the worst is frame %lld, body %d against catalogue "
                "line %d (%s); --accuracy REL integrates every pair to a requested accuracy",
                static_cast<long long>(off_), static_cast<long long>(pairs_),
                static_cast<long long>(singular_), static_cast<long long>(worst_frame_), worst_id_,
                worst_.catalogue_line, what);
  return text;
}

fortran::FreeFormLine accuracy_echo(double accuracy, double min_mutual_inclination_deg) {
  fortran::FreeFormLine line;
  line.text("# accuracy = ").real(accuracy).text(" (adaptive Gauss-Kronrod)");
  if (min_mutual_inclination_deg > 0.0) {
    line.text(" min_mutual_inclination = ").real(min_mutual_inclination_deg).text(" deg");
  }
  return line;
}

}  // namespace pairtrack::detail
