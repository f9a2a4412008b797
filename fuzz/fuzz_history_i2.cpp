// Fuzz target: the history file in encoding 0 (scaled 16-bit integers), read through the whole
// frame loop of a run (see history_run.h for the fixed catalogue, parameters and the checks made).
#include "history_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return pairtrack::detail::fuzz::run_history(0, data, size);
}
