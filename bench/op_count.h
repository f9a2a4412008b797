// Divisions, square roots and elementary-function calls of the fast kernel,
// counted by the kernel itself in a counting build (-DPAIRTRACK_COUNT_OPS=ON).
// This header is free of the kernel's types on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kernel_op_count {

// Per pair of the workload: scalar, 4-lane and 8-lane instructions.
struct PerPair {
  double div1 = 0, sqrt1 = 0, div4 = 0, sqrt4 = 0, div8 = 0, sqrt8 = 0, libm = 0;
};

// Runs every pair (population[k], bodies[j]) through the counting kernel with
// 10 x 10 nodes on `path` (0 auto, 1 scalar, 2 AVX2, 3 AVX-512, as the
// kernel's SimdPath) and returns the counts divided by the number of pairs.
// Orbits as the kernel takes them: a in cm, e, inclination in radians.
PerPair count_per_pair(const double* pop_a, const double* pop_e, const double* pop_inc,
                       std::size_t n_pop, const double* body_a, const double* body_e,
                       const double* body_inc, std::size_t n_bodies, double v_esc, int path);

}  // namespace kernel_op_count
