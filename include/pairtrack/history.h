// pairtrack public API: the binary history file (population 2 of a run, an orbital
// integration's output).
//
// A sequence of records, each framed by two 4-byte little-endian length markers. A frame is a
// header record (time, nrec1, nrec2) followed by nrec1 - 1 + nrec2 body records (a negative
// part counts as 0): identifier, a (AU), e, inclination and three further angles (radians).
// Three encodings, numbered by the program's format code:
//   0  scaled int16: header 5 x int16, body 7 x int16 on fixed grids (time in steps of 0.01,
//      a = 10^(6k/32767) AU, e = 10^(3k/32767), angles k * 6.28318530717958 / 32767);
//   1  float32 time and values, int16 counts and identifiers;
//   2  float64 time and values, int16 counts and identifiers.
// Times are in the integration's own unit (the program divides them by its time_divisor).
// Reading uses the program's own record readers, so the values have the bits the program sees.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pairtrack {

enum class HistoryFormat : std::int32_t {
  scaled_int16 = 0,
  float32 = 1,
  float64 = 2,
};

// "0 (16-bit scaled)", "1 (float32)" or "2 (float64)".
std::string history_format_name(HistoryFormat format);

// The format code 0, 1 or 2 as a HistoryFormat; empty for any other value.
std::optional<HistoryFormat> history_format_from_code(std::int64_t code);

// The kinds of value a record holds; the scaled encoding puts each on a grid of its own.
enum class HistoryField {
  time,   // the frame time (the file's own unit)
  a,      // semimajor axis, AU
  e,      // eccentricity
  angle,  // inclination and the three further angles, radians
};

// `value`, a `field`, as `format` stores it and the readers give it back: unchanged in
// float64, rounded to float32 (infinities and NaN kept), or moved to the nearest point of the
// scaled grid. Empty when the format cannot hold it: a finite value that overflows float32, a
// value off the scaled grid (not finite, a or e not positive, beyond either end).
std::optional<double> history_stored_value(HistoryFormat format, HistoryField field, double value);

// The body records that follow a header with these counts: nrec1 - 1 + nrec2, where a negative
// part counts as 0 (formed in 64 bits, so no count overflows).
constexpr std::int64_t history_body_records(std::int32_t nrec1, std::int32_t nrec2) {
  return std::max<std::int64_t>(std::int64_t{nrec1} - 1, 0) + std::max<std::int64_t>(nrec2, 0);
}

// One frame. bodies() = id.size(); every array has that length.
struct HistoryFrame {
  double time = 0.0;       // the file's own unit
  std::int32_t nrec1 = 0;  // header counts as stored: nrec1 - 1 + nrec2 body records follow
  std::int32_t nrec2 = 0;
  std::vector<std::int32_t> id;
  std::vector<double> a_au, e, inc_rad, angle5_rad, angle6_rad, angle7_rad;

  std::size_t bodies() const { return id.size(); }
  // Empties the arrays and sets time and counts to 0.
  void clear();
};

// How reading a history file ended, or stands: the one vocabulary of the frame reader
// (HistoryFrameReader::Status) and of a file's summary (HistorySummary::end).
enum class HistoryReadStatus {
  frame,       // the reader: `frame` holds the next complete frame
  end,         // the file ended cleanly after the last frame
  truncated,   // the file ends inside a record or before a frame's last body record (a file
               // still being written); that frame is incomplete and left out
  damaged,     // a record the readers refuse (too short for the encoding, a negative length
               // marker)
  read_error,  // the operating system failed to read a record (pairtrack ends with an error)
};

// What a history file holds, walked frame by frame in one format, as `pairtrack-history info`
// shows it. Times are in the file's own unit.
struct HistorySummary {
  HistoryFormat format = HistoryFormat::float64;
  std::uint64_t file_bytes = 0;
  std::int64_t records = 0;       // complete records walked
  std::int64_t frames = 0;        // complete frames
  std::int64_t body_records = 0;  // body records of the complete frames
  double time_first = 0.0;        // time of the first and the last complete frame
  double time_last = 0.0;
  std::int64_t bodies_min = 0;  // body records per complete frame
  std::int64_t bodies_max = 0;
  std::int64_t empty_frames = 0;  // frames whose header announces no body records
  std::int64_t first_empty_frame = 0;
  // Records longer than the encoding needs, or whose trailing marker differs from the leading
  // one: the readers accept both, but they are unusual.
  std::int64_t irregular_records = 0;
  std::uint64_t first_irregular_offset = 0;
  // How the data end: end (the last frame ends with the file), truncated, damaged or
  // read_error; never frame.
  HistoryReadStatus end = HistoryReadStatus::end;
  std::string end_detail;  // for the other ends: where and what, one sentence
};

// Walks the whole file at `path` in `format` as the record readers would (a record longer than
// the encoding needs is accepted). False with `error` set (the system's reason, or "not a
// regular file") when the file cannot be opened.
bool summarise_history(const std::string& path, HistoryFormat format, HistorySummary& summary,
                       std::string& error);

// What the first bytes of a file say before any walk.
struct HistoryStart {
  // Why the file cannot be a history file (its first bytes are text, or a length marker that is
  // negative or far beyond the file); empty when it may be one.
  std::string not_history;
  // The system's reason (e.g. "Input/output error") when the first bytes cannot be read.
  std::string read_error;
};

// Reads the first record's length marker of the file at `path`. False with `error` set when the
// file cannot be opened.
bool check_history_start(const std::string& path, HistoryStart& start, std::string& error);

// The encoding of a file told from its record lengths, as `pairtrack-history info` tells it.
struct HistoryFormatDetection {
  std::optional<HistoryFormat> format;  // empty: no encoding fits, or several do
  bool exact = false;                   // every record has exactly the length of the encoding
  std::string explanation;              // one sentence: why this encoding, or why none can be told
  // The walk in the detected format (valid when format is set); its end may be damaged when
  // the first header names the format but a later record is too short for it.
  HistorySummary summary;
};

// Tells the encoding of the file at `path`. The first header's payload length names it (10, 8
// or 12 bytes for formats 0, 1 and 2): exact when every later record has the encoding's length
// too (body payload 14, 26 or 50 bytes), otherwise walked as the readers would, which may end
// at a damaged record. When the first length matches no header, the one encoding whose readers
// accept every record (preferring a clean end to a truncated one); none when there are several
// (ambiguous) or none, or the file is empty or not a history file (check_history_start). False
// with `error` set (e.g. "No such file or directory") when the file cannot be opened or its
// first bytes cannot be read.
bool detect_history_format(const std::string& path, HistoryFormatDetection& detection,
                           std::string& error);

// Reads a history file frame by frame.
class HistoryFrameReader {
 public:
  // frame, end, truncated (the next frame is incomplete and not returned; message() says
  // where), damaged (message() says which record and why) or read_error (message() gives the
  // system's reason).
  using Status = HistoryReadStatus;

  HistoryFrameReader();
  ~HistoryFrameReader();
  HistoryFrameReader(const HistoryFrameReader&) = delete;
  HistoryFrameReader& operator=(const HistoryFrameReader&) = delete;

  // Opens `path` in `format`. False when it cannot be opened (missing, not a regular file);
  // message() is then "cannot open PATH".
  bool open(const std::string& path, HistoryFormat format);

  // The next frame. After any status other than `frame`, further calls return the same status.
  // A frame whose header announces no body records is returned like any other (the program
  // ends its data at such a frame).
  Status next(HistoryFrame& frame);

  // Frames returned so far.
  std::int64_t frames_read() const;
  // What ended the data; empty after `end`. For `truncated` a phrase to follow the file's
  // name ("ends inside frame 7 (3 of 40 body records complete)"), for `damaged` a sentence
  // ("body record 2 of frame 1 cannot be read as format 2 (float64): its payload is shorter
  // than the encoding needs").
  const std::string& message() const;
  HistoryFormat format() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Writes a history file frame by frame.
class HistoryFrameWriter {
 public:
  HistoryFrameWriter();
  ~HistoryFrameWriter();
  HistoryFrameWriter(const HistoryFrameWriter&) = delete;
  HistoryFrameWriter& operator=(const HistoryFrameWriter&) = delete;

  // Creates or empties `path`. False when it cannot be created (message() says so).
  bool open(const std::string& path, HistoryFormat format);

  // Appends one frame. False, writing nothing of the frame, when the arrays differ in length,
  // the body count differs from max(nrec1 - 1, 0) + max(nrec2, 0), or a value cannot be
  // stored in the encoding (a count or identifier outside int16, a value overflowing float32,
  // a value off the scaled grid); message() says which.
  bool write(const HistoryFrame& frame);

  // Flushes and closes. False when any write or the close failed.
  bool close();

  const std::string& message() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pairtrack
