// pairtrack public API: the orbit catalogue (population 1 of a run).
//
// A text file with one orbit per line; columns 148-182 hold three free-form numbers:
// inclination (degrees), eccentricity, semimajor axis (AU). Everything else on a line is free.
// Lines are read up to the first whose field does not hold three numbers (a blank line, a
// short line, text); that line and everything after it are ignored. Reals may be written `1`,
// `0.5`, `2e6`, `1.d6`; words such as NaN or Inf and values that overflow a double are not
// numbers. These are the program's own rules, applied by its own reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pairtrack/units.h"

namespace pairtrack {

// The most orbits a catalogue may hold (the program's capacity of population 1).
inline constexpr std::int32_t kCatalogueCapacity = kPopulationCapacity;

// The orbits of a catalogue in file order, in the catalogue's own units.
struct Catalogue {
  std::vector<double> inclination_deg;  // degrees
  std::vector<double> eccentricity;
  std::vector<double> semimajor_axis_au;  // AU
};

enum class CatalogueStatus {
  ok,
  cannot_open,      // missing, not a regular file, or unreadable
  too_many_orbits,  // more than kCatalogueCapacity orbit lines
  read_error,       // the operating system failed a read (a failing disk or network file system)
};

struct CatalogueReadResult {
  CatalogueStatus status = CatalogueStatus::ok;
  // Empty on success; otherwise the program's message for the failure, e.g.
  // "Error reading file examples/missing.cat" or
  // "pairtrack: orbit catalogue holds more than 30000 orbits".
  std::string message;
  // The program's warnings about this catalogue, in its words: reading that stopped before the
  // end of the file (a header line, a blank line, a line too short for columns 148-182, with the
  // count of lines left unread), no orbit read, orbits with a <= 0, e outside [0, 1) or an
  // inclination outside [0, 180] degrees. Each kind is given once, at its first occurrence; a
  // kind that repeats adds a count line ("...: 12 in this catalogue (the first is reported
  // above)"). Empty when the reading failed.
  std::vector<std::string> warnings;
};

// Reads the catalogue at `path` (used as given, any length) into `catalogue` (replacing its
// contents). On failure `catalogue` is left empty.
CatalogueReadResult read_catalogue(const std::string& path, Catalogue& catalogue);

}  // namespace pairtrack
