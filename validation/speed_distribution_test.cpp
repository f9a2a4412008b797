// A fast subset of the bin-by-bin check of the speed distributions (speed_check.h): for a few
// pairs of orbits, with and without gravitational focusing, against the independent Monte
// Carlo's 1 km/s bins of the impact- and encounter-speed distributions:
// - the kernel's binning of its terms with 320 x 320 nodes: every bin within 4 standard errors
//   (the method: weights, speeds, focusing);
// - the program's 10 x 10 rule through the public API: every bin within 4 standard errors or
//   within 8 % of P_i. Its 400 terms per arc resolve the mean speeds to 1e-3 but 1 km/s bins
//   only to a few per cent of P_i (up to 7 % on these pairs; validation/results/speeds.md).
// A kernel that bins a term by the wrong speed (the encounter speed for the impact speed, km/s
// for cm/s) or with the wrong weight moves whole bins by far more than either bound.
// The Monte Carlo's own distributions are checked to sum to its P_i and to centre on its mean
// speeds. Seeds are fixed: the test is deterministic. PAIRTRACK_VALIDATION_SCALE (default 1)
// multiplies the Monte Carlo effort.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "speed_check.h"

namespace {

constexpr double kBound = 4.0;          // standard errors
constexpr double kClassicShare = 0.08;  // of P_i, the 10 x 10 rule's resolution of 1 km/s bins
constexpr int kFineNodes = 320;

struct Case {
  const char* name;
  mcval::Orbit o1, o2;
  double rho_au;
};

// A main-belt crossing pair, a nested pair, an eccentric and a retrograde one: speeds from 1
// to 45 km/s.
const Case kCases[] = {
    {"crossing", {2.7, 0.15, 10.0}, {2.6, 0.12, 8.0}, 2e-3},
    {"nested", {2.7, 0.05, 3.0}, {2.75, 0.2, 12.0}, 2e-3},
    {"eccentric", {2.5, 0.9, 15.0}, {2.7, 0.15, 10.0}, 2e-3},
    {"retrograde", {2.7, 0.15, 150.0}, {2.6, 0.12, 8.0}, 2e-3},
};

double effort_scale() {
  const char* s = std::getenv("PAIRTRACK_VALIDATION_SCALE");
  const double x = s ? std::atof(s) : 1.0;
  return x > 0.0 ? x : 1.0;
}

class SpeedDistributionAgreesWithMonteCarlo : public ::testing::TestWithParam<Case> {};

TEST_P(SpeedDistributionAgreesWithMonteCarlo, EveryBinWithinFourStandardErrors) {
  const Case& c = GetParam();
  const mcval::McConfig cfg =
      mcval::speed_check_config(c.rho_au, 30000.0 * effort_scale(), 16, 20240612);
  const mcval::McResult mc = mcval::estimate_pair(c.o1, c.o2, cfg);
  for (const int nodes : {kFineNodes, 10}) {
    for (const mcval::SpeedCheck& check :
         mcval::compare_speed_distributions(c.o1, c.o2, cfg, mc, nodes)) {
      SCOPED_TRACE("v_esc = " + std::to_string(check.v_esc) + ", " + std::to_string(nodes) +
                   " nodes");
      ASSERT_GT(check.p_coll_kernel, 0.0);
      ASSERT_GE(check.compared, 4);  // a distribution, not a single bin
      for (const mcval::BinCheck& b : check.bins) {
        const bool within_share =
            nodes == 10 && std::fabs(b.kernel - b.mc) < kClassicShare * check.p_coll_mc;
        EXPECT_TRUE(std::fabs(b.z) < kBound || within_share)
            << b.distribution << " bin " << b.bin << ": kernel " << b.kernel << ", Monte Carlo "
            << b.mc << " +- " << b.mc_se << " (" << b.z << " standard errors)";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, SpeedDistributionAgreesWithMonteCarlo, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The Monte Carlo's bins hold its P_i, and their weighted centres its mean speeds to within
// half a bin.
TEST(MonteCarloSpeedDistribution, SumsToPAndCentresOnTheMeanSpeeds) {
  mcval::McConfig cfg = mcval::speed_check_config(2e-3, 0.0, 4, 7);
  cfg.samples_per_batch = 8000;
  const mcval::McResult r = mcval::estimate_pair({2.7, 0.15, 10.0}, {2.6, 0.12, 8.0}, cfg);
  for (std::size_t v = 0; v < cfg.v_esc_kms.size(); ++v) {
    for (int k = 0; k < mcval::kWindows; ++k) {
      const auto& h = r.speeds[v][k];
      const auto& w = r.result[v][k];
      double p_i = 0.0, p_e = 0.0, c_i = 0.0, c_e = 0.0;
      for (std::size_t j = 1; j + 1 < h.impact.size(); ++j) {
        const double centre = cfg.speed_bins.min_kms + (j - 0.5) * cfg.speed_bins.step_kms;
        p_i += h.impact[j].mean;
        p_e += h.encounter[j].mean;
        c_i += h.impact[j].mean * centre;
        c_e += h.encounter[j].mean * centre;
      }
      EXPECT_NEAR(p_i, w.p_coll.mean, 1e-9 * w.p_coll.mean);
      EXPECT_NEAR(p_e, w.p_coll.mean, 1e-9 * w.p_coll.mean);
      EXPECT_LE(std::fabs(c_i / p_i - w.v_imp_mean.mean), 0.5 * cfg.speed_bins.step_kms);
      EXPECT_LE(std::fabs(c_e / p_e - w.v_rel_mean.mean), 0.5 * cfg.speed_bins.step_kms);
    }
  }
}

// The Monte Carlo's bin layout: underflow, n bins, overflow.
TEST(MonteCarloSpeedDistribution, PlacesSpeedsInTheirBins) {
  const struct {
    double speed;
    int index;
  } cases[] = {{-0.5, 0}, {0.0, 1}, {0.99, 1}, {1.0, 2}, {59.5, 60}, {60.0, 61}, {1e9, 61}};
  ASSERT_EQ(mcval::speed_bin_count(0.0, 60.0, 1.0), 62);
  for (const auto& c : cases) {
    EXPECT_EQ(mcval::speed_bin_index(c.speed, 0.0, 1.0, 62), c.index) << c.speed;
  }
  EXPECT_EQ(mcval::speed_bin_index(std::nan(""), 0.0, 1.0, 62), 61);
}

}  // namespace
