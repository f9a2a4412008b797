// dump: the history file read with the program's own record readers and written as text, one
// line per header and per body record, frame by frame.
#include <algorithm>
#include <ostream>
#include <string>

#include "commands.h"
#include "history_summary.h"
#include "history_text.h"
#include "io/history_file.h"
#include "io/history_readers.h"
#include "record_scan.h"

namespace pairtrack::history_tool {

namespace {

std::string failure_text(std::int32_t status) {
  switch (status) {
    case history_status::short_payload: return "its payload is shorter than the encoding needs";
    case history_status::bad_marker: return "its length marker is negative";
    case history_status::io_error: return "the system reported a read error";
    default: return "status " + std::to_string(status);
  }
}

}  // namespace

int dump_history(const DumpOptions& o, std::ostream& out, std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  {
    RawRecordFile probe;
    std::string why;
    if (!probe.open(o.path, why)) {
      err << prefix << "cannot open " << o.path << ": " << why << '\n';
      return 1;
    }
  }
  HistoryEncoding enc{};
  if (o.format) {
    enc = *o.format;
  } else {
    Detection d;
    std::string why;
    if (!detect_encoding(o.path, d, why)) {
      err << prefix << "cannot open " << o.path << ": " << why << '\n';
      return 1;
    }
    if (!d.encoding) {
      err << prefix << o.path << ": the encoding cannot be told (" << d.explanation
          << "); give --format 0, 1 or 2\n";
      return 1;
    }
    enc = *d.encoding;
  }
  const HistoryReaderPair readers = history_readers(static_cast<std::int32_t>(enc));
  const EpochReader epoch = readers.epoch;
  const OrbitReader orbit = readers.orbit;
  HistoryFile file;
  if (!file.open(o.path)) {
    err << prefix << "cannot open " << o.path << '\n';
    return 1;
  }

  out << text_preamble(o.path, enc);
  std::string bodies_text;
  for (std::int64_t frame = 1;; ++frame) {
    HeaderValues h;
    std::int32_t status = epoch(file, h.time, h.nrec1, h.nrec2);
    if (status == history_status::end_of_file) break;
    if (status == history_status::truncated) {
      err << prefix << "note: " << o.path << " ends inside the header of frame " << frame
          << "; nothing of that frame is dumped\n";
      break;
    }
    if (status != history_status::ok) {
      err << prefix << o.path << ": the header of frame " << frame
          << " cannot be read as format " << encoding_name(enc) << ": " << failure_text(status)
          << '\n';
      return 1;
    }
    const std::int64_t first_part = std::max(h.nrec1 - 1, 0);
    const std::int64_t records = first_part + std::max(h.nrec2, 0);
    const bool wanted = o.frames.contains(frame);
    std::int64_t selected_first = 0;
    std::int64_t selected_second = 0;
    bodies_text.clear();
    for (std::int64_t position = 1; position <= records; ++position) {
      BodyValues b;
      status = orbit(file, b.id, b.a, b.e, b.inc, b.angle5, b.angle6, b.angle7);
      if (status == history_status::end_of_file || status == history_status::truncated) {
        err << prefix << "note: " << o.path << " ends inside frame " << frame << " ("
            << position - 1 << " of " << records
            << " body records complete); that incomplete frame is not dumped\n";
        out.flush();
        return out ? 0 : 1;
      }
      if (status != history_status::ok) {
        err << prefix << o.path << ": body record " << position << " of frame " << frame
            << " cannot be read as format " << encoding_name(enc) << ": "
            << failure_text(status) << '\n';
        return 1;
      }
      if (wanted && o.bodies.selects(position, b.id)) {
        ++(position <= first_part ? selected_first : selected_second);
        bodies_text += body_line(b);
      }
    }
    if (wanted) {
      HeaderValues shown = h;
      if (o.bodies.kind != BodySelection::Kind::all) {
        // The counts of the bodies shown, each part kept in its place, so that the text
        // converts back into a consistent file.
        if (h.nrec1 > 1) shown.nrec1 = static_cast<std::int32_t>(1 + selected_first);
        if (h.nrec2 > 0) shown.nrec2 = static_cast<std::int32_t>(selected_second);
      }
      out << header_line(shown) << bodies_text;
    }
    if (frame >= o.frames.last) break;
  }
  out.flush();
  if (!out) {
    err << prefix << "cannot write the text\n";
    return 1;
  }
  return 0;
}

}  // namespace pairtrack::history_tool
