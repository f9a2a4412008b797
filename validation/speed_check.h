// Bin-by-bin comparison of the kernel's collision-weighted speed distributions
// with the independent Monte Carlo estimate of the same pair: for every bin of
// the impact- and the encounter-speed distribution, (kernel - Monte Carlo) in
// units of the Monte Carlo's standard error. The kernel's distributions come
// from the public API (the program's 10 x 10 rule) or, for other node counts,
// from the reference quadrature's binning of its terms (the same binning with
// finer nodes: a check of the method apart from the resolution of the rule).
// Speeds in km/s, bin values in 1e-18 km^-2 yr^-1 (each distribution sums to
// P_i). Shared by the validation program speed_pairs and its test.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kernel/reference/speed_histogram.h"
#include "kernel/speed_binning.h"
#include "mc_collision.h"
#include "pairtrack/speeds.h"
#include "pairtrack/units.h"

namespace mcval {

// The layout of the check: 1 km/s bins from 0 to 60 km/s. A bin of 1 km/s holds
// a few per cent of a main-belt pair's collisions, so that the Monte Carlo
// resolves every bin that matters to a few per cent, and it is wide against the
// spacing of the speeds of the 10 x 10 rule's terms.
inline constexpr double kCheckBinMin = 0.0, kCheckBinMax = 60.0, kCheckBinStep = 1.0;

struct BinCheck {
  const char* distribution;  // "impact" or "encounter"
  int bin;                   // stored index: 0 underflow, n + 1 overflow
  double kernel, mc, mc_se;  // 1e-18 km^-2 yr^-1
  double z;                  // (kernel - mc) / se_used
};

struct SpeedCheck {
  double v_esc = 0.0;
  double p_coll_kernel = 0.0, p_coll_mc = 0.0;
  std::vector<BinCheck> bins;  // every bin of both distributions
  double max_abs_z = 0.0;
  int compared = 0;  // bins where either side has weight
};

// The standard error a bin is judged by. The Monte Carlo's standard error of
// a bin is the spread of its batch estimates; a bin the samples (nearly)
// never reach has no usable spread of its own, so each bin's error is at least
// that of a bin holding a thousandth of P_i estimated with the relative error
// of the whole distribution's P_i (a bin that rare cannot be judged better).
inline double bin_error(const McValue& bin, const McValue& total) {
  return std::max(bin.se, 1e-3 * total.se);
}

// The kernel's distributions of one pair with nodes x nodes quadrature nodes
// (10: the public API, as the program bins them; 0: the public API's accurate
// mode at a relative accuracy of 1e-6); returns its p_coll.
inline double kernel_speed_distributions(const Orbit& o1, const Orbit& o2, double v_esc, int nodes,
                                         const pairtrack::SpeedBins& bins,
                                         std::vector<double>& impact,
                                         std::vector<double>& encounter) {
  impact.assign(bins.values(), 0.0);
  encounter.assign(bins.values(), 0.0);
  double p = 0.0;
  if (nodes == 10 || nodes == 0) {
    pairtrack::SpeedDistributionArrays arrays;
    arrays.impact = impact.data();
    arrays.encounter = encounter.data();
    arrays.pairs.p_coll = &p;
    pairtrack::KernelOptions opts;
    opts.v_esc_km_s = v_esc;
    opts.threads = 1;
    if (nodes == 0) opts.accuracy = 1e-6;
    const pairtrack::OrbitArrays a{&o1.a_au, &o1.e, &o1.inc_deg, 1};
    const pairtrack::OrbitArrays b{&o2.a_au, &o2.e, &o2.inc_deg, 1};
    pairtrack::speed_distribution_pairs(a, b, bins, arrays, opts);
    return p;
  }
  pairtrack::detail::reference_speed_histograms(
      o1.a_au * pairtrack::kCentimetresPerAu, o1.e, o1.inc_deg * pairtrack::kRadiansPerDegree,
      o2.a_au * pairtrack::kCentimetresPerAu, o2.e, o2.inc_deg * pairtrack::kRadiansPerDegree,
      nodes, nodes, v_esc, pairtrack::detail::speed_binning(bins), impact.data(), encounter.data(),
      &p);
  return p;
}

// Every bin of both distributions for each escape speed of `cfg` (the
// kernel's with nodes x nodes nodes). `cfg` must ask for the speed histograms.
inline std::vector<SpeedCheck> compare_speed_distributions(const Orbit& o1, const Orbit& o2,
                                                           const McConfig& cfg, const McResult& mc,
                                                           int nodes) {
  std::vector<SpeedCheck> out;
  pairtrack::SpeedBins bins;
  bins.min_km_s = cfg.speed_bins.min_kms;
  bins.max_km_s = cfg.speed_bins.max_kms;
  bins.step_km_s = cfg.speed_bins.step_kms;
  const std::size_t nvals = bins.values();
  for (std::size_t v = 0; v < cfg.v_esc_kms.size(); ++v) {
    SpeedCheck c;
    c.v_esc = cfg.v_esc_kms[v];
    std::vector<double> impact, encounter;
    c.p_coll_kernel = kernel_speed_distributions(o1, o2, c.v_esc, nodes, bins, impact, encounter);
    if (!mc.overlap) {
      out.push_back(c);
      continue;
    }
    const McValue& total = mc.result[v][0].p_coll;
    c.p_coll_mc = total.mean;
    const McSpeedHistogram& h = mc.speeds[v][0];
    for (int which = 0; which < 2; ++which) {
      const std::vector<double>& k = which == 0 ? impact : encounter;
      const std::vector<McValue>& m = which == 0 ? h.impact : h.encounter;
      for (std::size_t j = 0; j < nvals && j < m.size(); ++j) {
        const double se = bin_error(m[j], total);
        BinCheck bc{
            which == 0 ? "impact" : "encounter",     static_cast<int>(j), k[j], m[j].mean, m[j].se,
            se > 0.0 ? (k[j] - m[j].mean) / se : 0.0};
        if (k[j] != 0.0 || m[j].mean != 0.0) ++c.compared;
        c.max_abs_z = std::max(c.max_abs_z, std::fabs(bc.z));
        c.bins.push_back(bc);
      }
    }
    out.push_back(c);
  }
  return out;
}

// The same, with the Monte Carlo estimate made here.
inline std::vector<SpeedCheck> check_speed_distributions(const Orbit& o1, const Orbit& o2,
                                                         const McConfig& cfg, int nodes = 10) {
  return compare_speed_distributions(o1, o2, cfg, estimate_pair(o1, o2, cfg), nodes);
}

// The Monte Carlo configuration of the check: the program's constants, the
// smallest window, the check's bins.
inline McConfig speed_check_config(double rho_au, double target_pairs, int batches,
                                   std::uint64_t seed) {
  McConfig cfg;
  cfg.gm_km3_s2 = kGmSunProgramKm3PerS2;
  cfg.au_km = kAuProgramKm;
  cfg.rho_au = rho_au;
  cfg.batches = batches;
  cfg.target_pairs_per_batch = target_pairs;
  cfg.seed = seed;
  cfg.speed_histograms = true;
  cfg.speed_bins = {kCheckBinMin, kCheckBinMax, kCheckBinStep};
  return cfg;
}

}  // namespace mcval
