// The kernel's collision-weighted speed distributions against the Monte Carlo's, bin by bin, for
// the validation pairs (1 km/s bins, speed_check.h):
//   speed_pairs PAIRS [--target-pairs N] [--batches N] [--seed N] [--only ID,ID] [--bins FILE]
//               [--nodes N,N,...]
// Standard output: one CSV line per pair, escape speed (0 and 5 km/s) and node count (default
// 10, the program's rule, through the public API; 0 the public API's accurate mode at 1e-6;
// others through the reference quadrature) with
// the largest |kernel - Monte Carlo| of a bin in standard errors and as a share of P_i, over the
// bins of both distributions. --bins FILE writes every bin.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pair_table.h"
#include "speed_check.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: speed_pairs PAIRS [--target-pairs N] [--batches N] [--seed N] "
                 "[--only ID,ID,...] [--bins FILE] [--nodes N,N,...]\n");
    return 1;
  }
  double target = 150000.0;
  int batches = 32;
  std::uint64_t seed = 1;
  std::string only, bins_file;
  std::vector<int> nodes;
  for (int a = 2; a < argc; ++a) {
    const std::string arg = argv[a];
    if (a + 1 >= argc) {
      std::fprintf(stderr, "speed_pairs: %s needs a value\n", arg.c_str());
      return 1;
    }
    const char* value = argv[++a];
    if (arg == "--target-pairs") {
      target = std::atof(value);
    } else if (arg == "--batches") {
      batches = std::atoi(value);
    } else if (arg == "--seed") {
      seed = std::strtoull(value, nullptr, 10);
    } else if (arg == "--only") {
      only = "," + std::string(value) + ",";
    } else if (arg == "--bins") {
      bins_file = value;
    } else if (arg == "--nodes") {
      for (const char* s = value; *s;) {
        char* end = nullptr;
        const long n = std::strtol(s, &end, 10);
        if (end == s || n < 0 || n > 2000 || (*end != ',' && *end != '\0')) {
          std::fprintf(stderr, "speed_pairs: --nodes needs counts from 0 to 2000\n");
          return 1;
        }
        nodes.push_back(static_cast<int>(n));
        s = *end == ',' ? end + 1 : end;
      }
    } else {
      std::fprintf(stderr, "speed_pairs: unknown option %s\n", arg.c_str());
      return 1;
    }
  }
  if (nodes.empty()) nodes.push_back(10);
  if (batches < 2 || !(target > 0.0)) {
    std::fprintf(stderr, "speed_pairs: need at least 2 batches and a positive target\n");
    return 1;
  }
  std::FILE* bins = nullptr;
  if (!bins_file.empty()) {
    bins = std::fopen(bins_file.c_str(), "w");
    if (!bins) {
      std::fprintf(stderr, "speed_pairs: cannot write %s\n", bins_file.c_str());
      return 1;
    }
    std::fprintf(bins, "id,v_esc,nodes,distribution,bin,kernel,mc,mc_se,z\n");
  }
  const auto pairs = mcval::read_pair_table(argv[1]);
  std::printf(
      "id,class,v_esc,nodes,p_coll_kernel,p_coll_mc,bins_compared,max_abs_z,max_abs_deviation,"
      "worst_distribution,worst_bin\n");
  std::uint64_t pair_index = 0;
  for (const auto& p : pairs) {
    ++pair_index;
    if (!only.empty() && only.find("," + p.id + ",") == std::string::npos) continue;
    const mcval::Orbit o1{p.a1, p.e1, p.i1}, o2{p.a2, p.e2, p.i2};
    const mcval::McConfig cfg =
        mcval::speed_check_config(p.rho_au, target, batches, seed * 1000003ULL + pair_index);
    // One Monte Carlo estimate per pair, compared with every node count.
    const mcval::McResult mc = mcval::estimate_pair(o1, o2, cfg);
    for (const int n : nodes) {
      for (const auto& c : mcval::compare_speed_distributions(o1, o2, cfg, mc, n)) {
        const mcval::BinCheck* worst = nullptr;
        double deviation = 0.0;  // largest |kernel - Monte Carlo| of a bin, share of P_i
        for (const auto& b : c.bins) {
          if (!worst || std::fabs(b.z) > std::fabs(worst->z)) worst = &b;
          if (c.p_coll_mc > 0.0) {
            deviation = std::max(deviation, std::fabs(b.kernel - b.mc) / c.p_coll_mc);
          }
          if (bins) {
            std::fprintf(bins, "%s,%g,%d,%s,%d,%.8g,%.8g,%.4g,%.3f\n", p.id.c_str(), c.v_esc, n,
                         b.distribution, b.bin, b.kernel, b.mc, b.mc_se, b.z);
          }
        }
        std::printf("%s,%s,%g,%d,%.6g,%.6g,%d,%.2f,%.4f,%s,%d\n", p.id.c_str(),
                    p.pair_class.c_str(), c.v_esc, n, c.p_coll_kernel, c.p_coll_mc, c.compared,
                    c.max_abs_z, deviation, worst ? worst->distribution : "",
                    worst ? worst->bin : -1);
        std::fflush(stdout);
      }
    }
  }
  if (bins && std::fclose(bins) != 0) {
    std::fprintf(stderr, "speed_pairs: cannot write %s\n", bins_file.c_str());
    return 1;
  }
  return 0;
}
