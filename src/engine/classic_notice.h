// What the run says about the method's limits, beside the report: in the classic mode, the
// pairs whose fixed 10 x 10 value the accuracy criterion flags (one notice on standard error at
// the end of the run: how many, and the worst pair); in the accurate mode, the echo line that
// states the mode in the report.
#pragma once

#include <cstdint>
#include <string>

#include "engine/frame_job.h"
#include "io/fortran_text.h"

namespace pairtrack::detail {

// Radians per degree (pi / 180) for the options given in degrees.
inline constexpr double kRadPerDegExact = 0.017453292519943295;

// The flagged pairs of the frames delivered so far.
class ClassicTally {
 public:
  void add(const FrameJob& job, const FrameResult& result);
  // The notice (without prefix), or "" when no pair was flagged.
  std::string notice() const;

 private:
  std::int64_t pairs_ = 0;
  std::int64_t off_ = 0;
  std::int64_t singular_ = 0;
  std::int64_t worst_frame_ = 0;
  std::int32_t worst_id_ = 0;
  ClassicWorstPair worst_;
};

// The report's echo line of the accurate mode, after the four parameter echo lines:
// " # accuracy =  1.0000000000000000E-004 (adaptive Gauss-Kronrod)", with
// " min_mutual_inclination =  <deg> deg" added when that regularisation is on.
fortran::FreeFormLine accuracy_echo(double accuracy, double min_mutual_inclination_deg);

}  // namespace pairtrack::detail
