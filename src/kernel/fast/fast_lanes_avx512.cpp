// The fast kernel on AVX-512 registers: the table fill (fast_fill.inc) and the
// quadrature loop (fast_quadrature.inc) with a lane type of eight doubles, one
// integral per lane. On processors whose divider handles 512-bit registers at
// the rate of 256-bit ones this halves the divider time per integral.
#include <bit>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <vector>

#include "kernel/fast/fast_lanes.h"
#include "kernel/fast/fast_ops.h"
#include "kernel/kernel_constants.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PAIRTRACK_HAVE_AVX512_PATH 1
#include <immintrin.h>
#endif

namespace pairtrack::detail::fast {

#if defined(PAIRTRACK_HAVE_AVX512_PATH)

bool avx512_compiled() { return true; }

namespace {

#define PAIRTRACK_AVX512 __attribute__((target("avx512f"), always_inline)) inline

// The table fill's and the quadrature's vector parts on one 512-bit register.
#define PAIRTRACK_FILL_TARGET __attribute__((target("avx512f")))
#define PAIRTRACK_LANE_INLINE PAIRTRACK_AVX512
struct Ops {
  using V = __m512d;
  using Mask = __mmask8;
  static constexpr int kWidth = 8;
  PAIRTRACK_AVX512 static V load(const double* p) { return _mm512_load_pd(p); }
  PAIRTRACK_AVX512 static void store(double* p, V v) { _mm512_store_pd(p, v); }
  PAIRTRACK_AVX512 static void storeu(double* p, V v) { _mm512_storeu_pd(p, v); }
  PAIRTRACK_AVX512 static V set1(double x) { return _mm512_set1_pd(x); }
  PAIRTRACK_AVX512 static V zero() { return _mm512_setzero_pd(); }
  PAIRTRACK_AVX512 static V add(V a, V b) { return _mm512_add_pd(a, b); }
  PAIRTRACK_AVX512 static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
  PAIRTRACK_AVX512 static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
  PAIRTRACK_AVX512 static V div(V a, V b) {
    PAIRTRACK_COUNT(div8);
    return _mm512_div_pd(a, b);
  }
  PAIRTRACK_AVX512 static V sqrt(V x) {
    PAIRTRACK_COUNT(sqrt8);
    return _mm512_maskz_sqrt_pd(0xFF, x);  // all lanes; this form has no undefined source
  }
  PAIRTRACK_AVX512 static V abs(V x) { return _mm512_abs_pd(x); }
  PAIRTRACK_AVX512 static V neg(V x) {
    return _mm512_castsi512_pd(
        _mm512_xor_si512(_mm512_castpd_si512(x), _mm512_set1_epi64(INT64_MIN)));
  }
  PAIRTRACK_AVX512 static Mask adds_mask(V u) {
    return _mm512_cmp_pd_mask(u, _mm512_setzero_pd(), _CMP_NLE_UQ);
  }
  PAIRTRACK_AVX512 static bool all_normal_squares(V u) {
    const V sq = _mm512_mul_pd(u, u);
    return (_mm512_cmp_pd_mask(sq, _mm512_set1_pd(DBL_MIN), _CMP_GE_OQ) &
            _mm512_cmp_pd_mask(sq, _mm512_set1_pd(DBL_MAX), _CMP_LE_OQ)) == 0xFF;
  }
  PAIRTRACK_AVX512 static V masked_add(V s, Mask m, V x) { return _mm512_mask_add_pd(s, m, s, x); }
  // For the speed bins.
  PAIRTRACK_AVX512 static V floor(V x) {
    // The masked forms name every input (the plain ones leave GCC 12 warning about an
    // undefined source register).
    return _mm512_mask_roundscale_pd(x, 0xFF, x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
  }
  PAIRTRACK_AVX512 static V max(V a, V b) { return _mm512_mask_max_pd(a, 0xFF, a, b); }
  PAIRTRACK_AVX512 static Mask lt(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  PAIRTRACK_AVX512 static bool any(Mask m) { return m != 0; }
  PAIRTRACK_AVX512 static V select(Mask m, V a, V b) { return _mm512_mask_blend_pd(m, b, a); }
  // Bin indices: one int per lane (IMask: all bits set in the lanes that hold).
  using I = __m256i;
  using IMask = __m256i;
  // Truncated toward zero; INT_MIN where that is out of int range or NaN.
  PAIRTRACK_AVX512 static I trunc_int(V x) { return _mm512_maskz_cvttpd_epi32(0xFF, x); }
  PAIRTRACK_AVX512 static I set1_int(int x) { return _mm256_set1_epi32(x); }
  PAIRTRACK_AVX512 static I load_int(const int* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  PAIRTRACK_AVX512 static void store_int(int* p, I x) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x);
  }
  PAIRTRACK_AVX512 static I add_int(I a, I b) { return _mm256_add_epi32(a, b); }
  PAIRTRACK_AVX512 static I min_int(I a, I b) { return _mm256_min_epi32(a, b); }
  PAIRTRACK_AVX512 static I max_int(I a, I b) { return _mm256_max_epi32(a, b); }
  PAIRTRACK_AVX512 static I min_unsigned(I a, I b) { return _mm256_min_epu32(a, b); }
  PAIRTRACK_AVX512 static I select_int(IMask m, I a, I b) { return _mm256_blendv_epi8(b, a, m); }
  // The lanes of a double comparison's mask as an int mask.
  PAIRTRACK_AVX512 static IMask int_mask(Mask m) {
    return _mm512_maskz_cvtepi64_epi32(0xFF, _mm512_maskz_mov_epi64(m, _mm512_set1_epi64(-1)));
  }
};
#include "kernel/fast/fast_fill.inc"
#include "kernel/fast/fast_quadrature.inc"
#undef PAIRTRACK_LANE_INLINE
#undef PAIRTRACK_FILL_TARGET

}  // namespace

FillKernels fill_kernels_avx512() { return fill_kernels_for<Ops>(); }

void integrate_avx512(const FastRules& rules, const LaneTables& t, double v_esc, LaneSums& sums,
                      TableFill* next) {
  integrate_lanes<Ops, 1>(rules, t, v_esc, sums, next);
}

void integrate_avx512_binned(const FastRules& rules, const LaneTables& t, double v_esc,
                             LaneSums& sums, TableFill* next, const LaneBins& bins) {
  integrate_lanes_binned<Ops, 1>(rules, t, v_esc, sums, next, bins);
}

void bin_indices_avx512(const SpeedBinning& bins, const double* v, int n, int* out) {
  bin_indices<Ops>(bins, v, n, out);
}

#else

bool avx512_compiled() { return false; }

FillKernels fill_kernels_avx512() { return fill_kernels_scalar(); }

void integrate_avx512(const FastRules&, const LaneTables&, double, LaneSums&, TableFill*) {}
void integrate_avx512_binned(const FastRules&, const LaneTables&, double, LaneSums&, TableFill*,
                             const LaneBins&) {}

void bin_indices_avx512(const SpeedBinning&, const double*, int, int*) {}

#endif

}  // namespace pairtrack::detail::fast
