// The one implementation behind the six named record readers: reads a frame-header or a body
// record of a given encoding from a HistoryFile and decodes it into a time (integration unit),
// counts, an identifier, a (AU), e and angles (radians).
#pragma once

#include <cstdint>

#include "io/history/history_file.h"
#include "io/history/history_layout.h"

namespace pairtrack::detail {

// Reads one frame-header record of encoding `Enc`. Returns 0 and stores time, nrec1 and nrec2
// (counts sign-extended from int16); -1 at a clean end of file; a positive RecordStatus on
// any other failure, leaving every output untouched.
template <HistoryFormat Enc>
std::int32_t read_epoch_record(HistoryFile& unit, double& time, std::int32_t& nrec1,
                               std::int32_t& nrec2);

// Reads one body record of encoding `Enc`. Returns 0 and stores all seven outputs; -1 at a
// clean end of file; a positive RecordStatus on any other failure, leaving every output
// untouched.
template <HistoryFormat Enc>
std::int32_t read_orbit_record(HistoryFile& unit, std::int32_t& id, double& a, double& e,
                               double& inc, double& angle5, double& angle6, double& angle7);

extern template std::int32_t read_epoch_record<HistoryFormat::scaled_int16>(HistoryFile&, double&,
                                                                            std::int32_t&,
                                                                            std::int32_t&);
extern template std::int32_t read_epoch_record<HistoryFormat::float32>(HistoryFile&, double&,
                                                                       std::int32_t&,
                                                                       std::int32_t&);
extern template std::int32_t read_epoch_record<HistoryFormat::float64>(HistoryFile&, double&,
                                                                       std::int32_t&,
                                                                       std::int32_t&);
extern template std::int32_t read_orbit_record<HistoryFormat::scaled_int16>(
    HistoryFile&, std::int32_t&, double&, double&, double&, double&, double&, double&);
extern template std::int32_t read_orbit_record<HistoryFormat::float32>(HistoryFile&, std::int32_t&,
                                                                       double&, double&, double&,
                                                                       double&, double&, double&);
extern template std::int32_t read_orbit_record<HistoryFormat::float64>(HistoryFile&, std::int32_t&,
                                                                       double&, double&, double&,
                                                                       double&, double&, double&);

}  // namespace pairtrack::detail
