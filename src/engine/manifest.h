// The provenance of a run: a JSON document that says how a result was made, so that a number in
// a paper can be traced to the exact inputs, options and build that gave it, and a later run can
// be checked against it. It is written at the end of every run, an error end or a stop by a
// signal included, with the state the run reached:
//   the version and the build (compiler, flags, the kernel path chosen at run time: scalar,
//   AVX2 or AVX-512); the ten records as read (v_esc included: a focused P_i is told from an
//   unfocused one); the integration mode and its node counts; threads and MPI ranks; every input
//   and output file with its size and SHA-256; start and end times (UTC); the exit status, the
//   frames finished, the signal that stopped the run, and the counts of warnings and errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_parameters.h"

namespace pairtrack::detail {

// What the run reports about itself for the manifest (filled by run_program when asked).
struct RunSummary {
  bool records_read = false;
  RunParameters records;           // as read, before the run changed the seed's state word
  std::int64_t frames = 0;         // frames finished (delivered to every output)
  int stop_signal = 0;             // the signal that stopped the run, 0 if none
  std::int64_t warnings = 0;       // warnings raised, repeats included
  std::int64_t errors = 0;         // error reasons reported
  std::string resumed_from;        // the checkpoint a resumed run continued, else empty
  std::uint64_t report_bytes = 0;  // the report's length (a resumed report's whole length)
};

// A file the run read or wrote: its role ("catalogue", "history", "report", "pairs", "bodies",
// "frames", "checkpoint") and path ("-" for standard output, which is counted, not hashed).
struct ManifestFile {
  std::string role;
  std::string path;
  std::optional<std::uint64_t> bytes = std::nullopt;  // for standard output: the bytes written
};

struct ManifestInput {
  std::string program;                 // "pairtrack", "pairtrack-mpi", "python"
  std::vector<std::string> arguments;  // the command line
  int threads = 0;                     // pair-evaluation threads per process
  int ranks = 1;                       // MPI processes
  std::string started_utc, ended_utc;  // ISO 8601
  int exit_status = 0;
  RunSummary summary;
  std::vector<ManifestFile> files;  // inputs and outputs; missing files are listed without hash
};

// The current time as ISO 8601 UTC with seconds ("2026-12-08T15:04:05Z").
std::string utc_now();

// The SHA-256 of a file's contents in hexadecimal; empty when it cannot be read.
std::string file_sha256(const std::string& path);

// The manifest as JSON text (keys in a fixed order; sizes and hashes read from the files now).
std::string manifest_json(const ManifestInput& input);

// Writes `json` to `path` atomically (written beside, then renamed). False with a reason.
bool write_manifest(const std::string& path, const std::string& json, std::string& reason);

}  // namespace pairtrack::detail
