// Compensated bin sums, on vector registers: every bin's operations are independent of its
// neighbours', so four (or two) bins go through one instruction each, unchanged.
#include "engine/compensated_bins.h"

#include <cstring>

namespace pairtrack::detail {

namespace {

// Where bin i's value comes from: x[i]; x[i] with the carried error x_lo[i]; or the sum of two
// partial sums x[i] + x[term_stride + i], both then set to zero.
enum class Source { kPlain, kCarried, kTerms };

struct Inputs {
  const double* x;
  const double* x_lo;
  double* terms;
  int term_stride;
};

// Bins i .. n - 1 one at a time, from i on.
template <Source kSource>
inline void add_from(double* hi, double* lo, Inputs in, int i, int n) {
  for (; i < n; ++i) {
    double v;
    if constexpr (kSource == Source::kTerms) {
      v = in.terms[i] + in.terms[in.term_stride + i];
      in.terms[i] = 0.0;
      in.terms[in.term_stride + i] = 0.0;
    } else {
      v = in.x[i];
    }
    const double sum = hi[i] + v;
    const double back = sum - hi[i];
    double l = lo[i] + ((hi[i] - (sum - back)) + (v - back));
    // Without carried errors nothing more is added: adding +0 would change nothing, as lo is
    // never -0 (it starts at +0, and a sum is -0 only when both its terms are).
    if constexpr (kSource == Source::kCarried) l = l + in.x_lo[i];
    lo[i] = l;
    hi[i] = sum;
  }
}

// Vectors V of bins at a time, then the rest one at a time: the same operations on each bin.
template <class V, Source kSource>
__attribute__((always_inline)) inline void add_lanes(double* hi, double* lo, Inputs in, int n) {
  constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(double));
  int i = 0;
  for (; i + kWidth <= n; i += kWidth) {
    V h, l, v;
    std::memcpy(&h, hi + i, sizeof h);
    std::memcpy(&l, lo + i, sizeof l);
    if constexpr (kSource == Source::kTerms) {
      V v2;
      std::memcpy(&v, in.terms + i, sizeof v);
      std::memcpy(&v2, in.terms + in.term_stride + i, sizeof v2);
      v = v + v2;
      const V zero = {};
      std::memcpy(in.terms + i, &zero, sizeof zero);
      std::memcpy(in.terms + in.term_stride + i, &zero, sizeof zero);
    } else {
      std::memcpy(&v, in.x + i, sizeof v);
    }
    const V sum = h + v;
    const V back = sum - h;
    l = l + ((h - (sum - back)) + (v - back));
    if constexpr (kSource == Source::kCarried) {
      V e;
      std::memcpy(&e, in.x_lo + i, sizeof e);
      l = l + e;
    }
    std::memcpy(hi + i, &sum, sizeof sum);
    std::memcpy(lo + i, &l, sizeof l);
  }
  add_from<kSource>(hi, lo, in, i, n);
}

using V2 = double __attribute__((vector_size(16)));
using V4 = double __attribute__((vector_size(32)));

template <class V>
__attribute__((always_inline)) inline void add_any(double* hi, double* lo, Inputs in, Source source,
                                                   int n) {
  switch (source) {
    case Source::kPlain: add_lanes<V, Source::kPlain>(hi, lo, in, n); break;
    case Source::kCarried: add_lanes<V, Source::kCarried>(hi, lo, in, n); break;
    case Source::kTerms: add_lanes<V, Source::kTerms>(hi, lo, in, n); break;
  }
}

void add_v2(double* hi, double* lo, Inputs in, Source source, int n) {
  add_any<V2>(hi, lo, in, source, n);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) void add_v4(double* hi, double* lo, Inputs in, Source source,
                                            int n) {
  add_any<V4>(hi, lo, in, source, n);
}
bool have_avx2() { return __builtin_cpu_supports("avx2"); }
#else
void add_v4(double* hi, double* lo, Inputs in, Source source, int n) {
  add_v2(hi, lo, in, source, n);
}
bool have_avx2() { return false; }
#endif

void add_widest(double* hi, double* lo, Inputs in, Source source, int n) {
  static const bool avx2 = have_avx2();
  if (avx2) {
    add_v4(hi, lo, in, source, n);
  } else {
    add_v2(hi, lo, in, source, n);
  }
}

void add_one_at_a_time(double* hi, double* lo, Inputs in, Source source, int n) {
  switch (source) {
    case Source::kPlain: add_from<Source::kPlain>(hi, lo, in, 0, n); break;
    case Source::kCarried: add_from<Source::kCarried>(hi, lo, in, 0, n); break;
    case Source::kTerms: add_from<Source::kTerms>(hi, lo, in, 0, n); break;
  }
}

Source source_of(const double* x_lo) { return x_lo != nullptr ? Source::kCarried : Source::kPlain; }

}  // namespace

void compensated_add(double* hi, double* lo, const double* x, const double* x_lo, int n) {
  compensated::add_vector(hi, lo, x, x_lo, n);
}

void compensated_take_terms(double* hi, double* lo, double* terms, int term_stride, int n) {
  compensated::take_terms_vector(hi, lo, terms, term_stride, n);
}

namespace compensated {
void add_vector(double* hi, double* lo, const double* x, const double* x_lo, int n) {
  add_widest(hi, lo, Inputs{x, x_lo, nullptr, 0}, source_of(x_lo), n);
}
void add_scalar(double* hi, double* lo, const double* x, const double* x_lo, int n) {
  add_one_at_a_time(hi, lo, Inputs{x, x_lo, nullptr, 0}, source_of(x_lo), n);
}
void take_terms_vector(double* hi, double* lo, double* terms, int term_stride, int n) {
  add_widest(hi, lo, Inputs{nullptr, nullptr, terms, term_stride}, Source::kTerms, n);
}
void take_terms_scalar(double* hi, double* lo, double* terms, int term_stride, int n) {
  add_one_at_a_time(hi, lo, Inputs{nullptr, nullptr, terms, term_stride}, Source::kTerms, n);
}
}  // namespace compensated

}  // namespace pairtrack::detail
