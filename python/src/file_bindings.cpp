// The file formats from Python: the catalogue, the history file (reading frame by frame,
// writing), and a report's frame lines, each through the public library.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
#include "tables.h"
#include "pairtrack/catalogue.h"
#include "pairtrack/history.h"
#include "pairtrack/report.h"

namespace pairtrack::python {

namespace {

using namespace pybind11::literals;

template <typename T>
py::array_t<T> to_array(const std::vector<T>& v) {
  py::array_t<T> out(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), out.mutable_data());
  return out;
}

// OSError with the library's message (which names the file).
[[noreturn]] void raise_os_error(const std::string& message, const std::string& /*name*/) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

// ---- catalogue ------------------------------------------------------------------------------

struct PyCatalogue {
  py::array_t<double> inc, e, a;
  std::string path;
};

PyCatalogue read_catalogue_py(const py::object& path) {
  const std::string name = file_name(path);
  Catalogue c;
  CatalogueReadResult r;
  {
    py::gil_scoped_release unlocked;
    r = read_catalogue(name, c);
  }
  if (r.status == CatalogueStatus::cannot_open || r.status == CatalogueStatus::read_error) {
    raise_os_error(r.message, name);
  }
  if (r.status != CatalogueStatus::ok) throw py::value_error(r.message);
  return PyCatalogue{to_array(c.inclination_deg), to_array(c.eccentricity),
                     to_array(c.semimajor_axis_au), name};
}

// ---- history --------------------------------------------------------------------------------

struct PyFrame {
  double time = 0.0;
  std::int32_t nrec1 = 1, nrec2 = 0;
  py::array_t<std::int32_t> ids;
  py::array_t<double> a, e, inc, angle5, angle6, angle7;
};

py::array_t<std::int32_t> to_id_array(const py::object& value) {
  py::module_ numpy = py::module_::import("numpy");
  py::array raw = numpy.attr("asarray")(value);
  const char kind = raw.dtype().kind();
  if (kind != 'i' && kind != 'u') {
    throw py::type_error("ids must hold integers, not " + std::string(py::str(raw.dtype())));
  }
  if (raw.ndim() != 1) throw py::value_error("ids must be a 1-D array");
  // Values outside int16 are refused when written; int32 holds every identifier a frame may
  // carry, so refuse only what int32 cannot hold.
  py::array wide = numpy.attr("asarray")(raw, "dtype"_a = "int64");
  const auto* p = static_cast<const std::int64_t*>(wide.data());
  for (py::ssize_t k = 0; k < wide.size(); ++k) {
    if (p[k] < INT32_MIN || p[k] > INT32_MAX) throw py::value_error("ids: identifier out of range");
  }
  return py::array_t<std::int32_t>::ensure(
      numpy.attr("ascontiguousarray")(wide, "dtype"_a = "int32"));
}

PyFrame make_frame(double time, const py::object& ids, const py::object& a, const py::object& e,
                   const py::object& inc, const py::object& angle5, const py::object& angle6,
                   const py::object& angle7, const py::object& nrec1, const py::object& nrec2) {
  PyFrame f;
  f.time = time;
  f.ids = to_id_array(ids);
  const py::ssize_t n = f.ids.size();
  py::module_ numpy = py::module_::import("numpy");
  auto column = [&](const py::object& v, const char* name) -> py::array_t<double> {
    if (v.is_none()) return py::array_t<double>(numpy.attr("zeros")(n));
    DoubleArray x = to_double_array(v, name);
    if (x.ndim() != 1 || x.size() != n) {
      throw py::value_error(std::string(name) + " must be a 1-D array as long as ids (" +
                            std::to_string(n) + ")");
    }
    // A copy the caller cannot change afterwards.
    return py::array_t<double>(numpy.attr("array")(x));
  };
  f.a = column(a, "a");
  f.e = column(e, "e");
  f.inc = column(inc, "inc");
  f.angle5 = column(angle5, "angle5");
  f.angle6 = column(angle6, "angle6");
  f.angle7 = column(angle7, "angle7");
  auto count = [](const py::object& v, std::int64_t fallback, const char* name) {
    if (v.is_none()) return static_cast<std::int32_t>(fallback);
    if (!py::isinstance<py::int_>(v) || py::isinstance<py::bool_>(v)) {
      throw py::type_error(std::string(name) + " must be None or an int");
    }
    const long long c = v.cast<long long>();
    if (c < INT32_MIN || c > INT32_MAX) throw py::value_error(std::string(name) + " out of range");
    return static_cast<std::int32_t>(c);
  };
  f.nrec1 = count(nrec1, 1, "nrec1");
  f.nrec2 = count(nrec2, n, "nrec2");
  return f;
}

PyFrame from_library(const HistoryFrame& h) {
  PyFrame f;
  f.time = h.time;
  f.nrec1 = h.nrec1;
  f.nrec2 = h.nrec2;
  f.ids = to_array(h.id);
  f.a = to_array(h.a_au);
  f.e = to_array(h.e);
  f.inc = to_array(h.inc_rad);
  f.angle5 = to_array(h.angle5_rad);
  f.angle6 = to_array(h.angle6_rad);
  f.angle7 = to_array(h.angle7_rad);
  return f;
}

std::vector<double> to_vector(const py::array_t<double>& a) {
  const DoubleArray c = DoubleArray::ensure(a);
  return std::vector<double>(c.data(), c.data() + c.size());
}

HistoryFormat format_argument(const py::object& format) {
  if (!py::isinstance<py::int_>(format) || py::isinstance<py::bool_>(format)) {
    throw py::type_error("format must be 0 (16-bit scaled), 1 (float32) or 2 (float64)");
  }
  const std::optional<HistoryFormat> f = history_format_from_code(format.cast<long long>());
  if (!f) throw py::value_error("format must be 0 (16-bit scaled), 1 (float32) or 2 (float64)");
  return *f;
}

class PyHistoryFile {
 public:
  PyHistoryFile(const py::object& path, const py::object& format)
      : path_(file_name(path)), display_(py::str(path_)) {
    std::string error;
    if (format.is_none()) {
      HistoryFormatDetection d;
      bool ok = false;
      {
        py::gil_scoped_release unlocked;
        ok = detect_history_format(path_, d, error);
      }
      if (!ok) raise_os_error("cannot open " + display_ + ": " + error, path_);
      detection_ = d.explanation;
      if (!d.format) {
        throw py::value_error(display_ + ": the encoding cannot be told (" + d.explanation +
                              "); give format=0, 1 or 2");
      }
      format_ = *d.format;
    } else {
      format_ = format_argument(format);
    }
    rewind();
  }

  PyHistoryFile& iter() {
    if (reader_.frames_read() > 0 || done_) rewind();
    return *this;
  }

  PyFrame next() {
    if (done_) throw py::stop_iteration();
    // The GIL stays held: it keeps two Python threads from advancing one file at once.
    HistoryFrame frame;
    const HistoryFrameReader::Status status = reader_.next(frame);
    switch (status) {
      case HistoryFrameReader::Status::frame: return from_library(frame);
      case HistoryFrameReader::Status::end: break;
      case HistoryFrameReader::Status::truncated: {
        truncated_ = true;
        end_ = display_ + " " + reader_.message() + "; that incomplete frame is left out";
        if (PyErr_WarnEx(truncated_warning(), end_.c_str(), 1) != 0) {
          throw py::error_already_set();  // warnings turned into errors
        }
        break;
      }
      case HistoryFrameReader::Status::damaged:
        done_ = true;
        end_ = display_ + ": " + reader_.message();
        throw py::value_error(end_);
    }
    done_ = true;
    throw py::stop_iteration();
  }

  py::list read_all() {
    py::list frames;
    iter();
    for (;;) {
      try {
        frames.append(py::cast(next()));
      } catch (const py::stop_iteration&) {
        break;
      }
    }
    return frames;
  }

  // The warning class, created once with the module and kept for the life of the process
  // (a static Python object must not be released after the interpreter has finished).
  static PyObject*& truncated_warning() {
    static PyObject* cls = nullptr;
    return cls;
  }

  int format() const { return static_cast<int>(format_); }
  const std::string& path() const { return display_; }
  py::object detection() const { return detection_ ? py::object(py::str(*detection_)) : py::object(py::none()); }
  bool truncated() const { return truncated_; }
  py::object end_message() const { return end_.empty() ? py::object(py::none()) : py::object(py::str(end_)); }
  std::int64_t frames_read() const { return reader_.frames_read(); }

 private:
  void rewind() {
    done_ = false;
    truncated_ = false;
    end_.clear();
    if (!reader_.open(path_, format_)) raise_os_error(reader_.message(), path_);
  }

  std::string path_;
  std::string display_;
  HistoryFormat format_ = HistoryFormat::float64;
  std::optional<std::string> detection_;
  HistoryFrameReader reader_;
  bool done_ = false;
  bool truncated_ = false;
  std::string end_;
};

void write_history_py(const py::object& path, const py::iterable& frames,
                      const py::object& format) {
  const HistoryFormat f = format_argument(format);
  const std::string name = file_name(path);
  HistoryFrameWriter writer;
  if (!writer.open(name, f)) raise_os_error(writer.message(), name);
  auto discard = [&] {
    writer.close();
    std::remove(name.c_str());  // a refused frame leaves no half-written file behind
  };
  try {
    for (const py::handle item : frames) {
      if (!py::isinstance<PyFrame>(item)) {
        throw py::type_error("write_history: every frame must be a pairtrack.Frame, not " +
                             std::string(py::str(py::type::of(item).attr("__name__"))));
      }
      const PyFrame& pf = item.cast<const PyFrame&>();
      HistoryFrame h;
      h.time = pf.time;
      h.nrec1 = pf.nrec1;
      h.nrec2 = pf.nrec2;
      h.id.assign(pf.ids.data(), pf.ids.data() + pf.ids.size());
      h.a_au = to_vector(pf.a);
      h.e = to_vector(pf.e);
      h.inc_rad = to_vector(pf.inc);
      h.angle5_rad = to_vector(pf.angle5);
      h.angle6_rad = to_vector(pf.angle6);
      h.angle7_rad = to_vector(pf.angle7);
      bool ok = false;
      {
        py::gil_scoped_release unlocked;
        ok = writer.write(h);
      }
      if (!ok) throw py::value_error(std::string(py::str(name)) + ": " + writer.message());
    }
  } catch (...) {
    discard();
    throw;
  }
  if (!writer.close()) {
    std::remove(name.c_str());
    raise_os_error("cannot write " + name + ": " + writer.message(), name);
  }
}

// ---- report ---------------------------------------------------------------------------------

py::object read_report_py(const py::object& path) {
  const std::string name = file_name(path);
  ReportFrames r;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = read_report_frames(name, r, error);
  }
  if (!ok) raise_os_error(error, name);
  return to_python(r);
}

}  // namespace

py::object to_python(const ReportFrames& r) {
  return py::cast(PyReportFrames{to_array(r.t_myr), to_array(r.proba_mean),
                                 to_array(r.proba_sigma), to_array(r.impvel_mean),
                                 to_array(r.impvel_sigma), to_array(r.n1), to_array(r.n2),
                                 to_array(r.n_proba), to_array(r.n_impvel)});
}

void register_files(py::module_& m) {
  PyHistoryFile::truncated_warning() = PyErr_NewExceptionWithDoc(
      "pairtrack.TruncatedHistoryWarning",
      "A history file ends inside a frame (a file still being written); the incomplete frame "
      "is left out, as the program leaves it out.",
      PyExc_UserWarning, nullptr);
  if (PyHistoryFile::truncated_warning() == nullptr) throw py::error_already_set();
  m.attr("TruncatedHistoryWarning") = py::handle(PyHistoryFile::truncated_warning());

  py::class_<PyCatalogue>(m, "Catalogue",
                          "An orbit catalogue as arrays (file order). Pass it to pair_matrix "
                          "with degrees=True.")
      .def_readonly("inc", &PyCatalogue::inc, "Inclinations, degrees.")
      .def_readonly("e", &PyCatalogue::e, "Eccentricities.")
      .def_readonly("a", &PyCatalogue::a, "Semimajor axes, AU.")
      .def_readonly("path", &PyCatalogue::path, "The file read.")
      .def("__len__", [](const PyCatalogue& c) { return c.a.size(); })
      .def("__repr__", [](const PyCatalogue& c) {
        return "<pairtrack.Catalogue " + c.path + ": " + std::to_string(c.a.size()) + " orbits>";
      });

  m.def("read_catalogue", &read_catalogue_py, "path"_a,
        R"(Reads an orbit catalogue: one orbit per line, columns 148-182 holding inclination
    (degrees), eccentricity and semimajor axis (AU) as free-form numbers; reading stops at
    the first line whose field does not hold three numbers (the program's own reader).

    Returns a Catalogue with float64 arrays inc (degrees), e and a (AU).
    Raises OSError ("Error reading file PATH") when the file cannot be read, ValueError
    ("pairtrack: orbit catalogue holds more than 30000 orbits") for a catalogue too long.)");

  py::class_<PyFrame>(m, "Frame",
                      R"(One frame of a history file.

    Frame(time, ids, a, e, inc, angle5=None, angle6=None, angle7=None, nrec1=None, nrec2=None)

    time in the file's own unit; ids (int32); a (AU), e, inc, angle5, angle6, angle7
    (radians) as float64 arrays as long as ids (missing angles are zeros). nrec1 and nrec2
    are the header's counts (the frame holds nrec1 - 1 + nrec2 bodies); by default nrec1 = 1
    and nrec2 = len(ids).)")
      .def(py::init(&make_frame), "time"_a, "ids"_a, "a"_a, "e"_a, "inc"_a,
           "angle5"_a = py::none(), "angle6"_a = py::none(), "angle7"_a = py::none(),
           "nrec1"_a = py::none(), "nrec2"_a = py::none())
      .def_readonly("time", &PyFrame::time, "Frame time, the file's own unit.")
      .def_readonly("nrec1", &PyFrame::nrec1, "Header count nrec1.")
      .def_readonly("nrec2", &PyFrame::nrec2, "Header count nrec2.")
      .def_readonly("ids", &PyFrame::ids, "Body identifiers (int32).")
      .def_readonly("a", &PyFrame::a, "Semimajor axes, AU.")
      .def_readonly("e", &PyFrame::e, "Eccentricities.")
      .def_readonly("inc", &PyFrame::inc, "Inclinations, radians.")
      .def_readonly("angle5", &PyFrame::angle5, "Fifth element, radians.")
      .def_readonly("angle6", &PyFrame::angle6, "Sixth element, radians.")
      .def_readonly("angle7", &PyFrame::angle7, "Seventh element, radians.")
      .def("__len__", [](const PyFrame& f) { return f.ids.size(); })
      .def("__repr__", [](const PyFrame& f) {
        return "<pairtrack.Frame time=" + std::string(py::repr(py::float_(f.time))) + ", " +
               std::to_string(f.ids.size()) + " bodies>";
      });

  py::class_<PyHistoryFile>(m, "HistoryFile",
                            R"(A binary history file, read frame by frame.

    HistoryFile(path, format=None)

    format: 0 (16-bit scaled), 1 (float32), 2 (float64), or None to tell it from the record
    lengths as `pairtrack-history info` does. Iterating yields Frame objects (each iteration
    starts again at the first frame); read_all() returns them as a list.

    A file that ends inside a frame (still being written) ends the iteration after the last
    complete frame with a TruncatedHistoryWarning; the attributes truncated and end_message
    then say so. A damaged record raises ValueError; a file that cannot be opened, OSError;
    an encoding that cannot be told, ValueError.)")
      .def(py::init<const py::object&, const py::object&>(), "path"_a, "format"_a = py::none())
      .def("__iter__", &PyHistoryFile::iter, py::return_value_policy::reference_internal)
      .def("__next__", &PyHistoryFile::next)
      .def("read_all", &PyHistoryFile::read_all, "All complete frames, as a list of Frame.")
      .def_property_readonly("path", &PyHistoryFile::path, "The file's name.")
      .def_property_readonly("format", &PyHistoryFile::format, "Encoding: 0, 1 or 2.")
      .def_property_readonly("detection", &PyHistoryFile::detection,
                             "Why the encoding was chosen (None when format was given).")
      .def_property_readonly("truncated", &PyHistoryFile::truncated,
                             "True once the iteration ended at a frame cut short.")
      .def_property_readonly("end_message", &PyHistoryFile::end_message,
                             "Where the data ended short, or None.")
      .def_property_readonly("frames_read", &PyHistoryFile::frames_read,
                             "Complete frames read by the current iteration.");

  m.def("write_history", &write_history_py, "path"_a, "frames"_a, "format"_a,
        R"(Writes frames (an iterable of Frame) to a history file in format 0, 1 or 2.

    Format 2 stores the values as given, format 1 rounds them to float32, format 0 moves
    each to the nearest point of its grid. Raises ValueError (and leaves no file behind) for a
    frame whose values the encoding cannot hold (identifiers and counts outside int16, values
    overflowing float32, values off the scaled grid) or whose counts do not match its bodies;
    OSError when the file cannot be written.)");

  py::class_<PyReportFrames>(m, "ReportFrames",
                             R"(The frame lines of a report, column by column (numpy arrays).

    t (Myr), proba_mean and proba_sigma (1e-18 km^-2 yr^-1), impvel_mean and impvel_sigma
    (km/s) as float64 (NaN where the report wrote asterisks); n1, n2, n_proba, n_impvel as
    int64 (-1 where the report wrote asterisks).)")
      .def_readonly("t", &PyReportFrames::t)
      .def_readonly("proba_mean", &PyReportFrames::proba_mean)
      .def_readonly("proba_sigma", &PyReportFrames::proba_sigma)
      .def_readonly("impvel_mean", &PyReportFrames::impvel_mean)
      .def_readonly("impvel_sigma", &PyReportFrames::impvel_sigma)
      .def_readonly("n1", &PyReportFrames::n1)
      .def_readonly("n2", &PyReportFrames::n2)
      .def_readonly("n_proba", &PyReportFrames::n_proba)
      .def_readonly("n_impvel", &PyReportFrames::n_impvel)
      .def("__len__", [](const PyReportFrames& r) { return r.t.size(); })
      .def("as_dict", [](const PyReportFrames& r) {
        py::dict d;
        d["t"] = r.t;
        d["proba_mean"] = r.proba_mean;
        d["proba_sigma"] = r.proba_sigma;
        d["impvel_mean"] = r.impvel_mean;
        d["impvel_sigma"] = r.impvel_sigma;
        d["n1"] = r.n1;
        d["n2"] = r.n2;
        d["n_proba"] = r.n_proba;
        d["n_impvel"] = r.n_impvel;
        return d;
      }, "The columns as a dict of arrays (e.g. for pandas.DataFrame).");

  m.def("read_report", &read_report_py, "path"_a,
        R"(Reads the frame lines of a pairtrack report into a ReportFrames.

    Frame lines are the report's 144-character fixed-layout lines; echo lines (" #"),
    messages and other text are passed over. Raises OSError when the file cannot be read.)");
}

}  // namespace pairtrack::python
