// The pairtrack run: parameters from `in`, report and messages to `out`,
// the history file and the optional pair file by name. Returns the process
// exit status: 0 after the last frame, 1 on every error end (its message has
// then been written to `out`).
#pragma once

#include <istream>
#include <ostream>

namespace pairtrack {

struct ProgramOptions {
  int threads = 0;  // pair-evaluation threads; 0 = all cores (OMP_NUM_THREADS honoured)
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options = {});

}  // namespace pairtrack
