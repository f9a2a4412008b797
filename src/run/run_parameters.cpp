// Reading the ten parameter records with the free-form reader.
#include "run/run_parameters.h"

#include <span>

#include "io/fortran_text.h"

namespace pairtrack {

bool read_run_parameters(std::istream& in, RunParameters& p) {
  fortran::FreeFormReader reader(in);
  if (!reader.read_text_record(p.catalog_name, kFileNameLength)) return false;
  if (!reader.read_text_record(p.history_name, kFileNameLength)) return false;
  if (!reader.read_integers(std::span(&p.format_code, 1))) return false;
  std::int32_t range[2] = {0, 0};
  if (!reader.read_integers(std::span(range))) return false;
  p.n2_min = range[0];
  p.n2_max = range[1];
  if (!reader.read_reals(std::span(&p.time_divisor, 1))) return false;
  if (!reader.read_logical(p.write_pairs)) return false;
  if (!reader.read_reals(std::span(&p.q_crit, 1))) return false;
  if (!reader.read_reals(std::span(&p.p_crit, 1))) return false;
  if (!reader.read_integers(std::span(&p.iseed, 1))) return false;
  return reader.read_reals(std::span(&p.v_esc, 1));
}

std::string trimmed_file_name(const std::string& name80) {
  const std::size_t end = name80.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name80.substr(0, end + 1);
}

}  // namespace pairtrack
