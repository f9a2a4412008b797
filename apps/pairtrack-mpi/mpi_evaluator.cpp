// Frames and parts of frames over MPI ranks; see mpi_evaluator.h for the split.
#include "mpi_evaluator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/byte_pack.h"
#include "engine/frame_sinks.h"
#include "engine/frame_summary.h"
#include "engine/pair_evaluation.h"
#include "engine/run_storage.h"

namespace pairtrack::detail {

namespace {

enum Tag : int {
  kTagBegin = 1,        // doubles: n1, v_esc, accuracy, minimum mutual inclination, classic check,
                        // speed bins' min, max, step (0 0 0: none), then a_cm, e, inc of every
                        // catalogue orbit
  kTagFrame = 2,        // doubles: frame, t_myr, n1, n2, bodies, then a_cm, e, inc of every body,
                        // then every body's identifier
  kTagResult = 3,       // bytes: frame, no_case, FrameFigures, bodies, BodySummary per body, the
                        // bodies' speed distributions, the frame's pair-file lines
  kTagPart = 4,         // doubles: frame, bodies, pairs, block pairs, then a_cm, e, inc
  kTagGrant = 5,        // int64: the next block of a split frame to evaluate, -1 for none
  kTagBlockDone = 6,    // int64: a finished block and its no-case pairs
  kTagBlockProba = 7,   // doubles: that block's probabilities
  kTagBlockImpvel = 8,  // doubles: its impact speeds
  kTagStop = 9,
  kTagSummary = 10,      // doubles: a rank's frames, pairs and busy seconds, in reply to kTagStop
  kTagBlockError = 11,   // doubles: a block's error estimates (the accurate mode only)
  kTagBlockSpeeds = 12,  // bytes: a block's bodies' speed distributions (with speed bins only)
};

// Frames that wait at one rank at most, so that a rank always has its next frame at hand when
// rank 0 is busy evaluating a frame of its own.
constexpr std::size_t kQueuedPerRank = 4;
// Frames in flight per other rank: its queue, and room for frames that are done but wait behind
// an older one. Results are delivered in frame order, so frames that rank 0 has finished wait
// for the oldest frame queued at another rank; when they fill every slot, rank 0 waits for that
// rank and hands it each freed frame, and the run goes at that one rank's speed. Three slots per
// queued frame let rank 0 run eight frames ahead of a rank's oldest, enough for a rank three times
// slower than rank 0. (With six slots per rank, a rank on a busier core made two of five runs
// of 2000 small frames on two ranks take 15.1 s instead of 11.4 s here.)
constexpr std::size_t kSlotsPerRank = 3 * kQueuedPerRank;
// Beyond 21 other ranks the twelve slots per rank give way to a bound: 256 frames in flight, or
// three per other rank where that is more (one a rank evaluates, one queued, one done and
// waiting behind an older frame), so that every rank of a large allocation has a frame in hand.
// A slot keeps a frame's bodies and summaries (72 bytes per body); rank 0's memory for them
// grows with the ranks, about 20 MB at 1024 ranks for frames of 100 bodies.
constexpr std::size_t kMaxSlots = 256;
constexpr std::size_t kSlotsPerRankAtScale = 3;

std::size_t slots_for(int ranks) {
  if (ranks == 1) return 1;
  const auto others = static_cast<std::size_t>(ranks - 1);
  return std::max(std::min(kMaxSlots, kSlotsPerRank * others + 2),
                  kSlotsPerRankAtScale * others + 2);
}

void append_elements(std::vector<double>& message, const FrameJob& job) {
  for (const SweptBody& body : job.bodies) {
    message.push_back(body.a_cm);
    message.push_back(body.e);
    message.push_back(body.inc);
  }
}

// Blocks of a split frame that another rank holds at once: one it evaluates and two ready, so
// that it does not wait for rank 0's reply to the block it has just sent even when rank 0 is
// in the middle of a block of its own.
constexpr int kBlocksInHand = 3;
// Finished blocks a rank may have on their way to rank 0 before it waits for the oldest.
constexpr int kBlocksInFlight = 4;
// A split frame has at least this many blocks per rank, so that every rank of a large
// allocation gets work (a maximal frame of 10^7 pairs in blocks of kBlockPairs is 610 blocks,
// three per rank for 200 ranks), but no block of fewer than kMinBlockPairs pairs: each block
// costs rank 0 a few messages (some microseconds), which must stay short against the block's
// evaluation (about 1 ms for 1024 pairs on one core) times the ranks that return blocks.
constexpr std::int64_t kBlocksPerRank = 2;
constexpr std::int64_t kMinBlockPairs = 2048;
// Up to this many ranks rank 0 evaluates blocks of a split frame itself between replies; with
// more, answering the other ranks at once is worth more than its own share of the pairs.
constexpr int kRank0BlocksUpTo = 16;

// Pairs per block of a split frame of `pairs` pairs on `ranks` ranks.
std::int64_t block_size(std::int64_t pairs, int ranks) {
  const std::int64_t wanted = (pairs + kBlocksPerRank * ranks - 1) / (kBlocksPerRank * ranks);
  return std::max(std::min(kBlockPairs, wanted), std::min(kMinBlockPairs, kBlockPairs));
}

// Pairs [first, last) of block b.
std::int64_t block_first(std::int64_t b, std::int64_t block) { return b * block; }
std::int64_t block_last(std::int64_t b, std::int64_t block, std::int64_t pairs) {
  return std::min(pairs, (b + 1) * block);
}

// A positive count from the environment, or `fallback`.
std::int64_t setting(const char* name, std::int64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  const long long value = std::atoll(text);
  return value > 0 ? value : fallback;
}

void pack_result(const FrameResult& r, std::vector<char>& out) {
  out.clear();
  put(out, r.frame);
  put(out, r.no_case);
  put(out, r.figures);
  put(out, r.n_classic_off);
  put(out, r.n_singular);
  put(out, r.n_divergent);
  put(out, r.proba_mean_error);
  put(out, r.worst);
  put(out, static_cast<std::int64_t>(r.bodies.size()));
  for (const BodySummary& s : r.bodies) put(out, s);
  put(out, static_cast<std::int64_t>(r.speeds.size()));
  pack_body_speeds(r.speeds, out);
  put(out, static_cast<std::int64_t>(r.pair_lines_formed ? r.pair_lines.size() : -1));
  out.insert(out.end(), r.pair_lines.begin(), r.pair_lines.end());
}

void unpack_result(const std::vector<char>& in, FrameResult& r) {
  const char* p = in.data();
  r.frame = get<std::int64_t>(p);
  r.no_case = get<std::int64_t>(p);
  r.figures = get<FrameFigures>(p);
  r.n_classic_off = get<std::int64_t>(p);
  r.n_singular = get<std::int64_t>(p);
  r.n_divergent = get<std::int64_t>(p);
  r.proba_mean_error = get<double>(p);
  r.worst = get<ClassicWorstPair>(p);
  r.bodies.resize(static_cast<std::size_t>(get<std::int64_t>(p)));
  for (BodySummary& s : r.bodies) s = get<BodySummary>(p);
  r.speeds.resize(static_cast<std::size_t>(get<std::int64_t>(p)));
  unpack_body_speeds(p, r.speeds);
  const auto lines = get<std::int64_t>(p);
  r.pair_lines_formed = lines >= 0;
  r.pair_lines.assign(p, static_cast<std::size_t>(std::max<std::int64_t>(lines, 0)));
}

// Pairs per block of a split frame: with speed bins, whole bodies (each body's distributions
// are summed by the one rank that evaluates its row).
std::int64_t split_block(std::int64_t block, std::int64_t n1, const PairMode& mode) {
  if (!mode.speeds() || n1 <= 0) return block;
  return std::max<std::int64_t>(block / n1, 1) * n1;
}

// A finished block of a split frame, from another rank to rank 0: its number and no-case
// count, then its values (pairs [first, first + count) of the frame), one message per array.
// The sends are non-blocking; `sent` holds their requests until the buffers may be reused.
void send_block(MPI_Comm comm, const std::int64_t (&done)[2], const PairSlots& values, int count,
                MPI_Request (&sent)[5]) {
  MPI_Isend(done, 2, MPI_INT64_T, 0, kTagBlockDone, comm, &sent[0]);
  MPI_Isend(values.proba, count, MPI_DOUBLE, 0, kTagBlockProba, comm, &sent[1]);
  MPI_Isend(values.impvel, count, MPI_DOUBLE, 0, kTagBlockImpvel, comm, &sent[2]);
  if (values.error != nullptr) {
    MPI_Isend(values.error, count, MPI_DOUBLE, 0, kTagBlockError, comm, &sent[3]);
  }
}

// Rank 0's side: the block `done` of rank `source` (its header already received) into its
// place in the frame's per-pair arrays `values` (error null outside the accurate mode).
void receive_block(MPI_Comm comm, int source, std::int64_t first, int count,
                   const PairSlots& values) {
  MPI_Recv(values.proba + first, count, MPI_DOUBLE, source, kTagBlockProba, comm,
           MPI_STATUS_IGNORE);
  MPI_Recv(values.impvel + first, count, MPI_DOUBLE, source, kTagBlockImpvel, comm,
           MPI_STATUS_IGNORE);
  if (values.error != nullptr) {
    MPI_Recv(values.error + first, count, MPI_DOUBLE, source, kTagBlockError, comm,
             MPI_STATUS_IGNORE);
  }
}

// Waits until a message from `source` with `tag` (MPI_ANY_TAG: any) can be received, and
// returns its envelope. A blocked MPI_Probe or MPI_Recv polls at full speed, so a rank that waits
// for frames, or rank 0 waiting for a result, would keep a core busy; on a node shared with other
// ranks or jobs that core is taken from the ranks that compute. Here a waiting rank sleeps
// between probes, 10 us at first and at most 200 us, which is short against a frame.
MPI_Status wait_for(MPI_Comm comm, int source, int tag) {
  MPI_Status status;
  for (int pause_us = 10;; pause_us = std::min(2 * pause_us, 200)) {
    int arrived = 0;
    MPI_Iprobe(source, tag, comm, &arrived, &status);
    if (arrived != 0) return status;
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
  }
}

// Receives the message of unknown length that `status` announced into `buffer`.
template <class T>
void receive(MPI_Comm comm, const MPI_Status& status, MPI_Datatype type, std::vector<T>& buffer) {
  int count = 0;
  MPI_Get_count(&status, type, &count);
  buffer.resize(static_cast<std::size_t>(count));
  MPI_Recv(buffer.data(), count, type, status.MPI_SOURCE, status.MPI_TAG, comm, MPI_STATUS_IGNORE);
}

// Receives a message of unknown length from `source` with `tag` into `buffer`.
template <class T>
void receive(MPI_Comm comm, int source, int tag, MPI_Datatype type, std::vector<T>& buffer) {
  receive(comm, wait_for(comm, source, tag), type, buffer);
}

void prepare_from(const double* elements, std::int64_t n, std::vector<PreparedOrbit>& out) {
  out.resize(static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) {
    out[static_cast<std::size_t>(i)] =
        prepare_orbit(elements[3 * i], elements[3 * i + 1], elements[3 * i + 2]);
  }
}

}  // namespace

MpiEvaluator::MpiEvaluator(MPI_Comm comm, RunStorage& storage, int threads)
    : comm_(comm), storage_(storage), threads_(threads) {
  MPI_Comm_size(comm_, &size_);
  split_pairs_ = setting("PAIRTRACK_MPI_SPLIT_PAIRS", kSplitPairs);
  block_pairs_ = setting("PAIRTRACK_MPI_BLOCK_PAIRS", 0);
  slots_.resize(
      size_ == 1 ? 1
                 : static_cast<std::size_t>(setting("PAIRTRACK_MPI_FRAMES_IN_FLIGHT",
                                                    static_cast<std::int64_t>(slots_for(size_)))));
  outstanding_.resize(static_cast<std::size_t>(size_));
  // Room for kQueuedPerRank frames at every other rank, handed out rank by rank so that the
  // first frames reach every rank.
  for (std::size_t i = 0; i < kQueuedPerRank; ++i) {
    for (int w = 1; w < size_; ++w) free_.push_back(w);
  }
  work_.resize(static_cast<std::size_t>(size_));
  started_s_ = MPI_Wtime();
}

MpiEvaluator::~MpiEvaluator() { end(); }

void MpiEvaluator::begin(std::span<const PreparedOrbit> population1, double v_esc,
                         const PairMode& mode) {
  population1_ = population1;
  v_esc_ = v_esc;
  mode_ = mode;
  std::vector<double> message{static_cast<double>(population1.size()),
                              v_esc,
                              mode.accuracy,
                              mode.min_mutual_inclination,
                              mode.classic_check ? 1.0 : 0.0,
                              mode.speeds() ? mode.speed_bins.min : 0.0,
                              mode.speeds() ? mode.speed_bins.max : 0.0,
                              mode.speeds() ? mode.speed_bins.step : 0.0};
  for (const PreparedOrbit& o : population1) {
    message.push_back(o.a_cm);
    message.push_back(o.e);
    message.push_back(o.inc);
  }
  for (int w = 1; w < size_; ++w) {
    MPI_Send(message.data(), static_cast<int>(message.size()), MPI_DOUBLE, w, kTagBegin, comm_);
  }
}

void MpiEvaluator::evaluate_here(const FrameJob& job, Slot& slot) {
  const double start = MPI_Wtime();
  prepare_bodies(job, storage_.prepared2.get());
  double* error = mode_.accurate() ? storage_.error_slots() : nullptr;
  slot.result.speeds.resize(mode_.speeds() ? job.bodies.size() : 0);
  const std::int64_t no_case = evaluate_pairs(
      population1_, std::span<const PreparedOrbit>(storage_.prepared2.get(), job.bodies.size()),
      v_esc_,
      PairSlots{storage_.proba_arr.get(), storage_.impvel_arr.get(), error,
                slot.result.speeds.data()},
      threads_, mode_);
  const FrameChecks checks{population1_, v_esc_, mode_, error, threads_};
  summarise_frame(job, storage_.proba_arr.get(), storage_.impvel_arr.get(), no_case, slot.result,
                  &checks);
  slot.ready = true;
  work_[0].frames += 1.0;
  work_[0].pairs += static_cast<double>(job.pairs());
  work_[0].busy_s += MPI_Wtime() - start;
}

void MpiEvaluator::evaluate_split(const FrameJob& job, Slot& slot) {
  // Every rank's queue is emptied first, so that the parts' replies meet no earlier frame.
  for (int w = 1; w < size_; ++w) {
    while (!outstanding_[static_cast<std::size_t>(w)].empty()) receive_result(w);
  }
  const std::int64_t pairs = job.pairs();
  const std::int64_t n1 = static_cast<std::int64_t>(population1_.size());
  const std::int64_t block =
      split_block(block_pairs_ > 0 ? block_pairs_ : block_size(pairs, size_), n1, mode_);
  slot.result.speeds.resize(mode_.speeds() ? job.bodies.size() : 0);
  BodySpeeds* speeds = mode_.speeds() ? slot.result.speeds.data() : nullptr;
  std::vector<double> message{static_cast<double>(job.frame),
                              static_cast<double>(job.bodies.size()), static_cast<double>(pairs),
                              static_cast<double>(block)};
  append_elements(message, job);
  std::vector<MPI_Request> sends(static_cast<std::size_t>(size_ - 1), MPI_REQUEST_NULL);
  for (int w = 1; w < size_; ++w) {
    MPI_Isend(message.data(), static_cast<int>(message.size()), MPI_DOUBLE, w, kTagPart, comm_,
              &sends[static_cast<std::size_t>(w - 1)]);
  }

  // Blocks go out in pair order, one in reply to every finished one; rank 0 takes the next
  // block itself whenever no reply is due.
  const std::int64_t blocks = (pairs + block - 1) / block;
  std::int64_t next = 0;
  std::int64_t out_at_others = 0;
  auto grant = [&](int w) {
    const std::int64_t b = next < blocks ? next++ : -1;
    if (b >= 0) ++out_at_others;
    MPI_Send(&b, 1, MPI_INT64_T, w, kTagGrant, comm_);
  };
  // Rank by rank, so that every rank has a block before any has a second.
  for (int i = 0; i < kBlocksInHand; ++i) {
    for (int w = 1; w < size_; ++w) grant(w);
  }

  prepare_bodies(job, storage_.prepared2.get());
  const std::span<const PreparedOrbit> bodies(storage_.prepared2.get(), job.bodies.size());
  double* proba = storage_.proba_arr.get();
  double* impvel = storage_.impvel_arr.get();
  double* error = mode_.accurate() ? storage_.error_slots() : nullptr;
  std::int64_t no_case = 0;
  // A finished block of rank w: its values land straight in their places of the per-pair
  // arrays.
  auto collect = [&](int w) {
    std::int64_t done[2] = {0, 0};
    MPI_Recv(done, 2, MPI_INT64_T, w, kTagBlockDone, comm_, MPI_STATUS_IGNORE);
    const std::int64_t first = block_first(done[0], block);
    const int count = static_cast<int>(block_last(done[0], block, pairs) - first);
    receive_block(comm_, w, first, count, PairSlots{proba, impvel, error});
    if (speeds != nullptr) {
      receive(comm_, w, kTagBlockSpeeds, MPI_BYTE, buffer_);
      const char* at = buffer_.data();
      unpack_body_speeds(
          at, std::span<BodySpeeds>(speeds + first / n1, static_cast<std::size_t>(count / n1)));
    }
    no_case += done[1];
    --out_at_others;
    grant(w);
  };
  for (;;) {
    for (;;) {
      int arrived = 0;
      MPI_Status status;
      MPI_Iprobe(MPI_ANY_SOURCE, kTagBlockDone, comm_, &arrived, &status);
      if (arrived == 0) break;
      collect(status.MPI_SOURCE);
    }
    if (next < blocks && size_ <= kRank0BlocksUpTo) {
      const std::int64_t b = next++;
      const std::int64_t first = block_first(b, block);
      const double start = MPI_Wtime();
      no_case += evaluate_pair_range(
          population1_, bodies, v_esc_,
          PairSlots{proba + first, impvel + first, error != nullptr ? error + first : nullptr,
                    speeds != nullptr ? speeds + first / n1 : nullptr},
          first, block_last(b, block, pairs), threads_, mode_);
      work_[0].pairs += static_cast<double>(block_last(b, block, pairs) - first);
      work_[0].busy_s += MPI_Wtime() - start;
    } else if (out_at_others > 0) {
      collect(wait_for(comm_, MPI_ANY_SOURCE, kTagBlockDone).MPI_SOURCE);
    } else {
      break;
    }
  }
  MPI_Waitall(static_cast<int>(sends.size()), sends.data(), MPI_STATUSES_IGNORE);
  const FrameChecks checks{population1_, v_esc_, mode_, error, threads_};
  summarise_frame(job, proba, impvel, no_case, slot.result, &checks);
  slot.ready = true;
}

void MpiEvaluator::submit(const FrameJob& job) {
  Slot& slot = slots_[(oldest_ + count_) % slots_.size()];
  const std::size_t index = (oldest_ + count_) % slots_.size();
  ++count_;
  slot.frame = job.frame;
  slot.ready = false;
  slot.worker = 0;
  if (size_ == 1) return evaluate_here(job, slot);
  if (job.pairs() >= split_pairs_) return evaluate_split(job, slot);

  poll(false);
  if (free_.empty()) return evaluate_here(job, slot);  // every other rank is busy
  const int best = free_.front();
  free_.pop_front();
  slot.worker = best;
  if (slot.request != MPI_REQUEST_NULL) MPI_Wait(&slot.request, MPI_STATUS_IGNORE);
  slot.message.assign({static_cast<double>(job.frame), job.t_myr, static_cast<double>(job.n1),
                       static_cast<double>(job.n2), static_cast<double>(job.bodies.size())});
  append_elements(slot.message, job);
  for (const SweptBody& body : job.bodies) slot.message.push_back(body.id);
  MPI_Isend(slot.message.data(), static_cast<int>(slot.message.size()), MPI_DOUBLE, best, kTagFrame,
            comm_, &slot.request);
  outstanding_[static_cast<std::size_t>(best)].push_back(index);
}

void MpiEvaluator::receive_result(const MPI_Status& status) {
  const int worker = status.MPI_SOURCE;
  std::deque<std::size_t>& queue = outstanding_[static_cast<std::size_t>(worker)];
  receive(comm_, status, MPI_BYTE, buffer_);
  Slot& slot = slots_[queue.front()];
  queue.pop_front();
  unpack_result(buffer_, slot.result);
  slot.ready = true;
  slot.worker = 0;
  free_.push_back(worker);
}

void MpiEvaluator::receive_result(int worker) {
  receive_result(wait_for(comm_, worker, kTagResult));
}

void MpiEvaluator::poll(bool wait_for_oldest) {
  // Whatever arrived, from any rank: one probe when nothing did, however many ranks there are.
  // A rank's results come in the order of its frames, so each is its oldest outstanding one.
  for (;;) {
    int arrived = 0;
    MPI_Status status;
    MPI_Iprobe(MPI_ANY_SOURCE, kTagResult, comm_, &arrived, &status);
    if (arrived == 0) break;
    receive_result(status);
  }
  if (!wait_for_oldest || count_ == 0 || slots_[oldest_].ready) return;
  // The oldest frame is the oldest outstanding one of the rank that has it.
  receive_result(slots_[oldest_].worker);
}

bool MpiEvaluator::take(FrameResult& result, bool wait) {
  if (count_ == 0) return false;
  poll(wait);
  Slot& slot = slots_[oldest_];
  if (!slot.ready) return false;
  std::swap(result, slot.result);
  slot.ready = false;
  oldest_ = (oldest_ + 1) % slots_.size();
  --count_;
  return true;
}

void MpiEvaluator::end() {
  if (ended_) return;
  ended_ = true;
  for (int w = 1; w < size_; ++w) {
    while (!outstanding_[static_cast<std::size_t>(w)].empty()) receive_result(w);
    MPI_Send(nullptr, 0, MPI_DOUBLE, w, kTagStop, comm_);
    double work[3] = {};
    MPI_Recv(work, 3, MPI_DOUBLE, w, kTagSummary, comm_, MPI_STATUS_IGNORE);
    work_[static_cast<std::size_t>(w)] = Work{work[0], work[1], work[2]};
  }
  for (Slot& slot : slots_) {
    if (slot.request != MPI_REQUEST_NULL) MPI_Wait(&slot.request, MPI_STATUS_IGNORE);
  }
}

void MpiEvaluator::summarise(std::ostream& err) const {
  const double elapsed = MPI_Wtime() - started_s_;
  char line[200];
  for (std::size_t r = 0; r < work_.size(); ++r) {
    std::snprintf(line, sizeof line,
                  "pairtrack: progress: rank %zu: %.0f frames, %.0f pairs, busy %.2f s of %.2f s\n",
                  r, work_[r].frames, work_[r].pairs, work_[r].busy_s, elapsed);
    err << line;
  }
  err.flush();
}

void serve_frames(MPI_Comm comm, int threads) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  double work[3] = {};  // frames evaluated whole, pairs, seconds spent evaluating
  std::vector<double> message;
  std::vector<PreparedOrbit> population1, bodies;
  std::vector<double> proba, impvel, error;
  std::vector<BodySpeeds> speeds;
  PairMode mode;
  // Results on their way to rank 0: at most one per frame it may have queued here, plus one.
  constexpr std::size_t kResultsInFlight = kQueuedPerRank + 1;
  std::vector<char> out[kResultsInFlight];
  MPI_Request out_sent[kResultsInFlight];
  std::fill(std::begin(out_sent), std::end(out_sent), MPI_REQUEST_NULL);
  std::size_t out_next = 0;
  double v_esc = 0.0;
  FrameJob job;
  FrameResult result;
  for (;;) {
    const MPI_Status status = wait_for(comm, 0, MPI_ANY_TAG);
    receive(comm, 0, status.MPI_TAG, MPI_DOUBLE, message);
    switch (status.MPI_TAG) {
      case kTagBegin:
        v_esc = message[1];
        mode.accuracy = message[2];
        mode.min_mutual_inclination = message[3];
        mode.classic_check = message[4] != 0.0;
        mode.speed_bins = message[7] > 0.0
                              ? speed_binning(SpeedBins{message[5], message[6], message[7]})
                              : SpeedBinning{};
        prepare_from(message.data() + 8, static_cast<std::int64_t>(message[0]), population1);
        break;
      case kTagFrame: {
        job.frame = static_cast<std::int64_t>(message[0]);
        job.t_myr = message[1];
        job.n1 = static_cast<std::int32_t>(message[2]);
        job.n2 = static_cast<std::int32_t>(message[3]);
        const auto n = static_cast<std::int64_t>(message[4]);
        job.bodies.assign(static_cast<std::size_t>(n), SweptBody{});
        prepare_from(message.data() + 5, n, bodies);
        // The elements (for the classic check) and identifiers (for the pair-file lines).
        for (std::int64_t i = 0; i < n; ++i) {
          SweptBody& body = job.bodies[static_cast<std::size_t>(i)];
          body.a_cm = message[static_cast<std::size_t>(5 + 3 * i)];
          body.e = message[static_cast<std::size_t>(6 + 3 * i)];
          body.inc = message[static_cast<std::size_t>(7 + 3 * i)];
          body.id = static_cast<std::int32_t>(message[static_cast<std::size_t>(5 + 3 * n + i)]);
        }
        const std::int64_t pairs = job.pairs();
        if (static_cast<std::int64_t>(proba.size()) < pairs) {
          proba.resize(static_cast<std::size_t>(pairs));
          impvel.resize(static_cast<std::size_t>(pairs));
        }
        if (mode.accurate() && static_cast<std::int64_t>(error.size()) < pairs) {
          error.resize(static_cast<std::size_t>(pairs));
        }
        double* e = mode.accurate() ? error.data() : nullptr;
        const double start = MPI_Wtime();
        result.speeds.resize(mode.speeds() ? static_cast<std::size_t>(n) : 0);
        const std::int64_t no_case = evaluate_pairs(
            population1, bodies, v_esc,
            PairSlots{proba.data(), impvel.data(), e, result.speeds.data()}, threads, mode);
        const FrameChecks checks{population1, v_esc, mode, e, threads};
        summarise_frame(job, proba.data(), impvel.data(), no_case, result, &checks);
        // The frame's pair-file lines are formed here, where they cost a frame little, and
        // not on rank 0, which writes every frame's outputs: formatting them was two thirds
        // of its own work per frame of 40 bodies (see docs/cluster.md). A run without a pair
        // file carries them along unused.
        append_pair_lines(result.pair_lines, job, result);
        result.pair_lines_formed = true;
        work[0] += 1.0;
        work[1] += static_cast<double>(pairs);
        work[2] += MPI_Wtime() - start;
        // Sent without waiting for rank 0 to take it: rank 0 receives between frames of its
        // own, and a blocking send of even a short result stood here for milliseconds (4.4 s
        // of 13 s for 2000 small frames on two ranks, measured).
        MPI_Wait(&out_sent[out_next], MPI_STATUS_IGNORE);
        pack_result(result, out[out_next]);
        MPI_Isend(out[out_next].data(), static_cast<int>(out[out_next].size()), MPI_BYTE, 0,
                  kTagResult, comm, &out_sent[out_next]);
        out_next = (out_next + 1) % kResultsInFlight;
        break;
      }
      case kTagPart: {
        const auto n = static_cast<std::int64_t>(message[1]);
        const auto pairs = static_cast<std::int64_t>(message[2]);
        const auto block = static_cast<std::int64_t>(message[3]);
        prepare_from(message.data() + 4, n, bodies);
        // Blocks as rank 0 grants them, each sent back as soon as it is evaluated from one
        // of kBlocksInFlight buffers; every finished block brings one more grant.
        if (static_cast<std::int64_t>(proba.size()) < kBlocksInFlight * block) {
          proba.resize(static_cast<std::size_t>(kBlocksInFlight * block));
          impvel.resize(static_cast<std::size_t>(kBlocksInFlight * block));
        }
        if (mode.accurate() && static_cast<std::int64_t>(error.size()) < kBlocksInFlight * block) {
          error.resize(static_cast<std::size_t>(kBlocksInFlight * block));
        }
        const std::int64_t n1 = static_cast<std::int64_t>(population1.size());
        const std::int64_t block_bodies = mode.speeds() && n1 > 0 ? block / n1 : 0;
        if (static_cast<std::int64_t>(speeds.size()) < kBlocksInFlight * block_bodies) {
          speeds.resize(static_cast<std::size_t>(kBlocksInFlight * block_bodies));
        }
        std::vector<char> speeds_out[kBlocksInFlight];
        std::int64_t done[kBlocksInFlight][2] = {};
        MPI_Request sent[kBlocksInFlight][5];
        for (auto& r : sent) std::fill(std::begin(r), std::end(r), MPI_REQUEST_NULL);
        int buffer = 0;
        for (int grants_due = kBlocksInHand; grants_due > 0; --grants_due) {
          std::int64_t b = -1;
          wait_for(comm, 0, kTagGrant);
          MPI_Recv(&b, 1, MPI_INT64_T, 0, kTagGrant, comm, MPI_STATUS_IGNORE);
          if (b < 0) continue;
          MPI_Waitall(5, sent[buffer], MPI_STATUSES_IGNORE);
          double* p = proba.data() + buffer * block;
          double* v = impvel.data() + buffer * block;
          double* e = mode.accurate() ? error.data() + buffer * block : nullptr;
          const std::int64_t first = block_first(b, block);
          const std::int64_t last = block_last(b, block, pairs);
          done[buffer][0] = b;
          const double start = MPI_Wtime();
          BodySpeeds* s = mode.speeds() ? speeds.data() + buffer * block_bodies : nullptr;
          done[buffer][1] = evaluate_pair_range(population1, bodies, v_esc, PairSlots{p, v, e, s},
                                                first, last, threads, mode);
          work[1] += static_cast<double>(last - first);
          work[2] += MPI_Wtime() - start;
          const int count = static_cast<int>(last - first);
          send_block(comm, done[buffer], PairSlots{p, v, e}, count, sent[buffer]);
          if (s != nullptr) {
            speeds_out[buffer].clear();
            pack_body_speeds(std::span<const BodySpeeds>(s, static_cast<std::size_t>(count / n1)),
                             speeds_out[buffer]);
            MPI_Isend(speeds_out[buffer].data(), static_cast<int>(speeds_out[buffer].size()),
                      MPI_BYTE, 0, kTagBlockSpeeds, comm, &sent[buffer][4]);
          }
          buffer = (buffer + 1) % kBlocksInFlight;
          ++grants_due;  // the reply to this block
        }
        for (auto& r : sent) MPI_Waitall(5, r, MPI_STATUSES_IGNORE);
        break;
      }
      case kTagStop:
        MPI_Waitall(static_cast<int>(kResultsInFlight), out_sent, MPI_STATUSES_IGNORE);
        MPI_Send(work, 3, MPI_DOUBLE, 0, kTagSummary, comm);
        return;
      default: break;
    }
  }
}

}  // namespace pairtrack::detail
