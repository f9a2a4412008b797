// Bin sums on vector registers: every bin's operations are independent of its neighbours', so
// four (or two) bins go through one instruction each, unchanged.
#include "engine/bin_sums.h"

#include <cstring>

namespace pairtrack::detail {

namespace {

// One bin at a time, from i on.
inline void take_from(double* sum, double* terms, int term_stride, int i, int n) {
  for (; i < n; ++i) {
    sum[i] = sum[i] + (terms[i] + terms[term_stride + i]);
    terms[i] = 0.0;
    terms[term_stride + i] = 0.0;
  }
}

inline void add_from(double* hi, double* lo, const double* x, int i, int n) {
  for (; i < n; ++i) {
    const double sum = hi[i] + x[i];
    const double back = sum - hi[i];
    lo[i] = lo[i] + ((hi[i] - (sum - back)) + (x[i] - back));
    hi[i] = sum;
  }
}

// Vectors V of bins at a time, then the rest one at a time: the same operations on each bin.
template <class V>
__attribute__((always_inline)) inline void take_lanes(double* sum, double* terms, int term_stride,
                                                      int n) {
  constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(double));
  const V zero = {};
  int i = 0;
  for (; i + kWidth <= n; i += kWidth) {
    V s, t1, t2;
    std::memcpy(&s, sum + i, sizeof s);
    std::memcpy(&t1, terms + i, sizeof t1);
    std::memcpy(&t2, terms + term_stride + i, sizeof t2);
    s = s + (t1 + t2);
    std::memcpy(sum + i, &s, sizeof s);
    std::memcpy(terms + i, &zero, sizeof zero);
    std::memcpy(terms + term_stride + i, &zero, sizeof zero);
  }
  take_from(sum, terms, term_stride, i, n);
}

template <class V>
__attribute__((always_inline)) inline void add_lanes(double* hi, double* lo, const double* x,
                                                     int n) {
  constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(double));
  int i = 0;
  for (; i + kWidth <= n; i += kWidth) {
    V h, l, v;
    std::memcpy(&h, hi + i, sizeof h);
    std::memcpy(&l, lo + i, sizeof l);
    std::memcpy(&v, x + i, sizeof v);
    const V sum = h + v;
    const V back = sum - h;
    l = l + ((h - (sum - back)) + (v - back));
    std::memcpy(hi + i, &sum, sizeof sum);
    std::memcpy(lo + i, &l, sizeof l);
  }
  add_from(hi, lo, x, i, n);
}

using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));

void take_v2(double* sum, double* terms, int term_stride, int n) {
  take_lanes<V2>(sum, terms, term_stride, n);
}
void add_v2(double* hi, double* lo, const double* x, int n) { add_lanes<V2>(hi, lo, x, n); }

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) void take_v4(double* sum, double* terms, int term_stride, int n) {
  take_lanes<V4>(sum, terms, term_stride, n);
}
__attribute__((target("avx2"))) void add_v4(double* hi, double* lo, const double* x, int n) {
  add_lanes<V4>(hi, lo, x, n);
}
bool have_avx2() { return __builtin_cpu_supports("avx2"); }
#else
void take_v4(double* sum, double* terms, int term_stride, int n) {
  take_v2(sum, terms, term_stride, n);
}
void add_v4(double* hi, double* lo, const double* x, int n) { add_v2(hi, lo, x, n); }
bool have_avx2() { return false; }
#endif

bool use_avx2() {
  static const bool avx2 = have_avx2();
  return avx2;
}

}  // namespace

void take_term_sums(double* sum, double* terms, int term_stride, int n) {
  bin_sums::take_term_sums_vector(sum, terms, term_stride, n);
}

void compensated_add(double* hi, double* lo, const double* x, int n) {
  bin_sums::compensated_add_vector(hi, lo, x, n);
}

namespace bin_sums {
void take_term_sums_vector(double* sum, double* terms, int term_stride, int n) {
  (use_avx2() ? take_v4 : take_v2)(sum, terms, term_stride, n);
}
void take_term_sums_scalar(double* sum, double* terms, int term_stride, int n) {
  take_from(sum, terms, term_stride, 0, n);
}
void compensated_add_vector(double* hi, double* lo, const double* x, int n) {
  (use_avx2() ? add_v4 : add_v2)(hi, lo, x, n);
}
void compensated_add_scalar(double* hi, double* lo, const double* x, int n) {
  add_from(hi, lo, x, 0, n);
}
}  // namespace bin_sums

}  // namespace pairtrack::detail
