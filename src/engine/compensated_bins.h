// Bins summed with the rounding error of every addition carried along (two-sum): bin b holds
// hi[b] + lo[b], within far less than a unit in the last place of the exact sum of what was
// added, however many values that was. A body's speed distributions take thousands of pairs'
// bins this way, so that their sums do not depend on how rounding errors pile up.
#pragma once

#include <cstddef>
#include <vector>

namespace pairtrack::detail {

// hi[i] + lo[i] takes x[i] and, unless x_lo is null, x_lo[i] (the carried error of such a sum),
// for i < n: sum = hi + x, the error of that addition formed exactly (Knuth's two-sum) and added
// with x_lo to lo. Four bins at a time where the processor has AVX2, otherwise two; the results
// are the same to the bit (every bin's operations are its own, in the same order).
void compensated_add(double* hi, double* lo, const double* x, const double* x_lo, int n);

// compensated_add of terms[i] + terms[term_stride + i] (two partial sums of one bin, added
// first), both set to zero once read: the hand-over of a pair's bins that are kept zero
// between pairs.
void compensated_take_terms(double* hi, double* lo, double* terms, int term_stride, int n);

namespace compensated {
// The routines on the processor's widest registers above, and on plain doubles one bin at a
// time (the straightforward forms they are checked against).
void add_vector(double* hi, double* lo, const double* x, const double* x_lo, int n);
void add_scalar(double* hi, double* lo, const double* x, const double* x_lo, int n);
void take_terms_vector(double* hi, double* lo, double* terms, int term_stride, int n);
void take_terms_scalar(double* hi, double* lo, double* terms, int term_stride, int n);
}  // namespace compensated

class CompensatedBins {
 public:
  void resize(int values) {
    hi_.assign(static_cast<std::size_t>(values), 0.0);
    lo_.assign(static_cast<std::size_t>(values), 0.0);
  }
  int size() const { return static_cast<int>(hi_.size()); }
  // Bins first .. first + n - 1 take x[0 .. n - 1] (and the errors x_lo of such sums, unless
  // null).
  void add(int first, int n, const double* x, const double* x_lo = nullptr) {
    compensated_add(hi_.data() + first, lo_.data() + first, x, x_lo, n);
  }
  // Bins first .. first + n - 1 take terms[b] + terms[term_stride + b] for b < n, which are
  // then set to zero.
  void take_terms(int first, int n, double* terms, int term_stride) {
    compensated_take_terms(hi_.data() + first, lo_.data() + first, terms, term_stride, n);
  }
  // Bin b of `from` into bin b here, for b in [first, last].
  void copy(const CompensatedBins& from, int first, int last) {
    for (int b = first; b <= last; ++b) {
      hi_[static_cast<std::size_t>(b)] = from.hi_[static_cast<std::size_t>(b)];
      lo_[static_cast<std::size_t>(b)] = from.lo_[static_cast<std::size_t>(b)];
    }
  }
  void clear(int first, int last) {
    for (int b = first; b <= last; ++b) {
      hi_[static_cast<std::size_t>(b)] = 0.0;
      lo_[static_cast<std::size_t>(b)] = 0.0;
    }
  }
  // Bins first .. last as two arrays.
  void take(int first, int last, std::vector<double>& hi, std::vector<double>& lo) const {
    hi.assign(hi_.begin() + first, hi_.begin() + last + 1);
    lo.assign(lo_.begin() + first, lo_.begin() + last + 1);
  }
  bool zero(int b) const {
    return hi_[static_cast<std::size_t>(b)] == 0.0 && lo_[static_cast<std::size_t>(b)] == 0.0;
  }
  // The sum of bin b, rounded once.
  double value(int b) const {
    return hi_[static_cast<std::size_t>(b)] + lo_[static_cast<std::size_t>(b)];
  }

 private:
  std::vector<double> hi_, lo_;
};

}  // namespace pairtrack::detail
