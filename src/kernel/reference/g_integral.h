// The probability integral of one pair of fixed orbits over one true-anomaly
// arc: a double Gauss-Legendre quadrature over the node difference and over
// orbit B's true anomaly, adding the intrinsic-collision-probability density
// and its speed moments to four sums held by the caller.
#pragma once

#include <cstdint>

#include "kernel/kernel_constants.h"  // SumIndex

namespace pairtrack::detail {

// Adds to sums[0..3] the quadrature of the collision-probability density of
// orbit A (a_a cm, e_a, i_a rad) and orbit B (a_b cm, e_b, i_b rad) with
// n_cap nodes over the node difference [node_lo, node_hi] (radians) and
// n_theta nodes over orbit B's true anomaly between acos(c_1) and acos(c_2)
// (either order). For each node the four sign combinations (each body inbound
// or outbound) give a term W with gravitational focusing by v_esc (km/s):
//   W = F w_node w_theta pi U P_A^2 S / (2 T_A T_B v_B |sin f_A| |e_A p_A sin I| sqrt(U^2 - xi^2)),
// F = 1 + v_esc^2 / U_km^2 (0 when U is 0: such a term adds nothing).
// Terms are added in loop order: node ascending, anomaly ascending, sigma_B
// then sigma_A from -1 to +1. The sums are neither cleared nor scaled.
//
// The caller guarantees 0 < e_a < 1, 0 <= e_b < 1, cosines in [-1, 1] and
// that orbit A reaches orbit B's distance on the whole arc; outside that the
// non-finite terms go into the sums unchanged. Counts below 1 add nothing;
// counts above the 5000-entry node tables are refused and add nothing.
void g_integral(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
                const double& i_a, const double& i_b, const double& node_lo, const double& node_hi,
                const double& c_1, const double& c_2, double sums[4], const std::int32_t& n_cap,
                const std::int32_t& n_theta, const double& v_esc);

// Sees the terms that g_integral adds with body B inbound, in the order it adds
// them: which one of the point's two (0: body A inbound, the term of signs
// (-,-); 1: A outbound, signs (-,+)), the weight W (cm^-2 s^-1, before the
// orientation average's scaling), the encounter speed U_km (km/s) and the
// impact speed sqrt(U_km^2 + v_esc^2) (km/s), each formed with the arithmetic
// of the sums. Each term with B outbound mirrors one of these (both signs
// reversed: the same weight and speeds, bit for bit) and is not shown: a
// visitor's sums of weights count twice.
class IntegralTermVisitor {
 public:
  virtual ~IntegralTermVisitor() = default;
  virtual void term(int which, double w, double u_km, double v_imp_km) = 0;
};

// g_integral, calling `visitor` for every term it adds with B inbound (after
// adding it).
void g_integral_visit(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
                      const double& i_a, const double& i_b, const double& node_lo,
                      const double& node_hi, const double& c_1, const double& c_2, double sums[4],
                      const std::int32_t& n_cap, const std::int32_t& n_theta, const double& v_esc,
                      IntegralTermVisitor& visitor);

}  // namespace pairtrack::detail
