// Lane tables and the portable quadrature loop of the fast kernel. Every
// quantity is formed with the operations, operands and order of the
// reference integrand (kernel/integrand.h); only where it is formed changes:
// per orbit, per node difference or per anomaly node instead of per term.
#include <bit>
#include <cfloat>
#include <cstdint>
#include <cmath>

#include "kernel/fast_lanes.h"
#include "kernel/fast_ops.h"
#include "kernel/kernel_constants.h"

namespace pairtrack::fast {

namespace {

// The node-independent part of one anomaly node of one lane.
// cos_t and sin_t: the cosine and sine of the node's anomaly.
void fill_theta(const PreparedOrbit& oa, const PreparedOrbit& ob, double cos_t, double sin_t,
                double w_theta, ThetaRow& row, int lane) {
  const double e_a = oa.e;
  const double e_b = ob.e;
  const double pp_b = 1.0 + e_b * cos_t;
  const double cos_fa = sdiv(sdiv(oa.p_cm * pp_b, ob.p_cm) - 1.0, e_a);
  const double pp_a = 1.0 + e_a * cos_fa;
  const double tau_a = std::fabs(sdiv(e_a * lsin(lacos(cos_fa)), pp_a));
  const double tau_b = std::fabs(sdiv(e_b * sin_t, pp_b));
  const double rho_b = std::fabs(e_b * ssqrt(1.0 - cos_t * cos_t));
  const double d_b = ssqrt(2.0 * e_b * cos_t + 1.0 + e_b * e_b);
  const double v_b = ob.v_scale * d_b;
  const double s_a = ssqrt(1.0 - cos_fa * cos_fa);
  const double rho_a = std::fabs(e_a * s_a);
  const double d_a = ssqrt(2.0 * e_a * cos_fa + 1.0 + e_a * e_a);
  const double v_a = oa.v_scale * d_a;
  row.vt_a[lane] = v_a * sdiv(pp_a, d_a);
  const double pb_db = sdiv(pp_b, d_b);  // formed twice by the reference, the same bits
  row.vt_b[lane] = v_b * pb_db;
  row.pb_db[lane] = pb_db;
  row.pp_a[lane] = pp_a;
  row.h_a[lane] = 4.0 * s_a * oa.period_s;
  row.h_b[lane] = v_b * ob.period_s;
  row.w_theta[lane] = w_theta;

  // Body B inbound (sigma_B = -1) in both terms; body A inbound in term 1,
  // outbound in term 2.
  const double sigma_b = -1.0;
  const double t_b = sigma_b * tau_b;
  const double u_b = sdiv(sigma_b * rho_b, d_b);
  const double vr_b = v_b * u_b;
  const double t_a1 = -1.0 * tau_a;
  const double t_a2 = 1.0 * tau_a;
  // (-1 rho_A) / D_A and (+1 rho_A) / D_A differ in the sign alone.
  const double ra_da = sdiv(rho_a, d_a);
  const double dr_1 = vr_b - v_a * (-ra_da);
  const double dr_2 = vr_b - v_a * ra_da;
  row.tt[lane] = t_a1 * t_a1 + t_b * t_b;
  row.dr2_1[lane] = dr_1 * dr_1;
  row.dr2_2[lane] = dr_2 * dr_2;
  row.dru_1[lane] = dr_1 * u_b;
  row.dru_2[lane] = dr_2 * u_b;
  row.m2ab_1[lane] = (-2.0) * t_a1 * t_b;
  row.m2ab_2[lane] = (-2.0) * t_a2 * t_b;
}

// acos(c), without a call for the ends of the half orbit.
double arc_end(const FastRules& rules, double c) {
  if (std::bit_cast<std::uint64_t>(c) == std::bit_cast<std::uint64_t>(1.0)) {
    return rules.acos_plus_one();
  }
  if (std::bit_cast<std::uint64_t>(c) == std::bit_cast<std::uint64_t>(-1.0)) {
    return rules.acos_minus_one();
  }
  return lacos(c);
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

bool TableFill::step() {
  if (lane_ >= n_jobs_) return false;
  const FastRules& rules = *rules_;
  const IntegralJob& job = jobs_[lane_];
  const PreparedOrbit& oa = *job.a;
  const PreparedOrbit& ob = *job.b;
  const int n_theta = rules.n_theta();
  if (row_ < 0) {
    // The arc runs upward within [0, pi] (no exchange when an end is NaN).
    const double theta_1 = arc_end(rules, job.c_1);
    const double theta_2 = arc_end(rules, job.c_2);
    double theta_lo = theta_1;
    double theta_hi = theta_2;
    if (theta_1 > theta_2) {
      theta_lo = theta_2;
      theta_hi = theta_1;
    }
    whole_ = same_bits(theta_lo, rules.acos_plus_one()) &&
             same_bits(theta_hi, rules.acos_minus_one());
    if (!whole_) rules.anomaly_rule(theta_lo, theta_hi, t_.scratch_x, t_.scratch_w);

    const double c_c = oa.cos_inc * ob.cos_inc;
    const double s_s = oa.sin_inc * ob.sin_inc;
    for (int k = 0; k < rules.n_cap(); ++k) {
      NodeRow& row = t_.nodes[k];
      const double cos_i = rules.node_cos()[k] * s_s + c_c;
      const double sin_i = ssqrt(1.0 - cos_i * cos_i);
      row.cos_i[lane_] = cos_i;
      row.sin_i[lane_] = sin_i;
      row.sin2_i[lane_] = sin_i * sin_i;
      row.k_a[lane_] = oa.e_p * sin_i;
    }
    row_ = 0;
  } else {
    if (whole_) {
      fill_theta(oa, ob, rules.whole_cos()[row_], rules.whole_sin()[row_],
                 rules.whole_w()[row_], t_.thetas[row_], lane_);
    } else {
      const double theta = t_.scratch_x[row_];
      fill_theta(oa, ob, lcos(theta), lsin(theta), t_.scratch_w[row_], t_.thetas[row_], lane_);
    }
    ++row_;
  }
  if (row_ >= n_theta) {
    row_ = -1;
    ++lane_;
  }
  return true;
}

void fill_tables(const FastRules& rules, const IntegralJob* jobs, int n_jobs,
                 const LaneTables& t) {
  TableFill(rules, jobs, n_jobs, t).finish();
}

void integrate_scalar(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                      LaneSums& sums) {
  using kernel::kPi;
  const double v_esc2 = v_esc * v_esc;
  const bool zero_esc = v_esc2 == 0.0;
  for (int lane = 0; lane < n_lanes; ++lane) {
    double s_p = 0.0, s_v = 0.0, s_v2 = 0.0, s_vimp = 0.0;
    for (int k = 0; k < rules.n_cap(); ++k) {
      const NodeRow& nr = t.nodes[k];
      const double cos_i = nr.cos_i[lane];
      const double sin_i = nr.sin_i[lane];
      const double sin2_i = nr.sin2_i[lane];
      const double k_a = nr.k_a[lane];
      const double w_node = rules.node_w()[k];
      for (int m = 0; m < rules.n_theta(); ++m) {
        const ThetaRow& r = t.thetas[m];
        const double vt_a = r.vt_a[lane];
        const double delta_t = r.vt_b[lane] - cos_i * vt_a;
        const double delta_n = 0.0 - vt_a * sin_i;
        const double xi_t = delta_t * r.pb_db[lane];
        const double dt2 = delta_t * delta_t;
        const double dn2 = delta_n * delta_n;
        const double ts = r.tt[lane] + sin2_i;
        const double pp_a = r.pp_a[lane];

        // The four summands of terms 1 and 2.
        double w[2], wu[2], wuu[2], wv[2];
        bool adds[2];
        const double dr2[2] = {r.dr2_1[lane], r.dr2_2[lane]};
        const double dru[2] = {r.dru_1[lane], r.dru_2[lane]};
        const double m2ab[2] = {r.m2ab_1[lane], r.m2ab_2[lane]};
        for (int j = 0; j < 2; ++j) {
          const double u = ssqrt(dr2[j] + dt2 + dn2);
          const double u_km = std::fabs(u) * kernel::kCmPerSToKmPerS;
          const double u_km2 = u_km * u_km;
          adds[j] = !(u_km <= 0.0);
          const double xi = dru[j] + xi_t;
          const double g_b = sdiv(2.0 * sdiv(u, ssqrt(u * u - xi * xi)), r.h_b[lane]);
          const double s = ssqrt(ts + m2ab[j] * cos_i);
          const double j_a = sdiv(1.0, std::fabs(sdiv(k_a, s * pp_a * pp_a)));
          const double f = sdiv(j_a * g_b * kPi, r.h_a[lane]) * r.w_theta[lane] * w_node;
          if (zero_esc && u_km2 >= DBL_MIN && u_km2 <= DBL_MAX) {
            // Focusing factor exactly 1, sqrt(U_km^2 + 0) exactly U_km.
            w[j] = f;
            wv[j] = w[j] * u_km;
          } else {
            const double focus = sdiv(v_esc2, u_km2) + 1.0;
            w[j] = focus * f;
            wv[j] = w[j] * ssqrt(u_km2 + v_esc2);
          }
          wu[j] = w[j] * u;
          wuu[j] = wu[j] * u;
        }
        // Signs (-,-), (-,+), (+,-), (+,+): terms 1, 2, 2, 1. A term whose
        // relative speed is zero adds nothing.
        for (int j : {0, 1, 1, 0}) {
          if (!adds[j]) continue;
          s_p += w[j];
          s_v += wu[j];
          s_v2 += wuu[j];
          s_vimp += wv[j];
        }
      }
    }
    sums[0][lane] = s_p;
    sums[1][lane] = s_v;
    sums[2][lane] = s_v2;
    sums[3][lane] = s_vimp;
  }
}

}  // namespace pairtrack::fast
