// The pairtrack run: parameters from `in`, report and messages to `out`, the history file and
// the optional pair file by name. Returns the process exit status: 0 after the last frame, 1 on
// every error end (its message has then been written to `out`, its reason reported as a
// diagnostic) and when `out` could not take the whole report.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "pairtrack/units.h"

namespace pairtrack::detail {

class FrameEvaluator;
class FrameSink;
class ProgressSink;

struct ProgramOptions {
  int threads = 0;  // pair-evaluation threads; 0 = all cores (OMP_NUM_THREADS honoured)
  // Told of every frame and, while a frame's pairs are evaluated, of the pairs done so far
  // (the frame's bodies then run in a few batches; the results are the same to the bit).
  // Null: no progress, one evaluation per frame.
  ProgressSink* progress = nullptr;
  // Where warnings and error reasons go (null: nowhere), and how warnings are treated.
  DiagnosticSink* diagnostics = nullptr;
  DiagnosticPolicy policy;
  // The pair file's name (written when write_pairs is set).
  std::string pair_file_name = kPairFileName;
  // Further outputs fed every frame after the report and the pair file, in this order (the
  // --bodies and --frames tables, collectors of the Python module).
  std::vector<FrameSink*> sinks;
  // Where the pairs are evaluated; null: in this process (SerialEvaluator).
  FrameEvaluator* evaluator = nullptr;
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options = {});

}  // namespace pairtrack::detail
