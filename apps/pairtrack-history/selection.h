// Which frames and which bodies the history tool's dump shows: 1-based inclusive ranges of
// frame numbers or of positions within a frame ("2:5", "3", "2:", ":5"), or a list of body
// identifiers ("1,7,9").
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace pairtrack::history_tool {

// An inclusive range of 1-based numbers.
struct IndexRange {
  std::int64_t first = 1;
  std::int64_t last = std::numeric_limits<std::int64_t>::max();
  bool contains(std::int64_t i) const { return i >= first && i <= last; }
};

// Parses "A:B", "A", "A:" or ":B" with 1 <= A <= B. Empty on any other text.
std::optional<IndexRange> parse_range(std::string_view text);

// Parses a comma-separated list of integers ("1,7,-2"); empty on any other text, on an empty
// item, or on a value outside the 16-bit identifiers a history file can hold.
std::optional<std::vector<std::int32_t>> parse_id_list(std::string_view text);

// The bodies of a frame that a dump shows: all, those with the listed identifiers, or those at
// a range of positions (1-based, in record order, the nrec1 - 1 records first).
struct BodySelection {
  enum class Kind { all, ids, positions };
  Kind kind = Kind::all;
  std::vector<std::int32_t> ids;  // sorted
  IndexRange positions;

  bool selects(std::int64_t position, std::int32_t id) const;
};

}  // namespace pairtrack::history_tool
