// Working storage of a run, allocated once at start-up at full capacity:
// population 1, the current frame's population 2, the removal flags and the
// per-pair result arrays. Nothing is allocated per frame or per pair.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/pair_evaluation.h"
#include "pairtrack/units.h"

namespace pairtrack::detail {

struct RunStorage {
  RunStorage();

  // Population 1: AU and degrees as loaded, centimetres and radians once prepared.
  std::unique_ptr<double[]> a1, e1, inc1;
  std::int32_t n1 = 0;
  // Population 2, the current frame in record order: a2 in AU as read, in
  // centimetres after the capacity check; inc2 in radians.
  std::unique_ptr<double[]> a2, e2, inc2;
  std::unique_ptr<std::int32_t[]> ids;
  std::int32_t n2 = 0;
  // Removal flag per body identifier (index id - 1): 0 alive, 1 removed.
  std::unique_ptr<std::int32_t[]> istat;
  // Per-pair results of the current frame, in evaluation order.
  std::unique_ptr<double[]> proba_arr, impvel_arr;
  // The accurate mode's error estimate per pair (allocated by error_slots() at its first use).
  std::unique_ptr<double[]> error_arr;
  double* error_slots() {
    if (!error_arr) error_arr.reset(new double[kPairCapacity]);
    return error_arr.get();
  }
  // Population 1 and the swept bodies prepared for the kernel.
  std::unique_ptr<PreparedOrbit[]> prepared1, prepared2;
};

// The process's run storage, allocated at its first use and kept for the process's life.
RunStorage& run_storage();

}  // namespace pairtrack::detail
