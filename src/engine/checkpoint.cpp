// Checkpoint files: writing atomically, reading back, identifying the inputs.
#include "engine/checkpoint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace pairtrack::detail {

namespace {

constexpr const char* kMagic = "pairtrack-checkpoint 1";

std::string hex_real(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a", v);
  return buffer;
}

bool parse_real(const std::string& text, double& v) {
  char* end = nullptr;
  errno = 0;
  v = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && errno == 0;
}

std::string system_reason() { return std::strerror(errno != 0 ? errno : EIO); }

// Removed identifiers as sorted ranges "a-b" or "a", comma-separated: compact for the runs of
// neighbours that removal by perihelion tends to make. The order of removal is not needed to
// continue (only the set is), but the count per frame is, and the list is rebuilt sorted.
std::string ranges(std::vector<std::int32_t> ids) {
  std::sort(ids.begin(), ids.end());
  std::string out;
  for (std::size_t k = 0; k < ids.size();) {
    std::size_t j = k;
    while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(ids[k]);
    if (j > k) out += "-" + std::to_string(ids[j]);
    k = j + 1;
  }
  return out.empty() ? "-" : out;
}

bool parse_ranges(const std::string& text, std::vector<std::int32_t>& ids) {
  ids.clear();
  if (text == "-") return true;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    long first = 0, last = 0;
    char dash = 0;
    std::istringstream range(item);
    if (!(range >> first)) return false;
    last = first;
    if (range >> dash && !(dash == '-' && range >> last)) return false;
    if (first < 1 || last < first || last > 2147483647L) return false;
    for (long id = first; id <= last; ++id) ids.push_back(static_cast<std::int32_t>(id));
  }
  return true;
}

}  // namespace

std::string records_identity(const RunParameters& p) {
  std::string name1 = p.catalog_name, name2 = p.history_name;
  for (std::string* n : {&name1, &name2}) {
    for (char& c : *n) c = c == ' ' ? '_' : c;
  }
  return name1 + " " + name2 + " " + std::to_string(p.format_code) + " " +
         std::to_string(p.n2_min) + " " + std::to_string(p.n2_max) + " " +
         hex_real(p.time_divisor) + " " + std::to_string(p.write_pairs) + " " + hex_real(p.q_crit) +
         " " + hex_real(p.p_crit) + " " + std::to_string(p.iseed) + " " + hex_real(p.v_esc);
}

bool identify_file(const std::string& path, FileIdentity& identity, std::string& reason) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    reason = system_reason();
    return false;
  }
  struct stat info {};
  if (::fstat(::fileno(f), &info) != 0) {
    reason = system_reason();
    std::fclose(f);
    return false;
  }
  identity.size = static_cast<std::uint64_t>(info.st_size);
  std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a, 64 bits
  const auto buffer = std::make_unique<unsigned char[]>(1 << 16);
  std::uint64_t left = kIdentityBytes;
  while (left > 0) {
    const std::size_t got = std::fread(buffer.get(), 1, std::min<std::uint64_t>(left, 1 << 16), f);
    for (std::size_t k = 0; k < got; ++k) hash = (hash ^ buffer[k]) * 1099511628211ULL;
    left -= got;
    if (got == 0) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    reason = "read failed";
    return false;
  }
  identity.hash = hash;
  return true;
}

bool write_checkpoint(const std::string& path, const Checkpoint& c, std::string& reason) {
  std::ostringstream text;
  const RunPosition& p = c.position;
  text << kMagic << '\n'
       << "records " << c.records << '\n'
       << "catalogue " << c.catalogue.size << ' ' << c.catalogue.hash << '\n'
       << "history " << c.history.size << ' ' << c.history.hash << '\n'
       << "frame " << p.frame << '\n'
       << "history_offset " << p.history_offset << '\n'
       << "t_max " << hex_real(p.t_max) << '\n'
       << "removed_total " << p.removed_total << '\n'
       << "iseed " << p.iseed << '\n'
       << "ran1 " << p.table.iy;
  for (const std::int32_t v : p.table.iv) text << ' ' << v;
  text << '\n'
       << "removed " << p.removed_count << ' '
       << ranges(std::vector<std::int32_t>(
              c.removed_ids.begin(),
              c.removed_ids.begin() + static_cast<std::ptrdiff_t>(p.removed_count)))
       << '\n';
  for (const OutputLength& o : c.outputs) {
    text << "output " << o.role << ' ' << o.bytes << ' ' << o.path << '\n';
  }
  text << "end\n";
  const std::string data = text.str();
  const std::string temporary = path + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) {
    reason = "'" + temporary + "': " + system_reason();
    return false;
  }
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  errno = 0;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    reason = "'" + temporary + "': " + system_reason();
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    reason = "'" + path + "': " + system_reason();
    return false;
  }
  return true;
}

bool read_checkpoint(const std::string& path, Checkpoint& c, std::string& reason) {
  std::ifstream in(path);
  if (!in) {
    reason = "cannot be read: " + system_reason();
    return false;
  }
  std::string line;
  if (!std::getline(in, line) || line != kMagic) {
    reason = "is not a pairtrack checkpoint (its first line is not '" + std::string(kMagic) + "')";
    return false;
  }
  c = Checkpoint{};
  RunPosition& p = c.position;
  bool ended = false;
  std::size_t removed_count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    bool ok = true;
    if (key == "records") {
      ok = static_cast<bool>(std::getline(fields >> std::ws, c.records));
    } else if (key == "catalogue") {
      ok = static_cast<bool>(fields >> c.catalogue.size >> c.catalogue.hash);
    } else if (key == "history") {
      ok = static_cast<bool>(fields >> c.history.size >> c.history.hash);
    } else if (key == "frame") {
      ok = static_cast<bool>(fields >> p.frame) && p.frame >= 0;
    } else if (key == "history_offset") {
      ok = static_cast<bool>(fields >> p.history_offset);
    } else if (key == "t_max") {
      std::string v;
      ok = static_cast<bool>(fields >> v) && parse_real(v, p.t_max);
    } else if (key == "removed_total") {
      ok = static_cast<bool>(fields >> p.removed_total);
    } else if (key == "iseed") {
      ok = static_cast<bool>(fields >> p.iseed);
    } else if (key == "ran1") {
      ok = static_cast<bool>(fields >> p.table.iy);
      for (std::int32_t& v : p.table.iv) ok = ok && static_cast<bool>(fields >> v);
    } else if (key == "removed") {
      std::string list;
      ok = static_cast<bool>(fields >> removed_count >> list) &&
           parse_ranges(list, c.removed_ids) && c.removed_ids.size() == removed_count;
    } else if (key == "output") {
      OutputLength o;
      ok = static_cast<bool>(fields >> o.role >> o.bytes) &&
           static_cast<bool>(std::getline(fields >> std::ws, o.path));
      c.outputs.push_back(o);
    } else if (key == "end") {
      ended = true;
      break;
    } else {
      ok = false;
    }
    if (!ok) {
      reason = "holds a line that cannot be read: '" + line.substr(0, 60) + "'";
      return false;
    }
  }
  if (!ended) {
    reason = "is incomplete (no 'end' line)";
    return false;
  }
  p.removed_count = removed_count;
  return true;
}

bool truncate_output(const std::string& path, std::uint64_t bytes, std::string& reason) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    reason = system_reason();
    return false;
  }
  if (static_cast<std::uint64_t>(info.st_size) < bytes) {
    reason = "it holds " + std::to_string(info.st_size) + " bytes, fewer than the " +
             std::to_string(bytes) + " the checkpoint recorded (another file?)";
    return false;
  }
  if (::truncate(path.c_str(), static_cast<off_t>(bytes)) != 0) {
    reason = system_reason();
    return false;
  }
  return true;
}

}  // namespace pairtrack::detail
