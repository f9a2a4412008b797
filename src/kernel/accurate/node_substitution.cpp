// The node-difference axis of the accurate integrator: pieces, substitution
// and the mutual inclination from its half-angle forms.
#include "kernel/accurate/node_substitution.h"

#include <algorithm>
#include <cmath>

#include "kernel/kernel_constants.h"

namespace pairtrack::kernel::accurate {

InclinationPair inclination_pair(double inc1, double inc2) {
  InclinationPair g;
  const double d = std::sin(0.5 * (inc1 - inc2));
  const double c = std::cos(0.5 * (inc1 + inc2));
  g.sin2_half_diff = d * d;
  g.cos2_half_sum = c * c;
  g.s = std::sin(inc1) * std::sin(inc2);
  return g;
}

NodeValue node_value(const InclinationPair& g, const NodePiece& piece, double x) {
  NodeValue n;
  if (piece.variable == NodeVariable::kPlain) {
    const double h = std::sin(0.5 * x);
    const double q = std::min(1.0, g.sin2_half_diff + g.s * h * h);  // sin^2(I/2)
    n.cos_i = 1.0 - 2.0 * q;
    n.sin_i = 2.0 * std::sqrt(q) * std::sqrt(1.0 - q);
    return n;
  }
  const double sh = piece.eps * std::sinh(x);  // sin of half the distance from the peak
  const double half_cos = std::sqrt(std::max(0.0, 1.0 - sh * sh));
  n.jacobian = 2.0 * piece.eps * std::cosh(x) / half_cos;
  if (piece.variable == NodeVariable::kSinhNear0) {
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

int node_pieces(const InclinationPair& g, double eps_floor, NodePiece out[2]) {
  constexpr double kHalfPi = 0.5 * kPi;
  if (!(g.s > 0.0)) {
    out[0] = NodePiece{NodeVariable::kPlain, 0.0, kPi, 0.0};
    return 1;
  }
  const double root_s = std::sqrt(g.s);
  const double eps0 = std::max(std::sqrt(g.sin2_half_diff) / root_s, eps_floor);
  const double eps_pi = std::max(std::sqrt(g.cos2_half_sum) / root_s, eps_floor);
  const bool plain0 = eps0 >= kPlainFromEps;
  const bool plain_pi = eps_pi >= kPlainFromEps;
  if (plain0 && plain_pi) {
    out[0] = NodePiece{NodeVariable::kPlain, 0.0, kPi, 0.0};
    return 1;
  }
  // sin(pi/4) = eps sinh u at the middle of the axis.
  const double half_sin = std::sqrt(0.5);
  out[0] = plain0 ? NodePiece{NodeVariable::kPlain, 0.0, kHalfPi, 0.0}
                  : NodePiece{NodeVariable::kSinhNear0, 0.0, std::asinh(half_sin / eps0), eps0};
  out[1] = plain_pi
               ? NodePiece{NodeVariable::kPlain, kHalfPi, kPi, 0.0}
               : NodePiece{NodeVariable::kSinhNearPi, 0.0, std::asinh(half_sin / eps_pi), eps_pi};
  return 2;
}

}  // namespace pairtrack::kernel::accurate
