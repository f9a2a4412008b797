// Weighted mean and weighted standard deviation of a list of doubles; the
// weights carry any unit, the outputs the unit of the values. The whole
// reduction, products included, runs in long double; results are rounded once.
#pragma once

#include <cstdint>

namespace pairtrack::detail {

// Weighted mean and standard deviation of x[0] ... x[n-1] under the weights
// w[0] ... w[n-1] (in the frame report: impact velocities weighted by
// collision probabilities).
//
//   n <= 0  mean = 0, sigma = 0; neither array is read (either may be null).
//   n = 1   mean = x[0] whatever w[0] is, sigma = 0; w is not read.
//   n >= 2  one pass in index order, in long double from 0:
//           SW = sum w[i], SXW = sum w[i] * x[i] (product in long double).
//           If SW < 1e-8 (strictly; the double nearest 10^-8), both
//           outputs are 0. Otherwise m = SXW / SW in long double, stored
//           rounded to double as mean; a second pass forms
//           DW = sum (x[i] - m)^2 * w[i] in long double with that m, and
//           sigma = square root of DW / SW in long double, rounded once.
//           The divisor is the total weight: no correction for the count.
//
// Weights may be negative; they enter the sums unchanged and only their
// total is compared with 1e-8 (a negative DW / SW gives a NaN sigma). A NaN
// value or weight makes both outputs NaN. Both outputs are always written.
void avg_dev_pw(const double x[], const double w[], const std::int32_t& n, double& mean,
                double& sigma);

}  // namespace pairtrack::detail
