// Boundary conversions of the Python module (see arrays.h).
#include "arrays.h"

#include <cmath>
#include <cstring>

namespace pairtrack::python {

using namespace pybind11::literals;

DoubleArray to_double_array(const py::handle& value, const char* name) {
  py::module_ numpy = py::module_::import("numpy");
  py::array raw = numpy.attr("asarray")(value);
  const char kind = raw.dtype().kind();
  if (kind != 'f' && kind != 'i' && kind != 'u') {
    throw py::type_error(std::string(name) + " must hold real numbers (int or float), not " +
                         std::string(py::str(raw.dtype())));
  }
  if (raw.dtype().kind() == 'f' && raw.dtype().itemsize() > 8) {
    // long double: converting would round silently; say so rather than guess.
    throw py::type_error(std::string(name) + " must be float64 or narrower, not " +
                         std::string(py::str(raw.dtype())));
  }
  return DoubleArray::ensure(numpy.attr("asarray")(raw, "dtype"_a = "float64", "order"_a = "C"));
}

void require_finite(const DoubleArray& values, const char* name) {
  const double* p = values.data();
  for (py::ssize_t k = 0; k < values.size(); ++k) {
    if (!std::isfinite(p[k])) {
      throw py::value_error(std::string(name) + " holds a value that is not finite");
    }
  }
}

void require_orbits(const double* a, const double* e, const double* inc, py::ssize_t n,
                    const char* which) {
  for (py::ssize_t k = 0; k < n; ++k) {
    std::string problem;
    if (!std::isfinite(a[k]) || !(a[k] > 0.0)) {
      problem = "semimajor axis " + std::to_string(a[k]) + " AU is not positive and finite";
    } else if (!std::isfinite(e[k]) || e[k] < 0.0 || e[k] >= 1.0) {
      problem = "eccentricity " + std::to_string(e[k]) + " is outside 0 <= e < 1";
    } else if (!std::isfinite(inc[k])) {
      problem = "inclination is not finite";
    }
    if (!problem.empty()) {
      throw py::value_error(std::string(which) + ", orbit " + std::to_string(k) + ": " + problem);
    }
  }
}

int thread_count(const py::object& threads) {
  if (threads.is_none()) return 0;
  if (!py::isinstance<py::int_>(threads) || py::isinstance<py::bool_>(threads)) {
    throw py::type_error("threads must be None or an int >= 1");
  }
  const long long n = threads.cast<long long>();
  if (n < 1 || n > 4096) throw py::value_error("threads must be None or an int from 1 to 4096");
  return static_cast<int>(n);
}

double escape_velocity(const py::object& v_esc) {
  if (py::isinstance<py::bool_>(v_esc)) throw py::type_error("v_esc must be a real number (km/s)");
  double v = 0.0;
  try {
    v = py::float_(v_esc).cast<double>();
  } catch (const py::error_already_set&) {
    throw py::type_error("v_esc must be a real number (km/s)");
  }
  if (!std::isfinite(v) || v < 0.0) {
    throw py::value_error("v_esc must be finite and >= 0 (km/s)");
  }
  return v;
}

std::string file_name(const py::object& path) {
  py::module_ os = py::module_::import("os");
  py::bytes encoded = os.attr("fsencode")(path);  // TypeError for anything else
  std::string name = encoded;
  if (name.find('\0') != std::string::npos) {
    throw py::value_error("file name holds a NUL character");
  }
  return name;
}

py::array_t<double> copy_to_array(const double* data, py::ssize_t n) {
  py::array_t<double> out(n);
  if (n > 0) std::memcpy(out.mutable_data(), data, static_cast<std::size_t>(n) * sizeof(double));
  return out;
}

KernelOptions kernel_options(double v_esc, bool degrees, int threads, double accuracy,
                             double min_mutual_inclination) {
  KernelOptions o;
  o.v_esc_km_s = v_esc;
  o.angle_unit = degrees ? AngleUnit::degrees : AngleUnit::radians;
  o.threads = threads;
  o.accuracy = accuracy;
  o.min_mutual_inclination_deg = min_mutual_inclination;
  return o;
}

OrbitArrays orbit_view(const DoubleArray& a, const DoubleArray& e, const DoubleArray& inc) {
  return OrbitArrays{a.data(), e.data(), inc.data(), static_cast<std::size_t>(a.size())};
}

}  // namespace pairtrack::python
