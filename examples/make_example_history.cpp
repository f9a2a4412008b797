// Writes the bundled example's history files: six frames of the 40 main-belt
// orbits of bodies.cat, whose eccentricities grow from frame to frame (a
// stand-in for secular evolution) so that some perihelia fall below the
// example's threshold. One file per encoding: history_f8.bin (code 2),
// history_f4.bin (code 1), history_i2.bin (code 0, quantised).
//
// Usage: make_example_history <bodies.cat> <output directory>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "io/history/history_writer.h"
#include "io/load_catalog.h"
#include "pairtrack/units.h"

namespace {

constexpr int kFrames = 6;
constexpr std::int32_t kCapacity = pairtrack::kPopulationCapacity;  // orbits the arrays hold
constexpr double kYearsPerFrame = 2.5e5;                            // frame times in years
// The integrating program's radians per degree (pi / 180 to full precision), not the
// catalogue conversion of pairtrack/units.h: the example history files were written with it.
constexpr double kRadPerDeg = 0.017453292519943295;
constexpr double kTwoPi = 6.283185307179586;

struct Orbit {
  double a_au, e, inc_rad, node, peri, anomaly;
};

// The orbit of body k (0-based) in frame f.
Orbit evolve(double a, double e, double inc_deg, int k, int f) {
  Orbit o;
  o.a_au = a;
  o.e = std::min(0.9, e + 0.05 * f * (k % 4) / 3.0);
  o.inc_rad = inc_deg * kRadPerDeg;
  o.node = std::fmod(0.7 * k + 0.05 * f, kTwoPi);
  o.peri = std::fmod(1.3 * k + 0.11 * f, kTwoPi);
  o.anomaly = std::fmod(2.9 * k + 1.7 * f, kTwoPi);
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <bodies.cat> <output directory>\n", argv[0]);
    return 1;
  }
  std::vector<double> a(kCapacity), e(a.size()), inc(a.size());
  std::int32_t n = kCapacity;
  std::ostringstream echo;
  std::string name(argv[1]);
  name.resize(80, ' ');
  if (pairtrack::detail::load_catalog(name, a.data(), e.data(), inc.data(), n, echo) !=
      pairtrack::detail::CatalogStatus::ok) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string dir(argv[2]);
  const struct {
    int code;
    const char* file;
  } outputs[] = {{2, "history_f8.bin"}, {1, "history_f4.bin"}, {0, "history_i2.bin"}};
  for (const auto& out : outputs) {
    pairtrack::detail::HistoryWriter w;
    const std::string path = dir + "/" + out.file;
    bool ok = w.open(path);
    for (int f = 0; ok && f < kFrames; ++f) {
      ok = w.header(static_cast<pairtrack::HistoryFormat>(out.code), f * kYearsPerFrame, 1, n);
      for (int k = 0; ok && k < n; ++k) {
        const Orbit o = evolve(a[k], e[k], inc[k], k, f);
        ok = w.body(static_cast<pairtrack::HistoryFormat>(out.code), k + 1, o.a_au, o.e, o.inc_rad,
                    o.node, o.peri, o.anomaly);
      }
    }
    if (!w.close() || !ok) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
