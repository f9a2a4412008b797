// Radial-overlap geometry of two fixed Keplerian orbits.
// Where can two orbits be at the same heliocentric distance? c_equation maps
// the true anomaly of a point on one orbit to that of the point of the other
// orbit at the same distance; linecheck cuts the shared distance range into
// the one or two true-anomaly arcs that the probability integral runs over.
// Every anomaly quantity here is the cosine of a true anomaly. Only ratios of
// semimajor axes enter, so any common length unit works (the kernel uses cm).
#pragma once

#include <array>

namespace pairtrack::detail {

// Solves r_X(f_X) = r_Y(f_Y) for cos f_X, with r = a (1 - e^2) / (1 + e cos f):
//   cos_fx = ((e_y cos_fy + 1) ((1 - e_x e_x) a_x) / ((1 - e_y e_y) a_y) - 1) / e_x.
// Nothing is clamped: a result outside [-1, 1] means that orbit X never
// reaches the distance; e_x = 0 gives an infinity or NaN. Note the argument
// order: both axes, both eccentricities, the result, the given cosine.
void c_equation(const double& a_x, const double& a_y, const double& e_x, const double& e_y,
                double& cos_fx, const double& cos_fy);

// One integration set: orbit B's true anomaly is the quadrature variable on
// the arc between two cosine limits; orbit A is solved for at equal distance.
struct IntegrationSet {
  double a_a = 0.0;       // semimajor axis of orbit A
  double a_b = 0.0;       // semimajor axis of orbit B
  double e_a = 0.0;       // eccentricity of orbit A
  double e_b = 0.0;       // eccentricity of orbit B
  double inc_a = 0.0;     // inclination of orbit A, radians
  double inc_b = 0.0;     // inclination of orbit B, radians
  double c_first = 0.0;   // first cosine limit of orbit B's true anomaly
  double c_second = 0.0;  // second cosine limit
};

// Which of the four overlap configurations a set of bounds describes
// (0 when none holds), and the sets and split flag it yields. This is the
// silent core of linecheck; it writes its outputs only when a case holds.
//
// The bounds are cos f1 and cos f2 at the two ends r_max, r_min of the shared
// distance range; -1 and +1 mark an apsis and are tested by exact equality.
//   case 1: q1 < q2 <= Q1 < Q2, two arcs (orbit 1 outer part, orbit 2 inner);
//   case 2: orbit 1's range inside orbit 2's, one arc over orbit 1;
//   case 3: orbit 2's range inside orbit 1's, one arc over orbit 2;
//   case 4: mirror of case 1, two arcs.
// split_flag 1: integrate set 1 and set 2 over their own limits and add;
// split_flag 0: one integral with set 1's elements from set 1's first limit
// to set 2's second limit.
int linecheck_case(const double& c1_rmax, const double& c1_rmin, const double& c2_rmax,
                   const double& c2_rmin, const double& a1, const double& a2, const double& e1,
                   const double& e2, const double& inc1, const double& inc2, IntegrationSet& set1,
                   IntegrationSet& set2, int& split_flag);

// The kernel module's linecheck, with its 27 arguments: inputs 1-10 (the four
// bounds, then the elements grouped by element, orbit 1 first), set 1 and
// set 2 as eight doubles each (a_A, a_B, e_A, e_B, inc_A, inc_B, first limit,
// second limit), and split_flag. When no case holds it writes the free-form
// line " The line did not make any of the checks" to standard output and
// leaves every output untouched.
void linecheck(const double& c1_rmax, const double& c1_rmin, const double& c2_rmax,
               const double& c2_rmin, const double& a1, const double& a2, const double& e1,
               const double& e2, const double& inc1, const double& inc2, double& s1_a_a,
               double& s1_a_b, double& s1_e_a, double& s1_e_b, double& s1_inc_a, double& s1_inc_b,
               double& s1_first, double& s1_second, double& s2_a_a, double& s2_a_b, double& s2_e_a,
               double& s2_e_b, double& s2_inc_a, double& s2_inc_b, double& s2_first,
               double& s2_second, int& split_flag);

// The four apsis-matching bounds of a pair (cosines of the true anomalies of
// orbit 1 and orbit 2 at the outer and inner end of the shared distance
// range; 0 where not set, exactly -1/+1 where an apsis bounds the range).
struct OverlapBounds {
  double c1_rmax = 0.0;
  double c1_rmin = 0.0;
  double c2_rmax = 0.0;
  double c2_rmin = 0.0;
  // True when no apsis of either orbit lies within the other's range.
  bool disjoint() const {
    return c1_rmax != -1.0 && c1_rmin != 1.0 && c2_rmax != -1.0 && c2_rmin != 1.0;
  }
};

// Matches each orbit's apsides against the other orbit (four c_equation
// solves, each accepted when it lies in [-1, 1]; later solves overwrite
// earlier ones).
OverlapBounds match_apsides(const double& a1, const double& e1, const double& a2, const double& e2);

// The message linecheck writes when no case holds (without the leading blank
// of a free-form line).
inline constexpr const char* kNoCaseMessage = "The line did not make any of the checks";

}  // namespace pairtrack::detail
