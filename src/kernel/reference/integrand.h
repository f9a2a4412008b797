// The integrand of the probability integral at one quadrature point (a node
// difference and a true anomaly of orbit B), split into the part that does
// not depend on the inbound/outbound signs and the term of one sign pair.
// Speeds in cm/s (u_km in km/s), lengths in cm, times in s. The arithmetic
// order of every quantity is fixed: the reference quadrature and the fast
// kernel both produce their terms through these functions or bit-identical
// copies of them.
#pragma once

#include <cmath>

#include "kernel/kernel_constants.h"

namespace pairtrack::detail::kernel {

// Everything at one (node difference, anomaly) point that does not depend on
// the signs sigma_A, sigma_B.
struct IntegrandPoint {
  double cos_i;    // cosine of the mutual inclination
  double sin2_i;   // sin I * sin I
  double k_a;      // e_A p_A sin I
  double tau_a;    // flight-path slope of body A
  double tau_b;    // flight-path slope of body B
  double rho_a;    // |e_A sin f_A|
  double rho_b;    // |e_B sin theta|
  double d_a;      // sqrt(1 + 2 e_A cos f_A + e_A^2)
  double d_b;      // sqrt(1 + 2 e_B cos theta + e_B^2)
  double v_a;      // speed of body A, cm/s
  double v_b;      // speed of body B, cm/s
  double pp_a;     // 1 + e_A cos f_A
  double delta_t;  // relative velocity along B's transverse direction
  double delta_n;  // relative velocity normal to B's plane
  double h_a;      // 4 |sin f_A| T_A
  double h_b;      // v_B T_B
  double xi_t;     // transverse part of the relative velocity along B's velocity
  double w_theta;  // anomaly weight
  double w_node;   // node-difference weight
  double v_esc2;   // v_esc^2, km^2/s^2
};

// Per-call constants of the two orbits.
struct OrbitPairConstants {
  double e_a, e_b;
  double p_a, p_b;            // semi-latus recta, cm
  double period_a, period_b;  // orbital periods, s
};

// Per-node-difference constants.
struct NodeConstants {
  double cos_i, sin_i, sin2_i;
  double k_a, g_a, g_b, v_esc2;
  double w_node;
};

inline OrbitPairConstants orbit_pair_constants(double a_a, double a_b, double e_a, double e_b) {
  OrbitPairConstants c;
  c.e_a = e_a;
  c.e_b = e_b;
  c.p_a = a_a * (1.0 - e_a * e_a);
  c.p_b = a_b * (1.0 - e_b * e_b);
  c.period_a = std::pow(a_a, 1.5) * kTwoPi / kSqrtGM;
  c.period_b = std::pow(a_b, 1.5) * kTwoPi / kSqrtGM;
  return c;
}

// cos I = cos(node) s_s + c_c for planes whose nodes lie `node` apart.
inline NodeConstants node_constants(const OrbitPairConstants& o, double c_c, double s_s,
                                    double node, double w_node, double v_esc) {
  NodeConstants n;
  n.cos_i = std::cos(node) * s_s + c_c;
  n.sin_i = std::sqrt(1.0 - n.cos_i * n.cos_i);
  n.sin2_i = n.sin_i * n.sin_i;
  n.k_a = o.e_a * o.p_a * n.sin_i;
  n.g_a = std::sqrt(kGM / o.p_a);
  n.g_b = std::sqrt(kGM / o.p_b);
  n.v_esc2 = v_esc * v_esc;
  n.w_node = w_node;
  return n;
}

// The sign-free quantities at anomaly theta (cos_t, sin_t its cosine and
// sine) of orbit B: orbit A is placed at B's distance r = p_B / P_B.
inline IntegrandPoint integrand_point(const OrbitPairConstants& o, const NodeConstants& n,
                                      double cos_t, double sin_t, double w_theta) {
  const double e_a = o.e_a;
  const double e_b = o.e_b;
  IntegrandPoint p;
  const double pp_b = 1.0 + e_b * cos_t;
  const double cos_fa = (o.p_a * pp_b / o.p_b - 1.0) / e_a;
  p.pp_a = 1.0 + e_a * cos_fa;
  p.tau_a = std::fabs(e_a * std::sin(std::acos(cos_fa)) / p.pp_a);
  p.tau_b = std::fabs(e_b * sin_t / pp_b);
  p.rho_b = std::fabs(e_b * std::sqrt(1.0 - cos_t * cos_t));
  p.d_b = std::sqrt(2.0 * e_b * cos_t + 1.0 + e_b * e_b);
  p.v_b = n.g_b * p.d_b;
  const double s_a = std::sqrt(1.0 - cos_fa * cos_fa);
  p.rho_a = std::fabs(e_a * s_a);
  p.d_a = std::sqrt(2.0 * e_a * cos_fa + 1.0 + e_a * e_a);
  p.v_a = n.g_a * p.d_a;
  const double vt_a = p.v_a * (p.pp_a / p.d_a);
  const double vt_b = p.v_b * (pp_b / p.d_b);
  p.delta_t = vt_b - n.cos_i * vt_a;
  p.delta_n = 0.0 - vt_a * n.sin_i;
  p.h_a = 4.0 * s_a * o.period_a;
  p.h_b = p.v_b * o.period_b;
  p.xi_t = p.delta_t * (pp_b / p.d_b);
  p.cos_i = n.cos_i;
  p.sin2_i = n.sin2_i;
  p.k_a = n.k_a;
  p.w_theta = w_theta;
  p.w_node = n.w_node;
  p.v_esc2 = n.v_esc2;
  return p;
}

// One term: W (cm^-2 s^-1), the encounter speed U (cm/s) and U in km/s.
// `adds` is false when the relative speed is zero: the focusing factor is 0
// and the term, 0/0 otherwise, adds nothing.
struct IntegrandTerm {
  double w;
  double u;
  double u_km;
  bool adds;
};

// sigma_b, sigma_a = -1 (inbound) or +1 (outbound).
inline IntegrandTerm integrand_term(const IntegrandPoint& p, double sigma_b, double sigma_a) {
  IntegrandTerm t;
  const double t_b = sigma_b * p.tau_b;
  const double u_b = sigma_b * p.rho_b / p.d_b;  // radial part of B's unit velocity
  const double vr_b = p.v_b * u_b;
  const double t_a = sigma_a * p.tau_a;
  const double vr_a = p.v_a * (sigma_a * p.rho_a / p.d_a);
  const double delta_r = vr_b - vr_a;
  t.u = std::sqrt(delta_r * delta_r + p.delta_t * p.delta_t + p.delta_n * p.delta_n);
  t.u_km = std::fabs(t.u) * kCmPerSToKmPerS;
  t.adds = !(t.u_km <= 0.0);
  if (!t.adds) {
    t.w = 0.0;
    return t;
  }
  const double focus = p.v_esc2 / (t.u_km * t.u_km) + 1.0;
  const double xi = delta_r * u_b + p.xi_t;  // along body B's velocity
  const double g_b = 2.0 * (t.u / std::sqrt(t.u * t.u - xi * xi)) / p.h_b;
  const double s = std::sqrt(t_a * t_a + t_b * t_b + p.sin2_i + (-2.0) * t_a * t_b * p.cos_i);
  const double j_a = 1.0 / std::fabs(p.k_a / (s * p.pp_a * p.pp_a));
  t.w = focus * (j_a * g_b * kPi / p.h_a * p.w_theta * p.w_node);
  return t;
}

// Adds one term to the four sums in their fixed order.
inline void add_term(double sums[4], const IntegrandTerm& t, double v_esc2) {
  if (!t.adds) return;
  sums[0] += t.w;
  sums[1] += t.w * t.u;
  sums[2] += t.w * t.u * t.u;
  sums[3] += t.w * std::sqrt(t.u_km * t.u_km + v_esc2);
}

}  // namespace pairtrack::detail::kernel
