// Calibration data of the accurate mode, as CSV on standard output:
//   accurate_calibration PAIRS SEED
// PAIRS random pairs whose distance ranges meet, in three populations
// (main-belt-like; asteroid families, i.e. a main-belt orbit and a close
// neighbour with |i1 - i2| log-uniform in [1e-4, 1] degree; general, up to
// e = 0.8 and i = 90 degrees), each at v_esc = 0, 0.3, 1, 5 km/s. Per pair: the
// closeness delta of the inclinations (and of the retrograde peak), the classic
// 10 x 10 value, the accurate value at 1e-7 with its estimate, the same at 1e-3
// and 1e-5 with their estimates, and their true errors against the 1e-7 value.
// validation/regime_map.py turns it into the regime map and the criterion's
// calibration table.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "kernel/accurate/accurate_pair.h"
#include "kernel/accurate/classic_criterion.h"
#include "kernel/reference/gaussorb.h"
#include "pairtrack/units.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: accurate_calibration PAIRS SEED\n");
    return 1;
  }
  using namespace pairtrack;
  using namespace pairtrack::detail;
  const int count = std::atoi(argv[1]);
  std::mt19937_64 gen(static_cast<std::uint64_t>(std::atoll(argv[2])));
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::printf(
      "population,a1_au,e1,i1_deg,a2_au,e2,i2_deg,v_esc,delta,apsis_eps,classic,accurate,"
      "accurate_err,flagged,p3,p3_err,p5,p5_err\n");
  const char* names[] = {"mainbelt", "family", "general"};
  const double v_escs[] = {0.0, 0.3, 1.0, 5.0};
  int made = 0;
  while (made < count) {
    const int population = made % 3;
    double a1 = 2.1 + 1.2 * u(gen), e1 = 0.3 * u(gen), i1 = 30.0 * u(gen);
    double a2 = 2.1 + 1.2 * u(gen), e2 = 0.3 * u(gen), i2 = 30.0 * u(gen);
    if (population == 1) {
      a2 = a1 + 0.04 * (u(gen) - 0.5);
      e2 = std::fabs(e1 + 0.04 * (u(gen) - 0.5));
      const double d = std::pow(10.0, -4.0 + 4.0 * u(gen));
      i2 = std::fabs(i1 + (u(gen) < 0.5 ? -d : d));
    } else if (population == 2) {
      a1 = 1.0 + 3.0 * u(gen);
      a2 = 1.0 + 3.0 * u(gen);
      e1 = 0.8 * u(gen);
      e2 = 0.8 * u(gen);
      i1 = 90.0 * u(gen);
      i2 = 90.0 * u(gen);
    }
    const double v_esc = v_escs[(made / 3) % 4];
    const double a1c = a1 * pairtrack::kCentimetresPerAu, a2c = a2 * pairtrack::kCentimetresPerAu;
    const double i1r = i1 * pairtrack::kRadiansPerDegree, i2r = i2 * pairtrack::kRadiansPerDegree;
    if (match_apsides(a1c, e1, a2c, e2).disjoint()) continue;
    double classic = 0.0, v1 = 0.0, v2 = 0.0, v3 = 0.0;
    gaussorb(a1c, e1, i1r, a2c, e2, i2r, classic, v1, v2, v3, 10, 10, v_esc);
    kernel::AccurateOptions o;
    o.rel = 1e-7;
    o.max_points = 4000000;
    const kernel::AccurateResult ref = kernel::accurate_pair(a1c, e1, i1r, a2c, e2, i2r, v_esc, o);
    if (ref.status != kernel::AccurateStatus::kOk || !(ref.p_coll > 0.0)) continue;
    o.rel = 1e-3;
    const kernel::AccurateResult r3 = kernel::accurate_pair(a1c, e1, i1r, a2c, e2, i2r, v_esc, o);
    o.rel = 1e-5;
    const kernel::AccurateResult r5 = kernel::accurate_pair(a1c, e1, i1r, a2c, e2, i2r, v_esc, o);
    const kernel::ClassicAccuracy c = kernel::classic_accuracy(a1c, e1, i1r, a2c, e2, i2r, v_esc);
    std::printf(
        "%s,%.6f,%.6f,%.8f,%.6f,%.6f,%.8f,%g,%.6e,%.6e,%.10g,%.10g,%.3e,%d,%.10g,%.3e,%.10g,%.3e\n",
        names[population], a1, e1, i1, a2, e2, i2, v_esc, c.delta, c.apsis_eps, classic, ref.p_coll,
        ref.p_coll_error, c.likely_off ? 1 : 0, r3.p_coll, r3.p_coll_error, r5.p_coll,
        r5.p_coll_error);
    ++made;
  }
  return 0;
}
