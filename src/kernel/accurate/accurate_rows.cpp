// The accurate integrator's anomaly rows: a scalar loop and an AVX2 form of
// the same arithmetic. Vector add, subtract, multiply, divide and square root
// round exactly like their scalar forms, and no fused multiply-add or
// reciprocal approximation is used, so both paths give the same bits.
#include "kernel/accurate/accurate_rows.h"

#include <cfloat>
#include <cmath>

#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_ACCURATE_AVX2 1
#include <immintrin.h>
#endif

namespace pairtrack::detail::kernel::accurate {

namespace {

void row_moments_scalar(const RowConstants& r, const NodeLanes& nl, int n, RowMoments& out) {
  for (int j = 0; j < n; ++j) {
    const double cos_i = nl.cos_i[j];
    const double delta_t = r.vt_b - cos_i * r.vt_a;
    const double delta_n = 0.0 - r.vt_a * nl.sin_i[j];
    const double xi_t = delta_t * r.b_slope;
    double m[4] = {0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
      const double u = std::sqrt(r.dr2[k] + delta_t * delta_t + delta_n * delta_n);
      const double u_km = std::fabs(u) * kCmPerSToKmPerS;
      if (u_km <= 0.0) continue;  // no relative speed: the term adds nothing
      const double focus = r.v_esc2 / (u_km * u_km) + 1.0;
      const double xi = r.dru[k] + xi_t;
      const double g_b = 2.0 * (u / std::sqrt(u * u - xi * xi)) / r.h_b;
      const double s = std::sqrt(r.tt[k] + nl.sin2_i[j] + r.m2ab[k] * cos_i);
      const double j_a = 1.0 / std::fabs(nl.k_a[j] / (s * r.pp_a * r.pp_a));
      // The anomaly and node weights of the point are 1 here (the rule's
      // weights are applied to the row's sums).
      const double w = focus * (j_a * g_b * kPi / r.h_a);
      m[0] += w;
      m[1] += w * u;
      m[2] += w * u * u;
      m[3] += w * std::sqrt(u_km * u_km + r.v_esc2);
    }
    const double jac = nl.jacobian[j] * r.jacobian;
    for (int k = 0; k < 4; ++k) out.m[j][k] = 2.0 * m[k] * jac;
  }
}

// Rows summed over their node differences (each row's five sums in node
// order), then the rows in anomaly order.
RectangleSums sum_rows_scalar(const GaussKronrodRule& q, const RowMoments* mom) {
  RectangleSums out;
  for (int i = 0; i < q.n; ++i) {
    double row_k[4] = {0.0, 0.0, 0.0, 0.0};
    double row_g = 0.0;
    for (int j = 0; j < q.n; ++j) {
      for (int k = 0; k < 4; ++k) row_k[k] += q.kronrod[j] * mom[i].m[j][k];
      row_g += q.gauss[j] * mom[i].m[j][0];
    }
    for (int k = 0; k < 4; ++k) out.kk[k] += q.kronrod[i] * row_k[k];
    out.gk_theta += q.gauss[i] * row_k[0];
    out.kg_node += q.kronrod[i] * row_g;
  }
  return out;
}

#if defined(PAIRTRACK_ACCURATE_AVX2)

#define PAIRTRACK_ACCURATE_TARGET __attribute__((target("avx2")))

PAIRTRACK_ACCURATE_TARGET void row_moments_avx2(const RowConstants& r, const NodeLanes& nl, int n,
                                                RowMoments& out) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256d two = _mm256_set1_pd(2.0);
  const __m256d pi = _mm256_set1_pd(kPi);
  const __m256d km = _mm256_set1_pd(kCmPerSToKmPerS);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d vt_a = _mm256_set1_pd(r.vt_a);
  const __m256d vt_b = _mm256_set1_pd(r.vt_b);
  const __m256d b_slope = _mm256_set1_pd(r.b_slope);
  const __m256d pp_a = _mm256_set1_pd(r.pp_a);
  const __m256d h_a = _mm256_set1_pd(r.h_a);
  const __m256d h_b = _mm256_set1_pd(r.h_b);
  const __m256d row_jac = _mm256_set1_pd(r.jacobian);
  const __m256d v_esc2 = _mm256_set1_pd(r.v_esc2);
  const bool no_focusing = r.v_esc2 == 0.0;
  const __m256d dbl_min = _mm256_set1_pd(DBL_MIN);
  const __m256d dbl_max = _mm256_set1_pd(DBL_MAX);
  for (int o = 0; o < n; o += 4) {
    const __m256d cos_i = _mm256_load_pd(nl.cos_i + o);
    const __m256d sin_i = _mm256_load_pd(nl.sin_i + o);
    const __m256d sin2_i = _mm256_load_pd(nl.sin2_i + o);
    const __m256d k_a = _mm256_load_pd(nl.k_a + o);
    const __m256d delta_t = _mm256_sub_pd(vt_b, _mm256_mul_pd(cos_i, vt_a));
    const __m256d delta_n = _mm256_sub_pd(zero, _mm256_mul_pd(vt_a, sin_i));
    const __m256d xi_t = _mm256_mul_pd(delta_t, b_slope);
    const __m256d dt2 = _mm256_mul_pd(delta_t, delta_t);
    const __m256d dn2 = _mm256_mul_pd(delta_n, delta_n);
    __m256d m0 = zero, m1 = zero, m2 = zero, m3 = zero;
    for (int k = 0; k < 2; ++k) {
      const __m256d u =
          _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(r.dr2[k]), dt2), dn2));
      const __m256d u_km = _mm256_mul_pd(_mm256_andnot_pd(sign, u), km);
      const __m256d adds = _mm256_cmp_pd(u_km, zero, _CMP_NLE_UQ);  // !(u_km <= 0)
      const __m256d u_km2 = _mm256_mul_pd(u_km, u_km);
      const __m256d xi = _mm256_add_pd(_mm256_set1_pd(r.dru[k]), xi_t);
      const __m256d root =
          _mm256_sqrt_pd(_mm256_sub_pd(_mm256_mul_pd(u, u), _mm256_mul_pd(xi, xi)));
      const __m256d g_b = _mm256_div_pd(_mm256_mul_pd(two, _mm256_div_pd(u, root)), h_b);
      const __m256d s =
          _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(r.tt[k]), sin2_i),
                                       _mm256_mul_pd(_mm256_set1_pd(r.m2ab[k]), cos_i)));
      const __m256d j_a = _mm256_div_pd(
          one,
          _mm256_andnot_pd(sign, _mm256_div_pd(k_a, _mm256_mul_pd(_mm256_mul_pd(s, pp_a), pp_a))));
      const __m256d f = _mm256_div_pd(_mm256_mul_pd(_mm256_mul_pd(j_a, g_b), pi), h_a);
      // Without focusing, wherever U_km^2 is a normal number the factor
      // 0 / U_km^2 + 1 is exactly 1 (and 1 * f is f), and the impact speed
      // sqrt(U_km^2 + 0) is U_km exactly: the correctly rounded square root
      // of a correctly rounded square gives the number back.
      __m256d w, v_imp;
      if (no_focusing &&
          _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(u_km2, dbl_min, _CMP_GE_OQ),
                                           _mm256_cmp_pd(u_km2, dbl_max, _CMP_LE_OQ))) == 0xF) {
        w = f;
        v_imp = u_km;
      } else {
        w = _mm256_mul_pd(_mm256_add_pd(_mm256_div_pd(v_esc2, u_km2), one), f);
        v_imp = _mm256_sqrt_pd(_mm256_add_pd(u_km2, v_esc2));
      }
      const __m256d wu = _mm256_mul_pd(w, u);
      m0 = _mm256_blendv_pd(m0, _mm256_add_pd(m0, w), adds);
      m1 = _mm256_blendv_pd(m1, _mm256_add_pd(m1, wu), adds);
      m2 = _mm256_blendv_pd(m2, _mm256_add_pd(m2, _mm256_mul_pd(wu, u)), adds);
      m3 = _mm256_blendv_pd(m3, _mm256_add_pd(m3, _mm256_mul_pd(w, v_imp)), adds);
    }
    const __m256d jac = _mm256_mul_pd(_mm256_load_pd(nl.jacobian + o), row_jac);
    m0 = _mm256_mul_pd(_mm256_mul_pd(two, m0), jac);
    m1 = _mm256_mul_pd(_mm256_mul_pd(two, m1), jac);
    m2 = _mm256_mul_pd(_mm256_mul_pd(two, m2), jac);
    m3 = _mm256_mul_pd(_mm256_mul_pd(two, m3), jac);
    // Lane by lane to point by point: the four moments of each point together.
    const __m256d t0 = _mm256_unpacklo_pd(m0, m1);
    const __m256d t1 = _mm256_unpackhi_pd(m0, m1);
    const __m256d t2 = _mm256_unpacklo_pd(m2, m3);
    const __m256d t3 = _mm256_unpackhi_pd(m2, m3);
    _mm256_store_pd(out.m[o], _mm256_permute2f128_pd(t0, t2, 0x20));
    _mm256_store_pd(out.m[o + 1], _mm256_permute2f128_pd(t1, t3, 0x20));
    _mm256_store_pd(out.m[o + 2], _mm256_permute2f128_pd(t0, t2, 0x31));
    _mm256_store_pd(out.m[o + 3], _mm256_permute2f128_pd(t1, t3, 0x31));
  }
}

// sum_rows_scalar with the four moments of a row sum in one register, and
// all rows' sums advanced together node by node (each still adds its nodes in
// order), so that the additions do not wait on one another.
PAIRTRACK_ACCURATE_TARGET RectangleSums sum_rows_avx2(const GaussKronrodRule& q,
                                                      const RowMoments* mom) {
  __m256d row_k[kMaxRows];
  double row_g[kMaxRows];
  for (int i = 0; i < q.n; ++i) {
    row_k[i] = _mm256_setzero_pd();
    row_g[i] = 0.0;
  }
  for (int j = 0; j < q.n; ++j) {
    const __m256d kj = _mm256_set1_pd(q.kronrod[j]);
    const double gj = q.gauss[j];
    for (int i = 0; i < q.n; ++i) {
      row_k[i] = _mm256_add_pd(row_k[i], _mm256_mul_pd(kj, _mm256_load_pd(mom[i].m[j])));
      row_g[i] += gj * mom[i].m[j][0];
    }
  }
  RectangleSums out;
  __m256d kk = _mm256_setzero_pd();
  for (int i = 0; i < q.n; ++i) {
    kk = _mm256_add_pd(kk, _mm256_mul_pd(_mm256_set1_pd(q.kronrod[i]), row_k[i]));
    out.gk_theta += q.gauss[i] * _mm256_cvtsd_f64(row_k[i]);
    out.kg_node += q.kronrod[i] * row_g[i];
  }
  _mm256_storeu_pd(out.kk, kk);
  return out;
}

bool avx2_supported() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

#endif

}  // namespace

RowPath best_row_path() {
#if defined(PAIRTRACK_ACCURATE_AVX2)
  if (avx2_supported()) return RowPath::kAvx2;
#endif
  return RowPath::kScalar;
}

void row_moments(RowPath path, const RowConstants& row, const NodeLanes& nodes, int n,
                 RowMoments& out) {
#if defined(PAIRTRACK_ACCURATE_AVX2)
  if (path == RowPath::kAvx2 && avx2_supported()) {
    row_moments_avx2(row, nodes, n, out);
    return;
  }
#endif
  (void)path;
  row_moments_scalar(row, nodes, n, out);
}

RectangleSums rectangle_sums(RowPath path, const GaussKronrodRule& rule, const RowConstants* rows,
                             const NodeLanes& nodes) {
  RowMoments mom[kMaxRows];
  for (int i = 0; i < rule.n; ++i) row_moments(path, rows[i], nodes, rule.n, mom[i]);
#if defined(PAIRTRACK_ACCURATE_AVX2)
  if (path == RowPath::kAvx2 && avx2_supported()) return sum_rows_avx2(rule, mom);
#endif
  return sum_rows_scalar(rule, mom);
}

}  // namespace pairtrack::detail::kernel::accurate
