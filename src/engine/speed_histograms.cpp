// Per-body speed distributions: each body's row cut into parts of consecutive pairs evaluated
// on all threads, the distributions and moments added pair by pair within a part and part by
// part, in catalogue order: a part's bins in plain sums, the parts' in compensated sums, the
// moments in extended precision.
#include "engine/speed_histograms.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/bin_sums.h"
#include "engine/byte_pack.h"
#include "engine/pair_evaluation.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/pair_range.h"

namespace pairtrack::detail {

namespace {

// The sums of one part of a body's row (pairs [k0, k0 + chunk) of the catalogue): touched
// range, distributions over it (encounter empty while shared: it is the impact one) and the
// impact-speed moments in extended precision.
struct RowPart {
  int lo = 0, hi = -1;
  bool shared = true;
  std::vector<double> impact, encounter;
  long double p = 0.0L, pv = 0.0L, pv2 = 0.0L;
};

// A part's bins: plain sums. A part has at most 256 pairs, summed by the kernel in the bins of
// its 16 lanes (at most 32 integrals of 100 points a lane, one term of each point in a term's
// bin) and handed over lane by lane, so a bin's relative error stays below about 3300 units in
// the last place (4e-13) at worst, and near the square root of that in practice: inside what
// the quadrature's own sums carry. The parts then go into compensated sums.
class PlainBins {
 public:
  void resize(int values) { v_.assign(static_cast<std::size_t>(values), 0.0); }
  int size() const { return static_cast<int>(v_.size()); }
  void add(int first, int n, const double* x) {
    double* v = v_.data() + first;
    for (int i = 0; i < n; ++i) v[i] += x[i];
  }
  // Bins first .. first + n - 1 take terms[b] + terms[term_stride + b], which are then zero.
  void take_terms(int first, int n, double* terms, int term_stride) {
    take_term_sums(v_.data() + first, terms, term_stride, n);
  }
  void copy(const PlainBins& from, int first, int last) {
    std::copy(from.v_.begin() + first, from.v_.begin() + last + 1, v_.begin() + first);
  }
  void clear(int first, int last) { std::fill(v_.begin() + first, v_.begin() + last + 1, 0.0); }
  bool zero(int b) const { return v_[static_cast<std::size_t>(b)] == 0.0; }
  double value(int b) const { return v_[static_cast<std::size_t>(b)]; }
  const double* at(int b) const { return v_.data() + b; }

 private:
  std::vector<double> v_;
};

// Distributions over the stored values, dense, kept at zero between uses (only the touched
// range is cleared). While every distribution added has had its encounter values equal to its
// impact ones (encounter == impact: no focusing), only the impact sums are kept: the encounter
// sums would be the same additions.
template <class Bins>
class BinRange {
 public:
  void prepare(int values) {
    if (impact_.size() != values) {
      impact_.resize(values);
      encounter_.resize(values);
    }
    lo_ = values;
    hi_ = -1;
    shared_ = true;
  }

 protected:
  // The touched range grows to [lo, hi]; the first distribution whose encounter values are
  // its own (apart) ends the sharing: the encounter sums so far are the impact ones.
  void widen(int lo, int hi, bool apart) {
    if (shared_ && apart) {
      if (lo_ <= hi_) encounter_.copy(impact_, lo_, hi_);
      shared_ = false;
    }
    lo_ = std::min(lo_, lo);
    hi_ = std::max(hi_, hi);
  }
  void clear() {
    if (lo_ <= hi_) {
      impact_.clear(lo_, hi_);
      encounter_.clear(lo_, hi_);
    }
    lo_ = impact_.size();
    hi_ = -1;
    shared_ = true;
  }

  Bins impact_, encounter_;
  int lo_ = 0, hi_ = -1;
  bool shared_ = true;
};

// A thread's sums of one part of a row: the kernel's pieces in its order, or the accurate
// integrator's pairs in catalogue order.
class PartSums : public BinRange<PlainBins>, public PairSpeedSink, public RowWeightSink {
 public:
  void pair(std::size_t, int lo, int hi, const double* impact, const double* encounter) override {
    if (lo > hi) return;
    widen(lo, hi, encounter != impact);
    impact_.add(lo, hi - lo + 1, impact + lo);
    if (!shared_) encounter_.add(lo, hi - lo + 1, encounter + lo);
  }
  void take_sums(int lo, int hi, double* impact, double* encounter, int term_stride) override {
    if (lo > hi) return;
    const bool apart = encounter != impact;
    widen(lo, hi, apart);
    const int n = hi - lo + 1;
    if (shared_ || apart) {
      impact_.take_terms(lo, n, impact + lo, term_stride);
      if (apart) encounter_.take_terms(lo, n, encounter + lo, term_stride);
      return;
    }
    // A piece whose distributions are one into sums kept apart: the same values into both.
    arc_.resize(static_cast<std::size_t>(n));
    for (int b = 0; b < n; ++b) {
      double* t = impact + lo + b;
      arc_[static_cast<std::size_t>(b)] = t[0] + t[term_stride];
      t[0] = t[term_stride] = 0.0;
    }
    impact_.add(lo, n, arc_.data());
    encounter_.add(lo, n, arc_.data());
  }
  // The part's sums into `out` (its moments are the caller's); the sums are cleared.
  void take(RowPart& out) {
    out.lo = lo_;
    out.hi = hi_;
    out.shared = shared_;
    out.impact.clear();
    out.encounter.clear();
    if (lo_ <= hi_) {
      out.impact.assign(impact_.at(lo_), impact_.at(hi_) + 1);
      if (!shared_) out.encounter.assign(encounter_.at(lo_), encounter_.at(hi_) + 1);
    }
    clear();
  }

 private:
  std::vector<double> arc_;  // a piece's values, where they go into both
};

// A thread's sums of one body: its parts, in catalogue order, as compensated sums.
class BodyAccumulator : public BinRange<CompensatedBins> {
 public:
  void add(const RowPart& part) {
    if (part.lo > part.hi) return;
    widen(part.lo, part.hi, !part.shared);
    const int n = part.hi - part.lo + 1;
    impact_.add(part.lo, n, part.impact.data());
    if (shared_) return;
    encounter_.add(part.lo, n, (part.shared ? part.impact : part.encounter).data());
  }
  // The body's values, each rounded once and, for sums of weights, then scaled into p_coll's
  // unit, into `out`; the sums are cleared.
  void store(BodySpeeds& out, bool weights) {
    const CompensatedBins& enc = shared_ ? impact_ : encounter_;
    // The range of nonzero values (a touched bin may still hold 0).
    const auto zero = [&](int b) { return impact_.zero(b) && enc.zero(b); };
    int lo = lo_;
    int hi = hi_;
    while (lo <= hi && zero(lo)) ++lo;
    while (hi >= lo && zero(hi)) --hi;
    out.lo = lo;
    out.hi = hi;
    out.impact.clear();
    out.encounter.clear();
    const auto value = [weights](double sum) { return weights ? scale_speed_weights(sum) : sum; };
    for (int b = lo; b <= hi; ++b) {
      out.impact.push_back(value(impact_.value(b)));
      out.encounter.push_back(value(enc.value(b)));
    }
    clear();
  }
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

// Pairs per part of a row: the classic rule's pairs cost about alike, the accurate
// integrator's from a few hundred to many thousand points.
constexpr std::int64_t kClassicPart = kChunkPairs;
constexpr std::int64_t kAccuratePart = 16;

// Pairs [k0, k1) of the body's row into `part` (and their p_coll, v_imp_mean and error into
// the slots p[k], v[k], error[k]). Returns the pairs that fit no overlap case.
std::int64_t evaluate_part(std::span<const PreparedOrbit> population1, const PreparedOrbit& body,
                           double v_esc, const PairMode& mode, std::int64_t k0, std::int64_t k1,
                           double* p, double* v, double* error, RowPart& part) {
  const SpeedBinning& bins = mode.speed_bins;
  const double v_esc2 = v_esc * v_esc;
  thread_local PartSums acc;
  acc.prepare(bins.values());
  long double p_sum = 0.0L, pv_sum = 0.0L, pv2_sum = 0.0L;
  // The moments of a pair with a finite value, in catalogue order.
  const auto add_moments = [&](double p_coll, double v_imp_mean, double v_rel_rms) {
    const double mean_square = v_rel_rms * v_rel_rms + v_esc2;
    p_sum += p_coll;
    pv_sum += static_cast<long double>(p_coll) * static_cast<long double>(v_imp_mean);
    pv2_sum += static_cast<long double>(p_coll) * static_cast<long double>(mean_square);
  };
  std::int64_t no_case = 0;
  if (mode.accurate()) {
    thread_local AccuratePairBins pair_bins;
    pair_bins.prepare(bins);
    kernel::AccurateOptions options;
    options.rel = mode.accuracy;
    options.min_mutual_inclination = mode.min_mutual_inclination;
    options.node_sink = &pair_bins;
    for (std::int64_t k = k0; k < k1; ++k) {
      const PreparedOrbit& o = population1[static_cast<std::size_t>(k)];
      const kernel::AccurateResult r =
          kernel::accurate_pair(o.a_cm, o.e, o.inc, body.a_cm, body.e, body.inc, v_esc, options);
      p[k] = r.p_coll;  // NaN when divergent
      v[k] = r.v_imp_mean;
      if (error != nullptr) error[k] = r.p_coll_error;
      if (!std::isnan(r.p_coll)) add_moments(r.p_coll, r.v_imp_mean, r.v_rel_rms);
      pair_bins.hand_over(acc, static_cast<std::size_t>(k));
    }
  } else {
    PairResult out[kClassicPart];
    const std::int64_t count = k1 - k0;
    for (std::int64_t q = 0; q < count; ++q) out[q] = PairResult{};
    no_case = fast_gaussorb_row_speeds(
        program_rules(),
        population1.subspan(static_cast<std::size_t>(k0), static_cast<std::size_t>(count)), body,
        v_esc, out, SpeedRequest{&bins, nullptr, &acc});
    for (std::int64_t q = 0; q < count; ++q) {
      const PairResult& r = out[q];
      p[k0 + q] = r.p_coll;
      v[k0 + q] = r.v_imp_mean;
      add_moments(r.p_coll, r.v_imp_mean, r.v_rel_rms);
    }
  }
  acc.take(part);
  part.p = p_sum;
  part.pv = pv_sum;
  part.pv2 = pv2_sum;
  return no_case;
}

}  // namespace

std::int64_t evaluate_bodies_with_speeds(std::span<const PreparedOrbit> population1,
                                         std::span<const PreparedOrbit> bodies, double v_esc,
                                         const PairMode& mode, std::int64_t body_begin,
                                         std::int64_t body_end, double* proba, double* impvel,
                                         double* error, BodySpeeds* speeds, int threads) {
  const auto n1 = static_cast<std::int64_t>(population1.size());
  if (body_end <= body_begin || n1 == 0) return 0;
  const std::int64_t chunk = mode.accurate() ? kAccuratePart : kClassicPart;
  const std::int64_t per_body = (n1 + chunk - 1) / chunk;
  const int team = pair_team_size(threads);
  // Bodies a window: enough parts to keep every thread busy, few enough that the parts' sums
  // stay small.
  const std::int64_t window = std::max<std::int64_t>(1, (8 * team + per_body - 1) / per_body);
  thread_local std::vector<RowPart> parts;
  std::int64_t no_case = 0;
  for (std::int64_t j0 = body_begin; j0 < body_end; j0 += window) {
    const std::int64_t n_bodies = std::min(window, body_end - j0);
    const std::int64_t n_parts = n_bodies * per_body;
    if (static_cast<std::int64_t>(parts.size()) < n_parts) {
      parts.resize(static_cast<std::size_t>(n_parts));
    }
    RowPart* part = parts.data();
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) reduction(+ : no_case)
    for (std::int64_t t = 0; t < n_parts; ++t) {
      const std::int64_t j = j0 + t / per_body;
      const std::int64_t k0 = t % per_body * chunk;
      const std::int64_t row = (j - body_begin) * n1;
      no_case += evaluate_part(population1, bodies[static_cast<std::size_t>(j)], v_esc, mode, k0,
                               std::min(n1, k0 + chunk), proba + row, impvel + row,
                               error != nullptr ? error + row : nullptr, part[t]);
    }
    // Each body's parts added in catalogue order.
#pragma omp parallel for schedule(dynamic, 1) num_threads(team)
    for (std::int64_t b = 0; b < n_bodies; ++b) {
      thread_local BodyAccumulator acc;
      acc.prepare(mode.speed_bins.values());
      long double p_sum = 0.0L, pv_sum = 0.0L, pv2_sum = 0.0L;
      for (std::int64_t c = 0; c < per_body; ++c) {
        const RowPart& pt = part[b * per_body + c];
        acc.add(pt);
        p_sum += pt.p;
        pv_sum += pt.pv;
        pv2_sum += pt.pv2;
      }
      BodySpeeds& s = speeds[j0 + b - body_begin];
      // The classic rule handed over sums of weights; the accurate integrator's are scaled.
      acc.store(s, !mode.accurate());
      s.p_sum = static_cast<double>(p_sum);
      s.pv_sum = static_cast<double>(pv_sum);
      s.pv2_sum = static_cast<double>(pv2_sum);
    }
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
