// Apsis matching and the classification of the shared distance range into
// integration arcs. Comparisons with -1 and +1 are exact on purpose: the pair
// evaluation assigns those values exactly when an apsis bounds the range.
#include "kernel/overlap_geometry.h"

#include <iostream>

namespace pairtrack::detail {

void c_equation(const double& a_x, const double& a_y, const double& e_x, const double& e_y,
                double& cos_fx, const double& cos_fy) {
  const double numerator = (e_y * cos_fy + 1.0) * ((1.0 - e_x * e_x) * a_x);
  const double denominator = (1.0 - e_y * e_y) * a_y;
  const double ratio = numerator / denominator;
  cos_fx = (ratio - 1.0) / e_x;
}

namespace {

IntegrationSet make_set(const double& a_a, const double& a_b, const double& e_a, const double& e_b,
                        const double& inc_a, const double& inc_b, double first, double second) {
  return IntegrationSet{a_a, a_b, e_a, e_b, inc_a, inc_b, first, second};
}

}  // namespace

int linecheck_case(const double& c1_rmax, const double& c1_rmin, const double& c2_rmax,
                   const double& c2_rmin, const double& a1, const double& a2, const double& e1,
                   const double& e2, const double& inc1, const double& inc2, IntegrationSet& set1,
                   IntegrationSet& set2, int& split_flag) {
  if (c2_rmax > -1.0 && c2_rmin == 1.0 && c1_rmax == -1.0 && c1_rmin < 1.0) {
    // Case 1: outer part along orbit 1 from its aphelion to the split point,
    // inner part along orbit 2 from the same distance to its perihelion.
    const double m1 = c1_rmax + (c1_rmin - c1_rmax) * 0.5;
    double c2_split = 0.0;
    c_equation(a2, a1, e2, e1, c2_split, m1);
    set1 = make_set(a2, a1, e2, e1, inc2, inc1, c1_rmax, m1);
    set2 = make_set(a1, a2, e1, e2, inc1, inc2, c2_split, c2_rmin);
    split_flag = 1;
    return 1;
  }
  if (c1_rmax == -1.0 && c1_rmin == 1.0) {
    // Case 2: orbit 1 sweeps its whole true anomaly, orbit 2 is solved for.
    const double m1 = c1_rmax + (c1_rmin - c1_rmax) * 0.5;
    set1 = make_set(a2, a1, e2, e1, inc2, inc1, c1_rmax, m1);
    set2 = make_set(a2, a1, e2, e1, inc2, inc1, m1, c1_rmin);
    split_flag = 0;
    return 2;
  }
  if (c2_rmax == -1.0 && c2_rmin == 1.0) {
    // Case 3: the roles exchanged.
    const double m2 = c2_rmax + (c2_rmin - c2_rmax) * 0.5;
    set1 = make_set(a1, a2, e1, e2, inc1, inc2, c2_rmax, m2);
    set2 = make_set(a1, a2, e1, e2, inc1, inc2, m2, c2_rmin);
    split_flag = 0;
    return 3;
  }
  if (c2_rmax == -1.0 && c2_rmin < 1.0 && c1_rmax > -1.0 && c1_rmin == 1.0) {
    // Case 4: mirror of case 1.
    const double m2 = c2_rmax + (c2_rmin - c2_rmax) * 0.5;
    double c1_split = 0.0;
    c_equation(a1, a2, e1, e2, c1_split, m2);
    set1 = make_set(a1, a2, e1, e2, inc1, inc2, c2_rmax, m2);
    set2 = make_set(a2, a1, e2, e1, inc2, inc1, c1_split, c1_rmin);
    split_flag = 1;
    return 4;
  }
  return 0;
}

void linecheck(const double& c1_rmax, const double& c1_rmin, const double& c2_rmax,
               const double& c2_rmin, const double& a1, const double& a2, const double& e1,
               const double& e2, const double& inc1, const double& inc2, double& s1_a_a,
               double& s1_a_b, double& s1_e_a, double& s1_e_b, double& s1_inc_a, double& s1_inc_b,
               double& s1_first, double& s1_second, double& s2_a_a, double& s2_a_b, double& s2_e_a,
               double& s2_e_b, double& s2_inc_a, double& s2_inc_b, double& s2_first,
               double& s2_second, int& split_flag) {
  IntegrationSet set1;
  IntegrationSet set2;
  int flag = 0;
  if (linecheck_case(c1_rmax, c1_rmin, c2_rmax, c2_rmin, a1, a2, e1, e2, inc1, inc2, set1, set2,
                     flag) == 0) {
    // A free-form line: one leading blank, then the text.
    std::cout << ' ' << kNoCaseMessage << '\n';
    return;
  }
  s1_a_a = set1.a_a;
  s1_a_b = set1.a_b;
  s1_e_a = set1.e_a;
  s1_e_b = set1.e_b;
  s1_inc_a = set1.inc_a;
  s1_inc_b = set1.inc_b;
  s1_first = set1.c_first;
  s1_second = set1.c_second;
  s2_a_a = set2.a_a;
  s2_a_b = set2.a_b;
  s2_e_a = set2.e_a;
  s2_e_b = set2.e_b;
  s2_inc_a = set2.inc_a;
  s2_inc_b = set2.inc_b;
  s2_first = set2.c_first;
  s2_second = set2.c_second;
  split_flag = flag;
}

namespace {

bool accepted(double c) { return c >= -1.0 && c <= 1.0; }  // NaN fails

}  // namespace

OverlapBounds match_apsides(const double& a1, const double& e1, const double& a2,
                            const double& e2) {
  OverlapBounds b;
  double c = 0.0;
  c_equation(a1, a2, e1, e2, c, -1.0);  // orbit 1 at orbit 2's aphelion distance
  if (accepted(c)) {
    b.c1_rmax = c;
    b.c2_rmax = -1.0;
  }
  c_equation(a1, a2, e1, e2, c, 1.0);  // orbit 1 at orbit 2's perihelion distance
  if (accepted(c)) {
    b.c1_rmin = c;
    b.c2_rmin = 1.0;
  }
  c_equation(a2, a1, e2, e1, c, -1.0);  // orbit 2 at orbit 1's aphelion distance
  if (accepted(c)) {
    b.c2_rmax = c;
    b.c1_rmax = -1.0;
  }
  c_equation(a2, a1, e2, e1, c, 1.0);  // orbit 2 at orbit 1's perihelion distance
  if (accepted(c)) {
    b.c2_rmin = c;
    b.c1_rmin = 1.0;
  }
  return b;
}

}  // namespace pairtrack::detail
