// Orbit catalogue reader: echo the name, read columns 148-182 of every line as inclination
// (degrees), eccentricity and semimajor axis (AU), and report the count. The catalogue is
// untrusted text: line lengths are bounded while reading and the arrays' capacity is enforced.
#include "io/load_catalog.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>

#include "io/fortran_text.h"

namespace pairtrack::detail {
namespace {

constexpr std::size_t kNameLength = 80;
constexpr std::size_t kLineLength = 255;      // characters of a line that are looked at
constexpr std::size_t kFieldFirst = 148 - 1;  // 0-based start of columns 148-182
constexpr std::size_t kFieldLength = 182 - 148 + 1;

// Opens the named file for reading when it is a regular file (a directory opens on some systems
// but yields no lines; it is as unreadable as a missing file).
// `reason` tells why not.
bool open_regular_file(const std::string& path, std::ifstream& file, std::string& reason) {
  std::error_code error;
  // A NUL byte would cut the name short for the operating system and open another file.
  if (path.empty()) {
    reason = "the name is blank";
    return false;
  }
  if (path.find('\0') != std::string::npos) {
    reason = "the name holds a NUL byte";
    return false;
  }
  const auto status = std::filesystem::status(path, error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    reason = std::strerror(EISDIR);
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    reason = "not a regular file";
    return false;
  }
  errno = 0;
  file.open(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
  return file.is_open();
}

std::string without_trailing_blanks(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// Reads the orbit lines of an open catalogue into the arrays, at most `capacity` of them, and
// tells `r` where the reading stopped. Returns ok, too_many_orbits when a further orbit line
// follows the first `capacity` (count is then the capacity), or read_error when the operating
// system failed a read (a failing read must not pass for the end of the file: the stream
// reports it as an exception carrying the system's error code).
CatalogStatus read_orbit_lines(std::ifstream& file, double a[], double e[], double inc[],
                               std::int32_t capacity, std::int32_t& count, CatalogReport& r) {
  file.exceptions(std::ios::badbit);
  fortran::FreeFormReader reader(file);
  std::string line;
  line.reserve(kLineLength);
  count = 0;
  double values[3];  // inclination, eccentricity, semimajor axis, in the field's order
  try {
    while (reader.read_text_record(line, kLineLength)) {
      ++r.lines_total;
      const std::string_view field = std::string_view(line).substr(kFieldFirst, kFieldLength);
      if (!fortran::read_reals_from_text(field, values)) {
        // The rest of the file is not read as orbits; count its lines for the diagnostics.
        r.stop_line = r.lines_total;
        r.stop_text = without_trailing_blanks(line);
        while (reader.read_text_record(line, 1)) ++r.lines_after;
        break;
      }
      if (count == capacity) return CatalogStatus::too_many_orbits;
      inc[count] = values[0];
      e[count] = values[1];
      a[count] = values[2];
      ++count;
    }
  } catch (const std::ios_base::failure& failure) {
    const int code = failure.code().value();
    r.system_error = failure.code().category() == std::system_category() && code != 0
                         ? std::strerror(code)
                         : std::strerror(EIO);
    return CatalogStatus::read_error;
  }
  return CatalogStatus::ok;
}

}  // namespace

CatalogStatus load_catalog(const std::string& name80, double a[], double e[], double inc[],
                           std::int32_t& n, std::ostream& out, CatalogReport* report) {
  CatalogReport local;
  CatalogReport& r = report != nullptr ? *report : local;
  std::string name = name80.substr(0, kNameLength);
  name.resize(kNameLength, ' ');
  fortran::write_line(out, fortran::FreeFormLine().text("# Input filename: ").text(name));

  const std::string path = without_trailing_blanks(name);
  std::ifstream file;
  if (!open_regular_file(path, file, r.system_error)) {
    fortran::write_line(out, fortran::FreeFormLine().text("Error reading file ").text(name));
    return CatalogStatus::cannot_open;
  }
  std::int32_t count = 0;
  const CatalogStatus status = read_orbit_lines(file, a, e, inc, n > 0 ? n : 0, count, r);
  if (status == CatalogStatus::too_many_orbits) {
    fortran::write_line(out, fortran::FreeFormLine()
                                 .text("pairtrack: orbit catalogue holds more than")
                                 .integer(n > 0 ? n : 0)
                                 .text("orbits"));
    return status;
  }
  if (status == CatalogStatus::read_error) {
    fortran::write_line(out, fortran::FreeFormLine().text("Error reading file ").text(name));
    return status;
  }
  n = count;
  fortran::write_line(out, fortran::FreeFormLine().text("# n = ").integer(n));
  return CatalogStatus::ok;
}

CatalogStatus read_catalog_file(const std::string& path, double a[], double e[], double inc[],
                                std::int32_t& n, CatalogReport* report) {
  CatalogReport local;
  CatalogReport& r = report != nullptr ? *report : local;
  std::ifstream file;
  if (!open_regular_file(path, file, r.system_error)) return CatalogStatus::cannot_open;
  std::int32_t count = 0;
  const CatalogStatus status = read_orbit_lines(file, a, e, inc, n > 0 ? n : 0, count, r);
  if (status == CatalogStatus::ok) n = count;
  return status;
}

}  // namespace pairtrack::detail
