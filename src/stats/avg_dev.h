// Mean and sample standard deviation of a list of doubles (any unit; the
// outputs carry the unit of the values). The sums run in long double and are
// rounded to double once, when stored.
#pragma once

#include <cstdint>

namespace pairtrack::detail {

// Mean and sample standard deviation of x[0] ... x[n-1].
//
//   n <= 0  mean = 0, sigma = 0; no entry of x is read (x may be null).
//   n = 1   mean = x[0] exactly (a NaN included), sigma = 0.
//   n >= 2  two passes in index order:
//           S = sum x[i] from 0 in long double; m = S / n in long double,
//           stored rounded to double as mean;
//           D = sum (x[i] - m)^2 in long double with that long double m
//           (not the rounded mean);
//           sigma = square root of D / (n - 1), taken in long double and
//           rounded to double once (divisor n - 1: sample deviation).
//
// A NaN among the values makes both outputs NaN. Both outputs are always
// written; nothing is kept between calls and nothing is allocated.
void avg_dev(const double x[], const std::int32_t& n, double& mean, double& sigma);

}  // namespace pairtrack::detail
