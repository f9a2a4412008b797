// Evaluating a frame in this process: prepare the swept bodies, evaluate every pair into its own
// slot over the cores, then summarise the frame.
#include <algorithm>
#include <utility>

#include "engine/frame_evaluator.h"
#include "engine/frame_summary.h"
#include "engine/pair_evaluation.h"
#include "engine/progress_sink.h"
#include "engine/run_storage.h"
#include "pairtrack/kernel.h"

namespace pairtrack::detail {

void prepare_bodies(const FrameJob& job, PreparedOrbit prepared[]) {
  for (std::size_t b = 0; b < job.bodies.size(); ++b) {
    const SweptBody& body = job.bodies[b];
    prepared[b] = prepare_orbit(body.a_cm, body.e, body.inc);
  }
}

void SerialEvaluator::begin(std::span<const PreparedOrbit> population1, double v_esc,
                            const PairMode& mode) {
  population1_ = population1;
  v_esc_ = v_esc;
  mode_ = mode;
}

void SerialEvaluator::submit(const FrameJob& job) {
  prepare_bodies(job, storage_.prepared2.get());
  speeds_.resize(mode_.speeds() ? job.bodies.size() : 0);
  const std::int64_t no_case =
      progress_ != nullptr || cancel_ != nullptr || stop_ != nullptr
          ? evaluate_in_batches(job)
          : evaluate_pairs(
                population1_,
                std::span<const PreparedOrbit>(storage_.prepared2.get(), job.bodies.size()), v_esc_,
                slots(0), threads_, mode_);
  if (progress_ != nullptr) progress_->clear();  // report lines follow
  const FrameChecks checks{population1_, v_esc_, mode_, slots(0).error, threads_};
  summarise_frame(job, storage_.proba_arr.get(), storage_.impvel_arr.get(), no_case, pending_,
                  &checks);
  pending_.speeds.swap(speeds_);  // the buffers of an earlier frame come back for the next
  ready_ = true;
}

PairSlots SerialEvaluator::slots(std::int64_t first) {
  // Slots always start at a body: `first` is a multiple of n1.
  const auto n1 = static_cast<std::int64_t>(population1_.size());
  return PairSlots{storage_.proba_arr.get() + first, storage_.impvel_arr.get() + first,
                   mode_.accurate() ? storage_.error_slots() + first : nullptr,
                   mode_.speeds() && n1 > 0 ? speeds_.data() + first / n1 : nullptr};
}

bool SerialEvaluator::take(FrameResult& result, bool) {
  if (!ready_) return false;
  std::swap(result, pending_);
  ready_ = false;
  return true;
}

std::int64_t SerialEvaluator::evaluate_in_batches(const FrameJob& job) {
  // Batches of bodies: each pair still writes its own slot, so the stored values and the
  // no-case count are those of one evaluation over all bodies. For progress a batch holds at
  // least kMinBatchPairs pairs so that the threads stay busy, and a frame has at most about
  // kBatches of them; where a cancel flag must be seen within a fraction of a second, a batch
  // holds about kCancelBatchPairs pairs (some 10 ms of work on one core).
  constexpr std::int64_t kBatches = 16;
  constexpr std::int64_t kMinBatchPairs = 4096;
  constexpr std::int64_t kCancelBatchPairs = 32768;
  const auto n1 = static_cast<std::int64_t>(population1_.size());
  const auto n_swept = static_cast<std::int64_t>(job.bodies.size());
  std::int64_t batch = (n_swept + kBatches - 1) / kBatches;
  if (n1 > 0) batch = std::max(batch, (kMinBatchPairs + n1 - 1) / n1);
  if ((cancel_ != nullptr || stop_ != nullptr) && n1 > 0) {
    batch = std::min(batch, kCancelBatchPairs / n1);
  }
  batch = std::max<std::int64_t>(batch, 1);
  if (progress_ != nullptr) progress_->frame_started(job.frame, job.t_myr, n1 * n_swept);
  std::int64_t no_case = 0;
  for (std::int64_t b0 = 0; b0 < n_swept; b0 += batch) {
    if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) throw Cancelled();
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0) throw FrameDropped();
    const std::int64_t count = std::min<std::int64_t>(batch, n_swept - b0);
    const std::span<const PreparedOrbit> bodies(storage_.prepared2.get() + b0,
                                                static_cast<std::size_t>(count));
    no_case += evaluate_pairs(population1_, bodies, v_esc_, slots(b0 * n1), threads_, mode_);
    if (progress_ != nullptr) progress_->pairs_done((b0 + count) * n1);
  }
  return no_case;
}

}  // namespace pairtrack::detail
