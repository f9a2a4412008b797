// One frame as it moves through the run: the job (what the sequential reading and planning
// decided: the frame's time, the bodies it sweeps, their draws and removals) and the result
// (what the pair evaluation of those bodies against population 1 gives: the frame figures and
// the per-body summaries). A job never depends on a result, so jobs can be planned ahead while
// earlier frames are still being evaluated, on this process or on others.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/checkpoint.h"
#include "engine/frame_report.h"
#include "engine/speed_histograms.h"

namespace pairtrack::detail {

// A body the frame sweeps, in position order.
struct SweptBody {
  std::int32_t position = 0;  // 1-based position within the frame
  std::int32_t id = 0;        // body identifier (1 .. 30000)
  double a_cm = 0.0;          // semimajor axis, centimetres
  double e = 0.0;             // eccentricity
  double inc = 0.0;           // inclination, radians
  bool drawn = false;         // the perihelion test drew a number for this body
  double draw = 0.0;          // that number (ran1), when drawn
  bool removed = false;       // removed after this frame's draw
};

struct FrameJob {
  std::int64_t frame = 0;  // 1-based number of the complete frame
  double t_myr = 0.0;      // frame time, Myr
  std::int32_t n1 = 0;     // population-1 orbits
  std::int32_t n2 = 0;     // bodies stored for the frame (the whole frame)
  std::vector<SweptBody> bodies;
  std::int64_t removed_total = 0;  // bodies removed in the run so far, this frame's included
  // Where the run stands once this frame is finished (what its reading and plan left): written
  // to the checkpoint after the frame's outputs are flushed.
  RunPosition position;

  std::int64_t pairs() const { return std::int64_t{n1} * static_cast<std::int64_t>(bodies.size()); }
};

// What one swept body's pairs against the catalogue add up to. The sums run over the body's
// n1 pairs in catalogue order in extended precision, rounded once when stored.
struct BodySummary {
  double p_sum = 0.0;       // sum of the intrinsic collision probabilities, 1e-18 km^-2 yr^-1
  double p_mean = 0.0;      // p_sum / n1
  double v_imp_mean = 0.0;  // probability-weighted mean impact speed, km/s (0 below 1e-8 total)
  std::int32_t hits = 0;    // catalogue orbits with an impact speed above 1e-8 km/s
  // Classic mode (when the run checks it): pairs whose 10 x 10 value is likely off by more
  // than 1 %, and of those the singular ones (coplanar, coincident circles, identical orbits,
  // equal inclinations: no finite value at all).
  std::int32_t n_classic_off = 0;
  std::int32_t n_singular = 0;
  // Accurate mode: pairs without a finite value (left out of p_sum and p_mean), and the summed
  // error estimate of p_sum, 1e-18 km^-2 yr^-1.
  std::int32_t n_divergent = 0;
  double p_sum_error = 0.0;
};

// The pair of a frame that the classic criterion finds worst: the singular ones first, then
// the smallest peak width relative to its threshold.
struct ClassicWorstPair {
  double severity = 0.0;   // min(delta / threshold, apsis_eps / threshold); 0 when singular
  double delta = 0.0;      // closeness of the planes (infinite when an inclination is 0)
  double apsis_eps = 0.0;  // width of the apsidal peak (infinite without one)
  std::int32_t body = -1;  // index of the swept body in the job; -1: no pair flagged
  std::int32_t catalogue_line = 0;  // 1-based orbit of population 1
  std::int32_t pair_class = 0;      // kernel::PairClass
};

struct FrameResult {
  std::int64_t frame = 0;
  FrameFigures figures{};           // the frame line
  std::int64_t no_case = 0;         // pairs for which no overlap case held (one message line each)
  std::vector<BodySummary> bodies;  // per swept body, in the job's order
  // The sums of the bodies' counts (see BodySummary), the worst flagged pair, and the summed
  // error estimate of the frame's mean P_i (accurate mode).
  std::int64_t n_classic_off = 0;
  std::int64_t n_singular = 0;
  std::int64_t n_divergent = 0;
  double proba_mean_error = 0.0;
  ClassicWorstPair worst;
  // With speed bins: every swept body's speed distributions, in the job's order (else empty).
  std::vector<BodySpeeds> speeds;
  // The frame's pair-file lines, when the process that evaluated the frame formed them (an MPI
  // rank other than 0, so that rank 0, which writes every output, only copies them); otherwise
  // the pair file forms them from the job.
  bool pair_lines_formed = false;
  std::string pair_lines;
};

}  // namespace pairtrack::detail
