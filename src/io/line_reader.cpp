// Comment-skipping line reader: lines are judged on their first 80
// characters, blank-filled, as a fixed-length text record would hold them.
#include "io/line_reader.h"

#include <string>

namespace pairtrack::detail {

void testchar(std::int32_t& len, std::string_view text) {
  len = 0;
  for (std::size_t i = text.size(); i > 0; --i) {
    if (text[i - 1] != ' ') {
      len = static_cast<std::int32_t>(i);
      return;
    }
  }
}

void skip(std::istream& unit) {
  constexpr std::size_t kRecordLength = 80;
  std::string line;
  for (;;) {
    const std::istream::pos_type start = unit.tellg();
    if (!std::getline(unit, line)) return;  // end of the file: stay there
    std::string record = line.substr(0, kRecordLength);
    record.resize(kRecordLength, ' ');
    std::int32_t len = 0;
    testchar(len, record);
    if (len == 0) continue;                          // blank line
    if (record.find(kCommentLeader) == 0) continue;  // comment line
    // A data line: step back so that the next read returns it whole.
    unit.clear();
    unit.seekg(start);
    return;
  }
}

}  // namespace pairtrack::detail
