// Frame statistics and per-body summaries from the stored per-pair values.
#include "engine/frame_summary.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernel/accurate/classic_criterion.h"
#include "kernel/accurate/pair_class.h"
#include "stats/avg_dev.h"
#include "stats/avg_dev_pw.h"

namespace pairtrack::detail {

namespace {

// Below this total probability a body's weighted speed is 0, as for the frame's (the same rule
// as the weighted statistics).
constexpr long double kMinTotalWeight = 1e-8;

// The frame's sums of the bodies' counts.
void count_extras(FrameResult& result) {
  result.n_classic_off = result.n_singular = result.n_divergent = 0;
  for (const BodySummary& s : result.bodies) {
    result.n_classic_off += s.n_classic_off;
    result.n_singular += s.n_singular;
    result.n_divergent += s.n_divergent;
  }
}

// Classic mode: the criterion on each of the body's pairs; counts into `s`, the worst pair
// into `worst`.
void check_classic(const SweptBody& body, std::int32_t index, const FrameChecks& checks,
                   BodySummary& s, ClassicWorstPair& worst) {
  const std::span<const PreparedOrbit> pop = checks.population1;
  const kernel::ClassicCriterion criterion(checks.v_esc);
  const double body_sin = std::sin(body.inc);
  for (std::size_t k = 0; k < pop.size(); ++k) {
    const PreparedOrbit& o = pop[k];
    if (criterion.surely_fine(o.a_cm, o.e, o.inc, o.sin_inc, body.a_cm, body.e, body.inc,
                              body_sin)) {
      continue;
    }
    const kernel::ClassicAccuracy c =
        kernel::classic_accuracy(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc, checks.v_esc);
    if (!c.likely_off) continue;
    ++s.n_classic_off;
    const kernel::PairClass kind =
        kernel::classify_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc);
    double severity = 0.0;
    if (kind != kernel::PairClass::kOrdinary) {
      ++s.n_singular;
    } else {
      severity = std::min(c.delta / c.delta_threshold, c.apsis_eps / c.apsis_threshold);
    }
    if (worst.body < 0 || severity < worst.severity) {
      worst = {severity,
               c.delta,
               c.apsis_eps,
               index,
               static_cast<std::int32_t>(k + 1),
               static_cast<std::int32_t>(kind)};
    }
  }
}

// The classic check of every body of the frame over the threads (a body per iteration: its
// counts and its worst pair), then the frame's worst pair in body order, so that the result
// does not depend on the thread count.
thread_local std::vector<ClassicWorstPair> body_worst;

void check_classic_frame(const FrameJob& job, const FrameChecks& checks, FrameResult& result) {
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  std::vector<ClassicWorstPair>& worst = body_worst;
  worst.assign(static_cast<std::size_t>(n_swept), ClassicWorstPair{});
  const int team = checks.threads > 0 ? checks.threads : omp_get_max_threads();
#pragma omp parallel for schedule(dynamic, 1) num_threads(team)
  for (std::int64_t b = 0; b < n_swept; ++b) {
    const auto i = static_cast<std::size_t>(b);
    check_classic(job.bodies[i], static_cast<std::int32_t>(b), checks, result.bodies[i], worst[i]);
  }
  for (const ClassicWorstPair& w : worst) {
    if (w.body >= 0 && (result.worst.body < 0 || w.severity < result.worst.severity)) {
      result.worst = w;
    }
  }
}

// Scratch for the finite pairs of an accurate frame with divergent ones, kept from frame to
// frame (one per thread: MPI ranks summarise frames on their own threads).
thread_local std::vector<double> finite_proba, finite_impvel;

}  // namespace

void summarise_accurate_frame(const FrameJob& job, const double* proba, const double* impvel,
                              std::int64_t no_case, FrameResult& result, const FrameChecks& checks);

void summarise_frame(const FrameJob& job, const double* proba, const double* impvel,
                     std::int64_t no_case, FrameResult& result, const FrameChecks* checks) {
  const bool accurate = checks != nullptr && checks->mode.accurate();
  if (accurate) {
    summarise_accurate_frame(job, proba, impvel, no_case, result, *checks);
    return;
  }
  const std::int64_t n1 = job.n1;
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  result.frame = job.frame;
  result.no_case = no_case;
  result.bodies.resize(static_cast<std::size_t>(n_swept));
  result.worst = ClassicWorstPair{};

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
    s.n_classic_off = s.n_singular = s.n_divergent = 0;
    s.p_sum_error = 0.0;
    s.p_sum = static_cast<double>(sum_p);
    s.p_mean = n1 > 0 ? static_cast<double>(sum_p / static_cast<long double>(n1)) : 0.0;
    s.v_imp_mean = sum_p < kMinTotalWeight ? 0.0 : static_cast<double>(sum_pv / sum_p);
    s.hits = hits;
    n_impvel += hits;
  }
  if (checks != nullptr && checks->mode.classic_check) check_classic_frame(job, *checks, result);

  const auto n_proba = static_cast<std::int32_t>(n1 * n_swept);
  FrameFigures& f = result.figures;
  f.t_myr = job.t_myr;
  avg_dev(proba, n_proba, f.proba_mean, f.proba_sigma);
  avg_dev_pw(impvel, proba, n_proba, f.impvel_mean, f.impvel_sigma);
  f.n1 = job.n1;
  f.n2 = job.n2;
  f.n_proba = n_proba;
  f.n_impvel = n_impvel;
  count_extras(result);
}

// The accurate mode: as the classic summary, with divergent pairs (NaN) left out of every sum
// and count, and the error estimates summed (in extended precision, in pair order).
void summarise_accurate_frame(const FrameJob& job, const double* proba, const double* impvel,
                              std::int64_t no_case, FrameResult& result,
                              const FrameChecks& checks) {
  const std::int64_t n1 = job.n1;
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  result.frame = job.frame;
  result.no_case = no_case;
  result.bodies.resize(static_cast<std::size_t>(n_swept));
  result.worst = ClassicWorstPair{};
  std::int32_t n_impvel = 0;
  long double error_total = 0.0L;
  std::int64_t divergent = 0;
  for (std::int64_t b = 0; b < n_swept; ++b) {
    const double* p = proba + b * n1;
    const double* v = impvel + b * n1;
    long double sum_p = 0.0L;
    long double sum_pv = 0.0L;
    long double sum_err = 0.0L;
    std::int32_t hits = 0;
    std::int32_t n_div = 0;
    for (std::int64_t k = 0; k < n1; ++k) {
      if (std::isnan(p[k])) {
        ++n_div;
        continue;
      }
      sum_p += p[k];
      sum_pv += static_cast<long double>(p[k]) * static_cast<long double>(v[k]);
      if (checks.error != nullptr) sum_err += checks.error[b * n1 + k];
      hits += v[k] > kImpactThreshold ? 1 : 0;
    }
    BodySummary& s = result.bodies[static_cast<std::size_t>(b)];
    s = BodySummary{};
    const std::int64_t finite = n1 - n_div;
    s.p_sum = static_cast<double>(sum_p);
    s.p_mean = finite > 0 ? static_cast<double>(sum_p / static_cast<long double>(finite)) : 0.0;
    s.v_imp_mean = sum_p < kMinTotalWeight ? 0.0 : static_cast<double>(sum_pv / sum_p);
    s.hits = hits;
    s.n_divergent = n_div;
    s.p_sum_error = static_cast<double>(sum_err);
    if (checks.mode.classic_check) {
      const SweptBody& body = job.bodies[static_cast<std::size_t>(b)];
      for (const PreparedOrbit& o : checks.population1) {
        s.n_singular += kernel::classify_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc) !=
                        kernel::PairClass::kOrdinary;
      }
    }
    n_impvel += hits;
    divergent += n_div;
    error_total += sum_err;
  }

  const std::int64_t pairs = n1 * n_swept;
  const double* fp = proba;
  const double* fv = impvel;
  if (divergent > 0) {
    finite_proba.clear();
    finite_impvel.clear();
    for (std::int64_t i = 0; i < pairs; ++i) {
      if (std::isnan(proba[i])) continue;
      finite_proba.push_back(proba[i]);
      finite_impvel.push_back(impvel[i]);
    }
    fp = finite_proba.data();
    fv = finite_impvel.data();
  }
  const auto n_proba = static_cast<std::int32_t>(pairs - divergent);
  FrameFigures& f = result.figures;
  f.t_myr = job.t_myr;
  avg_dev(fp, n_proba, f.proba_mean, f.proba_sigma);
  avg_dev_pw(fv, fp, n_proba, f.impvel_mean, f.impvel_sigma);
  f.n1 = job.n1;
  f.n2 = job.n2;
  f.n_proba = n_proba;
  f.n_impvel = n_impvel;
  result.proba_mean_error =
      n_proba > 0 ? static_cast<double>(error_total / static_cast<long double>(n_proba)) : 0.0;
  count_extras(result);
}

}  // namespace pairtrack::detail
