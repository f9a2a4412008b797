// Pair evaluation (the literal reference): apsis matching, overlap classification, one or two
// probability integrals over the node difference [0, pi], and the scaling of
// the sums into report units.
#include "kernel/reference/gaussorb.h"

#include <cmath>

#include "kernel/kernel_constants.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/g_integral.h"

namespace pairtrack::detail {

namespace {

// gaussorb; the terms of the first arc go to `first`, those of the second arc (a split pair)
// to `second` (either may be null). Returns whether the pair's probability sum was finite and
// positive.
bool evaluate(const double& a1, const double& e1, const double& inc1, const double& a2,
              const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
              double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
              const std::int32_t& n_theta, const double& v_esc, IntegralTermVisitor* first_arc,
              IntegralTermVisitor* second_arc) {
  using namespace kernel;
  // The integral of one arc over the node difference [0, pi], seen by `visitor` when it is
  // not null.
  auto arc = [&](const double* set, const double& c_2, double sums[4],
                 IntegralTermVisitor* visitor) {
    if (visitor != nullptr) {
      g_integral_visit(set[0], set[1], set[2], set[3], set[4], set[5], 0.0, kPi, set[6], c_2, sums,
                       n_cap, n_theta, v_esc, *visitor);
    } else {
      g_integral(set[0], set[1], set[2], set[3], set[4], set[5], 0.0, kPi, set[6], c_2, sums, n_cap,
                 n_theta, v_esc);
    }
  };
  const OverlapBounds b = match_apsides(a1, e1, a2, e2);
  if (b.disjoint()) {
    p_coll = 0.0;
    return false;
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
    return false;
  }

  double total[4] = {0.0, 0.0, 0.0, 0.0};
  double first[4] = {0.0, 0.0, 0.0, 0.0};
  double second[4] = {0.0, 0.0, 0.0, 0.0};
  if (split_flag != 0) {
    arc(set1, set1[7], first, first_arc);
    arc(set2, set2[7], second, second_arc);
    for (int i = 0; i < 4; ++i) total[i] = first[i] + second[i];
  } else {
    arc(set1, set2[7], total, first_arc);
  }

  // A probability sum that is zero or not a finite number carries no
  // information about the speeds (they would be 0/0): report no collision.
  if (!(std::isfinite(total[kSumP]) && total[kSumP] > 0.0)) {
    p_coll = 0.0;
    v_rel_mean = 0.0;
    v_rel_rms = 0.0;
    v_imp_mean = 0.0;
    return false;
  }

  const double c = kInvPiCubed;
  const double x = total[kSumP] * c;  // probability per cm^2 per second
  p_coll = x * kCm2SToKm2Yr / kProbabilityUnit;
  v_rel_mean = total[kSumV] * c / 100000.0 / x;
  v_rel_rms = std::sqrt(total[kSumV2] * c / x) / 100000.0;
  v_imp_mean = c * total[kSumVimp] / x;
  return true;
}

}  // namespace

void gaussorb(const double& a1, const double& e1, const double& inc1, const double& a2,
              const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
              double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
              const std::int32_t& n_theta, const double& v_esc) {
  evaluate(a1, e1, inc1, a2, e2, inc2, p_coll, v_rel_mean, v_rel_rms, v_imp_mean, n_cap, n_theta,
           v_esc, nullptr, nullptr);
}

bool gaussorb_visit(const double& a1, const double& e1, const double& inc1, const double& a2,
                    const double& e2, const double& inc2, double& p_coll, double& v_rel_mean,
                    double& v_rel_rms, double& v_imp_mean, const std::int32_t& n_cap,
                    const std::int32_t& n_theta, const double& v_esc,
                    IntegralTermVisitor& first_arc, IntegralTermVisitor& second_arc) {
  return evaluate(a1, e1, inc1, a2, e2, inc2, p_coll, v_rel_mean, v_rel_rms, v_imp_mean, n_cap,
                  n_theta, v_esc, &first_arc, &second_arc);
}

}  // namespace pairtrack::detail
