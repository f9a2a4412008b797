// The speed-distribution calls of pairtrack._core: contiguous float64 element arrays in (the
// package has checked, broadcast and converted them), the library's binning kernel on a worker
// thread that Ctrl-C can stop, NumPy arrays that own their memory out. The result class lives in
// the package (pairtrack/_speeds.py).
#include <stdexcept>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "interrupt.h"
#include "pairtrack/speeds.h"

namespace pairtrack::python {

namespace {

using namespace pybind11::literals;

// The bins from (min, max, step) km/s; ValueError saying what is wrong with them.
SpeedBins speed_bins(double min_km_s, double max_km_s, double step_km_s) {
  const SpeedBins bins{min_km_s, max_km_s, step_km_s};
  const std::string problem = speed_bins_problem(bins);
  if (!problem.empty()) throw py::value_error("bins: " + problem);
  return bins;
}

// (impact, encounter, p_coll, p_coll_error, lower, upper, no_case): the two distributions of
// shape shape + (n + 2,), p_coll and its error estimate (accurate mode) of `shape`, the stored
// values' lower and upper speeds (n + 2 each).
template <typename Compute>
py::tuple distributions(std::vector<py::ssize_t> shape, const SpeedBins& bins, Compute compute) {
  py::ssize_t pairs = 1;
  for (const py::ssize_t n : shape) pairs *= n;
  py::array_t<double> p_coll(shape), p_coll_error(shape);
  const auto values = static_cast<py::ssize_t>(bins.values());
  shape.push_back(values);
  py::array_t<double> impact(shape), encounter(shape);
  py::array_t<double> lower(values), upper(values);
  for (py::ssize_t k = 0; k < values; ++k) {
    lower.mutable_data()[k] = bins.lower_km_s(static_cast<std::size_t>(k));
    upper.mutable_data()[k] = bins.upper_km_s(static_cast<std::size_t>(k));
  }
  SpeedDistributionArrays out;
  out.impact = impact.mutable_data();
  out.encounter = encounter.mutable_data();
  out.pairs.p_coll = p_coll.mutable_data();
  out.pairs.p_coll_error = p_coll_error.mutable_data();
  std::int64_t no_case = 0;
  // Below some 10^4 pairs (a few ms) a worker thread's start would cost more than the work.
  run_interruptibly([&](const std::atomic<bool>& cancel) { no_case = compute(out, cancel); },
                    pairs >= 16384);
  return py::make_tuple(impact, encounter, p_coll, p_coll_error, lower, upper, no_case);
}

void require_columns(const std::vector<const DoubleArray*>& arrays) {
  for (const DoubleArray* x : arrays) {
    if (x->ndim() != 1 || x->size() != arrays[0]->size()) {
      throw py::value_error("internal: the element arrays must be 1-D and of one length");
    }
  }
}

py::tuple speed_distribution_py(const DoubleArray& a1, const DoubleArray& e1, const DoubleArray& i1,
                                const DoubleArray& a2, const DoubleArray& e2, const DoubleArray& i2,
                                double v_esc, bool degrees, int threads, double accuracy,
                                double min_mutual_inclination, double bin_min, double bin_max,
                                double bin_step, bool matrix) {
  const SpeedBins bins = speed_bins(bin_min, bin_max, bin_step);
  if (matrix) {
    require_columns({&a1, &e1, &i1});
    require_columns({&a2, &e2, &i2});
  } else {
    require_columns({&a1, &e1, &i1, &a2, &e2, &i2});
  }
  KernelOptions opts = kernel_options(v_esc, degrees, threads, accuracy, min_mutual_inclination);
  const OrbitArrays o1 = orbit_view(a1, e1, i1), o2 = orbit_view(a2, e2, i2);
  std::vector<py::ssize_t> shape{a1.size()};
  if (matrix) shape.push_back(a2.size());
  return distributions(shape, bins,
                       [&](const SpeedDistributionArrays& out, const std::atomic<bool>& cancel) {
                         opts.cancel = &cancel;
                         return matrix ? speed_distribution_matrix(o1, o2, bins, out, opts)
                                       : speed_distribution_pairs(o1, o2, bins, out, opts);
                       });
}

}  // namespace

void register_speeds(py::module_& m) {
  m.def(
      "parse_speed_bins",
      [](const std::string& text) {
        try {
          const SpeedBins bins = parse_speed_bins(text);
          return py::make_tuple(bins.min_km_s, bins.max_km_s, bins.step_km_s);
        } catch (const std::invalid_argument& e) {
          throw py::value_error(std::string("speed_bins: ") + e.what());
        }
      },
      "text"_a, "(min, max, step) km/s from 'MIN:MAX:STEP', checked; ValueError otherwise.");
  m.def("speed_distribution", &speed_distribution_py, "a1"_a, "e1"_a, "i1"_a, "a2"_a, "e2"_a,
        "i2"_a, "v_esc"_a, "degrees"_a, "threads"_a, "accuracy"_a, "min_mutual_inclination"_a,
        "bin_min"_a, "bin_max"_a, "bin_step"_a, "matrix"_a,
        "Collision-weighted impact- and encounter-speed distributions of pairs element by "
        "element (matrix=False) or of every pair of two populations (matrix=True), over 1-D "
        "float64 columns; returns (impact, encounter, p_coll, p_coll_error, lower, upper, "
        "no_case).");
}

}  // namespace pairtrack::python
