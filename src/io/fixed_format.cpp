// Fixed-layout output lines: the edit descriptors Fw.d, Iw, nX, quoted literals and repeat
// groups. A format is parsed once into a flat list of steps; laying out a line then costs one
// decimal conversion per field (std::to_chars, exact and correctly rounded), no stream.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {
namespace {

void append_asterisks(std::string& out, int width) {
  out.append(static_cast<std::size_t>(width), '*');
}

// Right-aligns `sign` (may be empty) followed by `body` in `width` characters.
void append_right(std::string& out, int width, std::string_view sign, std::string_view body) {
  const std::size_t len = sign.size() + body.size();
  out.append(static_cast<std::size_t>(width) - len, ' ');
  out.append(sign);
  out.append(body);
}

// 10^n: exact doubles up to 10^22 (the widths of every line the program writes), the power
// function beyond. Every value field of every output line asks for its width's bound, and
// std::pow for it was a visible share of rank 0's time per frame in MPI runs.
double power_of_ten(int n) {
  static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  return n >= 0 && n <= 22 ? kExact[n] : std::pow(10.0, n);
}

void append_f(std::string& out, double value, int width, int decimals) {
  if (std::isnan(value)) {
    if (width < 3) {
      append_asterisks(out, width);
    } else {
      append_right(out, width, "", "NaN");
    }
    return;
  }
  const bool negative = std::signbit(value);
  if (std::isinf(value)) {
    const std::string_view sign = negative ? "-" : "";
    const int room = width - static_cast<int>(sign.size());
    if (room >= 8) {
      append_right(out, width, sign, "Infinity");
    } else if (room >= 3) {
      append_right(out, width, sign, "Inf");
    } else {
      append_asterisks(out, width);
    }
    return;
  }

  const double magnitude = std::fabs(value);
  // A magnitude of 10^(width-1) or more has at least `width` digits before the point and can
  // never fit with the point; catching it here also bounds the conversion below.
  if (width <= 309 && magnitude >= power_of_ten(width - 1)) {
    append_asterisks(out, width);
    return;
  }

  // Integer part has at most min(width, 309) digits, then the point and the decimals.
  const std::size_t capacity =
      static_cast<std::size_t>(std::min(width, 310)) + static_cast<std::size_t>(decimals) + 4;
  char stack_buffer[512];
  std::string heap_buffer;
  char* first = stack_buffer;
  if (capacity > sizeof stack_buffer) {
    heap_buffer.resize(capacity);
    first = heap_buffer.data();
  }
  const auto [last, ec] =
      std::to_chars(first, first + capacity, magnitude, std::chars_format::fixed, decimals);
  if (ec != std::errc()) {
    append_asterisks(out, width);
    return;
  }
  std::string_view digits(first, static_cast<std::size_t>(last - first));

  const std::string_view sign = negative ? "-" : "";
  // With no decimals the conversion has no point; the field always shows one.
  const std::size_t body_len = digits.size() + (decimals == 0 ? 1 : 0);
  const std::size_t needed = sign.size() + body_len;
  const auto w = static_cast<std::size_t>(width);
  if (needed <= w) {
    out.append(w - needed, ' ');
    out.append(sign);
    out.append(digits);
    if (decimals == 0) out.push_back('.');
    return;
  }
  // The zero before the point is dropped when the field has no room for it, provided a digit
  // remains after the point.
  if (decimals > 0 && digits.size() >= 2 && digits[0] == '0' && digits[1] == '.' &&
      needed - 1 <= w) {
    out.append(w - (needed - 1), ' ');
    out.append(sign);
    out.append(digits.substr(1));
    return;
  }
  append_asterisks(out, width);
}

void append_i(std::string& out, std::int64_t value, int width) {
  char buffer[24];
  const auto [last, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  const auto len = static_cast<std::size_t>(last - buffer);
  if (ec != std::errc() || len > static_cast<std::size_t>(width)) {
    append_asterisks(out, width);
    return;
  }
  out.append(static_cast<std::size_t>(width) - len, ' ');
  out.append(buffer, len);
}

// Recursive-descent parser of a format; repeat groups are expanded into flat steps.
class FormatParser {
 public:
  explicit FormatParser(std::string_view format) : text_(format) {}

  using Step = detail::FixedStep;

  std::vector<Step> parse() {
    skip_blanks();
    expect('(');
    std::vector<Step> steps = parse_list();
    expect(')');
    skip_blanks();
    if (pos_ != text_.size()) fail("text after the closing parenthesis");
    return steps;
  }

 private:
  // Repeat counts, widths and decimals are bounded so that a line stays a sensible size.
  static constexpr int kMaxNumber = 100000;
  static constexpr std::size_t kMaxSteps = 1000000;

  [[noreturn]] void fail(const char* why) const {
    throw std::invalid_argument("malformed format \"" + std::string(text_) + "\": " + why);
  }

  void skip_blanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  int peek_upper() {
    skip_blanks();
    if (pos_ >= text_.size()) return -1;
    return std::toupper(static_cast<unsigned char>(text_[pos_]));
  }
  void expect(char c) {
    if (peek_upper() != c) fail("missing parenthesis");
    ++pos_;
  }
  bool at_digit() {
    skip_blanks();
    return pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]));
  }
  int parse_number() {
    if (!at_digit()) fail("number expected");
    long value = 0;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      value = value * 10 + (text_[pos_] - '0');
      if (value > kMaxNumber) fail("number too large");
      ++pos_;
    }
    return static_cast<int>(value);
  }

  std::vector<Step> parse_list() {
    std::vector<Step> steps;
    if (peek_upper() == ')') return steps;
    for (;;) {
      std::vector<Step> item = parse_item();
      steps.insert(steps.end(), item.begin(), item.end());
      if (steps.size() > kMaxSteps) fail("too many descriptors");
      if (peek_upper() != ',') break;
      ++pos_;
    }
    return steps;
  }

  static void repeat(std::vector<Step>& steps, int count) {
    if (count > 1 && steps.size() * static_cast<std::size_t>(count) > kMaxSteps) {
      throw std::invalid_argument("malformed format: too many descriptors");
    }
    const std::vector<Step> once = steps;
    for (int r = 1; r < count; ++r) steps.insert(steps.end(), once.begin(), once.end());
  }

  std::vector<Step> parse_item() {
    int count = 1;
    bool counted = false;
    if (at_digit()) {
      count = parse_number();
      counted = true;
      if (count == 0) fail("repeat count of zero");
    }
    std::vector<Step> steps;
    const int c = peek_upper();
    if (c == '(') {
      ++pos_;
      steps = parse_list();
      expect(')');
    } else if (c == 'X') {
      ++pos_;
      // nX is n blanks: its count is the number of blanks, not a repeat.
      steps.push_back({Step::Kind::blanks, count, 0, {}});
      return steps;
    } else if (c == 'F') {
      ++pos_;
      const int width = parse_number();
      if (peek_upper() != '.') fail("F needs a decimal count");
      ++pos_;
      const int decimals = parse_number();
      if (width < 1) fail("F width must be at least 1");
      steps.push_back({Step::Kind::real, width, decimals, {}});
    } else if (c == 'I') {
      ++pos_;
      const int width = parse_number();
      if (width < 1) fail("I width must be at least 1");
      if (peek_upper() == '.') fail("Iw.m is not supported");
      steps.push_back({Step::Kind::integer, width, 0, {}});
    } else if (c == '\'' || c == '"') {
      if (counted) fail("repeat count before a literal");
      steps.push_back({Step::Kind::literal, 0, 0, parse_literal(static_cast<char>(c))});
      return steps;
    } else {
      fail("unknown descriptor");
    }
    repeat(steps, count);
    return steps;
  }

  std::string parse_literal(char quote) {
    ++pos_;  // opening quote
    std::string literal;
    for (;;) {
      if (pos_ >= text_.size()) fail("unterminated literal");
      const char c = text_[pos_++];
      if (c == quote) {
        if (pos_ < text_.size() && text_[pos_] == quote) {
          literal.push_back(quote);
          ++pos_;
          continue;
        }
        return literal;
      }
      literal.push_back(c);
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

FixedFormat::FixedFormat(std::string_view format) {
  for (Step& parsed : FormatParser(format).parse()) {
    // Adjacent blanks merge into one step.
    if (parsed.kind == Step::Kind::blanks && !steps_.empty() &&
        steps_.back().kind == Step::Kind::blanks) {
      steps_.back().width += parsed.width;
    } else {
      steps_.push_back(std::move(parsed));
    }
  }
  // nX only moves the position: at the end of the line there is nothing for it to move before.
  if (!steps_.empty() && steps_.back().kind == Step::Kind::blanks) steps_.pop_back();
  for (const Step& step : steps_) {
    if (step.kind == Step::Kind::real || step.kind == Step::Kind::integer) ++items_;
    width_ += step.kind == Step::Kind::literal ? step.literal.size()
                                               : static_cast<std::size_t>(step.width);
  }
}

void FixedFormat::append(std::string& out, std::span<const FixedItem> items) const {
  if (items.size() != items_) {
    throw std::invalid_argument("fixed format takes " + std::to_string(items_) + " items, got " +
                                std::to_string(items.size()));
  }
  std::size_t next = 0;
  for (const Step& step : steps_) {
    switch (step.kind) {
      case Step::Kind::blanks: out.append(static_cast<std::size_t>(step.width), ' '); break;
      case Step::Kind::literal: out.append(step.literal); break;
      case Step::Kind::real: {
        const FixedItem& item = items[next++];
        if (item.kind != FixedItem::Kind::real) {
          throw std::invalid_argument("an F descriptor needs a real item");
        }
        append_f(out, item.real, step.width, step.decimals);
        break;
      }
      case Step::Kind::integer: {
        const FixedItem& item = items[next++];
        if (item.kind != FixedItem::Kind::integer) {
          throw std::invalid_argument("an I descriptor needs an integer item");
        }
        append_i(out, item.integer, step.width);
        break;
      }
    }
  }
}

std::string FixedFormat::format(std::span<const FixedItem> items) const {
  std::string line;
  line.reserve(width_);
  append(line, items);
  return line;
}

std::string format_f(double value, int width, int decimals) {
  if (width < 1 || decimals < 0) throw std::invalid_argument("format_f: width >= 1, decimals >= 0");
  std::string field;
  append_f(field, value, width, decimals);
  return field;
}

std::string format_i(std::int64_t value, int width) {
  if (width < 1) throw std::invalid_argument("format_i: width >= 1");
  std::string field;
  append_i(field, value, width);
  return field;
}

}  // namespace pairtrack::detail::fortran
