// Frame lines of a report read back by column position: exactly 144 characters, nine fields
// separated by one blank each, a field of asterisks kept as "no value".
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

#include "pairtrack/report.h"

namespace pairtrack {

namespace {

constexpr std::size_t kFrameLineLength = 144;
struct Field {
  std::size_t begin, end;
};
constexpr Field kRealFields[5] = {{0, 16}, {17, 39}, {40, 62}, {63, 85}, {86, 108}};
constexpr Field kCountFields[4] = {{109, 117}, {118, 126}, {127, 135}, {136, 144}};

std::string_view trimmed(std::string_view s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool asterisks(std::string_view s) { return !s.empty() && s.find_first_not_of('*') == s.npos; }

// False when the field is neither a number nor asterisks.
bool parse_real(std::string_view field, double& value) {
  field = trimmed(field);
  if (asterisks(field)) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (field.empty()) return false;
  const char* first = field.data();
  if (*first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, field.data() + field.size(), value);
  return ec == std::errc() && ptr == field.data() + field.size();
}

bool parse_count(std::string_view field, std::int64_t& value) {
  field = trimmed(field);
  if (asterisks(field)) {
    value = -1;
    return true;
  }
  if (field.empty()) return false;
  const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  return ec == std::errc() && ptr == field.data() + field.size();
}

}  // namespace

ReportFrames parse_report_frames(const std::string& text) {
  ReportFrames frames;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    rest = eol == rest.npos ? std::string_view() : rest.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() != kFrameLineLength) continue;
    const std::string_view lead = trimmed(line);
    if (!lead.empty() && lead.front() == '#') continue;
    bool separated = true;
    for (std::size_t f = 1; f < 5; ++f) separated &= line[kRealFields[f].begin - 1] == ' ';
    for (const Field& f : kCountFields) separated &= line[f.begin - 1] == ' ';
    if (!separated) continue;
    double reals[5];
    std::int64_t counts[4];
    bool ok = true;
    for (std::size_t f = 0; f < 5 && ok; ++f) {
      ok = parse_real(line.substr(kRealFields[f].begin, kRealFields[f].end - kRealFields[f].begin),
                      reals[f]);
    }
    for (std::size_t f = 0; f < 4 && ok; ++f) {
      ok = parse_count(
          line.substr(kCountFields[f].begin, kCountFields[f].end - kCountFields[f].begin),
          counts[f]);
    }
    if (!ok) continue;
    frames.t_myr.push_back(reals[0]);
    frames.proba_mean.push_back(reals[1]);
    frames.proba_sigma.push_back(reals[2]);
    frames.impvel_mean.push_back(reals[3]);
    frames.impvel_sigma.push_back(reals[4]);
    frames.n1.push_back(counts[0]);
    frames.n2.push_back(counts[1]);
    frames.n_proba.push_back(counts[2]);
    frames.n_impvel.push_back(counts[3]);
  }
  return frames;
}

bool read_report_frames(const std::string& path, ReportFrames& frames, std::string& error) {
  frames = ReportFrames{};
  std::error_code code;
  std::ifstream in;
  if (path.find('\0') == std::string::npos && std::filesystem::is_regular_file(path, code)) {
    in.open(path, std::ios::in | std::ios::binary);
  }
  if (!in.is_open()) {
    error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  frames = parse_report_frames(text.str());
  return true;
}

}  // namespace pairtrack
