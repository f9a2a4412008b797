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
#include "io/history/history_scaled_i2.h"
#include "io/history/history_summary.h"
#include "io/history/history_writer.h"

namespace pairtrack::detail::history_tool {

namespace {

// Writes records in one encoding and counts the values it changed.
class RecordEncoder {
 public:
  RecordEncoder(HistoryWriter& w, HistoryFormat enc) : w_(w), enc_(enc) {}

  std::int64_t values() const { return values_; }
  std::int64_t changed() const { return changed_; }

  // False with `error` set when a value or count cannot be stored.
  bool header(const HeaderValues& h, std::string& error) {
    if (!count_fits(h.nrec1, "nrec1", error) || !count_fits(h.nrec2, "nrec2", error)) return false;
    ++values_;
    if (enc_ == HistoryFormat::scaled_int16) {
      const std::optional<ScaledTime> q = quantise_scaled_time(h.time);
      if (!q) {
        error = "time " + format_real(h.time) + " lies outside what format 0 can store";
        return false;
      }
      if (decode_scaled_time(q->h1, q->h2, q->h3) != h.time) ++changed_;
      return written(w_.header_i2(q->h1, q->h2, q->h3, static_cast<std::int16_t>(h.nrec1),
                                  static_cast<std::int16_t>(h.nrec2)),
                     error);
    }
    if (enc_ == HistoryFormat::float32 && !narrow(h.time, "time", error)) return false;
    return written(w_.header(enc_, h.time, h.nrec1, h.nrec2), error);
  }

  bool body(const BodyValues& b, std::string& error) {
    if (b.id < -32768 || b.id > 32767) {
      error = "body identifier " + std::to_string(b.id) + " does not fit 16 bits";
      return false;
    }
    const double v[6] = {b.a, b.e, b.inc, b.angle5, b.angle6, b.angle7};
    static const char* const kNames[6] = {"a", "e", "inc", "angle5", "angle6", "angle7"};
    values_ += 6;
    if (enc_ == HistoryFormat::scaled_int16) {
      std::int16_t k[6];
      for (int i = 0; i < 6; ++i) {
        const std::optional<std::int16_t> q = i == 0   ? quantise_scaled_a(v[i])
                                              : i == 1 ? quantise_scaled_e(v[i])
                                                       : quantise_scaled_angle(v[i]);
        if (!q) {
          error = std::string(kNames[i]) + " = " + format_real(v[i]) +
                  (i == 0   ? " lies outside 1e-6 .. 1e6 AU, the range of format 0"
                   : i == 1 ? " lies outside 1e-3 .. 1e3, the range of format 0"
                            : " lies outside -2 pi .. 2 pi, the range of format 0");
          return false;
        }
        k[i] = *q;
        const double back = i == 0   ? decode_scaled_a(*q)
                            : i == 1 ? decode_scaled_e(*q)
                                     : decode_scaled_angle(*q);
        if (back != v[i]) ++changed_;
      }
      return written(
          w_.body_i2(static_cast<std::int16_t>(b.id), k[0], k[1], k[2], k[3], k[4], k[5]), error);
    }
    if (enc_ == HistoryFormat::float32) {
      for (int i = 0; i < 6; ++i) {
        if (!narrow(v[i], kNames[i], error)) return false;
      }
    }
    return written(w_.body(enc_, b.id, b.a, b.e, b.inc, b.angle5, b.angle6, b.angle7), error);
  }

 private:
  static bool count_fits(std::int32_t n, const char* name, std::string& error) {
    if (n >= -32768 && n <= 32767) return true;
    error = std::string(name) + " = " + std::to_string(n) + " does not fit 16 bits";
    return false;
  }
  // Float32 storage of one value: refused when it overflows, counted when it is rounded.
  bool narrow(double v, const char* name, std::string& error) {
    const float f = static_cast<float>(v);
    if (std::isfinite(v) && !std::isfinite(f)) {
      error = std::string(name) + " = " + format_real(v) + " overflows float32";
      return false;
    }
    if (!std::isnan(v) && static_cast<double>(f) != v) ++changed_;
    return true;
  }
  static bool written(bool ok, std::string& error) {
    if (!ok) error = "the record could not be written";
    return ok;
  }

  HistoryWriter& w_;
  HistoryFormat enc_;
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

  HistoryWriter writer;
  if (!writer.open(o.output_path)) {
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

  RecordEncoder encoder(writer, o.format);
  std::int64_t line_number = 0;
  std::int64_t frame_line = 0;  // line of the current frame header, 0 before the first
  std::int64_t announced = 0;   // body records the current header announces
  std::int64_t given = 0;       // body lines given for it so far
  std::string error;
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
      announced = std::int64_t{std::max(parsed.header.nrec1 - 1, 0)} +
                  std::int64_t{std::max(parsed.header.nrec2, 0)};
      given = 0;
      if (!encoder.header(parsed.header, error)) return fail(where + error);
    } else if (parsed.kind == TextLine::Kind::body) {
      if (frame_line == 0) return fail(where + "a body line before the first frame line");
      if (given == announced) {
        return fail(where + "one body line more than the " + std::to_string(announced) +
                    " that the frame at line " + std::to_string(frame_line) + " announces");
      }
      ++given;
      if (!encoder.body(parsed.body, error)) return fail(where + error);
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

}  // namespace pairtrack::detail::history_tool
