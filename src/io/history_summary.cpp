// Frame walk over raw records: headers decoded for their time and counts, body records only
// measured. Truncation and damage are located by frame, record and byte offset.
#include "io/history_summary.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "io/history_scaled_i2.h"
#include "io/record_scan.h"

namespace pairtrack::detail::history_tool {

namespace {

std::string offset_text(std::uint64_t offset) { return "byte " + std::to_string(offset); }

// Why a record cannot be used, for the end detail.
std::string status_text(const RawRecord& r) {
  switch (r.status) {
    case RawRecord::Status::truncated: return "the file ends inside it";
    case RawRecord::Status::bad_marker: return "its length marker is negative";
    case RawRecord::Status::io_error:
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
  if (first.status == RawRecord::Status::bad_marker) {
    return first_bytes + " give a negative record length (" + std::to_string(first.length) +
           "), not a record length marker";
  }
  if (first.status == RawRecord::Status::truncated && n == kMarkerBytes &&
      static_cast<std::size_t>(first.length) > kMaxPayloadBytes) {
    return first_bytes + " give a record length of " + std::to_string(first.length) +
           " bytes, larger than the whole file (" + std::to_string(file_bytes) + " bytes)";
  }
  return "";
}

void decode_header(HistoryEncoding enc, const RawRecord& r, double& time, std::int32_t& nrec1,
                   std::int32_t& nrec2) {
  const unsigned char* p = r.head.data();
  const std::size_t t = time_field_bytes(enc);
  if (enc == HistoryEncoding::i2) {
    time = decode_scaled_time(load_i16(p), load_i16(p + 2), load_i16(p + 4));
  } else if (enc == HistoryEncoding::f4) {
    time = static_cast<double>(load_f32(p));
  } else {
    time = load_f64(p);
  }
  nrec1 = load_i16(p + t);
  nrec2 = load_i16(p + t + 2);
}

}  // namespace

std::string encoding_name(HistoryEncoding encoding) {
  switch (encoding) {
    case HistoryEncoding::i2: return "0 (16-bit scaled)";
    case HistoryEncoding::f4: return "1 (float32)";
    default: return "2 (float64)";
  }
}

bool summarise_history(const std::string& path, HistoryEncoding enc, LengthRule rule,
                       HistorySummary& s, std::string& error) {
  RawRecordFile file;
  if (!file.open(path, error)) return false;
  s = HistorySummary{};
  s.encoding = enc;
  s.file_bytes = file.size();

  RawRecord r;
  // Checks one record of the frame against the encoding. Returns false (and ends the walk as
  // truncated or damaged) when it cannot be used; `what` names it for the detail.
  auto usable = [&](const std::string& what, std::size_t needed) {
    if (r.status != RawRecord::Status::ok) {
      s.end = r.status == RawRecord::Status::truncated  ? HistorySummary::End::truncated
              : r.status == RawRecord::Status::io_error ? HistorySummary::End::read_error
                                                        : HistorySummary::End::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + ": " + status_text(r);
      return false;
    }
    const auto length = static_cast<std::size_t>(r.length);
    if (length < needed || (rule == LengthRule::exact && length != needed)) {
      s.end = HistorySummary::End::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + " has a payload of " +
                     std::to_string(length) + " bytes; format " + encoding_name(enc) + " needs " +
                     std::to_string(needed);
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
    file.next(r);
    if (r.status == RawRecord::Status::end) break;
    const std::string frame_text = "frame " + std::to_string(frame);
    if (!usable("the header of " + frame_text, header_payload_bytes(enc))) break;
    double time = 0.0;
    std::int32_t nrec1 = 0, nrec2 = 0;
    decode_header(enc, r, time, nrec1, nrec2);
    const std::int64_t bodies =
        std::int64_t{std::max(nrec1 - 1, 0)} + std::int64_t{std::max(nrec2, 0)};
    bool complete = true;
    for (std::int64_t b = 1; b <= bodies; ++b) {
      file.next(r);
      const std::string what = "body record " + std::to_string(b) + " of " +
                               std::to_string(bodies) + " of " + frame_text;
      if (r.status == RawRecord::Status::end) {
        s.end = HistorySummary::End::truncated;
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

bool check_history_start(const std::string& path, HistoryStart& start, std::string& error) {
  start = HistoryStart{};
  RawRecordFile file;
  if (!file.open(path, error)) return false;
  RawRecord first;
  file.next(first);
  if (first.status == RawRecord::Status::io_error) {
    start.read_error = std::strerror(first.error_number);
  } else {
    start.not_history = not_history_reason(first, file.size());
  }
  return true;
}

bool detect_encoding(const std::string& path, Detection& d, std::string& error) {
  d = Detection{};
  RawRecordFile file;
  if (!file.open(path, error)) return false;
  RawRecord first;
  file.next(first);
  if (first.status == RawRecord::Status::end) {
    d.explanation = "the file is empty, so its encoding cannot be told";
    return true;
  }
  if (first.status == RawRecord::Status::io_error) {
    error = std::string("read error at byte 0: ") + std::strerror(first.error_number);
    return false;
  }
  if (const std::string why = not_history_reason(first, file.size()); !why.empty()) {
    d.explanation = "not a history file: " + why;
    return true;
  }
  if (first.status != RawRecord::Status::ok) {
    d.explanation = "the first record, at byte 0, cannot be read: " + status_text(first);
    return true;
  }
  const auto first_length = static_cast<std::size_t>(first.length);
  constexpr HistoryEncoding kAll[] = {HistoryEncoding::i2, HistoryEncoding::f4,
                                      HistoryEncoding::f8};

  // The first header's length names the encoding: each writes headers of its own length.
  for (const HistoryEncoding enc : kAll) {
    if (header_payload_bytes(enc) != first_length) continue;
    d.encoding = enc;
    HistorySummary exact;
    if (!summarise_history(path, enc, LengthRule::exact, exact, error)) return false;
    if (exact.end != HistorySummary::End::damaged) {
      d.exact = true;
      d.summary = exact;
      d.explanation = "every header payload is " + std::to_string(header_payload_bytes(enc)) +
                      " bytes and every body payload " + std::to_string(body_payload_bytes(enc));
      return true;
    }
    // Walked as the readers would: longer records pass, shorter ones are damage.
    if (!summarise_history(path, enc, LengthRule::lenient, d.summary, error)) return false;
    d.explanation =
        "the first header payload is " + std::to_string(first_length) + " bytes, as format " +
        encoding_name(enc) + " writes it" +
        (d.summary.end == HistorySummary::End::damaged ? ""
                                                       : "; some records are longer than it needs");
    return true;
  }

  // No header length matches: the encodings whose readers accept every record, those that
  // reach the end of the file cleanly before those that find it cut short.
  std::vector<HistorySummary> clean, cut;
  for (const HistoryEncoding enc : kAll) {
    HistorySummary s;
    if (!summarise_history(path, enc, LengthRule::lenient, s, error)) return false;
    if (s.end == HistorySummary::End::clean) clean.push_back(s);
    if (s.end == HistorySummary::End::truncated) cut.push_back(s);
  }
  const std::vector<HistorySummary>& fits = clean.empty() ? cut : clean;
  if (fits.size() == 1) {
    d.encoding = fits.front().encoding;
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
             std::string(1, static_cast<char>('0' + static_cast<int>(fits[i].encoding)));
  }
  d.explanation = "ambiguous: the first record's payload is " + std::to_string(first_length) +
                  " bytes, no header length matches it exactly, and the readers of formats " +
                  names + " accept every record; give --format";
  return true;
}

}  // namespace pairtrack::detail::history_tool
