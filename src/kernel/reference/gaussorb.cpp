// Pair evaluation (the literal reference): apsis matching, overlap classification, one or two
// probability integrals over the node difference [0, pi], and the scaling of
// the sums into report units.
#include "kernel/reference/gaussorb.h"

#include <cmath>

#include "kernel/kernel_constants.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/g_integral.h"

namespace pairtrack::detail {

void gaussorb(const double& a1, const double& e1, const double& inc1, const double& a2,
              const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
              double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
              const std::int32_t& n_theta, const double& v_esc) {
  using namespace kernel;
  const OverlapBounds b = match_apsides(a1, e1, a2, e2);
  if (b.disjoint()) {
    p_coll = 0.0;
    return;
  }

  double set1[8];
  double set2[8];
  int split_flag = -1;
  linecheck(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, a1, a2, e1, e2, inc1, inc2, set1[0],
            set1[1], set1[2], set1[3], set1[4], set1[5], set1[6], set1[7], set2[0], set2[1],
            set2[2], set2[3], set2[4], set2[5], set2[6], set2[7], split_flag);
  if (split_flag < 0) {
    // No overlap case fits (ranges that touch or coincide up to rounding):
    // there is no arc to integrate, so the pair contributes nothing.
    p_coll = 0.0;
    v_rel_mean = 0.0;
    v_rel_rms = 0.0;
    v_imp_mean = 0.0;
    return;
  }

  const double node_lo = 0.0;
  const double node_hi = kPi;
  double total[4] = {0.0, 0.0, 0.0, 0.0};
  double first[4] = {0.0, 0.0, 0.0, 0.0};
  double second[4] = {0.0, 0.0, 0.0, 0.0};
  if (split_flag != 0) {
    g_integral(set1[0], set1[1], set1[2], set1[3], set1[4], set1[5], node_lo, node_hi, set1[6],
               set1[7], first, n_cap, n_theta, v_esc);
    g_integral(set2[0], set2[1], set2[2], set2[3], set2[4], set2[5], node_lo, node_hi, set2[6],
               set2[7], second, n_cap, n_theta, v_esc);
    for (int i = 0; i < 4; ++i) total[i] = first[i] + second[i];
  } else {
    g_integral(set1[0], set1[1], set1[2], set1[3], set1[4], set1[5], node_lo, node_hi, set1[6],
               set2[7], total, n_cap, n_theta, v_esc);
  }

  // A probability sum that is zero or not a finite number carries no
  // information about the speeds (they would be 0/0): report no collision.
  if (!(std::isfinite(total[kSumP]) && total[kSumP] > 0.0)) {
    p_coll = 0.0;
    v_rel_mean = 0.0;
    v_rel_rms = 0.0;
    v_imp_mean = 0.0;
    return;
  }

  const double c = kInvPiCubed;
  const double x = total[kSumP] * c;  // probability per cm^2 per second
  p_coll = x * kCm2SToKm2Yr / kProbabilityUnit;
  v_rel_mean = total[kSumV] * c / 100000.0 / x;
  v_rel_rms = std::sqrt(total[kSumV2] * c / x) / 100000.0;
  v_imp_mean = c * total[kSumVimp] / x;
}

}  // namespace pairtrack::detail
