// The command line shared by pairtrack and pairtrack-mpi.
#pragma once

namespace pairtrack::detail {

class FrameEvaluator;

// Parses the options, opens the files they name, runs the program on standard input and
// output with diagnostics on standard error, and returns the exit status. `evaluator`: where
// the pairs are evaluated (null: in this process, over OpenMP threads).
int command_line_main(int argc, char** argv, FrameEvaluator* evaluator = nullptr);

}  // namespace pairtrack::detail
