// Test helper: the program's reference computations, printed as hexadecimal floats so that
// the tests of the public library and the Python module compare bits, not decimals.
//
//   kernel_probe pairs OUT      stdin: lines "a1 e1 i1 a2 e2 i2 v_esc" (AU, degrees, km/s, any
//                               form strtod reads); OUT gets per pair "case p v_mean v_rms v_imp"
//                               from the reference gaussorb with 10 x 10 nodes (speeds preset to
//                               0), the orbits converted as the program converts the catalogue;
//                               case 0 disjoint, 1-4 the overlap case, 5 no case holds.
//   kernel_probe catalogue PATH  stdout: the program's catalogue reader's (path up to 80
//                               characters) "inc e a" per orbit,
//                               or the status name when it fails.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "io/load_catalog.h"
#include "kernel/overlap_geometry.h"
#include "kernel/reference/gaussorb.h"
#include "pairtrack/units.h"

namespace {

int overlap_case(double a1, double e1, double i1, double a2, double e2, double i2) {
  const pairtrack::detail::OverlapBounds b = pairtrack::detail::match_apsides(a1, e1, a2, e2);
  if (b.disjoint()) return 0;
  pairtrack::detail::IntegrationSet s1, s2;
  int split = 0;
  const int which = pairtrack::detail::linecheck_case(b.c1_rmax, b.c1_rmin, b.c2_rmax, b.c2_rmin,
                                                      a1, a2, e1, e2, i1, i2, s1, s2, split);
  return which == 0 ? 5 : which;
}

int pairs(const char* out_path) {
  std::FILE* out = std::fopen(out_path, "w");
  if (out == nullptr) return 2;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    std::string f[7];
    for (auto& s : f) fields >> s;
    double x[7];
    for (int k = 0; k < 7; ++k) x[k] = std::strtod(f[k].c_str(), nullptr);
    const double a1 = x[0] * pairtrack::kCentimetresPerAu, e1 = x[1],
                 i1 = x[2] * pairtrack::kRadiansPerDegree;
    const double a2 = x[3] * pairtrack::kCentimetresPerAu, e2 = x[4],
                 i2 = x[5] * pairtrack::kRadiansPerDegree;
    double p = 0.0, vm = 0.0, vr = 0.0, vi = 0.0;
    const std::int32_t n = 10;
    pairtrack::detail::gaussorb(a1, e1, i1, a2, e2, i2, p, vm, vr, vi, n, n, x[6]);
    std::fprintf(out, "%d %a %a %a %a\n", overlap_case(a1, e1, i1, a2, e2, i2), p, vm, vr, vi);
  }
  return std::fclose(out) == 0 ? 0 : 2;
}

int catalogue(const std::string& path) {
  constexpr std::int32_t kCapacity = pairtrack::kPopulationCapacity;
  auto a = std::make_unique<double[]>(kCapacity);
  auto e = std::make_unique<double[]>(kCapacity);
  auto inc = std::make_unique<double[]>(kCapacity);
  std::int32_t n = kCapacity;
  // The program's reader, by a path of any length (a test's checkout may lie deep).
  switch (pairtrack::detail::read_catalog_file(path, a.get(), e.get(), inc.get(), n)) {
    case pairtrack::detail::CatalogStatus::cannot_open: std::puts("cannot_open"); return 0;
    case pairtrack::detail::CatalogStatus::too_many_orbits: std::puts("too_many_orbits"); return 0;
    case pairtrack::detail::CatalogStatus::read_error: std::puts("read_error"); return 0;
    case pairtrack::detail::CatalogStatus::ok: break;
  }
  for (std::int32_t k = 0; k < n; ++k) std::printf("%a %a %a\n", inc[k], e[k], a[k]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "pairs" && argc == 3) return pairs(argv[2]);
  if (mode == "catalogue" && argc == 3) return catalogue(argv[2]);
  std::fprintf(stderr, "usage: kernel_probe pairs OUT | kernel_probe catalogue PATH\n");
  return 2;
}
