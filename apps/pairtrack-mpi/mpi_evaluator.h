// The MPI layer of pairtrack-mpi: where the pairs of each frame are evaluated when the run is
// spread over MPI ranks. Rank 0 runs the program as pairtrack does (reading, planning, the
// outputs) with an MpiEvaluator; every other rank runs serve_frames() until rank 0 ends it.
//
// How the work is split:
//  - a frame of fewer than kSplitPairs pairs goes whole to one rank, which evaluates it and
//    sends back only its figures, per-body summaries and pair-file lines (formed there, so that
//    rank 0 only writes them); rank 0 keeps
//    up to four such frames queued at every other rank (the first rank with room, in the order
//    room came free) and evaluates a frame itself whenever all of them are busy, so many small
//    frames keep every rank working. It takes results in with one probe on any source, so its
//    cost per frame does not grow with the ranks;
//  - a larger frame is cut into blocks (kBlockPairs pairs, fewer with many ranks so that each
//    gets at least two) handed out on demand: every other rank holds up to three blocks (one it
//    works on, two ready), sends each finished block's values back straight into their place
//    in rank 0's per-pair arrays and gets the next block in reply; up to 16 ranks, rank 0
//    evaluates blocks itself between the replies. A rank that runs slower (a busier node, a
//    shared core) simply takes fewer blocks. Rank 0 forms the frame's statistics from the
//    arrays in pair order.
// Only rank 0 reads files and writes output; the others get the bodies' elements in messages.
// Every value is computed by the same kernel on the same elements, and every sum is formed by
// rank 0 (or by the one rank that holds the whole frame) in the same order as in one process,
// so the outputs are the same to the last bit for every number of ranks and threads.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "engine/frame_evaluator.h"

namespace pairtrack::detail {

struct RunStorage;

// Frames of at least this many pairs are split across the ranks (environment variable
// PAIRTRACK_MPI_SPLIT_PAIRS overrides it).
inline constexpr std::int64_t kSplitPairs = std::int64_t{1} << 20;
// Frames in flight: see slots_for() in mpi_evaluator.cpp (PAIRTRACK_MPI_FRAMES_IN_FLIGHT
// overrides it, for a rank 0 short of memory or a run with very uneven frames).
// Pairs per block of a split frame at most; with many ranks blocks are smaller, so that every
// rank gets some (PAIRTRACK_MPI_BLOCK_PAIRS sets the size whatever the ranks).
inline constexpr std::int64_t kBlockPairs = 16384;

class MpiEvaluator : public FrameEvaluator {
 public:
  // `storage`: rank 0's run storage (per-pair arrays and prepared orbits); `threads`: OpenMP
  // threads for this rank's own evaluations (0: all cores).
  MpiEvaluator(MPI_Comm comm, RunStorage& storage, int threads);
  ~MpiEvaluator() override;

  void begin(std::span<const PreparedOrbit> population1, double v_esc,
             const PairMode& mode) override;
  std::size_t capacity() const override { return slots_.size(); }
  void submit(const FrameJob& job) override;
  bool take(FrameResult& result, bool wait) override;
  // Tells every other rank to stop; called at every end of the run (and by the destructor).
  // Each rank answers with its work: whole frames, pairs and busy seconds.
  void end() override;
  int processes() const override { return size_; }
  // One progress line per rank: frames evaluated whole, pairs, seconds spent evaluating.
  void summarise(std::ostream& err) const override;

 private:
  struct Slot {
    std::int64_t frame = 0;
    bool ready = false;
    FrameResult result;
    std::vector<double> message;  // the job as sent (kept until the send completes)
    MPI_Request request = MPI_REQUEST_NULL;
    int worker = 0;  // the rank evaluating the frame while it is not ready (0: none)
  };
  void evaluate_here(const FrameJob& job, Slot& slot);
  void evaluate_split(const FrameJob& job, Slot& slot);
  // Receives the next result of `worker` (its oldest outstanding frame), or the one whose
  // envelope `status` holds.
  void receive_result(int worker);
  void receive_result(const MPI_Status& status);
  void poll(bool wait_for_oldest);

  MPI_Comm comm_;
  int size_ = 1;
  RunStorage& storage_;
  int threads_;
  std::span<const PreparedOrbit> population1_;
  double v_esc_ = 0.0;
  PairMode mode_;
  std::int64_t split_pairs_ = kSplitPairs;
  std::int64_t block_pairs_ = kBlockPairs;
  std::vector<Slot> slots_;             // ring, in submission order
  std::size_t oldest_ = 0, count_ = 0;  // ring position of the oldest frame, frames in flight
  std::vector<std::deque<std::size_t>> outstanding_;  // per rank: slots it is working on
  // Room at the other ranks: a rank appears once for every further frame it may have queued,
  // in the order the room came free (the rank that returned a result first, first).
  std::deque<int> free_;
  std::vector<char> buffer_;
  bool ended_ = false;
  // Per rank: frames evaluated whole, pairs evaluated, seconds spent evaluating.
  struct Work {
    double frames = 0.0, pairs = 0.0, busy_s = 0.0;
  };
  std::vector<Work> work_;
  double started_s_ = 0.0;
};

// The loop of every rank but 0: receives the catalogue, then frames or parts of frames, until
// rank 0 says stop. `threads`: OpenMP threads (0: all cores).
void serve_frames(MPI_Comm comm, int threads);

}  // namespace pairtrack::detail
