// Checks of a run's input for what is probably a mistake: parameters that cannot mean what
// they say, a catalogue whose reading stopped early or that holds unphysical orbits, a history
// file read with the wrong encoding or ending inside a frame, bodies with unphysical elements,
// frame times too wide for the report. Each check returns findings for the run's diagnostics;
// none changes what the run computes or writes to standard output.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "engine/frame_job.h"
#include "engine/run_parameters.h"
#include "io/history/history_file.h"
#include "io/history/history_layout.h"
#include "io/load_catalog.h"

namespace pairtrack::detail {

// One warning: its kind (one report per kind per run), the text, and for kinds that repeat the
// name of what is counted.
struct CheckFinding {
  std::string kind;
  std::string text;
  std::string summary = {};
};

// Status a frame read ends with when its header announces no body records.
inline constexpr std::int32_t kEmptyFrame = 100;

// q_crit < 0, p_crit outside [0, 1], v_esc < 0, n2_max < n2_min, time_divisor < 0, and a seed
// that is not negative while random draws are used (q_crit > 0 and p_crit > 0): every seed of
// -1 or more starts the generator's sequence of -1.
std::vector<CheckFinding> check_parameters(const RunParameters& p);

// A catalogue of no orbits; reading that stopped before the end of the file (the line, what it
// holds, how many lines follow; a hint for a header line or an empty field); orbits with e
// outside [0, 1), a <= 0 or an inclination outside [0, 180] degrees (values as loaded: AU,
// degrees). `label` names the catalogue in the texts.
std::vector<CheckFinding> check_catalog(const std::string& label, const CatalogReport& report,
                                        std::int32_t n, const double a[], const double e[],
                                        const double inc_deg[]);

// A swept body with e outside [0, 1), a <= 0 or an inclination outside [0, pi] radians (with a
// margin of 1e-3 rad for the rounding of the 16-bit and float32 encodings).
std::vector<CheckFinding> check_history_body(const SweptBody& body, std::int64_t frame);

// When a record's payload length (its leading marker; -1 when none was read) is not the one
// of `encoding` for a header (or body) record: one sentence naming the encoding whose length it
// is. Empty when it matches or no marker was read.
std::string record_length_mismatch(std::int64_t length, HistoryFormat encoding, bool header);

// Why the history data ended, when not at a clean end of the file after a complete frame: a
// record cut short (a file still being written), an unreadable record, or a frame header
// announcing no bodies with bytes left after it. Empty for a clean end. `frames` is the number
// of complete frames read.
std::string describe_data_end(std::int32_t status, const HistoryFile& history, std::int64_t frames,
                              HistoryFormat encoding);

// True when a frame time (Myr) does not fit the report's f16.10 time field.
bool time_field_overflows(double t_myr);

// Opens a text output file for writing (created or truncated; with `keep`, an existing file
// opened as it is, for a resumed run to cut back and continue). False with the system's reason
// when it cannot be: a directory, a missing folder, no permission, a name with a NUL byte.
bool open_output_file(const std::string& path, std::ofstream& file, std::string& reason,
                      bool keep = false);

// Whether a file could be created at `path` without creating it: false with the reason when the
// name is empty or holds a NUL byte, names a directory, or its folder does not exist or is not
// a folder.
bool check_output_path(const std::string& path, std::string& reason);

}  // namespace pairtrack::detail
