// Straightforward binning of the reference quadrature's terms, one arc at a time.
#include "kernel/reference/speed_histogram.h"

#include <cstddef>
#include <vector>

#include "kernel/kernel_constants.h"
#include "kernel/reference/gaussorb.h"

namespace pairtrack::detail {

namespace {

// The bins of one arc's terms with B inbound, in the order the terms are summed.
class ArcBins : public IntegralTermVisitor {
 public:
  explicit ArcBins(const SpeedBinning& bins)
      : bins_(bins),
        impact(static_cast<std::size_t>(bins.values()), 0.0),
        encounter(static_cast<std::size_t>(bins.values()), 0.0) {}
  void term(double w, double u_km, double v_imp_km) override {
    impact[static_cast<std::size_t>(bins_.index(v_imp_km))] += w;
    encounter[static_cast<std::size_t>(bins_.index(u_km))] += w;
  }

 private:
  const SpeedBinning& bins_;

 public:
  std::vector<double> impact;
  std::vector<double> encounter;
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
    const double ti = first.impact[i] + second.impact[i];
    const double te = first.encounter[i] + second.encounter[i];
    // Each binned term stands for itself and its mirror (B outbound).
    impact[i] = integrated ? (ti + ti) * c * kCm2SToKm2Yr / kProbabilityUnit : 0.0;
    encounter[i] = integrated ? (te + te) * c * kCm2SToKm2Yr / kProbabilityUnit : 0.0;
  }
}

}  // namespace pairtrack::detail
