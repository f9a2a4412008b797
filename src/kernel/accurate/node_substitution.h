// The node-difference axis of the accurate integrator: which variable each
// part of dOmega in [0, pi] is integrated in, and the mutual inclination and
// Jacobian at a value of that variable.
//
// With s = sin i1 sin i2 the half-angle forms of the mutual inclination I are
//   sin^2(I/2) = sin^2((i1 - i2)/2) + s sin^2(dOmega/2),
//   cos^2(I/2) = cos^2((i1 + i2)/2) + s cos^2(dOmega/2),
// accurate where I is near 0 or near pi (1 - cos^2 I would lose the digits).
// Near dOmega = 0 the probability density grows like 1/sin I, a peak of width
// eps = sin(|i1 - i2|/2) / sqrt(s) in sin(dOmega/2). Substituting
// sin(dOmega/2) = eps sinh u gives sin(I/2) = sqrt(s) eps cosh u and
//   d dOmega = 2 eps cosh u du / cos(dOmega/2),
//   d dOmega / sin I = du / (sqrt(s) cos(dOmega/2) cos(I/2)),
// smooth in u whatever eps: the cost no longer grows as eps shrinks. The same
// holds near dOmega = pi with phi = pi - dOmega, sin(phi/2) = eps' sinh u,
// eps' = |cos((i1 + i2)/2)| / sqrt(s) (the I = pi peak of nearly retrograde
// coplanar pairs). Where eps is large the peak is broad and dOmega itself is
// the variable.
#pragma once

namespace pairtrack::kernel::accurate {

enum class NodeVariable {
  kPlain,     // dOmega itself, Jacobian 1
  kSinhNear0,   // u with sin(dOmega/2) = eps sinh u
  kSinhNearPi,  // u with sin((pi - dOmega)/2) = eps sinh u
};

// One part of the node axis: the variable, its range, and the eps of the
// substitution (unused for kPlain).
struct NodePiece {
  NodeVariable variable = NodeVariable::kPlain;
  double lo = 0.0, hi = 0.0;  // range of the variable (radians for kPlain)
  double eps = 0.0;
};

// The inclination data every node needs, formed once per pair.
struct InclinationPair {
  double sin2_half_diff = 0.0;  // sin^2((i1 - i2)/2)
  double cos2_half_sum = 0.0;   // cos^2((i1 + i2)/2)
  double s = 0.0;               // sin i1 sin i2
};
InclinationPair inclination_pair(double inc1, double inc2);

// The mutual inclination at one node and the factor d dOmega / d(variable).
struct NodeValue {
  double cos_i = 1.0;
  double sin_i = 0.0;
  double jacobian = 1.0;
};
NodeValue node_value(const InclinationPair& g, const NodePiece& piece, double x);

// Substitutions with eps at or above this use dOmega directly: the peak is
// then a broad bump that a plain rule resolves as cheaply (chosen by the
// node counts on the main belt at 1e-4: 0.15, 0.25, 0.4 and 1 cost 501, 493,
// 545 and 653 points per pair).
inline constexpr double kPlainFromEps = 0.25;

// Cuts [0, pi] into pieces (one or two): [0, pi/2] in u near 0 and
// [pi/2, pi] in u near pi where the respective eps (at least eps_floor, the
// regularisation's) is below kPlainFromEps, in dOmega
// otherwise; two plain halves become one piece. s = 0 (an inclination of 0
// or pi: I does not depend on dOmega) gives one plain piece. Returns the
// number of pieces written to out[0..1].
int node_pieces(const InclinationPair& g, double eps_floor, NodePiece out[2]);

}  // namespace pairtrack::kernel::accurate
