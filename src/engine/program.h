// The pairtrack run: parameters from `in`, report and messages to `out`, the history file and
// the optional pair file by name. Returns the process exit status: 0 after the last frame, 1 on
// every error end (its message has then been written to `out`, its reason reported as a
// diagnostic) and when `out` could not take the whole report.
#pragma once

#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engine/checkpoint.h"
#include "engine/diagnostics.h"
#include "engine/manifest.h"
#include "pairtrack/speeds.h"
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
  // When not null and set while the run goes on, the run stops between frames or batches of
  // pairs by throwing Cancelled (pairtrack/kernel.h); its outputs are then incomplete.
  const std::atomic<bool>* cancel = nullptr;
  // A signal number set by a handler (SIGTERM, SIGINT, SIGUSR1): the run stops at the next
  // frame boundary, dropping a frame in evaluation, with every output whole at the last
  // finished frame, and returns 128 + the signal's number ("stopped by signal N after frame K").
  const std::atomic<int>* stop_signal = nullptr;
  // Where the report goes, for checkpoints and messages: a file's name, or "-" (standard output).
  std::string report_path = "-";
  // Written after every finished frame (atomically) when not empty.
  std::string checkpoint_path;
  // A run resumed from this checkpoint (read from resume_path): the inputs must match it; the
  // outputs are cut back to its lengths and continued; the report's stream is positioned there.
  const Checkpoint* resume = nullptr;
  std::string resume_path;
  // A progress line "pairtrack: progress: frame K, ..." on `progress_stream` at a frame's end
  // when at least this many seconds passed since the last one (0: none).
  double progress_every = 0.0;
  std::ostream* progress_stream = nullptr;
  // When not null, receives what the run reached (for the manifest), at every end.
  RunSummary* summary = nullptr;
  // Set by the run itself: the records' identity for checkpoints.
  std::string records_identity;
  // Where the pairs are evaluated; null: in this process (SerialEvaluator).
  FrameEvaluator* evaluator = nullptr;
  // The accurate mode: the requested relative accuracy of every pair's P_i (0: the classic
  // 10 x 10 rule) and the minimum mutual inclination, degrees (0: off). The report gains one
  // echo line in that mode; its lines keep their format.
  double accuracy = 0.0;
  double min_mutual_inclination_deg = 0.0;
  // Classic mode: check every pair against the criterion of the 10 x 10 rule's accuracy, for
  // the run's closing notice and the tables' counts.
  bool classic_check = false;
  // Bin every pair's quadrature terms by speed into the bodies' distributions
  // (FrameResult::speeds) with these bins, for --speed-histogram. The bins are part of the
  // checkpoint's identity: a run cannot be resumed with other bins.
  bool speed_histograms = false;
  SpeedBins speed_bins;
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options = {});

}  // namespace pairtrack::detail
