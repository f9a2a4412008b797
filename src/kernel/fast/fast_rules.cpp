// Gauss-Legendre rules built once per node count. The roots come from
// gauleg's own Newton iteration, so that applying a cached root to an
// interval reproduces gauleg's abscissas and weights.
#include "kernel/fast/fast_rules.h"

#include <cmath>

#include "kernel/fast/fast_ops.h"
#include "kernel/gauleg.h"
#include "kernel/kernel_constants.h"

namespace pairtrack::detail {

FastRules::FastRules(int n_cap, int n_theta)
    : n_cap_(n_cap),
      n_theta_(n_theta),
      valid_(n_cap >= 1 && n_theta >= 1 && n_cap <= kNodeCapacity && n_theta <= kNodeCapacity) {
  if (!valid_) return;
  node_x_.resize(static_cast<std::size_t>(n_cap));
  node_w_.resize(static_cast<std::size_t>(n_cap));
  node_cos_.resize(static_cast<std::size_t>(n_cap));
  const double lo = 0.0;
  const double hi = kernel::kPi;
  gauleg(lo, hi, node_x_.data(), node_w_.data(), n_cap);
  for (int k = 0; k < n_cap; ++k) node_cos_[k] = std::cos(node_x_[k]);

  const int m = (n_theta + 1) / 2;
  theta_z_.resize(static_cast<std::size_t>(m));
  theta_den_.resize(static_cast<std::size_t>(m));
  for (int i = 1; i <= m; ++i) legendre_root(n_theta, i, theta_z_[i - 1], theta_den_[i - 1]);

  acos_plus_one_ = std::acos(1.0);
  acos_minus_one_ = std::acos(-1.0);
  const std::size_t n = static_cast<std::size_t>(n_theta);
  whole_x_.resize(n);
  whole_w_.resize(n);
  whole_cos_.resize(n);
  whole_sin_.resize(n);
  anomaly_rule(acos_plus_one_, acos_minus_one_, whole_x_.data(), whole_w_.data());
  for (std::size_t i = 0; i < n; ++i) {
    whole_cos_[i] = std::cos(whole_x_[i]);
    whole_sin_[i] = std::sin(whole_x_[i]);
  }
}

void FastRules::anomaly_rule(double lo, double hi, double* x, double* w) const {
  const int n = n_theta_;
  const int m = (n + 1) / 2;
  const double xm = 0.5 * (lo + hi);
  const double xl = 0.5 * (hi - lo);
  for (int i = 1; i <= m; ++i) {
    const double z = theta_z_[i - 1];
    // For odd n the middle point is written twice; the second write stays.
    x[i - 1] = xm - xl * z;
    x[n - i] = xm + xl * z;
    w[i - 1] = fast::sdiv(2.0 * xl, theta_den_[i - 1]);
    w[n - i] = w[i - 1];
  }
}

const FastRules& program_rules() {
  static const FastRules rules(10, 10);
  return rules;
}

}  // namespace pairtrack::detail
