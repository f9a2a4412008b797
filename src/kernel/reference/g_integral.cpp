// The double quadrature of the probability integral, written literally:
// every product and sum is taken in the order the physics was written down,
// because results are compared with earlier runs to the last bit. The fast
// kernel is tested against this routine bit for bit.
#include "kernel/reference/g_integral.h"

#include <cmath>

#include "kernel/gauleg.h"
#include "kernel/kernel_constants.h"
#include "kernel/reference/integrand.h"

namespace pairtrack::detail {

namespace {

// The node tables: nodes and weights over the node difference (cap) and over
// orbit B's true anomaly (theta). One set per thread, rewritten by every call.
struct NodeTables {
  double xcap[kNodeCapacity];
  double wcap[kNodeCapacity];
  double xtheta[kNodeCapacity];
  double wtheta[kNodeCapacity];
};

NodeTables& node_tables() {
  thread_local NodeTables tables;
  return tables;
}

// Inbound (-1) before outbound (+1).
constexpr double kSigns[2] = {-1.0, 1.0};

// The quadrature; visitor (when not null) sees each term added with B inbound.
void integrate(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
               const double& i_a, const double& i_b, const double& node_lo, const double& node_hi,
               const double& c_1, const double& c_2, double sums[4], const std::int32_t& n_cap,
               const std::int32_t& n_theta, const double& v_esc, IntegralTermVisitor* visitor) {
  using namespace kernel;
  if (n_cap > kNodeCapacity || n_theta > kNodeCapacity) return;  // would overrun the node tables
  NodeTables& t = node_tables();

  // The arc of orbit B's true anomaly runs upward within [0, pi] (no
  // exchange when either end is not a number).
  const double theta_1 = std::acos(c_1);
  const double theta_2 = std::acos(c_2);
  double theta_lo = theta_1;
  double theta_hi = theta_2;
  if (theta_1 > theta_2) {
    theta_lo = theta_2;
    theta_hi = theta_1;
  }

  // Semi-latus recta (cm) and orbital periods (s).
  const OrbitPairConstants orbits = orbit_pair_constants(a_a, a_b, e_a, e_b);

  gauleg(node_lo, node_hi, t.xcap, t.wcap, n_cap);
  gauleg(theta_lo, theta_hi, t.xtheta, t.wtheta, n_theta);
  if (n_cap < 1) return;

  const double c_c = std::cos(i_a) * std::cos(i_b);
  const double s_s = std::sin(i_a) * std::sin(i_b);

  for (int k = 0; k < n_cap; ++k) {
    // The mutual inclination follows from the node difference alone.
    const NodeConstants node = node_constants(orbits, c_c, s_s, t.xcap[k], t.wcap[k], v_esc);
    if (n_theta < 1) continue;
    for (int m = 0; m < n_theta; ++m) {
      const double theta = t.xtheta[m];
      const IntegrandPoint p =
          integrand_point(orbits, node, std::cos(theta), std::sin(theta), t.wtheta[m]);
      // Body B inbound, then outbound; within each, body A inbound, then outbound.
      for (double sigma_b : kSigns) {
        for (double sigma_a : kSigns) {
          const IntegrandTerm term = integrand_term(p, sigma_b, sigma_a);
          add_term(sums, term, p.v_esc2);
          if (visitor != nullptr && term.adds && sigma_b < 0.0) {
            visitor->term(sigma_a < 0.0 ? 0 : 1, term.w, term.u_km,
                          std::sqrt(term.u_km * term.u_km + p.v_esc2));
          }
        }
      }
    }
  }
}

}  // namespace

void g_integral(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
                const double& i_a, const double& i_b, const double& node_lo, const double& node_hi,
                const double& c_1, const double& c_2, double sums[4], const std::int32_t& n_cap,
                const std::int32_t& n_theta, const double& v_esc) {
  integrate(a_a, a_b, e_a, e_b, i_a, i_b, node_lo, node_hi, c_1, c_2, sums, n_cap, n_theta, v_esc,
            nullptr);
}

void g_integral_visit(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
                      const double& i_a, const double& i_b, const double& node_lo,
                      const double& node_hi, const double& c_1, const double& c_2, double sums[4],
                      const std::int32_t& n_cap, const std::int32_t& n_theta, const double& v_esc,
                      IntegralTermVisitor& visitor) {
  integrate(a_a, a_b, e_a, e_b, i_a, i_b, node_lo, node_hi, c_1, c_2, sums, n_cap, n_theta, v_esc,
            &visitor);
}

}  // namespace pairtrack::detail
