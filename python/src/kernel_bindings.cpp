// The kernel calls of pairtrack._core: contiguous float64 arrays in (the package has checked,
// broadcast and converted them), the library's kernel with the GIL released, NumPy arrays out.
// The result classes live in the package (pairtrack/_kernel.py): nothing here hands Python an
// object whose lifetime it could get wrong.
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "interrupt.h"
#include "pairtrack/kernel.h"
#include "pairtrack/statistics.h"

namespace pairtrack::python {

namespace {

using namespace pybind11::literals;

// The outputs of `shape` and the no-case count, as (p_coll, v_rel_mean, v_rel_rms,
// v_imp_mean, p_coll_error, flags, no_case); flags: PairFlags bits (uint8).
template <typename Compute>
py::tuple evaluate(const std::vector<py::ssize_t>& shape, Compute compute) {
  py::array_t<double> out[5] = {py::array_t<double>(shape), py::array_t<double>(shape),
                                py::array_t<double>(shape), py::array_t<double>(shape),
                                py::array_t<double>(shape)};
  py::array_t<std::uint8_t> flags(shape);
  const PairResultArrays r{out[0].mutable_data(), out[1].mutable_data(), out[2].mutable_data(),
                           out[3].mutable_data(), out[4].mutable_data(), flags.mutable_data()};
  std::int64_t no_case = 0;
  py::ssize_t pairs = 1;
  for (const py::ssize_t n : shape) pairs *= n;
  // Below some 10^4 pairs (a few ms) a worker thread's start would cost more than the work.
  run_interruptibly([&](const std::atomic<bool>& cancel) { no_case = compute(r, cancel); },
                    pairs >= 16384);
  return py::make_tuple(out[0], out[1], out[2], out[3], out[4], flags, no_case);
}

void require_same_size(const std::vector<const DoubleArray*>& arrays) {
  for (const DoubleArray* x : arrays) {
    if (x->ndim() != 1 || x->size() != arrays[0]->size()) {
      throw py::value_error("internal: the element arrays must be 1-D and of one length");
    }
  }
}

py::tuple collision_pairs_py(const DoubleArray& a1, const DoubleArray& e1, const DoubleArray& i1,
                             const DoubleArray& a2, const DoubleArray& e2, const DoubleArray& i2,
                             double v_esc, bool degrees, int threads, double accuracy,
                             double min_mutual_inclination) {
  require_same_size({&a1, &e1, &i1, &a2, &e2, &i2});
  KernelOptions opts = kernel_options(v_esc, degrees, threads, accuracy, min_mutual_inclination);
  const OrbitArrays o1 = orbit_view(a1, e1, i1), o2 = orbit_view(a2, e2, i2);
  return evaluate({a1.size()}, [&](const PairResultArrays& r, const std::atomic<bool>& cancel) {
    opts.cancel = &cancel;
    return collision_pairs(o1, o2, r, opts);
  });
}

py::tuple collision_pair_matrix_py(const DoubleArray& a1, const DoubleArray& e1,
                                   const DoubleArray& i1, const DoubleArray& a2,
                                   const DoubleArray& e2, const DoubleArray& i2, double v_esc,
                                   bool degrees, int threads, double accuracy,
                                   double min_mutual_inclination) {
  require_same_size({&a1, &e1, &i1});
  require_same_size({&a2, &e2, &i2});
  KernelOptions opts = kernel_options(v_esc, degrees, threads, accuracy, min_mutual_inclination);
  const OrbitArrays o1 = orbit_view(a1, e1, i1), o2 = orbit_view(a2, e2, i2);
  return evaluate({a1.size(), a2.size()},
                  [&](const PairResultArrays& r, const std::atomic<bool>& cancel) {
                    opts.cancel = &cancel;
                    return collision_pair_matrix(o1, o2, r, opts);
                  });
}

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

  m.def("as_reals", &to_double_array, "value"_a, "name"_a,
        "value as a C-contiguous float64 array; TypeError naming `name` for what is not real.");
  m.def("thread_count", &thread_count, "threads"_a, "threads=None -> 0 (all cores), else n >= 1.");
  m.def("escape_velocity", &escape_velocity, "v_esc"_a, "v_esc in km/s, finite and >= 0.");
  m.def("collision_pairs", &collision_pairs_py, "a1"_a, "e1"_a, "i1"_a, "a2"_a, "e2"_a, "i2"_a,
        "v_esc"_a, "degrees"_a, "threads"_a, "accuracy"_a, "min_mutual_inclination"_a,
        "Pairs element by element over six 1-D float64 arrays of one length; returns "
        "(p_coll, v_rel_mean, v_rel_rms, v_imp_mean, p_coll_error, flags, no_case).");
  m.def("collision_pair_matrix", &collision_pair_matrix_py, "a1"_a, "e1"_a, "i1"_a, "a2"_a, "e2"_a,
        "i2"_a, "v_esc"_a, "degrees"_a, "threads"_a, "accuracy"_a, "min_mutual_inclination"_a,
        "Every pair of two populations (1-D float64 columns); outputs of shape (n1, n2).");

  m.def("mean_deviation", &mean_deviation, "values"_a,
        R"(Mean and sample standard deviation (divisor n - 1) of a 1-D array, as the report's
    frame line computes them for p_coll: sums in long double in index order, rounded once.
    Returns (mean, sigma) in the unit of the values; (0.0, 0.0) for no values.)");
  m.def("weighted_mean_deviation", &weighted_mean_deviation_py, "values"_a, "weights"_a,
        R"(Weighted mean and standard deviation of a 1-D array, as the report's frame line
    computes the impact speed (values, km/s) weighted by p_coll (weights): sums in long
    double, divisor the total weight; (0.0, 0.0) when the total weight is below 1e-8.
    Returns (mean, sigma).)");
}

}  // namespace pairtrack::python
