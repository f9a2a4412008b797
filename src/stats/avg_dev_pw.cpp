// Weighted mean and weighted standard deviation, with every product and sum
// in long double (80-bit on x86-64): probabilities spanning many decades
// weight the impact velocities without losing the small contributions.
#include "stats/avg_dev_pw.h"

#include <cmath>

namespace pairtrack::detail {

namespace {
// Total weights strictly below this count as no weight at all.
constexpr double kMinTotalWeight = 1e-8;
}  // namespace

void avg_dev_pw(const double x[], const double w[], const std::int32_t& n, double& mean,
                double& sigma) {
  if (n <= 0) {
    mean = 0.0;
    sigma = 0.0;
    return;
  }
  if (n == 1) {
    mean = x[0];  // the single value stands whatever its weight
    sigma = 0.0;
    return;
  }

  long double sw = 0.0L;
  long double sxw = 0.0L;
  for (std::int32_t i = 0; i < n; ++i) {
    const long double wi = static_cast<long double>(w[i]);
    sw += wi;
    sxw += wi * static_cast<long double>(x[i]);
  }
  // The long double total is compared with the double threshold; a NaN
  // total fails the test and goes on to give NaN results.
  if (sw < static_cast<long double>(kMinTotalWeight)) {
    mean = 0.0;
    sigma = 0.0;
    return;
  }
  const long double m = sxw / sw;
  mean = static_cast<double>(m);

  long double dw = 0.0L;
  for (std::int32_t i = 0; i < n; ++i) {
    const long double dev = static_cast<long double>(x[i]) - m;
    dw += dev * dev * static_cast<long double>(w[i]);
  }
  sigma = static_cast<double>(std::sqrt(dw / sw));
}

}  // namespace pairtrack::detail
