// Two small text utilities: the length of a text without
// its trailing blanks, and positioning a text stream at its next line that is
// neither blank nor a comment line ("/*" in columns 1 and 2).
#pragma once

#include <cstdint>
#include <istream>
#include <string_view>

namespace pairtrack::detail {

// len = 1-based position of the last character that is not a blank (the
// space character only; a tab is not blank), 0 for an all-blank or empty text.
void testchar(std::int32_t& len, std::string_view text);

// Skips blank lines (first 80 characters all blanks) and comment lines
// (beginning with "/*") of a stream open for reading text, and leaves it
// positioned at the start of the next data line, so that the caller's next
// read returns that line whole. At the end of the stream it returns with the
// stream at its end. The stream must be seekable (a file), since a data line
// is read and then stepped back over.
void skip(std::istream& unit);

// The comment marker.
inline constexpr std::string_view kCommentLeader = "/*";

}  // namespace pairtrack::detail
