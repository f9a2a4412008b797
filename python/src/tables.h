// Tables handed to Python as objects with one NumPy array per column. The frame table
// (ReportFrames) is what read_report returns; a complete run from Python returns the same
// class for its frames.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

#include "pairtrack/report.h"

namespace pairtrack::python {

// The Python class ReportFrames (registered by register_files).
struct PyReportFrames {
  pybind11::array_t<double> t, proba_mean, proba_sigma, impvel_mean, impvel_sigma;
  pybind11::array_t<std::int64_t> n1, n2, n_proba, n_impvel;
};

// The frame lines' columns as a pairtrack.ReportFrames (copies of the arrays).
pybind11::object to_python(const ReportFrames& frames);

}  // namespace pairtrack::python
