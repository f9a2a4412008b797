// Free-form (list-directed) output lines: echo lines, messages and the closing line. Reals are
// written with 17 significant digits, enough to recover every double exactly, in the layout
// report parsers already read (fixed form for 0.1 <= |x| < 1e17 and zero, exponent form beyond).
#include <charconv>
#include <cmath>
#include <ostream>

#include "io/fortran_text.h"

namespace pairtrack::detail::fortran {

std::string free_form_real(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";

  // d.dddddddddddddddde±XX: the 17 correctly rounded significant digits and the decimal
  // exponent of the rounded value (zero gives exponent 0 and keeps its sign).
  char buffer[40];
  const auto [last, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, 16);
  (void)ec;  // 40 characters always hold the 24 of this form
  const std::string_view text(buffer, static_cast<std::size_t>(last - buffer));
  const bool negative = text.front() == '-';
  const std::string_view mantissa = text.substr(negative ? 1 : 0, 18);  // "d.dddddddddddddddd"
  const std::size_t e_pos = text.find('e');
  int exponent = 0;
  std::from_chars(text.data() + e_pos + 1 + (text[e_pos + 1] == '+' ? 1 : 0),
                  text.data() + text.size(), exponent);

  std::string digits;  // the 17 significant digits alone
  digits.reserve(17);
  digits.push_back(mantissa[0]);
  digits.append(mantissa.substr(2));

  std::string out;
  out.reserve(26);
  if (negative) out.push_back('-');
  if (exponent >= -1 && exponent <= 16) {
    if (exponent == -1) {
      out.append("0.");
      out.append(digits);
    } else {
      const auto before = static_cast<std::size_t>(exponent) + 1;
      out.append(digits, 0, before);
      out.push_back('.');
      out.append(digits, before, std::string::npos);
    }
    return out;
  }
  out.append(mantissa);
  out.push_back('E');
  out.push_back(exponent < 0 ? '-' : '+');
  const int magnitude = exponent < 0 ? -exponent : exponent;
  char exp_digits[8];
  const auto exp_end = std::to_chars(exp_digits, exp_digits + sizeof exp_digits, magnitude).ptr;
  const auto exp_len = static_cast<std::size_t>(exp_end - exp_digits);
  if (exp_len < 3) out.append(3 - exp_len, '0');
  out.append(exp_digits, exp_len);
  return out;
}

FreeFormLine::FreeFormLine() : line_(" ") {}

void FreeFormLine::separate() {
  if (last_ != Last::none) line_.push_back(' ');
}

FreeFormLine& FreeFormLine::text(std::string_view s) {
  if (last_ == Last::number) line_.push_back(' ');
  line_.append(s);
  last_ = Last::text;
  return *this;
}

FreeFormLine& FreeFormLine::integer(std::int32_t v) {
  separate();
  char buffer[16];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  const auto len = static_cast<std::size_t>(end - buffer);
  line_.append(11 - len, ' ');  // an int32 has at most 11 characters, "-2147483648"
  line_.append(buffer, len);
  last_ = Last::number;
  return *this;
}

FreeFormLine& FreeFormLine::real(double v) {
  separate();
  line_.append(free_form_real(v));
  last_ = Last::number;
  return *this;
}

void write_line(std::ostream& out, const FreeFormLine& line) { out << line.str() << '\n'; }

}  // namespace pairtrack::detail::fortran
