// Frame statistics: every figure, per-body summary, count and worst pair is the same to the bit
// whatever the number of threads, on random frames of every mode (classic, classic with its
// check, accurate with divergent pairs and error estimates).
#include "engine/frame_summary.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace pairtrack::detail {
namespace {

template <class T>
void add_bytes(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Every field of the result as bytes (the structs' padding left out).
std::string bits(const FrameResult& r) {
  std::string out;
  const FrameFigures& f = r.figures;
  for (const double x : {f.t_myr, f.proba_mean, f.proba_sigma, f.impvel_mean, f.impvel_sigma,
                         r.proba_mean_error, r.worst.severity, r.worst.delta, r.worst.apsis_eps})
    add_bytes(out, x);
  for (const std::int64_t n :
       {std::int64_t{f.n1}, std::int64_t{f.n2}, std::int64_t{f.n_proba}, std::int64_t{f.n_impvel},
        r.frame, r.no_case, r.n_classic_off, r.n_singular, r.n_divergent,
        std::int64_t{r.worst.body}, std::int64_t{r.worst.catalogue_line},
        std::int64_t{r.worst.pair_class}})
    add_bytes(out, n);
  for (const BodySummary& s : r.bodies) add_bytes(out, s);  // 48 bytes, no padding
  return out;
}

struct Case {
  const char* name;
  std::int32_t n1, bodies;
  double accuracy;     // 0: classic
  bool classic_check;  // classic: the criterion; accurate: the singular pairs
  double nan_share;    // accurate: pairs without a finite value
};

const Case kCases[] = {
    {"ClassicManyBodies", 300, 400, 0.0, false, 0.0},
    {"ClassicFewLongBodies", 20000, 3, 0.0, false, 0.0},
    {"ClassicShortBodies", 2, 40000, 0.0, false, 0.0},
    {"ClassicChecked", 200, 300, 0.0, true, 0.0},
    {"AccurateDivergent", 250, 300, 1e-5, true, 0.01},
    {"AccurateAllFinite", 500, 100, 1e-5, false, 0.0},
    {"SmallFrame", 30, 40, 1e-5, false, 0.05},
};

class FrameSummaryThreads : public ::testing::TestWithParam<Case> {};

TEST_P(FrameSummaryThreads, EveryThreadCountGivesTheSameBits) {
  const Case& c = GetParam();
  std::mt19937_64 rng(0x5eed + c.n1);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<PreparedOrbit> population1;
  for (std::int32_t k = 0; k < c.n1; ++k)
    population1.push_back(prepare_orbit((2.0 + u(rng)) * 1.496e13, 0.3 * u(rng), 0.3 * u(rng)));
  FrameJob job;
  job.frame = 17;
  job.t_myr = 3.25;
  job.n1 = c.n1;
  job.n2 = c.bodies + 5;
  for (std::int32_t b = 0; b < c.bodies; ++b) {
    SweptBody body;
    body.position = body.id = b + 1;
    body.a_cm = (2.0 + u(rng)) * 1.496e13;
    body.e = 0.4 * u(rng);
    // Some bodies share a catalogue orbit's inclination: singular pairs for the checks.
    body.inc = b % 7 == 0 ? population1[b % c.n1].inc : 0.3 * u(rng);
    job.bodies.push_back(body);
  }
  // Probabilities over many decades, zeros where the orbits do not meet, NaN for divergent
  // pairs; impact speeds in km/s.
  const std::size_t pairs = std::size_t(c.n1) * c.bodies;
  std::vector<double> proba(pairs), impvel(pairs), error(pairs);
  for (std::size_t i = 0; i < pairs; ++i) {
    const double r = u(rng);
    proba[i] = r < 0.3 ? 0.0 : std::pow(10.0, 4.0 * u(rng) - 2.0);
    impvel[i] = proba[i] > 0.0 ? 1.0 + 15.0 * u(rng) : 0.0;
    error[i] = 1e-6 * proba[i] * u(rng);
    if (u(rng) < c.nan_share) proba[i] = std::nan("");
  }
  PairMode mode;
  mode.accuracy = c.accuracy;
  mode.classic_check = c.classic_check;
  std::string expected;
  for (const int threads : {1, 2, 3, 8}) {
    const FrameChecks checks{population1, 15.0, mode, c.accuracy > 0 ? error.data() : nullptr,
                             threads};
    FrameResult result;
    summarise_frame(job, proba.data(), impvel.data(), 9, result, &checks);
    ASSERT_EQ(result.bodies.size(), std::size_t(c.bodies));
    if (threads == 1) {
      expected = bits(result);
      if (c.nan_share > 0) {
        EXPECT_GT(result.n_divergent, 0);
      }
      continue;
    }
    EXPECT_EQ(bits(result), expected) << threads << " threads";
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, FrameSummaryThreads, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pairtrack::detail
