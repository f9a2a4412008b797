// Frame-header reader for format code 2 (double-precision floats): the time in the integration's
// own unit and the two body-record counts of one frame. The decoding is shared by all encodings
// and lives in history_record_reader.cpp.
#include "io/history/history_readers.h"
#include "io/history/history_record_reader.h"

namespace pairtrack::detail {

std::int32_t rec_epoch_f8(HistoryFile& unit, double& time, std::int32_t& nrec1,
                          std::int32_t& nrec2) {
  return read_epoch_record<HistoryFormat::float64>(unit, time, nrec1, nrec2);
}

}  // namespace pairtrack::detail
