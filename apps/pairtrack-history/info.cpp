// info: a summary of a history file from a raw walk over its records, in the encoding given
// or told from the record lengths.
#include <ostream>
#include <string>

#include "commands.h"
#include "history_text.h"
#include "pairtrack/history.h"

namespace pairtrack::history_tool {

int info_history(const InfoOptions& o, std::ostream& out, std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  if (!history_start_usable(o.path, &out, err)) return 1;
  std::string why;
  HistoryFormatDetection detection;
  if (!detect_history_format(o.path, detection, why)) {
    err << prefix << "cannot read " << o.path << ": " << why << '\n';
    return 1;
  }
  HistorySummary s;
  std::string how;
  if (o.format) {
    if (!summarise_history(o.path, *o.format, s, why)) {
      err << prefix << "cannot read " << o.path << ": " << why << '\n';
      return 1;
    }
    how = "as given";
    if (detection.format && detection.exact && *detection.format != *o.format) {
      how +=
          "; but the record lengths are those of format " + history_format_name(*detection.format);
    }
  } else if (detection.format) {
    s = detection.summary;
    how = "detected: " + detection.explanation;
  } else {
    out << "file: " << o.path << '\n';
    out << "encoding: cannot be told: " << detection.explanation << '\n';
    err << prefix << o.path << ": the encoding cannot be told: " << detection.explanation << '\n';
    return 1;
  }

  out << "file: " << o.path << " (" << s.file_bytes << " bytes, " << s.records
      << " complete records)\n";
  out << "encoding: " << history_format_name(s.format) << ", " << how << '\n';
  out << "frames: " << s.frames << " complete\n";
  if (s.frames > 0) {
    out << "time span: " << format_real(s.time_first) << " to " << format_real(s.time_last)
        << " (the file's own unit; pairtrack divides it by time_divisor)\n";
    out << "bodies per frame: min " << s.bodies_min << ", max " << s.bodies_max << " ("
        << s.body_records << " body records)\n";
  }
  if (s.empty_frames > 0) {
    out << "frames announcing no bodies: " << s.empty_frames << ", the first is frame "
        << s.first_empty_frame << " (pairtrack ends its data there)\n";
  }
  if (s.irregular_records > 0) {
    out << "irregular records: " << s.irregular_records << ", the first at byte "
        << s.first_irregular_offset
        << " (longer than the encoding needs, or trailing marker unlike the leading one; the "
           "readers accept them)\n";
  }
  switch (s.end) {
    case HistoryReadStatus::end:
      out << "end: complete (the last frame ends with the file)\n";
      return 0;
    case HistoryReadStatus::truncated:
      out << "end: truncated: " << s.end_detail << "; pairtrack leaves that incomplete frame out\n";
      return 0;
    case HistoryReadStatus::read_error:
      out << "end: read error: " << s.end_detail
          << "; pairtrack ends the run with an error there\n";
      err << prefix << "cannot read " << o.path << ": " << s.end_detail << '\n';
      return 1;
    default:
      out << "end: damaged: " << s.end_detail << "; pairtrack stops reading there\n";
      err << prefix << o.path << " is damaged: " << s.end_detail << '\n';
      return 1;
  }
}

}  // namespace pairtrack::history_tool
