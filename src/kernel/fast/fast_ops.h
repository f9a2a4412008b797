// Internal to the fast kernel: every division, square root and elementary
// function call of the kernel goes through these wrappers. In the normal
// build they are the plain operations; a counting build (configured with
// -DPAIRTRACK_COUNT_OPS=ON, for bench/kernel_bench alone) counts them per thread,
// so that the benchmark can state how much divider work a pair needs instead
// of guessing it.
#pragma once

#include <cmath>
#include <cstdint>

namespace pairtrack::detail::fast {

// Operations executed by the calling thread since the last reset. Vector
// operations count once per instruction, whatever the lane count.
struct OpCounts {
  std::int64_t div1 = 0, sqrt1 = 0;  // scalar
  std::int64_t div4 = 0, sqrt4 = 0;  // 4 lanes (256 bits)
  std::int64_t div8 = 0, sqrt8 = 0;  // 8 lanes (512 bits)
  std::int64_t libm = 0;             // cos, sin, acos, pow calls
};

#if defined(PAIRTRACK_COUNT_OPS)
inline thread_local OpCounts op_counts;
#define PAIRTRACK_COUNT(field) (++::pairtrack::detail::fast::op_counts.field)
#else
#define PAIRTRACK_COUNT(field) ((void)0)
#endif

inline double sdiv(double a, double b) {
  PAIRTRACK_COUNT(div1);
  return a / b;
}
inline double ssqrt(double x) {
  PAIRTRACK_COUNT(sqrt1);
  return std::sqrt(x);
}
inline double lcos(double x) {
  PAIRTRACK_COUNT(libm);
  return std::cos(x);
}
inline double lsin(double x) {
  PAIRTRACK_COUNT(libm);
  return std::sin(x);
}
inline double lacos(double x) {
  PAIRTRACK_COUNT(libm);
  return std::acos(x);
}

}  // namespace pairtrack::detail::fast
