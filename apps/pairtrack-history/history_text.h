// The text form of a history file: one line per frame header ("frame", time in the file's own
// unit, nrec1, nrec2) and one per body record ("body", identifier, a in AU, e, inc and the
// three further angles in radians). Reals carry 17 significant digits, so every double -- and
// every float32 value widened to double -- reads back to the same bits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pairtrack/history.h"

namespace pairtrack::history_tool {

struct HeaderValues {
  double time = 0.0;
  std::int32_t nrec1 = 0;
  std::int32_t nrec2 = 0;
};

struct BodyValues {
  std::int32_t id = 0;
  double a = 0.0, e = 0.0, inc = 0.0, angle5 = 0.0, angle6 = 0.0, angle7 = 0.0;
};

// A real with 17 significant digits in the shortest of fixed or exponent notation ("%.17g").
std::string format_real(double value);

// "frame <time> <nrec1> <nrec2>\n"
std::string header_line(const HeaderValues& h);

// "body <id> <a> <e> <inc> <angle5> <angle6> <angle7>\n"
std::string body_line(const BodyValues& b);

// Comment lines that open a dump: the source file, its encoding, the columns.
std::string text_preamble(const std::string& source, HistoryFormat encoding);

// One parsed line of the text form. Blank lines and lines whose first non-blank character is
// '#' are comments.
struct TextLine {
  enum class Kind { comment, header, body };
  Kind kind = Kind::comment;
  HeaderValues header;
  BodyValues body;
};

// Parses one line (without its newline; a trailing carriage return is allowed). False with
// `error` set to a short reason when the line is neither a comment, nor "frame" with a real and
// two integers, nor "body" with an integer and six reals. Reals are read exactly (nan and inf
// included); integers must be whole decimal numbers within 32 bits.
bool parse_text_line(std::string_view line, TextLine& out, std::string& error);

}  // namespace pairtrack::history_tool
