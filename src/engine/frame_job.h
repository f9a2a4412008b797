// One frame as it moves through the run: the job (what the sequential reading and planning
// decided: the frame's time, the bodies it sweeps, their draws and removals) and the result
// (what the pair evaluation of those bodies against population 1 gives: the frame figures and
// the per-body summaries). A job never depends on a result, so jobs can be planned ahead while
// earlier frames are still being evaluated, on this process or on others.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/checkpoint.h"
#include "engine/frame_report.h"

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
};

struct FrameResult {
  std::int64_t frame = 0;
  FrameFigures figures{};    // the frame line
  std::int64_t no_case = 0;  // pairs for which no overlap case held (one message line each)
  std::vector<BodySummary> bodies;  // per swept body, in the job's order
};

}  // namespace pairtrack::detail
