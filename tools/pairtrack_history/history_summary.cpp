// Frame walk over raw records: headers decoded for their time and counts, body records only
// measured. Truncation and damage are located by frame, record and byte offset.
#include "history_summary.h"

#include <algorithm>
#include <vector>

#include "io/history_scaled_i2.h"
#include "record_scan.h"

namespace pairtrack::history_tool {

namespace {

std::string offset_text(std::uint64_t offset) { return "byte " + std::to_string(offset); }

// Why a record cannot be used, for the end detail.
std::string status_text(RawRecord::Status s) {
  switch (s) {
    case RawRecord::Status::truncated: return "the file ends inside it";
    case RawRecord::Status::bad_marker: return "its length marker is negative";
    case RawRecord::Status::io_error: return "the system reported a read error";
    default: return "";
  }
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
      s.end = r.status == RawRecord::Status::truncated ? HistorySummary::End::truncated
                                                       : HistorySummary::End::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + ": " + status_text(r.status);
      return false;
    }
    const auto length = static_cast<std::size_t>(r.length);
    if (length < needed || (rule == LengthRule::exact && length != needed)) {
      s.end = HistorySummary::End::damaged;
      s.end_detail = what + " at " + offset_text(r.offset) + " has a payload of " +
                     std::to_string(length) + " bytes; format " + encoding_name(enc) +
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

bool detect_encoding(const std::string& path, Detection& d, std::string& error) {
  d = Detection{};
  constexpr HistoryEncoding kAll[] = {HistoryEncoding::i2, HistoryEncoding::f4,
                                      HistoryEncoding::f8};
  HistorySummary probe;
  if (!summarise_history(path, HistoryEncoding::f8, LengthRule::lenient, probe, error)) {
    return false;
  }
  if (probe.file_bytes == 0) {
    d.explanation = "the file is empty, so its encoding cannot be told";
    return true;
  }

  for (const LengthRule rule : {LengthRule::exact, LengthRule::lenient}) {
    std::vector<HistorySummary> fits;
    std::vector<HistorySummary> all;
    for (const HistoryEncoding enc : kAll) {
      HistorySummary s;
      if (!summarise_history(path, enc, rule, s, error)) return false;
      all.push_back(s);
      // A walk that reads at least one record and ends cleanly or in a truncated last frame.
      if (s.records > 0 && s.end != HistorySummary::End::damaged) fits.push_back(s);
    }
    if (fits.size() == 1) {
      d.encoding = fits.front().encoding;
      d.summary = fits.front();
      d.exact = rule == LengthRule::exact;
      const HistoryEncoding e = *d.encoding;
      d.explanation =
          d.exact ? "every header payload is " + std::to_string(header_payload_bytes(e)) +
                        " bytes and every body payload " + std::to_string(body_payload_bytes(e))
                  : "no encoding fits every record length exactly; only the readers of this "
                    "one accept every record (some records are longer than it needs)";
      return true;
    }
    if (fits.size() > 1) {
      std::string names;
      for (std::size_t i = 0; i < fits.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == fits.size() ? " and " : ", ") +
                 std::string(1, static_cast<char>('0' + static_cast<int>(fits[i].encoding)));
      }
      d.explanation = "ambiguous: the record lengths fit formats " + names +
                      " as the readers accept them; give --format";
      return true;
    }
    if (rule == LengthRule::lenient) {
      // Name the encoding whose header length the first record has, or else the one that
      // walked furthest, and say where it broke.
      const HistorySummary* best = &all.front();
      for (const HistorySummary& s : all) {
        if (s.records > best->records) best = &s;
      }
      d.explanation = "no encoding fits: read as format " + encoding_name(best->encoding) +
                      ", " + best->end_detail;
    }
  }
  return true;
}

}  // namespace pairtrack::history_tool
