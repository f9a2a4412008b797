// Body-record reader for format code 0 (scaled 16-bit integers): identifier, semimajor axis (AU),
// eccentricity, inclination and three further angles (radians) of one body. The decoding is
// shared by all encodings and lives in history_record_reader.cpp.
#include "io/history/history_readers.h"
#include "io/history/history_record_reader.h"

namespace pairtrack::detail {

std::int32_t rec_orbit_i2(HistoryFile& unit, std::int32_t& id, double& a, double& e, double& inc,
                          double& angle5, double& angle6, double& angle7) {
  return read_orbit_record<HistoryFormat::scaled_int16>(unit, id, a, e, inc, angle5, angle6,
                                                        angle7);
}

}  // namespace pairtrack::detail
