// pairtrack public API: the frame lines of a pairtrack report, read back as columns.
//
// A frame line has the fixed layout (f16.10, 4(1x,f22.16), 4(1x,i8)), 144 characters: time
// (Myr, the file's time divided by time_divisor); mean and sample standard deviation of p_coll
// (1e-18 km^-2 yr^-1); probability-weighted mean and standard deviation of the impact speed
// (km/s); n1, n2, n_proba, n_impvel. Echo lines (" #"), messages and other text are passed over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pairtrack {

// One entry per frame line, in report order. A real field written as asterisks (too wide for
// its field) is NaN; a count written as asterisks is -1.
struct ReportFrames {
  std::vector<double> t_myr;
  std::vector<double> proba_mean, proba_sigma;    // 1e-18 km^-2 yr^-1
  std::vector<double> impvel_mean, impvel_sigma;  // km/s
  std::vector<std::int64_t> n1, n2, n_proba, n_impvel;

  std::size_t size() const { return t_myr.size(); }
};

// Parses the frame lines of the report text `text`.
ReportFrames parse_report_frames(const std::string& text);

// Reads the report at `path`. False with `error` set when it cannot be read.
bool read_report_frames(const std::string& path, ReportFrames& frames, std::string& error);

}  // namespace pairtrack
