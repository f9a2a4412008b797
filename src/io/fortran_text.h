// Conventional Fortran text forms spoken by pairtrack: free-form (list-directed) input of the
// parameter records and catalogue fields, free-form output lines (echo lines and messages), and
// fixed-layout lines built from the edit descriptors Fw.d, Iw and nX (frame and pair-file lines).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pairtrack::detail::fortran {

// ---------------------------------------------------------------------------------------------
// Free-form (list-directed) input
//
// Values are separated by blanks, tabs, line ends, or by one comma with optional blanks around
// it; a carriage return (CRLF files) counts as a blank. A value ends at the next separator, and
// anything stuck to it ("5x", "1.5.2") makes it unreadable. Accepted forms:
//   integer  optional sign and decimal digits, within the 32-bit signed range;
//   real     optional sign, digits with an optional decimal point (at least one digit), and an
//            optional exponent introduced by e, E, d or D with optional sign and digits:
//            1, 0.5, .5, 5., 2e6, 1.d6, 2E+6. Words (NaN, Inf) are not numbers, and neither is a
//            decimal beyond the double range (1e999); a decimal below it reads as the nearest
//            double (0 or subnormal), correctly rounded;
//   logical  a word whose first letter, after an optional leading point, is t or f in either
//            case: T, F, .true., .false., True.
// The rarer list-directed notations are refused as unreadable input: a null value (a leading
// comma, or two commas with only blanks between), a repeat count (2*0) and a slash. A value of
// more than 1024 characters is garbage, not a number, and unreadable too.
// ---------------------------------------------------------------------------------------------

// Reads records from a text stream, one record starting at the beginning of a line. The reader
// keeps no copy of the input beyond one value, so arbitrarily long lines are safe.
class FreeFormReader {
 public:
  explicit FreeFormReader(std::istream& in);

  // Reads one whole line as a fixed-length text: its first `length` characters, filled with
  // blanks to `length`; the rest of a longer line is skipped, and a carriage return ending the
  // line is not part of it. Returns false at the end of the input (no line left); a last line
  // without a terminator is still a line.
  bool read_text_record(std::string& text, std::size_t length = 80);

  // Reads one free-form record of values: reading starts at the beginning of the next line,
  // blank lines are skipped, values may continue over following lines, and once all values are
  // read the rest of the last line is skipped. Returns false at the end of the input before all
  // values were read, or on a value that cannot be read in its form; the contents of `values`
  // and the position in the stream are then unspecified (the run ends on such input).
  bool read_integers(std::span<std::int32_t> values);
  bool read_reals(std::span<double> values);
  // One logical value: 1 for true, 0 for false.
  bool read_logical(std::int32_t& value);

  // After a read that returned false: the text of the value that could not be read (at most
  // 40 characters, longer ones cut and marked with "..."), or empty when the input ended first.
  const std::string& unreadable() const { return unreadable_; }

 private:
  std::istream& in_;
  std::string unreadable_;
};

// Reads values.size() free-form reals from one text, as an internal read of a single record
// (a catalogue field): true when all of them were read. Characters after the last value that is
// needed are not looked at; the end of the text ends the last value.
bool read_reals_from_text(std::string_view text, std::span<double> values);

// ---------------------------------------------------------------------------------------------
// Free-form (list-directed) output
//
// A line starts with one blank. Text items are written exactly as given; a text that follows a
// text has nothing between them, every other item is preceded by one separator blank (the first
// item uses the line's leading blank). Integers are right-aligned in 11 characters; reals are
// written with 17 significant digits, without padding (see free_form_real).
// ---------------------------------------------------------------------------------------------

class FreeFormLine {
 public:
  FreeFormLine();

  FreeFormLine& text(std::string_view s);  // a text item, all its characters
  FreeFormLine& integer(std::int32_t v);   // separator blank, right-aligned in 11 characters
  FreeFormLine& real(double v);            // separator blank, free_form_real(v)

  // The line built so far, without line terminator.
  const std::string& str() const { return line_; }

 private:
  enum class Last { none, text, number };
  void separate();

  std::string line_;
  Last last_ = Last::none;
};

// The digits of a free-form real item: 17 significant digits, correctly rounded. Fixed form
// when the rounded value has a decimal exponent from -1 to 16, and for zero ("1.0000000000000000",
// "0.10000000000000001", "10000000000000000.", "-0.0000000000000000"), otherwise exponent form
// with at least three exponent digits ("1.0000000000000000E-002", "4.9406564584124654E-324").
// Non-finite values are "NaN", "Infinity" and "-Infinity".
std::string free_form_real(double v);

// Writes the line followed by '\n'.
void write_line(std::ostream& out, const FreeFormLine& line);

// ---------------------------------------------------------------------------------------------
// Fixed layout: Fw.d, Iw, nX, quoted literals and repeat counts
// ---------------------------------------------------------------------------------------------

// One value for a fixed-layout line: a real for an F descriptor, an integer for an I descriptor.
struct FixedItem {
  enum class Kind { real, integer };
  constexpr FixedItem(double v) : kind(Kind::real), real(v) {}
  constexpr FixedItem(std::int64_t v) : kind(Kind::integer), integer(v) {}
  constexpr FixedItem(std::int32_t v) : kind(Kind::integer), integer(v) {}

  Kind kind;
  double real = 0.0;
  std::int64_t integer = 0;
};

namespace detail {
// One step of a parsed fixed-layout format, repeat groups expanded.
struct FixedStep {
  enum class Kind { real, integer, blanks, literal };
  Kind kind;
  int width;     // field width, or the number of blanks
  int decimals;  // digits after the decimal point (F only)
  std::string literal;
};
}  // namespace detail

// A fixed-layout line format such as "(f16.10,4(1x,f22.16),4(1x,i8))". The format is parsed
// once; format() then lays out one line per call. Descriptors (letters in either case, blanks
// ignored): Fw.d (w >= 1), Iw (w >= 1), nX (n blanks; X alone is one blank; blanks that end
// the line are not written), a quoted literal ('text' or "text", the quote doubled inside), and
// a repeat count before a descriptor or a parenthesised group; groups nest.
class FixedFormat {
 public:
  // Throws std::invalid_argument when the format is malformed.
  explicit FixedFormat(std::string_view format);

  // Lays out the items in order, each taken by the next F or I descriptor. Throws
  // std::invalid_argument when the number of items differs from the number of F and I
  // descriptors, or an item's kind does not match its descriptor.
  std::string format(std::span<const FixedItem> items) const;
  // As format(), appending the line to `out` (lets a caller reuse one buffer for many lines).
  void append(std::string& out, std::span<const FixedItem> items) const;

  // Width of every line of this format, in characters.
  std::size_t width() const { return width_; }

 private:
  using Step = detail::FixedStep;
  std::vector<Step> steps_;  // the format with its repeat groups expanded
  std::size_t items_ = 0;    // number of F and I descriptors
  std::size_t width_ = 0;
};

// One Fw.d field: `value` rounded to `decimals` digits after the decimal point (exact decimal
// rounding of the binary value, ties to even), right-aligned in `width` characters; a minus sign
// for negative values and negative zero even when every digit is zero; a zero before the
// decimal point only when the field has room for it; at least one digit; the whole field of
// asterisks when the value does not fit. Non-finite: "NaN", "Infinity"/"Inf", "-Infinity"/"-Inf"
// by width, asterisks in fields too narrow for them. Requires width >= 1 and decimals >= 0.
std::string format_f(double value, int width, int decimals);

// One Iw field: `value` right-aligned in `width` characters with a '-' sign when negative, or
// `width` asterisks when it does not fit. Requires width >= 1.
std::string format_i(std::int64_t value, int width);

}  // namespace pairtrack::detail::fortran
