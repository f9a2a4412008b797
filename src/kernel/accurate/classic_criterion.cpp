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

double delta_threshold(double v_esc) {
  const double v2 = v_esc * v_esc;
  return kDeltaThreshold * (1.0 + v2 / (v2 + kFocusingSpeed2));
}
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
  c.delta_threshold = delta_threshold(v_esc);
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

ClassicCriterion::ClassicCriterion(double v_esc) : v_esc_(v_esc) {
  const double t = delta_threshold(v_esc);
  // delta = d / sqrt(s) carries a few roundings; 1e-9 covers them.
  delta_threshold2_ = t * t * (1.0 + 1e-9);
}

bool ClassicCriterion::surely_fine(double a1, double e1, double inc1, double sin1, double a2,
                                   double e2, double inc2, double sin2) const {
  // Degenerate classes (classify_pair), and the corners where the apsidal
  // width's rounding is not bounded below, go the long way. Every test is
  // written so that a NaN fails it.
  if (!(a1 != a2 && inc1 != inc2 && inc1 + inc2 != kPi)) return false;
  if (inc1 == 0.0 || inc1 == kPi || inc2 == 0.0 || inc2 == kPi) return false;
  constexpr double kEdge = 1e-3;
  if (!(e1 >= kEdge && e1 <= 1.0 - kEdge && e2 >= kEdge && e2 <= 1.0 - kEdge)) return false;
  if (!(a1 > 0.0 && a2 > 0.0 && a1 <= 1e3 * a2 && a2 <= 1e3 * a1)) return false;
  // The planes: delta^2 = d^2 / s against the threshold.
  const double d = std::min(std::fabs(inc1 - inc2), std::fabs(kPi - inc1 - inc2));
  if (!(d * d >= delta_threshold2_ * (sin1 * sin2))) return false;
  // The apsides. With A solved at the apsidal distance r of the other orbit
  // B, cos f_A = (p_A / r - 1) / e_A, and the width eps^2 = (1 - |cos f_A|) /
  // (2 beta), beta = p_A e_B / (p_B e_A), is
  //   (q_B - q_A) (1 + e_B) / (2 q_A e_B)   at the perihelia (B the one
  //                                          with the larger q), and
  //   (Q_A - Q_B) (1 - e_B) / (2 Q_A e_B)   at the aphelia (B the one with
  //                                          the smaller Q).
  // The flag needs eps^2 < 0.05^2; eps^2 >= 2 * 0.05^2 here leaves a factor
  // of two for the rounding of cos f_A near 1, which the bounds above on e
  // and a keep below 1e-6 of it.
  constexpr double kTwiceApsis2 = 2.0 * 2.0 * kApsisThreshold * kApsisThreshold;
  const double q1 = a1 * (1.0 - e1), q2 = a2 * (1.0 - e2);
  const bool b1_inner = q1 >= q2;
  const double q_b = b1_inner ? q1 : q2, q_a = b1_inner ? q2 : q1, e_b_q = b1_inner ? e1 : e2;
  if (!((q_b - q_a) * (1.0 + e_b_q) >= kTwiceApsis2 * q_a * e_b_q)) return false;
  const double big_q1 = a1 * (1.0 + e1), big_q2 = a2 * (1.0 + e2);
  const bool b1_outer = big_q1 <= big_q2;
  const double big_q_b = b1_outer ? big_q1 : big_q2, big_q_a = b1_outer ? big_q2 : big_q1;
  const double e_b_big_q = b1_outer ? e1 : e2;
  return (big_q_a - big_q_b) * (1.0 - e_b_big_q) >= kTwiceApsis2 * big_q_a * e_b_big_q;
}

bool ClassicCriterion::likely_off(double a1, double e1, double inc1, double sin1, double a2,
                                  double e2, double inc2, double sin2) const {
  if (surely_fine(a1, e1, inc1, sin1, a2, e2, inc2, sin2)) return false;
  return classic_accuracy(a1, e1, inc1, a2, e2, inc2, v_esc_).likely_off;
}

}  // namespace pairtrack::detail::kernel
