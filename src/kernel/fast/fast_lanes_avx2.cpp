// The fast kernel on AVX2 registers: the table fill (fast_fill.inc) and the
// quadrature loop (fast_quadrature.inc) with a lane type of four doubles; the
// loop runs eight independent integrals as two registers, interleaved. Vector
// add, subtract, multiply, divide and square root round exactly like their
// scalar forms.
#include <bit>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <vector>

#include "kernel/fast/fast_lanes.h"
#include "kernel/fast/fast_ops.h"
#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_HAVE_AVX2_PATH 1
#include <immintrin.h>
#endif

namespace pairtrack::detail::fast {

#if defined(PAIRTRACK_HAVE_AVX2_PATH)

bool avx2_compiled() { return true; }

namespace {

#define PAIRTRACK_AVX2 __attribute__((target("avx2"), always_inline)) inline

// The table fill's and the quadrature's vector parts on 256-bit registers.
#define PAIRTRACK_FILL_TARGET __attribute__((target("avx2")))
#define PAIRTRACK_LANE_INLINE PAIRTRACK_AVX2
struct Ops {
  using V = __m256d;
  using Mask = __m256d;  // all bits set in the lanes that hold
  static constexpr int kWidth = 4;
  PAIRTRACK_AVX2 static V load(const double* p) { return _mm256_load_pd(p); }
  PAIRTRACK_AVX2 static void store(double* p, V v) { _mm256_store_pd(p, v); }
  PAIRTRACK_AVX2 static void storeu(double* p, V v) { _mm256_storeu_pd(p, v); }
  PAIRTRACK_AVX2 static V set1(double x) { return _mm256_set1_pd(x); }
  PAIRTRACK_AVX2 static V zero() { return _mm256_setzero_pd(); }
  PAIRTRACK_AVX2 static V add(V a, V b) { return _mm256_add_pd(a, b); }
  PAIRTRACK_AVX2 static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
  PAIRTRACK_AVX2 static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
  PAIRTRACK_AVX2 static V div(V a, V b) {
    PAIRTRACK_COUNT(div4);
    return _mm256_div_pd(a, b);
  }
  PAIRTRACK_AVX2 static V sqrt(V x) {
    PAIRTRACK_COUNT(sqrt4);
    return _mm256_sqrt_pd(x);
  }
  PAIRTRACK_AVX2 static V abs(V x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
  PAIRTRACK_AVX2 static V neg(V x) { return _mm256_xor_pd(x, _mm256_set1_pd(-0.0)); }
  PAIRTRACK_AVX2 static Mask adds_mask(V u) {
    return _mm256_cmp_pd(u, _mm256_setzero_pd(), _CMP_NLE_UQ);
  }
  PAIRTRACK_AVX2 static bool all_normal_squares(V u) {
    const V sq = _mm256_mul_pd(u, u);
    const V ok = _mm256_and_pd(_mm256_cmp_pd(sq, _mm256_set1_pd(DBL_MIN), _CMP_GE_OQ),
                               _mm256_cmp_pd(sq, _mm256_set1_pd(DBL_MAX), _CMP_LE_OQ));
    return _mm256_movemask_pd(ok) == 0xF;
  }
  PAIRTRACK_AVX2 static V masked_add(V s, Mask m, V x) {
    return _mm256_blendv_pd(s, _mm256_add_pd(s, x), m);
  }
  // For the speed bins.
  PAIRTRACK_AVX2 static V floor(V x) {
    return _mm256_round_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  }
  PAIRTRACK_AVX2 static V max(V a, V b) { return _mm256_max_pd(a, b); }
  PAIRTRACK_AVX2 static Mask lt(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  PAIRTRACK_AVX2 static bool any(Mask m) { return _mm256_movemask_pd(m) != 0; }
  PAIRTRACK_AVX2 static V select(Mask m, V a, V b) { return _mm256_blendv_pd(b, a, m); }
  // Bin indices: one int per lane (IMask: all bits set in the lanes that hold).
  using I = __m128i;
  using IMask = __m128i;
  // Truncated toward zero; INT_MIN where that is out of int range or NaN.
  PAIRTRACK_AVX2 static I trunc_int(V x) { return _mm256_cvttpd_epi32(x); }
  PAIRTRACK_AVX2 static I set1_int(int x) { return _mm_set1_epi32(x); }
  PAIRTRACK_AVX2 static I load_int(const int* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  PAIRTRACK_AVX2 static void store_int(int* p, I x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
  }
  PAIRTRACK_AVX2 static I add_int(I a, I b) { return _mm_add_epi32(a, b); }
  PAIRTRACK_AVX2 static I min_int(I a, I b) { return _mm_min_epi32(a, b); }
  PAIRTRACK_AVX2 static I max_int(I a, I b) { return _mm_max_epi32(a, b); }
  PAIRTRACK_AVX2 static I min_unsigned(I a, I b) { return _mm_min_epu32(a, b); }
  PAIRTRACK_AVX2 static I select_int(IMask m, I a, I b) { return _mm_blendv_epi8(b, a, m); }
  // The lanes of a double comparison's mask as an int mask.
  PAIRTRACK_AVX2 static IMask int_mask(Mask m) {
    const __m256 x = _mm256_castpd_ps(m);
    return _mm_castps_si128(_mm_shuffle_ps(_mm256_castps256_ps128(x), _mm256_extractf128_ps(x, 1),
                                           _MM_SHUFFLE(2, 0, 2, 0)));
  }
};
#include "kernel/fast/fast_fill.inc"
#include "kernel/fast/fast_quadrature.inc"
#undef PAIRTRACK_LANE_INLINE
#undef PAIRTRACK_FILL_TARGET

}  // namespace

FillKernels fill_kernels_avx2() { return fill_kernels_for<Ops>(); }

void integrate_avx2(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                    LaneSums& sums, TableFill* next) {
  if (n_lanes > kHalfLanes) {
    integrate_lanes<Ops, 2>(rules, t, v_esc, sums, next);
  } else {
    integrate_lanes<Ops, 1>(rules, t, v_esc, sums, next);
  }
}

void integrate_avx2_binned(const FastRules& rules, const LaneTables& t, int n_lanes, double v_esc,
                           LaneSums& sums, TableFill* next, const LaneBins& bins) {
  if (n_lanes > kHalfLanes) {
    integrate_lanes_binned<Ops, 2>(rules, t, v_esc, sums, next, bins);
  } else {
    integrate_lanes_binned<Ops, 1>(rules, t, v_esc, sums, next, bins);
  }
}

void bin_indices_avx2(const SpeedBinning& bins, const double* v, int n, int* out) {
  bin_indices<Ops>(bins, v, n, out);
}

#else

bool avx2_compiled() { return false; }

FillKernels fill_kernels_avx2() { return fill_kernels_scalar(); }

void integrate_avx2(const FastRules&, const LaneTables&, int, double, LaneSums&, TableFill*) {}
void integrate_avx2_binned(const FastRules&, const LaneTables&, int, double, LaneSums&, TableFill*,
                           const LaneBins&) {}

void bin_indices_avx2(const SpeedBinning&, const double*, int, int*) {}

#endif

}  // namespace pairtrack::detail::fast
