// The six named record readers of the history file, one frame-header and one body reader per
// encoding (format code 0: scaled int16, 1: float32, 2: float64). Times are in the
// integration's own unit, a in AU, inc and the three further angles in radians.
#pragma once

#include <cstdint>

#include "io/history/history_file.h"

namespace pairtrack::detail {

// Frame-header readers. Each reads one record from `unit` and returns 0 with the frame `time`
// and the counts `nrec1` and `nrec2` (int16 values sign-extended: -1 stays -1); -1 when the file
// ends before a further record begins; another non-zero RecordStatus when the record is cut
// short, its payload is too short for the header, its marker is negative, or the system fails
// to read. On any non-zero status no output is changed. A payload longer than the header's is
// accepted; its extra bytes are skipped.
std::int32_t rec_epoch_i2(HistoryFile& unit, double& time, std::int32_t& nrec1,
                          std::int32_t& nrec2);
std::int32_t rec_epoch_f4(HistoryFile& unit, double& time, std::int32_t& nrec1,
                          std::int32_t& nrec2);
std::int32_t rec_epoch_f8(HistoryFile& unit, double& time, std::int32_t& nrec1,
                          std::int32_t& nrec2);

// Body-record readers. Each reads one record from `unit` and returns 0 with the body identifier
// `id`, semimajor axis `a` (AU), eccentricity `e`, inclination `inc` and the angles `angle5` to
// `angle7` (radians); status and failure behaviour as for the header readers.
std::int32_t rec_orbit_i2(HistoryFile& unit, std::int32_t& id, double& a, double& e, double& inc,
                          double& angle5, double& angle6, double& angle7);
std::int32_t rec_orbit_f4(HistoryFile& unit, std::int32_t& id, double& a, double& e, double& inc,
                          double& angle5, double& angle6, double& angle7);
std::int32_t rec_orbit_f8(HistoryFile& unit, std::int32_t& id, double& a, double& e, double& inc,
                          double& angle5, double& angle6, double& angle7);

// The reader signatures, and the pair of readers of one format code.
using EpochReader = std::int32_t (*)(HistoryFile&, double&, std::int32_t&, std::int32_t&);
using OrbitReader = std::int32_t (*)(HistoryFile&, std::int32_t&, double&, double&, double&,
                                     double&, double&, double&);
struct HistoryReaderPair {
  EpochReader epoch;
  OrbitReader orbit;
};

// The header and body readers of one format.
inline HistoryReaderPair history_readers(HistoryFormat format) {
  switch (format) {
    case HistoryFormat::scaled_int16: return {rec_epoch_i2, rec_orbit_i2};
    case HistoryFormat::float32: return {rec_epoch_f4, rec_orbit_f4};
    default: return {rec_epoch_f8, rec_orbit_f8};
  }
}

}  // namespace pairtrack::detail
