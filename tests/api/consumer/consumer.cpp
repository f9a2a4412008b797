// Uses the installed pairtrack library on the bundled example data: one asteroid against the
// main belt, a small pair matrix checked against the element-wise call and across thread
// counts, the history file's frames. Exit status 0 when every check holds.
//   consumer EXAMPLES_DIR
#include <pairtrack/pairtrack.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: FAILED: %s\n", what);
    ++failures;
  }
}

bool same_bits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  std::printf("pairtrack %s\n", PAIRTRACK_VERSION_STRING);

  pairtrack::Catalogue belt;
  const pairtrack::CatalogueReadResult read =
      pairtrack::read_catalogue(dir + "/mainbelt.cat", belt);
  check(read.status == pairtrack::CatalogueStatus::ok, "reading mainbelt.cat");
  check(belt.semimajor_axis_au.size() == 300, "300 orbits in mainbelt.cat");
  const pairtrack::OrbitArrays orbits{belt.semimajor_axis_au.data(), belt.eccentricity.data(),
                                      belt.inclination_deg.data(), belt.semimajor_axis_au.size()};

  // The first orbit against the whole belt.
  const pairtrack::OrbitArrays first{belt.semimajor_axis_au.data(), belt.eccentricity.data(),
                                     belt.inclination_deg.data(), 1};
  std::vector<double> p(orbits.count), v_imp(orbits.count);
  pairtrack::collision_pair_matrix(first, orbits, {p.data(), nullptr, nullptr, v_imp.data()});
  const pairtrack::MeanAndDeviation mean_p = pairtrack::sample_mean_deviation(p.data(), p.size());
  const pairtrack::MeanAndDeviation mean_v =
      pairtrack::weighted_mean_deviation(v_imp.data(), p.data(), p.size());
  std::printf("orbit 1 against the belt: mean P_i %.6g 1e-18 km^-2 yr^-1, impact speed %.4g km/s\n",
              mean_p.mean, mean_v.mean);
  check(mean_p.mean > 0.0 && mean_v.mean > 0.0, "orbit 1 can hit the belt");

  // A 5 x 7 matrix on one and on three threads, and its pairs one by one.
  const pairtrack::OrbitArrays five{orbits.semimajor_axis_au, orbits.eccentricity,
                                    orbits.inclination, 5};
  const pairtrack::OrbitArrays seven{orbits.semimajor_axis_au + 10, orbits.eccentricity + 10,
                                     orbits.inclination + 10, 7};
  std::vector<double> m1(35), m3(35);
  pairtrack::KernelOptions one;
  one.threads = 1;
  pairtrack::KernelOptions three;
  three.threads = 3;
  pairtrack::collision_pair_matrix(five, seven, {m1.data(), nullptr, nullptr, nullptr}, one);
  pairtrack::collision_pair_matrix(five, seven, {m3.data(), nullptr, nullptr, nullptr}, three);
  bool same = true;
  for (std::size_t i = 0; i < 5; ++i) {
    for (std::size_t j = 0; j < 7; ++j) {
      const pairtrack::PairResult r = pairtrack::collision_pair(
          five.semimajor_axis_au[i], five.eccentricity[i], five.inclination[i],
          seven.semimajor_axis_au[j], seven.eccentricity[j], seven.inclination[j]);
      same = same && same_bits(r.p_coll, m1[i * 7 + j]) && same_bits(m1[i * 7 + j], m3[i * 7 + j]);
    }
  }
  check(same, "matrix = single pairs, on 1 and 3 threads");

  // The history file, its encoding told from the record lengths.
  pairtrack::HistoryFormatDetection detection;
  std::string error;
  check(pairtrack::detect_history_format(dir + "/history_f4.bin", detection, error) &&
            detection.format == pairtrack::HistoryFormat::float32,
        "history_f4.bin detected as float32");
  pairtrack::HistoryFrameReader history;
  check(history.open(dir + "/history_f4.bin", pairtrack::HistoryFormat::float32), "open history");
  pairtrack::HistoryFrame frame;
  while (history.next(frame) == pairtrack::HistoryFrameReader::Status::frame) {
    std::printf("frame t = %g: %zu bodies\n", frame.time, frame.bodies());
  }
  check(history.frames_read() == 6, "6 frames in history_f4.bin");
  return failures == 0 ? 0 : 1;
}
