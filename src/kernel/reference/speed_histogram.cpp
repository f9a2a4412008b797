// Straightforward binning of the reference quadrature's terms, one arc at a time.
#include "kernel/reference/speed_histogram.h"

#include <cstddef>
#include <vector>

#include "kernel/kernel_constants.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail {

namespace {

// The bins of one arc's terms with B inbound, in the order the terms are summed: the terms
// with A inbound in one set of sums, those with A outbound in another, added bin by bin at the
// end (value).
class ArcBins : public IntegralTermVisitor {
 public:
  explicit ArcBins(const SpeedBinning& bins) : bins_(bins) {
    for (int j = 0; j < 2; ++j) {
      impact_[j].assign(static_cast<std::size_t>(bins.values()), 0.0);
      encounter_[j].assign(static_cast<std::size_t>(bins.values()), 0.0);
    }
  }
  void term(int which, double w, double u_km, double v_imp_km) override {
    impact_[which][static_cast<std::size_t>(bins_.index(v_imp_km))] += w;
    encounter_[which][static_cast<std::size_t>(bins_.index(u_km))] += w;
  }
  double impact(std::size_t b) const { return impact_[0][b] + impact_[1][b]; }
  double encounter(std::size_t b) const { return encounter_[0][b] + encounter_[1][b]; }

 private:
  const SpeedBinning& bins_;
  std::vector<double> impact_[2];
  std::vector<double> encounter_[2];
};

}  // namespace

void reference_speed_histograms(double a1, double e1, double inc1, double a2, double e2,
                                double inc2, std::int32_t n_cap, std::int32_t n_theta, double v_esc,
                                const SpeedBinning& bins, double* impact, double* encounter,
                                double* p_coll) {
  using namespace kernel;
  ArcBins first(bins);
  ArcBins second(bins);
  double p = 0.0, v_rel_mean = 0.0, v_rel_rms = 0.0, v_imp_mean = 0.0;
  const bool integrated = gaussorb_visit(a1, e1, inc1, a2, e2, inc2, p, v_rel_mean, v_rel_rms,
                                         v_imp_mean, n_cap, n_theta, v_esc, first, second);
  if (p_coll != nullptr) *p_coll = p;
  const double c = kInvPiCubed;
  for (int b = 0; b < bins.values(); ++b) {
    const auto i = static_cast<std::size_t>(b);
    // An arc that saw no term (a pair of one arc has no second) adds +0 to every bin.
    const double ti = first.impact(i) + second.impact(i);
    const double te = first.encounter(i) + second.encounter(i);
    // Each binned term stands for itself and its mirror (B outbound).
    impact[i] = integrated ? (ti + ti) * c * kCm2SToKm2Yr / kProbabilityUnit : 0.0;
    encounter[i] = integrated ? (te + te) * c * kCm2SToKm2Yr / kProbabilityUnit : 0.0;
  }
}

}  // namespace pairtrack::detail
