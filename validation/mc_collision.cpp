// Monte Carlo collision estimator: sampling of orbital states restricted to the
// shared distance range, cell lists for the close pairs, batch statistics.
#include "mc_collision.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "rng.h"

namespace mcval {

namespace {

// One sampled state. Without drawn nodes the position is kept in cylindrical
// coordinates about the ecliptic pole (s, z) with the velocity's radial,
// azimuthal and vertical parts; with drawn nodes in Cartesian coordinates.
struct State {
  double p0, p1, p2;  // s, z, (unused) | x, y, z   (AU)
  double v0, v1, v2;  // v_s, v_phi, v_z | v_x, v_y, v_z   (km/s)
  double g0, g1;      // grid coordinates: r, z | x, y   (AU); a pair closer than
                      // rho differs by less than rho in both
};

// The part of one orbit's period spent between the distances r_lo and r_hi,
// as a range of eccentric anomaly on the outbound half [0, pi].
struct Arc {
  double e_lo = 0.0, e_hi = kPiMc;  // eccentric anomaly bounds
  double m_lo = 0.0, m_hi = kPiMc;  // mean anomaly bounds
  double fraction = 1.0;            // (m_hi - m_lo) / pi
};

Arc arc_in_range(const Orbit& o, double r_lo, double r_hi) {
  Arc arc;
  if (o.e == 0.0) return arc;  // always at r = a, inside the range by construction
  // r = a (1 - e cos E): the smaller distance has the smaller E on [0, pi].
  const double c_lo = std::clamp((1.0 - r_lo / o.a_au) / o.e, -1.0, 1.0);
  const double c_hi = std::clamp((1.0 - r_hi / o.a_au) / o.e, -1.0, 1.0);
  arc.e_lo = std::acos(c_lo);
  arc.e_hi = std::acos(c_hi);
  arc.m_lo = arc.e_lo - o.e * std::sin(arc.e_lo);
  arc.m_hi = arc.e_hi - o.e * std::sin(arc.e_hi);
  arc.fraction = (arc.m_hi - arc.m_lo) / kPiMc;
  return arc;
}

// The eccentric anomaly of a state with its mean anomaly uniform on the arc
// (and on its mirror image, the inbound half).
double sample_eccentric_anomaly(const Orbit& o, const Arc& arc, Xoshiro256& rng) {
  const double m = arc.m_lo + rng.uniform() * (arc.m_hi - arc.m_lo);
  double ecc_anom = (o.e == 0.0) ? m : solve_kepler(m, o.e, arc.e_lo, arc.e_hi);
  if (rng.uniform() < 0.5) ecc_anom = -ecc_anom;  // inbound half
  return ecc_anom;
}

// Heliocentric position (AU) and velocity (km/s) at an eccentric anomaly for
// an argument of perihelion and a node (radians).
void position_velocity(const Orbit& o, double ecc_anom, double omega, double node, double gm,
                       double au, double pos[3], double vel[3]) {
  // Perifocal frame: x towards perihelion.
  const double a = o.a_au;
  const double b_over_a = std::sqrt(1.0 - o.e * o.e);
  const double ce = std::cos(ecc_anom), se = std::sin(ecc_anom);
  const double xp = a * (ce - o.e);
  const double yp = a * b_over_a * se;
  // dE/dt = n / (1 - e cos E); speeds in km/s from sqrt(GM / a).
  const double v_circ = std::sqrt(gm / (a * au));  // n a in km/s
  const double k = v_circ / (1.0 - o.e * ce);
  const double vxp = -k * se;
  const double vyp = k * b_over_a * ce;

  // Rotate by the argument of perihelion, the inclination and the node.
  const double co = std::cos(omega), so = std::sin(omega);
  const double inc = o.inc_deg * (kPiMc / 180.0);
  const double ci = std::cos(inc), si = std::sin(inc);
  const double cn = std::cos(node), sn = std::sin(node);
  auto rotate = [&](double px, double py, double& x, double& y, double& z) {
    const double x1 = co * px - so * py;  // in the orbital plane, x along the node line
    const double y1 = so * px + co * py;
    const double y2 = ci * y1;  // tilt about the node line
    z = si * y1;
    x = cn * x1 - sn * y2;  // turn the node line to its longitude
    y = sn * x1 + cn * y2;
  };
  rotate(xp, yp, pos[0], pos[1], pos[2]);
  rotate(vxp, vyp, vel[0], vel[1], vel[2]);
}

// A state with mean anomaly, argument of perihelion and, when asked, node
// uniform.
State sample_state(const Orbit& o, const Arc& arc, bool draw_node, double gm, double au,
                   Xoshiro256& rng) {
  const double ecc_anom = sample_eccentric_anomaly(o, arc, rng);
  const double omega = 2.0 * kPiMc * rng.uniform();
  const double node = draw_node ? 2.0 * kPiMc * rng.uniform() : 0.0;
  double p[3], v[3];
  position_velocity(o, ecc_anom, omega, node, gm, au, p, v);
  const double x = p[0], y = p[1], z = p[2], vx = v[0], vy = v[1], vz = v[2];
  State st;
  if (draw_node) {
    st = {x, y, z, vx, vy, vz, x, y};
  } else {
    const double s = std::hypot(x, y);
    const double cx = x / s, cy = y / s;
    st = {s, z, 0.0, cx * vx + cy * vy, cx * vy - cy * vx, vz, std::hypot(s, z), z};
  }
  return st;
}

// Importance sampling of the argument of latitude for resolve_near_coplanar:
// uniform with probability kUniformShare, else at a log-uniform distance t in
// [kTMin, pi/2] from +-pi/2 (either side).
constexpr double kUniformShare = 0.3;
constexpr double kTMin = 1e-5;

// A state (node 0) in spherical coordinates: p0 = r (AU), p1 = latitude
// (radians), p2 = the weight (1 / 2 pi) / density(u); the velocity in the
// cylindrical frame; grid coordinates r and r_ref times the latitude.
State sample_state_near_turning(const Orbit& o, const Arc& arc, double gm, double au, double r_ref,
                                Xoshiro256& rng) {
  const double ecc_anom = sample_eccentric_anomaly(o, arc, rng);
  const double log_span = std::log(0.5 * kPiMc / kTMin);
  double u;
  if (rng.uniform() < kUniformShare) {
    u = 2.0 * kPiMc * rng.uniform();
  } else {
    const double t = kTMin * std::exp(log_span * rng.uniform());
    const double centre = rng.uniform() < 0.5 ? 0.5 * kPiMc : 1.5 * kPiMc;
    u = rng.uniform() < 0.5 ? centre - t : centre + t;
  }
  // Density of u: the uniform share plus the log-uniform share around the
  // nearer of the two centres (each centre and side takes a quarter).
  double t = std::fabs(std::remainder(u - 0.5 * kPiMc, kPiMc));
  double density = kUniformShare / (2.0 * kPiMc);
  if (t >= kTMin) density += (1.0 - kUniformShare) / (4.0 * t * log_span);
  // The true anomaly from the eccentric one; omega = u - f.
  const double f = 2.0 * std::atan2(std::sqrt(1.0 + o.e) * std::sin(0.5 * ecc_anom),
                                    std::sqrt(1.0 - o.e) * std::cos(0.5 * ecc_anom));
  double p[3], v[3];
  position_velocity(o, ecc_anom, u - f, 0.0, gm, au, p, v);
  const double s = std::hypot(p[0], p[1]);
  const double cx = p[0] / s, cy = p[1] / s;
  const double weight = 1.0 / (2.0 * kPiMc) / density;
  const double r = std::hypot(s, p[2]);
  const double latitude = std::atan2(p[2], s);
  return State{r,    latitude, weight,          cx * v[0] + cy * v[1], cx * v[1] - cy * v[0],
               v[2], r,        r_ref * latitude};
}

// Square cells of side h over two grid coordinates of a set of states, kept as
// a list of (cell key, state index) sorted by key: the cells of a column are
// contiguous, so the 3 x 3 neighbourhood of a point is three ranges found by
// binary search. Memory is proportional to the number of states, however
// small the cells.
struct CellGrid {
  double h = 1.0, x0 = 0.0, y0 = 0.0;
  std::int64_t ny = 1;
  std::vector<std::pair<std::int64_t, std::size_t>> keyed;

  CellGrid(const std::vector<State>& states, double cell) : h(cell) {
    x0 = y0 = 1e300;
    double y1 = -1e300;
    for (const auto& s : states) {
      x0 = std::min(x0, s.g0);
      y0 = std::min(y0, s.g1);
      y1 = std::max(y1, s.g1);
    }
    ny = static_cast<std::int64_t>((y1 - y0) / h) + 3;
    keyed.resize(states.size());
    for (std::size_t i = 0; i < states.size(); ++i) {
      keyed[i] = {key(cell_x(states[i].g0), cell_y(states[i].g1)), i};
    }
    std::sort(keyed.begin(), keyed.end());
  }
  std::int64_t cell_x(double x) const { return static_cast<std::int64_t>((x - x0) / h) + 1; }
  std::int64_t cell_y(double y) const { return static_cast<std::int64_t>((y - y0) / h) + 1; }
  std::int64_t key(std::int64_t cx, std::int64_t cy) const { return cx * ny + cy; }

  // Calls f(index) for every state in the 3 x 3 cells around (x, y).
  template <class F>
  void for_neighbours(double x, double y, F&& f) const {
    const std::int64_t cx = cell_x(x), cy = cell_y(y);
    if (cy < 0 || cy >= ny || cx < 0) return;  // far outside: no neighbour possible
    for (std::int64_t dx = -1; dx <= 1; ++dx) {
      const std::int64_t lo = key(cx + dx, std::max<std::int64_t>(cy - 1, 0));
      const std::int64_t hi = key(cx + dx, std::min<std::int64_t>(cy + 1, ny - 1));
      auto it = std::lower_bound(keyed.begin(), keyed.end(), std::make_pair(lo, std::size_t{0}));
      for (; it != keyed.end() && it->first <= hi; ++it) f(it->second);
    }
  }
};

// Sums of one batch for one escape speed and one window.
struct Sums {
  double w = 0.0, wu = 0.0, wu2 = 0.0, wimp = 0.0;
};

// Per-batch weights of the speed bins: [v_esc][window][impact, encounter][bin].
struct SpeedSums {
  McConfig::SpeedBins bins;
  int n_bins = 0;  // n + 2
  std::size_t n_windows = 0;
  std::vector<double> w;

  SpeedSums(const McConfig::SpeedBins& b, std::size_t nv)
      : bins(b),
        n_bins(speed_bin_count(b.min_kms, b.max_kms, b.step_kms)),
        n_windows(kWindows),
        w(nv * kWindows * 2 * static_cast<std::size_t>(n_bins), 0.0) {}
  double* at(std::size_t v, int k, int which) {
    return w.data() + ((v * n_windows + static_cast<std::size_t>(k)) * 2 + which) * n_bins;
  }
  void add(std::size_t v, int k, double weight, double u, double vimp) {
    at(v, k, 0)[speed_bin_index(vimp, bins.min_kms, bins.step_kms, n_bins)] += weight;
    at(v, k, 1)[speed_bin_index(u, bins.min_kms, bins.step_kms, n_bins)] += weight;
  }
};

// Batch sums -> estimates with standard errors from the spread of the
// batches; scale(k) turns window k's mean weight into P_i.
template <class Scale>
void fill_results(McResult& res,
                  const std::vector<std::vector<std::array<Sums, kWindows>>>& batch_sums,
                  Scale scale_of) {
  const int nb = static_cast<int>(batch_sums.size());
  const std::size_t nv = res.result.size();
  for (std::size_t v = 0; v < nv; ++v) {
    for (int k = 0; k < kWindows; ++k) {
      const double scale = scale_of(k);
      std::vector<double> p(nb), vm(nb), vr(nb), vi(nb);
      Sums tot;
      for (int b = 0; b < nb; ++b) {
        const Sums& sm = batch_sums[b][v][k];
        p[b] = sm.w * scale;
        vm[b] = sm.w > 0.0 ? sm.wu / sm.w : 0.0;
        vr[b] = sm.w > 0.0 ? std::sqrt(sm.wu2 / sm.w) : 0.0;
        vi[b] = sm.w > 0.0 ? sm.wimp / sm.w : 0.0;
        tot.w += sm.w;
        tot.wu += sm.wu;
        tot.wu2 += sm.wu2;
        tot.wimp += sm.wimp;
      }
      auto spread = [nb](const std::vector<double>& x) {
        double m = 0.0;
        for (double xi : x) m += xi;
        m /= nb;
        double s2 = 0.0;
        for (double xi : x) s2 += (xi - m) * (xi - m);
        return nb > 1 ? std::sqrt(s2 / (nb - 1) / nb) : 0.0;
      };
      McWindowResult& r = res.result[v][k];
      double pm = 0.0;
      for (double x : p) pm += x;
      r.p_coll = {pm / nb, spread(p)};
      if (tot.w > 0.0) {
        r.v_rel_mean = {tot.wu / tot.w, spread(vm)};
        r.v_rel_rms = {std::sqrt(tot.wu2 / tot.w), spread(vr)};
        r.v_imp_mean = {tot.wimp / tot.w, spread(vi)};
      }
    }
  }
}

// Batch bin weights -> the distributions with standard errors, as for P_i.
template <class Scale>
void fill_speed_histograms(McResult& res, std::vector<SpeedSums>& batch, Scale scale_of) {
  const int nb = static_cast<int>(batch.size());
  const std::size_t nv = res.result.size();
  const int n_bins = batch.empty() ? 0 : batch[0].n_bins;
  res.speeds.assign(nv, {});
  for (std::size_t v = 0; v < nv; ++v) {
    for (int k = 0; k < kWindows; ++k) {
      const double scale = scale_of(k);
      McSpeedHistogram& h = res.speeds[v][k];
      for (int which = 0; which < 2; ++which) {
        std::vector<McValue>& out = which == 0 ? h.impact : h.encounter;
        out.assign(n_bins, {});
        for (int j = 0; j < n_bins; ++j) {
          double m = 0.0;
          for (int b = 0; b < nb; ++b) m += batch[b].at(v, k, which)[j] * scale;
          m /= nb;
          double s2 = 0.0;
          for (int b = 0; b < nb; ++b) {
            const double d = batch[b].at(v, k, which)[j] * scale - m;
            s2 += d * d;
          }
          out[j] = {m, nb > 1 ? std::sqrt(s2 / (nb - 1) / nb) : 0.0};
        }
      }
    }
  }
}

// Latitude half-widths of the windows for body 1's state a (resolve_near_coplanar):
// a tenth (latitude_window_fraction) of its angular distance from the cone
// |latitude| = i2 on which body 2's density is singular, at most rho / r_ref.
std::array<double, kWindows> latitude_windows(const State& a, double inc2, double r_ref,
                                              const std::array<double, kWindows>& rho,
                                              const McConfig& cfg) {
  const double d = std::fabs(inc2 - std::fabs(a.p1));
  std::array<double, kWindows> hb{};
  for (int k = 0; k < kWindows; ++k) {
    hb[k] = std::min(rho[k] / r_ref, cfg.latitude_window_fraction * std::ldexp(1.0, k) * d);
  }
  return hb;
}

// Adds an encounter at relative speed u (u2 = u * u) at every escape speed: window k takes
// U F(U) times the window's factor, which `window(k, flux, w)` sets in w (false: the encounter
// lies outside window k).
template <class Window>
void add_encounter(double u, double u2, const McConfig& cfg,
                   std::vector<std::array<Sums, kWindows>>& sums, SpeedSums* speeds,
                   Window window) {
  for (std::size_t v = 0; v < cfg.v_esc_kms.size(); ++v) {
    const double ve2 = cfg.v_esc_kms[v] * cfg.v_esc_kms[v];
    const double flux = u * (1.0 + ve2 / u2);  // U F(U)
    const double vimp = std::sqrt(u2 + ve2);
    for (int k = 0; k < kWindows; ++k) {
      double w = 0.0;
      if (!window(k, flux, w)) continue;
      Sums& sm = sums[v][k];
      sm.w += w;
      sm.wu += w * u;
      sm.wu2 += w * u2;
      sm.wimp += w * vimp;
      if (speeds) speeds->add(v, k, w, u, vimp);
    }
  }
}

// Adds the pair (a, q) of resolve_near_coplanar states: pi U F delta(dr)
// delta(d latitude) delta(d longitude) / (r^2 cos latitude) with the relative
// longitude uniform is U F / (2 r^2 cos latitude) per unit box (2 rho)(2 hb),
// times the two states' importance weights. Returns whether the pair lies in
// the smallest window.
bool add_resolved_pair(const State& a, const State& q, const std::array<double, kWindows>& hb,
                       const std::array<double, kWindows>& rho, const McConfig& cfg,
                       std::vector<std::array<Sums, kWindows>>& sums, SpeedSums* speeds) {
  const double dr = std::fabs(a.p0 - q.p0), db = std::fabs(a.p1 - q.p1);
  if (dr >= rho[kWindows - 1] || db >= hb[kWindows - 1]) return false;
  const double du0 = a.v0 - q.v0, du1 = a.v1 - q.v1, du2 = a.v2 - q.v2;
  const double u2 = du0 * du0 + du1 * du1 + du2 * du2;
  if (!(u2 > 0.0)) return false;
  const double u = std::sqrt(u2);
  const double r = 0.5 * (a.p0 + q.p0);
  const double base = a.p2 * q.p2 / (2.0 * r * r * std::cos(0.5 * (a.p1 + q.p1)));
  add_encounter(u, u2, cfg, sums, speeds, [&](int k, double flux, double& w) {
    if (dr >= rho[k] || db >= hb[k]) return false;
    w = flux * base / (4.0 * rho[k] * hb[k]);
    return true;
  });
  return dr < rho[0] && db < hb[0];
}

}  // namespace

int speed_bin_count(double min_kms, double max_kms, double step_kms) {
  return static_cast<int>(std::lround((max_kms - min_kms) / step_kms)) + 2;
}

int speed_bin_index(double speed_kms, double min_kms, double step_kms, int n_plus_2) {
  if (std::isnan(speed_kms)) return n_plus_2 - 1;  // as the kernel: with the overflow
  if (speed_kms < min_kms) return 0;
  const double j = std::floor((speed_kms - min_kms) / step_kms);
  if (j >= static_cast<double>(n_plus_2 - 2)) return n_plus_2 - 1;
  return static_cast<int>(j) + 1;
}

double solve_kepler(double mean_anomaly, double e, double e_lo, double e_hi) {
  double lo = e_lo, hi = e_hi;
  double ecc = std::clamp(mean_anomaly + e * std::sin(mean_anomaly), lo, hi);
  for (int it = 0; it < 100; ++it) {
    const double f = ecc - e * std::sin(ecc) - mean_anomaly;
    if (f > 0.0)
      hi = ecc;
    else
      lo = ecc;
    double next = ecc - f / (1.0 - e * std::cos(ecc));
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - ecc) <= 4e-16 * (1.0 + std::fabs(ecc)) || hi - lo <= 1e-15) {
      return next;
    }
    ecc = next;
  }
  return ecc;
}

McResult estimate_pair(const Orbit& o1, const Orbit& o2, const McConfig& cfg_in) {
  McResult res;
  McConfig cfg = cfg_in;
  const std::size_t nv = cfg.v_esc_kms.size();
  res.result.assign(nv, {});
  const double q1 = o1.a_au * (1.0 - o1.e), big_q1 = o1.a_au * (1.0 + o1.e);
  const double q2 = o2.a_au * (1.0 - o2.e), big_q2 = o2.a_au * (1.0 + o2.e);
  const double r_lo = std::max(q1, q2), r_hi = std::min(big_q1, big_q2);
  // Two circular orbits, and ranges that at most touch, never coincide in space
  // except on a set of measure zero.
  if (!(r_lo < r_hi) && !(r_lo == r_hi && (o1.e == 0.0) != (o2.e == 0.0))) return res;
  res.overlap = true;
  std::array<double, kWindows> rho{};
  for (int k = 0; k < kWindows; ++k) rho[k] = cfg.rho_au * std::ldexp(1.0, k);
  const double rho_max = rho[kWindows - 1];
  // Each body is sampled only where it can come within rho_max of the other:
  // the shared distance range widened by rho_max on both sides. Cutting at the
  // shared range itself would lose the pairs that straddle its ends (a bias of
  // order rho, enhanced by the apsis singularity of the density).
  const Arc arc1 = arc_in_range(o1, r_lo - rho_max, r_hi + rho_max);
  const Arc arc2 = arc_in_range(o2, r_lo - rho_max, r_hi + rho_max);
  res.fraction_1 = arc1.fraction;
  res.fraction_2 = arc2.fraction;

  auto close_pairs = [&](std::uint64_t seed, std::size_t n_states) {
    Xoshiro256 rng(seed);
    std::vector<State> s1(n_states), s2(n_states);
    for (auto& s : s1) s = sample_state(o1, arc1, cfg.draw_nodes, cfg.gm_km3_s2, cfg.au_km, rng);
    for (auto& s : s2) s = sample_state(o2, arc2, cfg.draw_nodes, cfg.gm_km3_s2, cfg.au_km, rng);
    const CellGrid grid(s2, rho_max);
    double count = 0.0;
    for (const State& a : s1) {
      grid.for_neighbours(a.g0, a.g1, [&](std::size_t j) {
        const State& q = s2[j];
        const double d0 = a.p0 - q.p0, d1 = a.p1 - q.p1, d2 = a.p2 - q.p2;
        if (d0 * d0 + d1 * d1 + d2 * d2 < rho_max * rho_max) count += 1.0;
      });
    }
    return count;
  };
  if (cfg.target_pairs_per_batch > 0.0 && !cfg.resolve_near_coplanar) {
    const std::size_t pilot = 4000;
    const double found = close_pairs(batch_seed(cfg.seed, 0xffffffffULL), pilot);
    double n_want = static_cast<double>(cfg.max_samples);
    if (found > 0.0) n_want = pilot * std::sqrt(cfg.target_pairs_per_batch / found);
    cfg.samples_per_batch = static_cast<int>(std::clamp(
        n_want, static_cast<double>(cfg.min_samples), static_cast<double>(cfg.max_samples)));
  }
  res.samples_per_batch = cfg.samples_per_batch;
  const bool resolve = cfg.resolve_near_coplanar;
  const double inc2 = o2.inc_deg * (kPiMc / 180.0);
  // With resolve: latitudes enter the grid scaled by a mid-range distance, so
  // that a latitude window of at most rho / r_ref stays within a cell.
  const double r_ref = 0.5 * (r_lo + r_hi);
  auto sample = [&](const Orbit& o, const Arc& arc, Xoshiro256& rng) {
    return resolve ? sample_state_near_turning(o, arc, cfg.gm_km3_s2, cfg.au_km, r_ref, rng)
                   : sample_state(o, arc, cfg.draw_nodes, cfg.gm_km3_s2, cfg.au_km, rng);
  };

  const int nb = cfg.batches;
  const std::size_t n = static_cast<std::size_t>(cfg.samples_per_batch);

  // batch_sums[b][v][k]
  std::vector<std::vector<std::array<Sums, kWindows>>> batch_sums(
      nb, std::vector<std::array<Sums, kWindows>>(nv));
  std::vector<double> batch_hits(nb, 0.0);
  std::vector<SpeedSums> batch_speeds;
  if (cfg.speed_histograms) batch_speeds.assign(nb, SpeedSums(cfg.speed_bins, nv));

#pragma omp parallel for schedule(dynamic, 1)
  for (int b = 0; b < nb; ++b) {
    Xoshiro256 rng(batch_seed(cfg.seed, static_cast<std::uint64_t>(b)));
    std::vector<State> s1(n), s2(n);
    for (auto& s : s1) s = sample(o1, arc1, rng);
    for (auto& s : s2) s = sample(o2, arc2, rng);
    const CellGrid grid(s2, rho_max);
    // Visit body 1's states in cell order: neighbouring queries then touch
    // neighbouring memory of the grid.
    std::sort(s1.begin(), s1.end(), [&grid](const State& x, const State& y) {
      return grid.key(grid.cell_x(x.g0), grid.cell_y(x.g1)) <
             grid.key(grid.cell_x(y.g0), grid.cell_y(y.g1));
    });
    auto& sums = batch_sums[b];
    SpeedSums* speeds = cfg.speed_histograms ? &batch_speeds[b] : nullptr;
    double hits = 0.0;
    for (const State& a : s1) {
      if (resolve) {
        const std::array<double, kWindows> hb = latitude_windows(a, inc2, r_ref, rho, cfg);
        grid.for_neighbours(a.g0, a.g1, [&](std::size_t j) {
          if (add_resolved_pair(a, s2[j], hb, rho, cfg, sums, speeds)) hits += 1.0;
        });
        continue;
      }
      grid.for_neighbours(a.g0, a.g1, [&](std::size_t j) {
        const State& q = s2[j];
        const double d0 = a.p0 - q.p0, d1 = a.p1 - q.p1, d2 = a.p2 - q.p2;
        const double d2sum = d0 * d0 + d1 * d1 + d2 * d2;
        if (d2sum >= rho_max * rho_max) return;
        // Share of the window met by this pair, per window.
        std::array<double, kWindows> share{};
        for (int k = 0; k < kWindows; ++k) {
          const double excess = rho[k] * rho[k] - d2sum;
          if (excess <= 0.0) continue;
          if (cfg.draw_nodes) {
            share[k] = 1.0;
          } else {
            // Uniform relative longitude: |r1 - r2| < rho for |dlambda| below
            // 2 asin(sqrt(excess / (4 s1 s2))).
            const double x = std::sqrt(excess / (4.0 * a.p0 * q.p0));
            share[k] = 2.0 * std::asin(std::min(1.0, x)) / kPiMc;
          }
        }
        if (share[0] > 0.0) hits += 1.0;
        const double du0 = a.v0 - q.v0, du1 = a.v1 - q.v1, du2 = a.v2 - q.v2;
        const double u2 = du0 * du0 + du1 * du1 + du2 * du2;
        if (!(u2 > 0.0)) return;
        const double u = std::sqrt(u2);
        add_encounter(u, u2, cfg, sums, speeds, [&](int k, double flux, double& w) {
          if (share[k] == 0.0) return false;
          w = flux * share[k];
          return true;
        });
      });
    }
    batch_hits[b] = hits;
  }

  for (int b = 0; b < nb; ++b) res.hits += batch_hits[b];
  const double pairs = static_cast<double>(n) * static_cast<double>(n);
  auto scale_of = [&](int k) {
    if (resolve) {  // the box normalisation is in each pair's weight (AU^-3)
      const double au3 = cfg.au_km * cfg.au_km * cfg.au_km;
      return res.fraction_1 * res.fraction_2 / au3 * kYearS / 1e-18 / pairs;
    }
    // P_i = pi E[U F delta3] with delta3 -> 1(|r1-r2|<rho) / (4/3 pi rho^3):
    // 3 / (4 rho^3) times the mean weight, in (km/s) / AU^3, then
    // km^-2 yr^-1 and the report unit 1e-18.
    const double rho_km = rho[k] * cfg.au_km;
    return res.fraction_1 * res.fraction_2 * 3.0 / (4.0 * rho_km * rho_km * rho_km) * kYearS /
           1e-18 / pairs;
  };
  fill_results(res, batch_sums, scale_of);
  if (cfg.speed_histograms) fill_speed_histograms(res, batch_speeds, scale_of);
  return res;
}

}  // namespace mcval
