// Fuzz target: the history file in encoding 2 (float64), read through the whole frame loop
// of a run (see history_run.h for the fixed catalogue, parameters and the checks made).
#include "history_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pairtrack::detail::fuzz::run_history(2, data, size);
}
