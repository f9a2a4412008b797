// collision_probability and pair_matrix: NumPy arrays in, the library's kernel calls with the
// GIL released, NumPy arrays out.
#include <array>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "pairtrack/kernel.h"
#include "pairtrack/statistics.h"

namespace pairtrack::python {

namespace {

using namespace pybind11::literals;

// The four outputs as NumPy arrays (or floats for scalar inputs) and the count of pairs that
// fit no overlap case.
struct PyPairResult {
  py::object p_coll, v_rel_mean, v_rel_rms, v_imp_mean;
  std::int64_t no_case = 0;

  py::tuple as_tuple() const { return py::make_tuple(p_coll, v_rel_mean, v_rel_rms, v_imp_mean); }
};

struct Columns {
  DoubleArray a, e, inc;
  OrbitArrays view() const {
    return OrbitArrays{a.data(), e.data(), inc.data(), static_cast<std::size_t>(a.size())};
  }
};

// Orbits for pair_matrix: an (n, 3) array-like of rows (a, e, inc), or an object with 1-D
// attributes a, e and inc of one length (a Catalogue, a Frame).
Columns orbit_columns(const py::object& orbits, const char* name) {
  const std::string n(name);
  Columns c;
  if (py::hasattr(orbits, "a") && py::hasattr(orbits, "e") && py::hasattr(orbits, "inc")) {
    c.a = to_double_array(orbits.attr("a"), (n + ".a").c_str());
    c.e = to_double_array(orbits.attr("e"), (n + ".e").c_str());
    c.inc = to_double_array(orbits.attr("inc"), (n + ".inc").c_str());
    if (c.a.ndim() != 1 || c.e.ndim() != 1 || c.inc.ndim() != 1 || c.a.size() != c.e.size() ||
        c.a.size() != c.inc.size()) {
      throw py::value_error(n + ": the attributes a, e and inc must be 1-D arrays of one length");
    }
    return c;
  }
  DoubleArray rows = to_double_array(orbits, name);
  if (rows.ndim() != 2 || rows.shape(1) != 3) {
    std::string shape = py::str(rows.attr("shape"));
    throw py::value_error(n + " must have shape (n, 3), rows of (a, e, i); got shape " + shape +
                          " (one orbit: reshape it to (1, 3))");
  }
  const py::ssize_t count = rows.shape(0);
  std::array<DoubleArray*, 3> columns = {&c.a, &c.e, &c.inc};
  for (py::ssize_t j = 0; j < 3; ++j) {
    DoubleArray column(count);
    double* out = column.mutable_data();
    for (py::ssize_t k = 0; k < count; ++k) out[k] = rows.at(k, j);
    *columns[static_cast<std::size_t>(j)] = column;
  }
  return c;
}

KernelOptions options(const py::object& v_esc, bool degrees, const py::object& threads) {
  KernelOptions o;
  o.v_esc_km_s = escape_velocity(v_esc);
  o.angle_unit = degrees ? AngleUnit::degrees : AngleUnit::radians;
  o.threads = thread_count(threads);
  return o;
}

PyPairResult collision_probability(const py::object& a1, const py::object& e1,
                                   const py::object& i1, const py::object& a2,
                                   const py::object& e2, const py::object& i2,
                                   const py::object& v_esc, bool degrees,
                                   const py::object& threads) {
  const KernelOptions opts = options(v_esc, degrees, threads);
  const char* names[6] = {"a1", "e1", "i1", "a2", "e2", "i2"};
  const py::object inputs[6] = {a1, e1, i1, a2, e2, i2};
  py::list arrays;
  for (int k = 0; k < 6; ++k) arrays.append(to_double_array(inputs[k], names[k]));
  py::module_ numpy = py::module_::import("numpy");
  py::list broadcast = numpy.attr("broadcast_arrays")(*arrays);
  std::vector<DoubleArray> x;
  for (int k = 0; k < 6; ++k) {
    x.push_back(DoubleArray::ensure(numpy.attr("asarray")(broadcast[k], "order"_a = "C")));
  }
  const py::ssize_t n = x[0].size();
  require_orbits(x[0].data(), x[1].data(), x[2].data(), n, "orbit 1");
  require_orbits(x[3].data(), x[4].data(), x[5].data(), n, "orbit 2");

  std::vector<py::ssize_t> shape(x[0].shape(), x[0].shape() + x[0].ndim());
  py::array_t<double> out[4] = {py::array_t<double>(shape), py::array_t<double>(shape),
                                py::array_t<double>(shape), py::array_t<double>(shape)};
  const OrbitArrays o1{x[0].data(), x[1].data(), x[2].data(), static_cast<std::size_t>(n)};
  const OrbitArrays o2{x[3].data(), x[4].data(), x[5].data(), static_cast<std::size_t>(n)};
  const PairResultArrays r{out[0].mutable_data(), out[1].mutable_data(), out[2].mutable_data(),
                           out[3].mutable_data()};
  PyPairResult result;
  {
    py::gil_scoped_release unlocked;
    result.no_case = collision_pairs(o1, o2, r, opts);
  }
  py::object* fields[4] = {&result.p_coll, &result.v_rel_mean, &result.v_rel_rms,
                           &result.v_imp_mean};
  for (int k = 0; k < 4; ++k) {
    // Scalars in, floats out, as NumPy's own functions do.
    *fields[k] = shape.empty() ? py::object(py::float_(*out[k].data())) : py::object(out[k]);
  }
  return result;
}

PyPairResult pair_matrix(const py::object& orbits1, const py::object& orbits2,
                         const py::object& v_esc, bool degrees, const py::object& threads) {
  const KernelOptions opts = options(v_esc, degrees, threads);
  const Columns c1 = orbit_columns(orbits1, "orbits1");
  const Columns c2 = orbit_columns(orbits2, "orbits2");
  require_orbits(c1.a.data(), c1.e.data(), c1.inc.data(), c1.a.size(), "orbits1");
  require_orbits(c2.a.data(), c2.e.data(), c2.inc.data(), c2.a.size(), "orbits2");
  const std::vector<py::ssize_t> shape = {c1.a.size(), c2.a.size()};
  py::array_t<double> out[4] = {py::array_t<double>(shape), py::array_t<double>(shape),
                                py::array_t<double>(shape), py::array_t<double>(shape)};
  const PairResultArrays r{out[0].mutable_data(), out[1].mutable_data(), out[2].mutable_data(),
                           out[3].mutable_data()};
  const OrbitArrays o1 = c1.view();
  const OrbitArrays o2 = c2.view();
  PyPairResult result;
  {
    py::gil_scoped_release unlocked;
    result.no_case = collision_pair_matrix(o1, o2, r, opts);
  }
  result.p_coll = out[0];
  result.v_rel_mean = out[1];
  result.v_rel_rms = out[2];
  result.v_imp_mean = out[3];
  return result;
}

constexpr const char* kUnits = R"(
    Units: a in AU; i in degrees (degrees=True, the catalogue's unit) or radians
    (degrees=False, the history file's unit); v_esc in km/s.

    The result (PairResult) holds four arrays of the output shape:
      p_coll      intrinsic collision probability, 1e-18 km^-2 yr^-1 (two bodies whose radii
                  add up to R km collide p_coll * 1e-18 * R**2 times per year; with v_esc > 0
                  gravitational focusing is included);
      v_rel_mean  probability-weighted mean encounter speed, km/s;
      v_rel_rms   probability-weighted rms encounter speed, km/s;
      v_imp_mean  probability-weighted mean impact speed sqrt(U**2 + v_esc**2), km/s;
    and no_case, the number of pairs whose distance ranges coincide only up to rounding (the
    program prints "The line did not make any of the checks" for each; they get zeros).
    Pairs that cannot meet (disjoint distance ranges) get zeros too. It unpacks like a tuple:
    p, v_mean, v_rms, v_imp = result.

    The values are bit for bit those of the program pairtrack (10 x 10 Gauss-Legendre nodes).
    The GIL is released during the computation; threads=None uses all cores (OpenMP,
    OMP_NUM_THREADS honoured), threads=n uses n. Results never depend on the thread count.

    Raises ValueError for an orbit that is not bound (a <= 0, e < 0, e >= 1) or not finite,
    for shapes that do not fit, for v_esc < 0 and threads < 1; TypeError for arrays that do not
    hold real numbers.)";

DoubleArray one_dimensional(const py::object& values, const char* name) {
  DoubleArray x = to_double_array(values, name);
  if (x.ndim() != 1) throw py::value_error(std::string(name) + " must be a 1-D array");
  return x;
}

py::tuple mean_deviation(const py::object& values) {
  const DoubleArray x = one_dimensional(values, "values");
  MeanAndDeviation r;
  {
    py::gil_scoped_release unlocked;
    r = sample_mean_deviation(x.data(), static_cast<std::size_t>(x.size()));
  }
  return py::make_tuple(r.mean, r.sigma);
}

py::tuple weighted_mean_deviation_py(const py::object& values, const py::object& weights) {
  const DoubleArray x = one_dimensional(values, "values");
  const DoubleArray w = one_dimensional(weights, "weights");
  if (x.size() != w.size()) throw py::value_error("values and weights differ in length");
  MeanAndDeviation r;
  {
    py::gil_scoped_release unlocked;
    r = weighted_mean_deviation(x.data(), w.data(), static_cast<std::size_t>(x.size()));
  }
  return py::make_tuple(r.mean, r.sigma);
}

}  // namespace

void register_kernel(py::module_& m) {
  m.attr("CM_PER_AU") = kCentimetresPerAu;
  m.attr("RADIANS_PER_DEGREE") = kRadiansPerDegree;

  m.def("mean_deviation", &mean_deviation, "values"_a,
        R"(Mean and sample standard deviation (divisor n - 1) of a 1-D array, as the report's
    frame line computes them for p_coll: sums in long double in index order, rounded once.
    Returns (mean, sigma) in the unit of the values; (0.0, 0.0) for no values.)");
  m.def("weighted_mean_deviation", &weighted_mean_deviation_py, "values"_a, "weights"_a,
        R"(Weighted mean and standard deviation of a 1-D array, as the report's frame line
    computes the impact speed (values, km/s) weighted by p_coll (weights): sums in long
    double, divisor the total weight; (0.0, 0.0) when the total weight is below 1e-8.
    Returns (mean, sigma).)");

  py::class_<PyPairResult>(m, "PairResult",
                           "The four outputs of a kernel call (see collision_probability).")
      .def_readonly("p_coll", &PyPairResult::p_coll,
                    "Intrinsic collision probability, 1e-18 km^-2 yr^-1.")
      .def_readonly("v_rel_mean", &PyPairResult::v_rel_mean,
                    "Probability-weighted mean encounter speed, km/s.")
      .def_readonly("v_rel_rms", &PyPairResult::v_rel_rms,
                    "Probability-weighted rms encounter speed, km/s.")
      .def_readonly("v_imp_mean", &PyPairResult::v_imp_mean,
                    "Probability-weighted mean impact speed, km/s.")
      .def_readonly("no_case", &PyPairResult::no_case,
                    "Pairs that fit no overlap case (their outputs are 0).")
      .def("__iter__", [](const PyPairResult& r) { return r.as_tuple().attr("__iter__")(); })
      .def("__len__", [](const PyPairResult&) { return 4; })
      .def("__getitem__", [](const PyPairResult& r, py::object i) { return r.as_tuple()[i]; })
      .def("__repr__", [](const PyPairResult& r) {
        return "PairResult(p_coll=" + std::string(py::repr(r.p_coll)) +
               ", v_rel_mean=" + std::string(py::repr(r.v_rel_mean)) +
               ", v_rel_rms=" + std::string(py::repr(r.v_rel_rms)) +
               ", v_imp_mean=" + std::string(py::repr(r.v_imp_mean)) +
               ", no_case=" + std::to_string(r.no_case) + ")";
      });

  m.def("collision_probability", &collision_probability, "a1"_a, "e1"_a, "i1"_a, "a2"_a, "e2"_a,
        "i2"_a, py::kw_only(), "v_esc"_a = 0.0, "degrees"_a = true, "threads"_a = py::none(),
        (std::string(R"(Collision probability and speeds of orbit pairs, element by element.

    collision_probability(a1, e1, i1, a2, e2, i2, *, v_esc=0.0, degrees=True, threads=None)

    Pair k is orbit (a1[k], e1[k], i1[k]) against orbit (a2[k], e2[k], i2[k]). The six
    arguments are array-likes (or numbers) broadcast against each other as NumPy does; the
    outputs have the broadcast shape (floats when every input is a number).
    )") + kUnits)
            .c_str());

  m.def("pair_matrix", &pair_matrix, "orbits1"_a, "orbits2"_a, py::kw_only(), "v_esc"_a = 0.0,
        "degrees"_a = true, "threads"_a = py::none(),
        (std::string(R"(Collision probability and speeds of every pair of two populations.

    pair_matrix(orbits1, orbits2, *, v_esc=0.0, degrees=True, threads=None)

    orbits1 and orbits2 are each either an (n, 3) array-like whose rows are (a, e, i), or an
    object with 1-D attributes a, e and inc of one length, such as the Catalogue returned by
    read_catalogue (inclinations in degrees) or a Frame of a HistoryFile (inclinations in
    radians: pass degrees=False). Element [i, j] of each output (shape (n1, n2)) is the pair
    (orbits1[i], orbits2[j]). Empty populations give empty arrays.
    )") + kUnits)
            .c_str());
}

}  // namespace pairtrack::python
