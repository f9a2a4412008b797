// A cheap test of whether the classic 10 x 10 rule is likely off for a pair.
// The rule places ten fixed nodes on the node difference; where the
// inclinations are close, the 1/sin I of the mutual inclination I is a narrow
// peak at dOmega = 0 (at dOmega = pi where i1 + i2 is close to 180 degrees)
// that the nodes cannot see, and the rule comes out low. The width of the peak
// is delta = |i1 - i2| / sqrt(sin i1 sin i2) (or |pi - i1 - i2| / sqrt(...)),
// whatever a and e. Gravitational focusing makes it worse: near I = 0 the
// encounter speed U of the bodies moving alike is small and the focusing
// factor 1 + v_esc^2 / U^2 sharpens the peak. The same happens on the
// anomaly axis where two orbits have nearly the same perihelion (or aphelion)
// distance: orbit A's 1/|sin f_A| is then a peak of width apsis_eps (see
// axis_substitution.h) at the end of the arc. Elements in cm and radians,
// v_esc in km/s.
#pragma once

namespace pairtrack::detail::kernel {

struct ClassicAccuracy {
  double delta = 0.0;      // closeness of the planes (infinite when an inclination is 0 or pi)
  double apsis_eps = 0.0;  // width of the apsidal peak (infinite without one)
  double delta_threshold = 0.0;  // delta below which the pair is flagged
  double apsis_threshold = 0.0;  // apsis_eps below which the pair is flagged
  bool likely_off = false;       // the 10 x 10 P_i is likely off by more than 1 %, or the pair
                                 // has no finite P_i at all (see classify_pair)
};

// Pairs whose distance ranges do not meet are never flagged (P_i = 0 exactly).
ClassicAccuracy classic_accuracy(double a1, double e1, double inc1, double a2, double e2,
                                 double inc2, double v_esc);

// classic_accuracy's flag for many pairs at one v_esc: most pairs are far
// from both peaks, and a few multiplications and comparisons, with a wide
// margin against rounding, show it before any square root or elementary
// function; the rest get classic_accuracy itself. The flags are exactly
// classic_accuracy's.
class ClassicCriterion {
 public:
  explicit ClassicCriterion(double v_esc);

  // sin1 and sin2 must be std::sin(inc1) and std::sin(inc2), formed once per
  // orbit by the caller (PreparedOrbit::sin_inc is).
  bool likely_off(double a1, double e1, double inc1, double sin1, double a2, double e2, double inc2,
                  double sin2) const;

  // Whether the pair is shown unflagged without classic_accuracy.
  bool surely_fine(double a1, double e1, double inc1, double sin1, double a2, double e2,
                   double inc2, double sin2) const;

 private:
  double v_esc_;
  double delta_threshold2_;  // (delta threshold)^2 with the margin
};

}  // namespace pairtrack::detail::kernel
