// The run's working storage: allocated once, at full capacity, the first time a run needs it,
// and kept for the process's life. The per-pair arrays are left untouched until a frame fills
// them and are mapped in large pages where the system offers them.
#include "engine/run_storage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace pairtrack::detail {

namespace {

// Asks the kernel for 2 MB pages over the whole pages of [p, p + bytes), where it offers them
// (Linux with transparent huge pages in "madvise" mode, as on this project's machines). A
// maximal frame first touches 160 MB of per-pair values: in 4 KB pages that is some 40000 page
// faults, about 0.5 s on a virtual machine (measured here) and all of it on rank 0 of
// pairtrack-mpi for a split frame; in 2 MB pages some 80. Only how memory is mapped changes,
// never a value. Elsewhere, or when refused, nothing happens.
void advise_huge_pages(void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = (begin + bytes) / page * page;
  if (last > first) madvise(static_cast<char*>(p) + (first - begin), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

}  // namespace

RunStorage::RunStorage()
    : a1(new double[kPopulationCapacity]()),
      e1(new double[kPopulationCapacity]()),
      inc1(new double[kPopulationCapacity]()),
      a2(new double[kPopulationCapacity]()),
      e2(new double[kPopulationCapacity]()),
      inc2(new double[kPopulationCapacity]()),
      ids(new std::int32_t[kPopulationCapacity]()),
      istat(new std::int32_t[kPopulationCapacity]()),
      // Left uninitialised: pages are only touched as far as a frame fills them.
      proba_arr(new double[kPairCapacity]),
      impvel_arr(new double[kPairCapacity]),
      prepared1(new PreparedOrbit[kPopulationCapacity]),
      prepared2(new PreparedOrbit[kPopulationCapacity]) {
  advise_huge_pages(proba_arr.get(), kPairCapacity * sizeof(double));
  advise_huge_pages(impvel_arr.get(), kPairCapacity * sizeof(double));
}

RunStorage& run_storage() {
  static RunStorage storage;
  return storage;
}

}  // namespace pairtrack::detail
