// The speed bins (their layout, parsing and checks) and the public calls that compute the
// pairs' speed distributions with the fast kernel's binning quadrature.
#include "pairtrack/speeds.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/kernel_calls.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/fast/fast_kernel.h"
#include "kernel/pair_range.h"
#include "kernel/speed_binning.h"

namespace pairtrack {

namespace detail {

namespace {

// n for bins already known to be valid: the smallest count whose upper edge reaches max, from
// the rounded quotient in a step or two (no check of the edges).
// Bins that fail the simple checks give 0.
int count_of_valid(const SpeedBins& b) {
  if (!(std::isfinite(b.min_km_s) && std::isfinite(b.max_km_s) && b.step_km_s > 0.0 &&
        b.max_km_s > b.min_km_s)) {
    return 0;
  }
  const double guess = std::ceil((b.max_km_s - b.min_km_s) / b.step_km_s);
  if (!(guess <= kMaxSpeedBins + 1.0)) return 0;
  auto edge = [&b](int k) { return b.min_km_s + static_cast<double>(k) * b.step_km_s; };
  int n = std::max(1, static_cast<int>(guess));
  while (n > 1 && edge(n - 1) >= b.max_km_s) --n;
  while (edge(n) < b.max_km_s && n <= kMaxSpeedBins) ++n;
  return n;
}

// The layout of bins already known to be valid.
SpeedBinning binning_of_valid(const SpeedBins& bins) {
  SpeedBinning s;
  s.n = count_of_valid(bins);
  s.min = bins.min_km_s;
  s.max = bins.max_km_s;
  s.step = bins.step_km_s;
  s.inv_step = 1.0 / bins.step_km_s;
  return s;
}

// The bin count, or 0 with the reason in `why` (may be null).
int bin_count(const SpeedBins& b, std::string* why) {
  auto fail = [why](const char* text) {
    if (why != nullptr) *why = text;
    return 0;
  };
  if (!(std::isfinite(b.min_km_s) && std::isfinite(b.max_km_s) && std::isfinite(b.step_km_s))) {
    return fail("the speed bins' numbers must be finite");
  }
  if (!(b.min_km_s >= 0.0)) return fail("the speed bins' minimum must be 0 or more");
  if (!(b.max_km_s > b.min_km_s)) return fail("the speed bins' maximum must be above the minimum");
  if (!(b.step_km_s > 0.0)) return fail("the speed bins' step must be above 0");
  const double guess = std::ceil((b.max_km_s - b.min_km_s) / b.step_km_s);
  if (!(guess <= kMaxSpeedBins + 1.0)) return fail("the speed bins ask for more than 100000 bins");
  auto edge = [&b](int k) { return b.min_km_s + static_cast<double>(k) * b.step_km_s; };
  // Consecutive edges must differ: a step below the spacing of doubles at these speeds would
  // give empty bins and a count that never reaches max.
  const int guessed = std::max(1, static_cast<int>(guess));
  for (int k = 0; k <= guessed && k <= kMaxSpeedBins; ++k) {
    if (!(edge(k + 1) > edge(k))) {
      return fail("the speed bins' step is too small to separate the edges at these speeds");
    }
  }
  // n: the smallest count whose upper edge reaches max.
  int n = guessed;
  while (n > 1 && edge(n - 1) >= b.max_km_s) --n;
  while (edge(n) < b.max_km_s && n <= kMaxSpeedBins) ++n;
  if (n > kMaxSpeedBins) return fail("the speed bins ask for more than 100000 bins");
  if (why != nullptr) why->clear();
  return n;
}

}  // namespace

SpeedBinning speed_binning(const SpeedBins& bins) {
  SpeedBinning s;
  s.n = bin_count(bins, nullptr);
  if (s.n == 0) return s;
  s.min = bins.min_km_s;
  s.max = bins.max_km_s;
  s.step = bins.step_km_s;
  s.inv_step = 1.0 / bins.step_km_s;
  return s;
}

}  // namespace detail

using namespace detail;

int SpeedBins::count() const { return bin_count(*this, nullptr); }

// The layout calls take the bins as valid (checking every edge per call would make a loop over
// the bins quadratic); invalid bins give meaningless edges, never a crash.
double SpeedBins::lower_km_s(std::size_t i) const {
  const SpeedBinning s = binning_of_valid(*this);
  if (i == 0) return -std::numeric_limits<double>::infinity();
  if (i >= static_cast<std::size_t>(s.n) + 1) return s.max;
  return s.edge(static_cast<int>(i) - 1);
}

double SpeedBins::upper_km_s(std::size_t i) const {
  const SpeedBinning s = binning_of_valid(*this);
  if (i == 0) return s.min;
  if (i >= static_cast<std::size_t>(s.n) + 1) return std::numeric_limits<double>::infinity();
  if (i == static_cast<std::size_t>(s.n)) return s.max;
  return s.edge(static_cast<int>(i));
}

std::size_t SpeedBins::index(double v_km_s) const {
  return static_cast<std::size_t>(binning_of_valid(*this).index(v_km_s));
}

std::string speed_bins_problem(const SpeedBins& bins) {
  std::string why;
  bin_count(bins, &why);
  return why;
}

SpeedBins parse_speed_bins(std::string_view text) {
  const std::string s(text);
  const std::string shape =
      "speed bins must be MIN:MAX:STEP (three numbers separated by colons), not '" + s + "'";
  double v[3] = {0.0, 0.0, 0.0};
  std::size_t pos = 0;
  for (int f = 0; f < 3; ++f) {
    const std::size_t colon = f < 2 ? s.find(':', pos) : s.size();
    if (colon == std::string::npos) throw std::invalid_argument(shape);
    const std::string field = s.substr(pos, colon - pos);
    // Decimal or exponent forms only: no blanks, nothing left over (a fourth field leaves
    // ":..." after the third number), no hexadecimal.
    if (field.empty() || field.find_first_of(" \t\n\r\f\vxX") != std::string::npos) {
      throw std::invalid_argument(shape);
    }
    char* end = nullptr;
    v[f] = std::strtod(field.c_str(), &end);
    if (end != field.c_str() + field.size()) throw std::invalid_argument(shape);
    pos = colon + 1;
  }
  const SpeedBins bins{v[0], v[1], v[2]};
  const std::string why = speed_bins_problem(bins);
  if (!why.empty()) throw std::invalid_argument(why);
  return bins;
}

namespace {

SpeedBinning checked_binning(const SpeedBins& bins, const KernelOptions& options) {
  const std::string why = speed_bins_problem(bins);
  if (!why.empty()) throw std::invalid_argument(why);
  check_mode(options);
  return speed_binning(bins);
}

void store_result(const PairResultArrays& out, std::int64_t index, const PairResult& r) {
  store(out, index, r);
  if (out.p_coll_error != nullptr) out.p_coll_error[index] = 0.0;
}

// Pair q's distributions into the caller's arrays: zeros outside [lo, hi].
struct DistributionStore {
  const SpeedDistributionArrays* out;
  std::size_t values;
  void operator()(std::int64_t q, int lo, int hi, const double* impact,
                  const double* encounter) const {
    const std::size_t base = static_cast<std::size_t>(q) * values;
    if (out->impact != nullptr) {
      double* d = out->impact + base;
      std::fill(d, d + values, 0.0);
      for (int b = lo; b <= hi; ++b) d[b] = impact[b];
    }
    if (out->encounter != nullptr) {
      double* d = out->encounter + base;
      std::fill(d, d + values, 0.0);
      for (int b = lo; b <= hi; ++b) d[b] = encounter[b];
    }
  }
};

// The accurate mode's pair q: the integrator's terms binned as they come (their weights are in
// p_coll's unit already); the scalar outputs as collision_pair_matrix stores them.
void accurate_distributions(const PreparedOrbit& o1, const PreparedOrbit& o2,
                            const KernelOptions& options, const SpeedBinning& binning,
                            const SpeedDistributionArrays& out, const DistributionStore& to,
                            std::int64_t q) {
  struct Bins : kernel::AccurateNodeSink {
    const SpeedBinning* bins;
    std::vector<double> impact, encounter;
    int lo, hi;
    void node(double weight, double v_enc_km, double v_imp_km) override {
      const int i = bins->index(v_imp_km);
      const int e = bins->index(v_enc_km);
      impact[static_cast<std::size_t>(i)] += weight;
      encounter[static_cast<std::size_t>(e)] += weight;
      lo = std::min(lo, std::min(i, e));
      hi = std::max(hi, std::max(i, e));
    }
  } sink;
  sink.bins = &binning;
  sink.impact.assign(static_cast<std::size_t>(binning.values()), 0.0);
  sink.encounter.assign(static_cast<std::size_t>(binning.values()), 0.0);
  sink.lo = binning.values();
  sink.hi = -1;
  kernel::AccurateOptions a;
  a.rel = options.accuracy;
  a.min_mutual_inclination = options.min_mutual_inclination_deg * 0.017453292519943295;  // pi / 180
  a.node_sink = &sink;
  const kernel::AccurateResult r =
      kernel::accurate_pair(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc, options.v_esc_km_s, a);
  to(q, sink.lo, sink.hi, sink.impact.data(), sink.encounter.data());
  store_result(out.pairs, q, PairResult{r.p_coll, r.v_rel_mean, r.v_rel_rms, r.v_imp_mean});
  if (out.pairs.p_coll_error != nullptr) out.pairs.p_coll_error[q] = r.p_coll_error;
}

}  // namespace

std::int64_t speed_distribution_matrix(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                       const SpeedBins& bins, const SpeedDistributionArrays& out,
                                       const KernelOptions& options) {
  check_orbits(orbits1, "orbits1");
  check_orbits(orbits2, "orbits2");
  const SpeedBinning binning = checked_binning(bins, options);
  const auto n1 = static_cast<std::int64_t>(orbits1.count);
  const auto n2 = static_cast<std::int64_t>(orbits2.count);
  if (n1 * n2 == 0) return 0;
  const std::vector<PreparedOrbit> p1 =
      prepare_all(orbits1, options.angle_unit, pair_team_size(options.threads));
  const std::vector<PreparedOrbit> p2 =
      prepare_all(orbits2, options.angle_unit, pair_team_size(options.threads));
  const DistributionStore to{&out, static_cast<std::size_t>(binning.values())};
  if (options.accuracy > 0.0) {
#pragma omp parallel for schedule(dynamic, 16) num_threads(pair_team_size(options.threads))
    for (std::int64_t q = 0; q < n1 * n2; ++q) {
      if (cancelled(options)) continue;
      const std::int64_t i = q / n2, j = q % n2;
      accurate_distributions(p1[static_cast<std::size_t>(i)], p2[static_cast<std::size_t>(j)],
                             options, binning, out, to, q);
    }
    if (cancelled(options)) throw Cancelled();
    return 0;
  }
  // The chunks run over the flattened index j * n1 + i (rows share orbit j of orbits2); the
  // caller's index is i * n2 + j.
  const std::int64_t no_case = evaluate_pair_chunks_speeds(
      p1, p2, options.v_esc_km_s, 0, n1 * n2, pair_team_size(options.threads), binning,
      [&](std::int64_t, std::int64_t j, std::int64_t i0, std::int64_t count,
          const PairResult* row) {
        for (std::int64_t k = 0; k < count; ++k) store_result(out.pairs, (i0 + k) * n2 + j, row[k]);
      },
      [&](std::int64_t q, int lo, int hi, const double* impact, const double* encounter) {
        to((q % n1) * n2 + q / n1, lo, hi, impact, encounter);
      },
      options.cancel);
  if (cancelled(options)) throw Cancelled();
  return no_case;
}

std::int64_t speed_distribution_pairs(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                      const SpeedBins& bins, const SpeedDistributionArrays& out,
                                      const KernelOptions& options) {
  if (orbits1.count != orbits2.count) {
    throw std::invalid_argument("speed_distribution_pairs: the two populations differ in length");
  }
  check_orbits(orbits1, "orbits1");
  check_orbits(orbits2, "orbits2");
  const SpeedBinning binning = checked_binning(bins, options);
  const auto n = static_cast<std::int64_t>(orbits1.count);
  if (n == 0) return 0;
  const FastRules& rules = program_rules();
  const DistributionStore to{&out, static_cast<std::size_t>(binning.values())};
  const std::int64_t n_chunks = (n + kChunkPairs - 1) / kChunkPairs;
  std::int64_t no_case = 0;
#pragma omp parallel for schedule(dynamic, 1) num_threads(pair_team_size(options.threads)) \
    reduction(+ : no_case)
  for (std::int64_t c = 0; c < n_chunks; ++c) {
    if (cancelled(options)) continue;
    const std::int64_t end = std::min(n, (c + 1) * kChunkPairs);
    for (std::int64_t k = c * kChunkPairs; k < end; ++k) {
      const AngleUnit unit = options.angle_unit;
      const PreparedOrbit o1 = prepare(orbits1.semimajor_axis_au[k], orbits1.eccentricity[k],
                                       orbits1.inclination[k], unit);
      const PreparedOrbit o2 = prepare(orbits2.semimajor_axis_au[k], orbits2.eccentricity[k],
                                       orbits2.inclination[k], unit);
      if (options.accuracy > 0.0) {
        accurate_distributions(o1, o2, options, binning, out, to, k);
        continue;
      }
      struct One : PairSpeedSink {
        const DistributionStore* to;
        std::int64_t q;
        void pair(std::size_t, int lo, int hi, const double* impact,
                  const double* encounter) override {
          (*to)(q, lo, hi, impact, encounter);
        }
      } sink;
      sink.to = &to;
      sink.q = k;
      PairResult r{};
      PairStatus status = PairStatus::kDisjoint;
      no_case += fast_gaussorb_row_speeds(rules, std::span<const PreparedOrbit>(&o1, 1), o2,
                                          options.v_esc_km_s, &r, SpeedRequest{&binning, &sink},
                                          &status) != 0
                     ? 1
                     : 0;
      store_result(out.pairs, k, r);
    }
  }
  if (cancelled(options)) throw Cancelled();
  return no_case;
}

}  // namespace pairtrack
