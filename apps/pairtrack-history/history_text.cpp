// Writing and reading the text form. Reals are written with "%.17g" and read with strtod,
// which round-trips every finite double exactly.
#include "history_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace pairtrack::history_tool {

namespace {

std::vector<std::string_view> split_blanks(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool parse_real(std::string_view word, double& value) {
  const std::string text(word);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return false;
  // An overflow to infinity is refused: only a written "inf" stands for infinity. Underflow
  // (subnormal values, which a dump writes too) is accepted as rounded.
  return !(errno == ERANGE && std::isinf(value));
}

bool parse_int(std::string_view word, std::int32_t& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return !word.empty() && ec == std::errc() && ptr == end;
}

}  // namespace

std::string format_real(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return buf;
}

std::string header_line(const HeaderValues& h) {
  return "frame " + format_real(h.time) + " " + std::to_string(h.nrec1) + " " +
         std::to_string(h.nrec2) + "\n";
}

std::string body_line(const BodyValues& b) {
  return "body " + std::to_string(b.id) + " " + format_real(b.a) + " " + format_real(b.e) + " " +
         format_real(b.inc) + " " + format_real(b.angle5) + " " + format_real(b.angle6) + " " +
         format_real(b.angle7) + "\n";
}

std::string text_preamble(const std::string& source, HistoryFormat encoding) {
  return "# pairtrack-history text of " + source + ", format " + history_format_name(encoding) +
         "\n"
         "# frame <time> <nrec1> <nrec2>   (time in the file's own unit)\n"
         "# body <id> <a AU> <e> <inc rad> <angle5 rad> <angle6 rad> <angle7 rad>\n";
}

bool parse_text_line(std::string_view line, TextLine& out, std::string& error) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::vector<std::string_view> words = split_blanks(line);
  out = TextLine{};
  if (words.empty() || words.front().front() == '#') return true;

  if (words.front() == "frame") {
    if (words.size() != 4) {
      error = "a frame line holds the time, nrec1 and nrec2 (" + std::to_string(words.size() - 1) +
              " values given)";
      return false;
    }
    if (!parse_real(words[1], out.header.time)) {
      error = "frame time '" + std::string(words[1]) + "' is not a real number";
      return false;
    }
    if (!parse_int(words[2], out.header.nrec1) || !parse_int(words[3], out.header.nrec2)) {
      error = "nrec1 and nrec2 must be integers";
      return false;
    }
    out.kind = TextLine::Kind::header;
    return true;
  }
  if (words.front() == "body") {
    if (words.size() != 8) {
      error = "a body line holds the identifier and six reals (" +
              std::to_string(words.size() - 1) + " values given)";
      return false;
    }
    if (!parse_int(words[1], out.body.id)) {
      error = "body identifier '" + std::string(words[1]) + "' is not an integer";
      return false;
    }
    double* reals[] = {&out.body.a,      &out.body.e,      &out.body.inc,
                       &out.body.angle5, &out.body.angle6, &out.body.angle7};
    for (std::size_t i = 0; i < 6; ++i) {
      if (!parse_real(words[2 + i], *reals[i])) {
        error = "value '" + std::string(words[2 + i]) + "' is not a real number";
        return false;
      }
    }
    out.kind = TextLine::Kind::body;
    return true;
  }
  error = "a line starts with 'frame', 'body' or '#', not '" + std::string(words.front()) + "'";
  return false;
}

}  // namespace pairtrack::history_tool
