// pairtrack public API: the complete run, as the program does it, from a program of your own.
//
// run() reads the catalogue and walks the history file exactly as `pairtrack < records` would
// and hands back what the program writes: the report (standard output, byte for byte), the exit
// status, the frame and body tables (--frames, --bodies) and the diagnostics (what the program
// writes on standard error). The pair file is written as the program writes it, when asked.
//
// Runs are serialised: the program keeps its per-pair arrays (160 MB at full capacity, touched
// only as far as frames fill them) and its random generator once per process, so a second run()
// called while one is going waits for it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "pairtrack/speeds.h"
#include "pairtrack/tables.h"
#include "pairtrack/units.h"

namespace pairtrack {

// The ten records of a run, as values.
struct RunConfig {
  std::string catalogue;  // record 1: path of the orbit catalogue (at most 80 characters)
  std::string history;    // record 2: path of the history file (at most 80 characters)
  int format = 2;         // record 3: 0 = 16-bit scaled, 1 = float32, 2 = float64
  int n2_min = 1;         // record 4: first and last position within a frame that is paired
  int n2_max = kPopulationCapacity;
  double time_divisor = 1e6;  // record 5: the file's times are divided by it to give Myr
  bool write_pairs = false;   // record 6: write the pair file
  double q_crit = 0.0;        // record 7: perihelion threshold, AU
  double p_crit = 0.0;        // record 8: removal probability per frame below q_crit
  int iseed = -1;             // record 9: seed; every seed >= -1 gives the sequence of -1
  double v_esc = 0.0;         // record 10: escape velocity for gravitational focusing, km/s

  std::string pair_file = kPairFileName;  // the pair file's name (--pair-file)
  int threads = 0;      // pair-evaluation threads; 0: all cores (OMP_NUM_THREADS honoured)
  bool strict = false;  // the first warning ends the run with status 1 (--strict)
  // The accurate mode (--accuracy, --min-mutual-inclination): every pair integrated to this
  // relative accuracy of P_i, (0, 0.1]; 0 (the default) keeps the classic 10 x 10 rule. The
  // minimum mutual inclination, degrees in [0, 90], regularises the pairs that have no finite
  // value (see the manual's method page). run() throws std::invalid_argument outside these.
  double accuracy = 0.0;
  double min_mutual_inclination_deg = 0.0;
  // When not null and set while the run goes on, the run stops between chunks of pairs or
  // frames and run() throws Cancelled (see kernel.h); the pair file of the run is then removed.
  const std::atomic<bool>* cancel = nullptr;
  // The collision-weighted distributions of impact and encounter speed (--speed-histogram,
  // --speed-bins): RunOutcome::speed_histogram gets the rows the program writes with --bodies,
  // and the frame rows' v_imp_cw_* are filled (NaN otherwise). run() throws
  // std::invalid_argument with parse_speed_bins' message when speed_histogram is set and the
  // bins are not valid.
  bool speed_histogram = false;
  SpeedBins speed_bins{};
};

struct RunDiagnostic {
  bool error = false;  // an error's reason; otherwise a warning
  std::string text;    // without the "pairtrack: warning: " / "pairtrack: error: " prefix
};

struct RunOutcome {
  int status = 0;      // the program's exit status: 0 after the last frame, 1 on an error end
  std::string report;  // standard output, byte for byte
  std::vector<FrameRow> frames;
  std::vector<BodyRow> bodies;
  std::vector<SpeedHistogramRow> speed_histogram;  // empty unless RunConfig::speed_histogram
  std::vector<RunDiagnostic> diagnostics;          // in the order the program reports them
  // The run's provenance as JSON (what `pairtrack --manifest` writes): version, build, the
  // records as read, the files with their sizes and SHA-256, times, exit status, warnings.
  std::string manifest;
};

// The records as the program reads them from standard input (one per line; reals with 17
// significant digits).
std::string run_records(const RunConfig& config);

// The complete run. A name longer than 80 characters or holding a line end cannot be passed in
// the records: the outcome is then status 1 with an error diagnostic and an empty report.
RunOutcome run(const RunConfig& config);

}  // namespace pairtrack
