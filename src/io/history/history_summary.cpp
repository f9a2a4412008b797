// Frame walk over raw records: headers decoded for their time and counts, body records only
// measured. Truncation and damage are located by frame, record and byte offset.
#include "io/history/history_summary.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "io/history/history_file.h"
#include "io/history/history_scaled_i2.h"

namespace pairtrack::detail {

namespace {

// Opens `path` for a walk. A directory is named like every other path that is no regular
// file, so that the tool's messages do not depend on which kind it is.
bool open_for_walk(HistoryFile& file, const std::string& path, std::string& error) {
  if (file.open(path, &error)) return true;
  if (error == std::strerror(EISDIR)) error = "not a regular file";
  return false;
}

// Opens `path` and reads its first record raw.
bool open_at_first_record(HistoryFile& file, const std::string& path, RawRecord& first,
                          std::string& error) {
  if (!open_for_walk(file, path, error)) return false;
  file.read_raw(first);
  return true;
}

std::string offset_text(std::uint64_t offset) { return "byte " + std::to_string(offset); }

// Why a record cannot be used, for the end detail.
std::string status_text(const RawRecord& r) {
  switch (r.status) {
    case RecordStatus::truncated: return "the file ends inside it";
    case RecordStatus::bad_marker: return "its length marker is negative";
    case RecordStatus::io_error:
      return std::string("the system reported a read error: ") + std::strerror(r.error_number);
    default: return "";
  }
}

bool is_text_byte(unsigned char c) {
  return (c >= 0x20 && c < 0x7f) || c == '\t' || c == '\n' || c == '\r';
}

// The first record of a file judged as the start of a history file, which is the length
// marker of a frame header: a small binary number (8, 10 or 12 as the program writes them).
// Text there, a negative length, or a length beyond both the file and any record the
// encodings need mean a file of another kind (a catalogue, a run file or a report given by
// mistake). A short length beyond the file is a header still being written, and may pass.
std::string not_history_reason(const RawRecord& first, std::uint64_t file_bytes) {
  const std::size_t n = first.marker_bytes;
  const std::string first_bytes =
      n == 1 ? "its first byte" : "its first " + std::to_string(n) + " bytes";
  if (n > 0 && std::all_of(first.marker.begin(), first.marker.begin() + n, is_text_byte)) {
    std::string shown;
    for (std::size_t i = 0; i < n; ++i) {
      const char c = static_cast<char>(first.marker[i]);
      shown += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    return first_bytes + (n == 1 ? " is" : " are") + " text ('" + shown +
           "'), not a record length marker";
  }
  if (first.status == RecordStatus::bad_marker) {
    return first_bytes + " give a negative record length (" + std::to_string(first.length) +
           "), not a record length marker";
  }
  if (first.status == RecordStatus::truncated && n == kMarkerBytes &&
      static_cast<std::size_t>(first.length) > kMaxPayloadBytes) {
    return first_bytes + " give a record length of " + std::to_string(first.length) +
           " bytes, larger than the whole file (" + std::to_string(file_bytes) + " bytes)";
  }
  return "";
}

void decode_header(HistoryFormat enc, const RawRecord& r, double& time, std::int32_t& nrec1,
                   std::int32_t& nrec2) {
  const unsigned char* p = r.head.data();
  const std::size_t t = time_field_bytes(enc);
  if (enc == HistoryFormat::scaled_int16) {
    time = decode_scaled_time(load_i16(p), load_i16(p + 2), load_i16(p + 4));
  } else if (enc == HistoryFormat::float32) {
    time = static_cast<double>(load_f32(p));
  } else {
    time = load_f64(p);
  }
  nrec1 = load_i16(p + t);
  nrec2 = load_i16(p + t + 2);
}

}  // namespace

bool walk_history(const std::string& path, HistoryFormat enc, LengthRule rule, HistorySummary& s,
                  std::string& error) {
  HistoryFile file;
  if (!open_for_walk(file, path, error)) return false;
  s = HistorySummary{};
  s.format = enc;
  s.file_bytes = file.size();

  RawRecord r;
  // Checks one record of the frame against the encoding. Returns false (and ends the walk as
  // truncated or damaged) when it cannot be used; `what` names it for the detail.
  auto usable = [&](const std::string& what, std::size_t needed) {
    if (r.status != RecordStatus::ok) {
      s.end = r.status == RecordStatus::truncated  ? HistoryReadStatus::truncated
              : r.status == RecordStatus::io_error ? HistoryReadStatus::read_error
                                                   : HistoryReadStatus::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + ": " + status_text(r);
      return false;
    }
    const auto length = static_cast<std::size_t>(r.length);
    if (length < needed || (rule == LengthRule::exact && length != needed)) {
      s.end = HistoryReadStatus::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + " has a payload of " +
                     std::to_string(length) + " bytes; format " + history_format_name(enc) +
                     " needs " + std::to_string(needed);
      return false;
    }
    ++s.records;
    if (length != needed || r.trailing != r.length) {
      if (s.irregular_records == 0) s.first_irregular_offset = r.offset;
      ++s.irregular_records;
    }
    return true;
  };

  for (std::int64_t frame = 1;; ++frame) {
    file.read_raw(r);
    if (r.status == RecordStatus::end_of_file) break;
    const std::string frame_text = "frame " + std::to_string(frame);
    if (!usable("the header of " + frame_text, header_payload_bytes(enc))) break;
    double time = 0.0;
    std::int32_t nrec1 = 0, nrec2 = 0;
    decode_header(enc, r, time, nrec1, nrec2);
    const std::int64_t bodies = history_body_records(nrec1, nrec2);
    bool complete = true;
    for (std::int64_t b = 1; b <= bodies; ++b) {
      file.read_raw(r);
      const std::string what = "body record " + std::to_string(b) + " of " +
                               std::to_string(bodies) + " of " + frame_text;
      if (r.status == RecordStatus::end_of_file) {
        s.end = HistoryReadStatus::truncated;
        s.end_detail = what + ": the file ends before it, at " + offset_text(r.offset);
        complete = false;
        break;
      }
      if (!usable(what, body_payload_bytes(enc))) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    if (s.frames == 0) {
      s.time_first = time;
      s.bodies_min = s.bodies_max = bodies;
    }
    s.time_last = time;
    s.bodies_min = std::min(s.bodies_min, bodies);
    s.bodies_max = std::max(s.bodies_max, bodies);
    if (bodies == 0) {
      if (s.empty_frames == 0) s.first_empty_frame = frame;
      ++s.empty_frames;
    }
    s.body_records += bodies;
    ++s.frames;
  }
  return true;
}

bool read_history_start(const std::string& path, HistoryStart& start, std::string& error) {
  start = HistoryStart{};
  HistoryFile file;
  RawRecord first;
  if (!open_at_first_record(file, path, first, error)) return false;
  if (first.status == RecordStatus::io_error) {
    start.read_error = std::strerror(first.error_number);
  } else {
    start.not_history = not_history_reason(first, file.size());
  }
  return true;
}

bool detect_encoding(const std::string& path, HistoryFormatDetection& d, std::string& error) {
  d = HistoryFormatDetection{};
  HistoryFile file;
  RawRecord first;
  if (!open_at_first_record(file, path, first, error)) return false;
  if (first.status == RecordStatus::end_of_file) {
    d.explanation = "the file is empty, so its encoding cannot be told";
    return true;
  }
  if (first.status == RecordStatus::io_error) {
    error = std::string("read error at byte 0: ") + std::strerror(first.error_number);
    return false;
  }
  if (const std::string why = not_history_reason(first, file.size()); !why.empty()) {
    d.explanation = "not a history file: " + why;
    return true;
  }
  if (first.status != RecordStatus::ok) {
    d.explanation = "the first record, at byte 0, cannot be read: " + status_text(first);
    return true;
  }
  const auto first_length = static_cast<std::size_t>(first.length);
  constexpr HistoryFormat kAll[] = {HistoryFormat::scaled_int16, HistoryFormat::float32,
                                    HistoryFormat::float64};

  // The first header's length names the encoding: each writes headers of its own length.
  for (const HistoryFormat enc : kAll) {
    if (header_payload_bytes(enc) != first_length) continue;
    d.format = enc;
    HistorySummary exact;
    if (!walk_history(path, enc, LengthRule::exact, exact, error)) return false;
    if (exact.end != HistoryReadStatus::damaged) {
      d.exact = true;
      d.summary = exact;
      d.explanation = "every header payload is " + std::to_string(header_payload_bytes(enc)) +
                      " bytes and every body payload " + std::to_string(body_payload_bytes(enc));
      return true;
    }
    // Walked as the readers would: longer records pass, shorter ones are damage.
    if (!walk_history(path, enc, LengthRule::lenient, d.summary, error)) return false;
    d.explanation =
        "the first header payload is " + std::to_string(first_length) + " bytes, as format " +
        history_format_name(enc) + " writes it" +
        (d.summary.end == HistoryReadStatus::damaged ? ""
                                                     : "; some records are longer than it needs");
    return true;
  }

  // No header length matches: the encodings whose readers accept every record, those that
  // reach the end of the file cleanly before those that find it cut short.
  std::vector<HistorySummary> clean, cut;
  for (const HistoryFormat enc : kAll) {
    HistorySummary s;
    if (!walk_history(path, enc, LengthRule::lenient, s, error)) return false;
    if (s.end == HistoryReadStatus::end) clean.push_back(s);
    if (s.end == HistoryReadStatus::truncated) cut.push_back(s);
  }
  const std::vector<HistorySummary>& fits = clean.empty() ? cut : clean;
  if (fits.size() == 1) {
    d.format = fits.front().format;
    d.summary = fits.front();
    d.explanation = "no header length matches exactly (the first is " +
                    std::to_string(first_length) +
                    " bytes); only the readers of this format "
                    "accept every record";
    return true;
  }
  if (fits.empty()) {
    d.explanation = "no encoding fits: the first record's payload is " +
                    std::to_string(first_length) +
                    " bytes, not 10, 8 or 12, and no encoding's readers accept every record";
    return true;
  }
  std::string names;
  for (std::size_t i = 0; i < fits.size(); ++i) {
    names += (i == 0                 ? ""
              : i + 1 == fits.size() ? " and "
                                     : ", ") +
             std::string(1, static_cast<char>('0' + static_cast<int>(fits[i].format)));
  }
  d.explanation = "ambiguous: the first record's payload is " + std::to_string(first_length) +
                  " bytes, no header length matches it exactly, and the readers of formats " +
                  names + " accept every record; give --format";
  return true;
}

}  // namespace pairtrack::detail
