// Per-body speed distributions: each body's row of pairs by one thread, the distributions and
// moments added pair by pair in catalogue order in extended precision.
#include "engine/speed_histograms.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/byte_pack.h"
#include "engine/pair_evaluation.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/pair_range.h"

namespace pairtrack::detail {

namespace {

// A thread's accumulators of one body: dense over the stored values, kept at zero between
// bodies (only the touched range is cleared).
class BodyAccumulator : public PairSpeedSink {
 public:
  void prepare(int values) {
    if (static_cast<int>(impact_.size()) != values) {
      impact_.assign(static_cast<std::size_t>(values), 0.0L);
      encounter_.assign(static_cast<std::size_t>(values), 0.0L);
    }
    lo_ = values;
    hi_ = -1;
  }
  void pair(std::size_t, int lo, int hi, const double* impact, const double* encounter) override {
    for (int b = lo; b <= hi; ++b) {
      impact_[static_cast<std::size_t>(b)] += impact[b];
      encounter_[static_cast<std::size_t>(b)] += encounter[b];
    }
    lo_ = std::min(lo_, lo);
    hi_ = std::max(hi_, hi);
  }
  // The body's values, rounded once, into `out`; the accumulators are cleared.
  void store(BodySpeeds& out) {
    // The range of nonzero values (a touched bin may still hold 0).
    int lo = lo_;
    int hi = hi_;
    while (lo <= hi && impact_[static_cast<std::size_t>(lo)] == 0.0L &&
           encounter_[static_cast<std::size_t>(lo)] == 0.0L) {
      ++lo;
    }
    while (hi >= lo && impact_[static_cast<std::size_t>(hi)] == 0.0L &&
           encounter_[static_cast<std::size_t>(hi)] == 0.0L) {
      --hi;
    }
    out.lo = lo;
    out.hi = hi;
    out.impact.clear();
    out.encounter.clear();
    for (int b = lo; b <= hi; ++b) {
      out.impact.push_back(static_cast<double>(impact_[static_cast<std::size_t>(b)]));
      out.encounter.push_back(static_cast<double>(encounter_[static_cast<std::size_t>(b)]));
    }
    for (int b = lo_; b <= hi_; ++b) {
      impact_[static_cast<std::size_t>(b)] = 0.0L;
      encounter_[static_cast<std::size_t>(b)] = 0.0L;
    }
  }

 private:
  std::vector<long double> impact_, encounter_;
  int lo_ = 0, hi_ = -1;
};

// One pair's terms from the accurate integrator, binned straightforwardly in the order they
// come (their weights are already in p_coll's unit).
class AccuratePairBins : public kernel::AccurateNodeSink {
 public:
  void prepare(const SpeedBinning& bins) {
    bins_ = &bins;
    if (static_cast<int>(impact_.size()) != bins.values()) {
      impact_.assign(static_cast<std::size_t>(bins.values()), 0.0);
      encounter_.assign(static_cast<std::size_t>(bins.values()), 0.0);
    }
    lo_ = bins.values();
    hi_ = -1;
  }
  void node(double weight, double v_enc_km, double v_imp_km) override {
    const int i = bins_->index(v_imp_km);
    const int e = bins_->index(v_enc_km);
    impact_[static_cast<std::size_t>(i)] += weight;
    encounter_[static_cast<std::size_t>(e)] += weight;
    lo_ = std::min(lo_, std::min(i, e));
    hi_ = std::max(hi_, std::max(i, e));
  }
  // The pair's bins to `to`, then cleared.
  void hand_over(PairSpeedSink& to, std::size_t k) {
    to.pair(k, lo_, hi_, impact_.data(), encounter_.data());
    for (int b = lo_; b <= hi_; ++b) {
      impact_[static_cast<std::size_t>(b)] = 0.0;
      encounter_[static_cast<std::size_t>(b)] = 0.0;
    }
    lo_ = bins_->values();
    hi_ = -1;
  }

 private:
  const SpeedBinning* bins_ = nullptr;
  std::vector<double> impact_, encounter_;
  int lo_ = 0, hi_ = -1;
};

}  // namespace

std::int64_t evaluate_bodies_with_speeds(std::span<const PreparedOrbit> population1,
                                         std::span<const PreparedOrbit> bodies, double v_esc,
                                         const PairMode& mode, std::int64_t body_begin,
                                         std::int64_t body_end, double* proba, double* impvel,
                                         double* error, BodySpeeds* speeds, int threads) {
  const SpeedBinning& bins = mode.speed_bins;
  const auto n1 = static_cast<std::int64_t>(population1.size());
  if (body_end <= body_begin || n1 == 0) return 0;
  const FastRules& rules = program_rules();
  const double v_esc2 = v_esc * v_esc;
  std::int64_t no_case = 0;
#pragma omp parallel for schedule(dynamic, 1) num_threads(pair_team_size(threads)) \
    reduction(+ : no_case)
  for (std::int64_t j = body_begin; j < body_end; ++j) {
    thread_local BodyAccumulator acc;
    acc.prepare(bins.values());
    const PreparedOrbit& body = bodies[static_cast<std::size_t>(j)];
    double* p = proba + (j - body_begin) * n1;
    double* v = impvel + (j - body_begin) * n1;
    long double p_sum = 0.0L, pv_sum = 0.0L, pv2_sum = 0.0L;
    // The moments of a pair with a finite value, in catalogue order.
    const auto add_moments = [&](double p_coll, double v_imp_mean, double v_rel_rms) {
      const double mean_square = v_rel_rms * v_rel_rms + v_esc2;
      p_sum += p_coll;
      pv_sum += static_cast<long double>(p_coll) * static_cast<long double>(v_imp_mean);
      pv2_sum += static_cast<long double>(p_coll) * static_cast<long double>(mean_square);
    };
    if (mode.accurate()) {
      thread_local AccuratePairBins pair_bins;
      pair_bins.prepare(bins);
      kernel::AccurateOptions options;
      options.rel = mode.accuracy;
      options.min_mutual_inclination = mode.min_mutual_inclination;
      options.node_sink = &pair_bins;
      for (std::int64_t k = 0; k < n1; ++k) {
        const PreparedOrbit& o = population1[static_cast<std::size_t>(k)];
        const kernel::AccurateResult r =
            kernel::accurate_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc, v_esc, options);
        p[k] = r.p_coll;  // NaN when divergent
        v[k] = r.v_imp_mean;
        if (error != nullptr) error[(j - body_begin) * n1 + k] = r.p_coll_error;
        if (!std::isnan(r.p_coll)) add_moments(r.p_coll, r.v_imp_mean, r.v_rel_rms);
        pair_bins.hand_over(acc, static_cast<std::size_t>(k));
      }
      BodySpeeds& s = speeds[j - body_begin];
      acc.store(s);
      s.p_sum = static_cast<double>(p_sum);
      s.pv_sum = static_cast<double>(pv_sum);
      s.pv2_sum = static_cast<double>(pv2_sum);
      continue;
    }
    PairResult out[kChunkPairs];
    for (std::int64_t k0 = 0; k0 < n1; k0 += kChunkPairs) {
      const std::int64_t count = std::min(kChunkPairs, n1 - k0);
      for (std::int64_t q = 0; q < count; ++q) out[q] = PairResult{};
      no_case += fast_gaussorb_row_speeds(
          rules, population1.subspan(static_cast<std::size_t>(k0), static_cast<std::size_t>(count)),
          body, v_esc, out, SpeedRequest{&bins, &acc});
      for (std::int64_t q = 0; q < count; ++q) {
        const PairResult& r = out[q];
        p[k0 + q] = r.p_coll;
        v[k0 + q] = r.v_imp_mean;
        add_moments(r.p_coll, r.v_imp_mean, r.v_rel_rms);
      }
    }
    BodySpeeds& s = speeds[j - body_begin];
    acc.store(s);
    s.p_sum = static_cast<double>(p_sum);
    s.pv_sum = static_cast<double>(pv_sum);
    s.pv2_sum = static_cast<double>(pv2_sum);
  }
  return no_case;
}

SpeedMoments frame_speed_moments(std::span<const BodySpeeds> bodies) {
  long double p = 0.0L, pv = 0.0L, pv2 = 0.0L;
  for (const BodySpeeds& b : bodies) {
    p += b.p_sum;
    pv += b.pv_sum;
    pv2 += b.pv2_sum;
  }
  SpeedMoments m;
  if (!(p > 1e-300L)) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return SpeedMoments{nan, nan, nan};
  }
  const long double mean = pv / p;
  const long double mean_square = pv2 / p;
  m.mean = static_cast<double>(mean);
  m.rms = static_cast<double>(std::sqrt(mean_square));
  // Rounding can make the variance of a near-constant speed slightly negative.
  m.sd = static_cast<double>(std::sqrt(std::max(mean_square - mean * mean, 0.0L)));
  return m;
}

void frame_speed_sums(std::span<const BodySpeeds> bodies, int values, double* impact,
                      double* encounter) {
  std::vector<long double> imp(static_cast<std::size_t>(values), 0.0L);
  std::vector<long double> enc(static_cast<std::size_t>(values), 0.0L);
  for (const BodySpeeds& b : bodies) {
    for (int i = b.lo; i <= b.hi; ++i) {
      imp[static_cast<std::size_t>(i)] += b.impact[static_cast<std::size_t>(i - b.lo)];
      enc[static_cast<std::size_t>(i)] += b.encounter[static_cast<std::size_t>(i - b.lo)];
    }
  }
  for (int i = 0; i < values; ++i) {
    impact[i] = static_cast<double>(imp[static_cast<std::size_t>(i)]);
    encounter[i] = static_cast<double>(enc[static_cast<std::size_t>(i)]);
  }
}

void pack_body_speeds(std::span<const BodySpeeds> bodies, std::vector<char>& out) {
  for (const BodySpeeds& b : bodies) {
    put(out, b.lo);
    put(out, b.hi);
    put(out, b.p_sum);
    put(out, b.pv_sum);
    put(out, b.pv2_sum);
    for (const double x : b.impact) put(out, x);
    for (const double x : b.encounter) put(out, x);
  }
}

void unpack_body_speeds(const char*& in, std::span<BodySpeeds> bodies) {
  for (BodySpeeds& b : bodies) {
    b.lo = get<std::int32_t>(in);
    b.hi = get<std::int32_t>(in);
    b.p_sum = get<double>(in);
    b.pv_sum = get<double>(in);
    b.pv2_sum = get<double>(in);
    const auto n = static_cast<std::size_t>(std::max(b.hi - b.lo + 1, 0));
    b.impact.resize(n);
    b.encounter.resize(n);
    for (double& x : b.impact) x = get<double>(in);
    for (double& x : b.encounter) x = get<double>(in);
  }
}

}  // namespace pairtrack::detail
