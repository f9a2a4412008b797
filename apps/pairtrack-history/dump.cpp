// dump: the history file read frame by frame through the public history reader (the
// program's own record readers) and written as text, one line per header and per body record.
#include <algorithm>
#include <ostream>
#include <string>

#include "commands.h"
#include "history_text.h"
#include "pairtrack/history.h"

namespace pairtrack::history_tool {

int dump_history(const DumpOptions& o, std::ostream& out, std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  if (!history_start_usable(o.path, nullptr, err)) return 1;
  HistoryFormat format{};
  if (o.format) {
    format = *o.format;
  } else {
    HistoryFormatDetection d;
    std::string why;
    if (!detect_history_format(o.path, d, why)) {
      err << prefix << "cannot read " << o.path << ": " << why << '\n';
      return 1;
    }
    if (!d.format) {
      err << prefix << o.path << ": the encoding cannot be told (" << d.explanation
          << "); give --format 0, 1 or 2\n";
      return 1;
    }
    format = *d.format;
  }
  HistoryFrameReader reader;
  if (!reader.open(o.path, format)) {
    err << prefix << "cannot open " << o.path << '\n';
    return 1;
  }

  out << text_preamble(o.path, format);
  HistoryFrame f;
  std::string bodies_text;
  for (std::int64_t frame = 1;; ++frame) {
    const HistoryFrameReader::Status status = reader.next(f);
    if (status == HistoryFrameReader::Status::end) break;
    if (status == HistoryFrameReader::Status::truncated) {
      err << prefix << "note: " << o.path << " " << reader.message()
          << "; that incomplete frame is not dumped\n";
      break;
    }
    if (status == HistoryFrameReader::Status::damaged ||
        status == HistoryFrameReader::Status::read_error) {
      err << prefix << o.path << ": " << reader.message() << '\n';
      return 1;
    }
    if (!o.frames.contains(frame)) {
      if (frame >= o.frames.last) break;
      continue;
    }
    const std::int64_t first_part = std::max(f.nrec1 - 1, 0);
    std::int64_t selected_first = 0;
    std::int64_t selected_second = 0;
    bodies_text.clear();
    for (std::size_t k = 0; k < f.bodies(); ++k) {
      const auto position = static_cast<std::int64_t>(k) + 1;
      if (!o.bodies.selects(position, f.id[k])) continue;
      ++(position <= first_part ? selected_first : selected_second);
      bodies_text += body_line(BodyValues{f.id[k], f.a_au[k], f.e[k], f.inc_rad[k], f.angle5_rad[k],
                                          f.angle6_rad[k], f.angle7_rad[k]});
    }
    HeaderValues shown{f.time, f.nrec1, f.nrec2};
    if (o.bodies.kind != BodySelection::Kind::all) {
      // The counts of the bodies shown, each part kept in its place, so that the text
      // converts back into a consistent file.
      if (f.nrec1 > 1) shown.nrec1 = static_cast<std::int32_t>(1 + selected_first);
      if (f.nrec2 > 0) shown.nrec2 = static_cast<std::int32_t>(selected_second);
    }
    out << header_line(shown) << bodies_text;
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
