// Frame statistics and per-body summaries from the stored per-pair values.
//
// The work splits into parts that are each formed in one fixed order, whatever the threads:
//  - each body's sums over its n1 pairs (its own extended-precision sums, in catalogue order),
//    independent of every other body: spread over the threads, a body per iteration;
//  - the frame's mean and deviation of the probabilities (avg_dev) and the weighted ones of the
//    impact speeds (avg_dev_pw): long-double sums in pair order that no partial sums can
//    replace without changing the last bits, each run whole by one thread, the two at the same
//    time and beside the bodies' sums;
//  - the frame's totals over the bodies (counts, and the accurate mode's summed error in body
//    order), formed after them by the calling thread.
// So the result is the same to the bit for every thread count, and the time of a frame's
// statistics falls to about that of the longer of the two ordered passes.
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

// One body's summary from its n1 pairs `p`, `v` (and error estimates `err`, or null), summed
// in catalogue order in extended precision. In the accurate mode a NaN probability marks a
// divergent pair, which enters no sum and no count but n_divergent; with `singular`, the
// body's singular pairs against population 1 are counted too. Returns the body's summed error
// estimate unrounded, for the frame's total.
template <bool kAccurate>
long double sum_body(const double* p, const double* v, const double* err, std::int64_t n1,
                     const SweptBody& body, const FrameChecks* singular, BodySummary& s) {
  long double sum_p = 0.0L;
  long double sum_pv = 0.0L;
  long double sum_err = 0.0L;
  std::int32_t hits = 0;
  std::int32_t n_div = 0;
  for (std::int64_t k = 0; k < n1; ++k) {
    if (kAccurate && std::isnan(p[k])) {
      ++n_div;
      continue;
    }
    sum_p += p[k];
    sum_pv += static_cast<long double>(p[k]) * static_cast<long double>(v[k]);
    if (kAccurate && err != nullptr) sum_err += err[k];
    hits += v[k] > kImpactThreshold ? 1 : 0;
  }
  s = BodySummary{};
  const std::int64_t finite = n1 - n_div;
  s.p_sum = static_cast<double>(sum_p);
  s.p_mean = finite > 0 ? static_cast<double>(sum_p / static_cast<long double>(finite)) : 0.0;
  s.v_imp_mean = sum_p < kMinTotalWeight ? 0.0 : static_cast<double>(sum_pv / sum_p);
  s.hits = hits;
  s.n_divergent = n_div;
  s.p_sum_error = static_cast<double>(sum_err);
  if (singular != nullptr) {
    for (const PreparedOrbit& o : singular->population1) {
      s.n_singular += kernel::classify_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc) !=
                      kernel::PairClass::kOrdinary;
    }
  }
  return sum_err;
}

// Scratch kept from frame to frame (one per thread: MPI ranks summarise frames on their own
// threads): the bodies' unrounded error sums, and the finite pairs of an accurate frame with
// divergent ones.
thread_local std::vector<long double> body_error;
thread_local std::vector<double> finite_proba, finite_impvel;

// Every body's summary, spread over `team` threads; with `figures`, the frame's two ordered
// passes over `fp`, `fv` (n_proba values) run at the same time, each on one thread of the team.
template <bool kAccurate>
void sum_bodies(const FrameJob& job, const double* proba, const double* impvel,
                const FrameChecks* checks, int team, FrameResult& result, const double* fp,
                const double* fv, std::int32_t n_proba, FrameFigures* figures) {
  const std::int64_t n1 = job.n1;
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  const double* error = checks != nullptr ? checks->error : nullptr;
  const FrameChecks* singular =
      kAccurate && checks != nullptr && checks->mode.classic_check ? checks : nullptr;
  long double* body_err = body_error.data();
  // Some thousands of pairs per chunk of bodies, so that many short bodies cost few hand-outs.
  const std::int64_t chunk = std::max<std::int64_t>(1, 4096 / std::max<std::int64_t>(n1, 1));
  BodySummary* bodies = result.bodies.data();
#pragma omp parallel num_threads(team)
  {
    if (figures != nullptr) {
#pragma omp single nowait
      avg_dev(fp, n_proba, figures->proba_mean, figures->proba_sigma);
#pragma omp single nowait
      avg_dev_pw(fv, fp, n_proba, figures->impvel_mean, figures->impvel_sigma);
    }
#pragma omp for schedule(dynamic, chunk) nowait
    for (std::int64_t b = 0; b < n_swept; ++b) {
      const auto i = static_cast<std::size_t>(b);
      body_err[i] = sum_body<kAccurate>(proba + b * n1, impvel + b * n1,
                                        error != nullptr ? error + b * n1 : nullptr, n1,
                                        job.bodies[i], singular, bodies[i]);
    }
  }
}

// Frames below this many pairs are summarised on the calling thread alone: starting a team
// would cost more than it saves.
constexpr std::int64_t kParallelPairs = 32768;

int team_size(const FrameChecks* checks, std::int64_t pairs) {
  if (pairs < kParallelPairs) return 1;
  return checks != nullptr && checks->threads > 0 ? checks->threads : omp_get_max_threads();
}

}  // namespace

void summarise_frame(const FrameJob& job, const double* proba, const double* impvel,
                     std::int64_t no_case, FrameResult& result, const FrameChecks* checks) {
  const bool accurate = checks != nullptr && checks->mode.accurate();
  const std::int64_t n1 = job.n1;
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  const std::int64_t pairs = n1 * n_swept;
  const int team = team_size(checks, pairs);
  result.frame = job.frame;
  result.no_case = no_case;
  result.pair_lines_formed = false;  // the pair file forms them, unless the caller does
  result.pair_lines.clear();
  result.bodies.resize(static_cast<std::size_t>(n_swept));
  result.worst = ClassicWorstPair{};
  body_error.resize(static_cast<std::size_t>(n_swept));
  FrameFigures& f = result.figures;
  std::int32_t n_proba = 0;
  if (accurate) {
    // The divergent pairs must be known before the frame's passes, which leave them out.
    sum_bodies<true>(job, proba, impvel, checks, team, result, nullptr, nullptr, 0, nullptr);
    std::int64_t divergent = 0;
    for (const BodySummary& s : result.bodies) divergent += s.n_divergent;
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
    n_proba = static_cast<std::int32_t>(pairs - divergent);
#pragma omp parallel sections num_threads(std::min(team, 2))
    {
#pragma omp section
      avg_dev(fp, n_proba, f.proba_mean, f.proba_sigma);
#pragma omp section
      avg_dev_pw(fv, fp, n_proba, f.impvel_mean, f.impvel_sigma);
    }
    long double error_total = 0.0L;  // in body order
    for (std::int64_t b = 0; b < n_swept; ++b)
      error_total += body_error[static_cast<std::size_t>(b)];
    result.proba_mean_error =
        n_proba > 0 ? static_cast<double>(error_total / static_cast<long double>(n_proba)) : 0.0;
  } else {
    n_proba = static_cast<std::int32_t>(pairs);
    sum_bodies<false>(job, proba, impvel, checks, team, result, proba, impvel, n_proba, &f);
    if (checks != nullptr && checks->mode.classic_check) check_classic_frame(job, *checks, result);
  }
  std::int32_t n_impvel = 0;
  for (const BodySummary& s : result.bodies) n_impvel += s.hits;
  f.t_myr = job.t_myr;
  f.n1 = job.n1;
  f.n2 = job.n2;
  f.n_proba = n_proba;
  f.n_impvel = n_impvel;
  count_extras(result);
}

}  // namespace pairtrack::detail
