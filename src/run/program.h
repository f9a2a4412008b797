// The pairtrack run: parameters from `in`, report and messages to `out`,
// the history file and the optional pair file by name. Returns the process
// exit status: 0 after the last frame, 1 on every error end (its message has
// then been written to `out`) and when `out` could not take the whole report.
#pragma once

#include <istream>
#include <ostream>

namespace pairtrack {

class ProgressReporter;

struct ProgramOptions {
  int threads = 0;  // pair-evaluation threads; 0 = all cores (OMP_NUM_THREADS honoured)
  // Told of every frame and, while a frame's pairs are evaluated, of the pairs done so far
  // (the frame's bodies then run in a few batches; the results are the same to the bit).
  // Null: no progress, one evaluation per frame.
  ProgressReporter* progress = nullptr;
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options = {});

}  // namespace pairtrack
