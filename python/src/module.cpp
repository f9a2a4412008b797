// The Python module `pairtrack`: one module, its parts registered in turn (each in its own
// file, see bindings.h).
#include "bindings.h"

PYBIND11_MODULE(pairtrack, m) {
  m.doc() = R"(pairtrack: collision probabilities of orbit pairs, and the program's file formats.

The kernel integrates, over all orientations of two Keplerian orbits (Gauss-Legendre quadrature,
10 x 10 nodes), the intrinsic collision probability (1e-18 km^-2 yr^-1) and the encounter and
impact speeds (km/s); the values are bit for bit those of the program pairtrack.

  collision_probability(a1, e1, i1, a2, e2, i2, ...)  pairs element by element (broadcast)
  pair_matrix(orbits1, orbits2, ...)                  every pair of two populations
  read_catalogue(path)                                an orbit catalogue as arrays
  HistoryFile(path, format=None)                      a history file, frame by frame
  write_history(path, frames, format)                 frames to a history file
  read_report(path)                                   a report's frame lines as arrays
  run(catalogue, history, format, ...)                the complete run: report, tables, warnings
  mean_deviation(values), weighted_mean_deviation(values, weights)
                                                      the frame line's statistics
  CM_PER_AU, RADIANS_PER_DEGREE                       the program's unit conversions

Units: semimajor axes in AU; inclinations in degrees (catalogue) or radians (history files;
pass degrees=False to the kernel functions); v_esc and speeds in km/s.)";
  m.attr("__version__") = PAIRTRACK_VERSION;
  pairtrack::python::register_kernel(m);
  pairtrack::python::register_files(m);
  pairtrack::python::register_run(m);
}
