// The inclination ladder (ladder.h) as CSV on standard output:
//   accurate_ladder [SAMPLES_PER_BATCH] [BATCHES]
// per geometry, rung and escape speed: the classic 10 x 10 value, the
// accurate value at 1e-4 and its estimate, the converged value (the
// accurate integrator at 1e-10), and the resolving Monte Carlo estimate with
// its standard error (window rho = 5e-4 AU).
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kernel/reference/gaussorb.h"
#include "ladder.h"
#include "pairtrack/units.h"

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::atoi(argv[1]) : 60000;
  const int batches = argc > 2 ? std::atoi(argv[2]) : 16;
  std::printf(
      "geometry,rung_deg,v_esc,classic,accurate,accurate_err,converged,converged_err,"
      "mc,mc_se,mc_v_imp,mc_v_imp_se,accurate_v_imp\n");
  std::uint64_t seed = 1;
  for (const auto& g : mcval::kLadderGeometries) {
    for (double rung : mcval::kLadderRungsDeg) {
      mcval::Orbit o2 = g.orbit_2;
      o2.inc_deg = g.orbit_1.inc_deg + rung;
      const mcval::McResult mc =
          mcval::estimate_pair(g.orbit_1, o2, mcval::ladder_config(samples, batches, seed++));
      const double a1 = g.orbit_1.a_au * pairtrack::kCentimetresPerAu,
                   a2 = o2.a_au * pairtrack::kCentimetresPerAu;
      const double i1 = g.orbit_1.inc_deg * pairtrack::kRadiansPerDegree,
                   i2 = o2.inc_deg * pairtrack::kRadiansPerDegree;
      for (std::size_t v = 0; v < 2; ++v) {
        const double v_esc = v == 0 ? 0.0 : 5.0;
        double classic = 0.0, x = 0.0, y = 0.0, z = 0.0;
        pairtrack::detail::gaussorb(a1, g.orbit_1.e, i1, a2, o2.e, i2, classic, x, y, z, 10, 10,
                                    v_esc);
        const mcval::LadderValues values = mcval::ladder_values(g.orbit_1, o2, v_esc);
        const auto& acc = values.accurate;
        const auto& conv = values.converged;
        const auto& m = mc.result[v][0];
        std::printf("%s,%g,%g,%.8g,%.8g,%.3g,%.10g,%.3g,%.6g,%.3g,%.6g,%.3g,%.6g\n", g.name, rung,
                    v_esc, classic, acc.p_coll, acc.p_coll_error, conv.p_coll, conv.p_coll_error,
                    m.p_coll.mean, m.p_coll.se, m.v_imp_mean.mean, m.v_imp_mean.se, acc.v_imp_mean);
      }
    }
  }
  return 0;
}
