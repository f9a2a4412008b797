// The classic-mode criterion: the widths of the two kinds of peak against
// thresholds calibrated with the accurate integrator.
#include "kernel/accurate/classic_criterion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/accurate/axis_substitution.h"
#include "kernel/accurate/pair_class.h"
#include "kernel/kernel_constants.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail::kernel {

namespace {
constexpr double kDeltaThreshold = 0.06;  // without focusing
constexpr double kFocusingSpeed2 = 0.25;  // (0.5 km/s)^2: the threshold doubles above it
constexpr double kApsisThreshold = 0.05;
}  // namespace

ClassicAccuracy classic_accuracy(double a1, double e1, double inc1, double a2, double e2,
                                 double inc2, double v_esc) {
  ClassicAccuracy c;
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const double s = std::sin(inc1) * std::sin(inc2);
  c.delta = kNone;
  if (s > 0.0) {
    c.delta = std::min(std::fabs(inc1 - inc2), std::fabs(kPi - inc1 - inc2)) / std::sqrt(s);
  }
  c.apsis_eps = kNone;
  // Thresholds from validation/accurate_calibration on 30000 random pairs
  // (docs/method.md, the regime map): 10 x 10 errors above 1 % start below
  // delta = 0.056 without focusing and below about 0.1 with v_esc >= 1 km/s;
  // on the anomaly axis below apsis_eps = 0.03.
  const double v2 = v_esc * v_esc;
  c.delta_threshold = kDeltaThreshold * (1.0 + v2 / (v2 + kFocusingSpeed2));
  c.apsis_threshold = kApsisThreshold;
  const PairClass kind = classify_pair(a1, e1, inc1, a2, e2, inc2);
  if (kind == PairClass::kCoincidentCircles) {
    c.likely_off = true;
    return c;
  }
  if (match_apsides(a1, e1, a2, e2).disjoint()) return c;
  // The inner end of the shared range is the perihelion of the orbit with the
  // larger one (orbit B there), the outer end the aphelion of the orbit with
  // the smaller one.
  const bool b1_inner = a1 * (1.0 - e1) >= a2 * (1.0 - e2);
  const bool b1_outer = a1 * (1.0 + e1) <= a2 * (1.0 + e2);
  const double eps_q = b1_inner ? accurate::apsis_peak_eps(a2, e2, a1, e1, 1.0)
                                : accurate::apsis_peak_eps(a1, e1, a2, e2, 1.0);
  const double eps_big_q = b1_outer ? accurate::apsis_peak_eps(a2, e2, a1, e1, -1.0)
                                    : accurate::apsis_peak_eps(a1, e1, a2, e2, -1.0);
  c.apsis_eps = std::min(eps_q, eps_big_q);
  c.likely_off = kind != PairClass::kOrdinary || c.delta < c.delta_threshold ||
                 c.apsis_eps < c.apsis_threshold;
  return c;
}

}  // namespace pairtrack::detail::kernel
