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
    for (int k = 0; k < 4; ++k) out.m[k][j] = 2.0 * m[k] * jac;
  }
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
      // Without focusing the factor 0 / U_km^2 + 1 is exactly 1 wherever
      // U_km^2 is positive (not 0, not NaN), and 1 * f is f.
      __m256d w;
      if (no_focusing && _mm256_movemask_pd(_mm256_cmp_pd(u_km2, zero, _CMP_GT_OQ)) == 0xF) {
        w = f;
      } else {
        w = _mm256_mul_pd(_mm256_add_pd(_mm256_div_pd(v_esc2, u_km2), one), f);
      }
      const __m256d wu = _mm256_mul_pd(w, u);
      m0 = _mm256_blendv_pd(m0, _mm256_add_pd(m0, w), adds);
      m1 = _mm256_blendv_pd(m1, _mm256_add_pd(m1, wu), adds);
      m2 = _mm256_blendv_pd(m2, _mm256_add_pd(m2, _mm256_mul_pd(wu, u)), adds);
      const __m256d v_imp = _mm256_sqrt_pd(_mm256_add_pd(u_km2, v_esc2));
      m3 = _mm256_blendv_pd(m3, _mm256_add_pd(m3, _mm256_mul_pd(w, v_imp)), adds);
    }
    const __m256d jac = _mm256_mul_pd(_mm256_load_pd(nl.jacobian + o), row_jac);
    _mm256_store_pd(out.m[0] + o, _mm256_mul_pd(_mm256_mul_pd(two, m0), jac));
    _mm256_store_pd(out.m[1] + o, _mm256_mul_pd(_mm256_mul_pd(two, m1), jac));
    _mm256_store_pd(out.m[2] + o, _mm256_mul_pd(_mm256_mul_pd(two, m2), jac));
    _mm256_store_pd(out.m[3] + o, _mm256_mul_pd(_mm256_mul_pd(two, m3), jac));
  }
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

}  // namespace pairtrack::detail::kernel::accurate
