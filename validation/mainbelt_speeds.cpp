// The collision-weighted impact-speed distribution of a population against itself, through the
// public API: every distinct pair (i < j) of a catalogue at v_esc = 0, binned by the speed of
// every quadrature term (speed_distribution_matrix), summed over the pairs.
//   mainbelt_speeds CATALOGUE [MIN:MAX:STEP [NODES]] > distribution.csv
// NODES other than 10 (the program's rule, through the public API) bins the reference
// quadrature's terms with NODES x NODES nodes instead: how far the 10 x 10 rule resolves the
// bins.
// Standard output: one CSV line per stored bin (underflow first, overflow last),
//   bin,speed_min_km_s,speed_max_km_s,p_impact,p_encounter      (1e-18 km^-2 yr^-1, summed)
// Standard error: key = value lines: the pairs, the sum of P_i, the P_i-weighted mean of the
// pairs' mean impact speeds (the report's figure, exact), and the distribution's mean (bin
// centres), most probable speed (centre of the heaviest bin), standard deviation and median.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernel/reference/speed_histogram.h"
#include "kernel/speed_binning.h"
#include "pairtrack/catalogue.h"
#include "pairtrack/speeds.h"
#include "pairtrack/units.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: mainbelt_speeds CATALOGUE [MIN:MAX:STEP [NODES]]\n");
    return 1;
  }
  pairtrack::Catalogue cat;
  const auto read = pairtrack::read_catalogue(argv[1], cat);
  if (read.status != pairtrack::CatalogueStatus::ok) {
    std::fprintf(stderr, "mainbelt_speeds: %s\n", read.message.c_str());
    return 1;
  }
  pairtrack::SpeedBins bins;
  if (argc >= 3) bins = pairtrack::parse_speed_bins(argv[2]);
  const int nodes = argc == 4 ? std::atoi(argv[3]) : 10;
  if (nodes < 1 || nodes > 2000) {
    std::fprintf(stderr, "mainbelt_speeds: NODES must be 1 to 2000\n");
    return 1;
  }
  const pairtrack::detail::SpeedBinning binning = pairtrack::detail::speed_binning(bins);
  const std::size_t n = cat.semimajor_axis_au.size(), nv = bins.values();
  std::vector<long double> impact(nv, 0.0L), encounter(nv, 0.0L);
  long double sum_p = 0.0L, sum_pv = 0.0L;
  std::vector<double> hist_i(n * nv), hist_e(n * nv), p(n), v(n);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const std::size_t m = n - i - 1;  // partners j > i
    const pairtrack::OrbitArrays one{&cat.semimajor_axis_au[i], &cat.eccentricity[i],
                                     &cat.inclination_deg[i], 1};
    const pairtrack::OrbitArrays rest{&cat.semimajor_axis_au[i + 1], &cat.eccentricity[i + 1],
                                      &cat.inclination_deg[i + 1], m};
    pairtrack::SpeedDistributionArrays out;
    out.impact = hist_i.data();
    out.encounter = hist_e.data();
    out.pairs.p_coll = p.data();
    out.pairs.v_imp_mean = v.data();
    if (nodes == 10) {
      pairtrack::speed_distribution_matrix(one, rest, bins, out);
    } else {
      const double cm = pairtrack::kCentimetresPerAu, rad = pairtrack::kRadiansPerDegree;
      for (std::size_t j = 0; j < m; ++j) {
        const std::size_t k = i + 1 + j;
        pairtrack::detail::reference_speed_histograms(
            cat.semimajor_axis_au[i] * cm, cat.eccentricity[i], cat.inclination_deg[i] * rad,
            cat.semimajor_axis_au[k] * cm, cat.eccentricity[k], cat.inclination_deg[k] * rad, nodes,
            nodes, 0.0, binning, &hist_i[j * nv], &hist_e[j * nv], &p[j]);
        v[j] = 0.0;  // not returned here: only the distribution's own mean is printed
      }
    }
    for (std::size_t j = 0; j < m; ++j) {
      sum_p += p[j];
      if (p[j] > 0.0) sum_pv += static_cast<long double>(p[j]) * v[j];
      for (std::size_t k = 0; k < nv; ++k) {
        impact[k] += hist_i[j * nv + k];
        encounter[k] += hist_e[j * nv + k];
      }
    }
  }
  std::printf("bin,speed_min_km_s,speed_max_km_s,p_impact,p_encounter\n");
  long double w = 0.0L, wc = 0.0L, wc2 = 0.0L;
  std::size_t mode = 1;
  for (std::size_t k = 0; k < nv; ++k) {
    const double lo = bins.lower_km_s(k), hi = bins.upper_km_s(k);
    std::printf("%zu,%.10g,%.10g,%.10Lg,%.10Lg\n", k, lo, hi, impact[k], encounter[k]);
    if (k == 0 || k + 1 == nv) continue;
    const long double c = 0.5L * (static_cast<long double>(lo) + hi);
    w += impact[k];
    wc += impact[k] * c;
    wc2 += impact[k] * c * c;
    if (impact[k] > impact[mode]) mode = k;
  }
  long double cum = 0.0L;
  double median = 0.0;
  for (std::size_t k = 1; k + 1 < nv; ++k) {
    if (cum + impact[k] >= 0.5L * w) {  // linear within the bin
      const double f = static_cast<double>((0.5L * w - cum) / impact[k]);
      median = bins.lower_km_s(k) + f * (bins.upper_km_s(k) - bins.lower_km_s(k));
      break;
    }
    cum += impact[k];
  }
  const long double mean = wc / w;
  std::fprintf(stderr, "bodies = %zu\npairs = %zu\n", n, n * (n - 1) / 2);
  std::fprintf(stderr, "sum_p = %.6Lf\nunderflow = %.6Lg\noverflow = %.6Lg\n", sum_p, impact[0],
               impact[nv - 1]);
  if (nodes == 10) {
    std::fprintf(stderr, "v_imp_weighted_pair_means = %.6Lf\n", sum_pv / sum_p);
  }
  std::fprintf(stderr, "distribution_mean = %.6Lf\n", mean);
  std::fprintf(stderr, "distribution_mode = %.6f\n",
               0.5 * (bins.lower_km_s(mode) + bins.upper_km_s(mode)));
  std::fprintf(stderr, "distribution_sd = %.6f\n",
               static_cast<double>(std::sqrt(wc2 / w - mean * mean)));
  std::fprintf(stderr, "distribution_median = %.6f\n", median);
  return 0;
}
