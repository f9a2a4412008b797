// The accurate integrator's quadrature pieces: the Gauss-Kronrod 7/15 pair
// integrates the polynomials of its degrees exactly, and the sinh substitution
// of the node axis gives the same integral as the plain node difference where
// the plain one converges, with the mutual inclination of the direct formula.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel/accurate/axis_substitution.h"
#include "kernel/accurate/gauss_kronrod.h"
#include "kernel/gauleg.h"

namespace pairtrack::detail::kernel {
namespace {

constexpr double kDeg = 0.017453292519444445;
constexpr double kPiD = 3.141592653589793;

TEST(GaussKronrod15, IntegratesPolynomialsUpToItsDegrees) {
  // Kronrod 15 is exact to degree 23, Gauss 7 to degree 13 (odd powers vanish
  // by symmetry; the even ones test the weights).
  for (int k = 0; k <= 24; k += 2) {
    double kronrod = 0.0, gauss = 0.0;
    for (int j = 0; j < gk15::kPoints; ++j) {
      kronrod += gk15::kKronrod[j] * std::pow(gk15::kNode[j], k);
      gauss += gk15::kGauss[j] * std::pow(gk15::kNode[j], k);
    }
    const double exact = 2.0 / (k + 1);
    if (k <= 22) {
      EXPECT_NEAR(kronrod, exact, 1e-15) << "degree " << k;
    }
    if (k <= 12) {
      EXPECT_NEAR(gauss, exact, 1e-15) << "degree " << k;
    }
  }
  // Degree 14 is beyond the Gauss rule: the two differ there.
  double kronrod = 0.0, gauss = 0.0;
  for (int j = 0; j < gk15::kPoints; ++j) {
    kronrod += gk15::kKronrod[j] * std::pow(gk15::kNode[j], 14);
    gauss += gk15::kGauss[j] * std::pow(gk15::kNode[j], 14);
  }
  EXPECT_GT(std::fabs(kronrod - gauss), 1e-6);
}

// A smooth function of the mutual inclination divided by sin I, the shape of
// the probability density along the node axis.
double density(double cos_i, double sin_i) { return (1.5 + cos_i * cos_i) / sin_i; }

// Integral over dOmega in [0, pi], plain Gauss-Legendre with n nodes.
double plain_integral(double i1, double i2, int n) {
  std::vector<double> x(static_cast<std::size_t>(n)), w(static_cast<std::size_t>(n));
  gauleg(0.0, kPiD, x.data(), w.data(), n);
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const double cos_i = std::cos(i1) * std::cos(i2) +
                         std::sin(i1) * std::sin(i2) * std::cos(x[static_cast<std::size_t>(k)]);
    sum += w[static_cast<std::size_t>(k)] * density(cos_i, std::sqrt(1.0 - cos_i * cos_i));
  }
  return sum;
}

// The same integral through node_pieces and node_value (n nodes per piece).
double substituted_integral(double i1, double i2, int n) {
  const accurate::InclinationPair g = accurate::inclination_pair(i1, i2);
  accurate::AxisPiece pieces[2];
  const int count = accurate::node_pieces(g, 0.0, pieces);
  std::vector<double> x(static_cast<std::size_t>(n)), w(static_cast<std::size_t>(n));
  double sum = 0.0;
  for (int p = 0; p < count; ++p) {
    gauleg(pieces[p].lo, pieces[p].hi, x.data(), w.data(), n);
    for (int k = 0; k < n; ++k) {
      const accurate::NodeValue v =
          accurate::node_value(g, pieces[p], x[static_cast<std::size_t>(k)]);
      sum += w[static_cast<std::size_t>(k)] * v.jacobian * density(v.cos_i, v.sin_i);
    }
  }
  return sum;
}

TEST(NodeSubstitution, EqualsThePlainIntegralWhereThatConverges) {
  struct Case {
    double i1_deg, i2_deg;
    int expected_pieces;
  };
  const Case cases[] = {
      {10.0, 12.0, 2},   // peak at 0 (eps 0.1), broad bump at pi
      {10.0, 10.5, 2},   // narrow peak at 0
      {60.0, 118.0, 2},  // peak at pi: i1 + i2 near 180 degrees
      {20.0, 70.0, 1},   // no peak: one plain piece
      {0.0, 15.0, 1},    // s = 0: I does not depend on dOmega
  };
  for (const Case& c : cases) {
    const double i1 = c.i1_deg * kDeg, i2 = c.i2_deg * kDeg;
    accurate::AxisPiece pieces[2];
    EXPECT_EQ(accurate::node_pieces(accurate::inclination_pair(i1, i2), 0.0, pieces),
              c.expected_pieces);
    const double plain = plain_integral(i1, i2, 4000);
    const double substituted = substituted_integral(i1, i2, 60);
    EXPECT_NEAR(substituted / plain, 1.0, 1e-10) << c.i1_deg << " " << c.i2_deg;
  }
}

TEST(NodeSubstitution, ConvergesWhereThePlainRuleCannotSeeThePeak) {
  // |i1 - i2| = 1e-6 rad: 60 nodes per piece in u agree with 120; the plain
  // 10-point rule misses the logarithmic peak by tens of percent.
  const double i1 = 10.0 * kDeg, i2 = i1 + 1e-6;
  const double coarse = substituted_integral(i1, i2, 60);
  const double fine = substituted_integral(i1, i2, 120);
  EXPECT_NEAR(coarse / fine, 1.0, 1e-12);
  EXPECT_LT(plain_integral(i1, i2, 10) / fine, 0.8);
}

TEST(NodeSubstitution, GivesTheMutualInclinationOfTheDirectFormula) {
  const double i1 = 25.0 * kDeg, i2 = 27.0 * kDeg;
  const accurate::InclinationPair g = accurate::inclination_pair(i1, i2);
  accurate::AxisPiece pieces[2];
  ASSERT_EQ(accurate::node_pieces(g, 0.0, pieces), 2);
  for (const accurate::AxisPiece& piece : pieces) {
    for (double t : {0.0, 0.3, 0.7, 1.0}) {
      const double x = piece.lo + t * (piece.hi - piece.lo);
      double node = x;  // dOmega of the variable
      if (piece.variable == accurate::AxisVariable::kSinhNear0) {
        node = 2.0 * std::asin(piece.eps * std::sinh(x));
      } else if (piece.variable == accurate::AxisVariable::kSinhNearPi) {
        node = kPiD - 2.0 * std::asin(piece.eps * std::sinh(x));
      }
      const double cos_i =
          std::cos(i1) * std::cos(i2) + std::sin(i1) * std::sin(i2) * std::cos(node);
      const accurate::NodeValue v = accurate::node_value(g, piece, x);
      EXPECT_NEAR(v.cos_i, cos_i, 1e-15);
      EXPECT_NEAR(v.sin_i, std::sqrt(1.0 - cos_i * cos_i), 1e-13);
      // Jacobian against a central difference of dOmega(x).
      if (piece.variable == accurate::AxisVariable::kSinhNear0 && t > 0.0 && t < 1.0) {
        const double h = 1e-6;
        const double d = (2.0 * std::asin(piece.eps * std::sinh(x + h)) -
                          2.0 * std::asin(piece.eps * std::sinh(x - h))) /
                         (2.0 * h);
        EXPECT_NEAR(v.jacobian / d, 1.0, 1e-8);
      }
    }
  }
}

}  // namespace
}  // namespace pairtrack::detail::kernel
