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

// The encoding of a file told from its record lengths, as `pairtrack-history info` tells it.
struct HistoryFormatDetection {
  std::optional<HistoryFormat> format;  // empty: no encoding fits, or several do
  bool exact = false;                   // every record has exactly the length of the encoding
  std::string explanation;              // one sentence: why this encoding, or why none can be told
};

// Tells the encoding of the file at `path`. The first header's payload length names it (10, 8
// or 12 bytes for formats 0, 1 and 2); when it matches none, the one encoding whose readers
// accept every record; none for a file whose first bytes show it is not a history file (text,
// for instance). False with `error` set (e.g. "no such file or directory") when the file
// cannot be opened or its first bytes cannot be read.
bool detect_history_format(const std::string& path, HistoryFormatDetection& detection,
                           std::string& error);

// Reads a history file frame by frame.
class HistoryFrameReader {
 public:
  enum class Status {
    frame,      // `frame` holds the next complete frame
    end,        // the file ended cleanly after the last frame
    truncated,  // the file ends inside the next frame (a file still being written): that
                // frame is incomplete and not returned; message() says where
    damaged,    // a record the readers refuse (too short for the encoding, a negative length
                // marker) or a read error; message() says which
  };

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
