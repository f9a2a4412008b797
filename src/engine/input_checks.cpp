// The checks behind the run's warnings.
#include "engine/input_checks.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "io/fortran_text.h"
#include "pairtrack/units.h"

namespace pairtrack::detail {

namespace {

std::string real(double v) { return fortran::free_form_real(v); }

constexpr HistoryFormat kEncodings[] = {HistoryFormat::scaled_int16, HistoryFormat::float32,
                                        HistoryFormat::float64};

// A line of the catalogue as a warning shows it: at most 60 characters, control characters
// as '?'.
std::string shown_line(const std::string& text) {
  std::string s = text.substr(0, 60);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127) c = '?';
  }
  return text.size() > 60 ? s + "..." : s;
}

bool has_letter(const std::string& text) {
  for (const char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  }
  return false;
}

// The physical ranges of the elements: a bound ellipse needs a > 0 and 0 <= e < 1. Written so
// that a value that is not a number falls outside.
bool bad_a(double a) { return !(a > 0.0); }
bool bad_e(double e) { return !(e >= 0.0 && e < 1.0); }

}  // namespace

std::vector<CheckFinding> check_parameters(const RunParameters& p) {
  std::vector<CheckFinding> found;
  if (p.q_crit < 0.0) {
    found.push_back({"q_crit", "q_crit = " + real(p.q_crit) +
                                   " AU is negative: no perihelion lies below it, so no body is"
                                   " ever removed"});
  }
  if (!(p.p_crit >= 0.0 && p.p_crit <= 1.0)) {
    found.push_back({"p_crit", "p_crit = " + real(p.p_crit) +
                                   " is outside [0, 1]: it is compared with a uniform number in"
                                   " (0, 1), so it acts as " +
                                   (p.p_crit > 1.0 ? "1 (every candidate removed)"
                                                   : "0 (no body ever removed)")});
  }
  if (p.v_esc < 0.0) {
    found.push_back(
        {"v_esc", "v_esc = " + real(p.v_esc) +
                      " km/s is negative: the focusing uses its square, so it acts as " +
                      real(-p.v_esc) + " km/s"});
  }
  if (p.n2_max < p.n2_min) {
    found.push_back({"n2_range", "n2_max = " + std::to_string(p.n2_max) +
                                     " is below n2_min = " + std::to_string(p.n2_min) +
                                     ": no body is paired and every frame line shows n_proba = 0"});
  }
  if (p.time_divisor < 0.0) {
    found.push_back({"time_divisor", "time_divisor = " + real(p.time_divisor) +
                                         " is negative: every frame time changes its sign"});
  }
  if (p.q_crit > 0.0 && p.p_crit > 0.0 && p.iseed >= 0) {
    found.push_back({"iseed", "iseed = " + std::to_string(p.iseed) +
                                  " is not negative: every seed of -1 or more starts the"
                                  " generator's sequence of -1, so runs seeded 0, 1, 2 or 12345"
                                  " draw the same numbers; give a negative seed (-2, -3, ...) to"
                                  " choose another sequence"});
  }
  return found;
}

std::vector<CheckFinding> check_catalog(const std::string& label, const CatalogReport& report,
                                        std::int32_t n, const double a[], const double e[],
                                        const double inc_deg[]) {
  std::vector<CheckFinding> found;
  if (n == 0) {
    found.push_back({"catalogue-empty",
                     label + " holds no orbit: no pair is evaluated and every frame line shows"
                             " zeros"});
  }
  // A stop at a blank last line is the ordinary end of a file; anything else leaves data unread.
  if (report.stop_line > 0 && (report.lines_after > 0 || !report.stop_text.empty())) {
    const std::string& line = report.stop_text;
    std::string text = label + ": reading stopped at line " + std::to_string(report.stop_line);
    if (line.empty()) {
      text += ", a blank line";
    } else if (line.size() < 148) {
      text += " ('" + shown_line(line) + "'), which ends before column 148 (it has " +
              std::to_string(line.size()) +
              " characters): the catalogue is a fixed-column layout with inclination (degrees),"
              " eccentricity and semimajor axis (AU) in columns 148-182, not a plain or"
              " tab-separated table";
    } else {
      std::string field = line.substr(147, 35);
      field.erase(field.find_last_not_of(' ') + 1);
      text += ": its columns 148-182 ('" + shown_line(field) +
              "') do not hold three numbers (inclination in degrees, eccentricity, semimajor"
              " axis in AU)";
    }
    text += report.lines_after == 0 ? "; it is the last line"
                                    : "; " + std::to_string(report.lines_after) + " line" +
                                          (report.lines_after == 1 ? "" : "s") + " after it " +
                                          (report.lines_after == 1 ? "is" : "are") + " not read";
    if (report.stop_line == 1 && has_letter(line)) {
      text += " (the first line looks like a header: remove it)";
    }
    found.push_back({"catalogue-stop", text});
  }
  for (std::int32_t k = 0; k < n; ++k) {
    const std::string where = label + " line " + std::to_string(k + 1) + ": ";
    if (bad_a(a[k])) {
      found.push_back({"catalogue-a", where + "a = " + real(a[k]) + " AU is not positive",
                       label + ": orbits with a <= 0"});
    }
    if (bad_e(e[k])) {
      found.push_back(
          {"catalogue-e",
           where + "e = " + real(e[k]) +
               " is outside [0, 1): not a bound ellipse, the results mean nothing for it",
           label + ": orbits with e outside [0, 1)"});
    }
    if (!(inc_deg[k] >= 0.0 && inc_deg[k] <= 180.0)) {
      found.push_back({"catalogue-inc",
                       where + "inclination " + real(inc_deg[k]) + " degrees is outside [0, 180]",
                       label + ": orbits with an inclination outside [0, 180] degrees"});
    }
  }
  return found;
}

std::vector<CheckFinding> check_history_body(const SweptBody& body, std::int64_t frame) {
  // The 16-bit encoding's angle grid and float32 put a value meant as pi slightly above it.
  constexpr double kIncMax = std::numbers::pi + 1e-3;
  std::vector<CheckFinding> found;
  const double a_au = body.a_cm / kCentimetresPerAu;
  const bool inc_bad = !(body.inc >= 0.0 && body.inc <= kIncMax);
  // Every body of every frame passes through here: the text is only formed for a body that
  // needs it (it cost rank 0 of an MPI run a few hundred nanoseconds per body).
  if (!bad_a(a_au) && !bad_e(body.e) && !inc_bad) return found;
  const std::string where = "history file, frame " + std::to_string(frame) + ", body " +
                            std::to_string(body.id) + " at position " +
                            std::to_string(body.position) + ": ";
  if (bad_a(a_au)) {
    found.push_back({"history-a", where + "a = " + real(a_au) + " AU is not positive",
                     "history body records with a <= 0"});
  }
  if (bad_e(body.e)) {
    found.push_back({"history-e",
                     where + "e = " + real(body.e) +
                         " is outside [0, 1): not a bound ellipse, the results mean nothing for it",
                     "history body records with e outside [0, 1)"});
  }
  if (inc_bad) {
    found.push_back({"history-inc",
                     where + "inclination " + real(body.inc) +
                         " rad is outside [0, pi]: history inclinations are radians (degrees by"
                         " mistake?)",
                     "history body records with an inclination outside [0, pi]"});
  }
  return found;
}

std::string record_length_mismatch(std::int64_t length, HistoryFormat encoding, bool header) {
  const auto expected = static_cast<std::int64_t>(header ? header_payload_bytes(encoding)
                                                         : body_payload_bytes(encoding));
  if (length < 0 || length == expected) return {};
  const char* what = header ? "header" : "body";
  std::string text = "its first " + std::string(what) + " record holds " + std::to_string(length) +
                     " bytes, but format code " + history_format_name(encoding) + " expects " +
                     std::to_string(expected) + "; ";
  for (const HistoryFormat other : kEncodings) {
    const auto bytes =
        static_cast<std::int64_t>(header ? header_payload_bytes(other) : body_payload_bytes(other));
    if (bytes == length) {
      return text + "that is the " + what + " length of format " + history_format_name(other) +
             ": check record 3";
    }
  }
  return text + "no encoding has " + what + " records of that length";
}

std::string describe_data_end(std::int32_t status, const HistoryFile& history, std::int64_t frames,
                              HistoryFormat encoding) {
  const std::string offset = std::to_string(history.record_offset());
  const std::string after =
      frames == 0 ? "before the first frame" : "after frame " + std::to_string(frames);
  switch (status) {
    case status_code(RecordStatus::end_of_file): return {};
    case status_code(RecordStatus::truncated):
      return "the file ends inside the record at byte offset " + offset + " (frame " +
             std::to_string(frames + 1) +
             " is incomplete, a file still being written?): that frame is left out and the"
             " data end " +
             after;
    case status_code(RecordStatus::short_payload):
      return "the record at byte offset " + offset + " holds " +
             std::to_string(history.record_length()) + " bytes, too few for format " +
             history_format_name(encoding) + ": the data end there, " + after;
    case status_code(RecordStatus::bad_marker):
      return "the record at byte offset " + offset + " has a negative length marker (" +
             std::to_string(history.record_length()) + "): the data end there, " + after;
    case kEmptyFrame:
      if (history.bytes_left() == 0) return {};
      return "the header of frame " + std::to_string(frames + 1) + " (byte offset " + offset +
             ") announces no bodies, but " + std::to_string(history.bytes_left()) +
             " bytes follow it: the data end there and those bytes are not read";
    default:
      return "the record at byte offset " + offset + " cannot be read: the data end there, " +
             after;
  }
}

bool time_field_overflows(double t_myr) { return fortran::format_f(t_myr, 16, 10)[0] == '*'; }

bool open_output_file(const std::string& path, std::ofstream& file, std::string& reason,
                      bool keep) {
  if (!check_output_path(path, reason)) return false;
  errno = 0;
  // A resumed run keeps the file: it is cut back to the checkpoint's length once the inputs
  // have been checked, and continued there.
  file.open(path, keep ? std::ios::in | std::ios::out | std::ios::binary
                       : std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.is_open()) {
    reason = errno != 0 ? std::strerror(errno) : "cannot be created";
    return false;
  }
  return true;
}

bool check_output_path(const std::string& path, std::string& reason) {
  if (path.empty()) {
    reason = "the name is empty";
    return false;
  }
  if (path.find('\0') != std::string::npos) {
    reason = "the name holds a NUL byte";
    return false;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      reason = std::strerror(EISDIR);
      return false;
    }
    return true;
  }
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  if (::stat(folder.c_str(), &info) != 0) {
    reason = std::string("its folder '") + folder + "': " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    reason = std::string("its folder '") + folder + "': " + std::strerror(ENOTDIR);
    return false;
  }
  return true;
}

}  // namespace pairtrack::detail
