// The public kernel calls: orbits converted to centimetres and radians exactly as the program
// converts them, prepared once per orbit, and evaluated by the fast kernel in rows that share
// the second orbit, spread over OpenMP threads in fixed chunks (so the thread count cannot
// change a bit).
#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <vector>

#include "api/kernel_calls.h"
#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/classic_criterion.h"
#include "kernel/accurate/pair_class.h"
#include "kernel/fast/fast_kernel.h"
#include "kernel/pair_range.h"
#include "pairtrack/kernel.h"

namespace pairtrack {

// The library's internals, which these calls put behind the documented interface.
using namespace detail;

namespace {

// The accurate mode's pair, or (classic mode) the criterion's flags of a pair already stored.
void accurate_into(const PreparedOrbit& o1, const PreparedOrbit& o2, const KernelOptions& options,
                   const PairResultArrays& out, std::int64_t index) {
  kernel::AccurateOptions a;
  a.rel = options.accuracy;
  a.min_mutual_inclination = options.min_mutual_inclination_deg * 0.017453292519943295;  // pi / 180
  const kernel::AccurateResult r =
      kernel::accurate_pair(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc, options.v_esc_km_s, a);
  store(out, index, PairResult{r.p_coll, r.v_rel_mean, r.v_rel_rms, r.v_imp_mean});
  if (out.p_coll_error != nullptr) out.p_coll_error[index] = r.p_coll_error;
  if (out.flags != nullptr) {
    std::uint8_t f = 0;
    if (r.status == kernel::AccurateStatus::kDivergent) f |= kPairDivergent;
    if (r.status == kernel::AccurateStatus::kNotConverged) f |= kPairNotConverged;
    if (kernel::classify_pair(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc) !=
        kernel::PairClass::kOrdinary) {
      f |= kPairSingular;
    }
    out.flags[index] = f;
  }
}

void classic_extras(const PreparedOrbit& o1, const PreparedOrbit& o2, double v_esc,
                    const PairResultArrays& out, std::int64_t index) {
  if (out.p_coll_error != nullptr) out.p_coll_error[index] = 0.0;
  if (out.flags == nullptr) return;
  std::uint8_t f = 0;
  if (kernel::classic_accuracy(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc, v_esc).likely_off) {
    f |= kPairClassicOff;
  }
  if (kernel::classify_pair(o1.a_cm, o1.e, o1.inc, o2.a_cm, o2.e, o2.inc) !=
      kernel::PairClass::kOrdinary) {
    f |= kPairSingular;
  }
  out.flags[index] = f;
}

}  // namespace

std::int64_t collision_pair_matrix(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                                   const PairResultArrays& out, const KernelOptions& options) {
  check_orbits(orbits1, "orbits1");
  check_orbits(orbits2, "orbits2");
  check_mode(options);
  const auto n1 = static_cast<std::int64_t>(orbits1.count);
  const auto n2 = static_cast<std::int64_t>(orbits2.count);
  const std::int64_t total = n1 * n2;
  if (total == 0) return 0;
  const int team = pair_team_size(options.threads);
  const std::vector<PreparedOrbit> p1 = prepare_all(orbits1, options.angle_unit, team);
  const std::vector<PreparedOrbit> p2 = prepare_all(orbits2, options.angle_unit, team);
  const double v_esc = options.v_esc_km_s;
  const bool extras = out.flags != nullptr || out.p_coll_error != nullptr;
  if (options.accuracy > 0.0 || extras) {
    // Pair by pair (the accurate integrator, or the classic criterion after the rows below).
    const bool accurate = options.accuracy > 0.0;
#pragma omp parallel for schedule(dynamic, 16) num_threads(team)
    for (std::int64_t q = 0; q < total; ++q) {
      if (cancelled(options)) continue;
      const std::int64_t i = q % n1, j = q / n1;
      const PreparedOrbit& o1 = p1[static_cast<std::size_t>(i)];
      const PreparedOrbit& o2 = p2[static_cast<std::size_t>(j)];
      if (accurate) {
        accurate_into(o1, o2, options, out, i * n2 + j);
      } else {
        classic_extras(o1, o2, v_esc, out, i * n2 + j);
      }
    }
    if (cancelled(options)) throw Cancelled();
    if (accurate) return 0;
  }

  // Pair (i, j) is stored at i * n2 + j. Once options.cancel is set, the chunks not yet begun
  // are skipped and the call throws Cancelled.
  const std::int64_t no_case = evaluate_pair_chunks(
      p1, p2, options.v_esc_km_s, 0, total, team,
      [&](std::int64_t, std::int64_t j, std::int64_t i0, std::int64_t count,
          const PairResult* row) {
        for (std::int64_t k = 0; k < count; ++k) store(out, (i0 + k) * n2 + j, row[k]);
      },
      options.cancel);
  if (cancelled(options)) throw Cancelled();
  return no_case;
}

std::int64_t collision_pairs(const OrbitArrays& orbits1, const OrbitArrays& orbits2,
                             const PairResultArrays& out, const KernelOptions& options) {
  if (orbits1.count != orbits2.count) {
    throw std::invalid_argument("collision_pairs: the two populations differ in length");
  }
  check_orbits(orbits1, "orbits1");
  check_orbits(orbits2, "orbits2");
  check_mode(options);
  const auto n = static_cast<std::int64_t>(orbits1.count);
  if (n == 0) return 0;
  const int team = pair_team_size(options.threads);
  const FastRules& rules = program_rules();
  const AngleUnit unit = options.angle_unit;
  const std::int64_t n_chunks = (n + kChunkPairs - 1) / kChunkPairs;
  std::int64_t no_case = 0;
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) reduction(+ : no_case)
  for (std::int64_t c = 0; c < n_chunks; ++c) {
    if (cancelled(options)) continue;
    const std::int64_t end = std::min(n, (c + 1) * kChunkPairs);
    for (std::int64_t k = c * kChunkPairs; k < end; ++k) {
      const PreparedOrbit o1 = prepare(orbits1.semimajor_axis_au[k], orbits1.eccentricity[k],
                                       orbits1.inclination[k], unit);
      const PreparedOrbit o2 = prepare(orbits2.semimajor_axis_au[k], orbits2.eccentricity[k],
                                       orbits2.inclination[k], unit);
      if (options.accuracy > 0.0) {
        accurate_into(o1, o2, options, out, k);
        continue;
      }
      PairResult r{};
      if (fast_gaussorb(rules, o1, o2, options.v_esc_km_s, r) == PairStatus::kNoCase) ++no_case;
      store(out, k, r);
      classic_extras(o1, o2, options.v_esc_km_s, out, k);
    }
  }
  if (cancelled(options)) throw Cancelled();
  return no_case;
}

PairResult collision_pair(double a1_au, double e1, double inc1, double a2_au, double e2,
                          double inc2, const KernelOptions& options, bool* no_case) {
  check_mode(options);
  const PreparedOrbit o1 = prepare(a1_au, e1, inc1, options.angle_unit);
  const PreparedOrbit o2 = prepare(a2_au, e2, inc2, options.angle_unit);
  PairResult result;
  const PairResultArrays out{&result.p_coll,     &result.v_rel_mean,   &result.v_rel_rms,
                             &result.v_imp_mean, &result.p_coll_error, &result.flags};
  if (options.accuracy > 0.0) {
    accurate_into(o1, o2, options, out, 0);
    if (no_case != nullptr) *no_case = false;
    return result;
  }
  PairResult r{};
  const PairStatus status = fast_gaussorb(program_rules(), o1, o2, options.v_esc_km_s, r);
  if (no_case != nullptr) *no_case = status == PairStatus::kNoCase;
  store(out, 0, r);
  classic_extras(o1, o2, options.v_esc_km_s, out, 0);
  return result;
}

}  // namespace pairtrack
