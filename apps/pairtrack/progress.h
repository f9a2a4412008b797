// A one-line progress indicator for interactive runs: frame number, frame time (Myr), pairs
// evaluated per second and the estimated time left in the current frame, redrawn in place on a
// terminal at most a few times per second. Used only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/progress_sink.h"

namespace pairtrack::detail {

// Draws the progress line on the file descriptor `fd` (standard error in the program). The run
// driver reports the start of each frame and the pairs evaluated so far; the reporter decides
// when to redraw. Every drawing is one write() of a carriage return, the line and an
// erase-to-end-of-line control, so the line is overwritten in place.
class ProgressReporter : public ProgressSink {
 public:
  // `min_interval`: the least time between two redraws (the first draw of a run is immediate).
  explicit ProgressReporter(
      int fd, std::chrono::milliseconds min_interval = std::chrono::milliseconds(250));

  // A frame begins: its 1-based number, its time in Myr and the number of pairs it evaluates.
  void frame_started(std::int64_t frame, double t_myr, std::int64_t frame_pairs) override;

  // `done` pairs of the current frame have been evaluated (cumulative within the frame).
  void pairs_done(std::int64_t done) override;

  // Erases the line if one is shown, so that report lines written to a terminal next are not
  // mixed into it. The next report redraws it.
  void clear() override;

  // Ends the indicator: erases the line and writes one closing summary line (frames, pairs,
  // elapsed seconds) ended by a newline.
  void finish();

  // The text of the progress line for the current state (no control characters).
  std::string line() const;

 private:
  void draw(bool force);
  double elapsed_seconds() const;

  using Clock = std::chrono::steady_clock;
  int fd_;
  Clock::duration min_interval_;
  Clock::time_point start_;
  Clock::time_point last_draw_;
  bool drawn_ever_ = false;
  bool shown_ = false;
  std::int64_t frame_ = 0;
  double t_myr_ = 0.0;
  std::int64_t frame_pairs_ = 0;
  std::int64_t frame_done_ = 0;
  std::int64_t pairs_before_frame_ = 0;  // pairs of all earlier frames
};

// True when standard error is a terminal: the only case in which pairtrack shows progress.
bool progress_wanted();

}  // namespace pairtrack::detail
