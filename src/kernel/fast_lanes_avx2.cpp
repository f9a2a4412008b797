// The quadrature loop of the fast kernel on AVX2 registers: eight independent
// integrals as two registers of four lanes, interleaved, each lane with the
// reference's operations in the reference's order. Vector add, subtract,
// multiply, divide and square root round exactly like their scalar forms; no
// fused multiply-add and no reciprocal approximation is used.
#include <cfloat>

#include "kernel/fast_lanes.h"
#include "kernel/fast_ops.h"
#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace pairtrack::fast {

#if defined(PAIRTRACK_HAVE_AVX2_PATH)

bool avx2_compiled() { return true; }

namespace {

#define PAIRTRACK_AVX2 __attribute__((target("avx2"), always_inline)) inline

PAIRTRACK_AVX2 __m256d vdiv(__m256d a, __m256d b) {
  PAIRTRACK_COUNT(div4);
  return _mm256_div_pd(a, b);
}
PAIRTRACK_AVX2 __m256d vsqrt(__m256d x) {
  PAIRTRACK_COUNT(sqrt4);
  return _mm256_sqrt_pd(x);
}
PAIRTRACK_AVX2 __m256d vabs(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

// The table fill's vector parts (fast_fill.inc) on 256-bit registers.
#define PAIRTRACK_FILL_TARGET __attribute__((target("avx2")))
struct Ops {
  using V = __m256d;
  static constexpr int kWidth = 4;
  PAIRTRACK_AVX2 static V load(const double* p) { return _mm256_load_pd(p); }
  PAIRTRACK_AVX2 static void store(double* p, V v) { _mm256_store_pd(p, v); }
  PAIRTRACK_AVX2 static V set1(double x) { return _mm256_set1_pd(x); }
  PAIRTRACK_AVX2 static V add(V a, V b) { return _mm256_add_pd(a, b); }
  PAIRTRACK_AVX2 static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
  PAIRTRACK_AVX2 static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
  PAIRTRACK_AVX2 static V div(V a, V b) { return vdiv(a, b); }
  PAIRTRACK_AVX2 static V sqrt(V x) { return vsqrt(x); }
  PAIRTRACK_AVX2 static V abs(V x) { return vabs(x); }
  PAIRTRACK_AVX2 static V neg(V x) { return _mm256_xor_pd(x, _mm256_set1_pd(-0.0)); }
};
#include "kernel/fast_fill.inc"
#undef PAIRTRACK_FILL_TARGET

// The sign-free quantities of one anomaly node in one register.
struct Point {
  __m256d u1, u2, u_km1, u_km2;  // encounter speed, cm/s and km/s, of terms 1 and 2
  __m256d xi_t, ts, pp_a, h_a, h_b, w_theta;
};

PAIRTRACK_AVX2 Point point(const ThetaRow& r, int h, __m256d cos_i, __m256d sin_i,
                           __m256d sin2_i) {
  const int o = h * kHalfLanes;
  Point p;
  const __m256d vt_a = _mm256_load_pd(r.vt_a + o);
  const __m256d delta_t = _mm256_sub_pd(_mm256_load_pd(r.vt_b + o), _mm256_mul_pd(cos_i, vt_a));
  const __m256d delta_n = _mm256_sub_pd(_mm256_setzero_pd(), _mm256_mul_pd(vt_a, sin_i));
  p.xi_t = _mm256_mul_pd(delta_t, _mm256_load_pd(r.pb_db + o));
  const __m256d dt2 = _mm256_mul_pd(delta_t, delta_t);
  const __m256d dn2 = _mm256_mul_pd(delta_n, delta_n);
  p.ts = _mm256_add_pd(_mm256_load_pd(r.tt + o), sin2_i);
  p.pp_a = _mm256_load_pd(r.pp_a + o);
  p.h_a = _mm256_load_pd(r.h_a + o);
  p.h_b = _mm256_load_pd(r.h_b + o);
  p.w_theta = _mm256_load_pd(r.w_theta + o);
  const __m256d km = _mm256_set1_pd(kernel::kCmPerSToKmPerS);
  p.u1 = vsqrt(_mm256_add_pd(_mm256_add_pd(_mm256_load_pd(r.dr2_1 + o), dt2), dn2));
  p.u2 = vsqrt(_mm256_add_pd(_mm256_add_pd(_mm256_load_pd(r.dr2_2 + o), dt2), dn2));
  p.u_km1 = _mm256_mul_pd(vabs(p.u1), km);
  p.u_km2 = _mm256_mul_pd(vabs(p.u2), km);
  return p;
}

// Whether U_km^2 is a normal number in every lane (NaN fails).
PAIRTRACK_AVX2 bool normal_squares(__m256d u_km) {
  const __m256d sq = _mm256_mul_pd(u_km, u_km);
  const __m256d ok = _mm256_and_pd(_mm256_cmp_pd(sq, _mm256_set1_pd(DBL_MIN), _CMP_GE_OQ),
                                   _mm256_cmp_pd(sq, _mm256_set1_pd(DBL_MAX), _CMP_LE_OQ));
  return _mm256_movemask_pd(ok) == 0xF;
}

struct Term {
  __m256d w, wu, wuu, wv, adds;
};

// One sign pair's term (see integrate_scalar for the scalar form of the same
// arithmetic). kUnitFocus: v_esc^2 = 0 and U_km^2 normal in every lane.
template <bool kUnitFocus>
PAIRTRACK_AVX2 Term term(const Point& p, __m256d u, __m256d u_km, __m256d dru, __m256d m2ab,
                         __m256d cos_i, __m256d k_a, __m256d w_node, __m256d v_esc2) {
  const __m256d one = _mm256_set1_pd(1.0);
  Term t;
  // !(u_km <= 0): true for a NaN as well.
  t.adds = _mm256_cmp_pd(u_km, _mm256_setzero_pd(), _CMP_NLE_UQ);
  const __m256d xi = _mm256_add_pd(dru, p.xi_t);
  const __m256d root = vsqrt(_mm256_sub_pd(_mm256_mul_pd(u, u), _mm256_mul_pd(xi, xi)));
  const __m256d g_b = vdiv(_mm256_mul_pd(_mm256_set1_pd(2.0), vdiv(u, root)), p.h_b);
  const __m256d s = vsqrt(_mm256_add_pd(p.ts, _mm256_mul_pd(m2ab, cos_i)));
  const __m256d j_a =
      vdiv(one, vabs(vdiv(k_a, _mm256_mul_pd(_mm256_mul_pd(s, p.pp_a), p.pp_a))));
  __m256d f = _mm256_mul_pd(j_a, g_b);
  f = _mm256_mul_pd(f, _mm256_set1_pd(kernel::kPi));
  f = vdiv(f, p.h_a);
  f = _mm256_mul_pd(f, p.w_theta);
  f = _mm256_mul_pd(f, w_node);
  if constexpr (kUnitFocus) {
    t.w = f;  // 1 * f
    t.wv = _mm256_mul_pd(t.w, u_km);
  } else {
    const __m256d u_km_sq = _mm256_mul_pd(u_km, u_km);
    const __m256d focus = _mm256_add_pd(vdiv(v_esc2, u_km_sq), one);
    t.w = _mm256_mul_pd(focus, f);
    t.wv = _mm256_mul_pd(t.w, vsqrt(_mm256_add_pd(u_km_sq, v_esc2)));
  }
  t.wu = _mm256_mul_pd(t.w, u);
  t.wuu = _mm256_mul_pd(t.wu, u);
  return t;
}

struct Sums {
  __m256d p, v, v2, vimp;
};

PAIRTRACK_AVX2 void add(Sums& s, const Term& t) {
  // A lane whose relative speed is zero keeps its sums as they are.
  s.p = _mm256_blendv_pd(s.p, _mm256_add_pd(s.p, t.w), t.adds);
  s.v = _mm256_blendv_pd(s.v, _mm256_add_pd(s.v, t.wu), t.adds);
  s.v2 = _mm256_blendv_pd(s.v2, _mm256_add_pd(s.v2, t.wuu), t.adds);
  s.vimp = _mm256_blendv_pd(s.vimp, _mm256_add_pd(s.vimp, t.wv), t.adds);
}

// Every lane's speed is positive on the unit-focus path: plain adds.
PAIRTRACK_AVX2 void add_all(Sums& s, const Term& t) {
  s.p = _mm256_add_pd(s.p, t.w);
  s.v = _mm256_add_pd(s.v, t.wu);
  s.v2 = _mm256_add_pd(s.v2, t.wuu);
  s.vimp = _mm256_add_pd(s.vimp, t.wv);
}

// One anomaly node of one register: terms 1, 2, 2, 1 (signs (-,-), (-,+),
// (+,-), (+,+)).
template <bool kUnitFocus>
PAIRTRACK_AVX2 void node_terms(Sums& s, const Point& p, const ThetaRow& r, int h, __m256d cos_i,
                               __m256d k_a, __m256d w_node, __m256d v_esc2) {
  const int o = h * kHalfLanes;
  const Term t1 = term<kUnitFocus>(p, p.u1, p.u_km1, _mm256_load_pd(r.dru_1 + o),
                                   _mm256_load_pd(r.m2ab_1 + o), cos_i, k_a, w_node, v_esc2);
  const Term t2 = term<kUnitFocus>(p, p.u2, p.u_km2, _mm256_load_pd(r.dru_2 + o),
                                   _mm256_load_pd(r.m2ab_2 + o), cos_i, k_a, w_node, v_esc2);
  if constexpr (kUnitFocus) {
    add_all(s, t1);
    add_all(s, t2);
    add_all(s, t2);
    add_all(s, t1);
  } else {
    add(s, t1);
    add(s, t2);
    add(s, t2);
    add(s, t1);
  }
}

struct NodeRegs {
  __m256d cos_i, sin_i, sin2_i, k_a;
};

PAIRTRACK_AVX2 NodeRegs node_regs(const NodeRow& nr, int h) {
  const int o = h * kHalfLanes;
  return NodeRegs{_mm256_load_pd(nr.cos_i + o), _mm256_load_pd(nr.sin_i + o),
                  _mm256_load_pd(nr.sin2_i + o), _mm256_load_pd(nr.k_a + o)};
}

// kHalves registers (1 or 2) side by side.
template <int kHalves>
__attribute__((target("avx2"))) void integrate(const FastRules& rules, const LaneTables& t,
                                               double v_esc, LaneSums& sums, TableFill* next) {
  const double v_esc2_scalar = v_esc * v_esc;
  const bool zero_esc = v_esc2_scalar == 0.0;
  const __m256d v_esc2 = _mm256_set1_pd(v_esc2_scalar);
  Sums s[kHalves];
  for (Sums& h : s) h = Sums{_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(),
                             _mm256_setzero_pd()};
  const int n_cap = rules.n_cap();
  const int n_theta = rules.n_theta();
  for (int k = 0; k < n_cap; ++k) {
    NodeRegs n[kHalves];
    for (int h = 0; h < kHalves; ++h) n[h] = node_regs(t.nodes[k], h);
    const __m256d w_node = _mm256_set1_pd(rules.node_w()[k]);
    for (int m = 0; m < n_theta; ++m) {
      const ThetaRow& r = t.thetas[m];
      Point p[kHalves];
      bool unit = zero_esc;
      for (int h = 0; h < kHalves; ++h) {
        p[h] = point(r, h, n[h].cos_i, n[h].sin_i, n[h].sin2_i);
        unit = unit && normal_squares(p[h].u_km1) && normal_squares(p[h].u_km2);
      }
      if (unit) {
        for (int h = 0; h < kHalves; ++h) {
          node_terms<true>(s[h], p[h], r, h, n[h].cos_i, n[h].k_a, w_node, v_esc2);
        }
      } else {
        for (int h = 0; h < kHalves; ++h) {
          node_terms<false>(s[h], p[h], r, h, n[h].cos_i, n[h].k_a, w_node, v_esc2);
        }
      }
      if (next != nullptr) next->step();
    }
  }
  for (int h = 0; h < kHalves; ++h) {
    const int o = h * kHalfLanes;
    _mm256_storeu_pd(sums[0] + o, s[h].p);
    _mm256_storeu_pd(sums[1] + o, s[h].v);
    _mm256_storeu_pd(sums[2] + o, s[h].v2);
    _mm256_storeu_pd(sums[3] + o, s[h].vimp);
  }
}

}  // namespace

FillKernels fill_kernels_avx2() { return fill_kernels_for<Ops>(); }

void integrate_avx2(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                    LaneSums& sums, TableFill* next) {
  if (n_lanes > kHalfLanes) {
    integrate<2>(rules, t, v_esc, sums, next);
  } else {
    integrate<1>(rules, t, v_esc, sums, next);
  }
}

#else

bool avx2_compiled() { return false; }

FillKernels fill_kernels_avx2() { return fill_kernels_scalar(); }

void integrate_avx2(const FastRules&, const LaneTables&, int, double, LaneSums&, TableFill*) {}

#endif

}  // namespace pairtrack::fast
