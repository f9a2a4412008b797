// pairtrack public API: the machine-readable tables of a run, one row per frame and one row per
// swept body per frame. They are what the program's --frames and --bodies options write as CSV
// (reals with 17 significant digits) and what run() returns.
#pragma once

#include <cstdint>
#include <limits>

namespace pairtrack {

// One frame: the report's frame line at full precision, plus the bodies swept and removed.
struct FrameRow {
  std::int64_t frame = 0;            // 1-based number of the complete frame
  double t_myr = 0.0;                // frame time, Myr (the file's time divided by time_divisor)
  double proba_mean = 0.0;           // mean intrinsic collision probability over the frame's pairs,
  double proba_sigma = 0.0;          //   and its sample standard deviation, 1e-18 km^-2 yr^-1
  double impvel_mean = 0.0;          // probability-weighted mean impact speed and its weighted
  double impvel_sigma = 0.0;         //   standard deviation, km/s
  std::int64_t n1 = 0;               // catalogue orbits
  std::int64_t n2 = 0;               // bodies stored for the frame (all positions)
  std::int64_t n_proba = 0;          // pairs evaluated (n_active * n1)
  std::int64_t n_impvel = 0;         // pairs with an impact speed above 1e-8 km/s
  std::int64_t n_active = 0;         // bodies swept (in n2_min .. n2_max and not removed before)
  std::int64_t n_removed = 0;        // bodies removed after this frame's draws
  std::int64_t n_removed_total = 0;  // bodies removed in the run so far, this frame included
  // Classic mode: pairs whose 10 x 10 value is likely off by more than 1 %, and of those the
  // singular ones (no finite value); 0 when the run does not check them. Accurate mode: pairs
  // without a finite value (not in n_proba nor the means), and the summed error estimate of
  // proba_mean, 1e-18 km^-2 yr^-1.
  std::int64_t n_classic_off = 0;
  std::int64_t n_singular = 0;
  std::int64_t n_divergent = 0;
  double proba_mean_error = 0.0;
  // Collision-weighted mean, root-mean-square and standard deviation of the impact speed over
  // all the frame's collisions, km/s: the spread of the impact speeds themselves, not of the
  // pairs' mean speeds (impvel_sigma). Formed by the speed-binning pass (--speed-histogram);
  // NaN when the run does not make it.
  double v_imp_cw_mean = std::numeric_limits<double>::quiet_NaN();
  double v_imp_cw_rms = std::numeric_limits<double>::quiet_NaN();
  double v_imp_cw_sd = std::numeric_limits<double>::quiet_NaN();
};

// One swept body of one frame, and what its pairs with the catalogue add up to.
struct BodyRow {
  std::int64_t frame = 0;
  double t_myr = 0.0;
  std::int64_t position = 0;  // 1-based position within the frame
  std::int64_t id = 0;        // body identifier
  double a_au = 0.0;          // semimajor axis, AU
  double e = 0.0;             // eccentricity
  double inc_deg = 0.0;       // inclination, degrees (the history file's radians x 180/pi)
  double q_au = 0.0;          // perihelion a (1 - e), AU, as the removal test forms it
  double p_mean = 0.0;        // mean intrinsic collision probability against the catalogue
  double p_sum = 0.0;         //   and its sum over the catalogue, 1e-18 km^-2 yr^-1
  double v_imp_mean = 0.0;    // probability-weighted mean impact speed, km/s (0 when p_sum < 1e-8)
  std::int64_t n_hit = 0;     // catalogue orbits it can hit (impact speed above 1e-8 km/s)
  bool removed = false;       // removed after this frame's draw
  bool drawn = false;         // a number was drawn for it (its perihelion is below q_crit)
  double draw = 0.0;          // that number, when drawn
  // As FrameRow's, for this body's pairs; p_sum_error: the summed error estimate of p_sum.
  std::int64_t n_classic_off = 0;
  std::int64_t n_singular = 0;
  std::int64_t n_divergent = 0;
  double p_sum_error = 0.0;
};

// One bin of one speed distribution of one frame (the --speed-histogram file's rows): the
// frame's distributions over all its pairs (position = id = 0, every bin, underflow and
// overflow included), then each swept body's (its position and id; only the bins where either
// distribution is nonzero). The bin holds the speeds from speed_min_km_s (included; -infinity
// for the underflow bin) to speed_max_km_s (excluded; +infinity for the overflow bin). The
// weights are in the unit of p_coll, 1e-18 km^-2 yr^-1; the frame's sum to its total P_i.
struct SpeedHistogramRow {
  std::int64_t frame = 0;
  double t_myr = 0.0;
  std::int64_t position = 0;
  std::int64_t id = 0;
  double speed_min_km_s = 0.0;
  double speed_max_km_s = 0.0;
  double p_impact = 0.0;     // impact speed (with gravitational focusing) in the bin
  double p_encounter = 0.0;  // encounter speed in the bin
};

}  // namespace pairtrack
