// Orbit catalogue reader (population 1): a text file with one orbit per line, whose columns
// 148-182 hold inclination (degrees), eccentricity and semimajor axis (AU) in free form.
// Values are stored as read, in the catalogue's own units; the caller converts them.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace pairtrack::detail {

// Outcome of load_catalog; the caller ends the run (exit status 1) on anything but ok.
enum class CatalogStatus {
  ok,               // every orbit line read; the count line was written
  cannot_open,      // missing, not a regular file, or unreadable; "Error reading file" written
  too_many_orbits,  // more orbit lines than the arrays hold; the refusal line was written
  read_error,       // the operating system failed a read; "Error reading file" written, no count
};

// What the reading saw, for diagnostics (filled when the caller passes one).
struct CatalogReport {
  std::string system_error;      // cannot_open / read_error: the system's reason
  std::int64_t stop_line = 0;    // 1-based line whose field gave no three numbers; 0: none
  std::string stop_text;         // that line (its first 255 characters, trailing blanks cut)
  std::int64_t lines_after = 0;  // lines after the stop line, not read as orbits
  std::int64_t lines_total = 0;  // lines seen in all (up to the capacity refusal)
};

// Reads the orbit catalogue named by `name80`, a fixed-length text of 80 characters, blank-filled
// (a shorter text is blank-filled to 80 and a longer one cut to 80 before use).
//
// Writes to `out`, as free-form lines: first " # Input filename: " with all 80 characters of the
// name; then, on success, " # n = " with the count. The file opened is the name with its
// trailing blanks dropped.
//
// Each line is taken as its first 255 characters (blank-filled; a carriage return ending the line
// is dropped) and its columns 148-182 are read as three free-form reals: inclination, eccentricity,
// semimajor axis. Line k (1-based) fills inc[k-1], e[k-1], a[k-1]. The first line whose field does
// not yield three numbers ends the reading and is not counted; the lines after it are not read.
//
// On entry `n` holds the capacity of the arrays; nothing is ever stored at index n or beyond.
// Returns:
//   ok              - `n` holds the number of orbits read;
//   cannot_open     - after the echo line, " Error reading file " with the 80-character name was
//                     written; `n` and the arrays are unchanged;
//   too_many_orbits - line n+1 yields an orbit: " pairtrack: orbit catalogue holds more than",
//                     the capacity, "orbits" was written instead of the count line; the arrays
//                     hold the first n orbits and `n` is unchanged;
//   read_error      - the operating system failed a read (a failing disk or network file
//                     system): " Error reading file " with the 80-character name was written and
//                     no count line; `n` is unchanged. A read error never passes for the end of
//                     the catalogue.
// `report`, when given, receives the reason and where the reading stopped.
CatalogStatus load_catalog(const std::string& name80, double a[], double e[], double inc[],
                           std::int32_t& n, std::ostream& out, CatalogReport* report = nullptr);

// The same reading rules for a file named by a path of any length (used as given: no cut to 80
// characters, no blanks dropped), writing nothing. `n` holds the capacity on entry. Returns ok
// with `n` the number of orbits read; cannot_open, read_error or too_many_orbits with `n`
// unchanged (for too_many_orbits the arrays hold the first n orbits). `report`, when given,
// receives the reason and where the reading stopped.
CatalogStatus read_catalog_file(const std::string& path, double a[], double e[], double inc[],
                                std::int32_t& n, CatalogReport* report = nullptr);

}  // namespace pairtrack::detail
