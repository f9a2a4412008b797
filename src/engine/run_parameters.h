// The run parameters: ten records read from standard input once, at the
// start of the run, and constant afterwards (except the generator's state
// word `iseed`, which every draw advances).
#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace pairtrack::detail {

// Length of the fixed-length file-name texts.
inline constexpr std::size_t kFileNameLength = 80;

struct RunParameters {
  std::string catalog_name;      // record 1: 80 characters, blank-filled
  std::string history_name;      // record 2: 80 characters, blank-filled
  std::int32_t format_code = 0;  // record 3: 0 int16 scaled, 1 float32, 2 float64
  std::int32_t n2_min = 0;       // record 4: first swept position in a frame, 1-based
  std::int32_t n2_max = 0;       //           last swept position, inclusive
  double time_divisor = 1.0;     // record 5: frame time / time_divisor = Myr
  std::int32_t write_pairs = 0;  // record 6: logical, non-zero writes the pair file
  double q_crit = 0.0;           // record 7: perihelion threshold, AU
  double p_crit = 0.0;           // record 8: removal probability per frame below q_crit
  std::int32_t iseed = 0;        // record 9: seed and running state of ran1
  double v_esc = 0.0;            // record 10: escape velocity for focusing, km/s
};

// Why the records could not be read: the record (1-10) and its name, the text found (empty
// when the input ended) and what the record expects there.
struct ParameterReadFailure {
  int record = 0;
  std::string name;      // "n2_min n2_max"
  std::string found;     // the unreadable value, or empty at the end of the input
  std::string expected;  // "an integer", "a real number", ...

  // One sentence for the diagnostics.
  std::string describe() const;
};

// Reads the ten records in order: two whole lines of text (first 80
// characters, blank-filled), then eight free-form records, each starting on a
// new line. Returns false at the end of the input or on a value that cannot be
// read in its form, with `failure` (when given) telling which; nothing is written.
bool read_run_parameters(std::istream& in, RunParameters& p,
                         ParameterReadFailure* failure = nullptr);

// The file name with its trailing blanks dropped, as used to open the file.
std::string trimmed_file_name(const std::string& name80);

}  // namespace pairtrack::detail
