// The quadrature loop of the fast kernel on AVX2 registers: four independent
// integrals, one per lane, each with the reference's operations in the
// reference's order. Vector add, subtract, multiply, divide and square root
// round exactly like their scalar forms; no fused multiply-add is used.
#include "kernel/fast_lanes.h"
#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace pairtrack::fast {

#if defined(PAIRTRACK_HAVE_AVX2_PATH)

bool avx2_compiled() { return true; }

namespace {

// The four summands of one term and its add mask.
struct Term {
  __m256d w, wu, wuu, wv, adds;
};

__attribute__((target("avx2"))) inline __m256d vabs(__m256d x) {
  return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
}

// One sign pair's term in all four lanes (see integrate_scalar for the
// scalar form of the same arithmetic).
__attribute__((target("avx2"))) inline Term term(__m256d dr2, __m256d dru, __m256d m2ab,
                                                 __m256d dt2, __m256d dn2, __m256d xi_t,
                                                 __m256d ts, __m256d cos_i, __m256d k_a,
                                                 __m256d pp_a, __m256d h_a, __m256d h_b,
                                                 __m256d w_theta, __m256d w_node,
                                                 __m256d v_esc2) {
  const __m256d one = _mm256_set1_pd(1.0);
  Term t;
  const __m256d u = _mm256_sqrt_pd(_mm256_add_pd(_mm256_add_pd(dr2, dt2), dn2));
  const __m256d u_km = _mm256_mul_pd(vabs(u), _mm256_set1_pd(kernel::kCmPerSToKmPerS));
  // !(u_km <= 0): true for a NaN as well.
  t.adds = _mm256_cmp_pd(u_km, _mm256_setzero_pd(), _CMP_NLE_UQ);
  const __m256d focus = _mm256_add_pd(_mm256_div_pd(v_esc2, _mm256_mul_pd(u_km, u_km)), one);
  const __m256d xi = _mm256_add_pd(dru, xi_t);
  const __m256d root = _mm256_sqrt_pd(_mm256_sub_pd(_mm256_mul_pd(u, u), _mm256_mul_pd(xi, xi)));
  const __m256d g_b =
      _mm256_div_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), _mm256_div_pd(u, root)), h_b);
  const __m256d s = _mm256_sqrt_pd(_mm256_add_pd(ts, _mm256_mul_pd(m2ab, cos_i)));
  const __m256d j_a =
      _mm256_div_pd(one, vabs(_mm256_div_pd(k_a, _mm256_mul_pd(_mm256_mul_pd(s, pp_a), pp_a))));
  __m256d f = _mm256_mul_pd(j_a, g_b);
  f = _mm256_mul_pd(f, _mm256_set1_pd(kernel::kPi));
  f = _mm256_div_pd(f, h_a);
  f = _mm256_mul_pd(f, w_theta);
  f = _mm256_mul_pd(f, w_node);
  t.w = _mm256_mul_pd(focus, f);
  t.wu = _mm256_mul_pd(t.w, u);
  t.wuu = _mm256_mul_pd(t.wu, u);
  t.wv = _mm256_mul_pd(t.w, _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(u_km, u_km), v_esc2)));
  return t;
}

struct Sums {
  __m256d p, v, v2, vimp;
};

__attribute__((target("avx2"))) inline void add(Sums& s, const Term& t) {
  // A lane whose relative speed is zero keeps its sums as they are.
  s.p = _mm256_blendv_pd(s.p, _mm256_add_pd(s.p, t.w), t.adds);
  s.v = _mm256_blendv_pd(s.v, _mm256_add_pd(s.v, t.wu), t.adds);
  s.v2 = _mm256_blendv_pd(s.v2, _mm256_add_pd(s.v2, t.wuu), t.adds);
  s.vimp = _mm256_blendv_pd(s.vimp, _mm256_add_pd(s.vimp, t.wv), t.adds);
}

}  // namespace

__attribute__((target("avx2"))) void integrate_avx2(const FastRules& rules, const LaneTables& t,
                                                     double v_esc, LaneSums& sums) {
  const __m256d v_esc2 = _mm256_set1_pd(v_esc * v_esc);
  Sums s{_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
  const int n_cap = rules.n_cap();
  const int n_theta = rules.n_theta();
  for (int k = 0; k < n_cap; ++k) {
    const NodeRow& nr = t.nodes[k];
    const __m256d cos_i = _mm256_load_pd(nr.cos_i);
    const __m256d sin_i = _mm256_load_pd(nr.sin_i);
    const __m256d sin2_i = _mm256_load_pd(nr.sin2_i);
    const __m256d k_a = _mm256_load_pd(nr.k_a);
    const __m256d w_node = _mm256_set1_pd(rules.node_w()[k]);
    for (int m = 0; m < n_theta; ++m) {
      const ThetaRow& r = t.thetas[m];
      const __m256d vt_a = _mm256_load_pd(r.vt_a);
      const __m256d delta_t = _mm256_sub_pd(_mm256_load_pd(r.vt_b), _mm256_mul_pd(cos_i, vt_a));
      const __m256d delta_n = _mm256_sub_pd(_mm256_setzero_pd(), _mm256_mul_pd(vt_a, sin_i));
      const __m256d xi_t = _mm256_mul_pd(delta_t, _mm256_load_pd(r.pb_db));
      const __m256d dt2 = _mm256_mul_pd(delta_t, delta_t);
      const __m256d dn2 = _mm256_mul_pd(delta_n, delta_n);
      const __m256d ts = _mm256_add_pd(_mm256_load_pd(r.tt), sin2_i);
      const __m256d pp_a = _mm256_load_pd(r.pp_a);
      const __m256d h_a = _mm256_load_pd(r.h_a);
      const __m256d h_b = _mm256_load_pd(r.h_b);
      const __m256d w_theta = _mm256_load_pd(r.w_theta);
      const Term t1 = term(_mm256_load_pd(r.dr2_1), _mm256_load_pd(r.dru_1),
                           _mm256_load_pd(r.m2ab_1), dt2, dn2, xi_t, ts, cos_i, k_a, pp_a, h_a,
                           h_b, w_theta, w_node, v_esc2);
      const Term t2 = term(_mm256_load_pd(r.dr2_2), _mm256_load_pd(r.dru_2),
                           _mm256_load_pd(r.m2ab_2), dt2, dn2, xi_t, ts, cos_i, k_a, pp_a, h_a,
                           h_b, w_theta, w_node, v_esc2);
      // Signs (-,-), (-,+), (+,-), (+,+): terms 1, 2, 2, 1.
      add(s, t1);
      add(s, t2);
      add(s, t2);
      add(s, t1);
    }
  }
  _mm256_storeu_pd(sums[0], s.p);
  _mm256_storeu_pd(sums[1], s.v);
  _mm256_storeu_pd(sums[2], s.v2);
  _mm256_storeu_pd(sums[3], s.vimp);
}

#else

bool avx2_compiled() { return false; }

void integrate_avx2(const FastRules&, const LaneTables&, double, LaneSums&) {}

#endif

}  // namespace pairtrack::fast
