// Frame statistics and per-body summaries from the stored per-pair values.
#include "engine/frame_summary.h"

#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

namespace pairtrack::detail {

namespace {

// Below this total probability a body's weighted speed is 0, as for the frame's (the same rule
// as the weighted statistics).
constexpr long double kMinTotalWeight = 1e-8;

}  // namespace

void summarise_frame(const FrameJob& job, const double* proba, const double* impvel,
                     std::int64_t no_case, FrameResult& result) {
  const std::int64_t n1 = job.n1;
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  result.frame = job.frame;
  result.no_case = no_case;
  result.bodies.resize(static_cast<std::size_t>(n_swept));

  std::int32_t n_impvel = 0;
  for (std::int64_t b = 0; b < n_swept; ++b) {
    const double* p = proba + b * n1;
    const double* v = impvel + b * n1;
    long double sum_p = 0.0L;
    long double sum_pv = 0.0L;
    std::int32_t hits = 0;
    for (std::int64_t k = 0; k < n1; ++k) {
      sum_p += p[k];
      sum_pv += static_cast<long double>(p[k]) * static_cast<long double>(v[k]);
      hits += v[k] > kImpactThreshold ? 1 : 0;
    }
    BodySummary& s = result.bodies[static_cast<std::size_t>(b)];
    s.p_sum = static_cast<double>(sum_p);
    s.p_mean = n1 > 0 ? static_cast<double>(sum_p / static_cast<long double>(n1)) : 0.0;
    s.v_imp_mean = sum_p < kMinTotalWeight ? 0.0 : static_cast<double>(sum_pv / sum_p);
    s.hits = hits;
    n_impvel += hits;
  }

  const auto n_proba = static_cast<std::int32_t>(n1 * n_swept);
  FrameFigures& f = result.figures;
  f.t_myr = job.t_myr;
  avg_dev(proba, n_proba, f.proba_mean, f.proba_sigma);
  avg_dev_pw(impvel, proba, n_proba, f.impvel_mean, f.impvel_sigma);
  f.n1 = job.n1;
  f.n2 = job.n2;
  f.n_proba = n_proba;
  f.n_impvel = n_impvel;
}

}  // namespace pairtrack::detail
