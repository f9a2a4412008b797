// The three commands of pairtrack-history and its command line: dump (a history file as text),
// convert (text to a history file in any encoding) and info (what a file holds and which
// encoding it is in). Each writes its result to `out`, notes and errors (one line each, prefixed
// "pairtrack-history: ") to `err`, and returns the exit status: 0 on success, 1 on bad input.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "pairtrack/history.h"
#include "selection.h"

namespace pairtrack::history_tool {

struct DumpOptions {
  std::string path;
  std::optional<HistoryFormat> format;  // empty: told from the record lengths
  IndexRange frames;                    // 1-based frame numbers
  BodySelection bodies;
};

// Writes the text form of the selected frames (header lines carry the counts of the selected
// bodies, so a dump of a selection is itself a valid text form). A last frame cut short is left
// out with a note; a record the readers refuse is an error.
int dump_history(const DumpOptions& options, std::ostream& out, std::ostream& err);

struct ConvertOptions {
  std::string text_path;  // "-": standard input
  std::string output_path;
  HistoryFormat format = HistoryFormat::float64;
};

// Writes a history file from the text form read from `text_path` (or `in`). Every frame line
// must be followed by exactly the body lines its counts announce. Float64 stores the values as
// given; float32 rounds them (a note tells how many changed); the scaled 16-bit encoding moves
// every value to the nearest point of its grid and says so. On any error the output file is
// removed.
int convert_history(const ConvertOptions& options, std::istream& in, std::ostream& err);

struct InfoOptions {
  std::string path;
  std::optional<HistoryFormat> format;  // empty: told from the record lengths
};

// Summarises a file: size, encoding (given or detected, with the reason), complete frames, time
// span, bodies per frame, frames announcing no bodies, irregular records, and how the data end.
// Exit status 1 when the encoding cannot be told or a record is damaged; a truncated last frame
// (a file still being written) is reported but is not an error.
int info_history(const InfoOptions& options, std::ostream& out, std::ostream& err);

// Before any frame: false, with the reason on `err`, when the file at `path` cannot be opened or
// read, or its first bytes show it is no history file (then also two lines on `out`, when given:
// the file's name and why).
bool history_start_usable(const std::string& path, std::ostream* out, std::ostream& err);

// The whole command line: argv[1] is the command. --help prints the usage on `out`.
int history_tool_main(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                      std::ostream& err);

}  // namespace pairtrack::history_tool
