// The kernel's main-belt averages: every pair of a catalogue (the program's
// fixed-column layout; class in columns 42-44, diameter 46-54, inclination,
// eccentricity and semimajor axis in 148-182) evaluated with the reference
// kernel at v_esc = 0.
//   kernel_mainbelt CATALOGUE NODES [PAIRS_CSV]
// prints key = value lines: the mean intrinsic collision probability over all
// distinct pairs, over the pairs that can collide, the collision-weighted and
// the plain mean impact speed, the same over ordered pairs (each pair twice)
// and with the self-pairs added. PAIRS_CSV, when given, gets one line per
// distinct pair (P_i, impact speed) for the figures.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "kernel/reference/gaussorb.h"
#include "pairtrack/units.h"

namespace {

struct Body {
  std::string name;
  double diameter_km, a_cm, e, inc_rad;
};

struct Tally {
  long double sum_p = 0.0L, sum_pv = 0.0L, sum_v = 0.0L;
  long pairs = 0, colliding = 0;
  void add(double p, double v) {
    ++pairs;
    sum_p += p;
    if (p > 0.0 && v > 1e-8) {
      ++colliding;
      sum_pv += static_cast<long double>(p) * v;
      sum_v += v;
    }
  }
  void print(const char* prefix) const {
    std::printf("%s.pairs = %ld\n", prefix, pairs);
    std::printf("%s.colliding_pairs = %ld\n", prefix, colliding);
    std::printf("%s.mean_p_all = %.6f\n", prefix, static_cast<double>(sum_p / pairs));
    std::printf("%s.mean_p_colliding = %.6f\n", prefix, static_cast<double>(sum_p / colliding));
    std::printf("%s.v_imp_weighted = %.6f\n", prefix, static_cast<double>(sum_pv / sum_p));
    std::printf("%s.v_imp_plain = %.6f\n", prefix, static_cast<double>(sum_v / colliding));
  }
};

void evaluate(const Body& x, const Body& y, int nodes, double& p, double& v) {
  double v_rel = 0.0, v_rms = 0.0;
  const std::int32_t n = nodes;
  const double v_esc = 0.0;
  p = 0.0;
  v = 0.0;
  pairtrack::detail::gaussorb(x.a_cm, x.e, x.inc_rad, y.a_cm, y.e, y.inc_rad, p, v_rel, v_rms, v, n,
                              n, v_esc);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: kernel_mainbelt CATALOGUE NODES [PAIRS_CSV]\n");
    return 1;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "kernel_mainbelt: cannot open %s\n", argv[1]);
    return 1;
  }
  const int nodes = std::atoi(argv[2]);
  std::vector<Body> bodies;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 182) break;
    Body b;
    b.name = line.substr(0, 40);
    b.diameter_km = std::atof(line.substr(45, 9).c_str());
    const double inc = std::atof(line.substr(147, 10).c_str());
    b.e = std::atof(line.substr(157, 11).c_str());
    b.a_cm = std::atof(line.substr(168, 14).c_str()) * pairtrack::kCentimetresPerAu;
    b.inc_rad = inc * pairtrack::kRadiansPerDegree;
    bodies.push_back(b);
  }
  std::FILE* csv = argc == 4 ? std::fopen(argv[3], "w") : nullptr;
  if (argc == 4 && !csv) {
    std::fprintf(stderr, "kernel_mainbelt: cannot write %s\n", argv[3]);
    return 1;
  }
  if (csv) std::fprintf(csv, "i,j,p_coll,v_imp\n");
  Tally distinct, ordered, with_self;
  const std::size_t n = bodies.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      double p, v;
      evaluate(bodies[i], bodies[j], nodes, p, v);
      distinct.add(p, v);
      if (csv) std::fprintf(csv, "%zu,%zu,%.6g,%.6g\n", i, j, p, v);
    }
  }
  if (csv) std::fclose(csv);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      double p, v;
      evaluate(bodies[i], bodies[j], nodes, p, v);
      if (i != j) ordered.add(p, v);
      with_self.add(p, v);
    }
  }
  double dmin = 1e300, dmax = 0.0;
  for (const auto& b : bodies) {
    dmin = std::min(dmin, b.diameter_km);
    dmax = std::max(dmax, b.diameter_km);
  }
  std::printf("bodies = %zu\nnodes = %d\ndiameter_min_km = %.3f\ndiameter_max_km = %.3f\n", n,
              nodes, dmin, dmax);
  distinct.print("distinct");
  ordered.print("ordered");
  with_self.print("with_self");
  return 0;
}
