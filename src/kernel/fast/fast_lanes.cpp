// Lane tables and the portable quadrature loop of the fast kernel. Every
// quantity is formed with the operations, operands and order of the
// reference integrand (kernel/integrand.h); only where it is formed changes:
// per orbit, per node difference or per anomaly node instead of per term.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "kernel/fast/fast_lanes.h"
#include "kernel/fast/fast_ops.h"
#include "kernel/kernel_constants.h"

namespace pairtrack::detail::fast {

namespace {

// Plain scalar lanes, one at a time.
#define PAIRTRACK_FILL_TARGET inline
struct Ops {
  using V = double;
  static constexpr int kWidth = 1;
  static V load(const double* p) { return *p; }
  static void store(double* p, V v) { *p = v; }
  static V set1(double x) { return x; }
  static V add(V a, V b) { return a + b; }
  static V sub(V a, V b) { return a - b; }
  static V mul(V a, V b) { return a * b; }
  static V div(V a, V b) { return sdiv(a, b); }
  static V sqrt(V x) { return ssqrt(x); }
  static V abs(V x) { return std::fabs(x); }
  static V neg(V x) { return -x; }
};
#include "kernel/fast/fast_fill.inc"
#undef PAIRTRACK_FILL_TARGET

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

FillKernels fill_kernels_scalar() { return fill_kernels_for<Ops>(); }

TableFill::TableFill(const FastRules& rules, const IntegralJob* jobs, int n_jobs,
                     const LaneTables& t, const FillKernels& kernels)
    : rules_(&rules), jobs_(jobs), n_jobs_(n_jobs), t_(t), kernels_(kernels) {
  const int w = kernels.width;
  n_lanes_ = n_jobs <= 0 ? 0 : std::min(kLanes, (n_jobs + w - 1) / w * w);
  stage_ = n_jobs > 0 ? Stage::kArcs : Stage::kDone;
}

// Lane `lane`'s orbits and arc: the ends' anomalies, upward within [0, pi]
// (no exchange when an end is NaN), and the anomaly rule on them.
void TableFill::arc(int lane) {
  const FastRules& rules = *rules_;
  const IntegralJob& job = jobs_[lane];
  const PreparedOrbit& oa = *job.a;
  const PreparedOrbit& ob = *job.b;
  FillLanes& in = *t_.lanes;
  in.e_a[lane] = oa.e;
  in.e_b[lane] = ob.e;
  in.p_a[lane] = oa.p_cm;
  in.p_b[lane] = ob.p_cm;
  in.v_scale_a[lane] = oa.v_scale;
  in.v_scale_b[lane] = ob.v_scale;
  in.period_a[lane] = oa.period_s;
  in.period_b[lane] = ob.period_s;
  in.e_p_a[lane] = oa.e_p;
  in.c_c[lane] = oa.cos_inc * ob.cos_inc;
  in.s_s[lane] = oa.sin_inc * ob.sin_inc;

  const double theta_1 = arc_end(rules, job.c_1);
  const double theta_2 = arc_end(rules, job.c_2);
  double theta_lo = theta_1;
  double theta_hi = theta_2;
  if (theta_1 > theta_2) {
    theta_lo = theta_2;
    theta_hi = theta_1;
  }
  whole_[lane] =
      same_bits(theta_lo, rules.acos_plus_one()) && same_bits(theta_hi, rules.acos_minus_one());
  if (!whole_[lane]) {
    const int n = rules.n_theta();
    rules.anomaly_rule(theta_lo, theta_hi, t_.scratch_x + lane * n, t_.scratch_w + lane * n);
  }
}

// Lane `lane`'s anomaly in row row_: its cosine, sine and weight (tables of
// the rules for a whole half orbit, library calls otherwise).
void TableFill::cos_sin(int lane) {
  const FastRules& rules = *rules_;
  FillLanes& in = *t_.lanes;
  const int m = row_;
  if (whole_[lane]) {
    in.cos_t[lane] = rules.whole_cos()[m];
    in.sin_t[lane] = rules.whole_sin()[m];
    in.w_theta[lane] = rules.whole_w()[m];
  } else {
    const int i = lane * rules.n_theta() + m;
    const double theta = t_.scratch_x[i];
    in.cos_t[lane] = lcos(theta);
    in.sin_t[lane] = lsin(theta);
    in.w_theta[lane] = t_.scratch_w[i];
  }
}

namespace {

// Idle lanes n_jobs .. n_lanes-1 take lane 0's values of the given arrays.
void copy_lane0(std::initializer_list<double*> arrays, int n_jobs, int n_lanes) {
  for (double* v : arrays) {
    for (int lane = n_jobs; lane < n_lanes; ++lane) v[lane] = v[0];
  }
}

}  // namespace

// The pieces of one anomaly row go stage by stage across the lanes (every
// lane's cos and sin, then every lane's acos, then every lane's sin), so that
// consecutive library calls are independent of each other and the processor
// can overlap them.
bool TableFill::step() {
  if (stage_ == Stage::kDone) return false;  // also an empty fill, which has no tables
  FillLanes& in = *t_.lanes;
  switch (stage_) {
    case Stage::kArcs:
      arc(lane_);
      if (++lane_ < n_jobs_) return true;
      copy_lane0({in.e_a, in.e_b, in.p_a, in.p_b, in.v_scale_a, in.v_scale_b, in.period_a,
                  in.period_b, in.e_p_a, in.c_c, in.s_s},
                 n_jobs_, n_lanes_);
      stage_ = Stage::kNodes;
      return true;
    case Stage::kNodes:
      kernels_.nodes(*rules_, in, n_lanes_, t_.nodes);
      row_ = 0;
      lane_ = 0;
      stage_ = rules_->n_theta() > 0 ? Stage::kCosSin : Stage::kDone;
      return true;
    case Stage::kCosSin:
      cos_sin(lane_);
      if (++lane_ >= n_jobs_) stage_ = Stage::kCosFa;
      return true;
    case Stage::kCosFa:
      copy_lane0({in.cos_t, in.sin_t, in.w_theta}, n_jobs_, n_lanes_);
      kernels_.cos_fa(in, n_lanes_);
      lane_ = 0;
      stage_ = Stage::kAcos;
      return true;
    case Stage::kAcos:
      in.acos_fa[lane_] = lacos(in.cos_fa[lane_]);
      if (++lane_ >= n_jobs_) {
        lane_ = 0;
        stage_ = Stage::kSin;
      }
      return true;
    case Stage::kSin:
      in.sin_fa[lane_] = lsin(in.acos_fa[lane_]);
      if (++lane_ >= n_jobs_) stage_ = Stage::kRow;
      return true;
    case Stage::kRow:
      copy_lane0({in.sin_fa}, n_jobs_, n_lanes_);
      kernels_.row(in, n_lanes_, t_.thetas[row_]);
      lane_ = 0;
      stage_ = ++row_ < rules_->n_theta() ? Stage::kCosSin : Stage::kDone;
      return true;
    case Stage::kDone: break;
  }
  return false;
}

void fill_tables(const FastRules& rules, const IntegralJob* jobs, int n_jobs, const LaneTables& t,
                 const FillKernels& kernels) {
  TableFill(rules, jobs, n_jobs, t, kernels).finish();
}

namespace {

// The scalar quadrature; with kBins every term added is binned as well.
template <bool kBins>
void integrate_scalar_lanes(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                            LaneSums& sums, const LaneBins* bins) {
  using kernel::kPi;
  const double v_esc2 = v_esc * v_esc;
  const bool zero_esc = v_esc2 == 0.0;
  for (int lane = 0; lane < n_lanes; ++lane) {
    if constexpr (kBins) bins->set_apart(lane);
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
        double w[2], wu[2], wuu[2], wv[2], v_imp[2], enc[2];
        bool adds[2];
        const double dr2[2] = {r.dr2_1[lane], r.dr2_2[lane]};
        const double dru[2] = {r.dru_1[lane], r.dru_2[lane]};
        const double m2ab[2] = {r.m2ab_1[lane], r.m2ab_2[lane]};
        for (int j = 0; j < 2; ++j) {
          const double u = ssqrt(dr2[j] + dt2 + dn2);
          const double u_km = std::fabs(u) * kernel::kCmPerSToKmPerS;
          const double u_km2 = u_km * u_km;
          enc[j] = u_km;
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
            v_imp[j] = u_km;
          } else {
            const double focus = sdiv(v_esc2, u_km2) + 1.0;
            w[j] = focus * f;
            v_imp[j] = ssqrt(u_km2 + v_esc2);
            wv[j] = w[j] * v_imp[j];
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
        // The bins take each distinct term once (its mirror counts through
        // scale_speed_weights).
        if constexpr (kBins) {
          for (int j : {0, 1}) {
            if (adds[j]) bins->add(lane, j, w[j], enc[j], v_imp[j]);
          }
        }
      }
    }
    sums[0][lane] = s_p;
    sums[1][lane] = s_v;
    sums[2][lane] = s_v2;
    sums[3][lane] = s_vimp;
  }
}

}  // namespace

void integrate_scalar(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                      LaneSums& sums) {
  integrate_scalar_lanes<false>(rules, t, n_lanes, v_esc, sums, nullptr);
}

void integrate_scalar_binned(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                             LaneSums& sums, const LaneBins& bins) {
  integrate_scalar_lanes<true>(rules, t, n_lanes, v_esc, sums, &bins);
}

}  // namespace pairtrack::detail::fast
