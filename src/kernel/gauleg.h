// Gauss-Legendre quadrature rules on an arbitrary interval.
// gauleg(x1, x2, x, w, n) fills x[0..n-1] with the abscissas and w[0..n-1]
// with the weights of the n-point rule on [x1, x2], so that
// sum w[i] f(x[i]) approximates the integral of f from x1 to x2.
#pragma once

namespace pairtrack::detail {

// Roots of the Legendre polynomial P_n by Newton's method from the classic
// starting guess cos(pi (i - 1/4) / (n + 1/2)), with pi taken as 3.141592654,
// iterated until a step changes the root by no more than 3e-14. The weight of
// a root uses the derivative of the last Newton pass (evaluated at the
// previous iterate), which fixes the last bits of every weight.
//
// x1 > x2 is allowed: the abscissas then run downward and the weights are
// negative, still summing to x2 - x1. For n <= 0 nothing is written. The
// arrays must hold at least n entries; entries past n are left untouched.
void gauleg(const double& x1, const double& x2, double x[], double w[], const int& n);

// Root i (1-based, 1 <= i <= (n + 1) / 2, decreasing with i) of P_n by the
// Newton iteration above, and its weight denominator (1 - z z) pp pp with pp
// from the last Newton pass. The roots depend on n alone: the weight on an
// interval of half-length x_l is 2 x_l / weight_den, bit for bit what gauleg
// stores, so a rule can be cached and moved to any interval.
void legendre_root(const int& n, const int& i, double& z_root, double& weight_den);

}  // namespace pairtrack::detail
