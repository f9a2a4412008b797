// Gauss-Legendre rules: symmetry, sums, exactness on known integrals, and the
// exact bits of the rules of several node counts.
#include "kernel/gauleg.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <ios>
#include <string>
#include <vector>

namespace pairtrack::detail {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSentinel = 99.0;

// Rules small enough to write out, with the tolerances their values hold to. The arrays have
// room past the n points, and those entries must be left as they were; a count of zero or
// less writes nothing.
struct SmallRule {
  const char* behaviour;
  double a, b;
  int n;
  std::vector<double> x, w;
  double x_tol, w_tol;
};

const SmallRule kSmallRules[] = {
    {"count 0 writes nothing", 0.0, 1.0, 0, {}, {}, 0.0, 0.0},
    {"count -1 writes nothing", 0.0, 1.0, -1, {}, {}, 0.0, 0.0},
    {"count -7 writes nothing", 0.0, 1.0, -7, {}, {}, 0.0, 0.0},
    {"one point: the midpoint with the whole length", 1.0, 4.0, 1, {2.5}, {3.0}, 0.0, 0.0},
    {"two points on [-1, 1]: +-1/sqrt(3), weights 1 to a few units of 1e-16",
     -1.0,
     1.0,
     2,
     {-1.0 / std::sqrt(3.0), 1.0 / std::sqrt(3.0)},
     {1.0, 1.0},
     4e-16,
     1e-15},
    {"degenerate interval: every point at the end, zero weight",
     0.7,
     0.7,
     4,
     {0.7, 0.7, 0.7, 0.7},
     {0.0, 0.0, 0.0, 0.0},
     0.0,
     0.0},
};

TEST(Gauleg, SmallRulesHaveTheirKnownPointsAndWeights) {
  for (const SmallRule& r : kSmallRules) {
    SCOPED_TRACE(r.behaviour);
    std::vector<double> x(r.x.size() + 2, kSentinel), w(x.size(), kSentinel);
    gauleg(r.a, r.b, x.data(), w.data(), r.n);
    for (std::size_t i = 0; i < x.size(); ++i) {
      const bool written = i < r.x.size();
      EXPECT_NEAR(x[i], written ? r.x[i] : kSentinel, r.x_tol) << "x[" << i << "]";
      EXPECT_NEAR(w[i], written ? r.w[i] : kSentinel, r.w_tol) << "w[" << i << "]";
    }
  }
}

// Every rule is symmetric about the midpoint (weights exactly), its points lie inside the
// interval and run from a to b, and its weights carry the sign of b - a.
TEST(Gauleg, RulesAreSymmetricOrderedAndInside) {
  struct Interval {
    double a, b;
    int n;
  };
  std::vector<Interval> intervals = {{2.0, -1.0, 6}};  // reversed: runs down, negative weights
  for (int n : {3, 4, 7, 10, 11, 40, 101}) intervals.push_back({0.5, 2.0, n});
  for (const Interval& r : intervals) {
    SCOPED_TRACE("[" + std::to_string(r.a) + ", " + std::to_string(r.b) +
                 "], n = " + std::to_string(r.n));
    const int n = r.n;
    const double up = r.b > r.a ? 1.0 : -1.0;
    std::vector<double> x(n), w(n);
    gauleg(r.a, r.b, x.data(), w.data(), n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(w[i], w[n - 1 - i]) << "i=" << i;
      EXPECT_NEAR(x[i] + x[n - 1 - i], r.a + r.b, 1e-14) << "i=" << i;
      EXPECT_GT(up * (x[i] - r.a), 0.0) << "i=" << i;
      EXPECT_LT(up * (x[i] - r.b), 0.0) << "i=" << i;
      EXPECT_GT(up * w[i], 0.0) << "i=" << i;
      if (i > 0) {
        EXPECT_GT(up * (x[i] - x[i - 1]), 0.0) << "i=" << i;
      }
    }
    if (n % 2 == 1) {
      EXPECT_NEAR(x[n / 2], 0.5 * (r.a + r.b), 1e-14);
    }
  }
}

// Integrals the rules must reproduce, relative to the exact value.
struct KnownIntegral {
  const char* behaviour;
  double a, b;
  int n;
  double (*f)(double);
  double exact, rel_tol;
};

const KnownIntegral kIntegrals[] = {
    {"ten weights on [0, pi] sum to pi", 0.0, kPi, 10, [](double) { return 1.0; }, kPi, 1e-14},
    {"ten points integrate sine over [0, pi]", 0.0, kPi, 10, [](double t) { return std::sin(t); },
     2.0, 1e-14},
    {"reversed interval: weights sum to b - a", 2.0, -1.0, 6, [](double) { return 1.0; }, -3.0,
     1e-13},
    // An n-point rule integrates polynomials of degree 2n - 1 exactly.
    {"twenty points integrate x^39 over [-1, 2]", -1.0, 2.0, 20,
     [](double t) { return std::pow(t, 39); }, (std::pow(2.0, 40) - 1.0) / 40.0, 1e-12},
};

TEST(Gauleg, RulesIntegrateKnownFunctions) {
  for (const KnownIntegral& k : kIntegrals) {
    SCOPED_TRACE(k.behaviour);
    std::vector<double> x(k.n), w(k.n);
    gauleg(k.a, k.b, x.data(), w.data(), k.n);
    double integral = 0.0;
    for (int i = 0; i < k.n; ++i) integral += w[i] * k.f(x[i]);
    EXPECT_NEAR(integral / k.exact, 1.0, k.rel_tol);
  }
}

// The first (n + 1) / 2 abscissas and weights of the n-point rule on [-1, 1]
// (the rest follow by symmetry), exact bits. The Newton tolerance and the
// derivative of the last pass decide the last bits of these values, and both
// kernels take their rules from the same root finder, so the two kernels
// agreeing with each other would not reveal a change here.
struct GoldenRule {
  int n;
  std::vector<std::array<double, 2>> half;  // {x_i, w_i}, i = 0 .. (n + 1) / 2 - 1
};

const std::vector<GoldenRule>& golden_rules() {
  static const std::vector<GoldenRule> rules = {
      {7,
       {
           {-0x1.e5f178e7c6229p-1, 0x1.092f69f826c52p-3},
           {-0x1.7ba9f9be3a1d6p-1, 0x1.1e6b1713d8645p-2},
           {-0x1.9f95df119fd62p-2, 0x1.86fe74ee32b3fp-2},
           {0x0p+0, 0x1.abfd7e03c2fa6p-2},
       }},
      {10,
       {
           {-0x1.f2a3e062af2d7p-1, 0x1.1115f8b62daa3p-4},
           {-0x1.bae995e9cb2f3p-1, 0x1.32138c878efe3p-3},
           {-0x1.5bdb9228de198p-1, 0x1.c0b059d00bc32p-3},
           {-0x1.bbcc009016adbp-2, 0x1.13baa7a559babp-2},
           {-0x1.30e507891e279p-3, 0x1.2e9de7014d6fp-2},
       }},
      {12,
       {
           {-0x1.f68f1d8e42e81p-1, 0x1.8275d9dea6b4ep-5},
           {-0x1.cee874ffb88b3p-1, 0x1.b60602bce616fp-4},
           {-0x1.8a30aeed88f36p-1, 0x1.47d7258f22d93p-3},
           {-0x1.2cb4f05c077f9p-1, 0x1.a0163e6b1ab6fp-3},
           {-0x1.78a8d20a8b19dp-2, 0x1.de3155c256aadp-3},
           {-0x1.007a5f8f630e4p-3, 0x1.fe40ce6d4f029p-3},
       }},
      {20,
       {
           {-0x1.fc7b5a0c71cep-1, 0x1.209680274e6f3p-6},
           {-0x1.ed8dba7bd769fp-1, 0x1.4c9b5ea53b68fp-5},
           {-0x1.d31064173fd92p-1, 0x1.00b467df7e473p-4},
           {-0x1.ada0bd5efd6e8p-1, 0x1.5519fe196e249p-4},
           {-0x1.7e1f37346a54ep-1, 0x1.a1817a317a619p-4},
           {-0x1.45a8d3fa710dbp-1, 0x1.e41ff31573b18p-4},
           {-0x1.05905c13f7ff7p-1, 0x1.0db2c5db26dfep-3},
           {-0x1.7eaccf15652c4p-2, 0x1.230348f34a539p-3},
           {-0x1.d281636928bcp-3, 0x1.31819b52c5993p-3},
           {-0x1.3973df98b86bp-4, 0x1.38d6c490a3375p-3},
       }},
      {40,
       {
           {-0x1.ff190359ae7c8p-1, 0x1.284e71463c06cp-8},
           {-0x1.fb40783501aafp-1, 0x1.5801fe5cda0d5p-7},
           {-0x1.f45b6a89bde77p-1, 0x1.0d0ae92dd2f5ep-6},
           {-0x1.ea7412c59f876p-1, 0x1.6c79dab0af39p-6},
           {-0x1.dd99a3f1b1943p-1, 0x1.c9b84cd4f2622p-6},
           {-0x1.cddfe5136244fp-1, 0x1.121b1d8e9a185p-5},
           {-0x1.bb5f0b43ea03fp-1, 0x1.3db419e3c964ap-5},
           {-0x1.a63393069f11p-1, 0x1.6763f67ce7b59p-5},
           {-0x1.8e7e140e5677p-1, 0x1.8eea82a7d6912p-5},
           {-0x1.74630eefa6276p-1, 0x1.b40ae2c10a3fp-5},
           {-0x1.580ab4e17e33ap-1, 0x1.d68bed38b1967p-5},
           {-0x1.39a0a9d652b9p-1, 0x1.f638825187603p-5},
           {-0x1.1953c149057cap-1, 0x1.096feee7215d4p-4},
           {-0x1.eeab6c46ecaa8p-2, 0x1.162af0fc7e7f9p-4},
           {-0x1.a7b5bc5a29ed2p-2, 0x1.2139adc432382p-4},
           {-0x1.5e33b2ee16696p-2, 0x1.2a8b1efb50a44p-4},
           {-0x1.12967c83d411p-2, 0x1.3210ebf5b820cp-4},
           {-0x1.8aa507790bb18p-3, 0x1.37bf7fb3ffa5ap-4},
           {-0x1.db7af8723039bp-4, 0x1.3b8e1ab8156e3p-4},
           {-0x1.3d9fa7259c6f8p-5, 0x1.3d76e07d0147p-4},
       }},
      {80,
       {
           {-0x1.ffc584c5c2d5dp-1, 0x1.2c244b46e7a44p-10},
           {-0x1.fecbf688e6062p-1, 0x1.5d1d5b514844cp-9},
           {-0x1.fd0b646a75d3cp-1, 0x1.11f6042858c3p-8},
           {-0x1.fa8463bce84a7p-1, 0x1.74f5d5d01349bp-8},
           {-0x1.f737ed99aa564p-1, 0x1.d764eabe07248p-8},
           {-0x1.f3274a76c63acp-1, 0x1.1c8e367742d25p-7},
           {-0x1.ee540fc470021p-1, 0x1.4cfb1268774a6p-7},
           {-0x1.e8c01ef504dbdp-1, 0x1.7ce622ff34c57p-7},
           {-0x1.e26da4a96ff14p-1, 0x1.ac3cb7d1bd239p-7},
           {-0x1.db5f17d035297p-1, 0x1.daec5b84e6fe4p-7},
           {-0x1.d39738ac60ddep-1, 0x1.04716d27e4605p-6},
           {-0x1.cb190fc19f6bep-1, 0x1.1b07246869c51p-6},
           {-0x1.c1e7eca4dec23p-1, 0x1.312e85769cac1p-6},
           {-0x1.b80764b18bf31p-1, 0x1.46deed507017ep-6},
           {-0x1.ad7b51a3c3ef3p-1, 0x1.5c0fe759c513dp-6},
           {-0x1.a247d017effdfp-1, 0x1.70b930a67f687p-6},
           {-0x1.96713df05aab3p-1, 0x1.84d2bb3206ec5p-6},
           {-0x1.89fc38a158806p-1, 0x1.9854b10293b99p-6},
           {-0x1.7ced9b64abf06p-1, 0x1.ab377736dc105p-6},
           {-0x1.6f4a7d54d6a1p-1, 0x1.bd73b0fcd9dbp-6},
           {-0x1.61182f711437cp-1, 0x1.cf024270725b7p-6},
           {-0x1.525c3a8ac4392p-1, 0x1.dfdc5360d9d8dp-6},
           {-0x1.431c5d1d11871p-1, 0x1.effb51fb9a442p-6},
           {-0x1.335e890faea3fp-1, 0x1.ff58f55c2fc66p-6},
           {-0x1.2328e1658615ep-1, 0x1.06f79fff9d0d8p-5},
           {-0x1.1281b7d84622ep-1, 0x1.0ddc410c26825p-5},
           {-0x1.016f8a61b69bbp-1, 0x1.1457ade4bb22ap-5},
           {-0x1.dff201679d114p-2, 0x1.1a675f9dcda2cp-5},
           {-0x1.bc49d3410c8f2p-2, 0x1.2008f94b6e963p-5},
           {-0x1.97f470e4d208ep-2, 0x1.253a48ed1f3b6p-5},
           {-0x1.7300046ddcd0ap-2, 0x1.29f94848e90d3p-5},
           {-0x1.4d7af5f755cf6p-2, 0x1.2e441db564a55p-5},
           {-0x1.2773e5fed4737p-2, 0x1.32191cd2611d6p-5},
           {-0x1.00f9a7b09874p-2, 0x1.3576c72fe3f31p-5},
           {-0x1.b436764002faap-3, 0x1.385bcce34054p-5},
           {-0x1.65cf8edd0b1cdp-3, 0x1.3ac70d0a0ba14p-5},
           {-0x1.16dd29c6db481p-3, 0x1.3cb7963abc24cp-5},
           {-0x1.8efc1bda98f54p-4, 0x1.3e2ca6e2c6154p-5},
           {-0x1.df44b287b274ap-5, 0x1.3f25ad9212222p-5},
           {-0x1.3facac3f35b18p-6, 0x1.3fa24933b0346p-5},
       }},
  };
  return rules;
}

TEST(Gauleg, RulesKeepTheirExactBits) {
  for (const GoldenRule& g : golden_rules()) {
    SCOPED_TRACE("n = " + std::to_string(g.n));
    ASSERT_EQ(g.half.size(), static_cast<std::size_t>((g.n + 1) / 2));
    std::vector<double> x(static_cast<std::size_t>(g.n)), w(x.size());
    gauleg(-1.0, 1.0, x.data(), w.data(), g.n);
    for (std::size_t i = 0; i < g.half.size(); ++i) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(x[i]), std::bit_cast<std::uint64_t>(g.half[i][0]))
          << "x[" << i << "] = " << std::hexfloat << x[i];
      EXPECT_EQ(std::bit_cast<std::uint64_t>(w[i]), std::bit_cast<std::uint64_t>(g.half[i][1]))
          << "w[" << i << "] = " << std::hexfloat << w[i];
    }
  }
}

}  // namespace
}  // namespace pairtrack::detail
