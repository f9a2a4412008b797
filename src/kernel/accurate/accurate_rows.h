// One anomaly row of the accurate integrator's product rule: the integrand's
// four moments at every node difference of the row, with the parts that do
// not depend on the node difference formed once per row (as the fast
// kernel's anomaly rows do) and the node differences side by side in vector
// lanes. Every lane performs the operations of integrand_point's node fields,
// integrand_term and add_term (integrand.h) in their order, so the moments
// are those of the point-by-point evaluation bit for bit, on either path.
// Speeds in cm/s, lengths in cm, times in s.
#pragma once

#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/gauss_kronrod.h"

namespace pairtrack::detail::kernel::accurate {

// Lanes of a row: the 15 Kronrod nodes, padded to a multiple of four.
inline constexpr int kRowLanes = 16;
// Rows of a rectangle at most.
inline constexpr int kMaxRows = 15;

// What one anomaly node contributes independently of the node difference.
// Terms 0 and 1 are the sign pairs (sigma_B, sigma_A) = (-1, -1) and
// (-1, +1); their mirrors repeat them exactly and are counted by the factor 2.
struct RowConstants {
  double vt_a = 0.0, vt_b = 0.0;  // transverse speeds of bodies A and B
  double b_slope = 0.0;           // P_B / D_B
  double pp_a = 0.0;              // P_A = 1 + e_A cos f_A
  double h_a = 0.0;               // 4 |sin f_A| T_A
  double h_b = 0.0;               // v_B T_B
  double jacobian = 1.0;          // d theta / d(anomaly variable)
  double v_esc2 = 0.0;            // km^2/s^2
  double dr2[2] = {0.0, 0.0};     // radial relative speed squared
  double dru[2] = {0.0, 0.0};     // radial relative speed times B's radial unit velocity
  double tt[2] = {0.0, 0.0};      // t_A^2 + t_B^2
  double m2ab[2] = {0.0, 0.0};    // (-2 t_A) t_B
};

// The node differences of a row, lane by lane; lanes past the rule's nodes
// must hold ordinary numbers (a copy of a real node), their moments unused.
struct alignas(32) NodeLanes {
  double cos_i[kRowLanes];
  double sin_i[kRowLanes];
  double sin2_i[kRowLanes];    // sin_i * sin_i
  double k_a[kRowLanes];       // e_A p_A max(sin I, sin I_min)
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
