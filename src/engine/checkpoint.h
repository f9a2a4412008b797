// Checkpoints: what a run needs to continue after its last finished frame, so that a run
// killed by a batch scheduler (SIGTERM, then SIGKILL) and resumed gives, concatenated, the very
// bytes of a run that was never stopped.
//
// After every finished frame the run has flushed every output, so the state between frames is
// small: the frame count and the history file's offset, the random generator (its state word
// and shuffle table), the identifiers removed so far, the time of the last body record read,
// and the byte length of every output. The inputs are identified too (the ten records, the
// catalogue's and the history file's sizes and a hash of their contents), so that a checkpoint
// is never applied to another run. The file is text, one key and its values per line, and is
// replaced atomically (written beside, then renamed), so a kill at any moment leaves either
// the previous checkpoint or the new one, never a mixture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/run_parameters.h"
#include "stats/ran1.h"

namespace pairtrack::detail {

// A file as a checkpoint identifies it: its size and an FNV-1a hash of its first
// `kIdentityBytes` bytes (all of a catalogue; the start of a history file, whose full reading
// would cost as much as the run's own).
struct FileIdentity {
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  bool operator==(const FileIdentity&) const = default;
};
inline constexpr std::uint64_t kIdentityBytes = std::uint64_t{1} << 22;  // 4 MiB

// The identity of the file at `path`; false with the system's reason when it cannot be read.
bool identify_file(const std::string& path, FileIdentity& identity, std::string& reason);

// One output's role ("report", "pairs", "bodies", "frames"), its path ("-" for standard
// output) and its length in bytes after the last finished frame.
struct OutputLength {
  std::string role;
  std::string path;
  std::uint64_t bytes = 0;
};

// Where a run stands after a finished frame (what the frame's plan left: the generator, the
// removals; what its reading left: the offset, t_max).
struct RunPosition {
  std::int64_t frame = 0;            // frames finished
  std::uint64_t history_offset = 0;  // offset of the next frame's header record
  double t_max = 0.0;                // time of the last body record read, Myr
  std::int64_t removed_total = 0;    // bodies removed so far
  std::int32_t iseed = 0;            // the generator's state word
  Ran1Table table;                   // the generator's shuffle table
  std::size_t removed_count = 0;     // how many of the run's removed identifiers count
};

struct Checkpoint {
  std::string records;  // the ten records as read (canonical text, see records_identity)
  FileIdentity catalogue, history;
  RunPosition position;
  std::vector<std::int32_t> removed_ids;  // in the order of removal
  std::vector<OutputLength> outputs;
};

// The ten records as one canonical text (reals in hexadecimal: every bit counts).
std::string records_identity(const RunParameters& p);

// Writes `checkpoint` to `path` atomically (to path + ".tmp", then renamed over `path`).
bool write_checkpoint(const std::string& path, const Checkpoint& checkpoint, std::string& reason);

// Reads a checkpoint written by write_checkpoint; false with a reason for a file that cannot
// be read or is not a checkpoint of this program's version of the format.
bool read_checkpoint(const std::string& path, Checkpoint& checkpoint, std::string& reason);

// Truncates the file at `path` to `bytes` (an output being resumed); false with the system's
// reason, or when the file is shorter than that (it is not the output the checkpoint knew).
bool truncate_output(const std::string& path, std::uint64_t bytes, std::string& reason);

}  // namespace pairtrack::detail
