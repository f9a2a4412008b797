// The complete run from Python: run() with the program's ten records as arguments, returning
// the report text, the frame and body tables as NumPy arrays and the exit status; the program's
// warnings become Python warnings (pairtrack.PairtrackWarning), its error ends exceptions.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <limits>

#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "pairtrack/run.h"

namespace pairtrack::python {

namespace {

namespace py = pybind11;
using namespace pybind11::literals;

template <typename T, typename Row, typename Get>
py::array_t<T> column(const std::vector<Row>& rows, Get get) {
  py::array_t<T> out(static_cast<py::ssize_t>(rows.size()));
  T* data = out.mutable_data();
  for (std::size_t i = 0; i < rows.size(); ++i) data[i] = static_cast<T>(get(rows[i]));
  return out;
}

struct PyFrameTable {
  py::array_t<std::int64_t> frame;
  py::array_t<double> t, proba_mean, proba_sigma, impvel_mean, impvel_sigma;
  py::array_t<std::int64_t> n1, n2, n_proba, n_impvel, n_active, n_removed, n_removed_total;
};

struct PyBodyTable {
  py::array_t<std::int64_t> frame;
  py::array_t<double> t;
  py::array_t<std::int64_t> position, id;
  py::array_t<double> a, e, inc_deg, q, p_mean, p_sum, v_imp_mean;
  py::array_t<std::int64_t> n_hit;
  py::array_t<bool> removed;
  py::array_t<double> draw;
};

struct PyRunResult {
  std::string report;
  int status = 0;
  PyFrameTable frames;
  PyBodyTable bodies;
  std::vector<std::pair<std::string, std::string>> diagnostics;
};

PyFrameTable frame_table(const std::vector<FrameRow>& r) {
  using R = FrameRow;
  return {column<std::int64_t>(r, [](const R& x) { return x.frame; }),
          column<double>(r, [](const R& x) { return x.t_myr; }),
          column<double>(r, [](const R& x) { return x.proba_mean; }),
          column<double>(r, [](const R& x) { return x.proba_sigma; }),
          column<double>(r, [](const R& x) { return x.impvel_mean; }),
          column<double>(r, [](const R& x) { return x.impvel_sigma; }),
          column<std::int64_t>(r, [](const R& x) { return x.n1; }),
          column<std::int64_t>(r, [](const R& x) { return x.n2; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_proba; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_impvel; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_active; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_removed; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_removed_total; })};
}

PyBodyTable body_table(const std::vector<BodyRow>& r) {
  using R = BodyRow;
  return {column<std::int64_t>(r, [](const R& x) { return x.frame; }),
          column<double>(r, [](const R& x) { return x.t_myr; }),
          column<std::int64_t>(r, [](const R& x) { return x.position; }),
          column<std::int64_t>(r, [](const R& x) { return x.id; }),
          column<double>(r, [](const R& x) { return x.a_au; }),
          column<double>(r, [](const R& x) { return x.e; }),
          column<double>(r, [](const R& x) { return x.inc_deg; }),
          column<double>(r, [](const R& x) { return x.q_au; }),
          column<double>(r, [](const R& x) { return x.p_mean; }),
          column<double>(r, [](const R& x) { return x.p_sum; }),
          column<double>(r, [](const R& x) { return x.v_imp_mean; }),
          column<std::int64_t>(r, [](const R& x) { return x.n_hit; }),
          column<bool>(r, [](const R& x) { return x.removed; }),
          column<double>(r, [](const R& x) {
            return x.drawn ? x.draw : std::numeric_limits<double>::quiet_NaN();
          })};
}

PyObject*& pairtrack_warning() {
  static PyObject* type = nullptr;
  return type;
}

std::string path_text(const py::object& path) {
  return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

// The exception of an error end: OSError for files that cannot be opened, read or written,
// ValueError otherwise; its text is the program's message and the reason, and its attribute
// `result` holds the RunResult (the partial report, the tables of the frames done).
[[noreturn]] void raise_error(const RunOutcome& outcome, const PyRunResult& result) {
  std::string message;
  const std::size_t end = outcome.report.find_last_not_of('\n');
  if (end != std::string::npos) {
    const std::size_t start = outcome.report.rfind('\n', end);
    message = outcome.report.substr(start == std::string::npos ? 0 : start + 1,
                                    end - (start == std::string::npos ? 0 : start + 1) + 1);
    message.erase(0, message.find_first_not_of(' '));
    message.erase(message.find_last_not_of(' ') + 1);
  }
  for (const RunDiagnostic& d : outcome.diagnostics) {
    if (d.error) message += (message.empty() ? "" : ": ") + d.text;
  }
  const bool file_error = message.find("Error reading file") != std::string::npos ||
                          message.find("Error opening file") != std::string::npos ||
                          message.find("Error writing file") != std::string::npos;
  PyObject* type = file_error ? PyExc_OSError : PyExc_ValueError;
  py::object exception = py::reinterpret_steal<py::object>(
      PyObject_CallFunction(type, "s", message.c_str()));
  if (!exception) throw py::error_already_set();
  exception.attr("result") = py::cast(result);
  PyErr_SetObject(type, exception.ptr());
  throw py::error_already_set();
}

py::object run_py(const py::object& catalogue, const py::object& history, int format, int n2_min,
                  int n2_max, double time_divisor, bool write_pairs, double q_crit, double p_crit,
                  int iseed, double v_esc, const py::object& pair_file,
                  std::optional<int> threads, bool strict) {
  RunConfig config;
  config.catalogue = path_text(catalogue);
  config.history = path_text(history);
  config.format = format;
  config.n2_min = n2_min;
  config.n2_max = n2_max;
  config.time_divisor = time_divisor;
  config.write_pairs = write_pairs;
  config.q_crit = q_crit;
  config.p_crit = p_crit;
  config.iseed = iseed;
  config.v_esc = v_esc;
  config.pair_file = path_text(pair_file);
  if (threads && *threads < 1) throw py::value_error("threads must be at least 1 (or None)");
  config.threads = threads.value_or(0);
  config.strict = strict;

  RunOutcome outcome;
  {
    py::gil_scoped_release unlocked;
    outcome = pairtrack::run(config);
  }
  PyRunResult result{outcome.report, outcome.status, frame_table(outcome.frames),
                     body_table(outcome.bodies), {}};
  for (const RunDiagnostic& d : outcome.diagnostics) {
    result.diagnostics.emplace_back(d.error ? "error" : "warning", d.text);
    if (!d.error && PyErr_WarnEx(pairtrack_warning(), d.text.c_str(), 1) != 0) {
      throw py::error_already_set();  // warnings turned into errors by the caller's filter
    }
  }
  if (outcome.status != 0) raise_error(outcome, result);
  return py::cast(result);
}

}  // namespace

void register_run(py::module_& m) {
  pairtrack_warning() = PyErr_NewExceptionWithDoc(
      "pairtrack.PairtrackWarning",
      "Input that is probably a mistake (the program's warnings on standard error): a seed that "
      "is not negative, a catalogue whose reading stopped early, unphysical elements, a history "
      "file read with the wrong encoding or cut inside a frame, ...",
      PyExc_UserWarning, nullptr);
  if (pairtrack_warning() == nullptr) throw py::error_already_set();
  m.attr("PairtrackWarning") = py::handle(pairtrack_warning());

  py::class_<PyFrameTable>(m, "FrameTable",
                           R"(One entry per frame (the columns of pairtrack --frames), NumPy arrays.

    frame (1-based); t (Myr); proba_mean, proba_sigma (1e-18 km^-2 yr^-1); impvel_mean,
    impvel_sigma (km/s, probability-weighted); n1, n2, n_proba, n_impvel as in the frame line;
    n_active (bodies swept), n_removed (removed after this frame's draws), n_removed_total.
    The report's columns have the names read_report gives them.)")
      .def_readonly("frame", &PyFrameTable::frame)
      .def_readonly("t", &PyFrameTable::t)
      .def_readonly("proba_mean", &PyFrameTable::proba_mean)
      .def_readonly("proba_sigma", &PyFrameTable::proba_sigma)
      .def_readonly("impvel_mean", &PyFrameTable::impvel_mean)
      .def_readonly("impvel_sigma", &PyFrameTable::impvel_sigma)
      .def_readonly("n1", &PyFrameTable::n1)
      .def_readonly("n2", &PyFrameTable::n2)
      .def_readonly("n_proba", &PyFrameTable::n_proba)
      .def_readonly("n_impvel", &PyFrameTable::n_impvel)
      .def_readonly("n_active", &PyFrameTable::n_active)
      .def_readonly("n_removed", &PyFrameTable::n_removed)
      .def_readonly("n_removed_total", &PyFrameTable::n_removed_total)
      .def("__len__", [](const PyFrameTable& t) { return t.frame.size(); });

  py::class_<PyBodyTable>(m, "BodyTable",
                          R"(One entry per swept body per frame (the columns of pairtrack --bodies).

    frame, t (Myr), position (1-based, in the frame), id; a (AU), e, inc_deg (degrees), q (the
    perihelion a (1 - e), AU); p_mean and p_sum: the body's mean and summed intrinsic
    collision probability against the catalogue (1e-18 km^-2 yr^-1); v_imp_mean: its
    probability-weighted mean impact speed (km/s); n_hit: catalogue orbits it can hit (impact
    speed above 1e-8 km/s); removed (bool): removed after this frame's draw; draw: the number
    drawn (NaN when its perihelion was not below q_crit).)")
      .def_readonly("frame", &PyBodyTable::frame)
      .def_readonly("t", &PyBodyTable::t)
      .def_readonly("position", &PyBodyTable::position)
      .def_readonly("id", &PyBodyTable::id)
      .def_readonly("a", &PyBodyTable::a)
      .def_readonly("e", &PyBodyTable::e)
      .def_readonly("inc_deg", &PyBodyTable::inc_deg)
      .def_readonly("q", &PyBodyTable::q)
      .def_readonly("p_mean", &PyBodyTable::p_mean)
      .def_readonly("p_sum", &PyBodyTable::p_sum)
      .def_readonly("v_imp_mean", &PyBodyTable::v_imp_mean)
      .def_readonly("n_hit", &PyBodyTable::n_hit)
      .def_readonly("removed", &PyBodyTable::removed)
      .def_readonly("draw", &PyBodyTable::draw)
      .def("__len__", [](const PyBodyTable& t) { return t.frame.size(); });

  py::class_<PyRunResult>(m, "RunResult", "What a run of the program gives.")
      .def_readonly("report", &PyRunResult::report,
                    "The report: the program's standard output, byte for byte.")
      .def_readonly("status", &PyRunResult::status, "The program's exit status.")
      .def_readonly("frames", &PyRunResult::frames, "The frame table (FrameTable).")
      .def_readonly("bodies", &PyRunResult::bodies, "The per-body table (BodyTable).")
      .def_readonly("diagnostics", &PyRunResult::diagnostics,
                    "The program's diagnostics in order: ('warning' | 'error', text).")
      .def("__repr__", [](const PyRunResult& r) {
        return "<pairtrack.RunResult status " + std::to_string(r.status) + ", " +
               std::to_string(r.frames.frame.size()) + " frames>";
      });

  m.def("run", &run_py, "catalogue"_a, "history"_a, "format"_a = 2, "n2_min"_a = 1,
        "n2_max"_a = 30000, "time_divisor"_a = 1e6, "write_pairs"_a = false, "q_crit"_a = 0.0,
        "p_crit"_a = 0.0, "iseed"_a = -1, "v_esc"_a = 0.0, py::kw_only(),
        "pair_file"_a = "hitrate_pairtrack_q.tmp", "threads"_a = py::none(), "strict"_a = false,
        R"(Runs the program on its ten records and returns a RunResult.

    catalogue, history: paths (at most 80 characters each, as the records hold them; relative
    paths are taken from the working directory). format: the history file's encoding (0 16-bit
    scaled, 1 float32, 2 float64). n2_min, n2_max: the positions paired within each frame.
    time_divisor: the file's times are divided by it to give Myr. write_pairs: write the pair
    file (pair_file, in the working directory by default). q_crit (AU), p_crit: bodies whose
    perihelion is below q_crit are removed with probability p_crit per frame. iseed: the
    generator's seed (negative; every seed of -1 or more gives the sequence of -1). v_esc:
    escape velocity for gravitational focusing, km/s. threads: pair-evaluation threads (None:
    all cores). strict: the first warning ends the run as an error.

    The report is the program's standard output byte for byte; frames and bodies are the tables
    of --frames and --bodies. Each warning of the program is issued as a PairtrackWarning. An
    error end raises OSError (a file that cannot be opened, read or written) or ValueError
    (anything else) with the program's message and reason; the exception's `result` attribute
    holds the RunResult up to that point. Runs are serialised within a process.)");
}

}  // namespace pairtrack::python
