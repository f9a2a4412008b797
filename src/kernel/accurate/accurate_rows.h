// One anomaly row of the accurate integrator's product rule: the integrand's
// four moments at every node difference of the row, with the parts that do
// not depend on the node difference formed once per row (as the fast
// kernel's anomaly rows do) and the node differences side by side in vector
// lanes. The integrator's term has its own arithmetic (term_moments below):
// the factors of integrand_term (integrand.h) regrouped so that a term takes
// one division and two square roots instead of five and three, the row's and the node's factors
// formed once. Every lane performs term_moments' operations in their order, so the moments are
// those of the point-by-point evaluation bit for bit, on either path. Speeds in cm/s, lengths in
// cm, times in s.
#pragma once

#include <cmath>

#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/gauss_kronrod.h"
#include "kernel/kernel_constants.h"

namespace pairtrack::detail::kernel::accurate {

// Lanes of a row: the 15 Kronrod nodes, padded to a multiple of four.
inline constexpr int kRowLanes = 16;
// Rows of a rectangle at most.
inline constexpr int kMaxRows = 15;

// What one anomaly node contributes independently of the node difference.
// Terms 0 and 1 are the sign pairs (sigma_B, sigma_A) = (-1, -1) and
// (-1, +1); their mirrors repeat them exactly and are counted by the factor 2.
// Plain data without initialisers: the integrator keeps rows of them per
// pair and fills every field.
struct RowConstants {
  double vt_a, vt_b;  // transverse speeds of bodies A and B
  double b_slope;     // P_B / D_B
  double c_w;         // 2 pi P_A^2 / (h_A h_B), h_A = 4 |sin f_A| T_A, h_B = v_B T_B
  double jacobian;    // d theta / d(anomaly variable)
  double v_esc2;      // km^2/s^2
  double v_esc2_cm;   // v_esc2 in cm^2/s^2
  double dr2[2];      // radial relative speed squared
  double dru[2];      // radial relative speed times B's radial unit velocity
  double tt[2];       // t_A^2 + t_B^2
  double m2ab[2];     // (-2 t_A) t_B
};

// The node differences of a row, lane by lane; lanes past the rule's nodes
// must hold ordinary numbers (a copy of a real node), their moments unused.
struct alignas(32) NodeLanes {
  double cos_i[kRowLanes];
  double sin_i[kRowLanes];
  double sin2_i[kRowLanes];    // sin_i * sin_i
  double inv_k_a[kRowLanes];   // 1 / |e_A p_A max(sin I, sin I_min)|
  double jacobian[kRowLanes];  // d dOmega / d(node variable)
};

// The four moments (P, P U, P U^2, P v_imp) of each lane, the four of a
// lane together: both sign pairs, counted twice, times the two Jacobians.
struct alignas(32) RowMoments {
  double m[kRowLanes][4];
};

// A rectangle's Kronrod product sums of the four moments, and the sums of P
// with the Gauss rule along one axis and the Kronrod rule along the other.
struct RectangleSums {
  double kk[4] = {0.0, 0.0, 0.0, 0.0};
  double gk_theta = 0.0;  // Gauss along the anomaly axis
  double kg_node = 0.0;   // Gauss along the node axis
};

enum class RowPath {
  kScalar,  // one lane after the other
  kAvx2,    // four lanes a register (x86-64 with AVX2 only)
};

// The two sign terms of one point (node difference cos_i, sin_i, sin2_i =
// sin_i * sin_i, inv_k_a, node Jacobian jac_node) of a row, both counted
// twice, times the two Jacobians: integrand_term's weight
//   focus j_A g_B pi / h_A = c_w (U^2 + v_esc^2) sqrt(S^2 / (U^2 (U^2 - xi^2))) / |k_A|
// with focus = 1 + v_esc^2 / U^2, j_A = S P_A^2 / |k_A|, g_B = 2 U / (h_B
// sqrt(U^2 - xi^2)), one division and one square root besides U's own, and
// the moments (P, P U, P U^2, P v_imp). The scalar form every vector lane
// repeats operation for operation.
inline void term_moments(const RowConstants& r, double cos_i, double sin_i, double sin2_i,
                         double inv_k_a, double jac_node, double out[4]) {
  const double delta_t = r.vt_b - cos_i * r.vt_a;
  const double delta_n = 0.0 - r.vt_a * sin_i;
  const double xi_t = delta_t * r.b_slope;
  const double dt2 = delta_t * delta_t;
  const double dn2 = delta_n * delta_n;
  const double c_node = r.c_w * inv_k_a;
  double m[4] = {0.0, 0.0, 0.0, 0.0};
  for (int k = 0; k < 2; ++k) {
    const double u2 = r.dr2[k] + dt2 + dn2;
    const double u = std::sqrt(u2);
    const double u_km = u * kCmPerSToKmPerS;
    if (!(u_km > 0.0)) continue;  // no relative speed: the term adds nothing
    const double xi = r.dru[k] + xi_t;
    const double s2 = r.tt[k] + sin2_i + r.m2ab[k] * cos_i;
    const double w = (c_node * (u2 + r.v_esc2_cm)) * std::sqrt(s2 / (u2 * (u2 - xi * xi)));
    // Without focusing the impact speed is the encounter speed.
    const double v_imp = r.v_esc2 == 0.0 ? u_km : std::sqrt(u_km * u_km + r.v_esc2);
    const double wu = w * u;
    m[0] += w;
    m[1] += wu;
    m[2] += wu * u;
    m[3] += w * v_imp;
  }
  const double jac = jac_node * r.jacobian;
  for (int k = 0; k < 4; ++k) out[k] = 2.0 * m[k] * jac;
}

// The fastest path this processor runs.
RowPath best_row_path();

// The moments of lanes 0 .. n - 1 (n <= kRowLanes; the vector path computes
// whole registers, so lanes up to the next multiple of four must be filled).
void row_moments(RowPath path, const RowConstants& row, const NodeLanes& nodes, int n,
                 RowMoments& out);

// The sums of a rectangle of rule.n anomaly rows by rule.n node differences:
// each row summed over its node differences in order, the rows then summed in
// order, as a point-by-point double loop adds them.
RectangleSums rectangle_sums(RowPath path, const GaussKronrodRule& rule, const RowConstants* rows,
                             const NodeLanes& nodes);

// accurate_pair with its rectangles evaluated on the given row path, or point
// by point through integrand_point and integrand_term (the straightforward
// form the rows must match bit for bit); accurate_pair itself takes
// best_row_path().
AccurateResult accurate_pair_on_rows(double a1, double e1, double inc1, double a2, double e2,
                                     double inc2, double v_esc, const AccurateOptions& options,
                                     RowPath path);
AccurateResult accurate_pair_point_by_point(double a1, double e1, double inc1, double a2, double e2,
                                            double inc2, double v_esc,
                                            const AccurateOptions& options);

}  // namespace pairtrack::detail::kernel::accurate
