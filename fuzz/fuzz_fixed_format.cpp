// Fuzz target: the fixed-layout writer with arbitrary doubles. Each Fw.d field must have width
// w exactly and must agree with the C library's exactly rounded "%#.*f" conversion, reduced to
// the field's rules (the zero before the point dropped when only that makes it fit, asterisks
// when nothing fits, the words for non-finite values); the frame and pair-file lines of the
// report keep their widths for any values.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/fortran_text.h"

namespace {

std::string right(const std::string& body, int width) {
  return std::string(static_cast<std::size_t>(width) - body.size(), ' ') + body;
}

// The field as the conversion of the C library makes it.
std::string reference_f(double v, int width, int decimals) {
  const std::string stars(static_cast<std::size_t>(width), '*');
  if (std::isnan(v)) return width >= 3 ? right("NaN", width) : stars;
  if (std::isinf(v)) {
    const std::string sign = v < 0 ? "-" : "";
    const int room = width - static_cast<int>(sign.size());
    if (room >= 8) return right(sign + "Infinity", width);
    if (room >= 3) return right(sign + "Inf", width);
    return stars;
  }
  static std::vector<char> buffer(512);
  const int len = std::snprintf(buffer.data(), buffer.size(), "%#.*f", decimals, v);
  if (static_cast<std::size_t>(len) >= buffer.size()) {
    buffer.resize(static_cast<std::size_t>(len) + 1);
    std::snprintf(buffer.data(), buffer.size(), "%#.*f", decimals, v);
  }
  std::string s(buffer.data(), static_cast<std::size_t>(len));
  if (static_cast<int>(s.size()) <= width) return right(s, width);
  const std::size_t zero = s[0] == '-' ? 1 : 0;
  if (decimals > 0 && s.compare(zero, 2, "0.") == 0 && static_cast<int>(s.size()) - 1 <= width) {
    s.erase(zero, 1);
    return right(s, width);
  }
  return stars;
}

template <class T>
T take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = std::min(size, sizeof value);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pairtrack::detail::fortran::FixedFormat;
  using pairtrack::detail::fortran::FixedItem;
  static const FixedFormat frame_line("(f16.10,4(1x,f22.16),4(1x,i8))");
  static const FixedFormat pair_line("(1x,i8,1x,f16.10,1x,f14.8,1x,f10.8,1(1x,f10.5))");

  // Single fields: a width of 1 to 64 (or up to 400 now and then), decimals 0 to width + 3.
  while (size >= 10) {
    const double v = take<double>(data, size);
    const std::uint8_t w = take<std::uint8_t>(data, size);
    const std::uint8_t d = take<std::uint8_t>(data, size);
    const int width = (w & 0x80) && (d & 0x80) ? 1 + w % 64 + 6 * (d % 64) : 1 + w % 64;
    const int decimals = d % (width + 4);
    const std::string got = pairtrack::detail::fortran::format_f(v, width, decimals);
    PAIRTRACK_FUZZ_CHECK(static_cast<int>(got.size()) == width, "f%d.%d of %a: width %zu", width,
                         decimals, v, got.size());
    const std::string want = reference_f(v, width, decimals);
    PAIRTRACK_FUZZ_CHECK(got == want, "f%d.%d of %a (%.17g): got '%s', want '%s'", width, decimals,
                         v, v, got.c_str(), want.c_str());
    if (std::isfinite(v) && got.find('*') == std::string::npos) {
      // Round trip: the field reads back within half a unit of its last decimal.
      const double back = std::strtod(got.c_str(), nullptr);
      PAIRTRACK_FUZZ_CHECK(
          std::fabs(back - v) <= 0.5000001 * std::pow(10.0, -decimals) + std::fabs(v) * 1e-15,
          "f%d.%d of %.17g reads back as %.17g", width, decimals, v, back);
    }
  }

  // Whole report lines keep their layout whatever the values.
  if (size >= 4) {
    // Halved, so that -k and every count below stay within 32 bits.
    const std::int32_t k = take<std::int32_t>(data, size) / 2;
    const double x = static_cast<double>(k) / 7.0;
    const FixedItem frame[] = {x,
                               -x,
                               x * 1e12,
                               x * 1e-12,
                               1.0 / x,
                               std::int32_t{k},
                               std::int32_t{-k},
                               std::int32_t{k / 3},
                               std::int32_t{k % 1000}};
    const std::string line = frame_line.format(frame);
    PAIRTRACK_FUZZ_CHECK(line.size() == 144, "frame line width %zu", line.size());
    const FixedItem pair[] = {std::int32_t{k}, x, x * 1e6, 1.0 / x, -x};
    const std::string pline = pair_line.format(pair);
    PAIRTRACK_FUZZ_CHECK(pline.size() == 63, "pair line width %zu", pline.size());
  }
  return 0;
}
