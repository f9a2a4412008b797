// Fuzz target: the orbit catalogue. The input is written to a file and read by load_catalog
// into arrays of a small capacity chosen by the input's first byte (so that refusals of long
// catalogues are reached with short inputs); every orbit read must be finite and must equal
// the three numbers of its line's columns 148-182.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "io/fortran_text.h"
#include "io/load_catalog.h"

namespace {

// The lines of the file as the catalogue sees them: split at '\n', first 255 characters, a
// carriage return ending the line dropped, blank-filled to 255.
std::vector<std::string> catalog_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.size() > 255)
      line.resize(255);
    else if (!line.empty() && line.back() == '\r')
      line.pop_back();
    line.resize(255, ' ');
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  pairtrack::detail::fuzz::enter_private_dir();
  const std::int32_t capacity = data[0] % 8;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  pairtrack::detail::fuzz::write_file("cat.txt", text);

  // Exactly `capacity` entries: a store past the end is an AddressSanitizer report.
  std::vector<double> a(capacity), e(capacity), inc(capacity);
  std::int32_t n = capacity;
  std::ostringstream out;
  const std::string name80 = "cat.txt" + std::string(73, ' ');
  const pairtrack::detail::CatalogStatus status =
      pairtrack::detail::load_catalog(name80, a.data(), e.data(), inc.data(), n, out);
  PAIRTRACK_FUZZ_CHECK(status != pairtrack::detail::CatalogStatus::cannot_open, "cannot open");

  // The reference count: leading lines whose field holds three numbers.
  const std::vector<std::string> lines = catalog_lines(text);
  std::int32_t expected = 0;
  for (const std::string& line : lines) {
    double v[3];
    if (!pairtrack::detail::fortran::read_reals_from_text(std::string_view(line).substr(147, 35),
                                                          v)) {
      break;
    }
    for (double x : v) PAIRTRACK_FUZZ_CHECK(std::isfinite(x), "non-finite %g", x);
    if (expected < capacity) {
      PAIRTRACK_FUZZ_CHECK(inc[expected] == v[0] && e[expected] == v[1] && a[expected] == v[2],
                           "orbit %d differs", expected + 1);
    }
    ++expected;
  }

  const std::vector<std::string> report = pairtrack::detail::fuzz::split_lines(out.str());
  PAIRTRACK_FUZZ_CHECK(report.size() == 2 && report[0] == " # Input filename: " + name80,
                       "report: %s", out.str().c_str());
  if (expected > capacity) {
    PAIRTRACK_FUZZ_CHECK(
        status == pairtrack::detail::CatalogStatus::too_many_orbits && n == capacity,
        "expected a refusal for %d lines", expected);
    PAIRTRACK_FUZZ_CHECK(report[1] == pairtrack::detail::fortran::FreeFormLine()
                                          .text("pairtrack: orbit catalogue holds more than")
                                          .integer(capacity)
                                          .text("orbits")
                                          .str(),
                         "refusal: %s", report[1].c_str());
  } else {
    PAIRTRACK_FUZZ_CHECK(status == pairtrack::detail::CatalogStatus::ok && n == expected,
                         "count %d, expected %d", n, expected);
    PAIRTRACK_FUZZ_CHECK(
        report[1] == pairtrack::detail::fortran::FreeFormLine().text("# n = ").integer(n).str(),
        "count line: %s", report[1].c_str());
  }
  return 0;
}
