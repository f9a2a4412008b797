// Gauss-Legendre nodes and weights: Newton iteration on the three-term
// Legendre recurrence. The order of every operation is part of the result.
#include "kernel/gauleg.h"

#include <cmath>

namespace pairtrack::detail {

void legendre_root(const int& n, const int& i, double& z_root, double& weight_den) {
  double z = std::cos(3.141592654 * (i - 0.25) / (n + 0.5));
  double z1 = 0.0;
  double pp = 0.0;
  do {
    double p1 = 1.0;
    double p2 = 0.0;
    for (int j = 1; j <= n; ++j) {
      const double p3 = p2;
      p2 = p1;
      p1 = ((2.0 * j - 1.0) * z * p2 - (j - 1.0) * p3) / j;
    }
    // p1 = P_n(z), p2 = P_{n-1}(z); pp = P_n'(z).
    pp = n * (z * p1 - p2) / (z * z - 1.0);
    z1 = z;
    z = z1 - p1 / pp;
  } while (std::fabs(z - z1) > 3e-14);  // a NaN difference ends the loop too
  z_root = z;
  weight_den = (1.0 - z * z) * pp * pp;
}

void gauleg(const double& x1, const double& x2, double x[], double w[], const int& n) {
  const int m = (n + 1) / 2;  // the rule is symmetric: each root gives two points
  const double xm = 0.5 * (x1 + x2);
  const double xl = 0.5 * (x2 - x1);
  for (int i = 1; i <= m; ++i) {
    double z = 0.0;
    double den = 0.0;
    legendre_root(n, i, z, den);
    // For odd n the middle point is written twice; the second write stays.
    x[i - 1] = xm - xl * z;
    x[n - i] = xm + xl * z;
    w[i - 1] = 2.0 * xl / den;
    w[n - i] = w[i - 1];
  }
}

}  // namespace pairtrack::detail
