// Free-form (list-directed) input: the run-parameter records on standard input and the three
// numbers of a catalogue field. Values are scanned one at a time straight from the stream
// buffer, so a line of any length costs no memory beyond one value.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <streambuf>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

constexpr int kEnd = std::char_traits<char>::eof();
// A value longer than this is garbage, not a number anyone wrote; it is unreadable.
constexpr std::size_t kMaxValueLength = 1024;

// Characters of a stream, read through its buffer.
class StreamSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in), buffer_(in.rdbuf()) {}
  int peek() {
    if (buffer_ == nullptr) return kEnd;
    const int c = buffer_->sgetc();
    if (c == kEnd) in_.setstate(std::ios_base::eofbit);
    return c;
  }
  void bump() { buffer_->sbumpc(); }
  static constexpr bool kLinesContinue = true;

 private:
  std::istream& in_;
  std::streambuf* buffer_;
};

// Characters of one text: a single record.
class TextSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : kEnd; }
  void bump() { ++pos_; }
  static constexpr bool kLinesContinue = false;

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r'; }
bool ends_value(int c) { return c == kEnd || is_blank(c) || c == '\n' || c == ','; }

enum class Scan { value, end, unreadable };

// Splits one record into values. A comma separates two values once; a comma before the first
// value or a second comma would be a null value, and a slash would end the record early: both
// are refused as unreadable input.
template <class Source>
class ValueScanner {
 public:
  explicit ValueScanner(Source& source) : source_(source) {}

  Scan next(std::string& token) {
    token.clear();
    for (;;) {
      const int c = source_.peek();
      if (c == kEnd) return Scan::end;
      if (c == '\n') {
        // A line end separates like a blank; a single text record has no next line.
        if (!Source::kLinesContinue) return Scan::end;
      } else if (c == ',') {
        if (!started_ || comma_) return Scan::unreadable;
        comma_ = true;
      } else if (c == '/') {
        return Scan::unreadable;
      } else if (!is_blank(c)) {
        break;
      }
      source_.bump();
    }
    token.clear();
    for (int c = source_.peek(); !ends_value(c); c = source_.peek()) {
      if (token.size() == kMaxValueLength) return Scan::unreadable;
      token.push_back(static_cast<char>(c));
      source_.bump();
    }
    started_ = true;
    comma_ = false;
    return Scan::value;
  }

  // Skips the rest of the current line, its terminator included.
  void skip_line() {
    for (int c = source_.peek(); c != kEnd; c = source_.peek()) {
      source_.bump();
      if (c == '\n') return;
    }
  }

 private:
  Source& source_;
  bool started_ = false;  // a value of this record has been read
  bool comma_ = false;    // a comma has been passed since that value
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool parse_integer(std::string_view token, std::int32_t& value) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) {
    negative = token[pos] == '-';
    ++pos;
  }
  if (pos == token.size()) return false;
  std::int64_t magnitude = 0;
  for (; pos < token.size(); ++pos) {
    if (!is_digit(token[pos])) return false;
    magnitude = magnitude * 10 + (token[pos] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > 2147483647LL) return false;
  value = static_cast<std::int32_t>(signed_value);
  return true;
}

bool parse_real(std::string_view token, double& value) {
  // The decimal form is checked here; the conversion gets it with the exponent letter made 'e'
  // and without a leading '+'.
  char normal[kMaxValueLength + 1];
  std::size_t n = 0;
  std::size_t pos = 0;
  if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) {
    if (token[pos] == '-') normal[n++] = '-';
    ++pos;
  }
  std::size_t mantissa_digits = 0;
  for (; pos < token.size() && is_digit(token[pos]); ++pos, ++mantissa_digits) {
    normal[n++] = token[pos];
  }
  if (pos < token.size() && token[pos] == '.') {
    normal[n++] = '.';
    for (++pos; pos < token.size() && is_digit(token[pos]); ++pos, ++mantissa_digits) {
      normal[n++] = token[pos];
    }
  }
  if (mantissa_digits == 0) return false;
  if (pos < token.size()) {
    const char letter = token[pos];
    if (letter != 'e' && letter != 'E' && letter != 'd' && letter != 'D') return false;
    normal[n++] = 'e';
    ++pos;
    if (pos < token.size() && (token[pos] == '+' || token[pos] == '-')) normal[n++] = token[pos++];
    std::size_t exponent_digits = 0;
    for (; pos < token.size() && is_digit(token[pos]); ++pos, ++exponent_digits) {
      normal[n++] = token[pos];
    }
    if (exponent_digits == 0 || pos != token.size()) return false;
  }
  normal[n] = '\0';

  double parsed = 0.0;
  const auto [end, ec] = std::from_chars(normal, normal + n, parsed);
  if (ec == std::errc() && end == normal + n) {
    value = parsed;
    return true;
  }
  if (ec != std::errc::result_out_of_range) return false;
  // Beyond the double range either way: an overflow is no number, an underflow reads as the
  // nearest double (zero or subnormal), which strtod delivers correctly rounded.
  char* strtod_end = nullptr;
  parsed = std::strtod(normal, &strtod_end);
  if (strtod_end != normal + n || std::isinf(parsed)) return false;
  value = parsed;
  return true;
}

bool parse_logical(std::string_view token, std::int32_t& value) {
  std::size_t pos = token.size() > 0 && token[0] == '.' ? 1 : 0;
  if (pos >= token.size()) return false;
  const char letter = token[pos];
  if (letter == 't' || letter == 'T') {
    value = 1;
    return true;
  }
  if (letter == 'f' || letter == 'F') {
    value = 0;
    return true;
  }
  return false;
}

// Reads values.size() values with `parse` from one record of `source`; when `skip_rest`, the
// rest of the record's last line is skipped afterwards.
// On failure `unreadable` (when given) receives the text found, or stays empty at the end of
// the input.
template <class Source, class Value, class Parse>
bool read_record(Source& source, std::span<Value> values, Parse parse, bool skip_rest,
                 std::string* unreadable = nullptr) {
  ValueScanner<Source> scanner(source);
  std::string token;
  token.reserve(32);
  for (Value& value : values) {
    const Scan scan = scanner.next(token);
    if (scan == Scan::end) return false;
    if (scan == Scan::unreadable || !parse(token, value)) {
      if (unreadable != nullptr) {
        // The separator or notation that stopped the scan, or the value itself.
        if (scan == Scan::unreadable && token.empty()) {
          const int c = source.peek();
          *unreadable = c == kEnd ? std::string() : std::string(1, static_cast<char>(c));
        } else {
          *unreadable = token;
        }
        constexpr std::size_t kShown = 40;
        if (unreadable->size() > kShown) *unreadable = unreadable->substr(0, kShown) + "...";
      }
      return false;
    }
  }
  if (skip_rest) scanner.skip_line();
  return true;
}

}  // namespace

FreeFormReader::FreeFormReader(std::istream& in) : in_(in) {}

bool FreeFormReader::read_text_record(std::string& text, std::size_t length) {
  StreamSource source(in_);
  text.clear();
  if (source.peek() == kEnd) return false;
  bool stored_carriage_return = false;  // the last stored character is a '\r'
  for (int c = source.peek(); c != kEnd; c = source.peek()) {
    source.bump();
    if (c == '\n') break;
    if (text.size() < length) {
      text.push_back(static_cast<char>(c));
      stored_carriage_return = c == '\r';
    } else {
      stored_carriage_return = false;  // the line goes on past the stored part
    }
  }
  // A carriage return ending the line belongs to its terminator, not to its text.
  if (stored_carriage_return) text.pop_back();
  text.resize(length, ' ');
  return true;
}

bool FreeFormReader::read_integers(std::span<std::int32_t> values) {
  StreamSource source(in_);
  unreadable_.clear();
  return read_record(source, values, parse_integer, true, &unreadable_);
}

bool FreeFormReader::read_reals(std::span<double> values) {
  StreamSource source(in_);
  unreadable_.clear();
  return read_record(source, values, parse_real, true, &unreadable_);
}

bool FreeFormReader::read_logical(std::int32_t& value) {
  StreamSource source(in_);
  unreadable_.clear();
  return read_record(source, std::span<std::int32_t>(&value, 1), parse_logical, true, &unreadable_);
}

bool read_reals_from_text(std::string_view text, std::span<double> values) {
  TextSource source(text);
  return read_record(source, values, parse_real, false);
}

}  // namespace pairtrack::detail::fortran
