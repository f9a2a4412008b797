// The quadrature loop of the fast kernel on one AVX-512 register: eight
// independent integrals, one per lane, each with the reference's operations
// in the reference's order. On processors whose divider handles 512-bit
// registers at the rate of 256-bit ones this halves the divider time per
// integral. No fused multiply-add and no reciprocal approximation is used.
#include <cfloat>
#include <cstdint>

#include "kernel/fast_lanes.h"
#include "kernel/fast_ops.h"
#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_HAVE_AVX512_PATH 1
#include <immintrin.h>
#endif

namespace pairtrack::fast {

#if defined(PAIRTRACK_HAVE_AVX512_PATH)

bool avx512_compiled() { return true; }

namespace {

#define PAIRTRACK_AVX512 __attribute__((target("avx512f"), always_inline)) inline

PAIRTRACK_AVX512 __m512d vdiv(__m512d a, __m512d b) {
  PAIRTRACK_COUNT(div8);
  return _mm512_div_pd(a, b);
}
PAIRTRACK_AVX512 __m512d vsqrt(__m512d x) {
  PAIRTRACK_COUNT(sqrt8);
  return _mm512_maskz_sqrt_pd(0xFF, x);  // all lanes; this form has no undefined source
}

// The table fill's vector parts (fast_fill.inc) on one 512-bit register.
#define PAIRTRACK_FILL_TARGET __attribute__((target("avx512f")))
struct Ops {
  using V = __m512d;
  static constexpr int kWidth = 8;
  PAIRTRACK_AVX512 static V load(const double* p) { return _mm512_load_pd(p); }
  PAIRTRACK_AVX512 static void store(double* p, V v) { _mm512_store_pd(p, v); }
  PAIRTRACK_AVX512 static V set1(double x) { return _mm512_set1_pd(x); }
  PAIRTRACK_AVX512 static V add(V a, V b) { return _mm512_add_pd(a, b); }
  PAIRTRACK_AVX512 static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
  PAIRTRACK_AVX512 static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
  PAIRTRACK_AVX512 static V div(V a, V b) { return vdiv(a, b); }
  PAIRTRACK_AVX512 static V sqrt(V x) { return vsqrt(x); }
  PAIRTRACK_AVX512 static V abs(V x) { return _mm512_abs_pd(x); }
  PAIRTRACK_AVX512 static V neg(V x) {
    return _mm512_castsi512_pd(
        _mm512_xor_si512(_mm512_castpd_si512(x), _mm512_set1_epi64(INT64_MIN)));
  }
};
#include "kernel/fast_fill.inc"
#undef PAIRTRACK_FILL_TARGET

struct Point {
  __m512d u1, u2, u_km1, u_km2;  // encounter speed, cm/s and km/s, of terms 1 and 2
  __m512d xi_t, ts, pp_a, h_a, h_b, w_theta;
};

PAIRTRACK_AVX512 Point point(const ThetaRow& r, __m512d cos_i, __m512d sin_i, __m512d sin2_i) {
  Point p;
  const __m512d vt_a = _mm512_load_pd(r.vt_a);
  const __m512d delta_t = _mm512_sub_pd(_mm512_load_pd(r.vt_b), _mm512_mul_pd(cos_i, vt_a));
  const __m512d delta_n = _mm512_sub_pd(_mm512_setzero_pd(), _mm512_mul_pd(vt_a, sin_i));
  p.xi_t = _mm512_mul_pd(delta_t, _mm512_load_pd(r.pb_db));
  const __m512d dt2 = _mm512_mul_pd(delta_t, delta_t);
  const __m512d dn2 = _mm512_mul_pd(delta_n, delta_n);
  p.ts = _mm512_add_pd(_mm512_load_pd(r.tt), sin2_i);
  p.pp_a = _mm512_load_pd(r.pp_a);
  p.h_a = _mm512_load_pd(r.h_a);
  p.h_b = _mm512_load_pd(r.h_b);
  p.w_theta = _mm512_load_pd(r.w_theta);
  const __m512d km = _mm512_set1_pd(kernel::kCmPerSToKmPerS);
  p.u1 = vsqrt(_mm512_add_pd(_mm512_add_pd(_mm512_load_pd(r.dr2_1), dt2), dn2));
  p.u2 = vsqrt(_mm512_add_pd(_mm512_add_pd(_mm512_load_pd(r.dr2_2), dt2), dn2));
  p.u_km1 = _mm512_mul_pd(_mm512_abs_pd(p.u1), km);
  p.u_km2 = _mm512_mul_pd(_mm512_abs_pd(p.u2), km);
  return p;
}

// Lanes whose U_km^2 is a normal number (NaN fails).
PAIRTRACK_AVX512 __mmask8 normal_squares(__m512d u_km) {
  const __m512d sq = _mm512_mul_pd(u_km, u_km);
  return _mm512_cmp_pd_mask(sq, _mm512_set1_pd(DBL_MIN), _CMP_GE_OQ) &
         _mm512_cmp_pd_mask(sq, _mm512_set1_pd(DBL_MAX), _CMP_LE_OQ);
}

struct Term {
  __m512d w, wu, wuu, wv;
  __mmask8 adds;
};

// One sign pair's term (see integrate_scalar for the scalar form of the same
// arithmetic). kUnitFocus: v_esc^2 = 0 and U_km^2 normal in every lane.
template <bool kUnitFocus>
PAIRTRACK_AVX512 Term term(const Point& p, __m512d u, __m512d u_km, __m512d dru, __m512d m2ab,
                           __m512d cos_i, __m512d k_a, __m512d w_node, __m512d v_esc2) {
  const __m512d one = _mm512_set1_pd(1.0);
  Term t;
  // !(u_km <= 0): true for a NaN as well.
  t.adds = _mm512_cmp_pd_mask(u_km, _mm512_setzero_pd(), _CMP_NLE_UQ);
  const __m512d xi = _mm512_add_pd(dru, p.xi_t);
  const __m512d root = vsqrt(_mm512_sub_pd(_mm512_mul_pd(u, u), _mm512_mul_pd(xi, xi)));
  const __m512d g_b = vdiv(_mm512_mul_pd(_mm512_set1_pd(2.0), vdiv(u, root)), p.h_b);
  const __m512d s = vsqrt(_mm512_add_pd(p.ts, _mm512_mul_pd(m2ab, cos_i)));
  const __m512d j_a =
      vdiv(one, _mm512_abs_pd(vdiv(k_a, _mm512_mul_pd(_mm512_mul_pd(s, p.pp_a), p.pp_a))));
  __m512d f = _mm512_mul_pd(j_a, g_b);
  f = _mm512_mul_pd(f, _mm512_set1_pd(kernel::kPi));
  f = vdiv(f, p.h_a);
  f = _mm512_mul_pd(f, p.w_theta);
  f = _mm512_mul_pd(f, w_node);
  if constexpr (kUnitFocus) {
    t.w = f;  // 1 * f
    t.wv = _mm512_mul_pd(t.w, u_km);
  } else {
    const __m512d u_km_sq = _mm512_mul_pd(u_km, u_km);
    const __m512d focus = _mm512_add_pd(vdiv(v_esc2, u_km_sq), one);
    t.w = _mm512_mul_pd(focus, f);
    t.wv = _mm512_mul_pd(t.w, vsqrt(_mm512_add_pd(u_km_sq, v_esc2)));
  }
  t.wu = _mm512_mul_pd(t.w, u);
  t.wuu = _mm512_mul_pd(t.wu, u);
  return t;
}

struct Sums {
  __m512d p, v, v2, vimp;
};

// A lane whose relative speed is zero keeps its sums as they are (on the
// unit-focus path every lane adds).
PAIRTRACK_AVX512 void add(Sums& s, const Term& t) {
  s.p = _mm512_mask_add_pd(s.p, t.adds, s.p, t.w);
  s.v = _mm512_mask_add_pd(s.v, t.adds, s.v, t.wu);
  s.v2 = _mm512_mask_add_pd(s.v2, t.adds, s.v2, t.wuu);
  s.vimp = _mm512_mask_add_pd(s.vimp, t.adds, s.vimp, t.wv);
}

template <bool kUnitFocus>
PAIRTRACK_AVX512 void node_terms(Sums& s, const Point& p, const ThetaRow& r, __m512d cos_i,
                                 __m512d k_a, __m512d w_node, __m512d v_esc2) {
  const Term t1 = term<kUnitFocus>(p, p.u1, p.u_km1, _mm512_load_pd(r.dru_1),
                                   _mm512_load_pd(r.m2ab_1), cos_i, k_a, w_node, v_esc2);
  const Term t2 = term<kUnitFocus>(p, p.u2, p.u_km2, _mm512_load_pd(r.dru_2),
                                   _mm512_load_pd(r.m2ab_2), cos_i, k_a, w_node, v_esc2);
  // Signs (-,-), (-,+), (+,-), (+,+): terms 1, 2, 2, 1.
  add(s, t1);
  add(s, t2);
  add(s, t2);
  add(s, t1);
}

}  // namespace

FillKernels fill_kernels_avx512() { return fill_kernels_for<Ops>(); }

__attribute__((target("avx512f"))) void integrate_avx512(const FastRules& rules,
                                                         const LaneTables& t, double v_esc,
                                                         LaneSums& sums, TableFill* next) {
  const double v_esc2_scalar = v_esc * v_esc;
  const bool zero_esc = v_esc2_scalar == 0.0;
  const __m512d v_esc2 = _mm512_set1_pd(v_esc2_scalar);
  Sums s{_mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd(), _mm512_setzero_pd()};
  const int n_cap = rules.n_cap();
  const int n_theta = rules.n_theta();
  for (int k = 0; k < n_cap; ++k) {
    const NodeRow& nr = t.nodes[k];
    const __m512d cos_i = _mm512_load_pd(nr.cos_i);
    const __m512d sin_i = _mm512_load_pd(nr.sin_i);
    const __m512d sin2_i = _mm512_load_pd(nr.sin2_i);
    const __m512d k_a = _mm512_load_pd(nr.k_a);
    const __m512d w_node = _mm512_set1_pd(rules.node_w()[k]);
    for (int m = 0; m < n_theta; ++m) {
      const ThetaRow& r = t.thetas[m];
      const Point p = point(r, cos_i, sin_i, sin2_i);
      if (zero_esc && (normal_squares(p.u_km1) & normal_squares(p.u_km2)) == 0xFF) {
        node_terms<true>(s, p, r, cos_i, k_a, w_node, v_esc2);
      } else {
        node_terms<false>(s, p, r, cos_i, k_a, w_node, v_esc2);
      }
      if (next != nullptr) next->step();
    }
  }
  _mm512_storeu_pd(sums[0], s.p);
  _mm512_storeu_pd(sums[1], s.v);
  _mm512_storeu_pd(sums[2], s.v2);
  _mm512_storeu_pd(sums[3], s.vimp);
}

#else

bool avx512_compiled() { return false; }

FillKernels fill_kernels_avx512() { return fill_kernels_scalar(); }

void integrate_avx512(const FastRules&, const LaneTables&, double, LaneSums&, TableFill*) {}

#endif

}  // namespace pairtrack::fast
