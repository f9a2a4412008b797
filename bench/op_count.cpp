// The counting side of op_count.h: part of kernel_bench in a counting build
// (-DPAIRTRACK_COUNT_OPS=ON), where the library's kernel counts its operations.
#include "op_count.h"

#include <vector>

#include "kernel/fast/fast_kernel.h"
#include "kernel/fast/fast_ops.h"

#if !defined(PAIRTRACK_COUNT_OPS)
#error "op_count.cpp belongs to a counting build (-DPAIRTRACK_COUNT_OPS=ON)"
#endif

namespace kernel_op_count {

PerPair count_per_pair(const double* pop_a, const double* pop_e, const double* pop_inc,
                       std::size_t n_pop, const double* body_a, const double* body_e,
                       const double* body_inc, std::size_t n_bodies, double v_esc, int path) {
  namespace k = pairtrack::detail;
  std::vector<k::PreparedOrbit> pop;
  for (std::size_t i = 0; i < n_pop; ++i)
    pop.push_back(k::prepare_orbit(pop_a[i], pop_e[i], pop_inc[i]));
  const k::FastRules rules(10, 10);
  std::vector<pairtrack::PairResult> out(n_pop);
  k::fast::op_counts = k::fast::OpCounts{};
  for (std::size_t j = 0; j < n_bodies; ++j) {
    const k::PreparedOrbit body = k::prepare_orbit(body_a[j], body_e[j], body_inc[j]);
    k::fast_gaussorb_row(rules, pop, body, v_esc, out.data(), nullptr,
                         static_cast<k::SimdPath>(path));
  }
  const k::fast::OpCounts& c = k::fast::op_counts;
  const double n = static_cast<double>(n_pop * n_bodies);
  PerPair p;
  p.div1 = static_cast<double>(c.div1) / n;
  p.sqrt1 = static_cast<double>(c.sqrt1) / n;
  p.div4 = static_cast<double>(c.div4) / n;
  p.sqrt4 = static_cast<double>(c.sqrt4) / n;
  p.div8 = static_cast<double>(c.div8) / n;
  p.sqrt8 = static_cast<double>(c.sqrt8) / n;
  p.libm = static_cast<double>(c.libm) / n;
  return p;
}

}  // namespace kernel_op_count
