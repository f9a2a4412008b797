// Orbit catalogue reader: echo the name, read columns 148-182 of every line as inclination
// (degrees), eccentricity and semimajor axis (AU), and report the count. The catalogue is
// untrusted text: line lengths are bounded while reading and the arrays' capacity is enforced.
#include "io/load_catalog.h"

#include <filesystem>
#include <fstream>
#include <span>

#include "io/fortran_text.h"

namespace pairtrack {
namespace {

constexpr std::size_t kNameLength = 80;
constexpr std::size_t kLineLength = 255;       // characters of a line that are looked at
constexpr std::size_t kFieldFirst = 148 - 1;   // 0-based start of columns 148-182
constexpr std::size_t kFieldLength = 182 - 148 + 1;

// Opens the named file for reading when it is a regular file (a directory opens on some systems
// but yields no lines; it is as unreadable as a missing file).
bool open_regular_file(const std::string& path, std::ifstream& file) {
  std::error_code error;
  // A NUL byte would cut the name short for the operating system and open another file.
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  if (!std::filesystem::is_regular_file(path, error) || error) return false;
  file.open(path, std::ios::in | std::ios::binary);
  return file.is_open();
}

// Reads the orbit lines of an open catalogue into the arrays, at most `capacity` of them.
// False when a further orbit line follows the first `capacity` (count is then the capacity).
bool read_orbit_lines(std::ifstream& file, double a[], double e[], double inc[],
                      std::int32_t capacity, std::int32_t& count) {
  fortran::FreeFormReader reader(file);
  std::string line;
  line.reserve(kLineLength);
  count = 0;
  double values[3];  // inclination, eccentricity, semimajor axis, in the field's order
  while (reader.read_text_record(line, kLineLength)) {
    const std::string_view field = std::string_view(line).substr(kFieldFirst, kFieldLength);
    if (!fortran::read_reals_from_text(field, values)) break;
    if (count == capacity) return false;
    inc[count] = values[0];
    e[count] = values[1];
    a[count] = values[2];
    ++count;
  }
  return true;
}

}  // namespace

CatalogStatus load_catalog(const std::string& name80, double a[], double e[], double inc[],
                           std::int32_t& n, std::ostream& out) {
  std::string name = name80.substr(0, kNameLength);
  name.resize(kNameLength, ' ');
  fortran::write_line(out, fortran::FreeFormLine().text("# Input filename: ").text(name));

  const std::size_t last_non_blank = name.find_last_not_of(' ');
  const std::string path =
      last_non_blank == std::string::npos ? std::string() : name.substr(0, last_non_blank + 1);
  std::ifstream file;
  if (!open_regular_file(path, file)) {
    fortran::write_line(out, fortran::FreeFormLine().text("Error reading file ").text(name));
    return CatalogStatus::cannot_open;
  }

  const std::int32_t capacity = n > 0 ? n : 0;
  std::int32_t count = 0;
  if (!read_orbit_lines(file, a, e, inc, capacity, count)) {
    fortran::write_line(out, fortran::FreeFormLine()
                                 .text("pairtrack: orbit catalogue holds more than")
                                 .integer(capacity)
                                 .text("orbits"));
    return CatalogStatus::too_many_orbits;
  }

  n = count;
  fortran::write_line(out, fortran::FreeFormLine().text("# n = ").integer(n));
  return CatalogStatus::ok;
}

CatalogStatus read_catalog_file(const std::string& path, double a[], double e[], double inc[],
                                std::int32_t& n) {
  std::ifstream file;
  if (!open_regular_file(path, file)) return CatalogStatus::cannot_open;
  std::int32_t count = 0;
  if (!read_orbit_lines(file, a, e, inc, n > 0 ? n : 0, count)) {
    return CatalogStatus::too_many_orbits;
  }
  n = count;
  return CatalogStatus::ok;
}

}  // namespace pairtrack
