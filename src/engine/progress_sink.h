// What a run tells a progress display: the start of each frame and, while the frame's pairs are
// evaluated, how many of them are done. The display itself (the line the pairtrack program draws
// on a terminal) belongs to the front end; the engine only reports.
#pragma once

#include <cstdint>

namespace pairtrack::detail {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;

  // A frame begins: its 1-based number, its time in Myr and the number of pairs it evaluates.
  virtual void frame_started(std::int64_t frame, double t_myr, std::int64_t frame_pairs) = 0;

  // `done` pairs of the current frame have been evaluated (cumulative within the frame).
  virtual void pairs_done(std::int64_t done) = 0;

  // Report lines are about to be written: the display gets out of their way.
  virtual void clear() = 0;
};

}  // namespace pairtrack::detail
