// The file formats in pairtrack._core: the catalogue, the history file (a reader handle and a
// writer), and a report's frame lines, each through the public library. Everything is handed
// to Python as tuples, lists and NumPy arrays that own their memory; the classes users see
// (Catalogue, Frame, HistoryFile, ReportFrames) live in the package.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "arrays.h"
#include "bindings.h"
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
[[noreturn]] void raise_os_error(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

// ---- catalogue ------------------------------------------------------------------------------

// (inc_deg, e, a_au, warnings)
py::tuple read_catalogue_py(const py::object& path) {
  const std::string name = file_name(path);
  Catalogue c;
  CatalogueReadResult r;
  {
    py::gil_scoped_release unlocked;
    r = read_catalogue(name, c);
  }
  if (r.status == CatalogueStatus::cannot_open || r.status == CatalogueStatus::read_error) {
    raise_os_error(r.message);
  }
  if (r.status != CatalogueStatus::ok) throw py::value_error(r.message);
  py::list warnings;
  for (const std::string& w : r.warnings) warnings.append(w);
  return py::make_tuple(to_array(c.inclination_deg), to_array(c.eccentricity),
                        to_array(c.semimajor_axis_au), warnings);
}

// ---- history --------------------------------------------------------------------------------

HistoryFormat format_argument(const py::object& format) {
  if (!py::isinstance<py::int_>(format) || py::isinstance<py::bool_>(format)) {
    throw py::type_error("format must be 0 (16-bit scaled), 1 (float32) or 2 (float64)");
  }
  const std::optional<HistoryFormat> f = history_format_from_code(format.cast<long long>());
  if (!f) throw py::value_error("format must be 0 (16-bit scaled), 1 (float32) or 2 (float64)");
  return *f;
}

// (format or None, explanation); OSError when the file cannot be opened.
py::tuple detect_format_py(const py::object& path) {
  const std::string name = file_name(path);
  HistoryFormatDetection d;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = detect_history_format(name, d, error);
  }
  if (!ok) raise_os_error("cannot open " + name + ": " + error);
  return py::make_tuple(d.format ? py::object(py::int_(static_cast<int>(*d.format))) : py::none(),
                        d.explanation);
}

// A reader is handed out as a capsule: Python can only pass it back, never build one itself,
// so no reader can be used before it was opened or after it was freed.
constexpr const char* kReaderCapsule = "pairtrack._core.HistoryFrameReader";

HistoryFrameReader& reader_of(const py::capsule& handle) {
  auto* reader =
      static_cast<HistoryFrameReader*>(PyCapsule_GetPointer(handle.ptr(), kReaderCapsule));
  if (reader == nullptr) throw py::error_already_set();  // not one of ours: ValueError set
  return *reader;
}

py::capsule history_open_py(const py::object& path, const py::object& format) {
  const std::string name = file_name(path);
  const HistoryFormat f = format_argument(format);
  auto* reader = new HistoryFrameReader();
  if (!reader->open(name, f)) {
    const std::string message = reader->message();
    delete reader;
    raise_os_error(message);
  }
  return py::capsule(reader, kReaderCapsule, [](PyObject* capsule) {
    delete static_cast<HistoryFrameReader*>(PyCapsule_GetPointer(capsule, kReaderCapsule));
  });
}

// ("frame", time, nrec1, nrec2, ids, a, e, inc, angle5, angle6, angle7), ("end",),
// ("truncated", message) or ("damaged", message). The GIL stays held: it keeps two Python
// threads from advancing one reader at once.
py::tuple history_next_py(const py::capsule& handle) {
  HistoryFrameReader& reader = reader_of(handle);
  HistoryFrame h;
  switch (reader.next(h)) {
    case HistoryFrameReader::Status::frame:
      return py::make_tuple("frame", h.time, h.nrec1, h.nrec2, to_array(h.id), to_array(h.a_au),
                            to_array(h.e), to_array(h.inc_rad), to_array(h.angle5_rad),
                            to_array(h.angle6_rad), to_array(h.angle7_rad));
    case HistoryFrameReader::Status::end: return py::make_tuple("end");
    case HistoryFrameReader::Status::truncated:
      return py::make_tuple("truncated", reader.message());
    case HistoryFrameReader::Status::damaged:
    case HistoryFrameReader::Status::read_error: return py::make_tuple("damaged", reader.message());
  }
  return py::make_tuple("end");
}

std::vector<double> column(const py::handle& value, const char* name, py::ssize_t n) {
  const DoubleArray c = to_double_array(value, name);
  if (c.ndim() != 1 || c.size() != n) {
    throw py::value_error(std::string(name) + " must be a 1-D array as long as ids");
  }
  return std::vector<double>(c.data(), c.data() + c.size());
}

// frames: a sequence of (time, nrec1, nrec2, ids, a, e, inc, angle5, angle6, angle7) with
// int32 ids and float64 columns (the package's Frame checks and converts them).
void write_history_py(const py::object& path, const py::sequence& frames,
                      const py::object& format) {
  const HistoryFormat f = format_argument(format);
  const std::string name = file_name(path);
  HistoryFrameWriter writer;
  if (!writer.open(name, f)) raise_os_error(writer.message());
  auto discard = [&] {
    writer.close();
    std::remove(name.c_str());  // a refused frame leaves no half-written file behind
  };
  try {
    for (const py::handle item : frames) {
      const py::tuple t = py::reinterpret_borrow<py::object>(item).cast<py::tuple>();
      if (t.size() != 10) throw py::value_error("internal: a frame is a tuple of 10 items");
      HistoryFrame h;
      h.time = t[0].cast<double>();
      h.nrec1 = t[1].cast<std::int32_t>();
      h.nrec2 = t[2].cast<std::int32_t>();
      const auto ids =
          py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(t[3]);
      if (!ids || ids.ndim() != 1) throw py::value_error("ids must be a 1-D array of int32");
      h.id.assign(ids.data(), ids.data() + ids.size());
      h.a_au = column(t[4], "a", ids.size());
      h.e = column(t[5], "e", ids.size());
      h.inc_rad = column(t[6], "inc", ids.size());
      h.angle5_rad = column(t[7], "angle5", ids.size());
      h.angle6_rad = column(t[8], "angle6", ids.size());
      h.angle7_rad = column(t[9], "angle7", ids.size());
      bool ok = false;
      {
        py::gil_scoped_release unlocked;
        ok = writer.write(h);
      }
      if (!ok) throw py::value_error(name + ": " + writer.message());
    }
  } catch (...) {
    discard();
    throw;
  }
  if (!writer.close()) {
    std::remove(name.c_str());
    raise_os_error("cannot write " + name + ": " + writer.message());
  }
}

// ---- report ---------------------------------------------------------------------------------

py::dict read_report_py(const py::object& path) {
  const std::string name = file_name(path);
  ReportFrames r;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = read_report_frames(name, r, error);
  }
  if (!ok) raise_os_error(error);
  py::dict d;
  d["t"] = to_array(r.t_myr);
  d["proba_mean"] = to_array(r.proba_mean);
  d["proba_sigma"] = to_array(r.proba_sigma);
  d["impvel_mean"] = to_array(r.impvel_mean);
  d["impvel_sigma"] = to_array(r.impvel_sigma);
  d["n1"] = to_array(r.n1);
  d["n2"] = to_array(r.n2);
  d["n_proba"] = to_array(r.n_proba);
  d["n_impvel"] = to_array(r.n_impvel);
  return d;
}

}  // namespace

void register_files(py::module_& m) {
  m.def("read_catalogue", &read_catalogue_py, "path"_a,
        "(inc_deg, e, a_au, warnings) of a catalogue; OSError / ValueError as the program.");
  m.def("detect_format", &detect_format_py, "path"_a,
        "(format or None, explanation) of a history file, told from its record lengths.");
  m.def("history_open", &history_open_py, "path"_a, "format"_a,
        "A reader handle positioned at the first frame; OSError when the file cannot be opened.");
  m.def("history_next", &history_next_py, "reader"_a,
        "The next frame of a reader handle, or how the data ended.");
  m.def("write_history", &write_history_py, "path"_a, "frames"_a, "format"_a,
        "Writes frame tuples to a history file; ValueError (no file left) or OSError.");
  m.def("read_report", &read_report_py, "path"_a, "The frame lines' columns of a report.");
}

}  // namespace pairtrack::python
