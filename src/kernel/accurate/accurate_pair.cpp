// The accurate pair integrator: classification of the pair, the arcs of the
// overlap geometry times the pieces of the node axis as rectangles, and the
// adaptive Gauss-Kronrod product cubature over them.
#include "kernel/accurate/accurate_pair.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "kernel/accurate/accurate_rows.h"
#include "kernel/accurate/axis_substitution.h"
#include "kernel/accurate/gauss_kronrod.h"
#include "kernel/accurate/pair_class.h"
#include "kernel/kernel_constants.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/g_integral.h"
#include "kernel/reference/gaussorb.h"
#include "kernel/reference/integrand.h"

namespace pairtrack::detail::kernel {

namespace {

using accurate::AngleValue;
using accurate::AxisPiece;
using accurate::InclinationPair;
using accurate::NodeValue;
using ::pairtrack::detail::kSumP;
using ::pairtrack::detail::kSumV;
using ::pairtrack::detail::kSumV2;
using ::pairtrack::detail::kSumVimp;

// The rule on both axes of every rectangle.
constexpr const GaussKronrodRule& kRule = kGk15;
constexpr int kMaxRulePoints = gk15::kPoints;
constexpr int kRulePoints = gk15::kPoints * gk15::kPoints;

// One true-anomaly arc of orbit B with its orbit constants.
struct Arc {
  OrbitPairConstants orbits;
  double g_a = 0.0, g_b = 0.0;  // speed scales sqrt(GM/p), cm/s
  double theta_lo = 0.0, theta_hi = 0.0;
  AxisPiece pieces[2];  // of the anomaly axis
  int n_pieces = 0;
  bool apsis_shared = false;  // orbit A at its apsis where B is at one: divergent
};

// The integrand of one pair: its arcs, node pieces and regularisation.
struct PairIntegrand {
  std::vector<Arc> arcs;
  AxisPiece pieces[2];  // of the node axis
  int n_pieces = 0;
  InclinationPair inclinations;
  double sin_min_inclination = 0.0;  // sin I_min, 0 when off
  double v_esc2 = 0.0;               // km^2/s^2
};

// A rectangle of (arc anomaly, node variable) with its Kronrod sums (the four
// moments) and the Gauss-Kronrod differences of P along each axis.
struct Region {
  int arc = 0, arc_piece = 0, piece = 0;
  double t0 = 0.0, t1 = 0.0;  // anomaly variable
  double x0 = 0.0, x1 = 0.0;  // node variable
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  double err_theta = 0.0, err_node = 0.0;
  double error() const { return err_theta + err_node; }
};

// The quantities at one anomaly node that do not depend on the node
// difference: integrand_point's sign-free values with the inclination-
// dependent fields still to be set, and the transverse speeds they come from.
struct AnomalyNode {
  IntegrandPoint point;
  double vt_a = 0.0, vt_b = 0.0;  // transverse speeds of bodies A and B, cm/s
  double b_slope = 0.0;           // P_B / D_B, projects onto B's velocity
  double jacobian = 1.0;          // d theta / d(anomaly variable)
};

AnomalyNode anomaly_node(const PairIntegrand& f, const Arc& arc, const AngleValue& theta) {
  NodeConstants n;  // in-plane placeholder; the node fields are set per node
  n.cos_i = 1.0;
  n.sin_i = 0.0;
  n.sin2_i = 0.0;
  n.k_a = 0.0;
  n.g_a = arc.g_a;
  n.g_b = arc.g_b;
  n.v_esc2 = f.v_esc2;
  n.w_node = 1.0;
  const double cos_t = theta.cos_x;
  AnomalyNode a;
  a.point = integrand_point(arc.orbits, n, cos_t, theta.sin_x, 1.0);
  a.jacobian = theta.jacobian;
  const double pp_b = 1.0 + arc.orbits.e_b * cos_t;
  a.b_slope = pp_b / a.point.d_b;
  a.vt_a = a.point.v_a * (a.point.pp_a / a.point.d_a);
  a.vt_b = a.point.v_b * a.b_slope;
  return a;
}

// The node-dependent fields of one point as integrand_point forms them.
IntegrandPoint node_point(const PairIntegrand& f, const Arc& arc, const AnomalyNode& a,
                          const NodeValue& nv) {
  IntegrandPoint p = a.point;
  p.cos_i = nv.cos_i;
  p.sin2_i = nv.sin_i * nv.sin_i;
  // The regularisation acts on the 1/sin I of the encounter geometry only.
  p.k_a = arc.orbits.e_a * arc.orbits.p_a * std::max(nv.sin_i, f.sin_min_inclination);
  p.delta_t = a.vt_b - nv.cos_i * a.vt_a;
  p.delta_n = 0.0 - a.vt_a * nv.sin_i;
  p.xi_t = p.delta_t * a.b_slope;
  return p;
}

// The node-difference-free parts of a row's two sign pairs, formed as
// integrand_term forms them.
accurate::RowConstants row_constants(const PairIntegrand& f, const AnomalyNode& a) {
  const IntegrandPoint& p = a.point;
  accurate::RowConstants r;
  r.vt_a = a.vt_a;
  r.vt_b = a.vt_b;
  r.b_slope = a.b_slope;
  r.c_w = 2.0 * kPi * p.pp_a * p.pp_a / (p.h_a * p.h_b);
  r.jacobian = a.jacobian;
  r.v_esc2 = f.v_esc2;
  r.v_esc2_cm = f.v_esc2 / (kCmPerSToKmPerS * kCmPerSToKmPerS);
  const double sigma_b = -1.0;
  for (int k = 0; k < 2; ++k) {
    const double sigma_a = k == 0 ? -1.0 : 1.0;
    const double t_b = sigma_b * p.tau_b;
    const double u_b = sigma_b * p.rho_b / p.d_b;
    const double vr_b = p.v_b * u_b;
    const double t_a = sigma_a * p.tau_a;
    const double vr_a = p.v_a * (sigma_a * p.rho_a / p.d_a);
    const double delta_r = vr_b - vr_a;
    r.dr2[k] = delta_r * delta_r;
    r.dru[k] = delta_r * u_b;
    r.tt[k] = t_a * t_a + t_b * t_b;
    r.m2ab[k] = (-2.0) * t_a * t_b;
  }
  return r;
}

// The four sign terms at one point with unit weights, times the node
// Jacobian: the row's factors formed at the point itself.
void point_moments(const PairIntegrand& f, const Arc& arc, const AnomalyNode& a,
                   const NodeValue& nv, double out[4]) {
  // Reversing both bodies' radial motion leaves every term as it is: the
  // sign pairs (+, +) and (+, -) equal (-, -) and (-, +) bit for bit, so two
  // terms are formed and counted twice (term_moments).
  const accurate::RowConstants row = row_constants(f, a);
  const double inv_k_a = 1.0 / std::fabs(node_point(f, arc, a, nv).k_a);
  accurate::term_moments(row, nv.cos_i, nv.sin_i, nv.sin_i * nv.sin_i, inv_k_a, nv.jacobian, out);
}

// The points of the rule over a region: its arc, the pieces of its two
// variables, and the centres and half-widths of its anomaly and node ranges.
struct RegionPoints {
  const Arc& arc;
  const AxisPiece& piece;
  const AxisPiece& arc_piece;
  double tc, th, xc, xh;

  RegionPoints(const PairIntegrand& f, const Region& r)
      : arc(f.arcs[static_cast<std::size_t>(r.arc)]),
        piece(f.pieces[r.piece]),
        arc_piece(arc.pieces[r.arc_piece]),
        tc(0.5 * (r.t0 + r.t1)),
        th(0.5 * (r.t1 - r.t0)),
        xc(0.5 * (r.x0 + r.x1)),
        xh(0.5 * (r.x1 - r.x0)) {}

  // The anomaly node at the rule's point i.
  AnomalyNode anomaly(const PairIntegrand& f, int i) const {
    return anomaly_node(f, arc, accurate::angle_value(arc_piece, tc + th * kRule.node[i]));
  }
  // The node difference at the rule's point j.
  NodeValue node(const PairIntegrand& f, int j) const {
    return accurate::node_value(f.inclinations, piece, xc + xh * kRule.node[j]);
  }
};

// The Kronrod product rule over a region, and the two differences against
// the Gauss rule along one axis (Kronrod along the other), point by point.
void evaluate_point_by_point(const PairIntegrand& f, Region& r) {
  const GaussKronrodRule& q = kRule;
  const RegionPoints g(f, r);
  const Arc& arc = g.arc;
  const double th = g.th, xh = g.xh;
  NodeValue nodes[kMaxRulePoints];
  for (int j = 0; j < q.n; ++j) nodes[j] = g.node(f, j);
  double kk[4] = {0.0, 0.0, 0.0, 0.0};
  double gk_theta = 0.0, kg_node = 0.0;
  for (int i = 0; i < q.n; ++i) {
    const AnomalyNode a = g.anomaly(f, i);
    double row_k[4] = {0.0, 0.0, 0.0, 0.0};
    double row_g = 0.0;
    for (int j = 0; j < q.n; ++j) {
      double m[4];
      point_moments(f, arc, a, nodes[j], m);
      for (int k = 0; k < 4; ++k) row_k[k] += q.kronrod[j] * m[k];
      row_g += q.gauss[j] * m[0];
    }
    for (int k = 0; k < 4; ++k) kk[k] += q.kronrod[i] * row_k[k];
    gk_theta += q.gauss[i] * row_k[0];
    kg_node += q.kronrod[i] * row_g;
  }
  const double area = th * xh;
  for (int k = 0; k < 4; ++k) r.sums[k] = kk[k] * area;
  r.err_theta = std::fabs(kk[0] - gk_theta) * area;
  r.err_node = std::fabs(kk[0] - kg_node) * area;
}

// The anomaly rows of a region's anomaly range.
struct AnomalyRows {
  accurate::RowConstants row[kMaxRulePoints];
};

void anomaly_rows(const PairIntegrand& f, const Region& r, AnomalyRows& out) {
  const RegionPoints g(f, r);
  for (int i = 0; i < kRule.n; ++i) out.row[i] = row_constants(f, g.anomaly(f, i));
}

// 1 / |e_A p_A max(sin I, sin I_min)| of the lanes, for an arc's orbit A.
void set_k_a(const PairIntegrand& f, const Arc& arc, accurate::NodeLanes& out) {
  for (int j = 0; j < accurate::kRowLanes; ++j) {
    out.inv_k_a[j] = 1.0 / std::fabs(arc.orbits.e_a * arc.orbits.p_a *
                                     std::max(out.sin_i[j], f.sin_min_inclination));
  }
}

// The node differences of a region's node range, for its arc's orbit A.
void node_lanes(const PairIntegrand& f, const Region& r, accurate::NodeLanes& out) {
  const GaussKronrodRule& q = kRule;
  const RegionPoints g(f, r);
  for (int j = 0; j < accurate::kRowLanes; ++j) {
    if (j >= q.n) {
      // Lanes past the rule repeat its last node.
      out.cos_i[j] = out.cos_i[q.n - 1];
      out.sin_i[j] = out.sin_i[q.n - 1];
      out.sin2_i[j] = out.sin2_i[q.n - 1];
      out.jacobian[j] = out.jacobian[q.n - 1];
      continue;
    }
    const NodeValue nv = g.node(f, j);
    out.cos_i[j] = nv.cos_i;
    out.sin_i[j] = nv.sin_i;
    out.sin2_i[j] = nv.sin_i * nv.sin_i;
    out.jacobian[j] = nv.jacobian;
  }
  set_k_a(f, g.arc, out);
}

// The same rule and differences as evaluate_point_by_point from a region's
// rows and node differences, the node differences of each row side by side.
void evaluate_rows(const AnomalyRows& rows, const accurate::NodeLanes& nodes,
                   accurate::RowPath path, Region& r) {
  const GaussKronrodRule& q = kRule;
  const double th = 0.5 * (r.t1 - r.t0);
  const double xh = 0.5 * (r.x1 - r.x0);
  const accurate::RectangleSums sums = accurate::rectangle_sums(path, q, rows.row, nodes);
  const double* kk = sums.kk;
  const double gk_theta = sums.gk_theta, kg_node = sums.kg_node;
  const double area = th * xh;
  for (int k = 0; k < 4; ++k) r.sums[k] = kk[k] * area;
  r.err_theta = std::fabs(kk[0] - gk_theta) * area;
  r.err_node = std::fabs(kk[0] - kg_node) * area;
}

// Two slots of values computed for a key (a range of the integration variables); a key not
// held replaces the slot filled longer ago.
template <class Key, class Value>
class TwoSlotCache {
 public:
  // The slot holding `key`, or -1.
  int find(const Key& key) const {
    for (int k = 0; k < 2; ++k) {
      if (used_[k] && keys_[k] == key) return k;
    }
    return -1;
  }
  // The older slot, now keyed by `key`; the caller fills its value.
  int claim(const Key& key) {
    const int k = next_;
    next_ = 1 - next_;
    used_[k] = true;
    keys_[k] = key;
    return k;
  }
  Value& operator[](int k) { return values_[k]; }

 private:
  Value values_[2];
  Key keys_[2] = {};
  int next_ = 0;
  bool used_[2] = {false, false};
};

// How the rectangles are evaluated: point by point, or in rows on a path.
// The rows path keeps the rows and node differences of the last two
// anomaly and node ranges: the pieces of the starting grid share them (the
// node differences across the arcs too), and so do the two halves of a
// bisected rectangle along the axis not cut.
class Evaluator {
 public:
  Evaluator(bool rows, accurate::RowPath path) : rows_(rows), path_(path) {}

  void operator()(const PairIntegrand& f, Region& r) {
    if (!rows_) {
      evaluate_point_by_point(f, r);
      return;
    }
    const int t = find_rows(f, r);
    const int x = find_nodes(f, r);
    evaluate_rows(row_cache_[t], node_cache_[x].nodes, path_, r);
  }

 private:
  struct RowKey {
    int arc = 0, arc_piece = 0;
    double t0 = 0.0, t1 = 0.0;
    bool operator==(const RowKey&) const = default;
  };
  struct NodeKey {
    int piece = 0;
    double x0 = 0.0, x1 = 0.0;
    bool operator==(const NodeKey&) const = default;
  };
  struct NodeEntry {
    accurate::NodeLanes nodes;
    int arc = 0;
  };

  int find_rows(const PairIntegrand& f, const Region& r) {
    const RowKey key{r.arc, r.arc_piece, r.t0, r.t1};
    int k = row_cache_.find(key);
    if (k < 0) {
      k = row_cache_.claim(key);
      anomaly_rows(f, r, row_cache_[k]);
    }
    return k;
  }
  int find_nodes(const PairIntegrand& f, const Region& r) {
    const NodeKey key{r.piece, r.x0, r.x1};
    int k = node_cache_.find(key);
    if (k >= 0) {
      NodeEntry& e = node_cache_[k];
      // The same node differences serve both arcs; only e_A p_A changes.
      if (e.arc != r.arc) {
        set_k_a(f, f.arcs[static_cast<std::size_t>(r.arc)], e.nodes);
        e.arc = r.arc;
      }
      return k;
    }
    k = node_cache_.claim(key);
    NodeEntry& e = node_cache_[k];
    e.arc = r.arc;
    node_lanes(f, r, e.nodes);
    return k;
  }

  bool rows_;
  accurate::RowPath path_;
  TwoSlotCache<RowKey, AnomalyRows> row_cache_;
  TwoSlotCache<NodeKey, NodeEntry> node_cache_;
};

// Hands every term of the Kronrod product rule over a region to the sink,
// each weight times `unit` (the factor from the sum of P to p_coll), in the
// order the evaluation sums them.
void emit_nodes(const PairIntegrand& f, const Region& r, double unit, AccurateNodeSink& sink) {
  const GaussKronrodRule& q = kRule;
  const RegionPoints g(f, r);
  const Arc& arc = g.arc;
  const double area_unit = g.th * g.xh * unit;
  for (int i = 0; i < q.n; ++i) {
    const AnomalyNode a = g.anomaly(f, i);
    for (int j = 0; j < q.n; ++j) {
      const NodeValue nv = g.node(f, j);
      const IntegrandPoint p = node_point(f, arc, a, nv);
      const double w = 2.0 * (nv.jacobian * a.jacobian) * (q.kronrod[i] * q.kronrod[j]) * area_unit;
      for (const double sigma_a : {-1.0, 1.0}) {
        const IntegrandTerm t = integrand_term(p, -1.0, sigma_a);
        if (!t.adds) continue;
        sink.node(t.w * w, t.u_km, std::sqrt(t.u_km * t.u_km + p.v_esc2));
      }
    }
  }
}

// Order of the work queue: the largest error first; ties by index, so the
// order, and hence the bits, never depend on anything but the pair.
struct LargerError {
  const std::vector<Region>* regions;
  bool operator()(int a, int b) const {
    const double ea = (*regions)[static_cast<std::size_t>(a)].error();
    const double eb = (*regions)[static_cast<std::size_t>(b)].error();
    if (ea != eb) return ea < eb;
    return a > b;
  }
};

AccurateResult divergent_result() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  AccurateResult r;
  r.p_coll = r.v_rel_mean = r.v_rel_rms = r.v_imp_mean = r.p_coll_error = nan;
  r.status = AccurateStatus::kDivergent;
  return r;
}

void check_options(const AccurateOptions& o) {
  if (!(o.rel > 0.0 && o.rel <= 0.1)) {
    std::ostringstream msg;
    msg << "accuracy must be a relative accuracy in (0, 0.1], got " << o.rel;
    throw std::invalid_argument(msg.str());
  }
  if (!(o.min_mutual_inclination >= 0.0 && o.min_mutual_inclination <= 0.5 * kPi)) {
    std::ostringstream msg;
    msg << "minimum mutual inclination must be in [0, pi/2] radians, got "
        << o.min_mutual_inclination;
    throw std::invalid_argument(msg.str());
  }
  if (o.max_points < kRulePoints) {
    std::ostringstream msg;
    msg << "node budget must allow one " << kRulePoints << "-point rectangle, got " << o.max_points;
    throw std::invalid_argument(msg.str());
  }
}

Arc make_arc(const IntegrationSet& s, double c_first, double c_second) {
  Arc arc;
  arc.orbits = orbit_pair_constants(s.a_a, s.a_b, s.e_a, s.e_b);
  arc.g_a = std::sqrt(kGM / arc.orbits.p_a);
  arc.g_b = std::sqrt(kGM / arc.orbits.p_b);
  arc.theta_lo = std::min(std::acos(c_first), std::acos(c_second));
  arc.theta_hi = std::max(std::acos(c_first), std::acos(c_second));
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const double eps0 =
      arc.theta_lo == 0.0 ? accurate::apsis_peak_eps(s.a_a, s.e_a, s.a_b, s.e_b, 1.0) : kNone;
  const double eps_pi =
      arc.theta_hi == kPi ? accurate::apsis_peak_eps(s.a_a, s.e_a, s.a_b, s.e_b, -1.0) : kNone;
  arc.apsis_shared = eps0 == 0.0 || eps_pi == 0.0;
  arc.n_pieces = accurate::axis_pieces(arc.theta_lo, arc.theta_hi, eps0, eps_pi, arc.pieces);
  return arc;
}

AccurateResult integrate_pair(double a1, double e1, double inc1, double a2, double e2, double inc2,
                              double v_esc, const AccurateOptions& options, bool rows,
                              accurate::RowPath path) {
  check_options(options);
  const PairClass kind = classify_pair(a1, e1, inc1, a2, e2, inc2);
  // Coinciding orbits put the bodies at the same place with the same velocity
  // (or, for circles, at the same distance everywhere) for a whole family of
  // orientations: no finite rate, with or without a minimum inclination.
  if (kind == PairClass::kCoincidentCircles || kind == PairClass::kIdenticalOrbits) {
    return divergent_result();
  }
  // Equal inclinations put I = 0 at dOmega = 0 (i1 + i2 = pi puts I = pi at
  // dOmega = pi), coplanar orbits everywhere: the 1/sin I of the density is
  // not integrable there unless regularised.
  const bool regularised = options.min_mutual_inclination > 0.0;
  if ((kind == PairClass::kCoplanar || kind == PairClass::kEqualInclinations) && !regularised) {
    return divergent_result();
  }
  AccurateResult result;
  const OverlapBounds b = match_apsides(a1, e1, a2, e2);
  if (b.disjoint()) return result;
  IntegrationSet set1, set2;
  int split_flag = 0;
  if (linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin, a1, a2, e1, e2, inc1, inc2, set1,
                     set2, split_flag) == 0) {
    return result;  // ranges that only touch: no arc to integrate
  }

  PairIntegrand f;
  f.inclinations = accurate::inclination_pair(inc1, inc2);
  f.sin_min_inclination = std::sin(options.min_mutual_inclination);
  f.v_esc2 = v_esc * v_esc;
  double eps_floor = 0.0;
  if (f.inclinations.s > 0.0 && f.sin_min_inclination > 0.0) {
    eps_floor = std::sin(0.5 * options.min_mutual_inclination) / std::sqrt(f.inclinations.s);
  }
  f.n_pieces = accurate::node_pieces(f.inclinations, eps_floor, f.pieces);

  if (split_flag != 0) {
    f.arcs.push_back(make_arc(set1, set1.c_first, set1.c_second));
    f.arcs.push_back(make_arc(set2, set2.c_first, set2.c_second));
  } else {
    f.arcs.push_back(make_arc(set1, set1.c_first, set2.c_second));
  }

  Evaluator evaluate(rows, path);
  std::vector<Region> regions;
  regions.reserve(64);
  for (int a = 0; a < static_cast<int>(f.arcs.size()); ++a) {
    const Arc& arc = f.arcs[static_cast<std::size_t>(a)];
    if (!(arc.theta_hi > arc.theta_lo)) continue;  // zero-width arc adds nothing
    // Both bodies at an apsis at the same distance: the density falls off
    // like 1/|theta| there, a logarithmic divergence (the two bodies linger
    // at that distance together).
    if (arc.apsis_shared) return divergent_result();
    for (int t = 0; t < arc.n_pieces; ++t) {
      for (int p = 0; p < f.n_pieces; ++p) {
        Region r;
        r.arc = a;
        r.arc_piece = t;
        r.piece = p;
        r.t0 = arc.pieces[t].lo;
        r.t1 = arc.pieces[t].hi;
        r.x0 = f.pieces[p].lo;
        r.x1 = f.pieces[p].hi;
        evaluate(f, r);
        regions.push_back(r);
      }
    }
  }
  std::int64_t points = static_cast<std::int64_t>(regions.size()) * kRulePoints;

  // Running totals: P and its error estimate.
  long double total_p = 0.0L, total_err = 0.0L;
  std::priority_queue<int, std::vector<int>, LargerError> queue(LargerError{&regions});
  for (int k = 0; k < static_cast<int>(regions.size()); ++k) {
    total_p += regions[static_cast<std::size_t>(k)].sums[kSumP];
    total_err += regions[static_cast<std::size_t>(k)].error();
    queue.push(k);
  }
  std::vector<char> alive(regions.size(), 1);
  bool converged = false;
  while (true) {
    if (!std::isfinite(static_cast<double>(total_p))) break;
    if (total_err <= static_cast<long double>(options.rel) * std::fabs(total_p)) {
      converged = true;
      break;
    }
    if (points + 2 * kRulePoints > options.max_points || queue.empty()) break;
    const int k = queue.top();
    queue.pop();
    const Region parent = regions[static_cast<std::size_t>(k)];
    alive[static_cast<std::size_t>(k)] = 0;
    total_p -= parent.sums[kSumP];
    total_err -= parent.error();
    Region child[2] = {parent, parent};
    if (parent.err_theta >= parent.err_node) {
      const double mid = 0.5 * (parent.t0 + parent.t1);
      child[0].t1 = mid;
      child[1].t0 = mid;
    } else {
      const double mid = 0.5 * (parent.x0 + parent.x1);
      child[0].x1 = mid;
      child[1].x0 = mid;
    }
    for (Region& c : child) {
      evaluate(f, c);
      total_p += c.sums[kSumP];
      total_err += c.error();
      regions.push_back(c);
      alive.push_back(1);
      queue.push(static_cast<int>(regions.size()) - 1);
    }
    points += 2 * kRulePoints;
  }

  // Final sums over the live regions in creation order.
  long double sums[4] = {0.0L, 0.0L, 0.0L, 0.0L};
  long double err = 0.0L;
  for (std::size_t k = 0; k < regions.size(); ++k) {
    if (!alive[k]) continue;
    for (int m = 0; m < 4; ++m) sums[m] += regions[k].sums[m];
    err += regions[k].error();
  }
  result.points = points;
  const double sum_p = static_cast<double>(sums[kSumP]);
  if (!std::isfinite(sum_p)) return divergent_result();
  result.status = converged ? AccurateStatus::kOk : AccurateStatus::kNotConverged;
  if (!(sum_p > 0.0)) return result;
  const double c = kInvPiCubed;
  const double x = sum_p * c;  // probability per cm^2 per second
  result.p_coll = x * kCm2SToKm2Yr / kProbabilityUnit;
  result.p_coll_error = static_cast<double>(err) * c * kCm2SToKm2Yr / kProbabilityUnit;
  result.v_rel_mean = static_cast<double>(sums[kSumV]) * c / 100000.0 / x;
  result.v_rel_rms = std::sqrt(static_cast<double>(sums[kSumV2]) * c / x) / 100000.0;
  result.v_imp_mean = c * static_cast<double>(sums[kSumVimp]) / x;
  if (options.node_sink != nullptr) {
    const double unit = c * kCm2SToKm2Yr / kProbabilityUnit;
    for (std::size_t k = 0; k < regions.size(); ++k) {
      if (alive[k]) emit_nodes(f, regions[k], unit, *options.node_sink);
    }
  }
  return result;
}

}  // namespace

AccurateResult accurate_pair(double a1, double e1, double inc1, double a2, double e2, double inc2,
                             double v_esc, const AccurateOptions& options) {
  return integrate_pair(a1, e1, inc1, a2, e2, inc2, v_esc, options, true,
                        accurate::best_row_path());
}

namespace accurate {

AccurateResult accurate_pair_on_rows(double a1, double e1, double inc1, double a2, double e2,
                                     double inc2, double v_esc, const AccurateOptions& options,
                                     RowPath path) {
  return integrate_pair(a1, e1, inc1, a2, e2, inc2, v_esc, options, true, path);
}

AccurateResult accurate_pair_point_by_point(double a1, double e1, double inc1, double a2, double e2,
                                            double inc2, double v_esc,
                                            const AccurateOptions& options) {
  return integrate_pair(a1, e1, inc1, a2, e2, inc2, v_esc, options, false,
                        accurate::RowPath::kScalar);
}

}  // namespace accurate

}  // namespace pairtrack::detail::kernel
