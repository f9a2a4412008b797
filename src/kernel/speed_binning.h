// The speed bins as the kernels use them: edges min + k * step (km/s), n bins between min and
// max, stored with an underflow bin first and an overflow bin last (pairtrack/speeds.h defines
// the layout). One definition of a speed's bin serves the reference binning, the fast kernel's
// lanes and the public calls, so that they cannot disagree about an edge.
#pragma once

#include <cmath>

#include "pairtrack/speeds.h"

namespace pairtrack::detail {

struct SpeedBinning {
  double min = 0.0;
  double max = 0.0;
  double step = 1.0;
  double inv_step = 1.0;  // 1 / step: a first guess of the bin, corrected against the edges
  int n = 0;              // bins between min and max; the stored values are n + 2

  int values() const { return n + 2; }
  // Lower edge of bin k (0 .. n), km/s.
  double edge(int k) const { return min + static_cast<double>(k) * step; }

  // Stored index of speed v (km/s): 0 below min, n + 1 at or above max (and for NaN), else
  // 1 + k for the bin k with edge(k) <= v < edge(k + 1). The guess from inv_step is off by at
  // most one bin; the comparisons with the edges decide, so every caller gets the same bin.
  int index(double v) const {
    if (!(v < max)) return n + 1;
    if (v < min) return 0;
    int k = static_cast<int>((v - min) * inv_step);
    if (k > n - 1) k = n - 1;
    while (k > 0 && edge(k) > v) --k;
    while (k < n - 1 && edge(k + 1) <= v) ++k;
    return k + 1;
  }
};

// The binning of a layout; n = 0 when the layout is invalid
// (speed_bins_problem says why).
SpeedBinning speed_binning(const SpeedBins& bins);

}  // namespace pairtrack::detail
