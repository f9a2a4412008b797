// Monte Carlo estimate of the intrinsic collision probability and of the
// encounter and impact speeds of two Keplerian orbits, written from first
// principles for validating the quadrature kernel. It shares no code with the
// kernel: its own constants, Kepler solver, generator and units (AU, km/s).
//
// Model: each body moves on a fixed ellipse (a, e, i); its mean anomaly, its
// longitude of node and its argument of perihelion are independent and
// uniform. Two bodies whose radii add up to R collide at the rate
//     rate = pi R^2 E[ U F(U) delta3(r1 - r2) ],   F(U) = 1 + v_esc^2 / U^2,
// U = |v1 - v2| (kinetic theory for two independent "one-body gases"; F is the
// gravitational cross-section enlargement). P_i = rate / R^2 is estimated by
// replacing delta3 with the indicator of |r1 - r2| < rho divided by the ball
// volume 4/3 pi rho^3, which tends to P_i as rho -> 0.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace mcval {

// Physical constants. The estimator takes G M_sun and the astronomical unit
// as inputs (McConfig): the IAU values by default, or the older values that
// the program's report is computed with, so that a comparison tests the
// method rather than the constants. The year has 365 days of 86400 s, the
// year in which the report states its rates.
inline constexpr double kGmSunIauKm3PerS2 = 1.32712440018e11;  // IAU 2015 nominal
inline constexpr double kAuIauKm = 1.495978707e8;              // IAU 2012
// G = 6.67259e-11 m^3 kg^-1 s^-2 (CODATA 1986) times M_sun = 1.9891e30 kg, and
// AU = 1.4959787e8 km: the program's values (speeds 4.5e-5 higher than IAU).
inline constexpr double kGmSunProgramKm3PerS2 = 6.67259e-20 * 1.9891e30;
inline constexpr double kAuProgramKm = 1.4959787e8;
inline constexpr double kYearS = 365.0 * 86400.0;
inline constexpr double kPiMc = 3.14159265358979323846;

struct Orbit {
  double a_au;     // semimajor axis, AU
  double e;        // eccentricity, 0 <= e < 1
  double inc_deg;  // inclination, degrees
};

// Three window radii are evaluated from the same samples: rho, 2 rho, 4 rho.
inline constexpr int kWindows = 3;

struct McConfig {
  double gm_km3_s2 = kGmSunIauKm3PerS2;  // G M_sun
  double au_km = kAuIauKm;               // astronomical unit
  double rho_au = 2e-3;                  // smallest window radius, AU
  int batches = 32;  // independent batches (the standard errors come from their spread)
  int samples_per_batch = 20000;  // states of each body per batch
  // When above 0: a pilot batch (its own seed, not part of the estimate)
  // measures how often sampled pairs fall within the largest window, and
  // samples_per_batch is set so that a batch holds about this many such pairs,
  // within [min_samples, max_samples]. Deterministic like everything else.
  double target_pairs_per_batch = 0.0;
  int min_samples = 5000;
  int max_samples = 400000;
  std::uint64_t seed = 1;
  std::vector<double> v_esc_kms{0.0, 5.0};
  // false: the relative longitude of the two bodies (their node difference) is
  // averaged analytically for every pair of sampled states (exact, much less
  // noise); true: the nodes are drawn like the other angles and pairs are
  // counted in 3-D (the literal estimator, used as a check of the former).
  bool draw_nodes = false;
  // true: the estimator for nearly equal inclinations (draw_nodes is ignored).
  // Importance-sample the argument of latitude u near +-90 degrees, where each
  // body turns at its highest latitude: the density of a body's latitude has
  // an inverse square-root singularity there, and two such singularities at
  // nearly the same latitude (i1 close to i2) are the 1/sin I peak at node
  // difference 0 seen from the positions. u is drawn uniformly with
  // probability 0.3, otherwise at a distance t from +-90 degrees with t
  // log-uniform in [1e-5, pi/2] (either side); every state carries the weight
  // (1 / 2 pi) / density(u). The position window is a box in the distance r
  // (half-width rho) and in latitude, whose half-width shrinks with body 1's
  // angular distance D from the cone |latitude| = i2 on which body 2's density
  // is singular: min(rho / r_mid, latitude_window_fraction D), so that the
  // window never blurs the peak it has to resolve.
  bool resolve_near_coplanar = false;
  double latitude_window_fraction = 0.1;
  // When true: the collision-weighted distributions of the impact and the
  // encounter speed as well (McResult::speeds), binned over speed_bins.
  bool speed_histograms = false;
  struct SpeedBins {
    double min_kms = 0.0, max_kms = 40.0, step_kms = 0.25;
  } speed_bins;
};

// Bins of a speed distribution: underflow (speed < min) first, then the
// n = round((max - min) / step) bins [min + j step, min + (j + 1) step), then
// overflow (speed >= max, or not a number) last: n + 2 values.
int speed_bin_count(double min_kms, double max_kms, double step_kms);  // n + 2
int speed_bin_index(double speed_kms, double min_kms, double step_kms, int n_plus_2);

struct McValue {
  double mean = 0.0;
  double se = 0.0;  // standard error from the spread of the batch estimates
};

struct McWindowResult {
  McValue p_coll;      // 1e-18 km^-2 yr^-1
  McValue v_rel_mean;  // collision-weighted mean encounter speed, km/s
  McValue v_rel_rms;   // collision-weighted rms encounter speed, km/s
  McValue v_imp_mean;  // collision-weighted mean of sqrt(U^2 + v_esc^2), km/s
};

// Collision-weighted speed distributions of one escape speed and one window:
// the share of P_i carried by each speed bin (1e-18 km^-2 yr^-1; each
// distribution sums to p_coll), with standard errors from the spread of the
// batches, as for P_i itself.
struct McSpeedHistogram {
  std::vector<McValue> impact;     // by sqrt(U^2 + v_esc^2)
  std::vector<McValue> encounter;  // by U
};

struct McResult {
  bool overlap = false;     // false: the distance ranges do not meet, P_i = 0
  double fraction_1 = 0.0;  // share of its period body 1 spends in the shared range
  double fraction_2 = 0.0;
  double hits = 0.0;          // sampled pairs within the smallest window, all batches
  int samples_per_batch = 0;  // states of each body per batch, as used
  // [v_esc index][window index]
  std::vector<std::array<McWindowResult, kWindows>> result;
  // [v_esc index][window index], filled when McConfig::speed_histograms is set.
  std::vector<std::array<McSpeedHistogram, kWindows>> speeds;
};

// The estimate for one pair of orbits (windows rho, 2 rho, 4 rho; with
// resolve_near_coplanar the z windows are scaled alike). Deterministic for a given config
// (also with several threads: every batch has its own seeded stream and the
// batches are combined in order).
McResult estimate_pair(const Orbit& orbit_1, const Orbit& orbit_2, const McConfig& config);

// E - e sin E = M for E in [e_lo, e_hi] (0 <= e < 1, M within the bracket's
// image): safeguarded Newton iteration to full double precision.
double solve_kepler(double mean_anomaly, double e, double e_lo, double e_hi);

}  // namespace mcval
