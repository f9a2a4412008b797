// The kernel's values for the validation pairs at several node counts, as CSV
// on standard output:  kernel_pairs PAIRS
// The program itself uses 10 x 10 nodes; 20, 40, 80 show the convergence and
// 640 serves as the converged reference of the quadrature.
#include <cmath>
#include <cstdio>

#include "kernel/reference/gaussorb.h"
#include "pair_table.h"
#include "pairtrack/units.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kernel_pairs PAIRS\n");
    return 1;
  }
  const auto pairs = mcval::read_pair_table(argv[1]);
  const int nodes[] = {10, 20, 40, 80, 640};
  const double v_escs[] = {0.0, 5.0};
  std::printf("id,class,v_esc,nodes,p_coll,v_rel_mean,v_rel_rms,v_imp_mean\n");
  for (const auto& p : pairs) {
    const double a1 = p.a1 * pairtrack::kCentimetresPerAu, a2 = p.a2 * pairtrack::kCentimetresPerAu;
    const double i1 = p.i1 * pairtrack::kRadiansPerDegree, i2 = p.i2 * pairtrack::kRadiansPerDegree;
    for (double v_esc : v_escs) {
      for (int n : nodes) {
        double pc = 0.0, vm = 0.0, vr = 0.0, vi = 0.0;
        const std::int32_t nn = n;
        pairtrack::detail::gaussorb(a1, p.e1, i1, a2, p.e2, i2, pc, vm, vr, vi, nn, nn, v_esc);
        std::printf("%s,%s,%g,%d,%.12g,%.12g,%.12g,%.12g\n", p.id.c_str(), p.pair_class.c_str(),
                    v_esc, n, pc, vm, vr, vi);
      }
    }
  }
  return 0;
}
