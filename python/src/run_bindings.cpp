// The complete run in pairtrack._core: the program's ten records and options in, the report
// text, the exit status, the frame and body tables (dicts of NumPy columns) and the
// diagnostics out. Warnings, exceptions and the result classes are the package's
// (pairtrack/_run.py).
#include <pybind11/numpy.h>

#include <limits>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "interrupt.h"
#include "pairtrack/run.h"

namespace pairtrack::python {

namespace {

using namespace pybind11::literals;

template <typename T, typename Row, typename Get>
py::array_t<T> column(const std::vector<Row>& rows, Get get) {
  py::array_t<T> out(static_cast<py::ssize_t>(rows.size()));
  T* data = out.mutable_data();
  for (std::size_t i = 0; i < rows.size(); ++i) data[i] = static_cast<T>(get(rows[i]));
  return out;
}

#define PT_COLUMN(T, name, expr) d[name] = column<T>(r, [](const R& x) { return expr; })

py::dict frame_columns(const std::vector<FrameRow>& r) {
  using R = FrameRow;
  py::dict d;
  PT_COLUMN(std::int64_t, "frame", x.frame);
  PT_COLUMN(double, "t", x.t_myr);
  PT_COLUMN(double, "proba_mean", x.proba_mean);
  PT_COLUMN(double, "proba_sigma", x.proba_sigma);
  PT_COLUMN(double, "impvel_mean", x.impvel_mean);
  PT_COLUMN(double, "impvel_sigma", x.impvel_sigma);
  PT_COLUMN(std::int64_t, "n1", x.n1);
  PT_COLUMN(std::int64_t, "n2", x.n2);
  PT_COLUMN(std::int64_t, "n_proba", x.n_proba);
  PT_COLUMN(std::int64_t, "n_impvel", x.n_impvel);
  PT_COLUMN(std::int64_t, "n_active", x.n_active);
  PT_COLUMN(std::int64_t, "n_removed", x.n_removed);
  PT_COLUMN(std::int64_t, "n_removed_total", x.n_removed_total);
  PT_COLUMN(std::int64_t, "n_classic_off", x.n_classic_off);
  PT_COLUMN(std::int64_t, "n_singular", x.n_singular);
  PT_COLUMN(std::int64_t, "n_divergent", x.n_divergent);
  PT_COLUMN(double, "proba_mean_error", x.proba_mean_error);
  PT_COLUMN(double, "v_imp_cw_mean", x.v_imp_cw_mean);
  PT_COLUMN(double, "v_imp_cw_rms", x.v_imp_cw_rms);
  PT_COLUMN(double, "v_imp_cw_sd", x.v_imp_cw_sd);
  return d;
}

py::dict body_columns(const std::vector<BodyRow>& r) {
  using R = BodyRow;
  py::dict d;
  PT_COLUMN(std::int64_t, "frame", x.frame);
  PT_COLUMN(double, "t", x.t_myr);
  PT_COLUMN(std::int64_t, "position", x.position);
  PT_COLUMN(std::int64_t, "id", x.id);
  PT_COLUMN(double, "a", x.a_au);
  PT_COLUMN(double, "e", x.e);
  PT_COLUMN(double, "inc_deg", x.inc_deg);
  PT_COLUMN(double, "q", x.q_au);
  PT_COLUMN(double, "p_mean", x.p_mean);
  PT_COLUMN(double, "p_sum", x.p_sum);
  PT_COLUMN(double, "v_imp_mean", x.v_imp_mean);
  PT_COLUMN(std::int64_t, "n_hit", x.n_hit);
  PT_COLUMN(bool, "removed", x.removed);
  PT_COLUMN(double, "draw", x.drawn ? x.draw : std::numeric_limits<double>::quiet_NaN());
  PT_COLUMN(std::int64_t, "n_classic_off", x.n_classic_off);
  PT_COLUMN(std::int64_t, "n_singular", x.n_singular);
  PT_COLUMN(std::int64_t, "n_divergent", x.n_divergent);
  PT_COLUMN(double, "p_sum_error", x.p_sum_error);
  return d;
}

py::dict speed_columns(const std::vector<SpeedHistogramRow>& r) {
  using R = SpeedHistogramRow;
  py::dict d;
  PT_COLUMN(std::int64_t, "frame", x.frame);
  PT_COLUMN(double, "t", x.t_myr);
  PT_COLUMN(std::int64_t, "position", x.position);
  PT_COLUMN(std::int64_t, "id", x.id);
  PT_COLUMN(double, "speed_min", x.speed_min_km_s);
  PT_COLUMN(double, "speed_max", x.speed_max_km_s);
  PT_COLUMN(double, "p_impact", x.p_impact);
  PT_COLUMN(double, "p_encounter", x.p_encounter);
  return d;
}

#undef PT_COLUMN

// (report, status, frame columns, body columns, [(level, text), ...], manifest, speed-histogram
// columns). The arguments have been checked by the package; file names arrive as bytes in the
// file system's encoding. Invalid speed bins (with speed_histogram) are a ValueError with the
// library's message.
py::tuple run_py(const py::bytes& catalogue, const py::bytes& history, int format, int n2_min,
                 int n2_max, double time_divisor, bool write_pairs, double q_crit, double p_crit,
                 int iseed, double v_esc, const py::bytes& pair_file, int threads, bool strict,
                 double accuracy, double min_mutual_inclination, bool speed_histogram,
                 double speed_min, double speed_max, double speed_step) {
  RunConfig config;
  config.catalogue = catalogue;
  config.history = history;
  config.format = format;
  config.n2_min = n2_min;
  config.n2_max = n2_max;
  config.time_divisor = time_divisor;
  config.write_pairs = write_pairs;
  config.q_crit = q_crit;
  config.p_crit = p_crit;
  config.iseed = iseed;
  config.v_esc = v_esc;
  config.pair_file = pair_file;
  config.threads = threads;
  config.strict = strict;
  config.accuracy = accuracy;
  config.min_mutual_inclination_deg = min_mutual_inclination;
  config.speed_histogram = speed_histogram;
  config.speed_bins = SpeedBins{speed_min, speed_max, speed_step};
  if (speed_histogram) {
    const std::string problem = speed_bins_problem(config.speed_bins);
    if (!problem.empty()) throw py::value_error("speed_bins: " + problem);
  }

  RunOutcome outcome;
  run_interruptibly([&](const std::atomic<bool>& cancel) {
    config.cancel = &cancel;
    outcome = pairtrack::run(config);
  });
  py::list diagnostics;
  for (const RunDiagnostic& d : outcome.diagnostics) {
    diagnostics.append(py::make_tuple(d.error ? "error" : "warning", d.text));
  }
  return py::make_tuple(py::str(outcome.report), outcome.status, frame_columns(outcome.frames),
                        body_columns(outcome.bodies), diagnostics, py::str(outcome.manifest),
                        speed_columns(outcome.speed_histogram));
}

}  // namespace

void register_run(py::module_& m) {
  m.def("run", &run_py, "catalogue"_a, "history"_a, "format"_a, "n2_min"_a, "n2_max"_a,
        "time_divisor"_a, "write_pairs"_a, "q_crit"_a, "p_crit"_a, "iseed"_a, "v_esc"_a,
        "pair_file"_a, "threads"_a, "strict"_a, "accuracy"_a, "min_mutual_inclination"_a,
        "speed_histogram"_a, "speed_min"_a, "speed_max"_a, "speed_step"_a,
        "The complete run on checked arguments: (report, status, frames, bodies, diagnostics, "
        "manifest JSON, speed-histogram columns).");
}

}  // namespace pairtrack::python
