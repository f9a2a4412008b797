// The public history-file reader and writer: frames assembled from the program's record
// readers and written with its record writer; the encoding told by the same walk as
// `pairtrack-history info`.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "io/history/history_file.h"
#include "io/history/history_readers.h"
#include "io/history/history_scaled_i2.h"
#include "io/history/history_summary.h"
#include "io/history/history_writer.h"
#include "pairtrack/history.h"

namespace pairtrack {

// The library's internals, which these calls put behind the documented interface.
using namespace detail;

namespace {

std::string refusal(RecordStatus status, int error_number) {
  switch (status) {
    case RecordStatus::short_payload: return "its payload is shorter than the encoding needs";
    case RecordStatus::bad_marker: return "its length marker is negative";
    case RecordStatus::io_error:
      return std::string("the system reported a read error: ") +
             std::strerror(error_number != 0 ? error_number : EIO);
    default: return "status " + std::to_string(status_code(status));
  }
}

bool fits_int16(std::int32_t v) { return v >= -32768 && v <= 32767; }

// The record writer's own checks, made before any record of a frame is written.
bool storable_header(HistoryFormat format, double time, std::int32_t nrec1, std::int32_t nrec2) {
  return fits_int16(nrec1) && fits_int16(nrec2) &&
         history_stored_value(format, HistoryField::time, time).has_value();
}

bool storable_body(HistoryFormat format, std::int32_t id, const std::array<double, 6>& v) {
  if (!fits_int16(id)) return false;
  for (std::size_t k = 0; k < 6; ++k) {
    const HistoryField field = k == 0   ? HistoryField::a
                               : k == 1 ? HistoryField::e
                                        : HistoryField::angle;
    if (!history_stored_value(format, field, v[k])) return false;
  }
  return true;
}

}  // namespace

std::optional<double> history_stored_value(HistoryFormat format, HistoryField field, double value) {
  if (format == HistoryFormat::float64) return value;
  if (format == HistoryFormat::float32) {
    const auto f = static_cast<float>(value);
    if (std::isfinite(value) && !std::isfinite(f)) return std::nullopt;
    return static_cast<double>(f);
  }
  switch (field) {
    case HistoryField::time:
      if (const std::optional<ScaledTime> t = quantise_scaled_time(value)) {
        return decode_scaled_time(t->h1, t->h2, t->h3);
      }
      return std::nullopt;
    case HistoryField::a:
      if (const std::optional<std::int16_t> k = quantise_scaled_a(value))
        return decode_scaled_a(*k);
      return std::nullopt;
    case HistoryField::e:
      if (const std::optional<std::int16_t> k = quantise_scaled_e(value))
        return decode_scaled_e(*k);
      return std::nullopt;
    default:
      if (const std::optional<std::int16_t> k = quantise_scaled_angle(value)) {
        return decode_scaled_angle(*k);
      }
      return std::nullopt;
  }
}

std::string history_format_name(HistoryFormat format) {
  switch (format) {
    case HistoryFormat::scaled_int16: return "0 (16-bit scaled)";
    case HistoryFormat::float32: return "1 (float32)";
    default: return "2 (float64)";
  }
}

std::optional<HistoryFormat> history_format_from_code(std::int64_t code) {
  if (code < 0 || code > 2) return std::nullopt;
  return static_cast<HistoryFormat>(code);
}

void HistoryFrame::clear() {
  time = 0.0;
  nrec1 = nrec2 = 0;
  id.clear();
  a_au.clear();
  e.clear();
  inc_rad.clear();
  angle5_rad.clear();
  angle6_rad.clear();
  angle7_rad.clear();
}

bool detect_history_format(const std::string& path, HistoryFormatDetection& detection,
                           std::string& error) {
  return detect_encoding(path, detection, error);
}

bool summarise_history(const std::string& path, HistoryFormat format, HistorySummary& summary,
                       std::string& error) {
  return walk_history(path, format, LengthRule::lenient, summary, error);
}

bool check_history_start(const std::string& path, HistoryStart& start, std::string& error) {
  return read_history_start(path, start, error);
}

// ---------------------------------------------------------------------------------------------

struct HistoryFrameReader::State {
  HistoryFile file;
  HistoryFormat format = HistoryFormat::float64;
  HistoryReaderPair readers{};
  Status finished = Status::frame;  // `frame` while more frames may follow
  std::int64_t frames = 0;
  std::string message;
};

HistoryFrameReader::HistoryFrameReader() : state_(std::make_unique<State>()) {}
HistoryFrameReader::~HistoryFrameReader() = default;

bool HistoryFrameReader::open(const std::string& path, HistoryFormat format) {
  state_ = std::make_unique<State>();
  state_->format = format;
  state_->readers = history_readers(format);
  if (!state_->file.open(path)) {
    state_->message = "cannot open " + path;
    state_->finished = Status::damaged;
    return false;
  }
  return true;
}

HistoryFrameReader::Status HistoryFrameReader::next(HistoryFrame& frame) {
  State& s = *state_;
  if (s.finished != Status::frame) return s.finished;
  if (!s.file.is_open()) {
    s.message = "no file is open";
    return s.finished = Status::damaged;
  }
  const std::int64_t number = s.frames + 1;
  frame.clear();
  const RecordStatus status =
      record_status(s.readers.epoch(s.file, frame.time, frame.nrec1, frame.nrec2));
  if (status == RecordStatus::end_of_file) {
    frame.clear();
    s.file.close();
    return s.finished = Status::end;
  }
  if (status == RecordStatus::truncated) {
    frame.clear();
    s.message = "ends inside the header of frame " + std::to_string(number);
    s.file.close();
    return s.finished = Status::truncated;
  }
  if (status != RecordStatus::ok) {
    frame.clear();
    s.message = "the header of frame " + std::to_string(number) + " cannot be read as format " +
                history_format_name(s.format) + ": " + refusal(status, s.file.error_number());
    s.file.close();
    return s.finished = status == RecordStatus::io_error ? Status::read_error : Status::damaged;
  }
  const std::int64_t records = history_body_records(frame.nrec1, frame.nrec2);
  for (std::int64_t r = 0; r < records; ++r) {
    std::int32_t id = 0;
    double a = 0.0, e = 0.0, inc = 0.0, angle5 = 0.0, angle6 = 0.0, angle7 = 0.0;
    const RecordStatus body =
        record_status(s.readers.orbit(s.file, id, a, e, inc, angle5, angle6, angle7));
    if (body != RecordStatus::ok) {
      const bool cut = body == RecordStatus::end_of_file || body == RecordStatus::truncated;
      s.message = cut ? "ends inside frame " + std::to_string(number) + " (" + std::to_string(r) +
                            " of " + std::to_string(records) + " body records complete)"
                      : "body record " + std::to_string(r + 1) + " of frame " +
                            std::to_string(number) + " cannot be read as format " +
                            history_format_name(s.format) + ": " +
                            refusal(body, s.file.error_number());
      frame.clear();
      s.file.close();
      return s.finished = cut                              ? Status::truncated
                          : body == RecordStatus::io_error ? Status::read_error
                                                           : Status::damaged;
    }
    frame.id.push_back(id);
    frame.a_au.push_back(a);
    frame.e.push_back(e);
    frame.inc_rad.push_back(inc);
    frame.angle5_rad.push_back(angle5);
    frame.angle6_rad.push_back(angle6);
    frame.angle7_rad.push_back(angle7);
  }
  ++s.frames;
  return Status::frame;
}

std::int64_t HistoryFrameReader::frames_read() const { return state_->frames; }
const std::string& HistoryFrameReader::message() const { return state_->message; }
HistoryFormat HistoryFrameReader::format() const { return state_->format; }

// ---------------------------------------------------------------------------------------------

struct HistoryFrameWriter::State {
  HistoryWriter writer;
  HistoryFormat format = HistoryFormat::float64;
  std::int64_t frames = 0;
  std::string message;
};

HistoryFrameWriter::HistoryFrameWriter() : state_(std::make_unique<State>()) {}
HistoryFrameWriter::~HistoryFrameWriter() = default;

bool HistoryFrameWriter::open(const std::string& path, HistoryFormat format) {
  state_ = std::make_unique<State>();
  state_->format = format;
  if (path.find('\0') != std::string::npos || !state_->writer.open(path)) {
    state_->message = "cannot create " + path;
    return false;
  }
  return true;
}

bool HistoryFrameWriter::write(const HistoryFrame& f) {
  State& s = *state_;
  const std::string where = "frame " + std::to_string(s.frames + 1) + ": ";
  if (!s.writer.is_open()) {
    s.message = "no file is open";
    return false;
  }
  const std::size_t n = f.id.size();
  if (f.a_au.size() != n || f.e.size() != n || f.inc_rad.size() != n || f.angle5_rad.size() != n ||
      f.angle6_rad.size() != n || f.angle7_rad.size() != n) {
    s.message = where + "the body arrays differ in length";
    return false;
  }
  const std::int64_t announced = history_body_records(f.nrec1, f.nrec2);
  if (announced != static_cast<std::int64_t>(n)) {
    s.message = where + "nrec1 = " + std::to_string(f.nrec1) +
                " and nrec2 = " + std::to_string(f.nrec2) + " announce " +
                std::to_string(announced) + " body records, the arrays hold " + std::to_string(n);
    return false;
  }
  // Every value is checked before the first byte of the frame is written, so a refused frame
  // leaves no partial frame behind.
  if (!storable_header(s.format, f.time, f.nrec1, f.nrec2)) {
    s.message = where + "the header (time " + std::to_string(f.time) + ", counts " +
                std::to_string(f.nrec1) + " " + std::to_string(f.nrec2) +
                ") cannot be stored in format " + history_format_name(s.format);
    return false;
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (!storable_body(
            s.format, f.id[k],
            {f.a_au[k], f.e[k], f.inc_rad[k], f.angle5_rad[k], f.angle6_rad[k], f.angle7_rad[k]})) {
      s.message = where + "body " + std::to_string(k + 1) + " (id " + std::to_string(f.id[k]) +
                  ") cannot be stored in format " + history_format_name(s.format);
      return false;
    }
  }
  bool written = s.writer.header(s.format, f.time, f.nrec1, f.nrec2);
  for (std::size_t k = 0; k < n && written; ++k) {
    written = s.writer.body(s.format, f.id[k], f.a_au[k], f.e[k], f.inc_rad[k], f.angle5_rad[k],
                            f.angle6_rad[k], f.angle7_rad[k]);
  }
  if (!written) {
    s.message = where + "writing the file failed";
    return false;
  }
  ++s.frames;
  return true;
}

bool HistoryFrameWriter::close() {
  if (!state_->writer.close()) {
    if (state_->message.empty()) state_->message = "writing the file failed";
    return false;
  }
  return true;
}

const std::string& HistoryFrameWriter::message() const { return state_->message; }

}  // namespace pairtrack
