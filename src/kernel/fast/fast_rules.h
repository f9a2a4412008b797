// Gauss-Legendre rules of the fast kernel, built once per pair of node
// counts: the node-difference rule on [0, pi] (radians) with the cosines of
// its nodes, and the interval-free part of the true-anomaly rule.
#pragma once

#include <vector>

namespace pairtrack::detail {

// Node counts up to this use working storage on the stack (the program uses
// 10); larger counts take one heap buffer per row of pairs.
inline constexpr int kFastInlineNodes = 16;

// The rules for n_cap nodes over the node difference and n_theta nodes over
// an arc of true anomaly. Immutable once built, so one object serves any
// number of threads.
//
// gauleg's Newton iteration for the roots z_i of P_n depends on n alone; the
// interval enters only in the last step. The anomaly rule therefore keeps
// z_i and the denominator (1 - z_i z_i) pp_i pp_i and applies
//   x_i = xm - xl z_i, x_(n+1-i) = xm + xl z_i, w_i = w_(n+1-i) = 2 xl / den_i
// in gauleg's order, which gives gauleg's bits for any interval.
class FastRules {
 public:
  // Counts below 1 or above the reference kernel's 5000-node tables give
  // rules under which every integral adds nothing (valid() is false).
  FastRules(int n_cap, int n_theta);

  int n_cap() const { return n_cap_; }
  int n_theta() const { return n_theta_; }
  // Both counts within 1 ... 5000.
  bool valid() const { return valid_; }

  // The node-difference rule on [0, pi]: nodes, weights, cosines of the nodes.
  const double* node_x() const { return node_x_.data(); }
  const double* node_w() const { return node_w_.data(); }
  const double* node_cos() const { return node_cos_.data(); }

  // The n_theta-point rule on [lo, hi] into x[0..n_theta-1], w[0..n_theta-1]:
  // identical bits to gauleg(lo, hi, x, w, n_theta).
  void anomaly_rule(double lo, double hi, double* x, double* w) const;

  // acos(1) and acos(-1) as the C library gives them: the anomaly ends of an
  // arc that ends at a perihelion or an aphelion.
  double acos_plus_one() const { return acos_plus_one_; }
  double acos_minus_one() const { return acos_minus_one_; }
  // The anomaly rule on the whole half orbit [acos(1), acos(-1)] (the arc of
  // every nested pair) with the cosine and sine of each node, formed once:
  // the same input bits give the same bits from the same library, so an arc
  // with exactly these ends needs no call per node.
  const double* whole_x() const { return whole_x_.data(); }
  const double* whole_w() const { return whole_w_.data(); }
  const double* whole_cos() const { return whole_cos_.data(); }
  const double* whole_sin() const { return whole_sin_.data(); }

 private:
  int n_cap_;
  int n_theta_;
  bool valid_;
  std::vector<double> node_x_, node_w_, node_cos_;
  std::vector<double> theta_z_, theta_den_;  // (n_theta + 1) / 2 roots
  double acos_plus_one_ = 0.0, acos_minus_one_ = 0.0;
  std::vector<double> whole_x_, whole_w_, whole_cos_, whole_sin_;
};

// The program's rules (10 nodes over the node difference, 10 over the true
// anomaly), built once and shared read-only by every thread and every caller.
const FastRules& program_rules();

}  // namespace pairtrack::detail
