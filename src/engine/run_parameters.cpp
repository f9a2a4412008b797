// Reading the ten parameter records with the free-form reader.
#include "engine/run_parameters.h"

#include <span>

#include "io/fortran_text.h"

namespace pairtrack::detail {

namespace {

struct RecordInfo {
  const char* name;
  const char* expected;
};

constexpr RecordInfo kRecords[10] = {
    {"catalogue file name", "a line of text"},
    {"history file name", "a line of text"},
    {"format code", "an integer (0, 1 or 2)"},
    {"n2_min n2_max", "an integer"},
    {"time_divisor", "a real number"},
    {"write_pairs", "a logical (T or F)"},
    {"q_crit", "a real number"},
    {"p_crit", "a real number"},
    {"iseed", "an integer"},
    {"v_esc", "a real number"},
};

}  // namespace

std::string ParameterReadFailure::describe() const {
  const std::string where = "record " + std::to_string(record) + " (" + name + ")";
  if (found.empty()) {
    return "standard input ended before " + where +
           " was complete: ten records are expected, one per line";
  }
  std::string shown = found;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127) c = '?';
  }
  return "standard input, " + where + ": found '" + shown + "' where " + expected + " is expected";
}

bool read_run_parameters(std::istream& in, RunParameters& p, ParameterReadFailure* failure) {
  fortran::FreeFormReader reader(in);
  int record = 0;
  const auto fail = [&]() {
    if (failure != nullptr) {
      failure->record = record;
      failure->name = kRecords[record - 1].name;
      failure->expected = kRecords[record - 1].expected;
      failure->found = record <= 2 ? std::string() : reader.unreadable();
    }
    return false;
  };
  record = 1;
  if (!reader.read_text_record(p.catalog_name, kFileNameLength)) return fail();
  record = 2;
  if (!reader.read_text_record(p.history_name, kFileNameLength)) return fail();
  record = 3;
  if (!reader.read_integers(std::span(&p.format_code, 1))) return fail();
  std::int32_t range[2] = {0, 0};
  record = 4;
  if (!reader.read_integers(std::span(range))) return fail();
  p.n2_min = range[0];
  p.n2_max = range[1];
  record = 5;
  if (!reader.read_reals(std::span(&p.time_divisor, 1))) return fail();
  record = 6;
  if (!reader.read_logical(p.write_pairs)) return fail();
  record = 7;
  if (!reader.read_reals(std::span(&p.q_crit, 1))) return fail();
  record = 8;
  if (!reader.read_reals(std::span(&p.p_crit, 1))) return fail();
  record = 9;
  if (!reader.read_integers(std::span(&p.iseed, 1))) return fail();
  record = 10;
  if (!reader.read_reals(std::span(&p.v_esc, 1))) return fail();
  return true;
}

std::string trimmed_file_name(const std::string& name80) {
  const std::size_t end = name80.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : name80.substr(0, end + 1);
}

}  // namespace pairtrack::detail
