// Sums of speed bins, as the per-body distributions need them: a part's pairs (a few hundred)
// added bin by bin in plain doubles, and the parts added with the rounding error of every
// addition carried along (two-sum), so that a body's bin holds, within far less than a unit in
// the last place, the exact sum of its parts however many there are. Both on the processor's
// widest vector registers: every bin's operations are its own, so four (or two) bins go
// through one instruction each, with the bits of the one-bin-at-a-time form.
#pragma once

#include <cstddef>
#include <vector>

namespace pairtrack::detail {

// sum[i] += terms[i] + terms[term_stride + i] for i < n (a bin's two partial sums added first),
// and both set to zero once read: the hand-over of an arc's bins, which are kept zero between
// arcs.
void take_term_sums(double* sum, double* terms, int term_stride, int n);

// hi[i] + lo[i] takes x[i] for i < n: sum = hi + x, the error of that addition formed exactly
// (Knuth's two-sum) and added to lo.
void compensated_add(double* hi, double* lo, const double* x, int n);

namespace bin_sums {
// The routines above on the widest registers (as called), and one bin at a time (the
// straightforward forms they are checked against).
void take_term_sums_vector(double* sum, double* terms, int term_stride, int n);
void take_term_sums_scalar(double* sum, double* terms, int term_stride, int n);
void compensated_add_vector(double* hi, double* lo, const double* x, int n);
void compensated_add_scalar(double* hi, double* lo, const double* x, int n);
}  // namespace bin_sums

class CompensatedBins {
 public:
  void resize(int values) {
    hi_.assign(static_cast<std::size_t>(values), 0.0);
    lo_.assign(static_cast<std::size_t>(values), 0.0);
  }
  int size() const { return static_cast<int>(hi_.size()); }
  // Bins first .. first + n - 1 take x[0 .. n - 1].
  void add(int first, int n, const double* x) {
    compensated_add(hi_.data() + first, lo_.data() + first, x, n);
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
