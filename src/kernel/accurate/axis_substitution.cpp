// The axes of the accurate integrator: pieces, the sinh substitution, and the
// mutual inclination from its half-angle forms.
#include "kernel/accurate/axis_substitution.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/kernel_constants.h"
#include "kernel/overlap_geometry.h"

namespace pairtrack::detail::kernel::accurate {

namespace {

constexpr double kHalfPi = 0.5 * kPi;

// sin of half the distance from the piece's peak end at v, the cosine of that
// half-angle, and the Jacobian of the angle.
struct HalfAngle {
  double sh = 0.0;
  double half_cos = 1.0;
  double jacobian = 1.0;
};

HalfAngle half_angle(const AxisPiece& piece, double v) {
  HalfAngle h;
  h.sh = piece.eps * std::sinh(v);
  h.half_cos = std::sqrt(std::max(0.0, 1.0 - h.sh * h.sh));
  h.jacobian = 2.0 * piece.eps * std::cosh(v) / h.half_cos;
  return h;
}

// The variable's value at the angle x of a sinh piece.
double sinh_variable(double eps, double half_distance) {
  return std::asinh(std::sin(half_distance) / eps);
}

}  // namespace

int axis_pieces(double lo, double hi, double eps_at_0, double eps_at_pi, AxisPiece out[2]) {
  const bool peak0 = lo == 0.0 && eps_at_0 < kPlainFromEps;
  const bool peak_pi = hi == kPi && eps_at_pi < kPlainFromEps;
  if (!peak0 && !peak_pi) {
    out[0] = AxisPiece{AxisVariable::kPlain, lo, hi, 0.0};
    return 1;
  }
  // Where one range holds both ends, or the peak's piece would pass pi/2 (the
  // substitution's Jacobian grows without bound towards the far end), the
  // range is cut at pi/2.
  const double cut0 = peak0 ? std::min(hi, kHalfPi) : lo;
  const double cut_pi = peak_pi ? std::max(lo, kHalfPi) : hi;
  int n = 0;
  if (peak0)
    out[n++] =
        AxisPiece{AxisVariable::kSinhNear0, 0.0, sinh_variable(eps_at_0, 0.5 * cut0), eps_at_0};
  if (cut_pi > cut0) out[n++] = AxisPiece{AxisVariable::kPlain, cut0, cut_pi, 0.0};
  if (peak_pi) {
    out[n++] = AxisPiece{AxisVariable::kSinhNearPi, 0.0,
                         sinh_variable(eps_at_pi, 0.5 * (kPi - cut_pi)), eps_at_pi};
  }
  return n;
}

AngleValue angle_value(const AxisPiece& piece, double v) {
  AngleValue a;
  if (piece.variable == AxisVariable::kPlain) {
    a.cos_x = std::cos(v);
    a.sin_x = std::sin(v);
    return a;
  }
  const HalfAngle h = half_angle(piece, v);
  a.jacobian = h.jacobian;
  a.sin_x = 2.0 * h.sh * h.half_cos;
  a.cos_x = piece.variable == AxisVariable::kSinhNear0 ? 1.0 - 2.0 * h.sh * h.sh
                                                       : 2.0 * h.sh * h.sh - 1.0;
  return a;
}

double apsis_peak_eps(double a_a, double e_a, double a_b, double e_b, double c_end) {
  double c = 0.0;
  c_equation(a_a, a_b, e_a, e_b, c, c_end);
  // cos f_A = alpha + beta cos theta.
  const double beta = (a_a * (1.0 - e_a * e_a)) * e_b / ((a_b * (1.0 - e_b * e_b)) * e_a);
  // Moving away from theta = 0, cos f_A falls; from theta = pi, it rises: only
  // an apsis that A moves away from can make a peak.
  const bool towards_peak = c_end > 0.0 ? c > 0.0 : c < 0.0;
  if (!(beta > 0.0) || !towards_peak) return std::numeric_limits<double>::infinity();
  return std::sqrt(std::max(0.0, 1.0 - std::fabs(c)) / (2.0 * beta));
}

InclinationPair inclination_pair(double inc1, double inc2) {
  InclinationPair g;
  const double d = std::sin(0.5 * (inc1 - inc2));
  const double c = std::cos(0.5 * (inc1 + inc2));
  g.sin2_half_diff = d * d;
  g.cos2_half_sum = c * c;
  g.s = std::sin(inc1) * std::sin(inc2);
  return g;
}

int node_pieces(const InclinationPair& g, double eps_floor, AxisPiece out[2]) {
  constexpr double kNone = std::numeric_limits<double>::infinity();
  if (!(g.s > 0.0)) return axis_pieces(0.0, kPi, kNone, kNone, out);
  const double root_s = std::sqrt(g.s);
  const double eps0 = std::max(std::sqrt(g.sin2_half_diff) / root_s, eps_floor);
  const double eps_pi = std::max(std::sqrt(g.cos2_half_sum) / root_s, eps_floor);
  return axis_pieces(0.0, kPi, eps0, eps_pi, out);
}

NodeValue node_value(const InclinationPair& g, const AxisPiece& piece, double v) {
  NodeValue n;
  // q = sin^2(I/2) from the half-angle form nearest the piece's peak.
  double sh = 0.0;
  bool near_pi = false;
  if (piece.variable == AxisVariable::kPlain) {
    sh = std::sin(0.5 * v);
  } else {
    const HalfAngle h = half_angle(piece, v);
    sh = h.sh;
    n.jacobian = h.jacobian;
    near_pi = piece.variable == AxisVariable::kSinhNearPi;
  }
  if (!near_pi) {
    const double q = std::min(1.0, g.sin2_half_diff + g.s * sh * sh);  // sin^2(I/2)
    n.cos_i = 1.0 - 2.0 * q;
    n.sin_i = 2.0 * std::sqrt(q) * std::sqrt(1.0 - q);
  } else {
    const double q = std::min(1.0, g.cos2_half_sum + g.s * sh * sh);  // cos^2(I/2)
    n.cos_i = 2.0 * q - 1.0;
    n.sin_i = 2.0 * std::sqrt(q) * std::sqrt(1.0 - q);
  }
  return n;
}

}  // namespace pairtrack::detail::kernel::accurate
