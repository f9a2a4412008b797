// The public catalogue reader: the program's reader, sized at the program's capacity, with its
// failure messages as text and the program's checks of what was read as warnings.
#include <memory>

#include "engine/diagnostics.h"
#include "engine/input_checks.h"
#include "io/load_catalog.h"
#include "pairtrack/catalogue.h"

namespace pairtrack {

// The library's internals, which these calls put behind the documented interface.
using namespace detail;

CatalogueReadResult read_catalogue(const std::string& path, Catalogue& catalogue) {
  catalogue = Catalogue{};
  const auto a = std::make_unique<double[]>(kCatalogueCapacity);
  const auto e = std::make_unique<double[]>(kCatalogueCapacity);
  const auto inc = std::make_unique<double[]>(kCatalogueCapacity);
  std::int32_t n = kCatalogueCapacity;
  CatalogReport report;
  switch (read_catalog_file(path, a.get(), e.get(), inc.get(), n, &report)) {
    case CatalogStatus::cannot_open:
      return {CatalogueStatus::cannot_open,
              "Error reading file " + path + ": " + report.system_error,
              {}};
    case CatalogStatus::read_error:
      return {CatalogueStatus::read_error,
              "Error reading file " + path + ": read failed: " + report.system_error,
              {}};
    case CatalogStatus::too_many_orbits:
      return {CatalogueStatus::too_many_orbits,
              "pairtrack: orbit catalogue holds more than " + std::to_string(kCatalogueCapacity) +
                  " orbits",
              {}};
    case CatalogStatus::ok: break;
  }
  catalogue.inclination_deg.assign(inc.get(), inc.get() + n);
  catalogue.eccentricity.assign(e.get(), e.get() + n);
  catalogue.semimajor_axis_au.assign(a.get(), a.get() + n);

  CollectingDiagnosticSink collected;
  Diagnostics diagnostics(&collected, DiagnosticPolicy{});
  for (const CheckFinding& f :
       check_catalog("catalogue '" + path + "'", report, n, a.get(), e.get(), inc.get())) {
    diagnostics.warn_counted(f.kind, f.text, f.summary);
  }
  diagnostics.finish("in this catalogue");
  CatalogueReadResult result;
  for (const auto& entry : collected.entries) result.warnings.push_back(entry.text);
  return result;
}

}  // namespace pairtrack
