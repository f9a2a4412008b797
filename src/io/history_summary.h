// What a history file holds, walked frame by frame in one encoding: frame count, time span
// (the file's own time unit), bodies per frame, and how the data end (cleanly, cut short, or at
// a damaged record). Also tells the encoding of a file from its record lengths alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "io/history_layout.h"

namespace pairtrack::detail::history_tool {

// How a walk treats a record longer than the encoding needs. The record readers accept it and
// skip the extra bytes (lenient); telling the encoding requires every length to be exact.
enum class LengthRule { exact, lenient };

struct HistorySummary {
  HistoryEncoding encoding = HistoryEncoding::f8;
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

  enum class End {
    clean,       // the last frame ends with the file
    truncated,   // the file ends inside a record or before a frame's last body record
    damaged,     // a record that the readers would refuse (too short, bad marker)
    read_error,  // the operating system failed to read a record (pairtrack ends with an error)
  };
  End end = End::clean;
  std::string end_detail;  // for truncated and damaged: where and what, one sentence
};

// Walks the whole file in `encoding`. False with `error` set when the file cannot be opened.
bool summarise_history(const std::string& path, HistoryEncoding encoding, LengthRule rule,
                       HistorySummary& summary, std::string& error);

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

// The encoding of a file as told by its record lengths.
struct Detection {
  std::optional<HistoryEncoding> encoding;  // empty: none or several fit
  bool exact = false;                       // every record has exactly the length of the encoding
  std::string explanation;  // one sentence: why this encoding, or why none can be told
  // The walk in the detected encoding (valid when encoding is set); its end may be damaged
  // when the first header names the encoding but a later record is too short for it.
  HistorySummary summary;
};

// Tells the encoding. The first header's payload length names it (10, 8 or 12 bytes for
// formats 0, 1 and 2): exact when every later record has the encoding's length too (body
// payload 14, 26 or 50 bytes), otherwise walked as the readers would, which may end at a
// damaged record. When the first length matches no header, the one encoding whose readers
// accept every record (preferring a clean end to a truncated one); none when there are several
// (ambiguous) or none, or the file is empty or not a history file (check_history_start). False
// with `error` set when the file cannot be opened or its first bytes cannot be read.
bool detect_encoding(const std::string& path, Detection& detection, std::string& error);

// "0 (16-bit scaled)", "1 (float32)" or "2 (float64)".
std::string encoding_name(HistoryEncoding encoding);

}  // namespace pairtrack::detail::history_tool
