// Mean and sample standard deviation, summed in long double (80-bit on
// x86-64) so that ten million per-pair probabilities lose no digits that the
// frame report shows; results are rounded to double once, when stored.
#include "stats/avg_dev.h"

#include <cmath>

namespace pairtrack::detail {

void avg_dev(const double x[], const std::int32_t& n, double& mean, double& sigma) {
  if (n <= 0) {
    mean = 0.0;
    sigma = 0.0;
    return;
  }
  if (n == 1) {
    mean = x[0];  // exact, a NaN included: no arithmetic on the single value
    sigma = 0.0;
    return;
  }

  long double s = 0.0L;
  for (std::int32_t i = 0; i < n; ++i) {
    s += static_cast<long double>(x[i]);
  }
  const long double m = s / static_cast<long double>(n);
  mean = static_cast<double>(m);

  // The deviations are taken from the long double mean, not the stored one.
  long double d = 0.0L;
  for (std::int32_t i = 0; i < n; ++i) {
    const long double dev = static_cast<long double>(x[i]) - m;
    d += dev * dev;
  }
  sigma = static_cast<double>(std::sqrt(d / static_cast<long double>(n - 1)));
}

}  // namespace pairtrack::detail
