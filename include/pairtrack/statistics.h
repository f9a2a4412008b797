// pairtrack public API: the statistics of a frame line.
//
// The report's frame line gives the mean and sample standard deviation of p_coll over the
// frame's pairs, and the probability-weighted mean and standard deviation of the impact speed.
// These are the program's own routines: sums in long double, in index order, rounded to double
// once, so the results have the report's bits.
#pragma once

#include <cstddef>

namespace pairtrack {

struct MeanAndDeviation {
  double mean = 0.0;   // unit of the values
  double sigma = 0.0;  // unit of the values
};

// Mean and sample standard deviation (divisor n - 1) of values[0 .. n-1]. n = 0 gives 0 and 0;
// n = 1 gives values[0] and 0; a NaN gives NaN. Throws std::invalid_argument when n exceeds
// 2^31 - 1 or `values` is null while n is not 0.
MeanAndDeviation sample_mean_deviation(const double* values, std::size_t n);

// Weighted mean and standard deviation of values[0 .. n-1] under weights[0 .. n-1] (in the
// report: impact speeds in km/s weighted by p_coll). The deviation's divisor is the total
// weight; a total weight below 1e-8 gives 0 and 0; n = 1 gives values[0] and 0. Throws
// std::invalid_argument as sample_mean_deviation.
MeanAndDeviation weighted_mean_deviation(const double* values, const double* weights,
                                         std::size_t n);

}  // namespace pairtrack
