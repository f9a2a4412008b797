// convert: the text form back into a history file. Frame structure is checked line by line;
// values that the chosen encoding cannot hold exactly are rounded (float32) or quantised
// (scaled 16-bit) and counted, values it cannot hold at all are refused with their line number.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>

#include "commands.h"
#include "history_text.h"
#include "pairtrack/history.h"

namespace pairtrack::history_tool {

namespace {

// Checks each value as one encoding stores it, counts those it changes, and gathers a frame's
// records for the public frame writer.
class RecordEncoder {
 public:
  explicit RecordEncoder(HistoryFormat enc) : enc_(enc) {}

  std::int64_t values() const { return values_; }
  std::int64_t changed() const { return changed_; }
  HistoryFrame& frame() { return frame_; }

  // Starts a frame. False with `error` set when a value or count cannot be stored.
  bool header(const HeaderValues& h, std::string& error) {
    if (!count_fits(h.nrec1, "nrec1", error) || !count_fits(h.nrec2, "nrec2", error)) return false;
    ++values_;
    if (!store(HistoryField::time, h.time, "time", error)) return false;
    frame_.clear();
    frame_.time = h.time;
    frame_.nrec1 = h.nrec1;
    frame_.nrec2 = h.nrec2;
    return true;
  }

  bool body(const BodyValues& b, std::string& error) {
    if (b.id < -32768 || b.id > 32767) {
      error = "body identifier " + std::to_string(b.id) + " does not fit 16 bits";
      return false;
    }
    const double v[6] = {b.a, b.e, b.inc, b.angle5, b.angle6, b.angle7};
    static const char* const kNames[6] = {"a", "e", "inc", "angle5", "angle6", "angle7"};
    values_ += 6;
    for (int i = 0; i < 6; ++i) {
      const HistoryField field = i == 0   ? HistoryField::a
                                 : i == 1 ? HistoryField::e
                                          : HistoryField::angle;
      if (!store(field, v[i], kNames[i], error)) return false;
    }
    frame_.id.push_back(b.id);
    frame_.a_au.push_back(b.a);
    frame_.e.push_back(b.e);
    frame_.inc_rad.push_back(b.inc);
    frame_.angle5_rad.push_back(b.angle5);
    frame_.angle6_rad.push_back(b.angle6);
    frame_.angle7_rad.push_back(b.angle7);
    return true;
  }

 private:
  static bool count_fits(std::int32_t n, const char* name, std::string& error) {
    if (n >= -32768 && n <= 32767) return true;
    error = std::string(name) + " = " + std::to_string(n) + " does not fit 16 bits";
    return false;
  }
  // One value as the encoding stores it: refused when it cannot be held, counted when it is
  // rounded (float32) or moved to the grid (scaled).
  bool store(HistoryField field, double v, const char* name, std::string& error) {
    const std::optional<double> stored = history_stored_value(enc_, field, v);
    if (!stored) {
      if (enc_ == HistoryFormat::float32) {
        error = std::string(name) + " = " + format_real(v) + " overflows float32";
      } else if (field == HistoryField::time) {
        error = "time " + format_real(v) + " lies outside what format 0 can store";
      } else {
        error = std::string(name) + " = " + format_real(v) +
                (field == HistoryField::a   ? " lies outside 1e-6 .. 1e6 AU, the range of format 0"
                 : field == HistoryField::e ? " lies outside 1e-3 .. 1e3, the range of format 0"
                                            : " lies outside -2 pi .. 2 pi, the range of format 0");
      }
      return false;
    }
    if (!std::isnan(v) && *stored != v) ++changed_;
    return true;
  }

  HistoryFormat enc_;
  HistoryFrame frame_;
  std::int64_t values_ = 0;
  std::int64_t changed_ = 0;
};

}  // namespace

int convert_history(const ConvertOptions& o, std::istream& in, std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  std::ifstream text_file;
  std::istream* text = &in;
  const bool from_stdin = o.text_path == "-";
  if (!from_stdin) {
    std::error_code ec;
    if (std::filesystem::equivalent(o.text_path, o.output_path, ec)) {
      err << prefix << "the output file " << o.output_path
          << " is the text being converted; name another file\n";
      return 1;
    }
    if (std::filesystem::is_directory(o.text_path, ec)) {
      err << prefix << "cannot read " << o.text_path << ": it is a directory\n";
      return 1;
    }
    text_file.open(o.text_path);
    if (!text_file.is_open()) {
      err << prefix << "cannot open " << o.text_path << '\n';
      return 1;
    }
    text = &text_file;
  }
  const std::string source = from_stdin ? std::string("standard input") : o.text_path;

  HistoryFrameWriter writer;
  if (!writer.open(o.output_path, o.format)) {
    err << prefix << "cannot create " << o.output_path << '\n';
    return 1;
  }
  // Every failure below leaves no half-written history file behind.
  auto fail = [&](const std::string& message) {
    writer.close();
    std::error_code ec;
    std::filesystem::remove(o.output_path, ec);
    err << prefix << message << '\n';
    return 1;
  };

  RecordEncoder encoder(o.format);
  std::int64_t line_number = 0;
  std::int64_t frame_line = 0;  // line of the current frame header, 0 before the first
  std::int64_t announced = 0;   // body records the current header announces
  std::int64_t given = 0;       // body lines given for it so far
  std::string error;
  // Writes the frame once its last body line is read.
  auto complete = [&]() {
    if (given < announced || writer.write(encoder.frame())) return true;
    error = "the record could not be written";
    return false;
  };
  auto short_frame = [&]() {
    return source + ": the frame at line " + std::to_string(frame_line) + " announces " +
           std::to_string(announced) + " body records, but " + std::to_string(given) +
           " body lines follow it";
  };
  for (std::string line; std::getline(*text, line);) {
    ++line_number;
    const std::string where = source + ":" + std::to_string(line_number) + ": ";
    TextLine parsed;
    if (!parse_text_line(line, parsed, error)) return fail(where + error);
    if (parsed.kind == TextLine::Kind::header) {
      if (given < announced) return fail(short_frame());
      frame_line = line_number;
      announced = history_body_records(parsed.header.nrec1, parsed.header.nrec2);
      given = 0;
      if (!encoder.header(parsed.header, error) || !complete()) return fail(where + error);
    } else if (parsed.kind == TextLine::Kind::body) {
      if (frame_line == 0) return fail(where + "a body line before the first frame line");
      if (given == announced) {
        return fail(where + "one body line more than the " + std::to_string(announced) +
                    " that the frame at line " + std::to_string(frame_line) + " announces");
      }
      ++given;
      if (!encoder.body(parsed.body, error) || !complete()) return fail(where + error);
    }
  }
  if (text->bad()) return fail("cannot read " + source);
  if (given < announced) return fail(short_frame());
  if (!writer.close()) {
    std::error_code ec;
    std::filesystem::remove(o.output_path, ec);
    err << prefix << "error writing " << o.output_path << '\n';
    return 1;
  }

  if (o.format == HistoryFormat::scaled_int16) {
    err << prefix << "format 0 stores quantised values: " << encoder.changed() << " of "
        << encoder.values()
        << " values moved to the nearest point of its grid (times in steps of 0.01, a and e on "
           "logarithmic grids, angles in steps of 6.28318530717958/32767)\n";
  } else if (o.format == HistoryFormat::float32 && encoder.changed() > 0) {
    err << prefix << "note: " << encoder.changed() << " of " << encoder.values()
        << " values were rounded to float32\n";
  }
  return 0;
}

}  // namespace pairtrack::history_tool
