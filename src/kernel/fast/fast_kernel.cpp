// The fast collision kernel's pair level: apsis matching and overlap cases
// as in gaussorb, the pairs' integrals gathered into groups of eight lanes,
// and the scaling of each pair's sums into report units.
#include "kernel/fast/fast_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "kernel/fast/fast_lanes.h"
#include "kernel/fast/fast_ops.h"
#include "kernel/kernel_constants.h"
#include "kernel/overlap_geometry.h"

namespace pairtrack::detail {

PreparedOrbit prepare_orbit(double a_cm, double e, double inc) {
  using namespace kernel;
  PreparedOrbit o;
  o.a_cm = a_cm;
  o.e = e;
  o.inc = inc;
  o.p_cm = a_cm * (1.0 - e * e);
  o.period_s = std::pow(a_cm, 1.5) * kTwoPi / kSqrtGM;
  o.v_scale = std::sqrt(kGM / o.p_cm);
  o.e_p = e * o.p_cm;
  o.cos_inc = std::cos(inc);
  o.sin_inc = std::sin(inc);
  return o;
}

bool avx2_supported() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  return fast::avx2_compiled() && __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

bool avx512_supported() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  // The run-time check includes the operating system's saving of the
  // 512-bit registers.
  return fast::avx512_compiled() && __builtin_cpu_supports("avx512f");
#else
  return false;
#endif
}

SimdPath resolved_path(SimdPath path) {
  if (path == SimdPath::kScalar) return SimdPath::kScalar;
  if ((path == SimdPath::kAuto || path == SimdPath::kAvx512) && avx512_supported()) {
    return SimdPath::kAvx512;
  }
  return avx2_supported() ? SimdPath::kAvx2 : SimdPath::kScalar;
}

namespace {

using fast::FillKernels;
using fast::FillLanes;
using fast::IntegralJob;
using fast::kLanes;
using fast::LaneBins;
using fast::LaneSums;
using fast::LaneTables;
using fast::NodeRow;
using fast::ThetaRow;

// Pairs gathered per block: their one or two integrals fill the lanes. Large
// enough that the last, partly filled group of lanes costs little.
constexpr int kBlockPairs = 256;
constexpr int kBlockJobs = 2 * kBlockPairs;

struct PairPlan {
  PairStatus status = PairStatus::kDisjoint;
  int n_jobs = 0;     // 1 (one arc) or 2 (two arcs whose sums are added)
  int first_job = 0;  // index of the pair's first integral in the block
};

// Working storage of a row: two sets of lane tables (one being integrated,
// one being filled), on the stack for the program's node counts, on the heap
// (once per row) for larger ones.
class RowStorage {
 public:
  explicit RowStorage(const FastRules& rules) {
    const int n_cap = std::max(rules.n_cap(), 0);
    const int n_theta = std::max(rules.n_theta(), 0);
    if (!rules.valid()) return;
    for (int b = 0; b < 2; ++b) {
      if (n_cap <= kFastInlineNodes && n_theta <= kFastInlineNodes) {
        Inline& s = inline_[b];
        tables_[b] = LaneTables{s.nodes, s.thetas, s.x, s.w, &s.lanes};
      } else {
        Heap& h = heap_[b];
        h.nodes.resize(static_cast<std::size_t>(n_cap));
        h.thetas.resize(static_cast<std::size_t>(n_theta));
        h.x.resize(static_cast<std::size_t>(kLanes) * static_cast<std::size_t>(n_theta));
        h.w.resize(static_cast<std::size_t>(kLanes) * static_cast<std::size_t>(n_theta));
        tables_[b] = LaneTables{h.nodes.data(), h.thetas.data(), h.x.data(), h.w.data(), &h.lanes};
      }
    }
  }
  const LaneTables& tables(int b) const { return tables_[b]; }

 private:
  struct Inline {
    NodeRow nodes[kFastInlineNodes];
    ThetaRow thetas[kFastInlineNodes];
    double x[kLanes * kFastInlineNodes];
    double w[kLanes * kFastInlineNodes];
    FillLanes lanes;
  };
  struct Heap {
    std::vector<NodeRow> nodes;
    std::vector<ThetaRow> thetas;
    std::vector<double> x, w;
    FillLanes lanes;
  };
  Inline inline_[2];
  Heap heap_[2];
  LaneTables tables_[2];
};

// Apsis matching and overlap case of one pair; appends its integrals.
void plan_pair(const PreparedOrbit& o1, const PreparedOrbit& o2, PairPlan& plan, IntegralJob* jobs,
               int& n_jobs) {
  plan = PairPlan{};
  const OverlapBounds b = match_apsides(o1.a_cm, o1.e, o2.a_cm, o2.e);
  if (b.disjoint()) {
    plan.status = PairStatus::kDisjoint;
    return;
  }
  IntegrationSet set1;
  IntegrationSet set2;
  int split_flag = 0;
  const int which = linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, o1.a_cm, o2.a_cm,
                                   o1.e, o2.e, o1.inc, o2.inc, set1, set2, split_flag);
  if (which == 0) {
    plan.status = PairStatus::kNoCase;
    return;
  }
  plan.status = PairStatus::kIntegrated;
  plan.first_job = n_jobs;
  // Orbit A is solved for, orbit B's true anomaly is the quadrature variable.
  switch (which) {
    case 1:  // outer arc along orbit 1, inner arc along orbit 2
      jobs[n_jobs++] = IntegralJob{&o2, &o1, set1.c_first, set1.c_second};
      jobs[n_jobs++] = IntegralJob{&o1, &o2, set2.c_first, set2.c_second};
      break;
    case 2:  // one arc over orbit 1's whole true anomaly
      jobs[n_jobs++] = IntegralJob{&o2, &o1, set1.c_first, set2.c_second};
      break;
    case 3:  // one arc over orbit 2's whole true anomaly
      jobs[n_jobs++] = IntegralJob{&o1, &o2, set1.c_first, set2.c_second};
      break;
    default:  // case 4: outer arc along orbit 2, inner arc along orbit 1
      jobs[n_jobs++] = IntegralJob{&o1, &o2, set1.c_first, set1.c_second};
      jobs[n_jobs++] = IntegralJob{&o2, &o1, set2.c_first, set2.c_second};
      break;
  }
  plan.n_jobs = n_jobs - plan.first_job;
}

FillKernels fill_kernels(SimdPath path) {
  switch (path) {
    case SimdPath::kAvx512: return fast::fill_kernels_avx512();
    case SimdPath::kAvx2: return fast::fill_kernels_avx2();
    default: return fast::fill_kernels_scalar();
  }
}

// No speed bins: integrate_jobs without them.
struct NoBins {
  LaneBins group(int, int) const { return LaneBins{}; }
  bool done(int) const { return true; }
};

// The sums of jobs[0 .. n_jobs-1], eight lanes at a time. On the vector
// paths each group's quadrature fills the next group's tables between its
// points (the two table sets alternate). With kBins every term is also binned
// into bins.group(g, lanes), the bins of the group of jobs g .. g + lanes - 1
// (the sums do not change), and bins.done(g + lanes) follows each group, once
// its sums are in job_sums; where it returns false, the jobs after it are left
// out.
template <bool kBins, class Bins = NoBins>
void integrate_jobs(const FastRules& rules, const RowStorage& storage, const IntegralJob* jobs,
                    int n_jobs, double v_esc, SimdPath path, double (*job_sums)[4],
                    Bins&& bins = NoBins{}) {
  if (n_jobs <= 0) return;
  auto group_lanes = [n_jobs](int g) { return std::min(kLanes, n_jobs - g); };
  if (!rules.valid()) {
    for (int j = 0; j < n_jobs; ++j) {
      for (int s = 0; s < 4; ++s) job_sums[j][s] = 0.0;
    }
    return;
  }
  const FillKernels kernels = fill_kernels(path);
  if (path == SimdPath::kScalar) {
    const LaneTables& t = storage.tables(0);
    for (int g = 0; g < n_jobs; g += kLanes) {
      const int lanes = group_lanes(g);
      LaneSums sums = {};
      fast::fill_tables(rules, jobs + g, lanes, t, kernels);
      if constexpr (kBins) {
        fast::integrate_scalar_binned(rules, t, lanes, v_esc, sums, bins.group(g, lanes));
      } else {
        fast::integrate_scalar(rules, t, lanes, v_esc, sums);
      }
      for (int lane = 0; lane < lanes; ++lane) {
        for (int s = 0; s < 4; ++s) job_sums[g + lane][s] = sums[s][lane];
      }
      if constexpr (kBins) {
        if (!bins.done(g + lanes)) return;
      }
    }
    return;
  }
  int cur = 0;
  fast::fill_tables(rules, jobs, group_lanes(0), storage.tables(cur), kernels);
  for (int g = 0; g < n_jobs; g += kLanes) {
    const int lanes = group_lanes(g);
    const int g_next = g + kLanes;
    const LaneTables& t = storage.tables(cur);
    const LaneTables& t_next = storage.tables(1 - cur);
    fast::TableFill next;
    if (g_next < n_jobs) {
      next = fast::TableFill(rules, jobs + g_next, group_lanes(g_next), t_next, kernels);
    }
    LaneSums sums = {};
    if constexpr (kBins) {
      const LaneBins group = bins.group(g, lanes);
      if (path == SimdPath::kAvx512) {
        fast::integrate_avx512_binned(rules, t, v_esc, sums, &next, group);
      } else {
        fast::integrate_avx2_binned(rules, t, lanes, v_esc, sums, &next, group);
      }
    } else if (path == SimdPath::kAvx512) {
      fast::integrate_avx512(rules, t, v_esc, sums, &next);
    } else {
      fast::integrate_avx2(rules, t, lanes, v_esc, sums, &next);
    }
    next.finish();  // node counts whose quadrature has fewer points than the fill has pieces
    for (int lane = 0; lane < lanes; ++lane) {
      for (int s = 0; s < 4; ++s) job_sums[g + lane][s] = sums[s][lane];
    }
    if constexpr (kBins) {
      if (!bins.done(g + lanes)) return;
    }
    cur = 1 - cur;
  }
}

// gaussorb's last steps: add the two arcs, refuse sums without a finite
// positive probability, scale into report units.
void finish_pair(const PairPlan& plan, const double (*job_sums)[4], PairResult& out) {
  if (plan.status == PairStatus::kDisjoint) {
    out.p_coll = 0.0;  // the speeds keep the caller's values
    return;
  }
  double total[4] = {0.0, 0.0, 0.0, 0.0};
  if (plan.status == PairStatus::kIntegrated) {
    const double* first = job_sums[plan.first_job];
    if (plan.n_jobs == 2) {
      const double* second = job_sums[plan.first_job + 1];
      for (int i = 0; i < 4; ++i) total[i] = first[i] + second[i];
    } else {
      for (int i = 0; i < 4; ++i) total[i] = first[i];
    }
  }
  if (!(std::isfinite(total[kSumP]) && total[kSumP] > 0.0)) {
    out = PairResult{};
    return;
  }
  using namespace kernel;
  const double c = kInvPiCubed;
  const double x = total[kSumP] * c;
  out.p_coll = fast::sdiv(x * kCm2SToKm2Yr, kProbabilityUnit);
  out.v_rel_mean = fast::sdiv(fast::sdiv(total[kSumV] * c, 100000.0), x);
  out.v_rel_rms = fast::sdiv(fast::ssqrt(fast::sdiv(total[kSumV2] * c, x)), 100000.0);
  out.v_imp_mean = fast::sdiv(c * total[kSumVimp], x);
}

}  // namespace

double scale_speed_weights(double w) {
  using namespace kernel;
  return fast::sdiv((w + w) * kInvPiCubed * kCm2SToKm2Yr, kProbabilityUnit);
}

namespace {

// How a row's speed bins are handed over.
enum class BinMode {
  kPairs,  // pair by pair, scaled (PairSpeedSink)
  kArcs,   // arc by arc, as summed weights (RowWeightSink), each arc's bins cleared after it
  kLanes,  // summed in the lanes' bins over the whole row, each lane's handed over at its end
};

// Per-thread working storage of the speed bins: a ring of two groups of
// lanes, job j's bins at ring place j mod 2 kLanes (its term-1 sums, then its
// term-2 sums; see LaneBins). A pair's jobs are consecutive, so they lie in
// one group or in two consecutive ones. Pair by pair or arc by arc, a pair is
// finished as soon as its last group is integrated and its places are cleared:
// the bins in use stay few and in the caches. Summed over a row, each place
// keeps adding the terms of the jobs integrated there, and is handed over once,
// at the row's end. Kept at zero between uses (only the indices a place
// touched are cleared again), so that a row costs no clearing of whole
// distributions.
class SpeedWork {
 public:
  static constexpr int kRing = 2 * kLanes;

  void prepare(int values) {
    if (values != values_) {
      values_ = values;
      const std::size_t n = static_cast<std::size_t>(2 * kRing) * static_cast<std::size_t>(values);
      impact_.assign(n, 0.0);
      encounter_.assign(n, 0.0);
      lo_.assign(kRing, values);
      hi_.assign(kRing, -1);
      state_.assign(kRing, LaneBins::kEmpty);
      for (std::vector<double>* v :
           {&pair_impact_, &pair_encounter_, &arc_impact_, &arc_encounter_}) {
        v->assign(static_cast<std::size_t>(values), 0.0);
      }
    }
  }
  // The bins of the group of jobs g .. g + lanes - 1 (g a multiple of kLanes). Summed over a
  // row, the bins in use are found at its end, not widened term by term.
  LaneBins group(const SpeedBinning* bins, int g, int lanes, BinMode mode) {
    const std::size_t r = ring(g);
    return LaneBins{bins,
                    bins_of(impact_, g),
                    bins_of(encounter_, g),
                    lo_.data() + r,
                    hi_.data() + r,
                    state_.data() + r,
                    2 * values_,
                    values_,
                    lanes,
                    mode != BinMode::kLanes};
  }

  // Pair k of the block to the request's sink, pair by pair (scaled as gaussorb scales p_coll)
  // or arc by arc (summed weights), its places then cleared. Summing over the row (kLanes),
  // only checks the pair: false where its sum is not finite (its terms must not stay in the
  // lanes' sums).
  bool finish_pair(const PairPlan& plan, const double (*job_sums)[4], std::size_t k,
                   const SpeedRequest& request, BinMode mode) {
    if (plan.status != PairStatus::kIntegrated) {
      if (mode == BinMode::kPairs) {
        request.sink->pair(k, values_, -1, pair_impact_.data(), pair_encounter_.data());
      }
      return true;
    }
    const int j0 = plan.first_job;
    const bool two = plan.n_jobs == 2;
    double total_p = job_sums[j0][kSumP];
    if (two) total_p = job_sums[j0][kSumP] + job_sums[j0 + 1][kSumP];
    // The weights are +0 or more, or infinite or NaN; a finite sum of zero adds only zeros.
    if (mode == BinMode::kLanes) return std::isfinite(total_p);
    if (!(std::isfinite(total_p) && total_p > 0.0)) {
      clear(j0, two);
      if (mode == BinMode::kPairs) {
        request.sink->pair(k, values_, -1, pair_impact_.data(), pair_encounter_.data());
      }
      return true;
    }
    if (mode == BinMode::kArcs) {
      // Arc by arc, each over the bins it touched.
      for (int j = j0; j <= j0 + (two ? 1 : 0); ++j) take(j, *request.weights);
      return true;
    }
    int lo = lo_[ring(j0)];
    int hi = hi_[ring(j0)];
    if (two) {
      lo = std::min(lo, lo_[ring(j0 + 1)]);
      hi = std::max(hi, hi_[ring(j0 + 1)]);
    }
    // The two arcs added; a job whose encounter bins are its impact bins gives those, and
    // where every job's do, the pair's encounter distribution is its impact one.
    const bool shared0 = !apart(j0);
    const bool shared1 = two && !apart(j0 + 1);
    const bool shared = shared0 && (!two || shared1);
    double* ti = pair_impact_.data();
    double* te = pair_encounter_.data();
    double* ai = arc_impact_.data();
    double* ae = arc_encounter_.data();
    sum_arc(bins_of(impact_, j0), lo, hi, ti);
    if (!shared) sum_arc(bins_of(shared0 ? impact_ : encounter_, j0), lo, hi, te);
    if (two) {
      sum_arc(bins_of(impact_, j0 + 1), lo, hi, ai);
      for (int b = lo; b <= hi; ++b) ti[b] = ti[b] + ai[b];
      if (!shared) {
        sum_arc(bins_of(shared1 ? impact_ : encounter_, j0 + 1), lo, hi, ae);
        for (int b = lo; b <= hi; ++b) te[b] = te[b] + ae[b];
      }
    }
    for (int b = lo; b <= hi; ++b) te[b] = scale_speed_weights(shared ? ti[b] : te[b]);
    for (int b = lo; b <= hi; ++b) ti[b] = scale_speed_weights(ti[b]);
    request.sink->pair(k, lo, hi, ti, te);
    clear(j0, two);
    for (int b = lo; b <= hi; ++b) {
      pair_impact_[static_cast<std::size_t>(b)] = 0.0;
      pair_encounter_[static_cast<std::size_t>(b)] = 0.0;
    }
    return true;
  }

  // Every place's sums to `to`, place by place (a row summed in the lanes' bins), each over
  // the bins from its first to its last that is not zero (NaN counts as not zero).
  void hand_over(RowWeightSink& to) {
    for (int j = 0; j < kRing; ++j) {
      const std::size_t js = ring(j);
      lo_[js] = values_;
      hi_[js] = -1;
      if (state_[js] == LaneBins::kEmpty) continue;
      for (const bool enc : {false, true}) {
        if (enc && !apart(j)) break;
        const double* t = bins_of(enc ? encounter_ : impact_, j);
        const auto used = [&](int b) { return t[b] != 0.0 || t[values_ + b] != 0.0; };
        int lo = 0;
        int hi = values_ - 1;
        while (lo <= hi && !used(lo)) ++lo;
        while (hi >= lo && !used(hi)) --hi;
        lo_[js] = std::min(lo_[js], lo);
        hi_[js] = std::max(hi_[js], hi);
      }
      take(j, to);
    }
  }
  // Every place's bins cleared, whole.
  void clear_all() {
    std::fill(impact_.begin(), impact_.end(), 0.0);
    std::fill(encounter_.begin(), encounter_.end(), 0.0);
    for (int j = 0; j < kRing; ++j) release(j);
  }

 private:
  static std::size_t ring(int job) { return static_cast<std::size_t>(job % kRing); }
  double* bins_of(std::vector<double>& v, int job) {
    return v.data() + ring(job) * 2 * static_cast<std::size_t>(values_);
  }
  bool apart(int job) const { return state_[ring(job)] == LaneBins::kApart; }
  // The arc's distribution over [lo, hi] into out: its term-1 sums plus its term-2 sums (`t`
  // is the job's block of bins).
  void sum_arc(const double* t, int lo, int hi, double* out) const {
    const double* t2 = t + values_;
    for (int b = lo; b <= hi; ++b) out[b] = t[b] + t2[b];
  }
  // Job j's place to `to` (which zeroes its bins), then free again.
  void take(int j, RowWeightSink& to) {
    const std::size_t js = ring(j);
    if (lo_[js] <= hi_[js]) {
      double* imp = bins_of(impact_, j);
      to.take_sums(lo_[js], hi_[js], imp, apart(j) ? bins_of(encounter_, j) : imp, values_);
    }
    release(j);
  }
  // Job j's place free again (its bins all zero).
  void release(int j) {
    const std::size_t js = ring(j);
    lo_[js] = values_;
    hi_[js] = -1;
    state_[js] = LaneBins::kEmpty;
  }
  void clear(int j0, bool two) {
    for (int j = j0; j <= j0 + (two ? 1 : 0); ++j) {
      const std::size_t js = ring(j);
      for (std::vector<double>* v : {&impact_, &encounter_}) {
        if (v == &encounter_ && !apart(j)) continue;
        double* t = bins_of(*v, j);
        for (int b = lo_[js]; b <= hi_[js]; ++b) t[b] = 0.0;
        for (int b = lo_[js]; b <= hi_[js]; ++b) t[values_ + b] = 0.0;
      }
      release(j);
    }
  }

  int values_ = 0;
  std::vector<double> impact_, encounter_;
  std::vector<int> lo_, hi_;
  std::vector<std::uint8_t> state_;
  std::vector<double> pair_impact_, pair_encounter_;  // a pair's distributions
  std::vector<double> arc_impact_, arc_encounter_;    // one of its arcs'
};

// The pairs of a row, their bins handed over as `mode` says. Returns the pairs with no
// overlap case; `clean` is false when, summing over the row, a pair's sum was not finite.
std::int64_t row_speeds(const FastRules& rules, std::span<const PreparedOrbit> orbits1,
                        const PreparedOrbit& orbit2, double v_esc, PairResult* out,
                        const SpeedRequest& speeds, PairStatus* status, SimdPath use,
                        SpeedWork& work, BinMode mode, bool& clean) {
  RowStorage storage(rules);
  std::int64_t no_case = 0;
  const std::size_t n = orbits1.size();
  for (std::size_t begin = 0; begin < n; begin += kBlockPairs) {
    const int count = static_cast<int>(std::min<std::size_t>(kBlockPairs, n - begin));
    PairPlan plans[kBlockPairs];
    IntegralJob jobs[kBlockJobs];
    double job_sums[kBlockJobs][4];
    int n_jobs = 0;
    for (int i = 0; i < count; ++i) plan_pair(orbits1[begin + i], orbit2, plans[i], jobs, n_jobs);
    // Pairs in row order, each as soon as its jobs' sums are in.
    int next = 0;
    const auto finish_up_to = [&](int jobs_done) {
      for (; next < count; ++next) {
        const PairPlan& plan = plans[next];
        if (plan.status == PairStatus::kIntegrated && plan.first_job + plan.n_jobs > jobs_done) {
          return;
        }
        finish_pair(plan, job_sums, out[begin + next]);
        clean = work.finish_pair(plan, job_sums, begin + static_cast<std::size_t>(next), speeds,
                                 mode) &&
                clean;
        if (status != nullptr) status[begin + next] = plan.status;
        if (plan.status == PairStatus::kNoCase) ++no_case;
      }
    };
    struct RingBins {
      SpeedWork& work;
      const SpeedBinning* bins;
      const decltype(finish_up_to)& finish;
      BinMode mode;
      const bool& clean;
      LaneBins group(int g, int lanes) const { return work.group(bins, g, lanes, mode); }
      // Summing over the row, a pair that must not stay in the sums ends the pass.
      bool done(int jobs_done) const {
        finish(jobs_done);
        return clean || mode != BinMode::kLanes;
      }
    };
    integrate_jobs<true>(rules, storage, jobs, n_jobs, v_esc, use, job_sums,
                         RingBins{work, speeds.bins, finish_up_to, mode, clean});
    if (!clean && mode == BinMode::kLanes) return no_case;  // to be integrated again
    finish_up_to(n_jobs);
  }
  return no_case;
}

}  // namespace

std::int64_t fast_gaussorb_row_speeds(const FastRules& rules,
                                      std::span<const PreparedOrbit> orbits1,
                                      const PreparedOrbit& orbit2, double v_esc, PairResult* out,
                                      const SpeedRequest& speeds, PairStatus* status,
                                      SimdPath path) {
  const SimdPath use = resolved_path(path);
  thread_local SpeedWork work;
  work.prepare(speeds.bins->values());
  bool clean = true;
  if (speeds.weights == nullptr) {
    return row_speeds(rules, orbits1, orbit2, v_esc, out, speeds, status, use, work,
                      BinMode::kPairs, clean);
  }
  // Summed in the lanes' bins: no hand-over per integral. A pair whose sum is not finite
  // (a node on a singular point of the integrand, in degenerate geometry) must add nothing, and
  // its terms cannot be taken out of the sums again: the pass stops there, and the row is
  // integrated again, integral by integral.
  const std::int64_t no_case = row_speeds(rules, orbits1, orbit2, v_esc, out, speeds, status, use,
                                          work, BinMode::kLanes, clean);
  if (clean) {
    work.hand_over(*speeds.weights);
    return no_case;
  }
  work.clear_all();
  return row_speeds(rules, orbits1, orbit2, v_esc, out, speeds, status, use, work, BinMode::kArcs,
                    clean);
}

std::int64_t fast_gaussorb_row(const FastRules& rules, std::span<const PreparedOrbit> orbits1,
                               const PreparedOrbit& orbit2, double v_esc, PairResult* out,
                               PairStatus* status, SimdPath path) {
  const SimdPath use = resolved_path(path);
  RowStorage storage(rules);
  std::int64_t no_case = 0;
  const std::size_t n = orbits1.size();
  for (std::size_t begin = 0; begin < n; begin += kBlockPairs) {
    const int count = static_cast<int>(std::min<std::size_t>(kBlockPairs, n - begin));
    PairPlan plans[kBlockPairs];
    IntegralJob jobs[kBlockJobs];
    double job_sums[kBlockJobs][4];
    int n_jobs = 0;
    for (int i = 0; i < count; ++i) plan_pair(orbits1[begin + i], orbit2, plans[i], jobs, n_jobs);
    integrate_jobs<false>(rules, storage, jobs, n_jobs, v_esc, use, job_sums);
    for (int i = 0; i < count; ++i) {
      finish_pair(plans[i], job_sums, out[begin + i]);
      if (status != nullptr) status[begin + i] = plans[i].status;
      if (plans[i].status == PairStatus::kNoCase) ++no_case;
    }
  }
  return no_case;
}

PairStatus fast_gaussorb(const FastRules& rules, const PreparedOrbit& orbit1,
                         const PreparedOrbit& orbit2, double v_esc, PairResult& out,
                         SimdPath path) {
  PairStatus status = PairStatus::kDisjoint;
  fast_gaussorb_row(rules, std::span<const PreparedOrbit>(&orbit1, 1), orbit2, v_esc, &out, &status,
                    path);
  return status;
}

}  // namespace pairtrack::detail
