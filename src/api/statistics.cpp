// The public frame statistics: the program's avg_dev and avg_dev_pw behind array-and-length
// calls.
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "pairtrack/statistics.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

namespace pairtrack {

// The library's internals, which these calls put behind the documented interface.
using namespace detail;

namespace {

std::int32_t checked_count(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::invalid_argument("more than 2147483647 values");
  }
  return static_cast<std::int32_t>(n);
}

}  // namespace

MeanAndDeviation sample_mean_deviation(const double* values, std::size_t n) {
  const std::int32_t count = checked_count(n);
  if (count > 0 && values == nullptr) throw std::invalid_argument("values is null");
  MeanAndDeviation r;
  avg_dev(values, count, r.mean, r.sigma);
  return r;
}

MeanAndDeviation weighted_mean_deviation(const double* values, const double* weights,
                                         std::size_t n) {
  const std::int32_t count = checked_count(n);
  if (count > 0 && (values == nullptr || weights == nullptr)) {
    throw std::invalid_argument("values or weights is null");
  }
  MeanAndDeviation r;
  avg_dev_pw(values, weights, count, r.mean, r.sigma);
  return r;
}

}  // namespace pairtrack
