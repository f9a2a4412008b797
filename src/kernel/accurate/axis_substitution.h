// The two axes of the accurate integrator, the node difference dOmega and the
// true anomaly theta of orbit B, both angles in [0, pi]: which variable each
// part of an axis is integrated in, and the values at a point of it.
//
// Both axes carry peaks of the same shape, 1/sqrt(eps^2 + sin^2(x/2)) at an
// end x = 0 (or its mirror at x = pi):
//  - node axis: with s = sin i1 sin i2 the half-angle forms of the mutual
//    inclination I are
//      sin^2(I/2) = sin^2((i1 - i2)/2) + s sin^2(dOmega/2),
//      cos^2(I/2) = cos^2((i1 + i2)/2) + s cos^2(dOmega/2)
//    (accurate where I is near 0 or pi, where 1 - cos^2 I would lose the
//    digits), and the density grows like 1/sin I: a peak at dOmega = 0 of
//    width eps = sin(|i1 - i2|/2) / sqrt(s), and one at dOmega = pi of width
//    eps' = |cos((i1 + i2)/2)| / sqrt(s);
//  - anomaly axis: where orbit B's apsis (theta = 0 or pi, an end of every
//    arc) lies just inside orbit A's range, A is nearly at its own apsis there
//    and the density's 1/|sin f_A| is a peak: cos f_A = alpha + beta cos theta
//    with beta = p_A e_B / (p_B e_A), so 1 - cos f_A = d + 2 beta sin^2(theta/2)
//    (d = 1 - cos f_A at theta = 0) and eps = sqrt(d / (2 beta)).
// Substituting sin(x/2) = eps sinh u gives sqrt(eps^2 + sin^2(x/2)) =
// eps cosh u and dx = 2 eps cosh u du / cos(x/2), so the peak becomes smooth
// in u whatever eps: the cost no longer grows as eps shrinks. In particular
//   d dOmega / sin I = du / (sqrt(s) cos(dOmega/2) cos(I/2)).
// Near x = pi the same holds for pi - x. Where eps is large the peak is broad
// and x itself is the variable.
#pragma once

namespace pairtrack::detail::kernel::accurate {

enum class AxisVariable {
  kPlain,       // the angle itself, Jacobian 1
  kSinhNear0,   // u with sin(x/2) = eps sinh u
  kSinhNearPi,  // u with sin((pi - x)/2) = eps sinh u
};

// One part of an axis: the variable, its range, and the eps of the
// substitution (unused for kPlain).
struct AxisPiece {
  AxisVariable variable = AxisVariable::kPlain;
  double lo = 0.0, hi = 0.0;  // range of the variable (radians for kPlain)
  double eps = 0.0;
};

// Substitutions with eps at or above this use the angle directly: the peak is
// then a broad bump that a plain rule resolves as cheaply (chosen by the node
// counts on the main belt at 1e-4: 0.15, 0.25, 0.4 and 1 cost 501, 493, 545
// and 653 points per pair).
inline constexpr double kPlainFromEps = 0.25;

// Cuts the angle range [lo, hi] within [0, pi] into pieces (one or two):
// near an end at 0 (at pi) whose eps_at_0 (eps_at_pi) is below kPlainFromEps
// a sinh piece, up to pi/2 where the range reaches beyond it; plain
// elsewhere. Pass an infinite eps for an end without a peak. Returns the
// number of pieces written to out[0..1].
int axis_pieces(double lo, double hi, double eps_at_0, double eps_at_pi, AxisPiece out[2]);

// The angle x at the variable's value v: its cosine and sine, and dx/dv.
struct AngleValue {
  double cos_x = 1.0;
  double sin_x = 0.0;
  double jacobian = 1.0;
};
AngleValue angle_value(const AxisPiece& piece, double v);

// The eps of the anomaly axis's peak at B's apsis (cos theta = c_end, +1 or
// -1), orbit A solved at B's distance (a in any common unit): infinite where A
// is not approaching its own apsis there (or B is circular: no peak), 0 where
// A is exactly at it (equal apsidal distances).
double apsis_peak_eps(double a_a, double e_a, double a_b, double e_b, double c_end);

// The inclination data every node needs, formed once per pair.
struct InclinationPair {
  double sin2_half_diff = 0.0;  // sin^2((i1 - i2)/2)
  double cos2_half_sum = 0.0;   // cos^2((i1 + i2)/2)
  double s = 0.0;               // sin i1 sin i2
};
InclinationPair inclination_pair(double inc1, double inc2);

// The node pieces of a pair: the peaks' eps (at least eps_floor, the
// regularisation's) at dOmega = 0 and pi; s = 0 (an inclination of 0 or pi,
// so that I does not depend on dOmega) gives one plain piece.
int node_pieces(const InclinationPair& g, double eps_floor, AxisPiece out[2]);

// The mutual inclination at one node and d dOmega / d(variable).
struct NodeValue {
  double cos_i = 1.0;
  double sin_i = 0.0;
  double jacobian = 1.0;
};
NodeValue node_value(const InclinationPair& g, const AxisPiece& piece, double v);

}  // namespace pairtrack::detail::kernel::accurate
