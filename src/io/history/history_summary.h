// What a history file holds, walked frame by frame in one encoding: frame count, time span
// (the file's own time unit), bodies per frame, and how the data end (cleanly, cut short, at a
// damaged record or at a read error). Also tells the encoding of a file from its record lengths
// alone. The walks measure records through HistoryFile::read_raw and decode headers only; the
// public calls of pairtrack/history.h (summarise_history, check_history_start,
// detect_history_format) are these.
#pragma once

#include <string>

#include "pairtrack/history.h"

namespace pairtrack::detail {

// How a walk treats a record longer than the encoding needs. The record readers accept it and
// skip the extra bytes (lenient); telling the encoding requires every length to be exact.
enum class LengthRule { exact, lenient };

// Walks the whole file in `format`. False with `error` set when the file cannot be opened.
bool walk_history(const std::string& path, HistoryFormat format, LengthRule rule,
                  HistorySummary& summary, std::string& error);

// Reads the first record's length marker (see check_history_start).
bool read_history_start(const std::string& path, HistoryStart& start, std::string& error);

// Tells the encoding (see detect_history_format).
bool detect_encoding(const std::string& path, HistoryFormatDetection& detection,
                     std::string& error);

}  // namespace pairtrack::detail
