// The speed distributions of one pair, straight from the reference quadrature: every term the
// probability integral adds is binned by its impact and encounter speed (within an arc, the
// terms with body A inbound and those with A outbound in two sums, added when the arc is done),
// the two arcs' bins are added, and each bin is scaled into 1e-18 km^-2 yr^-1 exactly as p_coll
// is scaled from the total. The fast kernel's binning is tested against this, bit for bit.
#pragma once

#include <cstdint>

#include "kernel/speed_binning.h"

namespace pairtrack::detail {

// gaussorb's pair (a in cm, inclinations in radians, v_esc in km/s) with n_cap x n_theta
// nodes; impact[] and encounter[] (bins.values() doubles each) receive the distributions
// (zeros when the pair gets p_coll = 0). p_coll, when not null, receives gaussorb's p_coll
// (0 for a disjoint pair).
void reference_speed_histograms(double a1, double e1, double inc1, double a2, double e2,
                                double inc2, std::int32_t n_cap, std::int32_t n_theta, double v_esc,
                                const SpeedBinning& bins, double* impact, double* encounter,
                                double* p_coll = nullptr);

}  // namespace pairtrack::detail
