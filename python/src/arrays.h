// Conversions at the module's boundary: array-likes to contiguous float64 NumPy arrays with
// clear refusals (TypeError for what is not real numbers, ValueError for shapes), arguments
// such as threads and v_esc checked, and file names taken from str, bytes or os.PathLike.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "pairtrack/kernel.h"

namespace pairtrack::python {

namespace py = pybind11;
using DoubleArray = py::array_t<double, py::array::c_style>;

// `value` as a C-contiguous float64 array (a copy when it is not one already). Integers and
// floats of any width are converted; booleans, complex numbers, strings, objects and dates
// raise TypeError naming `name`.
DoubleArray to_double_array(const py::handle& value, const char* name);

// Raises ValueError naming `name` unless every element is finite.
void require_finite(const DoubleArray& values, const char* name);

// ValueError unless every orbit is bound and finite: a > 0, 0 <= e < 1, inclination finite.
void require_orbits(const double* a, const double* e, const double* inc, py::ssize_t n,
                    const char* which);

// The number of threads: None gives 0 (all cores); otherwise an int >= 1, else ValueError or
// TypeError.
int thread_count(const py::object& threads);

// v_esc in km/s: a finite float >= 0, else ValueError.
double escape_velocity(const py::object& v_esc);

// A file name from str, bytes or os.PathLike, in the file system's encoding.
std::string file_name(const py::object& path);

// A new float64 or int array of `shape` copied from `data`.
py::array_t<double> copy_to_array(const double* data, py::ssize_t n);

// The kernel options of the Python calls: v_esc in km/s, angles in degrees or radians.
KernelOptions kernel_options(double v_esc, bool degrees, int threads, double accuracy,
                             double min_mutual_inclination);

// The orbits held by three checked arrays of one length (a in cm), without a copy.
OrbitArrays orbit_view(const DoubleArray& a, const DoubleArray& e, const DoubleArray& inc);

}  // namespace pairtrack::python
