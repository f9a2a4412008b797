// pairtrack._core: the compiled half of the Python package pairtrack. It holds the calls into
// the library (kernel, files, run) and hands back plain tuples, lists and NumPy arrays; the
// classes, checks of units and warnings users see are written in Python in the package.
#include "bindings.h"

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled calls behind the pairtrack package (internal; use pairtrack).";
  m.attr("__version__") = PAIRTRACK_VERSION;
  pairtrack::python::register_kernel(m);
  pairtrack::python::register_files(m);
  pairtrack::python::register_run(m);
  pairtrack::python::register_speeds(m);
}
