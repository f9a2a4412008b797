// Where the pairs of a planned frame are evaluated. The run reads and plans frames in order and
// hands each one to an evaluator; the evaluator gives the results back in the same order. The
// serial evaluator works in this process, at once; the MPI layer spreads frames, or the pairs
// of one large frame, over many processes and keeps several frames in flight. The run's logic,
// its outputs and their order do not depend on which evaluator runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <span>

#include "engine/frame_job.h"
#include "engine/pair_evaluation.h"
#include "kernel/fast/fast_kernel.h"

namespace pairtrack::detail {

class ProgressSink;

// Thrown by an evaluator that gave up the frame in evaluation because a stop was asked for.
struct FrameDropped {};
struct RunStorage;

class FrameEvaluator {
 public:
  virtual ~FrameEvaluator() = default;

  // Population 1, prepared for the kernel, the escape velocity (km/s) of every pair and how the
  // pairs are integrated and checked; called once, before the first frame. The span stays valid
  // for the whole run.
  virtual void begin(std::span<const PreparedOrbit> population1, double v_esc,
                     const PairMode& mode) = 0;

  // How many submitted frames may wait for their results at once (at least 1). The caller
  // keeps each submitted job unchanged until its result has been taken.
  virtual std::size_t capacity() const = 0;

  // Hands over a planned frame.
  virtual void submit(const FrameJob& job) = 0;

  // The result of the oldest submitted frame not yet taken. Returns false when none is in
  // flight, or (without `wait`) when it is not ready yet.
  virtual bool take(FrameResult& result, bool wait) = 0;

  // No further frames (after the last one, and on every error end).
  virtual void end() {}
  // How many processes evaluate pairs (MPI ranks; 1 here).
  virtual int processes() const { return 1; }
  // What each process did, for `pairtrack-mpi --rank-summary` (after end()).
  virtual void summarise(std::ostream& err) const { (void)err; }
};

// Evaluates each frame in this process when it is submitted, over `threads` OpenMP threads
// (0: all cores), into the run storage's per-pair arrays. With a progress sink, the
// frame's bodies are evaluated in a few batches so that the progress line can move; the stored
// values are the same to the bit.
class SerialEvaluator : public FrameEvaluator {
 public:
  // `cancel`, when not null, is looked at between batches of a frame's pairs: once it reads
  // true, submit() throws Cancelled (the Python module's Ctrl-C). `stop`, likewise: once it
  // holds a signal number, submit() throws FrameDropped (the frame is given up, the run ends
  // at the last finished one).
  SerialEvaluator(RunStorage& storage, int threads, ProgressSink* progress,
                  const std::atomic<bool>* cancel = nullptr, const std::atomic<int>* stop = nullptr)
      : storage_(storage), threads_(threads), progress_(progress), cancel_(cancel), stop_(stop) {}

  void begin(std::span<const PreparedOrbit> population1, double v_esc,
             const PairMode& mode) override;
  std::size_t capacity() const override { return 1; }
  void submit(const FrameJob& job) override;
  bool take(FrameResult& result, bool wait) override;

 private:
  std::int64_t evaluate_in_batches(const FrameJob& job);
  // The per-pair slots from pair `first` of the frame on.
  PairSlots slots(std::int64_t first);

  RunStorage& storage_;
  int threads_;
  ProgressSink* progress_;
  const std::atomic<bool>* cancel_;
  const std::atomic<int>* stop_;
  std::span<const PreparedOrbit> population1_;
  double v_esc_ = 0.0;
  PairMode mode_;
  FrameResult pending_;
  bool ready_ = false;
  std::vector<BodySpeeds> speeds_;  // the frame's distributions while it is evaluated
};

// Prepares the job's bodies for the kernel into `prepared` (one entry per swept body).
void prepare_bodies(const FrameJob& job, PreparedOrbit prepared[]);

}  // namespace pairtrack::detail
