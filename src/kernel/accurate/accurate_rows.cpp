// The accurate integrator's anomaly rows: a scalar loop and an AVX2 form of
// the same arithmetic. Vector add, subtract, multiply, divide and square root
// round exactly like their scalar forms, and no fused multiply-add or
// reciprocal approximation is used, so both paths give the same bits.
#include "kernel/accurate/accurate_rows.h"

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
    term_moments(r, nl.cos_i[j], nl.sin_i[j], nl.sin2_i[j], nl.inv_k_a[j], nl.jacobian[j],
                 out.m[j]);
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
  const __m256d two = _mm256_set1_pd(2.0);
  const __m256d km = _mm256_set1_pd(kCmPerSToKmPerS);
  const __m256d vt_a = _mm256_set1_pd(r.vt_a);
  const __m256d vt_b = _mm256_set1_pd(r.vt_b);
  const __m256d b_slope = _mm256_set1_pd(r.b_slope);
  const __m256d c_w = _mm256_set1_pd(r.c_w);
  const __m256d row_jac = _mm256_set1_pd(r.jacobian);
  const __m256d v_esc2 = _mm256_set1_pd(r.v_esc2);
  const __m256d v_esc2_cm = _mm256_set1_pd(r.v_esc2_cm);
  const bool no_focusing = r.v_esc2 == 0.0;
  for (int o = 0; o < n; o += 4) {
    const __m256d cos_i = _mm256_load_pd(nl.cos_i + o);
    const __m256d sin_i = _mm256_load_pd(nl.sin_i + o);
    const __m256d sin2_i = _mm256_load_pd(nl.sin2_i + o);
    const __m256d delta_t = _mm256_sub_pd(vt_b, _mm256_mul_pd(cos_i, vt_a));
    const __m256d delta_n = _mm256_sub_pd(zero, _mm256_mul_pd(vt_a, sin_i));
    const __m256d xi_t = _mm256_mul_pd(delta_t, b_slope);
    const __m256d dt2 = _mm256_mul_pd(delta_t, delta_t);
    const __m256d dn2 = _mm256_mul_pd(delta_n, delta_n);
    const __m256d c_node = _mm256_mul_pd(c_w, _mm256_load_pd(nl.inv_k_a + o));
    __m256d m0 = zero, m1 = zero, m2 = zero, m3 = zero;
    for (int k = 0; k < 2; ++k) {
      const __m256d u2 = _mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(r.dr2[k]), dt2), dn2);
      const __m256d u = _mm256_sqrt_pd(u2);
      const __m256d u_km = _mm256_mul_pd(u, km);
      const __m256d adds = _mm256_cmp_pd(u_km, zero, _CMP_GT_OQ);  // u_km > 0
      const __m256d xi = _mm256_add_pd(_mm256_set1_pd(r.dru[k]), xi_t);
      const __m256d s2 = _mm256_add_pd(_mm256_add_pd(_mm256_set1_pd(r.tt[k]), sin2_i),
                                       _mm256_mul_pd(_mm256_set1_pd(r.m2ab[k]), cos_i));
      const __m256d w =
          _mm256_mul_pd(_mm256_mul_pd(c_node, _mm256_add_pd(u2, v_esc2_cm)),
                        _mm256_sqrt_pd(_mm256_div_pd(
                            s2, _mm256_mul_pd(u2, _mm256_sub_pd(u2, _mm256_mul_pd(xi, xi))))));
      const __m256d v_imp =
          no_focusing ? u_km : _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(u_km, u_km), v_esc2));
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
